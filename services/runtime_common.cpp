// Runtime services shared by both builds: the run-time error report, the
// declared-function table, the message box rules, the program directory and
// the cell forms.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "services/runtime.h"
#include "services/runtime_internal.h"
#include "services/text.h"

namespace cx {

namespace {
// Message-box style bits, as the platform numbers them.
constexpr uint32_t kBoxErrorIcon = 0x10;
constexpr uint32_t kBoxSystemModal = 0x1000;
constexpr uint32_t kBoxTaskModal = 0x2000;  // every box: no window of the program takes input meanwhile

const char* const kErrorTexts[] = {
    "",
    "数组成员引用下标超出定义范围",
    "未得到所需要的数值型数据",
    "引用数组成员时维数不为1且不等于该数组目前所具有的维数",
    "数组成员引用下标必须大于等于1",
    "数据或数组类型不匹配",
    "调用DLL命令后发现堆栈错误",
    "子语句参数未返回数据或者返回了非系统基本类型或数组型数据",
    "被比较数据只能使用等于或不等于命令比较",
    "“多项选择”命令的索引值参数小于零或超出了所提供参数表范围",
    "“重定义数组”命令的数组维定义参数值必须大于零或单维时大于等于零",
    "所提供参数的数据类型不符合要求",
};

DeclaredEntry g_table[DECL_COUNT] = {
    {"ole32.dll", "CoInitialize", nullptr, nullptr},
    {"kernel32.dll", "WideCharToMultiByte", nullptr, nullptr},
    {"kernel32.dll", "WideCharToMultiByte", nullptr, nullptr},
    {"ole32.dll", "CoUninitialize", nullptr, nullptr},
    {"Updata.dll", "更新窗口", nullptr, nullptr},
};

std::atomic<bool> g_in_error{false};

std::string directory_now() {
  std::string path = detail::platform_program_path();
  Text dir = directory_of_module_path(path.c_str());
  return std::string(dir.c_str());
}

// Recorded at start-up (on the main thread, before any other starts); a
// caller that comes before start-up gets it read on first use.
std::string& program_dir_slot() {
  static std::string dir = directory_now();
  return dir;
}

}  // namespace

RuntimeHooks& runtime_hooks() {
  static RuntimeHooks hooks;
  return hooks;
}

namespace detail {

int32_t show_box(const char* text, const char* caption, uint32_t style, void* owner) {
  if (runtime_hooks().message_box) return runtime_hooks().message_box(text, caption, style, owner);
  return platform_message_box(text, caption, style, owner);
}

void record_program_directory() { program_dir_slot() = directory_now(); }

std::string recorded_program_directory() { return program_dir_slot(); }

}  // namespace detail

// ---------------------------------------------------------------------------
// Run-time error report

const char* runtime_error_text(int32_t index) {
  if (index <= 0 || index >= int32_t(sizeof kErrorTexts / sizeof kErrorTexts[0])) return "";
  return kErrorTexts[index];
}

void runtime_error(const char* text, int32_t code) {
  // A failure inside the report itself (the box, the clean-up) must not
  // start a second report: end at once.
  if (g_in_error.exchange(true)) detail::platform_exit(-1);
  std::string msg = "运行时出错!\r\n\r\n";
  if (code != 0) {
    msg += "错误代码：";
    msg += std::to_string(code);
    msg += "\r\n\r\n";
  }
  if (text != nullptr && *text != 0) {
    msg += "错误信息：";
    msg += text;
    msg += "\r\n";
  }
  // Task-modal: the program's windows take no input while the report is up,
  // so no handler can start behind a fatal error.
  detail::show_box(msg.c_str(), "错误", kBoxErrorIcon | kBoxTaskModal, nullptr);
  runtime_shutdown();
  detail::platform_exit(-1);
}

void runtime_error_by_index(int32_t index) { runtime_error(runtime_error_text(index), index); }

// ---------------------------------------------------------------------------
// Declared functions

DeclaredEntry* declared_function_table() { return g_table; }

uintptr_t call_declared_entry(DeclaredEntry* entry, int argc, const DeclArg* args) {
  return detail::platform_call_entry(entry, argc, args);
}

uintptr_t call_declared_function(int32_t index, int argc, const DeclArg* args) {
  if (runtime_hooks().declared_function) {
    uintptr_t result = 0;
    if (runtime_hooks().declared_function(index, argc, args, &result)) return result;
  }
  if (index < 0 || index >= DECL_COUNT) runtime_error_by_index(RTE_INDEX_TOO_LARGE);
  return detail::platform_call_entry(&g_table[index], argc, args);
}

void free_declared_libraries() {
  for (auto& e : g_table) detail::platform_free_entry(&e);
}

// ---------------------------------------------------------------------------
// Message box

uint32_t message_box_style(int32_t buttons) {
  uint32_t style = uint32_t(buttons);
  if ((style & kBoxSystemModal) == 0) style |= kBoxTaskModal;
  return style;
}

int32_t message_box_result(int32_t button_id) {
  switch (button_id) {
    case 1: return 0;  // OK
    case 2: return 1;  // Cancel
    case 3: return 2;  // Abort
    case 4: return 3;  // Retry
    case 5: return 4;  // Ignore
    case 6: return 5;  // Yes
    case 7: return 6;  // No
    default: return 0;
  }
}

static Text box_content(const Cell& c) {
  uint32_t tag = c.tag;
  if (tag == TAG_TEXT) return Text::copy(cell_as_text(c), std::strlen(cell_as_text(c)));
  if (tag_is_numeric(tag) || tag == TAG_BOOL || tag == TAG_DATE) return to_text(c);
  return Text();
}

int32_t message_box(const Cell* args, int argc) {
  Text content = argc >= 1 ? box_content(args[0]) : Text();
  int32_t buttons = argc >= 2 && !cell_is_absent(args[1]) ? to_integer(args[1]) : 0;
  Text caption;
  bool has_caption = argc >= 3 && !cell_is_absent(args[2]);
  if (has_caption) caption = args[2].tag == TAG_TEXT ? Text::copy(std::string_view(cell_as_text(args[2]))) : to_text(args[2]);
  void* owner = nullptr;
  if (argc >= 4 && !cell_is_absent(args[3])) {
    const Cell& o = args[3];
    if (o.tag < 0x40000000u) {
      // A window or control reference: the window layer knows its handle.
      void* h = runtime_hooks().window_handle ? runtime_hooks().window_handle(o.tag, o.v.w.lo, o.v.w.hi) : nullptr;
      if (h == nullptr) runtime_error("指定窗口或窗口组件不存在或尚未载入", 0);
      owner = h;
    } else {
      // A window handle has 32 significant bits in a 64-bit process too; the
      // system widens a 32-bit one with its sign.
      owner = reinterpret_cast<void*>(intptr_t(to_integer(o)));
    }
  }
  int32_t id = detail::show_box(content.c_str(), has_caption ? caption.c_str() : "信息：", message_box_style(buttons), owner);
  return message_box_result(id);
}

int32_t message_box(const Text& content, int32_t buttons) {
  Cell args[2] = {cell_text(content), cell_int(buttons)};
  return message_box(args, 2);
}

// ---------------------------------------------------------------------------
// Files, directory, arrays

bool write_file(const Text& name, const Bytes& data) { return write_file(name, &data, 1); }

Text directory_of_module_path(const char* path) {
  if (path == nullptr) return Text();
  const char* cut = nullptr;
  for (const char* p = path; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    // 0x81 to 0xFE lead a double-byte character, whose trail byte may equal
    // '\\'; 0x80 (the euro sign) and 0xFF stand alone.
    if (c >= 0x81 && c <= 0xFE) {
      if (p[1] == 0) break;
      ++p;
      continue;
    }
    if (c == '\\' || c == '/') cut = p;
  }
  if (cut == nullptr) return Text();
  return Text::copy(path, size_t(cut - path));
}

Text program_directory() {
  std::string d = detail::recorded_program_directory();
  return Text::copy(d);
}

void array_make_writable(int32_t element_size, void** array_variable) {
  if (array_variable == nullptr || *array_variable == nullptr || !heap_is_constant(*array_variable)) return;
  const auto* words = static_cast<const int32_t*>(*array_variable);
  int32_t d = words[0];
  uint64_t count = 1;
  for (int32_t i = 0; i < d; ++i) count *= uint64_t(uint32_t(words[1 + i]));
  uint64_t size = 4 + 4 * uint64_t(uint32_t(d)) + uint64_t(uint32_t(element_size)) * count;
  if (size > 0x7FFFFFFFu) runtime_error_by_index(RTE_INDEX_TOO_LARGE);
  void* copy = heap_reallocate(*array_variable, size_t(size));  // copies a literal into a new block
  *array_variable = copy;
}

// ---------------------------------------------------------------------------
// Waiting and the window's turns: a hook, when set, stands in for the platform.

void delay(int32_t milliseconds) {
  if (runtime_hooks().delay) {
    runtime_hooks().delay(milliseconds);
    return;
  }
  detail::platform_delay(milliseconds);
}

void process_events() {
  if (runtime_hooks().process_events) {
    runtime_hooks().process_events();
    return;
  }
  detail::platform_process_events();
}

// ---------------------------------------------------------------------------
// Cell forms

static void set_int(Cell* r, int32_t v) { *r = cell_int(v); }

void svc_delay(int argc, const Cell* args, Cell* result) {
  delay(argc >= 1 && !cell_is_absent(args[0]) ? to_integer(args[0]) : 0);
  if (result) *result = Cell{};
}

void svc_process_events(int, const Cell*, Cell* result) {
  process_events();
  if (result) *result = Cell{};
}

void svc_message_box(int argc, const Cell* args, Cell* result) {
  int32_t r = message_box(args, argc);
  if (result) set_int(result, r);
}

void svc_write_file(int argc, const Cell* args, Cell* result) {
  bool ok = false;
  if (argc >= 1) {
    Text name = args[0].tag == TAG_TEXT ? Text::copy(std::string_view(cell_as_text(args[0]))) : to_text(args[0]);
    int n = argc - 1;
    Bytes* parts = new Bytes[n > 0 ? n : 1];
    for (int i = 0; i < n; ++i) {
      const Cell& c = args[1 + i];
      if (cell_is_absent(c)) continue;
      parts[i] = to_bytes(c);
    }
    ok = write_file(name, parts, n);
    delete[] parts;
  }
  if (result) *result = cell_bool(ok);
}

void svc_program_directory(int, const Cell*, Cell* result) {
  Text d = program_directory();
  Cell c{};
  c.tag = TAG_TEXT;
  c.v.ptr = d.release();
  if (result) *result = c;
  else heap_release(c.v.ptr);
}

}  // namespace cx

namespace cx::detail {

[[noreturn]] void missing_function(const DeclaredEntry* e) {
  std::string msg;
  if (e->library == nullptr || e->library[0] == 0) {
    msg = "无法找到指定DLL库文件中的输出命令“";
    msg += e->function;
    msg += "”";
  } else {
    msg = "无法找到指定DLL库文件“";
    msg += e->library;
    msg += "”中的输出命令“";
    msg += e->function;
    msg += "”";
  }
  runtime_error(msg.c_str(), 0);
}

}  // namespace cx::detail
