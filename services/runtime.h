// Runtime services: run-time error report, declared-function table, delay,
// event pumping, message box, file writing, program directory, file dialog.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "services/value.h"

namespace cx {

// Ends the program: message box "运行时出错!" ... captioned "错误", then exit -1.
[[noreturn]] void runtime_error(const char* text, int32_t code);
[[noreturn]] void runtime_error_by_index(int32_t index);

// Run-time error table indexes the logic can raise.
enum RuntimeErrorIndex : int32_t {
  RTE_INDEX_TOO_LARGE = 1,
  RTE_NOT_NUMERIC = 2,
  RTE_DIMENSIONS = 3,
  RTE_INDEX_BELOW_ONE = 4,
  RTE_TYPE_MISMATCH = 5,
  RTE_DLL_STACK = 6,
  RTE_SUB_NO_RESULT = 7,
  RTE_COMPARE_EQUAL_ONLY = 8,
  RTE_CHOICE_INDEX = 9,
  RTE_REDIM = 10,
  RTE_ARGUMENT_KIND = 11,
};
const char* runtime_error_text(int32_t index);  // "" for index 0 or unknown

// Declared system-library functions, by table index.
enum DeclaredFunction : int32_t {
  DECL_CO_INITIALIZE = 0,
  DECL_WIDE_TO_MULTI_SIZE = 1,
  DECL_WIDE_TO_MULTI = 2,
  DECL_CO_UNINITIALIZE = 3,
  DECL_UPDATE_WINDOW = 4,
  DECL_COUNT = 5,
};
// One argument of a declared function: a word as wide as an address (32 bits
// in the 32-bit program, 64 in the 64-bit one and natively), so that a
// pointer argument arrives whole; an integer argument is its 32-bit value.
using DeclArg = uintptr_t;
template <class T>
inline DeclArg decl_arg(T* p) { return reinterpret_cast<DeclArg>(p); }
inline DeclArg decl_arg(std::nullptr_t) { return 0; }
inline DeclArg decl_arg(const Text& t) { return reinterpret_cast<DeclArg>(t.c_str()); }
template <class T>
inline DeclArg decl_arg(const T& v) requires(std::is_integral_v<T> || std::is_enum_v<T>) { return DeclArg(uint32_t(v)); }

// One declared system-library function: library file name (empty: the
// standard system libraries; no ":" in it: the program directory first),
// exported name ("#n" is the ordinal n mod 65536), and the slots filled on
// first use.
struct DeclaredEntry {
  const char* library;
  const char* function;
  void* address;
  void* module;
};

// Calls entry `index` with `argc` word arguments (stdcall on x86); resolves it
// on first use; a missing library or function is a run-time error, as is a
// stack pointer that differs after the call (run-time error 6).
uintptr_t call_declared_function(int32_t index, int argc, const DeclArg* args);
// The same for an entry outside the program's table (its slots are filled).
uintptr_t call_declared_entry(DeclaredEntry* entry, int argc, const DeclArg* args);
// The program's table (DECL_COUNT entries).
DeclaredEntry* declared_function_table();
// Convenience form: every argument is converted to one word (decl_arg).
template <class... A>
uintptr_t call_declared(int32_t index, const A&... a) {
  const DeclArg args[sizeof...(A) + 1] = {decl_arg(a)..., 0};
  return call_declared_function(index, int(sizeof...(A)), args);
}
// Frees the libraries loaded for declared functions (shutdown clean-up).
void free_declared_libraries();

// Suspends the thread; a negative value counts as 0. No messages are handled.
void delay(int32_t milliseconds);
// Dispatches waiting messages of this thread; leaves WM_QUIT queued.
void process_events();

// message_box(content, buttons, [caption], [parent]) in the cell form; the
// typed helper covers the logic's use (buttons, default caption "信息：").
// Result: OK 0, Cancel 1, Abort 2, Retry 3, Ignore 4, Yes 5, No 6, else 0.
int32_t message_box(const Cell* args, int argc);
int32_t message_box(const Text& content, int32_t buttons = 0);
// The style actually shown: buttons plus task-modal unless system-modal is asked.
uint32_t message_box_style(int32_t buttons);
// Platform button identifier (IDOK 1 ... IDNO 7) to the result above.
int32_t message_box_result(int32_t button_id);

// write_file(name, data...) : creates or replaces the file; false on failure.
bool write_file(const Text& name, const Bytes* parts, int count);
bool write_file(const Text& name, const Bytes& data);

// The program directory recorded at start-up, without trailing backslash.
Text program_directory();
// The part of a module path before its last path separator ("C:" for a
// program at a drive's root).
Text directory_of_module_path(const char* path);

// Copies an array variable's literal block to the heap before it is changed.
void array_make_writable(int32_t element_size, void** array_variable);

// Start-up of the runtime: heap, OLE on this thread, program directory (made
// the current directory), declared-function table.
void runtime_startup();
// Shutdown clean-up: frees declared libraries, ends OLE.
void runtime_shutdown();

// The services above in the uniform calling form.
void svc_delay(int argc, const Cell* args, Cell* result);
void svc_process_events(int argc, const Cell* args, Cell* result);
void svc_message_box(int argc, const Cell* args, Cell* result);
void svc_write_file(int argc, const Cell* args, Cell* result);
void svc_program_directory(int argc, const Cell* args, Cell* result);

// Replaceable hooks. The window layer installs window_handle and
// filter_message when it starts; the others serve tests of the logic (when
// set, delay and process_events call them instead).
struct RuntimeHooks {
  void (*delay)(int32_t ms) = nullptr;
  void (*process_events)() = nullptr;
  // Replaces the system message box (run-time error boxes included); returns
  // the platform button identifier (IDOK 1, IDCANCEL 2, ... IDNO 7).
  int32_t (*message_box)(const char* text, const char* caption, uint32_t style, void* owner) = nullptr;
  // Maps a window or control reference (tag, window id, control id) to its
  // live window handle; null when it names nothing live.
  void* (*window_handle)(uint32_t tag, uint32_t window_id, uint32_t control_id) = nullptr;
  // Offered every message process_events takes before it is translated and
  // dispatched; true means the framework handled it.
  bool (*filter_message)(void* msg) = nullptr;
  // Answers a declared-function call instead of the platform (tests of the
  // logic); true when it handled the call and stored the result.
  bool (*declared_function)(int32_t index, int argc, const DeclArg* args, uintptr_t* result) = nullptr;
};
RuntimeHooks& runtime_hooks();

}  // namespace cx
