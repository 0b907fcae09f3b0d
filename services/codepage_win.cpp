// Code-page conversions through the system's own converters.
#include <windows.h>

#include <cstring>

#include "services/codepage.h"

namespace cx {

Text utf8_to_ansi(const uint8_t* bytes, size_t n) {
  if (bytes == nullptr || n == 0) return Text();
  if (const void* z = std::memchr(bytes, 0, n)) n = size_t(static_cast<const uint8_t*>(z) - bytes);
  if (n == 0 || n > 0x7FFFFFFF) return Text();
  const char* src = reinterpret_cast<const char*>(bytes);
  int wn = MultiByteToWideChar(CP_UTF8, 0, src, int(n), nullptr, 0);
  if (wn <= 0) return Text();
  auto* w = static_cast<wchar_t*>(heap_allocate(size_t(wn) * sizeof(wchar_t)));
  MultiByteToWideChar(CP_UTF8, 0, src, int(n), w, wn);
  int an = WideCharToMultiByte(CP_ACP, 0, w, wn, nullptr, 0, nullptr, nullptr);
  Text out;
  if (an > 0) {
    auto* a = static_cast<char*>(heap_allocate(size_t(an) + 1));
    WideCharToMultiByte(CP_ACP, 0, w, wn, a, an, nullptr, nullptr);
    a[an] = 0;
    out = Text::adopt(a);
  }
  heap_release(w);
  return out;
}

std::u16string ansi_to_utf16(std::string_view s) {
  std::u16string out;
  if (s.empty() || s.size() > 0x7FFFFFFF) return out;
  int wn = MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), nullptr, 0);
  if (wn <= 0) return out;
  out.resize(size_t(wn));
  MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), reinterpret_cast<wchar_t*>(out.data()), wn);
  return out;
}

Text utf16_to_ansi(const char16_t* w, size_t n) {
  if (w == nullptr || n == 0 || n > 0x7FFFFFFF) return Text();
  auto* ws = reinterpret_cast<const wchar_t*>(w);
  int an = WideCharToMultiByte(CP_ACP, 0, ws, int(n), nullptr, 0, nullptr, nullptr);
  if (an <= 0) return Text();
  auto* a = static_cast<char*>(heap_allocate(size_t(an) + 1));
  WideCharToMultiByte(CP_ACP, 0, ws, int(n), a, an, nullptr, nullptr);
  a[an] = 0;
  return Text::adopt(a);  // a zero unit inside ends the text there
}

int wide_to_multibyte_936(uint32_t flags, const char16_t* w, int n, char* out, int size) {
  return WideCharToMultiByte(936, flags, reinterpret_cast<const wchar_t*>(w), n, out, size, nullptr, nullptr);
}

}  // namespace cx
