#include "updater/file_swap.h"

#include "updater/update_files.h"

namespace updata {
namespace {

const SwapFileOps kSystemSwapOps = {MoveFileExA, CopyFileA};
const SwapFileOps* g_swap = &kSystemSwapOps;

}  // namespace

bool replace_file(const char* target, const char* new_file) {
  if (GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES)
    return MoveFileExA(new_file, target, MOVEFILE_WRITE_THROUGH) != FALSE;

  // The first aside name that is free or can be freed: an older one may still be in use.
  char aside[MAX_PATH + 8];
  bool named = false;
  for (int i = 0; i < kAsideNames && !named; ++i) {
    if (!aside_name_of(target, i, aside)) return false;
    named = GetFileAttributesA(aside) == INVALID_FILE_ATTRIBUTES || DeleteFileA(aside);
  }
  if (!named || !g_swap->move(target, aside, 0)) return false;
  bool replaced = g_swap->move(new_file, target, MOVEFILE_WRITE_THROUGH) != FALSE;
  if (!replaced) {
    if (g_swap->move(aside, target, 0)) return false;
    // The old file cannot go back: a copy of the complete new one takes the
    // place, or failing that a copy of the old one; an empty place is the
    // one outcome that must not be.
    replaced = g_swap->copy(new_file, target, TRUE) != FALSE;
    if (replaced) {
      DeleteFileA(new_file);
    } else {
      DeleteFileA(target);  // whatever part of the copy was made
      if (g_swap->copy(aside, target, TRUE)) DeleteFileA(aside);
      return false;
    }
  }
  // The program running from the aside file keeps it in use until it ends;
  // the program's next start removes it then.
  if (!DeleteFileA(aside)) MoveFileExA(aside, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return true;
}

void set_swap_file_ops(const SwapFileOps* ops) { g_swap = ops ? ops : &kSystemSwapOps; }

}  // namespace updata
