// Identifiers of the main window and its items, and the handler slots the
// window definition binds. The definition itself is data (main_window.cpp).
#pragma once

#include <cstdint>

#include "ui/access.h"

namespace cx {

constexpr uint32_t MAIN_WINDOW_ID = 0x52010001;

// Control identifiers, unique within the main window (0 is the window).
enum MainItemId : uint32_t {
  ID_MENU_TITLE = 0x00010001,
  ID_MENU_SITE = 0x00010002,
  ID_MENU_UPDATE = 0x00010003,
  ID_DIALOG = 0x00020004,
  ID_EXPORT_BUTTON = 0x00020005,
  ID_STOP_LABEL = 0x00020006,
  ID_OPTION_URL = 0x00020007,
  ID_OPTION_CHANNEL = 0x00020008,
  ID_OPTION_USER = 0x00020009,
  ID_PROGRESS_LABEL = 0x0002000A,
  ID_VIDEO_LIST = 0x0002000B,
  ID_FETCH_BUTTON = 0x0002000C,
  ID_NAME_EDIT = 0x0002000D,
  ID_CAPTION_LABEL = 0x0002000E,
};

// Control references as the logic names them.
inline constexpr ControlRef 主窗口{MAIN_WINDOW_ID, 0, TAG_WINDOW};
inline constexpr ControlRef 通用对话框1{MAIN_WINDOW_ID, ID_DIALOG, TAG_COMMON_DIALOG};
inline constexpr ControlRef 按钮1{MAIN_WINDOW_ID, ID_EXPORT_BUTTON, TAG_BUTTON};
inline constexpr ControlRef 透明标签_停止信息{MAIN_WINDOW_ID, ID_STOP_LABEL, TAG_LABEL};
inline constexpr ControlRef 选择框_Url{MAIN_WINDOW_ID, ID_OPTION_URL, TAG_CHECKBOX};
inline constexpr ControlRef 选择框_Channel{MAIN_WINDOW_ID, ID_OPTION_CHANNEL, TAG_CHECKBOX};
inline constexpr ControlRef 选择框_User{MAIN_WINDOW_ID, ID_OPTION_USER, TAG_CHECKBOX};
inline constexpr ControlRef 透明标签_获取信息{MAIN_WINDOW_ID, ID_PROGRESS_LABEL, TAG_LABEL};
inline constexpr ControlRef 超级列表框_视频{MAIN_WINDOW_ID, ID_VIDEO_LIST, TAG_LISTVIEW};
inline constexpr ControlRef 按钮_获取_停止{MAIN_WINDOW_ID, ID_FETCH_BUTTON, TAG_BUTTON};
inline constexpr ControlRef 编辑框_用户名{MAIN_WINDOW_ID, ID_NAME_EDIT, TAG_EDIT};
inline constexpr ControlRef 透明标签1{MAIN_WINDOW_ID, ID_CAPTION_LABEL, TAG_LABEL};

// Handler slots referred to by the stored definition; the program fills the
// table with its handlers at start-up (register_handlers in ui/registry.h).
enum HandlerSlot : int32_t {
  H_NONE = -1,
  H_MAIN_WINDOW_CREATED = 0,
  H_MAIN_WINDOW_DESTROYED,
  H_OPEN_MAKER_SITE,
  H_CHECK_FOR_UPDATE,
  H_EXPORT_LIST,
  H_OPTION_URL_CLICKED,
  H_OPTION_CHANNEL_CLICKED,
  H_OPTION_USER_CLICKED,
  H_FETCH_STOP_CLICKED,
  H_SLOT_COUNT,
};

}  // namespace cx
