// Stored window definitions: plain constant data describing a window, its
// menu entries and its controls in creation order. The window layer builds
// live windows from these records; nothing here depends on the platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>

namespace cx {

// State flags of an item (and of the window itself).
enum ItemFlag : uint32_t {
  ITEM_VISIBLE = 1u << 0,
  ITEM_DISABLED = 1u << 1,
  ITEM_TABSTOP = 1u << 2,
  ITEM_CHECKED = 1u << 3,  // menu entries only
};

// Alignments as the definitions store them.
enum Align : int32_t { ALIGN_NEAR = 0, ALIGN_CENTRE = 1, ALIGN_FAR = 2 };

// Colour value standing for the system's button-face colour.
constexpr uint32_t COLOUR_BUTTON_FACE = 0xFF000000u;

// A complete font description, laid out like the platform's ANSI logical
// font record (60 bytes), so that it can travel as a byte string.
struct FontDesc {
  int32_t height;
  int32_t width;
  int32_t escapement;
  int32_t orientation;
  int32_t weight;
  uint8_t italic;
  uint8_t underline;
  uint8_t strike_out;
  uint8_t char_set;
  uint8_t out_precision;
  uint8_t clip_precision;
  uint8_t quality;
  uint8_t pitch_and_family;
  char face[32];
};
static_assert(sizeof(FontDesc) == 60, "font description has the logical-font layout");

// Event indexes: a kind's own events count from 0; events that every control
// raises are negative, so that they never meet a kind's own.
constexpr int32_t EVENT_FOCUS_GAINED = -1;
// A push button's and a check box's click (after the box has toggled).
constexpr int32_t EVENT_CLICKED = 0;
// The window's own: created (every control exists, not yet shown); then two
// start-up events in the same step; asked in turn on a close request (a false
// result keeps the window open): first 12, then 1; about to be destroyed.
constexpr int32_t EVENT_WINDOW_CREATED = 0;
constexpr int32_t EVENT_WINDOW_CLOSE_QUERY = 1;
constexpr int32_t EVENT_WINDOW_DESTROYING = 2;
constexpr int32_t EVENT_WINDOW_STARTED = 3;
constexpr int32_t EVENT_WINDOW_STARTED_LATE = 4;
constexpr int32_t EVENT_WINDOW_CLOSE_REQUEST = 12;

// One event binding: event index -> handler slot (see HandlerSlot).
struct EventBinding {
  int32_t event;
  int32_t slot;
};

// Kind-specific settings ---------------------------------------------------

struct MenuDef {
  const char* caption;
  uint32_t parent;  // 0: a title of the menu bar, else the identifier of its title
  int32_t slot;     // handler of the chosen event; -1 for none
};

struct ButtonDef {
  const char* caption;
  bool default_button;
  int32_t h_align;
  int32_t v_align;
  const FontDesc* font;  // null: the default GUI font
};

struct CheckBoxDef {
  const char* caption;
  bool checked;
  bool push_like;
  bool flat;
  bool text_left;
  bool multi_line;
  int32_t h_align;
  int32_t v_align;
  uint32_t text_colour;
  uint32_t back_colour;
  const FontDesc* font;
};

enum EditCase : int32_t { CASE_NONE = 0, CASE_UPPER = 1, CASE_LOWER = 2 };

struct EditDef {
  const char* text;
  bool multi_line;
  bool auto_hscroll;
  bool read_only;
  bool password;
  char password_char;   // kept with the definition; used only for password boxes
  int32_t case_mode;
  int32_t max_length;   // 0: the platform's maximum
  bool hide_selection;
  bool simple_border;
  int32_t h_align;
  int32_t selection_start;
  int32_t selection_length;
  uint32_t text_colour;
  uint32_t back_colour;
  const FontDesc* font;
};

enum LabelEffect : int32_t { EFFECT_NONE = 0, EFFECT_SHADOW = 1, EFFECT_RAISED = 2, EFFECT_DEEP_SHADOW = 3 };

struct LabelDef {
  const char* caption;
  int32_t effect;
  const FontDesc* font;
  uint32_t text_colour;
  int32_t h_align;
  bool word_wrap;
  int32_t v_align;
};

// Switches of the file dialog, in property order.
enum DialogSwitch : uint32_t {
  DIALOG_CREATE_PROMPT = 1u << 0,
  DIALOG_FILE_MUST_EXIST = 1u << 1,
  DIALOG_OVERWRITE_PROMPT = 1u << 2,
  DIALOG_PATH_MUST_EXIST = 1u << 3,
  DIALOG_KEEP_DIRECTORY = 1u << 4,
};

enum DialogKind : int32_t { DIALOG_OPEN = 0, DIALOG_SAVE = 1, DIALOG_FONT = 2, DIALOG_HELP = 3 };

struct DialogDef {
  int32_t kind;
  const char* title;
  const char* file_name;
  const char* filter;
  int32_t filter_index;
  const char* initial_directory;
  const char* default_extension;
  uint32_t switches;
};

struct ListDef {
  std::span<const uint8_t> columns;  // packed column definition (column_codec.h)
  bool single_selection;
  bool show_selection_always;
  bool header_pressable;
  bool simple_border;
  uint32_t text_colour;
  uint32_t text_back_colour;
  uint32_t back_colour;
};

using ItemSettings = std::variant<std::monostate, MenuDef, ButtonDef, CheckBoxDef, EditDef, LabelDef, DialogDef, ListDef>;

struct ItemDef {
  uint32_t id;
  uint32_t kind;  // kind code (TAG_BUTTON, TAG_LABEL, ...)
  const char* name;
  int32_t left, top, width, height;
  uint32_t flags;
  std::span<const EventBinding> events;
  ItemSettings settings;
};

enum BorderStyle : int32_t { BORDER_NONE = 0, BORDER_FIXED_SINGLE = 1, BORDER_SIZABLE = 2 };
enum StartPosition : int32_t { START_STORED = 0, START_CENTRED = 1 };
enum StartState : int32_t { START_NORMAL = 0, START_MINIMIZED = 1, START_MAXIMIZED = 2 };

struct WindowDef {
  uint32_t id;
  const char* caption;
  int32_t left, top, width, height;  // outer frame
  uint32_t flags;
  int32_t border;
  bool control_box;
  bool min_button;
  bool max_button;
  bool movable;
  bool topmost;
  bool in_taskbar;
  uint32_t background;  // RGB as 0x00BBGGRR
  int32_t start_position;
  int32_t start_state;
  std::span<const uint8_t> icon;  // an icon file, empty for none
  std::span<const EventBinding> events;
  std::span<const ItemDef> items;  // creation order, the window excluded
};

// The definitions this program stores (the main window only).
std::span<const WindowDef* const> stored_window_definitions();
const WindowDef& main_window_definition();

// The main window's icon file.
extern const uint8_t kMainWindowIcon[];
extern const size_t kMainWindowIconSize;

}  // namespace cx
