// What the file dialog is asked to show, worked out from the common dialog
// control's settings. Kept apart from the platform call so that the rules
// (filter form, flags, filter index) hold in one place.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cx {

// Flag values of the platform's file-dialog record.
enum FileDialogFlag : uint32_t {
  FD_OVERWRITE_PROMPT = 0x00000002,
  FD_HIDE_READ_ONLY = 0x00000004,
  FD_NO_CHANGE_DIRECTORY = 0x00000008,
  FD_PATH_MUST_EXIST = 0x00000800,
  FD_FILE_MUST_EXIST = 0x00001000,
  FD_CREATE_PROMPT = 0x00002000,
};

struct FileDialogRequest {
  std::string filter;     // "desc\0pattern\0...\0\0", empty for none
  uint32_t flags;
  uint32_t filter_index;  // 1-based, 0 without a filter
};

// The filter text as the dialog takes it: trailing white space trimmed, "||"
// appended unless it already ends with it, every '|' a zero byte. A GBK
// trail byte that happens to be '|' belongs to its character and stays.
std::string file_dialog_filter(std::string_view filter);
uint32_t file_dialog_flags(uint32_t switches);
FileDialogRequest build_file_dialog_request(std::string_view filter, int32_t filter_index, uint32_t switches);

// The dialog-kind property takes 0..3; values outside are clamped.
int32_t clamp_dialog_kind(int32_t kind);

// True for a GBK lead byte (code page 936).
inline bool gbk_lead_byte(uint8_t b) { return b >= 0x81 && b <= 0xFE; }

}  // namespace cx
