// The file transfer against the fixture server: what reaches the target, what
// stays untouched, which events arrive and on which thread. Runs inside the
// test network namespace, where www.clipdexsoft.com is the fixture server.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tests/fixture/request_log.h"
#include "tests/support/win_probe.h"
#include "tests/updater/download_settings.h"
#include "updater/module.h"
#include "updater/transfer.h"

using namespace updata;

namespace {

const std::string kSite = "http://www.clipdexsoft.com/soft/clipdex/";

struct Event {
  int32_t code;
  int32_t value;
  DWORD thread;
};
std::vector<Event> g_events;

int32_t __stdcall record_event(int32_t code, int32_t, int32_t value, int32_t, int32_t) {
  g_events.push_back({code, value, GetCurrentThreadId()});
  return 0;
}

bool finished() {
  return !g_events.empty() && (g_events.back().code == TRANSFER_FINISHED || g_events.back().code == TRANSFER_FAILED);
}

// The program the fixture serves as the new version (the marker program).
std::string served_program() { return probe::read_file(probe::module_folder() + "\\updater_marker.exe"); }

const std::string kOldProgram = "MZ this stands for the program that runs now";

class Transfer : public ::testing::Test {
 protected:
  void SetUp() override {
    g_events.clear();
    dir_ = probe::fresh_folder("cx_transfer");
    target_ = dir_ + "\\Clipdex.exe";
    settings_ = updatertest::download_settings(record_event);
  }
  void TearDown() override {
    transfer_release(&handle_);
    probe::remove_folder(dir_);
  }
  // Starts source -> target and pumps this thread until the last event.
  bool run(const std::string& source, const std::string& target, int ms = 30000) {
    source_ = source;
    target_used_ = target;
    settings_.source = const_cast<char*>(source_.c_str());
    settings_.target = const_cast<char*>(target_used_.c_str());
    transfer_start(&handle_, &settings_);
    return probe::pump_until(finished, ms);
  }
  bool run(const std::string& source) { return run(source, target_); }
  std::vector<int32_t> codes() const {
    std::vector<int32_t> c;
    for (const Event& e : g_events) c.push_back(e.code);
    return c;
  }
  // Everything in the folder but the target itself.
  std::vector<std::string> leftovers(const std::string& keep = "Clipdex.exe") const {
    std::vector<std::string> rest;
    for (const std::string& f : probe::list(dir_, "*"))
      if (f != keep) rest.push_back(f);
    return rest;
  }

  std::string dir_, target_, source_, target_used_;
  TransferSettings settings_{};
  TransferHandle handle_ = nullptr;
};

// --- downloads that succeed -----------------------------------------------------

TEST_F(Transfer, CompleteDownloadReplacesTheTargetAndReportsSizeThenSuccessOnTheCallersThread) {
  const std::string program = served_program();
  ASSERT_GT(program.size(), 1000u);
  ASSERT_TRUE(probe::write_file(target_, kOldProgram));
  ASSERT_TRUE(run(kSite + "Clipdex.exe"));
  ASSERT_EQ(codes(), (std::vector<int32_t>{TRANSFER_TOTAL_SIZE, TRANSFER_FINISHED}));
  EXPECT_EQ(g_events[0].value, int32_t(program.size()));
  for (const Event& e : g_events) EXPECT_EQ(e.thread, GetCurrentThreadId());
  EXPECT_TRUE(probe::read_file(target_) == program) << "the target must hold the served program";
  EXPECT_EQ(transfer_progress(handle_), int32_t(program.size()));
  EXPECT_FALSE(transfer_running(handle_));
  EXPECT_TRUE(leftovers().empty()) << "no temporary or aside file may stay behind";
}

// Tests of a table of cases, each named by its `name`.
template <class Case>
class TransferWith : public Transfer, public ::testing::WithParamInterface<Case> {};
const auto kCaseName = [](const auto& info) { return std::string(info.param.name); };

// A download route of the fixture server.
struct Route {
  const char* name;
  const char* address;  // relative to the site's download folder, or absolute
  bool announces_size;  // the size event comes before the last one
  std::string url() const {
    return std::string(address).find("://") == std::string::npos ? kSite + address : address;
  }
  std::vector<int32_t> events(int32_t last) const {
    std::vector<int32_t> e;
    if (announces_size) e.push_back(TRANSFER_TOTAL_SIZE);
    e.push_back(last);
    return e;
  }
};

class GoodDownloads : public TransferWith<Route> {};

TEST_P(GoodDownloads, ArriveWholeInTheTargetsPlace) {
  const std::string program = served_program();
  ASSERT_TRUE(probe::write_file(target_, kOldProgram));
  ASSERT_TRUE(run(GetParam().url()));
  EXPECT_EQ(codes(), GetParam().events(TRANSFER_FINISHED));
  EXPECT_TRUE(probe::read_file(target_) == program);
  EXPECT_TRUE(leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(Routes, GoodDownloads,
                         ::testing::Values(Route{"without_length", "nolength.exe", false},
                                           Route{"chunked", "chunked.exe", false},
                                           Route{"redirected", "redirect.exe", true},
                                           Route{"secure", "https://www.clipdexsoft.com/soft/clipdex/Clipdex.exe", true}),
                         kCaseName);

TEST_F(Transfer, FailedDownloadToAMissingTargetLeavesNothing) {
  ASSERT_TRUE(run(kSite + "nolength_cut.exe"));
  EXPECT_EQ(codes().back(), TRANSFER_FAILED);
  EXPECT_FALSE(probe::exists(target_));
  EXPECT_TRUE(leftovers("").empty()) << "the partial download must be gone";
}

TEST_F(Transfer, MissingTargetIsCreated) {
  ASSERT_TRUE(run(kSite + "Clipdex.exe"));
  EXPECT_EQ(codes().back(), TRANSFER_FINISHED);
  EXPECT_TRUE(probe::read_file(target_) == served_program());
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(Transfer, FileOfARunningProgramIsReplaced) {
  // A copy of a program that waits, started from the target's place.
  std::string host = probe::module_folder() + "\\updater_host.exe";
  ASSERT_TRUE(CopyFileA(host.c_str(), target_.c_str(), FALSE));
  const std::string before = probe::read_file(target_);
  std::string command = "\"" + target_ + "\" --wait";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessA(target_.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  // The program runs once its thread has a message queue, made by its
  // message loop: only then does a posted message (a harmless WM_NULL) arrive.
  bool up = probe::wait_until([&] { return PostThreadMessageA(pi.dwThreadId, WM_NULL, 0, 0) != FALSE; }, 20000);
  bool ok = up && run(kSite + "Clipdex.exe");
  std::string after = probe::read_file(target_);
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  ASSERT_TRUE(up) << "the program did not come up";
  ASSERT_TRUE(ok);
  EXPECT_EQ(codes().back(), TRANSFER_FINISHED);
  EXPECT_TRUE(after == served_program());
  EXPECT_FALSE(after == before);
  // The old file was set aside; it goes now or at the next restart, never as a temporary file.
  for (const std::string& f : leftovers()) EXPECT_EQ(f.rfind("Clipdex.exe.old", 0), 0u) << f;
}

// --- downloads that fail leave the old program as it was ------------------------------------

class BadDownloads : public TransferWith<Route> {};

TEST_P(BadDownloads, ReportFailureAndLeaveTheTargetByteForByte) {
  ASSERT_TRUE(probe::write_file(target_, kOldProgram));
  ASSERT_TRUE(run(GetParam().url(), target_, 60000));
  EXPECT_EQ(codes(), GetParam().events(TRANSFER_FAILED));
  EXPECT_EQ(probe::read_file(target_), kOldProgram);
  EXPECT_TRUE(leftovers().empty()) << "the temporary file must be gone";
  EXPECT_FALSE(transfer_running(handle_));
}

INSTANTIATE_TEST_SUITE_P(
    Routes, BadDownloads,
    // A size is announced only for an answer that is going to be read.
    ::testing::Values(Route{"not_found", "missing.exe", false},             // the fixture's 404 page
                      Route{"server_error", "servererror.exe", false},      // a program behind status 500
                      Route{"error_page", "errorpage.exe", true},           // 200, but a web page
                      Route{"truncated", "truncated.exe", true},            // closes after half the length
                      // No length announced, the connection closed early: inside a section, inside the headers.
                      Route{"cut_without_length", "nolength_cut.exe", false},
                      Route{"headers_cut_without_length", "nolength_headers_cut.exe", false},
                      Route{"empty", "empty.exe", true},                    // nothing at all
                      Route{"unknown_host", "http://nowhere.invalid/Clipdex.exe", false},
                      Route{"other_scheme", "ftp://www.clipdexsoft.com/soft/clipdex/Clipdex.exe", false},
                      Route{"no_address", "", false}),
    kCaseName);

TEST_F(Transfer, ServerThatNeverAnswersEndsTheDownloadByItsTimeOut) {
  // It takes the request and says nothing: each attempt ends with the
  // receive time-out, and the last one with the failure.
  settings_.attempts = 2;
  settings_.receive_timeout = 1500;
  settings_.retry_pause = 200;
  cx::fixture::RequestLog log;
  ASSERT_TRUE(probe::write_file(target_, kOldProgram));
  ASSERT_TRUE(run(kSite + "silent.exe", target_, 20000)) << "the download never ended";
  EXPECT_EQ(codes(), (std::vector<int32_t>{TRANSFER_FAILED}));
  EXPECT_EQ(log.since().size(), 2u);
  EXPECT_EQ(probe::read_file(target_), kOldProgram);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(Transfer, TargetWithAnUnlistedEndingIsNeverRequested) {
  cx::fixture::RequestLog log;
  std::string target = dir_ + "\\Clipdex.dat";
  ASSERT_TRUE(probe::write_file(target, kOldProgram));
  ASSERT_TRUE(run(kSite + "Clipdex.exe", target));
  EXPECT_EQ(codes(), (std::vector<int32_t>{TRANSFER_FAILED}));
  EXPECT_EQ(probe::read_file(target), kOldProgram);
  EXPECT_TRUE(log.since().empty());
}

// --- what counts as a complete program image ------------------------------------------------

uint32_t le32_at(const std::string& image, size_t at) {
  return uint32_t(uint8_t(image[at])) | uint32_t(uint8_t(image[at + 1])) << 8 | uint32_t(uint8_t(image[at + 2])) << 16 |
         uint32_t(uint8_t(image[at + 3])) << 24;
}

// Positions inside a real image (the served program): its PE header, section
// table, and the section whose data ends last.
struct Layout {
  size_t pe, table, sections, last_section;
  uint32_t last_at, last_size;
};

Layout layout_of(const std::string& image) {
  Layout l{};
  l.pe = le32_at(image, 0x3C);
  l.sections = uint8_t(image[l.pe + 6]) | uint8_t(image[l.pe + 7]) << 8;
  size_t optional_size = uint8_t(image[l.pe + 20]) | uint8_t(image[l.pe + 21]) << 8;
  l.table = l.pe + 24 + optional_size;
  for (size_t i = 0; i < l.sections; ++i) {
    size_t at = l.table + 40 * i;
    uint32_t size = le32_at(image, at + 16), raw = le32_at(image, at + 20);
    if (size > 0 && raw + size >= l.last_at + l.last_size) {
      l.last_section = at;
      l.last_at = raw;
      l.last_size = size;
    }
  }
  return l;
}

bool complete(const std::string& image) { return is_complete_image(image.data(), image.size()); }

TEST(ImageCheck, TheServedProgramIsComplete) {
  const std::string program = served_program();
  ASSERT_GT(program.size(), 4096u);
  EXPECT_TRUE(complete(program));
  Layout l = layout_of(program);
  ASSERT_GT(l.sections, 0u);
  ASSERT_GT(l.last_size, 0u);
}

TEST(ImageCheck, CutsInsideTheHeadersAreRefused) {
  const std::string program = served_program();
  Layout l = layout_of(program);
  for (size_t cut : {size_t(0), size_t(1), size_t(2), size_t(63), l.pe, l.pe + 4, l.pe + 23, l.pe + 100, l.table,
                     l.table + 40 * l.sections - 1}) {
    SCOPED_TRACE(cut);
    EXPECT_FALSE(complete(program.substr(0, cut)));
  }
}

TEST(ImageCheck, CutsInsideASectionAreRefused) {
  const std::string program = served_program();
  Layout l = layout_of(program);
  for (size_t cut : {size_t(l.last_at) + 1, size_t(l.last_at) + l.last_size / 2, size_t(l.last_at) + l.last_size - 1}) {
    SCOPED_TRACE(cut);
    EXPECT_FALSE(complete(program.substr(0, cut)));
  }
  // Every section's data ends inside the file: up to the last byte of the last one is whole.
  EXPECT_TRUE(complete(program.substr(0, size_t(l.last_at) + l.last_size)));
}

TEST(ImageCheck, ASectionPointingPastTheEndIsRefused) {
  std::string program = served_program();
  Layout l = layout_of(program);
  uint32_t past = uint32_t(program.size()) - l.last_size + 1;  // its data would end one byte behind the file
  for (int i = 0; i < 4; ++i) program[l.last_section + 20 + i] = char(past >> (8 * i));
  EXPECT_FALSE(complete(program));
}

TEST(ImageCheck, OtherAnswersAreRefused) {
  std::string program = served_program();
  Layout l = layout_of(program);
  EXPECT_FALSE(complete("MZ"));
  EXPECT_FALSE(complete("<html><body>Server busy</body></html>"));
  EXPECT_FALSE(is_complete_image(nullptr, 100));
  std::string no_signature = program;
  no_signature[l.pe] = 'X';
  EXPECT_FALSE(complete(no_signature));
  std::string far_header = program;
  for (int i = 0; i < 4; ++i) far_header[0x3C + i] = char(0xFF);  // the PE header would lie 4 GB on
  EXPECT_FALSE(complete(far_header));
  std::string no_sections = program;
  no_sections[l.pe + 6] = no_sections[l.pe + 7] = 0;
  EXPECT_FALSE(complete(no_sections));
}

TEST(ImageCheck, ReadsAFileThroughItsHandle) {
  std::string dir = probe::fresh_folder("cx_image");
  std::string whole = dir + "\\whole.exe", cut = dir + "\\cut.exe";
  const std::string program = served_program();
  ASSERT_TRUE(probe::write_file(whole, program));
  ASSERT_TRUE(probe::write_file(cut, program.substr(0, program.size() / 2)));
  for (const auto& [path, expected] : {std::pair{whole, true}, std::pair{cut, false}}) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_EQ(is_complete_image_file(f), expected) << path;
    CloseHandle(f);
  }
  EXPECT_FALSE(is_complete_image_file(INVALID_HANDLE_VALUE));
  probe::remove_folder(dir);
}

// --- leftovers of earlier updates -------------------------------------------------------------

struct LeftoverCase {
  const char* name;
  const char* address;
  int32_t last_event;
};

class Leftovers : public TransferWith<LeftoverCase> {};

// A download the process did not live to finish leaves its temporary file; a
// successful update leaves the old program under its aside name while it
// runs. The next update, whatever its outcome, removes both, and only them.
TEST_P(Leftovers, OfEarlierUpdatesAreRemovedByTheNextOne) {
  ASSERT_TRUE(probe::write_file(target_, kOldProgram));
  const std::vector<std::string> ours = {"cxu1A2B.tmp", "cxuF.tmp", "Clipdex.exe.old", "Clipdex.exe.old3"};
  const std::vector<std::string> others = {"cxuser.tmp", "notes.tmp", "Clipdex.exe.older", "Other.exe.old",
                                           "cxu12345.tmp"};
  for (const std::string& f : ours) ASSERT_TRUE(probe::write_file(dir_ + "\\" + f, "MZ partial"));
  for (const std::string& f : others) ASSERT_TRUE(probe::write_file(dir_ + "\\" + f, "keep me"));
  ASSERT_TRUE(run(kSite + GetParam().address));
  EXPECT_EQ(codes().back(), GetParam().last_event);
  std::vector<std::string> rest = leftovers();
  std::sort(rest.begin(), rest.end());
  std::vector<std::string> wanted = others;
  std::sort(wanted.begin(), wanted.end());
  EXPECT_EQ(rest, wanted);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, Leftovers,
                         ::testing::Values(LeftoverCase{"success", "Clipdex.exe", TRANSFER_FINISHED},
                                           LeftoverCase{"failure", "missing.exe", TRANSFER_FAILED}),
                         kCaseName);

TEST_F(Transfer, LeftoverStillInUseStaysAndTheUpdateGoesOn) {
  ASSERT_TRUE(probe::write_file(target_, kOldProgram));
  const std::string busy = dir_ + "\\cxu0001.tmp";
  ASSERT_TRUE(probe::write_file(busy, "another download"));
  HANDLE held = CreateFileA(busy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  bool ok = run(kSite + "Clipdex.exe");
  CloseHandle(held);
  ASSERT_TRUE(ok);
  EXPECT_EQ(codes().back(), TRANSFER_FINISHED);
  EXPECT_TRUE(probe::read_file(target_) == served_program());
  EXPECT_EQ(leftovers(), (std::vector<std::string>{"cxu0001.tmp"}));
}

TEST_F(Transfer, NothingIsRemovedWhileTheTargetIsMissing) {
  // The leftovers may then be the only copies of the program.
  const std::vector<std::string> files = {"cxu1A2B.tmp", "Clipdex.exe.old"};
  for (const std::string& f : files) ASSERT_TRUE(probe::write_file(dir_ + "\\" + f, "MZ the only copy"));
  remove_update_leftovers(target_.c_str());
  for (const std::string& f : files) EXPECT_TRUE(probe::exists(dir_ + "\\" + f)) << f;
}

// --- a start that cannot begin -------------------------------------------------------------------

HANDLE no_thread(LPTHREAD_START_ROUTINE, void*) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

TEST_F(Transfer, StartWithoutAThreadReportsFailureAtOnce) {
  cx::fixture::RequestLog log;
  ASSERT_TRUE(probe::write_file(target_, kOldProgram));
  set_transfer_thread_starter(no_thread);
  settings_.source = const_cast<char*>("http://www.clipdexsoft.com/soft/clipdex/Clipdex.exe");
  settings_.target = const_cast<char*>(target_.c_str());
  transfer_start(&handle_, &settings_);
  set_transfer_thread_starter(nullptr);
  EXPECT_EQ(codes(), (std::vector<int32_t>{TRANSFER_FAILED})) << "the failure must be told, not swallowed";
  EXPECT_FALSE(transfer_running(handle_));
  EXPECT_EQ(probe::read_file(target_), kOldProgram);
  // The same object starts normally afterwards.
  g_events.clear();
  ASSERT_TRUE(run(kSite + "Clipdex.exe"));
  EXPECT_EQ(codes().back(), TRANSFER_FINISHED);
  EXPECT_EQ(log.since().size(), 1u);
}

// --- putting the new file in place --------------------------------------------------------

struct SwapCase {
  const char* name;
  bool new_file_exists;
  bool stale_aside;         // a "Clipdex.exe.old" from an earlier update lies there
  bool aside_in_use;        // ... and is still open
  bool target_locked;       // the target is open without delete sharing
  bool replaced;
};

class Swap : public TransferWith<SwapCase> {};

TEST_P(Swap, EitherPutsTheNewFileInPlaceOrLeavesTheTargetAsItWas) {
  const SwapCase& c = GetParam();
  const std::string fresh = dir_ + "\\new.tmp", aside = target_ + ".old";
  ASSERT_TRUE(probe::write_file(target_, kOldProgram));
  if (c.new_file_exists) {
    ASSERT_TRUE(probe::write_file(fresh, "MZ new"));
  }
  if (c.stale_aside) {
    ASSERT_TRUE(probe::write_file(aside, "MZ stale"));
  }
  HANDLE held = INVALID_HANDLE_VALUE;
  if (c.aside_in_use) held = CreateFileA(aside.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (c.target_locked) held = CreateFileA(target_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  bool ok = replace_file(target_.c_str(), fresh.c_str());
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  EXPECT_EQ(ok, c.replaced);
  EXPECT_EQ(probe::read_file(target_), c.replaced ? "MZ new" : kOldProgram);
  if (!c.replaced && c.new_file_exists) {
    EXPECT_EQ(probe::read_file(fresh), "MZ new") << "kept for the caller";
  }
  if (c.replaced) {
    EXPECT_FALSE(probe::exists(fresh));
  }
  // Nothing else than what was there before, apart from an aside name still in use.
  for (const std::string& f : leftovers())
    EXPECT_TRUE(f == "new.tmp" || (c.aside_in_use && f == "Clipdex.exe.old") ||
                (!c.replaced && c.stale_aside && f == "Clipdex.exe.old"))
        << f;
}

INSTANTIATE_TEST_SUITE_P(Cases, Swap,
                         ::testing::Values(SwapCase{"plain", true, false, false, false, true},
                                           SwapCase{"stale_aside_is_reused", true, true, false, false, true},
                                           SwapCase{"aside_in_use_gets_another_name", true, true, true, false, true},
                                           SwapCase{"new_file_gone_puts_the_old_back", false, false, false, false, false},
                                           SwapCase{"locked_target_stays", true, false, false, true, false}),
                         kCaseName);

// Swaps whose moves fail: the file system refuses what the case names.
struct SwapFaults {
  bool move_new_in, move_old_back, copy_new_in, copy_old_back;
};
SwapFaults g_faults;

bool is_aside(LPCSTR path) {
  std::string p = path;
  return p.size() > 4 && p.compare(p.size() - 4, 4, ".old") == 0;
}

BOOL WINAPI faulty_move(LPCSTR from, LPCSTR to, DWORD flags) {
  bool into_target = to && !is_aside(to);
  if (into_target && ((is_aside(from) && g_faults.move_old_back) || (!is_aside(from) && g_faults.move_new_in))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return MoveFileExA(from, to, flags);
}

BOOL WINAPI faulty_copy(LPCSTR from, LPCSTR to, BOOL fail_if_exists) {
  if ((is_aside(from) && g_faults.copy_old_back) || (!is_aside(from) && g_faults.copy_new_in)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return CopyFileA(from, to, fail_if_exists);
}

const SwapFileOps kFaultyOps = {faulty_move, faulty_copy};

struct FailedSwapCase {
  const char* name;
  SwapFaults faults;
  bool replaced;
  const char* at_target;  // null: nothing there
  std::vector<std::string> kept;
};

class FailedSwap : public TransferWith<FailedSwapCase> {
 protected:
  void TearDown() override {
    set_swap_file_ops(nullptr);
    Transfer::TearDown();
  }
};

// Whatever fails, the program's path is never left empty while a file that
// could stand there exists, and nothing that is the only copy is deleted.
TEST_P(FailedSwap, NeverLeavesTheProgramPathEmpty) {
  const FailedSwapCase& c = GetParam();
  const std::string fresh = dir_ + "\\new.tmp";
  ASSERT_TRUE(probe::write_file(target_, kOldProgram));
  ASSERT_TRUE(probe::write_file(fresh, "MZ new"));
  g_faults = c.faults;
  set_swap_file_ops(&kFaultyOps);
  bool ok = replace_file(target_.c_str(), fresh.c_str());
  set_swap_file_ops(nullptr);
  EXPECT_EQ(ok, c.replaced);
  if (c.at_target) {
    EXPECT_EQ(probe::read_file(target_), c.at_target);
  } else {
    EXPECT_FALSE(probe::exists(target_));
  }
  std::vector<std::string> rest = leftovers();
  std::sort(rest.begin(), rest.end());
  EXPECT_EQ(rest, c.kept);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedSwap,
    ::testing::Values(
        FailedSwapCase{"move_in_fails_old_goes_back", {true, false, false, false}, false, kOldProgram.c_str(), {"new.tmp"}},
        FailedSwapCase{"old_cannot_go_back_new_is_copied_in", {true, true, false, false}, true, "MZ new", {}},
        FailedSwapCase{"no_copy_of_the_new_one_the_old_is_copied_back", {true, true, true, false}, false,
                       kOldProgram.c_str(), {"new.tmp"}},
        // Nothing can be put in place: both files stay where they are.
        FailedSwapCase{"nothing_works_both_files_are_kept", {true, true, true, true}, false, nullptr,
                       {"Clipdex.exe.old", "new.tmp"}}),
    kCaseName);

// A whole download over the old program while the file steps fail as the
// test says.
class FaultyDownload : public Transfer {
 protected:
  void TearDown() override {
    set_swap_file_ops(nullptr);
    Transfer::TearDown();
  }
  // The last event of the download.
  int32_t download_with(SwapFaults faults) {
    if (!probe::write_file(target_, kOldProgram)) return -1;
    g_faults = faults;
    set_swap_file_ops(&kFaultyOps);
    bool done = run(kSite + "Clipdex.exe");
    set_swap_file_ops(nullptr);
    return done ? codes().back() : -1;
  }
};

TEST_F(FaultyDownload, WhoseOldProgramCannotGoBackIsStillInstalled) {
  ASSERT_EQ(download_with({true, true, false, false}), TRANSFER_FINISHED);
  EXPECT_TRUE(probe::read_file(target_) == served_program());
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(FaultyDownload, ThatCannotBePutAnywhereKeepsTheOnlyCopies) {
  ASSERT_EQ(download_with({true, true, true, true}), TRANSFER_FAILED);
  EXPECT_FALSE(probe::exists(target_));
  EXPECT_EQ(probe::read_file(target_ + ".old"), kOldProgram);
  std::vector<std::string> temps = probe::list(dir_, "cxu*.tmp");
  ASSERT_EQ(temps.size(), 1u) << "the downloaded program must not be deleted";
  EXPECT_TRUE(probe::read_file(dir_ + "\\" + temps[0]) == served_program());
}

// --- progress, repeated starts and release ---------------------------------------------------

TEST_F(Transfer, ProgressCountsTheBytesReceivedWhileTheServerPauses) {
  // 10 000 bytes; the server stops for a while after 5 000.
  settings_.source = const_cast<char*>("http://www.clipdexsoft.com/soft/clipdex/stall.exe");
  settings_.target = const_cast<char*>(target_.c_str());
  transfer_start(&handle_, &settings_);
  ASSERT_TRUE(probe::pump_until([&] { return transfer_progress(handle_) >= 5000; }, 10000));
  EXPECT_EQ(transfer_progress(handle_), 5000);
  ASSERT_FALSE(g_events.empty());
  EXPECT_EQ(g_events[0].code, TRANSFER_TOTAL_SIZE);
  EXPECT_EQ(g_events[0].value, 10000);
  EXPECT_TRUE(transfer_running(handle_));
  ASSERT_TRUE(probe::pump_until(finished, 30000));
  EXPECT_EQ(codes().back(), TRANSFER_FINISHED);
  EXPECT_EQ(transfer_progress(handle_), 10000);
  EXPECT_EQ(probe::read_file(target_).size(), 10000u);
}

TEST_F(Transfer, StartWhileRunningIsIgnored) {
  cx::fixture::RequestLog log;
  settings_.source = const_cast<char*>("http://www.clipdexsoft.com/soft/clipdex/stall.exe");
  settings_.target = const_cast<char*>(target_.c_str());
  transfer_start(&handle_, &settings_);
  TransferHandle first = handle_;
  transfer_start(&handle_, &settings_);
  EXPECT_EQ(handle_, first);
  ASSERT_TRUE(probe::pump_until(finished, 30000));
  EXPECT_EQ(codes(), (std::vector<int32_t>{TRANSFER_TOTAL_SIZE, TRANSFER_FINISHED}));
  EXPECT_EQ(log.since().size(), 1u);
}

TEST_F(Transfer, AFailedTransferCanBeStartedAgain) {
  ASSERT_TRUE(probe::write_file(target_, kOldProgram));
  ASSERT_TRUE(run(kSite + "missing.exe"));
  EXPECT_EQ(codes().back(), TRANSFER_FAILED);
  TransferHandle first = handle_;
  g_events.clear();
  ASSERT_TRUE(run(kSite + "Clipdex.exe"));
  EXPECT_EQ(handle_, first) << "the same object serves the next start";
  EXPECT_EQ(codes(), (std::vector<int32_t>{TRANSFER_TOTAL_SIZE, TRANSFER_FINISHED}));
  EXPECT_TRUE(probe::read_file(target_) == served_program());
}

TEST_F(Transfer, ReleaseStopsARunningTransferAndNoEventFollows) {
  ASSERT_TRUE(probe::write_file(target_, kOldProgram));
  settings_.source = const_cast<char*>("http://www.clipdexsoft.com/soft/clipdex/stall_long.exe");
  settings_.target = const_cast<char*>(target_.c_str());
  transfer_start(&handle_, &settings_);
  ASSERT_TRUE(probe::pump_until([&] { return transfer_progress(handle_) >= 5000; }, 10000));
  size_t seen = g_events.size();
  DWORD t0 = GetTickCount();
  transfer_release(&handle_);
  EXPECT_EQ(handle_, nullptr);
  DWORD waited = GetTickCount() - t0;
  EXPECT_LT(waited, 3000u) << "release must not wait for the server";
  probe::pump_until([] { return false; }, 1500);
  EXPECT_EQ(g_events.size(), seen);
  EXPECT_EQ(probe::read_file(target_), kOldProgram);
  // The stopped worker takes its temporary file with it, at the latest when
  // the silent server's receive time-out ends its last read.
  EXPECT_TRUE(probe::wait_until([&] { return leftovers().empty(); }, 40000));
  EXPECT_EQ(probe::read_file(target_), kOldProgram);
}

// --- the module with the real transfer ------------------------------------------------------

TEST(UpdaterWithTransfer, HalfOfATenThousandByteFileShowsFiftyPercent) {
  // The server pauses long after half the file: the module is unloaded well
  // before the download could finish (which would end this process).
  module_use_transfer(nullptr);
  std::string dir = probe::fresh_folder("cx_module");
  std::string target = dir + "\\Clipdex.exe";
  update_window("http://www.clipdexsoft.com/soft/clipdex/stall_long.exe", target.c_str());
  HWND w = module_window();
  ASSERT_NE(w, nullptr) << "no window: is there a display?";
  SendMessageA(GetDlgItem(w, ID_BUTTON), BM_CLICK, 0, 0);
  HWND label = GetDlgItem(w, ID_LABEL);
  bool shown = probe::pump_until([&] { return probe::window_text(label) == "下载进度：50%"; }, 10000);
  int pos = int(SendMessageA(GetDlgItem(w, ID_PROGRESS), PBM_GETPOS, 0, 0));
  module_unload(false);  // stops the transfer before it ends the process
  probe::remove_folder(dir);
  ASSERT_TRUE(shown);
  EXPECT_EQ(pos, 50);
}

}  // namespace
