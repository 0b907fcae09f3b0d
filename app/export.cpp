#include "app/export.h"

#include <string>

#include "services/runtime.h"
#include "services/text.h"
#include "ui/main_window.h"

namespace cx {

void export_list() {
  set_int_property(通用对话框1, DIALOG_KIND, 1);  // save file
  set_text_property(通用对话框1, DIALOG_INITIAL_DIRECTORY, program_directory());
  set_text_property(通用对话框1, DIALOG_FILTER, Text::literal("文本文档/txt"));

  // The links as the list holds them right now, each line ended by CR LF.
  const int32_t n = list_row_count(超级列表框_视频);
  std::string out;
  for (int32_t i = 1; i <= n; ++i) {
    out += list_get_cell(超级列表框_视频, i - 1, 2).view();
    out += "\r\n";
  }

  if (!show_common_dialog(通用对话框1)) {
    message_box(Text::literal("账号导出失败"));
    return;
  }
  // ".txt" goes on in every case, also behind a name that already has it.
  const Text file = get_text_property(通用对话框1, DIALOG_FILE_NAME) + ".txt";
  const bool ok = write_file(file, Bytes::copy(out.data(), out.size()));
  message_box(Text::literal(ok ? "导出成功" : "导出失败"));
}

}  // namespace cx
