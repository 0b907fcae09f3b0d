#include "app/update_check.h"

#include "app/version_file.h"
#include "services/runtime.h"
#include "services/text.h"
#include "updater/embedded.h"
#include "updater/update_files.h"
#include "web/browser_launch.h"
#include "web/read_url.h"

namespace cx {

const char kVersionFileAddress[] = CX_MAKER_SITE_ROOT "/soft/clipdex/clipdex.txt";
const char kMakerSiteLink[] = CX_MAKER_SITE_ROOT "/?cxb";

namespace {
const char kLibraryFileName[] = "\\Updata.dll";
const char kProgramFileName[] = "\\Clipdex.exe";
const char kNewestPrefix[] = "当前为最新版本：";
const char kCheckFailed[] = "检查更新失败";

// Writes the updater library next to the program. Once loaded it stays
// loaded for the rest of the run, and a loaded library's file is not written
// over: the image in memory is the one the program carries anyway.
bool provide_updater_library(const Text& directory) {
  if (declared_function_table()[DECL_UPDATE_WINDOW].address) return true;
  return write_file(directory + kLibraryFileName, Bytes::literal(&updater_library_image()));
}
}  // namespace

void check_for_update() {
  ReadUrlOutcome outcome;
  Bytes data = read_url(Text::literal(kVersionFileAddress), &outcome);
  Text file_text = to_text(data);
  VersionFile announced = read_version_file(file_text);
  // A cut or oversized answer may announce anything: only a whole version
  // file counts.
  if (outcome != ReadUrlOutcome::complete || !announced.announces_version) {
    // Nothing was learnt: no reason to touch the program, and no version to name.
    message_box(Text::literal(kCheckFailed));
    return;
  }
  if (!is_current_version(announced.newest)) {
    Text directory = program_directory();
    if (!provide_updater_library(directory)) {
      // Without its library the updater cannot open; loading a missing one
      // would end the program.
      message_box(Text::literal(kCheckFailed));
      return;
    }
    Text program_file = directory + kProgramFileName;
    call_declared(DECL_UPDATE_WINDOW, announced.download, program_file);
  }
  message_box(kNewestPrefix + announced.newest);
}

void remove_updater_leftovers() {
  // The program file the updater is given, whose leftovers it names.
  const Text program_file = program_directory() + kProgramFileName;
  updata::remove_update_leftovers(program_file.c_str());
}

void open_maker_site() { open_in_browser(Text::literal(kMakerSiteLink)); }

}  // namespace cx
