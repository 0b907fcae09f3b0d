// Makes the shell's "open" of web addresses observable: while a recorder is
// alive, Wine's browser launcher hands every address to a script that appends
// it to a log instead of starting a browser. The previous setting is restored.
#pragma once

#include <windows.h>

#include <string>

#include "tests/support/win_probe.h"

namespace probe {

// Unix paths of the script and its log, from the build (see updater tests' CMake).
#ifndef CX_BROWSER_RECORDER
#error "CX_BROWSER_RECORDER and CX_BROWSER_LOG must name the recorder script and its log"
#endif

inline std::string unix_to_wine(const std::string& p) {
  std::string s = "Z:" + p;
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

class BrowserRecorder {
 public:
  BrowserRecorder() {
    DeleteFileA(log().c_str());
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                        nullptr) != ERROR_SUCCESS) {
      key_ = nullptr;
      return;
    }
    char old[1024];
    DWORD size = sizeof old, type = 0;
    had_old_ = RegQueryValueExA(key_, "Browsers", nullptr, &type, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS &&
               type == REG_SZ;
    if (had_old_) old_.assign(old, strnlen(old, sizeof old));
    const char* script = CX_BROWSER_RECORDER;
    RegSetValueExA(key_, "Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(script), DWORD(strlen(script) + 1));
  }
  ~BrowserRecorder() {
    if (!key_) return;
    if (had_old_)
      RegSetValueExA(key_, "Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(old_.c_str()), DWORD(old_.size() + 1));
    else
      RegDeleteValueA(key_, "Browsers");
    RegCloseKey(key_);
  }
  bool active() const { return key_ != nullptr; }
  static std::string log() { return unix_to_wine(CX_BROWSER_LOG); }
  // The addresses opened so far, one per line.
  std::string opened() const { return read_file(log()); }
  bool wait_for_any(int ms) const {
    return wait_until([&] { return !opened().empty(); }, ms);
  }

 private:
  HKEY key_ = nullptr;
  bool had_old_ = false;
  std::string old_;
};

}  // namespace probe
