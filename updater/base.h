// The few helpers the updater needs: zero-terminated texts on the process heap
// and the module the code lives in. The library carries no runtime of its own.
#pragma once

#include <windows.h>

namespace updata {

inline int text_size(const char* s) { return s ? lstrlenA(s) : 0; }

// A heap copy of s; null (the empty text) for null or "".
inline char* text_copy(const char* s) {
  int n = text_size(s);
  if (n == 0) return nullptr;
  char* p = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, n + 1));
  if (p) CopyMemory(p, s, n + 1);
  return p;
}

// a followed by b, as a new heap text.
inline char* text_join(const char* a, const char* b) {
  int na = text_size(a), nb = text_size(b);
  if (na + nb == 0) return nullptr;
  char* p = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, na + nb + 1));
  if (!p) return nullptr;
  if (na) CopyMemory(p, a, na);
  if (nb) CopyMemory(p + na, b, nb);
  p[na + nb] = 0;
  return p;
}

inline void text_release(char*& s) {
  if (s) HeapFree(GetProcessHeap(), 0, s);
  s = nullptr;
}

// Replaces the text held in slot by a copy of s.
inline void text_assign(char*& slot, const char* s) {
  char* copy = text_copy(s);
  text_release(slot);
  slot = copy;
}

// The module (the library, or the program in a static build) holding this code.
inline HMODULE this_module() {
  HMODULE m = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&this_module), &m);
  return m;
}

}  // namespace updata
