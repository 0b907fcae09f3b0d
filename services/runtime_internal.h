// What the platform parts of the runtime services provide to the shared part.
#pragma once

#include <cstdint>
#include <string>

#include "services/runtime.h"

namespace cx::detail {

// Shows a box (or its replacement) and returns the platform button id.
int32_t platform_message_box(const char* text, const char* caption, uint32_t style, void* owner);
// Ends the process at once with the code (the clean-up has been done).
[[noreturn]] void platform_exit(int32_t code);
// The full path of the program file.
std::string platform_program_path();
// Shows a box through the hook when one is set, else the platform box.
int32_t show_box(const char* text, const char* caption, uint32_t style, void* owner);
// Resolves and calls one entry; shared by the table and outside entries.
uintptr_t platform_call_entry(DeclaredEntry* entry, int argc, const DeclArg* args);
// The run-time error for an entry whose library or function is missing.
[[noreturn]] void missing_function(const DeclaredEntry* entry);
// The program's folder, noted once at start-up and read by program_directory.
void record_program_directory();
std::string recorded_program_directory();
// Drops the libraries the entries hold.
void platform_free_entry(DeclaredEntry* entry);
// The platform's own delay and message handling, used when no hook is set.
void platform_delay(int32_t milliseconds);
void platform_process_events();

}  // namespace cx::detail
