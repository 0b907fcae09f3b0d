// A host program for the updater library in the tests, in the place of the
// real program: it loads the library, calls its export by its GBK name and
// runs a message loop, as the program does.
//
//   updater_host LIBRARY ADDRESS [TARGET]   TARGET defaults to this program's own file
//   updater_host --wait                      only runs a message loop
// It ends by itself after two minutes (exit code 3) so that no test can hang on it.
#include <windows.h>

#include <cstring>

namespace {

using UpdateWindowEntry = UINT(__stdcall*)(const char*, const char*);

int run_loop() {
  SetTimer(nullptr, 0, 120000, nullptr);
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    if (m.message == WM_TIMER && m.hwnd == nullptr) return 3;
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--wait") == 0) return run_loop();
  if (argc < 3) return 2;
  HMODULE lib = LoadLibraryA(argv[1]);
  if (!lib) return 4;
  auto entry = reinterpret_cast<UpdateWindowEntry>(reinterpret_cast<void*>(GetProcAddress(lib, "更新窗口")));
  if (!entry) return 5;
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  entry(argv[2], argc >= 4 ? argv[3] : self);
  return run_loop();
}
