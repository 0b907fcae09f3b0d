// Runtime services on Windows: the run-time error box and exit code seen
// from outside (the test program starts itself as a child), declared
// functions resolved from the program directory, the standard libraries,
// full paths and ordinals, event pumping, real message boxes, exclusive file
// writing and the program directory of a program at a drive's root.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "services/codepage.h"
#include "services/runtime.h"
#include "services/text.h"
#include "tests/services/platform_util.h"
#include "tests/support/gbk_text.h"
#include "tests/support/win_probe.h"

using namespace cx;

namespace {

// ---------------------------------------------------------------------------
// Child scenarios: each ends the process through the run-time error report
// (or writes its answer to the file named after it).

DeclaredEntry g_child_entry;

int run_child(const std::string& scenario, const char* arg) {
  runtime_startup();
  if (scenario == "error") runtime_error("测试出错", 7);
  if (scenario == "error_behind_window") {
    // A shown window of the program, as the main window is when a handler fails.
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "cx_error_main";
    RegisterClassA(&wc);
    CreateWindowA("cx_error_main", "cx_error_main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                  nullptr, wc.hInstance, nullptr);
    runtime_error("测试出错", 7);
  }
  if (scenario == "by_index") runtime_error_by_index(RTE_INDEX_BELOW_ONE);
  if (scenario == "missing_library") {
    g_child_entry = {"cx_absent_library.dll", "Nothing", nullptr, nullptr};
    call_declared_entry(&g_child_entry, 0, nullptr);
  }
  if (scenario == "missing_export") {
    g_child_entry = {"kernel32.dll", "NoSuchExport", nullptr, nullptr};
    call_declared_entry(&g_child_entry, 0, nullptr);
  }
  if (scenario == "missing_standard") {
    g_child_entry = {"", "NoSuchExport", nullptr, nullptr};
    call_declared_entry(&g_child_entry, 0, nullptr);
  }
  if (scenario == "stack") {
    g_child_entry = {"Updata.dll", "cx_leaves_arguments", nullptr, nullptr};
    const DeclArg one[1] = {5};
    // Comes back only where the caller owns the stack (x64).
    if (call_declared_entry(&g_child_entry, 1, one) == 5) return 5;
  }
  if (scenario == "memory") {
#ifdef _WIN64
    // Far beyond the address space; the report shows the low 32 bits.
    heap_allocate(size_t(0x7FFFFFF0) + (size_t(1) << 50));
#else
    heap_allocate(0x7FFFFFF0);
#endif
  }
  if (scenario == "kind") bytes_read_value(Bytes::copy("ab", 2), 11);
  if (scenario == "directory") {
    Text dir = program_directory();
    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, cwd);
    std::string answer = std::string(dir.c_str()) + "|" + cwd;
    return write_file(Text::copy(arg), Bytes::copy(answer.data(), answer.size())) ? 0 : 3;
  }
  return 2;  // the scenario should not have come back
}

// ---------------------------------------------------------------------------
// Running a child scenario while a responder answers its boxes.

struct ChildResult {
  bool ended = false;
  DWORD exit_code = 0;
  probe::SeenBox box;
  bool box_seen = false;
};

ChildResult run_child_process(const std::string& exe, const std::string& scenario, const std::string& arg = "",
                              const char* watched_title = nullptr) {
  ChildResult r;
  probe::ChildProcess child("\"" + exe + "\" --cx-child=" + scenario + (arg.empty() ? "" : " \"" + arg + "\""));
  if (!child.started()) return r;
  std::vector<probe::SeenBox> seen;
  {
    probe::BoxOptions options;
    options.pid = child.pid();
    if (watched_title) options.watched = [watched_title] { return FindWindowA(nullptr, watched_title); };
    probe::BoxResponder responder({IDOK}, options);
    r.ended = child.wait(30000);
    seen = responder.seen();
  }
  r.exit_code = child.exit_code();
  r.box_seen = !seen.empty();
  if (r.box_seen) r.box = seen.front();
  return r;
}

using gbktext::error_report;

// The ordinal under which a module exports a name (0 when it does not).
WORD ordinal_of(HMODULE m, const char* name) {
  auto* base = reinterpret_cast<const BYTE*>(m);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* exp = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  auto* names = reinterpret_cast<const DWORD*>(base + exp->AddressOfNames);
  auto* ords = reinterpret_cast<const WORD*>(base + exp->AddressOfNameOrdinals);
  for (DWORD i = 0; i < exp->NumberOfNames; ++i)
    if (std::strcmp(reinterpret_cast<const char*>(base + names[i]), name) == 0) return WORD(exp->Base + ords[i]);
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(SystemCodePage, IsGbk) {
  EXPECT_EQ(GetACP(), 936u);
  EXPECT_EQ(ansi_to_utf16("中"), u"中");
}

class RuntimeErrorBox : public testing::Test {
 protected:
  std::string exe = own_program_path();
};

TEST_F(RuntimeErrorBox, ShowsTheReportAndEndsWithMinusOne) {
  struct Case { const char* scenario; std::string text; } cases[] = {
      {"error", error_report("测试出错", 7)},
      {"by_index", error_report("数组成员引用下标必须大于等于1", 4)},
      {"missing_library", error_report("无法找到指定DLL库文件“cx_absent_library.dll”中的输出命令“Nothing”", 0)},
      {"missing_export", error_report("无法找到指定DLL库文件“kernel32.dll”中的输出命令“NoSuchExport”", 0)},
      {"missing_standard", error_report("无法找到指定DLL库文件中的输出命令“NoSuchExport”", 0)},
#ifndef _WIN64
      // Only stdcall lets a callee take the wrong number of arguments off
      // the stack.
      {"stack", error_report("调用DLL命令后发现堆栈错误", 6)},
#endif
      {"memory", error_report("分配 2147483632 字节内存失败!", 0)},
      {"kind", error_report("“欲取出数据的类型”参数值无效", 0)},
  };
  for (const auto& c : cases) {
    ChildResult r = run_child_process(exe, c.scenario);
    ASSERT_TRUE(r.ended) << c.scenario;
    EXPECT_EQ(r.exit_code, 0xFFFFFFFFu) << c.scenario;
    ASSERT_TRUE(r.box_seen) << c.scenario;
    EXPECT_EQ(r.box.caption, "错误") << c.scenario;
    EXPECT_EQ(r.box.text, c.text) << c.scenario;
    EXPECT_NE(r.box.icon, nullptr) << c.scenario << ": the box carries an icon";
  }
}

// The report is task-modal: the program's shown window takes no click while
// it is up, so no handler can start inside a fatal report.
TEST_F(RuntimeErrorBox, DisablesTheProgramsWindowsWhileItIsUp) {
  ChildResult r = run_child_process(exe, "error_behind_window", "", "cx_error_main");
  ASSERT_TRUE(r.ended);
  EXPECT_EQ(r.exit_code, 0xFFFFFFFFu);
  ASSERT_TRUE(r.box_seen);
  EXPECT_EQ(r.box.text, error_report("测试出错", 7));
  ASSERT_TRUE(r.box.watched_found) << "the program's window was not there behind the box";
  EXPECT_FALSE(r.box.watched_enabled) << "the window took input behind the report";
  EXPECT_EQ(r.box.ex_style & WS_EX_TOPMOST, 0) << "task-modal, not system-modal";
}

#ifdef _WIN64
// x64 has one calling convention in which the caller removes what it pushed,
// so a function that takes fewer arguments than declared cannot unbalance the
// stack: the call comes back with its result and no report.
TEST_F(RuntimeErrorBox, WrongArgumentCountComesBackOnX64) {
  ChildResult r = run_child_process(exe, "stack");
  ASSERT_TRUE(r.ended);
  EXPECT_EQ(r.exit_code, 5u);
  EXPECT_FALSE(r.box_seen);
}
#endif

TEST(ProgramDirectoryAtRoot, IsTheDriveAlone) {
  std::string copy = "C:\\cx_root_program.exe";
  ASSERT_TRUE(CopyFileA(own_program_path().c_str(), copy.c_str(), FALSE));
  std::string answer = test_temp_path("cx_root_answer.txt");
  DeleteFileA(answer.c_str());
  ChildResult r = run_child_process(copy, "directory", answer);
  DeleteFileA(copy.c_str());
  ASSERT_TRUE(r.ended);
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_FALSE(r.box_seen);
  EXPECT_EQ(read_whole_file(answer), "C:|C:\\") << "directory | current directory after start-up";
  DeleteFileA(answer.c_str());
}

// In code page 936 the byte 0x80 is a character of its own (the euro sign),
// not the lead of a pair: the backslash behind it ends the folder name.
TEST(ProgramDirectoryWithEuroSign, IsTheFolderHoldingTheProgram) {
  const std::string dir = "C:\\cx_dir_\x80";
  CreateDirectoryA(dir.c_str(), nullptr);
  std::string copy = dir + "\\cx_euro_program.exe";
  ASSERT_TRUE(CopyFileA(own_program_path().c_str(), copy.c_str(), FALSE)) << "no folder named with 0x80 here";
  std::string answer = test_temp_path("cx_euro_answer.txt");
  DeleteFileA(answer.c_str());
  ChildResult r = run_child_process(copy, "directory", answer);
  DeleteFileA(copy.c_str());
  RemoveDirectoryA(dir.c_str());
  ASSERT_TRUE(r.ended);
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_FALSE(r.box_seen);
  EXPECT_EQ(read_whole_file(answer), dir + "|" + dir) << "directory | current directory after start-up";
  DeleteFileA(answer.c_str());
}

// ---------------------------------------------------------------------------

class DeclaredFunctionCalls : public testing::Test {
 protected:
  void TearDown() override { free_declared_libraries(); }
};

TEST_F(DeclaredFunctionCalls, UpdateWindowIsFoundInTheProgramDirectory) {
  Text address = Text::copy("http://www.clipdexsoft.com/soft/clipdex/Clipdex.exe");
  Text program = Text::copy("C:\\程序\\Clipdex.exe");
  EXPECT_EQ(call_declared(DECL_UPDATE_WINDOW, address, program), 4321u);
  DeclaredEntry& e = declared_function_table()[DECL_UPDATE_WINDOW];
  ASSERT_NE(e.module, nullptr);
  char path[MAX_PATH] = {};
  GetModuleFileNameA(static_cast<HMODULE>(e.module), path, MAX_PATH);
  EXPECT_EQ(std::string(path), std::string(program_directory().c_str()) + "\\Updata.dll");
  auto last = reinterpret_cast<const char* (*)()>(
      reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(e.module), "cx_last_call")));
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(std::string(last()), std::string(address.c_str()) + "|" + program.c_str());
  void* first_address = e.address;
  call_declared(DECL_UPDATE_WINDOW, Text::copy("a"), Text::copy("b"));
  EXPECT_EQ(e.address, first_address) << "resolved once";
  EXPECT_EQ(std::string(last()), "a|b");
  free_declared_libraries();
  EXPECT_EQ(e.module, nullptr);
  EXPECT_EQ(GetModuleHandleA("Updata.dll"), nullptr) << "the library was freed";
}

TEST_F(DeclaredFunctionCalls, ArgumentsArePushedRightToLeft) {
  DeclaredEntry e3 = {"Updata.dll", "cx_sum3", nullptr, nullptr};
  const DeclArg three[] = {1, 2, 3};
  EXPECT_EQ(call_declared_entry(&e3, 3, three), 123u);
  DeclaredEntry e8 = {"Updata.dll", "cx_sum8", nullptr, nullptr};
  const DeclArg eight[] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(call_declared_entry(&e8, 8, eight), 12345678u);
  FreeLibrary(static_cast<HMODULE>(e3.module));
  FreeLibrary(static_cast<HMODULE>(e8.module));
}

TEST_F(DeclaredFunctionCalls, OrdinalsAreTakenModulo65536) {
  HMODULE m = LoadLibraryA((std::string(program_directory().c_str()) + "\\Updata.dll").c_str());
  ASSERT_NE(m, nullptr);
  WORD ord = ordinal_of(m, "cx_sum3");
  ASSERT_NE(ord, 0);
  for (unsigned n : {unsigned(ord), unsigned(ord) + 65536u, unsigned(ord) + 3u * 65536u}) {
    std::string name = "#";  // appended: gcc 12 warns falsely (-Wrestrict) about "#" + string
    name += std::to_string(n);
    DeclaredEntry e = {"Updata.dll", name.c_str(), nullptr, nullptr};
    const DeclArg args[] = {4, 5, 6};
    EXPECT_EQ(call_declared_entry(&e, 3, args), 456u) << name;
    FreeLibrary(static_cast<HMODULE>(e.module));
  }
  FreeLibrary(m);
}

TEST_F(DeclaredFunctionCalls, StandardLibrariesSearchAndFullNames) {
  struct Case { const char* library; const char* function; int argc; DeclArg arg; uintptr_t want; const char* owner; } cases[] = {
      {"", "GetCurrentProcessId", 0, 0, GetCurrentProcessId(), "kernel32.dll"},
      {"", "GetSystemMetrics", 1, SM_CXSCREEN, uintptr_t(GetSystemMetrics(SM_CXSCREEN)), "user32.dll"},
      {"", "GetStockObject", 1, WHITE_BRUSH, uintptr_t(GetStockObject(WHITE_BRUSH)), "gdi32.dll"},
      {"", "GetShellWindow", 0, 0, uintptr_t(GetShellWindow()), "user32.dll"},
      {"kernel32.dll", "GetCurrentProcessId", 0, 0, GetCurrentProcessId(), "kernel32.dll"},
      {"C:\\windows\\system32\\kernel32.dll", "GetCurrentThreadId", 0, 0, GetCurrentThreadId(), "kernel32.dll"},
  };
  for (const auto& c : cases) {
    DeclaredEntry e = {c.library, c.function, nullptr, nullptr};
    const DeclArg args[1] = {c.arg};
    EXPECT_EQ(call_declared_entry(&e, c.argc, args), c.want) << c.library << " " << c.function;
    EXPECT_EQ(e.module, GetModuleHandleA(c.owner)) << c.library << " " << c.function;
    EXPECT_NE(e.address, nullptr);
    FreeLibrary(static_cast<HMODULE>(e.module));
  }
  // The sixth standard library is reached when none before it has the name.
  HMODULE shell = LoadLibraryA("shell32.dll");
  DeclaredEntry drag = {"", "DragAcceptFiles", nullptr, nullptr};
  const DeclArg none[2] = {0, 0};
  call_declared_entry(&drag, 2, none);
  EXPECT_EQ(drag.module, shell);
  FreeLibrary(static_cast<HMODULE>(drag.module));
  FreeLibrary(shell);
}

TEST_F(DeclaredFunctionCalls, WideCharToMultiByteEntriesAskTheSizeThenConvert) {
  std::u16string w = u"标题 Title";
  int size = int(call_declared(DECL_WIDE_TO_MULTI_SIZE, 936, 0x200, w.c_str(), int(w.size()), nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(size, 10);
  std::vector<char> out(size_t(size) + 1);
  int n = int(call_declared(DECL_WIDE_TO_MULTI, 936, 0x200, w.c_str(), -1, out.data(), int(out.size()), nullptr, nullptr));
  EXPECT_EQ(n, 11);
  EXPECT_STREQ(out.data(), "标题 Title");
}

// ---------------------------------------------------------------------------

namespace {
int g_dispatched = 0;
LRESULT CALLBACK counting_proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_USER + 1 || m == WM_USER + 2) {
    ++g_dispatched;
    return 0;
  }
  return DefWindowProcA(h, m, w, l);
}
bool filter_user2(void* msg) { return static_cast<MSG*>(msg)->message == WM_USER + 2; }

HWND make_window(WNDPROC proc, bool visible) {
  static int n = 0;
  std::string cls = "cx_test_window_" + std::to_string(n++);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = cls.c_str();
  RegisterClassA(&wc);
  return CreateWindowA(cls.c_str(), "test", WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 10, 10, 200, 100,
                       nullptr, nullptr, wc.hInstance, nullptr);
}

void drain_queue() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
  }
}
}  // namespace

TEST(ProcessEvents, DispatchesWaitingMessagesAndLeavesQuitQueued) {
  HWND w = make_window(counting_proc, false);
  ASSERT_NE(w, nullptr);
  drain_queue();
  g_dispatched = 0;
  for (int i = 0; i < 3; ++i) PostMessageA(w, WM_USER + 1, 0, 0);
  PostQuitMessage(5);
  process_events();
  EXPECT_EQ(g_dispatched, 3);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, UINT(WM_QUIT));
  process_events();  // the quit message stops it again at once
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, UINT(WM_QUIT));
  EXPECT_EQ(m.wParam, WPARAM(5));
  DestroyWindow(w);
  drain_queue();
}

TEST(ProcessEvents, TheFrameworkFilterSeesMessagesFirst) {
  HWND w = make_window(counting_proc, false);
  drain_queue();
  g_dispatched = 0;
  runtime_hooks().filter_message = filter_user2;
  PostMessageA(w, WM_USER + 2, 0, 0);
  PostMessageA(w, WM_USER + 1, 0, 0);
  process_events();
  runtime_hooks().filter_message = nullptr;
  EXPECT_EQ(g_dispatched, 1) << "the filtered message was not dispatched again";
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) << "the queue is empty";
  DestroyWindow(w);
}

// ---------------------------------------------------------------------------

TEST(MessageBoxOnScreen, TaskModalUnlessSystemModal) {
  HWND other = make_window(DefWindowProcA, true);
  ASSERT_NE(other, nullptr);
  struct Case { int32_t buttons; int press; int32_t result; bool task_modal; } cases[] = {
      {0, IDOK, 0, true},
      {1, IDCANCEL, 1, true},
      {4, IDNO, 6, true},
      {3, IDYES, 5, true},
      {2, IDRETRY, 3, true},
      {0x1000, IDOK, 0, false},
  };
  probe::BoxOptions watch_other;
  watch_other.watched = [other] { return other; };
  for (const auto& c : cases) {
    std::vector<probe::SeenBox> seen;
    int32_t result;
    {
      probe::BoxResponder resp({c.press}, watch_other);
      Cell args[3] = {cell_bool(true), cell_int(c.buttons), cell_text("标题")};
      result = message_box(args, 3);
      seen = resp.seen();
    }
    ASSERT_EQ(seen.size(), 1u) << c.buttons;
    EXPECT_EQ(result, c.result) << c.buttons;
    EXPECT_EQ(seen[0].text, "真");
    EXPECT_EQ(seen[0].caption, "标题");
    EXPECT_EQ(seen[0].watched_enabled, !c.task_modal) << "a task-modal box disables the thread's windows";
    EXPECT_EQ((seen[0].ex_style & WS_EX_TOPMOST) != 0, !c.task_modal) << "a system-modal box stays on top";
  }
  std::vector<probe::SeenBox> seen;
  {
    probe::BoxResponder resp({IDOK});
    message_box(Text::copy("导出成功"));
    seen = resp.seen();
  }
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, "信息：");
  EXPECT_EQ(seen[0].text, "导出成功");
  DestroyWindow(other);
  drain_queue();
}

// ---------------------------------------------------------------------------

TEST(WriteFileOnWindows, OpensWithoutSharing) {
  std::string path = test_temp_path("cx_shared.txt");
  ASSERT_TRUE(write_file(Text::copy(path), Bytes::copy("old", 3)));
  HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(write_file(Text::copy(path), Bytes::copy("new", 3))) << "another open handle blocks the write";
  CloseHandle(reader);
  EXPECT_EQ(read_whole_file(path), "old");
  EXPECT_TRUE(write_file(Text::copy(path), Bytes::copy("new", 3)));
  EXPECT_EQ(read_whole_file(path), "new");
  DeleteFileA(path.c_str());
}

// ---------------------------------------------------------------------------

int main(int argc, char** argv) {
  if (argc >= 2 && std::strncmp(argv[1], "--cx-child=", 11) == 0)
    return run_child(argv[1] + 11, argc >= 3 ? argv[2] : "");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
