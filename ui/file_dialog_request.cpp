#include "ui/file_dialog_request.h"

#include "ui/definition.h"

namespace cx {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

std::string file_dialog_filter(std::string_view filter) {
  // GBK trail bytes are never below 0x40, so trimming from the end is safe.
  while (!filter.empty() && is_space(filter.back())) filter.remove_suffix(1);
  if (filter.empty()) return std::string();

  std::string out;
  out.reserve(filter.size() + 2);
  int bars_at_end = 0;  // '|' characters (not trail bytes) closing the text
  for (size_t i = 0; i < filter.size(); ++i) {
    uint8_t b = uint8_t(filter[i]);
    if (gbk_lead_byte(b) && i + 1 < filter.size()) {
      out.push_back(filter[i]);
      out.push_back(filter[++i]);
      bars_at_end = 0;
    } else if (b == '|') {
      out.push_back('\0');
      ++bars_at_end;
    } else {
      out.push_back(filter[i]);
      bars_at_end = 0;
    }
  }
  if (bars_at_end < 2) out.append(2, '\0');
  return out;
}

uint32_t file_dialog_flags(uint32_t switches) {
  uint32_t flags = FD_HIDE_READ_ONLY;
  if (switches & DIALOG_CREATE_PROMPT) flags |= FD_CREATE_PROMPT;
  if (switches & DIALOG_FILE_MUST_EXIST) flags |= FD_FILE_MUST_EXIST;
  if (switches & DIALOG_OVERWRITE_PROMPT) flags |= FD_OVERWRITE_PROMPT;
  if (switches & DIALOG_PATH_MUST_EXIST) flags |= FD_PATH_MUST_EXIST;
  if (switches & DIALOG_KEEP_DIRECTORY) flags |= FD_NO_CHANGE_DIRECTORY;
  return flags;
}

FileDialogRequest build_file_dialog_request(std::string_view filter, int32_t filter_index, uint32_t switches) {
  FileDialogRequest r;
  r.filter = file_dialog_filter(filter);
  r.flags = file_dialog_flags(switches);
  if (r.filter.empty())
    r.filter_index = 0;
  else
    r.filter_index = filter_index < 0 ? 1u : uint32_t(filter_index) + 1u;
  return r;
}

int32_t clamp_dialog_kind(int32_t kind) {
  if (kind < DIALOG_OPEN) return DIALOG_OPEN;
  if (kind > DIALOG_HELP) return DIALOG_HELP;
  return kind;
}

}  // namespace cx
