// The packed column definition of a list control: per column, without gaps,
// a 1-byte "picture on the right" flag, an int32 image index (-1: none), an
// int32 alignment (0 left, 1 centre, 2 right), an int32 width in pixels and
// the caption as a zero-terminated text. Integers are little-endian.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace cx {

struct ColumnDef {
  bool picture_on_right;
  int32_t image;
  int32_t alignment;
  int32_t width;
  std::string caption;

  bool operator==(const ColumnDef&) const = default;
};

// Decodes every complete entry; a truncated last entry (no closing zero or
// fewer than 13 header bytes) ends the list without being returned.
std::vector<ColumnDef> decode_columns(std::span<const uint8_t> packed);
std::vector<uint8_t> encode_columns(std::span<const ColumnDef> columns);

}  // namespace cx
