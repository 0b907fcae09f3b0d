// The update check end to end: the maker's server (the fixture) serves a
// version file, a scenario process runs the check as the program does at its
// start, and the test looks at the message boxes, the updater's window and
// entry call, and the library file next to the program.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/update_check.h"
#include "tests/support/browser_recorder.h"
#include "tests/support/win_probe.h"
#include "updater/embedded.h"

namespace {

struct Box {
  std::string caption, text;
  bool updater_open;
};

struct Outcome {
  bool ran = false;
  std::vector<Box> boxes;
  std::vector<std::string> calls;  // "address\tpath"
  bool library_written = false;
  std::string library;
};

std::string folder() { return probe::module_folder(); }
std::string library_file() { return folder() + "\\Updata.dll"; }
std::string image() {
  const cx::BytesBlock& b = cx::updater_library_image();
  return std::string(reinterpret_cast<const char*>(b.data), size_t(b.length));
}

// Serves file_text as the version file and runs one check.
Outcome check_with(const std::string& file_text, bool keep_library = false) {
  Outcome out;
  if (!probe::write_file(probe::unix_to_wine(CX_VERSION_FILE), file_text)) return out;
  if (!keep_library) DeleteFileA(library_file().c_str());
  std::string report = folder() + "\\update_check_report.txt";
  DeleteFileA(report.c_str());
  std::string program = folder() + "\\update_check_scenario.exe";
  std::string command = "\"" + program + "\" \"" + report + "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder().c_str(), &si, &pi))
    return out;
  if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 9);
  DWORD code = 9;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  out.ran = code == 0;
  std::istringstream lines(probe::read_file(report));
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
    if (f.size() == 4 && f[0] == "box") out.boxes.push_back({f[1], f[2], f[3] == "1"});
    if (f.size() == 3 && f[0] == "call") out.calls.push_back(f[1] + "\t" + f[2]);
  }
  out.library_written = probe::exists(library_file());
  out.library = probe::read_file(library_file());
  return out;
}

const std::string kProgramPath() { return folder() + "\\Clipdex.exe"; }

// The check ran and ended with one box saying `text`, and no updater.
void expect_box_only(const Outcome& o, const std::string& text) {
  ASSERT_TRUE(o.ran);
  EXPECT_FALSE(o.library_written) << "no library may be written";
  EXPECT_TRUE(o.calls.empty()) << "the updater must not open";
  ASSERT_EQ(o.boxes.size(), 1u);
  EXPECT_EQ(o.boxes[0].caption, "信息：");
  EXPECT_EQ(o.boxes[0].text, text);
  EXPECT_FALSE(o.boxes[0].updater_open);
}

// The check ran, wrote the library, opened the updater for `download` and
// then named the version `newest` in a box.
void expect_updater(const Outcome& o, const std::string& download, const std::string& newest) {
  ASSERT_TRUE(o.ran);
  EXPECT_TRUE(o.library_written);
  EXPECT_TRUE(o.library == image()) << "the library file must be the carried image";
  ASSERT_EQ(o.calls.size(), 1u);
  EXPECT_EQ(o.calls[0], download + "\t" + kProgramPath());
  ASSERT_EQ(o.boxes.size(), 1u);
  EXPECT_TRUE(o.boxes[0].updater_open) << "the box follows the opened updater window";
  EXPECT_EQ(o.boxes[0].caption, "信息：");
  EXPECT_EQ(o.boxes[0].text, "当前为最新版本：" + newest);
}

// --- the announced version is this one ---------------------------------------------------

TEST(UpdateCheck, SameVersionStartsNoUpdaterAndNamesIt) {
  expect_box_only(check_with("new=[V1.0]\r\ndownload=[http://www.clipdexsoft.com/soft/clipdex/Clipdex.exe]\r\n"),
                  "当前为最新版本：V1.0");
}

TEST(UpdateCheck, OnlyTheFirstNewFieldCounts) {
  expect_box_only(check_with("new=[V1.0]\r\nnew=[V1.1]\r\ndownload=[x]\r\n"), "当前为最新版本：V1.0");
  expect_updater(check_with("new=[V1.1]\r\nnew=[V1.0]\r\ndownload=[x]\r\n"), "x", "V1.1");
}

// --- another version opens the updater first --------------------------------------------------

TEST(UpdateCheck, NewerVersionOnOneLineWritesTheLibraryOpensTheUpdaterThenNamesIt) {
  expect_updater(check_with("new=[V1.1]download=[x]"), "x", "V1.1");
}

struct DifferentCase {
  const char* name;
  const char* newest;
};

class DifferentVersion : public ::testing::TestWithParam<DifferentCase> {};

TEST_P(DifferentVersion, OpensTheUpdater) {
  std::string newest = GetParam().newest;
  const std::string download = "http://www.clipdexsoft.com/soft/clipdex/Clipdex.exe";
  expect_updater(check_with("new=[" + newest + "]\r\ndownload=[" + download + "]\r\n"), download, newest);
}

INSTANTIATE_TEST_SUITE_P(Announcements, DifferentVersion,
                         ::testing::Values(DifferentCase{"leading_blank", " V1.0"},
                                           DifferentCase{"trailing_blank", "V1.0 "},
                                           DifferentCase{"lower_case", "v1.0"}, DifferentCase{"older", "V0.9"},
                                           DifferentCase{"empty", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateCheck, LibraryLeftByAnEarlierRunIsReplaced) {
  ASSERT_TRUE(probe::write_file(library_file(), "MZ an older library"));
  expect_updater(check_with("new=[V1.1]download=[x]", /*keep_library=*/true), "x", "V1.1");
}

// --- nothing learnt, nothing done -----------------------------------------------------------------

struct FailedCase {
  const char* name;
  const char* file;
};

class NothingAnnounced : public ::testing::TestWithParam<FailedCase> {};

TEST_P(NothingAnnounced, IsReportedAsAFailedCheckAndTouchesNothing) {
  expect_box_only(check_with(GetParam().file), "检查更新失败");
}

INSTANTIATE_TEST_SUITE_P(Files, NothingAnnounced,
                         ::testing::Values(FailedCase{"empty", ""},
                                           FailedCase{"error_page", "<html><body>Service unavailable</body></html>"},
                                           FailedCase{"download_only", "download=[http://x/Clipdex.exe]\r\n"},
                                           FailedCase{"unclosed", "new=[V1.1\r\ndownload=[x\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Run in a namespace without any server (see the test list).
TEST(UpdateCheckOffline, UnreachableServerIsAFailedCheckWithoutLibrary) {
  expect_box_only(check_with("new=[V1.1]download=[x]"), "检查更新失败");
}

// --- the web-site link ------------------------------------------------------------------------------

TEST(MakerSite, OpensTheSiteRootWithItsQueryKey) {
  probe::BrowserRecorder browser;
  ASSERT_TRUE(browser.active());
  cx::open_maker_site();
  ASSERT_TRUE(browser.wait_for_any(15000));
  EXPECT_EQ(browser.opened(), "http://www.clipdexsoft.com/?cxb\n");
}

}  // namespace
