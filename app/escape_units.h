// One escape's parts read on their own: its hexadecimal digits as a number,
// and the bytes of UTF-16 units as the system code page's text.
#pragma once

#include <cstdint>

#include "services/value.h"

namespace cx {

// The hexadecimal digits of `h` (either case) as a number; reading stops at
// the first character that is not a digit. Wraps modulo 2^64.
int64_t hex_to_integer(const Text& h);

// The UTF-16 code units of `b` up to the first zero unit, as GBK text.
Text utf16_bytes_to_text(const Bytes& b);

}  // namespace cx
