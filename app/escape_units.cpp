#include "app/escape_units.h"

#include "services/ascii.h"
#include "services/runtime.h"
#include "services/text.h"

namespace cx {

namespace {

// A WideCharToMultiByte call through the declared-function table.
int wide_to_gbk(int32_t entry, const uint8_t* units, int count, uint8_t* out, int size) {
  return int(int32_t(uint32_t(call_declared(entry, 936, 0x200, units, count, out, size, nullptr, nullptr))));
}

}  // namespace

int64_t hex_to_integer(const Text& h) {
  Text upper = to_upper(h);
  uint64_t value = 0;
  for (const char* p = upper.c_str(); *p; ++p) {
    const int digit = hex_digit_value(*p);  // its place in "0123456789ABCDEF"
    if (digit < 0) break;
    value = value * 16 + uint64_t(digit);
  }
  return int64_t(value);
}

Text utf16_bytes_to_text(const Bytes& b) {
  int count = bytes_length(b) / 2;
  if (count <= 0) return Text();
  const uint8_t* units = b.data();
  // The second conversion reads up to the first zero unit; without one in the
  // data it reads exactly the units there are, never past the block.
  bool has_zero = false;
  for (int i = 0; i < count && !has_zero; ++i) has_zero = units[2 * i] == 0 && units[2 * i + 1] == 0;
  int size = wide_to_gbk(DECL_WIDE_TO_MULTI_SIZE, units, count, nullptr, 0);
  if (size <= 0) return Text();
  Bytes buffer = blank_bytes(size);
  wide_to_gbk(DECL_WIDE_TO_MULTI, units, has_zero ? -1 : count, buffer.mutable_data(), size);
  Cell text = bytes_read_value(buffer, 10);
  return cell_take_text(&text);
}

}  // namespace cx
