// Texts of the program as the tests compare them: GBK bytes (the compiler
// turns the UTF-8 sources' literals into GBK), the run-time error report's
// layout, and GBK bytes printed as hex so that a mismatch can be read in any
// terminal. Platform-free: the native and the Windows tests share it.
#pragma once

#include <string>

#include "services/ascii.h"

namespace gbktext {

// The updater library's one export, 更新窗口, spelt as bytes so that the
// check does not depend on the compiler's own conversion of literals.
inline constexpr char kUpdateWindowExport[] = "\xB8\xFC\xD0\xC2\xB4\xB0\xBF\xDA";

// The first line of every run-time error report.
inline constexpr char kErrorReportHead[] = "运行时出错!";

// The whole text of a run-time error report: the code line only when the
// code is not 0, the message line only when there is a message.
inline std::string error_report(const std::string& message, int code) {
  std::string s = std::string(kErrorReportHead) + "\r\n\r\n";
  if (code) s += "错误代码：" + std::to_string(code) + "\r\n\r\n";
  if (!message.empty()) s += "错误信息：" + message + "\r\n";
  return s;
}

// Bytes as upper-case hex digits, two per byte.
inline std::string hex(const std::string& bytes) {
  std::string h;
  for (unsigned char c : bytes) {
    h += cx::hex_digit_char(c >> 4);
    h += cx::hex_digit_char(c);
  }
  return h;
}

}  // namespace gbktext
