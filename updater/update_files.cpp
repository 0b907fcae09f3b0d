#include "updater/update_files.h"

#include <windows.h>

#include "services/ascii.h"
#include "updater/base.h"

namespace updata {

const char kTemporaryPrefix[] = "cxu";

namespace {

const char kAsideEnding[] = ".old";

bool same_ignoring_case(const char* a, const char* b, int n) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a, n, b, n) == CSTR_EQUAL;
}

// kTemporaryPrefix, one to four hex digits, ".tmp".
bool is_temporary_name(const char* name, const char*) {
  const int n = text_size(name);
  if (n < 8 || n > 11 || !same_ignoring_case(name, kTemporaryPrefix, 3) || !same_ignoring_case(name + n - 4, ".tmp", 4))
    return false;
  for (int i = 3; i < n - 4; ++i)
    if (cx::hex_digit_value(name[i]) < 0) return false;
  return true;
}

// base + ".old" + no digits or up to two of them.
bool is_aside_name(const char* name, const char* base) {
  const int nb = text_size(base), n = text_size(name);
  if (n < nb + 4 || n > nb + 6 || !same_ignoring_case(name, base, nb) || !same_ignoring_case(name + nb, kAsideEnding, 4))
    return false;
  for (int i = nb + 4; i < n; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

// Deletes the files of folder (with its separator) matching pattern that
// chosen() accepts.
void delete_matching(const char* folder, const char* pattern, bool (*chosen)(const char* name, const char* base),
                     const char* base) {
  char* search = text_join(folder, pattern);
  if (!search) return;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(search, &found);
  text_release(search);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (!chosen(found.cFileName, base)) continue;
    if (char* path = text_join(folder, found.cFileName)) {
      DeleteFileA(path);  // fails, harmlessly, for a file still in use
      text_release(path);
    }
  } while (FindNextFileA(find, &found));
  FindClose(find);
}

}  // namespace

bool aside_name_of(const char* target, int i, char* out) {
  if (text_size(target) > MAX_PATH - 8 || i < 0 || i >= kAsideNames) return false;
  if (i == 0)
    wsprintfA(out, "%s%s", target, kAsideEnding);
  else
    wsprintfA(out, "%s%s%d", target, kAsideEnding, i);
  return true;
}

bool folder_of(const char* path, char* out, int size) {
  int cut = -1;
  for (int i = 0; path[i]; ++i)
    if (path[i] == '\\' || path[i] == '/') cut = i;
  if (cut < 0) {
    lstrcpynA(out, ".", size);
    return true;
  }
  if (cut + 2 > size) return false;
  lstrcpynA(out, path, cut + 2);  // copies cut + 1 bytes and the zero
  return true;
}

void remove_update_leftovers(const char* target) {
  char folder[MAX_PATH];
  if (!target || !*target || !folder_of(target, folder, MAX_PATH)) return;
  if (GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES) return;
  // folder_of gives "." for a bare name: the files are then in the current folder.
  const char* dir = (folder[0] == '.' && folder[1] == 0) ? "" : folder;
  const char* base = target + text_size(dir);
  char pattern[MAX_PATH + 8];
  wsprintfA(pattern, "%s*.tmp", kTemporaryPrefix);
  delete_matching(dir, pattern, is_temporary_name, nullptr);
  if (text_size(base) > MAX_PATH) return;
  wsprintfA(pattern, "%s%s*", base, kAsideEnding);
  delete_matching(dir, pattern, is_aside_name, base);
}

}  // namespace updata
