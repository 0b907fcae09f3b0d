// A test program whose one case never ends, for the check of the Wine
// runner's hang limit: the case starts a child process of this program that
// never ends either, then waits itself. With CX_HANG_ONCE naming a file, only
// the run that creates the file hangs; a run that finds it passes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// True for the one run that created the file.
bool first_to_create(const char* path) {
  HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  CloseHandle(f);
  return true;
}

TEST(HangProbe, WaitsForeverBesideItsChild) {
  if (const char* once = std::getenv("CX_HANG_ONCE")) {
    if (!first_to_create(once)) {
      std::printf("the marker is there: no hang this time\n");
      return;
    }
  }
  char self[MAX_PATH] = {0};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string command = std::string("\"") + self + "\" child";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  std::printf("child started\n");
  std::fflush(stdout);
  Sleep(INFINITE);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "child") == 0) Sleep(INFINITE);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
