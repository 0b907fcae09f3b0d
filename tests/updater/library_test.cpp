// The built Updata.dll as the program uses it: its architecture, its export, and
// whole updates run in a host process of their own (the process ends when an
// update succeeds), driven from here like a user would: press the start
// button, answer the message box, watch files and processes.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/browser_recorder.h"
#include "tests/support/win_probe.h"

namespace {

const char kUpdaterCaption[] = "更新程序";
const int kButtonId = 3;  // 按钮1

std::string library_path() { return probe::unix_to_wine(CX_UPDATA_DLL); }
std::string built(const char* name) { return probe::module_folder() + "\\" + name; }

// --- the file itself ------------------------------------------------------------

// The library is built for the program's own architecture: the program loads it.
TEST(UpdaterLibrary, IsALibraryOfTheProgramsArchitectureWithOneExportNamedInGbk) {
  std::string image = probe::read_file(library_path());
  ASSERT_GT(image.size(), 1024u);
  HMODULE lib = LoadLibraryExA(library_path().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(lib, nullptr);
  auto base = reinterpret_cast<const BYTE*>(lib);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  // IMAGE_NT_HEADERS is the layout of this test program's own architecture.
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
#ifdef _WIN64
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
#else
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
#endif
  EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  ASSERT_NE(dir.VirtualAddress, 0u);
  auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  EXPECT_EQ(exports->NumberOfFunctions, 1u);
  ASSERT_EQ(exports->NumberOfNames, 1u);
  auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  std::string name = reinterpret_cast<const char*>(base + names[0]);
  EXPECT_EQ(name, "\xB8\xFC\xD0\xC2\xB4\xB0\xBF\xDA");
  FreeLibrary(lib);
}

// --- whole updates in a host process --------------------------------------------------

// One host process running the library from a folder of its own, as the
// program would: the host's own file is the target.
class UpdateRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = probe::fresh_folder("cx_update");
    target_ = dir_ + "\\Clipdex.exe";
    ASSERT_TRUE(CopyFileA(built("updater_host.exe").c_str(), target_.c_str(), FALSE));
    old_bytes_ = probe::read_file(target_);
  }
  void TearDown() override {
    answers_.reset();
    if (pi_.hProcess) {
      if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 9);
      WaitForSingleObject(pi_.hProcess, 10000);
      CloseHandle(pi_.hProcess);
      CloseHandle(pi_.hThread);
    }
    // A started marker program may still be finishing.
    probe::wait_until([&] { return !probe::exists(dir_ + "\\Clipdex.exe.ran") || DeleteFileA((dir_ + "\\Clipdex.exe.ran").c_str()); }, 5000);
    probe::remove_folder(dir_);
  }
  // Starts the host with the download address and waits for its window.
  HWND launch(const std::string& address) {
    std::string command = "\"" + target_ + "\" \"" + library_path() + "\" " + address;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!CreateProcessA(target_.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir_.c_str(), &si, &pi_))
      return nullptr;
    return probe::wait_for_window(pi_.dwProcessId, nullptr, kUpdaterCaption, 20000);
  }
  void press_start(HWND window) {
    HWND button = GetDlgItem(window, kButtonId);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(kButtonId, BN_CLICKED), LPARAM(button));
  }
  // Exit code, or STILL_ACTIVE when the host did not end within ms.
  DWORD wait_exit(int ms) {
    WaitForSingleObject(pi_.hProcess, ms);
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
  }
  std::string marker() const { return dir_ + "\\Clipdex.exe.ran"; }
  // Processes the host started that are still running (-1: the process list
  // cannot be read). The host starts a program before it ends, so once the
  // host has ended, a started program is either listed here or has already
  // left its marker.
  int running_children() const {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    int n = 0;
    PROCESSENTRY32 e = {};
    e.dwSize = sizeof e;
    for (BOOL more = Process32First(snap, &e); more; more = Process32Next(snap, &e))
      if (e.th32ParentProcessID == pi_.dwProcessId) ++n;
    CloseHandle(snap);
    return n;
  }
  std::vector<std::string> temporaries() const { return probe::list(dir_, "*.tmp"); }

  // Starts the host for `address` and presses its start button; the boxes
  // are answered with `buttons` (the last one repeats) into answers_.
  void update_from(const std::string& address, std::vector<int> buttons) {
    updater_ = launch(address);
    ASSERT_NE(updater_, nullptr) << "no updater window";
    answers_ = std::make_unique<probe::BoxResponder>(std::move(buttons), pi_.dwProcessId);
    press_start(updater_);
  }
  // Box n (from 0) once it was answered; an empty record when none came in ms.
  probe::SeenBox answered(size_t n, int ms) {
    if (!answers_->wait_for(n + 1, ms)) {
      ADD_FAILURE() << "box " << n + 1 << " did not come";
      return {};
    }
    return answers_->seen()[n];
  }

  std::string dir_, target_, old_bytes_;
  PROCESS_INFORMATION pi_ = {};
  std::unique_ptr<probe::BoxResponder> answers_;
  HWND updater_ = nullptr;
};

const std::string kNewProgram = "http://www.clipdexsoft.com/soft/clipdex/Clipdex.exe";

TEST_F(UpdateRun, SuccessAnsweredWithOkStartsTheNewProgramAndEndsTheHost) {
  ASSERT_NO_FATAL_FAILURE(update_from(kNewProgram, {IDOK}));
  probe::SeenBox box = answered(0, 30000);
  EXPECT_EQ(box.caption, "更新成功");
  EXPECT_EQ(box.text, "更新完成，是否立即运行？");
  ASSERT_EQ(wait_exit(20000), 0u);
  EXPECT_TRUE(probe::read_file(target_) == probe::read_file(built("updater_marker.exe")));
  // What the case answered with Cancel relies on: a started program shows.
  EXPECT_TRUE(running_children() > 0 || probe::exists(marker())) << "the start is not seen after the host's end";
  ASSERT_TRUE(probe::wait_until([&] { return probe::exists(marker()); }, 15000)) << "the new program did not run";
  EXPECT_NE(probe::read_file(marker()).find("Clipdex.exe"), std::string::npos);
  EXPECT_TRUE(temporaries().empty());
}

TEST_F(UpdateRun, SuccessAnsweredWithCancelStartsNothingAndEndsTheHost) {
  ASSERT_NO_FATAL_FAILURE(update_from(kNewProgram, {IDCANCEL}));
  EXPECT_EQ(answered(0, 30000).text, "更新完成，是否立即运行？");
  ASSERT_EQ(wait_exit(20000), 0u);
  EXPECT_TRUE(probe::read_file(target_) == probe::read_file(built("updater_marker.exe")));
  // The list first: a program that ended since then has left its marker.
  EXPECT_EQ(running_children(), 0) << "the host started a program";
  EXPECT_FALSE(probe::exists(marker()));
}

struct FailedRoute {
  const char* name;
  const char* address;
};

class FailedUpdate : public UpdateRun, public ::testing::WithParamInterface<FailedRoute> {};

TEST_P(FailedUpdate, KeepsTheOldProgramAndTheWindowWithTheButtonEnabled) {
  probe::BrowserRecorder browser;
  ASSERT_NO_FATAL_FAILURE(update_from(GetParam().address, {IDOK}));
  probe::SeenBox box = answered(0, 60000);
  EXPECT_EQ(box.caption, "更新失败");
  EXPECT_EQ(box.text, "下载出错,请手动下载");
  EXPECT_EQ(wait_exit(1500), DWORD(STILL_ACTIVE)) << "a failure must not end the program";
  EXPECT_TRUE(IsWindowVisible(updater_));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(updater_, kButtonId)));
  EXPECT_TRUE(probe::read_file(target_) == old_bytes_) << "the old program must stay byte for byte";
  EXPECT_TRUE(temporaries().empty());
  EXPECT_TRUE(browser.wait_for_any(10000));
  EXPECT_EQ(browser.opened().rfind("http://www.clipdexsoft.com", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, FailedUpdate,
    ::testing::Values(FailedRoute{"not_found", "http://www.clipdexsoft.com/soft/clipdex/missing.exe"},
                      FailedRoute{"truncated", "http://www.clipdexsoft.com/soft/clipdex/truncated.exe"},
                      FailedRoute{"cut_without_length", "http://www.clipdexsoft.com/soft/clipdex/nolength_cut.exe"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the program itself ----------------------------------------------------------------------

#ifdef CX_PROGRAM
const char kMainCaption[] = "Clipdex视频地址批量获取工具 v1.0";
const char kCheckFailed[] = "检查更新失败";

// The real program against a maker's server whose version file answers as
// the test says (the fixture server's reply format, as JSON).
class ProgramRun : public UpdateRun {
 protected:
  void SetUp() override {
    UpdateRun::SetUp();
    ASSERT_TRUE(CopyFileA(probe::unix_to_wine(CX_PROGRAM).c_str(), target_.c_str(), FALSE));
    old_bytes_ = probe::read_file(target_);
  }
  void TearDown() override {
    DeleteFileA(reply_file().c_str());
    UpdateRun::TearDown();
  }
  static std::string reply_file() { return probe::unix_to_wine(CX_VERSION_REPLY); }
  void serve_version(const std::string& reply_json) { ASSERT_TRUE(probe::write_file(reply_file(), reply_json)); }
  // A version file announcing V1.1 with this download address.
  void announce(const std::string& download) {
    serve_version("{\"body\": \"new=[V1.1]\\r\\ndownload=[" + download + "]\\r\\n\", \"content_type\": \"text/plain\"}");
  }
  bool start_program() {
    std::string command = "\"" + target_ + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    started_ = GetTickCount();
    return CreateProcessA(target_.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir_.c_str(), &si, &pi_);
  }
  // After the start-up box was answered: the main window shows, takes input
  // and answers messages; closing it ends the program with 0.
  void expect_usable_window_then_close() {
    HWND main = probe::wait_for_window(pi_.dwProcessId, nullptr, kMainCaption, 15000);
    ASSERT_NE(main, nullptr) << "the main window did not show";
    EXPECT_TRUE(IsWindowEnabled(main));
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored)) << "the window hangs";
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(wait_exit(20000), 0u);
  }
  DWORD since_start() const { return GetTickCount() - started_; }
  // Starts the program as a user updating it would: its check finds V1.1
  // and opens the updater; the box naming the version is answered with the
  // first of `buttons` (later boxes with the rest) and the start button of
  // the updater is pressed. The boxes are in answers_.
  void start_update(std::vector<int> buttons) {
    answers_.reset();
    ASSERT_TRUE(start_program());
    answers_ = std::make_unique<probe::BoxResponder>(std::move(buttons), pi_.dwProcessId);
    ASSERT_TRUE(answers_->wait_for(1, 30000)) << "no start-up box";
    EXPECT_EQ(answers_->seen()[0].text, "当前为最新版本：V1.1");
    EXPECT_TRUE(answers_->seen()[0].updater_window_open);
    updater_ = probe::wait_for_window(pi_.dwProcessId, nullptr, kUpdaterCaption, 10000);
    ASSERT_NE(updater_, nullptr) << "no updater window";
    press_start(updater_);
  }
  DWORD started_ = 0;
};

TEST_F(ProgramRun, SilentMakerServerHoldsTheStartForAtMostFifteenSeconds) {
  serve_version("{\"silent\": true}");
  ASSERT_TRUE(start_program());
  probe::BoxResponder boxes({IDOK}, pi_.dwProcessId);
  ASSERT_TRUE(boxes.wait_for(1, 25000)) << "no start-up box";
  DWORD shown = since_start();
  std::printf("silent maker's server: start-up box after %lu ms\n", (unsigned long)shown);
  EXPECT_LE(shown, 20000u);
  EXPECT_EQ(boxes.seen()[0].text, kCheckFailed);
  EXPECT_FALSE(probe::exists(dir_ + "\\Updata.dll")) << "no library after a failed check";
  expect_usable_window_then_close();
}

TEST_F(ProgramRun, EndlessVersionAnswerIsRefusedAtOnceWithLittleMemory) {
  serve_version("{\"body\": \"new=[V1.1]\\r\\ndownload=[x]\\r\\n\", \"endless\": true, \"content_length\": false}");
  ASSERT_TRUE(start_program());
  probe::BoxResponder boxes({IDOK}, pi_.dwProcessId);
  // The box stays up until it is answered: the memory is read meanwhile.
  ASSERT_TRUE(probe::wait_until([&] { return !probe::top_windows(pi_.dwProcessId, "#32770", nullptr).empty() ||
                                             boxes.count() > 0; }, 20000))
      << "no start-up box";
  DWORD shown = since_start();
  PROCESS_MEMORY_COUNTERS mem = {};
  mem.cb = sizeof mem;
  bool measured = GetProcessMemoryInfo(pi_.hProcess, &mem, sizeof mem) != FALSE;
  ASSERT_TRUE(boxes.wait_for(1, 10000));
  std::printf("endless version answer: start-up box after %lu ms\n", (unsigned long)shown);
  EXPECT_LE(shown, 8000u);
  EXPECT_EQ(boxes.seen()[0].text, kCheckFailed);
  EXPECT_FALSE(probe::exists(dir_ + "\\Updata.dll"));
  if (measured) {
    std::printf("endless version answer: peak working set %lu KiB, peak private bytes %lu KiB\n",
                (unsigned long)(mem.PeakWorkingSetSize / 1024), (unsigned long)(mem.PeakPagefileUsage / 1024));
    EXPECT_LT(mem.PeakPagefileUsage, SIZE_T(200) << 20) << "the answer was held in memory";
  } else {
    std::printf("endless version answer: the process's memory cannot be read on this host (error %lu)\n",
                (unsigned long)GetLastError());
  }
  expect_usable_window_then_close();
}

TEST_F(ProgramRun, DownloadWithoutLengthCutShortKeepsTheProgramAndTheUpdater) {
  announce("http://www.clipdexsoft.com/soft/clipdex/nolength_cut.exe");
  ASSERT_NO_FATAL_FAILURE(start_update({IDOK, IDCANCEL}));
  probe::SeenBox box = answered(1, 60000);
  EXPECT_EQ(box.caption, "更新失败") << "no box after the download";
  EXPECT_EQ(box.text, "下载出错,请手动下载");
  EXPECT_EQ(wait_exit(1500), DWORD(STILL_ACTIVE)) << "a failed download must not end the program";
  EXPECT_TRUE(IsWindowVisible(updater_)) << "the updater window must stay";
  EXPECT_TRUE(probe::read_file(target_) == old_bytes_) << "the program must stay byte for byte";
  EXPECT_TRUE(temporaries().empty());
}

TEST_F(ProgramRun, DownloadWithoutLengthWholeReplacesTheProgram) {
  announce("http://www.clipdexsoft.com/soft/clipdex/nolength.exe");
  ASSERT_NO_FATAL_FAILURE(start_update({IDOK, IDCANCEL}));
  probe::SeenBox box = answered(1, 60000);
  EXPECT_EQ(box.caption, "更新成功");
  EXPECT_EQ(box.text, "更新完成，是否立即运行？");
  EXPECT_EQ(wait_exit(20000), 0u);
  EXPECT_TRUE(probe::read_file(target_) == probe::read_file(built("updater_marker.exe")));
}

// The program ends (its window closed) while the updater downloads: the
// download's temporary file goes with the process.
TEST_F(ProgramRun, DownloadInterruptedByTheProgramsEndLeavesNoTemporaryFile) {
  announce("http://www.clipdexsoft.com/soft/clipdex/stall_long.exe");
  ASSERT_NO_FATAL_FAILURE(start_update({IDOK}));
  ASSERT_TRUE(probe::wait_until([&] { return !temporaries().empty(); }, 20000)) << "the download did not begin";
  HWND main = probe::wait_for_window(pi_.dwProcessId, nullptr, kMainCaption, 5000);
  ASSERT_NE(main, nullptr);
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(wait_exit(20000), 0u);
  EXPECT_TRUE(probe::read_file(target_) == old_bytes_);
  // The system removes the file as it closes the ended process's handles.
  EXPECT_TRUE(probe::wait_until([&] { return temporaries().empty(); }, 5000)) << "the interrupted download left its file";
}

// What earlier updates left beside the program goes at its next start,
// before its update check: the old program set aside and the files of
// downloads cut short. Nothing else goes, and nothing still in use.
TEST_F(ProgramRun, StartRemovesTheUpdatersLeftoversAndNothingElse) {
  serve_version("{\"body\": \"new=[V1.0]\\r\\ndownload=[x]\\r\\n\", \"content_type\": \"text/plain\"}");
  const std::vector<std::string> ours = {"Clipdex.exe.old", "Clipdex.exe.old7", "cxu1A2B.tmp", "CXUf.TMP"};
  std::vector<std::string> kept = {"Clipdex.exe.older", "Clipdex.exe.old123", "Other.exe.old", "Clipdex.exe.bak",
                                   "cxuser.tmp", "cxu12345.tmp", "notes.tmp"};
  const std::string busy = "Clipdex.exe.old2";  // the file of another instance still running
  for (const std::string& f : ours) ASSERT_TRUE(probe::write_file(dir_ + "\\" + f, "MZ left over"));
  for (const std::string& f : kept) ASSERT_TRUE(probe::write_file(dir_ + "\\" + f, "keep me"));
  ASSERT_TRUE(probe::write_file(dir_ + "\\" + busy, "MZ running"));
  // Open without delete sharing, as a running program's file is.
  HANDLE held = CreateFileA((dir_ + "\\" + busy).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(start_program());
  probe::BoxResponder boxes({IDOK}, pi_.dwProcessId);
  const bool shown = boxes.wait_for(1, 30000);
  CloseHandle(held);
  ASSERT_TRUE(shown) << "no start-up box";
  EXPECT_EQ(boxes.seen()[0].text, "当前为最新版本：V1.0");
  std::vector<std::string> rest;
  for (const std::string& f : probe::list(dir_, "*"))
    if (f != "Clipdex.exe") rest.push_back(f);
  kept.push_back(busy);
  std::sort(rest.begin(), rest.end());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(rest, kept);
  expect_usable_window_then_close();
}

// The real program at its start with the version file as the maker's server
// keeps it: it announces V1.1, the check opens the updater and names the
// version; the start button fetches the new program over the running one,
// which starts it and ends.
TEST_F(ProgramRun, ProgramUpdatesItselfFromTheAnnouncedAddress) {
  ASSERT_NO_FATAL_FAILURE(start_update({IDOK, IDOK}));
  EXPECT_TRUE(probe::read_file(dir_ + "\\Updata.dll") == probe::read_file(library_path()));
  EXPECT_EQ(answered(1, 30000).text, "更新完成，是否立即运行？");
  EXPECT_EQ(wait_exit(20000), 0u);
  EXPECT_TRUE(probe::read_file(target_) == probe::read_file(built("updater_marker.exe")));
  EXPECT_TRUE(probe::wait_until([&] { return probe::exists(marker()); }, 15000));
}
#endif

}  // namespace
