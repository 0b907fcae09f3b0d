// The library's entry points: its single export and the loader notification.
#include <windows.h>

#include "updater/module.h"

// Exported as 更新窗口 (see updata.def): the host's declared function.
extern "C" uint32_t __stdcall updata_update_window(const char* address, const char* path) {
  return updata::update_window(address, path);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    // reserved is set when the whole process is ending rather than the library
    // being freed.
    updata::module_unload(reserved != nullptr);
  }
  return TRUE;
}
