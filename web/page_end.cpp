#include "web/page_end.h"

#include <cstddef>
#include <cstdint>

#include "services/ascii.h"

namespace cx {

namespace {

bool is_blank(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// A double-byte character of the code page: a lead byte 0x81..0xFE before a
// trail byte 0x40..0xFE other than 0x7F. A trail byte can be "\", "{" or
// "}": it belongs to its character, not to the structure.
size_t char_length(std::string_view s, size_t i) {
  const uint8_t b = uint8_t(s[i]);
  if (b < 0x81 || b > 0xFE || i + 1 >= s.size()) return 1;
  const uint8_t t = uint8_t(s[i + 1]);
  return t >= 0x40 && t <= 0xFE && t != 0x7F ? 2 : 1;
}

// The object opened at s[from] is closed somewhere behind it: brackets and
// braces outside strings balance out, strings in double quotes with their
// backslash escapes.
bool object_closes(std::string_view s, size_t from) {
  long depth = 0;
  bool in_string = false;
  for (size_t i = from; i < s.size(); i += char_length(s, i)) {
    const char c = s[i];
    if (in_string) {
      if (c == '\\') {
        if (++i >= s.size()) return false;  // the escaped character (ASCII in a well-formed answer)
      } else if (c == '"') {
        in_string = false;
      }
      continue;
    }
    switch (c) {
      case '"': in_string = true; break;
      case '{':
      case '[': ++depth; break;
      case '}':
      case ']':
        if (--depth == 0) return true;
        break;
      default: break;
    }
  }
  return false;
}

// Where `word` (lower case) stands in s at or behind `from`, ASCII case
// ignored; npos when nowhere. The words looked for begin with "<", which is
// never the trail byte of a pair, so a plain byte search cannot start inside
// a character.
size_t find_folded(std::string_view s, std::string_view word, size_t from) {
  for (size_t i = from; i + word.size() <= s.size(); ++i) {
    size_t k = 0;
    while (k < word.size() && ascii_lower(s[i + k]) == word[k]) ++k;
    if (k == word.size()) return i;
  }
  return std::string_view::npos;
}

}  // namespace

bool page_shows_its_end(std::string_view text) {
  size_t first = 0;
  while (first < text.size() && is_blank(uint8_t(text[first]))) ++first;
  if (first < text.size() && text[first] == '{') return object_closes(text, first);
  const size_t opened = find_folded(text, "<html", 0);
  if (opened == std::string_view::npos) return true;
  return find_folded(text, "</html>", opened) != std::string_view::npos;
}

}  // namespace cx
