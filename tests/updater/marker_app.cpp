// Stands in for a newly downloaded program in the updater's tests: when it is
// started it leaves "<its own path>.ran" holding its command line, and ends.
#include <windows.h>

int main() {
  char path[MAX_PATH + 8];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 2;
  lstrcatA(path, ".ran");
  HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 1;
  const char* line = GetCommandLineA();
  DWORD written = 0;
  WriteFile(f, line, lstrlenA(line), &written, nullptr);
  CloseHandle(f);
  return 0;
}
