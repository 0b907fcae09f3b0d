// The stored definition of the main window: the window, its menu and its
// controls in creation order (which is also their stacking and tab order).
#include "ui/main_window.h"

#include "services/value.h"
#include "ui/definition.h"

namespace cx {

namespace {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlue = 0xFF0000;  // RGB (0, 0, 255) as 0x00BBGGRR

// The status and caption labels' font. The label itself decides character
// set, precisions, quality and pitch when it creates the font; the stored
// values of those fields are whatever the description was saved with.
constexpr FontDesc kLabelFont{-12, 0, 0, 0, 400, 0, 0, 0, 0, 3, 2, 1, 34, "Arial Narrow"};

// Columns "ID" 50, "视频名称" 150, "视频链接" 410, all left-aligned, no image:
// 16 + 22 + 22 bytes.
constexpr char kVideoColumns[] =
    "\x00" "\xff\xff\xff\xff" "\x00\x00\x00\x00" "\x32\x00\x00\x00" "ID\0"
    "\x00" "\xff\xff\xff\xff" "\x00\x00\x00\x00" "\x96\x00\x00\x00" "视频名称\0"
    "\x00" "\xff\xff\xff\xff" "\x00\x00\x00\x00" "\x9a\x01\x00\x00" "视频链接";
static_assert(sizeof(kVideoColumns) == 60, "three packed columns take 60 bytes");

constexpr EventBinding kWindowEvents[] = {
    {.event = EVENT_WINDOW_CREATED, .slot = H_MAIN_WINDOW_CREATED},
    {.event = EVENT_WINDOW_DESTROYING, .slot = H_MAIN_WINDOW_DESTROYED},
};
constexpr EventBinding kExportClicked[] = {{.event = EVENT_CLICKED, .slot = H_EXPORT_LIST}};
constexpr EventBinding kUrlClicked[] = {{.event = EVENT_CLICKED, .slot = H_OPTION_URL_CLICKED}};
constexpr EventBinding kChannelClicked[] = {{.event = EVENT_CLICKED, .slot = H_OPTION_CHANNEL_CLICKED}};
constexpr EventBinding kUserClicked[] = {{.event = EVENT_CLICKED, .slot = H_OPTION_USER_CLICKED}};
constexpr EventBinding kFetchClicked[] = {{.event = EVENT_CLICKED, .slot = H_FETCH_STOP_CLICKED}};

constexpr uint32_t kShown = ITEM_VISIBLE;
constexpr uint32_t kShownTab = ITEM_VISIBLE | ITEM_TABSTOP;

constexpr LabelDef label(const char* caption, int32_t h_align) {
  return LabelDef{.caption = caption,
                  .effect = EFFECT_NONE,
                  .font = &kLabelFont,
                  .text_colour = kBlue,
                  .h_align = h_align,
                  .word_wrap = false,
                  .v_align = ALIGN_CENTRE};
}

constexpr CheckBoxDef check_box(const char* caption, bool checked) {
  return CheckBoxDef{.caption = caption,
                     .checked = checked,
                     .push_like = false,
                     .flat = false,
                     .text_left = false,
                     .multi_line = true,
                     .h_align = ALIGN_NEAR,
                     .v_align = ALIGN_CENTRE,
                     .text_colour = kBlack,
                     .back_colour = kWhite,
                     .font = nullptr};
}

constexpr ButtonDef push_button(const char* caption) {
  return ButtonDef{
      .caption = caption, .default_button = false, .h_align = ALIGN_CENTRE, .v_align = ALIGN_CENTRE, .font = nullptr};
}

constexpr MenuDef menu(const char* caption, uint32_t parent, int32_t slot) {
  return MenuDef{.caption = caption, .parent = parent, .slot = slot};
}

// A menu entry: no name, no geometry, always shown.
constexpr ItemDef menu_item(uint32_t id, MenuDef settings) {
  return ItemDef{.id = id, .kind = TAG_MENU, .name = "", .left = 0, .top = 0, .width = 0, .height = 0,
                 .flags = kShown, .events = {}, .settings = settings};
}

const ItemDef kMainItems[] = {
    menu_item(ID_MENU_TITLE, menu("菜单", 0, H_NONE)),
    menu_item(ID_MENU_SITE, menu("官方网站", ID_MENU_TITLE, H_OPEN_MAKER_SITE)),
    menu_item(ID_MENU_UPDATE, menu("检查更新", ID_MENU_TITLE, H_CHECK_FOR_UPDATE)),
    {.id = ID_DIALOG, .kind = TAG_COMMON_DIALOG, .name = "通用对话框1",
     .left = 0, .top = 0, .width = 0, .height = 0, .flags = 0, .events = {},
     .settings = DialogDef{.kind = DIALOG_OPEN, .title = "", .file_name = "", .filter = "", .filter_index = 0,
                           .initial_directory = "", .default_extension = "", .switches = 0}},
    {.id = ID_EXPORT_BUTTON, .kind = TAG_BUTTON, .name = "按钮1",
     .left = 600, .top = 360, .width = 80, .height = 24, .flags = kShownTab, .events = kExportClicked,
     .settings = push_button("导出")},
    {.id = ID_STOP_LABEL, .kind = TAG_LABEL, .name = "透明标签_停止信息",
     .left = 3, .top = 31, .width = 677, .height = 25, .flags = 0, .events = {},
     .settings = label("", ALIGN_CENTRE)},
    {.id = ID_OPTION_URL, .kind = TAG_CHECKBOX, .name = "选择框_Url",
     .left = 574, .top = 5, .width = 39, .height = 24, .flags = kShownTab, .events = kUrlClicked,
     .settings = check_box("Url", false)},
    {.id = ID_OPTION_CHANNEL, .kind = TAG_CHECKBOX, .name = "选择框_Channel",
     .left = 504, .top = 5, .width = 64, .height = 24, .flags = kShownTab, .events = kChannelClicked,
     .settings = check_box("Channel", false)},
    {.id = ID_OPTION_USER, .kind = TAG_CHECKBOX, .name = "选择框_User",
     .left = 451, .top = 5, .width = 45, .height = 24, .flags = kShownTab, .events = kUserClicked,
     .settings = check_box("User", true)},
    {.id = ID_PROGRESS_LABEL, .kind = TAG_LABEL, .name = "透明标签_获取信息",
     .left = 3, .top = 31, .width = 677, .height = 25, .flags = kShown, .events = {},
     .settings = label("", ALIGN_CENTRE)},
    {.id = ID_VIDEO_LIST, .kind = TAG_LISTVIEW, .name = "超级列表框_视频",
     .left = 1, .top = 56, .width = 687, .height = 296, .flags = kShownTab, .events = {},
     .settings = ListDef{.columns = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(kVideoColumns),
                                                             sizeof(kVideoColumns)),
                         .single_selection = true,
                         .show_selection_always = false,
                         .header_pressable = true,
                         .simple_border = true,
                         .text_colour = kBlack,
                         .text_back_colour = kWhite,
                         .back_colour = kWhite}},
    {.id = ID_FETCH_BUTTON, .kind = TAG_BUTTON, .name = "按钮_获取_停止",
     .left = 621, .top = 5, .width = 65, .height = 24, .flags = kShownTab, .events = kFetchClicked,
     .settings = push_button("获取")},
    {.id = ID_NAME_EDIT, .kind = TAG_EDIT, .name = "编辑框_用户名",
     .left = 80, .top = 5, .width = 368, .height = 24, .flags = kShownTab, .events = {},
     .settings = EditDef{.text = "",
                         .multi_line = false,
                         .auto_hscroll = true,
                         .read_only = false,
                         .password = false,
                         .password_char = '*',
                         .case_mode = CASE_NONE,
                         .max_length = 0,
                         .hide_selection = true,
                         .simple_border = true,
                         .h_align = ALIGN_NEAR,
                         .selection_start = 0,
                         .selection_length = 0,
                         .text_colour = kBlack,
                         .back_colour = kWhite,
                         .font = nullptr}},
    {.id = ID_CAPTION_LABEL, .kind = TAG_LABEL, .name = "透明标签1",
     .left = 7, .top = 5, .width = 73, .height = 24, .flags = kShown, .events = {},
     .settings = label("用户名/链接", ALIGN_NEAR)},
};

const WindowDef kMainWindow{
    .id = MAIN_WINDOW_ID,
    .caption = "Clipdex视频地址批量获取工具 v1.0",
    .left = 50,
    .top = 50,
    .width = 700,
    .height = 436,
    .flags = ITEM_VISIBLE,
    .border = BORDER_FIXED_SINGLE,
    .control_box = true,
    .min_button = true,
    .max_button = false,
    .movable = true,
    .topmost = false,
    .in_taskbar = true,
    .background = kWhite,
    .start_position = START_CENTRED,
    .start_state = START_NORMAL,
    .icon = std::span<const uint8_t>(kMainWindowIcon, kMainWindowIconSize),
    .events = kWindowEvents,
    .items = kMainItems,
};

const WindowDef* const kStored[] = {&kMainWindow};

}  // namespace

std::span<const WindowDef* const> stored_window_definitions() { return kStored; }
const WindowDef& main_window_definition() { return kMainWindow; }

}  // namespace cx
