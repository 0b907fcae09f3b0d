// Code-page conversions between the system's ANSI code page (GBK, 936),
// UTF-8 and UTF-16. On Windows these are MultiByteToWideChar and
// WideCharToMultiByte; the native build has an equivalent of its own so the
// platform-free code can be tested on Linux.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "services/value.h"

namespace cx {

// UTF-8 bytes to an ANSI text: stops at the first zero unit, characters the
// code page lacks become "?", malformed UTF-8 is replaced as the platform does.
Text utf8_to_ansi(const uint8_t* bytes, size_t n);

// ANSI (GBK) text to UTF-16 and back, as the automation bridge needs.
std::u16string ansi_to_utf16(std::string_view s);
Text utf16_to_ansi(const char16_t* w, size_t n);

// WideCharToMultiByte(936, flags, w, n, out, size, null, null) with the
// platform's semantics: n = -1 converts up to and including the first zero
// unit; out = null asks for the size. Returns the byte count (0 on failure).
int wide_to_multibyte_936(uint32_t flags, const char16_t* w, int n, char* out, int size);

}  // namespace cx
