// The program in a 64-bit process whose allocations all lie above 4 GB, as a
// 64-bit Windows places them; a value that keeps an address in 32 bits loses
// it there. A copy of this test program, named Clipdex.exe in a folder of its
// own, runs the program's own start-up, a whole fetch run of a two-page
// channel (page requests, body and escape decoding, the list) and, as the
// update check found V1.1, the updater library the program writes out: its
// download replaces the copy's file and ends the process. This process
// answers the boxes and checks the outcome. Runs inside the test namespace
// with high_address_routes.py.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/fetch_run.h"
#include "app/program.h"
#include "app/state.h"
#include "services/text.h"
#include "tests/support/high_addresses.h"
#include "tests/support/win_probe.h"
#include "ui/access.h"
#include "ui/message_loop.h"
#include "ui/registry.h"
#include "ui/main_window.h"

namespace {

const char kChildSwitch[] = "--high-address-run";
const int kPerPage = 20;  // high_address_routes.py
const int kUpdaterButton = 3;

// The rows the channel lists, in GBK as the list holds them.
std::string expected_row(int n) {
  char line[160];
  std::snprintf(line, sizeof line, "%d\t高地址视频 第%d集 &amp; more\thttps://www.clipdex.com/watch?v=hiaddr%05d", n,
                n + 1, n);
  return line;
}

// --- the copy: the program's code at high addresses ---------------------------------

int run_copy(const char* report_path) {
  using namespace cx;
  const probe::HighAddressSetup setup = probe::move_allocations_above_4gb();
  std::string report = "below 4 GB: " + probe::what_lies_below_4gb() + "\n";
  std::printf("below 4 GB: %llu MB of free space reserved, %llu KB of heap blocks held\n",
              (unsigned long long)(setup.reserved_bytes >> 20), (unsigned long long)(setup.held_bytes >> 10));
  std::fflush(stdout);

  program_startup();
  // Created event: the listing address and the update check, which opens
  // the updater and names V1.1 in a box that the test answers.
  load_window(MAIN_WINDOW_ID);
  listing_address = Text::literal("https://www.clipdex.com/user/highaddress/videos");
  on_fetch_stop_clicked();  // returns when the run has ended
  const int32_t rows = list_row_count(超级列表框_视频);
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t c = 0; c < 3; ++c) report += std::string(c ? "\t" : "") + list_get_cell(超级列表框_视频, r, c).c_str();
    report += "\n";
  }
  probe::write_file(report_path, report);

  // The download replaces this program's file, then its box is answered and
  // the process ends.
  HWND updater = probe::wait_for_window(GetCurrentProcessId(), nullptr, "更新程序", 5000);
  if (!updater) return 4;
  PostMessageA(updater, WM_COMMAND, MAKEWPARAM(kUpdaterButton, BN_CLICKED), LPARAM(GetDlgItem(updater, kUpdaterButton)));
  run_message_loop();
  return 5;
}

// --- the test ----------------------------------------------------------------------------

std::string wine_path(const char* unix_path) {
  std::string s = std::string("Z:") + unix_path;
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) lines.push_back(text.substr(at, end - at));
  return lines;
}

TEST(ProgramAboveFourGigabytes, ListsAChannelAndUpdatesItself) {
  const std::string dir = probe::fresh_folder("cx_high_program");
  const std::string program = dir + "\\Clipdex.exe", report = dir + "\\rows.txt";
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  ASSERT_TRUE(CopyFileA(self, program.c_str(), FALSE));
  const std::string old_bytes = probe::read_file(program);

  std::string command = "\"" + program + "\" " + kChildSwitch + " \"" + report + "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi));
  DWORD code = STILL_ACTIVE;
  std::vector<probe::SeenBox> boxes;
  {
    probe::BoxResponder answers({IDOK, IDCANCEL}, pi.dwProcessId);
    WaitForSingleObject(pi.hProcess, 120000);
    GetExitCodeProcess(pi.hProcess, &code);
    if (code == STILL_ACTIVE) TerminateProcess(pi.hProcess, 9);
    boxes = answers.seen();
  }
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);

  const std::vector<std::string> lines = lines_of(probe::read_file(report));
  ASSERT_FALSE(lines.empty()) << "the fetch run did not end";
  EXPECT_EQ(lines[0], "below 4 GB: ") << "the premise: every fresh allocation lies above 4 GB";
  std::vector<std::string> expected;
  for (int n = 0; n < 2 * kPerPage; ++n) expected.push_back(expected_row(n));
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), expected);

  std::vector<std::string> texts;
  for (const probe::SeenBox& b : boxes) texts.push_back(b.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"当前为最新版本：V1.1", "更新完成，是否立即运行？"}));
  EXPECT_EQ(code, 0u) << "the process must end through the updater";
  EXPECT_TRUE(probe::read_file(program) == probe::read_file(wine_path(CX_DOWNLOAD_IMAGE)))
      << "the program's file must hold the downloaded one";
  EXPECT_FALSE(probe::read_file(program) == old_bytes);
  EXPECT_TRUE(probe::list(dir, "*.tmp").empty());
  probe::remove_folder(dir);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], kChildSwitch) == 0) return run_copy(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
