#include "ui/column_codec.h"

#include <cstring>

namespace cx {

namespace {

constexpr size_t kHeaderBytes = 1 + 4 + 4 + 4;

int32_t read_le32(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

void write_le32(std::vector<uint8_t>& out, int32_t v) {
  uint32_t u = uint32_t(v);
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(u >> (8 * i)));
}

}  // namespace

std::vector<ColumnDef> decode_columns(std::span<const uint8_t> packed) {
  std::vector<ColumnDef> columns;
  size_t at = 0;
  while (packed.size() - at >= kHeaderBytes + 1) {
    const uint8_t* p = packed.data() + at;
    const uint8_t* caption = p + kHeaderBytes;
    const void* end = std::memchr(caption, 0, packed.size() - at - kHeaderBytes);
    if (!end) break;
    size_t caption_length = size_t(static_cast<const uint8_t*>(end) - caption);
    columns.push_back(ColumnDef{p[0] != 0, read_le32(p + 1), read_le32(p + 5), read_le32(p + 9),
                                 std::string(reinterpret_cast<const char*>(caption), caption_length)});
    at += kHeaderBytes + caption_length + 1;
  }
  return columns;
}

std::vector<uint8_t> encode_columns(std::span<const ColumnDef> columns) {
  std::vector<uint8_t> out;
  for (const ColumnDef& c : columns) {
    out.push_back(c.picture_on_right ? 1 : 0);
    write_le32(out, c.image);
    write_le32(out, c.alignment);
    write_le32(out, c.width);
    out.insert(out.end(), c.caption.begin(), c.caption.end());
    out.push_back(0);
  }
  return out;
}

}  // namespace cx
