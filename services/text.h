// Text primitives over texts and byte strings (GBK, 1-based byte positions,
// -1 for "not found"). Every operation is pure and returns a new block.
// The typed forms below are what the code calls; the cell forms (text_cells.h)
// carry the defaults and the absent-argument rule at the service boundary.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "services/value.h"

namespace cx {

int32_t text_length(const Text& t);
Text text_left(const Text& t, int32_t count);
Text text_middle(const Text& t, int32_t start, int32_t count);
// start: absent = from the beginning; ignore_case: folds ASCII only when exactly 1.
int32_t find_text(const Text& t, const Text& sought, std::optional<int32_t> start = std::nullopt, int32_t ignore_case = 0);
Text replace_text(const Text& t, const Text& sought, const Text& replacement = Text(),
                  std::optional<int32_t> start = std::nullopt, std::optional<int32_t> max_count = std::nullopt,
                  bool case_sensitive = true);
Text trim_spaces(const Text& t);
// find_text and text_middle over a text whose length the caller already
// knows: a long page cut piece by piece is not measured again for each piece.
int32_t find_text_in(std::string_view t, const Text& sought, std::optional<int32_t> start = std::nullopt,
                     int32_t ignore_case = 0);
Text text_middle_in(std::string_view t, int32_t start, int32_t count);
// trim_spaces of a stretch of a text, without a copy of the stretch first.
Text trim_spaces_in(std::string_view t);
Text to_upper(const Text& t);
// True when no byte of t is 0x80 or more: every byte is a character of its
// own, in GBK as in UTF-8. Looks at eight bytes at a time.
bool all_ascii(std::string_view t);

// Conversions of a value of any basic kind.
int32_t to_integer(const Cell& v);
Text to_text(const Cell& v);
Bytes to_bytes(const Cell& v);
int32_t to_integer(const Text& t);
Text to_text(const Bytes& b);
Text to_text(int64_t v);
Bytes to_bytes(const Text& t);
Bytes to_bytes(int64_t v);

int32_t bytes_length(const Bytes& b);
Bytes bytes_left(const Bytes& b, int32_t count);
Bytes replace_bytes(const Bytes& b, const Bytes& sought, const Bytes& replacement = Bytes(),
                    std::optional<int32_t> start = std::nullopt, std::optional<int32_t> max_count = std::nullopt);
// kind 1..10; position: absent = 1; a by-reference cell (tag | 0x20000000
// holding an int32_t*) is advanced, to -1 at the end. Result cell: texts are owned.
Cell bytes_read_value(const Bytes& b, int32_t kind, const Cell* position = nullptr);
Text bytes_read_text(const Bytes& b);  // kind 10, no position
Bytes blank_bytes(int32_t count);

}  // namespace cx
