// The text primitives over plain views, shared by the typed and the cell
// forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "services/value.h"

namespace cx::detail {

constexpr size_t kNotFound = size_t(-1);

// True when byte c is a character start, given that `known` (<= c) is one.
bool is_char_start(const uint8_t* t, size_t known, size_t c);
// First character start p >= s (stepping from s) where the m bytes of q match;
// kNotFound when there is none.
// The same on a zero-terminated text whose length is not known, exactly.
size_t find_in_zero_terminated(const uint8_t* t, size_t s, const uint8_t* q, size_t m);
size_t find_from(const uint8_t* t, size_t len, size_t s, const uint8_t* q, size_t m, bool fold_case);

double clamp_date(double days);
Text left_of(std::string_view t, int32_t count);
Text middle_of(std::string_view t, int32_t start, int32_t count);
int32_t find_in(const char* t, std::string_view q, std::optional<int32_t> start, int32_t ignore_case);
Text replace_in(std::string_view t, std::string_view sought, std::string_view replacement,
                std::optional<int32_t> start, std::optional<int32_t> max_count, bool case_sensitive);
Text trim_of(std::string_view t);
Text upper_of(std::string_view t);
int32_t integer_of(std::string_view t);
Text text_of_bytes(const uint8_t* data, int32_t n);
Bytes bytes_left_of(const uint8_t* data, int32_t n, int32_t count);
Bytes replace_bytes_in(const uint8_t* t, int32_t n, const uint8_t* q, int32_t qn, const uint8_t* r, int32_t rn,
                       std::optional<int32_t> start, std::optional<int32_t> max_count);
Cell read_value(const uint8_t* data, int32_t n, int32_t kind, const Cell* position);

}  // namespace cx::detail
