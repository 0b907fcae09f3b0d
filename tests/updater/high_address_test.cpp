// The updater in a 64-bit process whose allocations all lie above 4 GB, as a
// 64-bit Windows places them: a whole download with the swap of the target,
// and the module following a download through its timer. A value that keeps
// an address in 32 bits loses it here. Runs inside the test namespace, where
// www.clipdexsoft.com is the fixture server.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/high_addresses.h"
#include "tests/support/win_probe.h"
#include "tests/updater/download_settings.h"
#include "updater/module.h"
#include "updater/transfer.h"

using namespace updata;

namespace {

// Before any test, so before the updater's first allocation.
class AboveFourGigabytes : public ::testing::Environment {
 public:
  void SetUp() override {
    const probe::HighAddressSetup s = probe::move_allocations_above_4gb();
    std::printf("below 4 GB: %llu MB of free space reserved, %llu KB of heap blocks held (%lu heaps)\n",
                (unsigned long long)(s.reserved_bytes >> 20), (unsigned long long)(s.held_bytes >> 10),
                (unsigned long)s.heaps);
  }
};
::testing::Environment* const kAboveFourGigabytes = ::testing::AddGlobalTestEnvironment(new AboveFourGigabytes);

TEST(HighAddresses, FreshAllocationsLieAboveFourGigabytes) { EXPECT_EQ(probe::what_lies_below_4gb(), ""); }

std::vector<int32_t> g_codes;

int32_t __stdcall record_event(int32_t code, int32_t, int32_t, int32_t, int32_t) {
  g_codes.push_back(code);
  return 0;
}

bool last_event_came() {
  return !g_codes.empty() && (g_codes.back() == TRANSFER_FINISHED || g_codes.back() == TRANSFER_FAILED);
}

TEST(UpdaterAboveFourGigabytes, DownloadsTheNewProgramAndPutsItInPlace) {
  ASSERT_EQ(probe::what_lies_below_4gb(), "");
  const std::string program = probe::read_file(probe::module_folder() + "\\updater_marker.exe");
  ASSERT_GT(program.size(), 1000u);
  const std::string dir = probe::fresh_folder("cx_high");
  const std::string target = dir + "\\Clipdex.exe";
  ASSERT_TRUE(probe::write_file(target, "MZ the program that runs now"));
  std::string source = "http://www.clipdexsoft.com/soft/clipdex/Clipdex.exe";
  TransferSettings s = updatertest::download_settings(record_event);
  s.source = source.data();
  s.target = const_cast<char*>(target.c_str());

  TransferHandle transfer{};
  transfer_start(&transfer, &s);
  const bool ended = probe::pump_until(last_event_came, 30000);
  const int32_t progress = transfer_progress(transfer);
  const bool running = transfer_running(transfer);
  transfer_release(&transfer);

  ASSERT_TRUE(ended) << "no last event";
  EXPECT_EQ(g_codes, (std::vector<int32_t>{TRANSFER_TOTAL_SIZE, TRANSFER_FINISHED}));
  EXPECT_TRUE(probe::read_file(target) == program) << "the target must hold the served program";
  EXPECT_EQ(progress, int32_t(program.size()));
  EXPECT_FALSE(running);
  EXPECT_EQ(transfer, TransferHandle{});
  EXPECT_EQ(probe::list(dir, "*"), (std::vector<std::string>{"Clipdex.exe"}));
  probe::remove_folder(dir);
}

TEST(UpdaterAboveFourGigabytes, ModuleShowsTheProgressOfARunningDownload) {
  ASSERT_EQ(probe::what_lies_below_4gb(), "");
  // 10 000 bytes; the server pauses long after half of them. The module is
  // unloaded before the download could end (which would end this process).
  module_use_transfer(nullptr);
  const std::string dir = probe::fresh_folder("cx_high_module");
  const std::string target = dir + "\\Clipdex.exe";
  update_window("http://www.clipdexsoft.com/soft/clipdex/stall_long.exe", target.c_str());
  HWND w = module_window();
  ASSERT_NE(w, nullptr) << "no window: is there a display?";
  SendMessageA(GetDlgItem(w, ID_BUTTON), BM_CLICK, 0, 0);
  HWND label = GetDlgItem(w, ID_LABEL);
  const bool shown = probe::pump_until([&] { return probe::window_text(label) == "下载进度：50%"; }, 10000);
  const int position = int(SendMessageA(GetDlgItem(w, ID_PROGRESS), PBM_GETPOS, 0, 0));
  module_unload(false);
  EXPECT_EQ(module_state().transfer, TransferHandle{});
  probe::remove_folder(dir);
  EXPECT_TRUE(shown);
  EXPECT_EQ(position, 50);
}

}  // namespace
