// Runtime services: run-time error report, declared-function table, delay,
// event pumping, message box, file writing, program directory, file dialog.
#pragma once

#include <cstdint>

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
// Calls entry `index` with `argc` 32-bit arguments (stdcall); resolves it on
// first use; a missing library or function is a run-time error.
uint32_t call_declared_function(int32_t index, int argc, const uint32_t* args);
// Frees the libraries loaded for declared functions (shutdown clean-up).
void free_declared_libraries();

// Suspends the thread; a negative value counts as 0. No messages are handled.
void delay(int32_t milliseconds);
// Dispatches waiting messages of this thread; leaves WM_QUIT queued.
void process_events();

// message_box(content, buttons, [caption], [parent]) in the cell form; the
// typed helper covers the logic's use (buttons, default caption "信息：").
int32_t message_box(const Cell* args, int argc);
int32_t message_box(const Text& content, int32_t buttons = 0);

// write_file(name, data...) : creates or replaces the file; false on failure.
bool write_file(const Text& name, const Bytes* parts, int count);
bool write_file(const Text& name, const Bytes& data);

// The program directory recorded at start-up, without trailing backslash.
Text program_directory();

// Copies an array variable's literal block to the heap before it is changed.
void array_make_writable(int32_t element_size, void** array_variable);

// Start-up of the runtime: heap, OLE on this thread, program directory (made
// the current directory), declared-function table.
void runtime_startup();
// Shutdown clean-up: frees declared libraries, ends OLE.
void runtime_shutdown();

// Replaceable hooks used by tests of the logic (the shipped program never
// changes them): when set, delay and process_events call them instead.
struct RuntimeHooks {
  void (*delay)(int32_t ms) = nullptr;
  void (*process_events)() = nullptr;
};
RuntimeHooks& runtime_hooks();

}  // namespace cx
