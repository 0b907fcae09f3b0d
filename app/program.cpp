#include "app/program.h"

#include "app/export.h"
#include "app/fetch_run.h"
#include "app/listing_address.h"
#include "app/state.h"
#include "app/update_check.h"
#include "services/runtime.h"
#include "ui/registry.h"
#include "ui/message_loop.h"
#include "ui/main_window.h"
#include "web/read_url.h"

namespace cx {

void on_main_window_created() {
  set_up_listing_address();
  check_for_update();
}

void on_main_window_destroyed() { end_program(0); }

namespace {

template <void (*F)()>
int32_t handler() {
  F();
  return 1;
}

// Which handler answers which slot of the window definition.
constexpr EventHandler kHandlers[H_SLOT_COUNT] = {
    /* H_MAIN_WINDOW_CREATED    */ handler<on_main_window_created>,
    /* H_MAIN_WINDOW_DESTROYED  */ handler<on_main_window_destroyed>,
    /* H_OPEN_MAKER_SITE        */ handler<open_maker_site>,
    /* H_CHECK_FOR_UPDATE       */ handler<check_for_update>,
    /* H_EXPORT_LIST            */ handler<export_list>,
    /* H_OPTION_URL_CLICKED     */ handler<on_option_url_clicked>,
    /* H_OPTION_CHANNEL_CLICKED */ handler<on_option_channel_clicked>,
    /* H_OPTION_USER_CLICKED    */ handler<on_option_user_clicked>,
    /* H_FETCH_STOP_CLICKED     */ handler<on_fetch_stop_clicked>,
};

void program_startup_routine() {}

}  // namespace

void program_startup() {
  runtime_startup();
  registry_startup();
  register_handlers(kHandlers, H_SLOT_COUNT);
  register_end_routine(release_globals);
  // The URL reader keeps its root handle open until the program ends.
  register_service_release(read_url_shutdown);
}

void run_program() {
  program_startup();
  // An update leaves the old program file beside the new one while it runs,
  // and a download cut short by the program's end may leave its file.
  remove_updater_leftovers();
  program_startup_routine();
  load_window(MAIN_WINDOW_ID);
  run_message_loop();
  end_program(0);
}

}  // namespace cx
