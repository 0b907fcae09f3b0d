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
    {0, H_MAIN_WINDOW_CREATED},
    {2, H_MAIN_WINDOW_DESTROYED},
};
constexpr EventBinding kExportClicked[] = {{0, H_EXPORT_LIST}};
constexpr EventBinding kUrlClicked[] = {{0, H_OPTION_URL_CLICKED}};
constexpr EventBinding kChannelClicked[] = {{0, H_OPTION_CHANNEL_CLICKED}};
constexpr EventBinding kUserClicked[] = {{0, H_OPTION_USER_CLICKED}};
constexpr EventBinding kFetchClicked[] = {{0, H_FETCH_STOP_CLICKED}};

constexpr uint32_t kShown = ITEM_VISIBLE;
constexpr uint32_t kShownTab = ITEM_VISIBLE | ITEM_TABSTOP;

constexpr LabelDef label(const char* caption, int32_t h_align) {
  return LabelDef{caption, EFFECT_NONE, &kLabelFont, kBlue, h_align, false, ALIGN_CENTRE};
}

constexpr CheckBoxDef check_box(const char* caption, bool checked) {
  return CheckBoxDef{caption, checked, false, false, false, true, ALIGN_NEAR, ALIGN_CENTRE, kBlack, kWhite, nullptr};
}

constexpr ButtonDef push_button(const char* caption) { return ButtonDef{caption, false, ALIGN_CENTRE, ALIGN_CENTRE, nullptr}; }

const ItemDef kMainItems[] = {
    {ID_MENU_TITLE, TAG_MENU, "", 0, 0, 0, 0, kShown, {}, MenuDef{"菜单", 0, H_NONE}},
    {ID_MENU_SITE, TAG_MENU, "", 0, 0, 0, 0, kShown, {}, MenuDef{"官方网站", ID_MENU_TITLE, H_OPEN_MAKER_SITE}},
    {ID_MENU_UPDATE, TAG_MENU, "", 0, 0, 0, 0, kShown, {}, MenuDef{"检查更新", ID_MENU_TITLE, H_CHECK_FOR_UPDATE}},
    {ID_DIALOG, TAG_COMMON_DIALOG, "通用对话框1", 0, 0, 0, 0, 0, {},
     DialogDef{DIALOG_OPEN, "", "", "", 0, "", "", 0}},
    {ID_EXPORT_BUTTON, TAG_BUTTON, "按钮1", 600, 360, 80, 24, kShownTab, kExportClicked, push_button("导出")},
    {ID_STOP_LABEL, TAG_LABEL, "透明标签_停止信息", 3, 31, 677, 25, 0, {}, label("", ALIGN_CENTRE)},
    {ID_OPTION_URL, TAG_CHECKBOX, "选择框_Url", 574, 5, 39, 24, kShownTab, kUrlClicked, check_box("Url", false)},
    {ID_OPTION_CHANNEL, TAG_CHECKBOX, "选择框_Channel", 504, 5, 64, 24, kShownTab, kChannelClicked,
     check_box("Channel", false)},
    {ID_OPTION_USER, TAG_CHECKBOX, "选择框_User", 451, 5, 45, 24, kShownTab, kUserClicked, check_box("User", true)},
    {ID_PROGRESS_LABEL, TAG_LABEL, "透明标签_获取信息", 3, 31, 677, 25, kShown, {}, label("", ALIGN_CENTRE)},
    {ID_VIDEO_LIST, TAG_LISTVIEW, "超级列表框_视频", 1, 56, 687, 296, kShownTab, {},
     ListDef{std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(kVideoColumns), sizeof(kVideoColumns)),
             true, false, true, true, kBlack, kWhite, kWhite}},
    {ID_FETCH_BUTTON, TAG_BUTTON, "按钮_获取_停止", 621, 5, 65, 24, kShownTab, kFetchClicked, push_button("获取")},
    {ID_NAME_EDIT, TAG_EDIT, "编辑框_用户名", 80, 5, 368, 24, kShownTab, {},
     EditDef{"", false, true, false, false, '*', CASE_NONE, 0, true, true, ALIGN_NEAR, 0, 0, kBlack, kWhite, nullptr}},
    {ID_CAPTION_LABEL, TAG_LABEL, "透明标签1", 7, 5, 73, 24, kShown, {}, label("用户名/链接", ALIGN_NEAR)},
};

const WindowDef kMainWindow{
    MAIN_WINDOW_ID,
    "Clipdex视频地址批量获取工具 v1.0",
    50, 50, 700, 436,
    ITEM_VISIBLE,
    BORDER_FIXED_SINGLE,
    /*control_box=*/true, /*min_button=*/true, /*max_button=*/false,
    /*movable=*/true, /*topmost=*/false, /*in_taskbar=*/true,
    kWhite,
    START_CENTRED,
    START_NORMAL,
    std::span<const uint8_t>(kMainWindowIcon, kMainWindowIconSize),
    kWindowEvents,
    kMainItems,
};

const WindowDef* const kStored[] = {&kMainWindow};

}  // namespace

std::span<const WindowDef* const> stored_window_definitions() { return kStored; }
const WindowDef& main_window_definition() { return kMainWindow; }

}  // namespace cx
