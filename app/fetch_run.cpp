#include "app/fetch_run.h"

#include "app/paging.h"
#include "app/state.h"
#include "app/tile_parsing.h"
#include "services/runtime.h"
#include "services/text.h"
#include "ui/main_window.h"

namespace cx {

namespace {

void request_stop() {
  fetch_running = 0;
  set_text_property(按钮_获取_停止, BUTTON_CAPTION, Text::literal("获取"));
  set_bool_property(按钮_获取_停止, PROP_DISABLED, true);
  set_bool_property(透明标签_获取信息, PROP_VISIBLE, false);
  set_bool_property(透明标签_停止信息, PROP_VISIBLE, true);
  set_text_property(透明标签_停止信息, LABEL_CAPTION, Text::literal("正在停止线程,请稍等..."));
  // The run further up this thread sees the flag at its next page.
}

void start_run() {
  tile_index = 0;
  row_number = 0;
  list_delete_all(超级列表框_视频);
  set_text_property(按钮_获取_停止, BUTTON_CAPTION, Text::literal("停止"));
  fetch_running = 1;
  set_bool_property(透明标签_停止信息, PROP_VISIBLE, false);
  set_bool_property(透明标签_获取信息, PROP_VISIBLE, true);
  set_text_property(透明标签_获取信息, LABEL_CAPTION, Text::literal("正在加载信息..."));

  begin_run_addresses(listing_address);
  if (!fetch_page(listing_address, page_text)) {
    end_fetch_run(kFetchFailedText, RunEnd::progress_only);
    return;
  }
  set_text_property(透明标签_获取信息, LABEL_CAPTION, Text::literal("正在整理视频内容,准备加载..."));
  delay(kPageWaitMs);
  parse_listing_page(page_text);  // returns when the whole run has ended
}

}  // namespace

void on_fetch_stop_clicked() {
  const Text caption = get_text_property(按钮_获取_停止, BUTTON_CAPTION);
  if (caption == "停止")
    request_stop();
  else
    start_run();
}

}  // namespace cx
