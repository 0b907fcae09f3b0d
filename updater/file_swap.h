// The new program file put in the place of the old one.
#pragma once

#include <windows.h>

namespace updata {

// Puts the file new_file in the place of target: target is renamed aside (a
// running program's file cannot be overwritten, but it can be renamed), the
// new file moved in, and the aside file deleted or, when it is still in use,
// left to the program's next start. True: target holds the new file and
// new_file is gone. False: target holds the old file again and new_file is
// still there for the caller to delete, or, when not even the old file could
// be put back, target is missing and new_file must be kept.
bool replace_file(const char* target, const char* new_file);

// Test seam: the file operations of the swap. Null puts the system's own back.
struct SwapFileOps {
  BOOL(WINAPI* move)(LPCSTR from, LPCSTR to, DWORD flags);
  BOOL(WINAPI* copy)(LPCSTR from, LPCSTR to, BOOL fail_if_exists);
};
void set_swap_file_ops(const SwapFileOps* ops);

}  // namespace updata
