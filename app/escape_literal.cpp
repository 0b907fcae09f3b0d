// The continuation answer inside the decoding script's string literal.
//
// The answer travels inside a JScript string literal, so its text is code
// until the literal is closed: network bytes must never be able to close it.
// The script text is converted to UTF-16 with the system code page (GBK), so
// the literal is made safe at the level of that conversion: every byte the
// converter reads as an ASCII character is examined on its own, and a lead
// byte without a proper trail byte (which the converter would pair with
// whatever follows, a protective byte included) is replaced first.
#include "app/escape_literal.h"

#include <cstdint>
#include <cstring>

#include "services/ascii.h"

namespace cx {

namespace {

const char kLineBreak[] = "\r\n";
const char kLineBreakPlaceholder[] = "{$}";
const char kApostrophe[] = "'";
const char kApostropheStandIn[] = "’";  // GBK A1 AF
const char kScriptHead[] = "function xx(){var x='";
// A zero character (from \u0000, %00, \x00 or \0) would end the text the
// result becomes, and every tile behind it would be lost: it is dropped, as
// the fallback drops it.
const char kScriptTail[] = "';return unescape(x).replace(/\\x00/g,'');}";

// GBK structure as the system's converter reads it: 0x81..0xFE lead a pair
// when a trail byte 0x40..0xFE (not 0x7F) follows; every other byte is one
// character of its own (0x80 and 0xFF are single characters, not ASCII).
bool is_lead(uint8_t b) { return b >= 0x81 && b <= 0xFE; }
bool is_trail(uint8_t b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }
// `count` hexadecimal digits at s[at].
bool hex_run(std::string_view s, size_t at, size_t count) { return hex_digits_value(s.data(), at, s.size(), count) >= 0; }

// Length of the script escape at i (a backslash) when it denotes the zero
// character: \x00, \u0000, or \0 with up to two more zero octal digits; 0
// for any other escape.
size_t zero_escape_length(std::string_view s, size_t i) {
  auto zeros = [&](size_t at, size_t count) {
    if (at + count > s.size()) return false;
    for (size_t k = at; k < at + count; ++k)
      if (s[k] != '0') return false;
    return true;
  };
  if (i + 1 >= s.size()) return 0;
  switch (s[i + 1]) {
    case 'x': return zeros(i + 2, 2) ? 4 : 0;
    case 'u': return zeros(i + 2, 4) ? 6 : 0;
    case '0': {
      size_t n = 2;  // backslash and the first digit
      while (n < 4 && i + n < s.size() && s[i + n] >= '0' && s[i + n] <= '7') {
        if (s[i + n] != '0') return 0;  // \01 and the like: a character of its own
        ++n;
      }
      return n;
    }
    default: return 0;
  }
}

// Length of the character at i: 2 for a proper pair, 1 otherwise; 0 for a
// lead byte without its trail (a stray lead).
size_t gbk_char_length(std::string_view s, size_t i) {
  uint8_t b = uint8_t(s[i]);
  if (!is_lead(b)) return 1;
  return i + 1 < s.size() && is_trail(uint8_t(s[i + 1])) ? 2 : 0;
}

// The engine is given the answer a piece at a time. It keeps several UTF-16
// copies of what it is given (the statement, its own copy of the source, the
// parsed literal, the strings it builds), so a whole 1 MB answer at once made
// the largest short-lived blocks of a run, about ten times the answer's size.
//
// The pieces' results joined must be the whole answer's result, so a piece
// ends only behind a run of plain characters (single-byte ASCII characters
// other than "%" and the backslash) that no escape can span. The start of
// such a run may still belong to escapes opened just before it: the tail of
// a literal escape (at most the five characters behind the backslash of
// \uHHHH) and, should that escape give a "%", the tail of the unescape
// escape it opens (at most the five characters behind the "%" of %uHHHH).
// One more plain character then stands for itself right before the end, so
// that neither level's escape and no surrogate pair named by escapes (even
// with zero characters, which are dropped, between its halves) lies across
// it, and the end is a character boundary.
constexpr size_t kLongestLiteralEscapeTail = 5;  // \uHHHH
constexpr size_t kLongestUnescapeTail = 5;       // %uHHHH
constexpr size_t kPieceGuard = kLongestLiteralEscapeTail + kLongestUnescapeTail + 1;

bool plain_for_piece_end(uint8_t b) { return b < 0x80 && b != '%' && b != '\\'; }

// The bytes a walk must look at: the ASCII ones given and every byte of 0x80
// or more; the runs between them are copied whole.
struct ByteSet {
  bool has[256] = {};
  constexpr explicit ByteSet(std::string_view ascii) {
    for (char c : ascii) has[uint8_t(c)] = true;
    for (int b = 0x80; b < 256; ++b) has[b] = true;
  }
};

size_t copy_plain_run(TextBuilder& out, std::string_view s, size_t i, const ByteSet& stops) {
  size_t j = i;
  while (j < s.size() && !stops.has[uint8_t(s[j])]) ++j;
  out.put(s.data() + i, j - i);
  return j;
}

}  // namespace

// ---------------------------------------------------------------------------
// The answer prepared, and the preparation undone

Text prepare_escaped_answer(const Text& input) {
  // One walk along the characters as the converter reads them: a byte of
  // 0x81..0xFE with a trail byte is one character (whatever ASCII byte its
  // trail may be), 0x80 and 0xFF are characters of their own. A lead byte
  // without its trail byte would be paired by the converter with whatever
  // follows it: it becomes "?", as the converter would read it, and hides
  // nothing.
  std::string_view s = input.view();
  static constexpr ByteSet kStops("\r\\'");
  TextBuilder out(2 * s.size());  // an apostrophe becomes two bytes, nothing grows more
  size_t i = 0;
  // 2. A lone CR at the very start is dropped; a CR LF there is a line break.
  if (!s.empty() && s[0] == '\r' && (s.size() < 2 || s[1] != '\n')) i = 1;
  while (i < s.size()) {
    i = copy_plain_run(out, s, i, kStops);
    if (i >= s.size()) break;
    const size_t n = gbk_char_length(s, i);
    if (n == 2) {
      out.put(s.data() + i, 2);
      i += 2;
      continue;
    }
    if (n == 0) {
      out.put('?');
      ++i;
      continue;
    }
    const char c = s[i];
    const char next = i + 1 < s.size() ? s[i + 1] : 0;
    if (c == '\r' && next == '\n') {  // 1. so that the answer fits on one line of script
      out.put(kLineBreakPlaceholder);
      i += 2;
    } else if (c == '\\' && next == 'u') {  // 3. the percent-u form that unescape reads
      out.put("%u");
      i += 2;
    } else if (c == kApostrophe[0]) {  // 4. no apostrophe may end the literal
      out.put(kApostropheStandIn);
      ++i;
    } else {
      out.put(c);
      ++i;
    }
  }
  return out.take();
}

// The walk follows the code page as the preparation did, so a single-byte
// character such as the euro sign (0x80) cannot hide the "’" or "{$}" after it.
Text restore_apostrophes_and_breaks(const Text& decoded) {
  std::string_view s = decoded.view();
  const std::string_view stand_in(kApostropheStandIn), placeholder(kLineBreakPlaceholder);
  static constexpr ByteSet kStops("{");
  TextBuilder out(s.size());  // both replacements are shorter than what they replace
  for (size_t i = 0; i < s.size();) {
    i = copy_plain_run(out, s, i, kStops);
    if (i >= s.size()) break;
    if (s.compare(i, stand_in.size(), stand_in) == 0) {
      out.put(kApostrophe);
      i += stand_in.size();
    } else if (s.compare(i, placeholder.size(), placeholder) == 0) {
      out.put(kLineBreak);
      i += placeholder.size();
    } else {
      size_t n = gbk_char_length(s, i) == 2 ? 2 : 1;
      out.put(s.data() + i, n);
      i += n;
    }
  }
  return out.take();
}

// ---------------------------------------------------------------------------
// The literal

size_t write_script_literal(TextBuilder& body, std::string_view s, bool last) {
  static constexpr ByteSet kStops("'\r\n\\");
  for (size_t i = 0; i < s.size();) {
    i = copy_plain_run(body, s, i, kStops);
    if (i >= s.size()) break;
    if (!last && s.size() - i < kLiteralLookAhead) return i;
    size_t n = gbk_char_length(s, i);
    if (n == 2) {  // a whole double-byte character: never an ASCII one after conversion
      body.put(s.data() + i, 2);
      i += 2;
      continue;
    }
    if (n == 0) {  // stray lead byte: it would swallow the byte after it
      body.put('?');
      ++i;
      continue;
    }
    char c = s[i];
    switch (c) {
      case '\'':
        body.put(kApostropheStandIn);
        ++i;
        continue;
      case '\r':  // a lone line break would end the literal: keep it as an escape
        body.put("\\r");
        ++i;
        continue;
      case '\n':
        body.put("\\n");
        ++i;
        continue;
      case '\\':
        break;
      default:
        body.put(c);
        ++i;
        continue;
    }
    // A backslash: keep the escape it starts when that escape is sound;
    // otherwise it must not reach the closing quote or a rewritten byte.
    if (i + 1 >= s.size()) {  // at the very end it would escape the closing quote
      body.put("\\\\");
      ++i;
      continue;
    }
    char next = s[i + 1];
    if (size_t n = zero_escape_length(s, i)) {
      // An escape of the zero character: some engines end the literal's
      // text there, and the page behind it would be lost. Dropped, as the
      // result's zero characters are.
      i += n;
    } else if (next == '\r' || next == '\n') {  // the backslash stays a character, the break is escaped next
      body.put("\\\\");
      ++i;
    } else if (next == 'x' || next == 'u') {
      // Hexadecimal escapes must be complete; an incomplete one is read as
      // the letter itself, which is what lenient engines do.
      if (hex_run(s, i + 2, next == 'x' ? 2 : 4)) body.put('\\');
      body.put(next);
      i += 2;
    } else if (uint8_t(next) >= 0x80 || next == '\'') {
      // The next character is examined on its own (pairs, stray leads and
      // the apostrophe stand-in); a backslash before it only escapes it.
      body.put('\\');
      ++i;
    } else {
      body.put('\\');
      body.put(next);
      i += 2;
    }
  }
  return s.size();
}

Text build_decoding_script(const Text& prepared) {
  std::string_view s = prepared.view();
  // No byte becomes more than two.
  TextBuilder script(2 * s.size() + sizeof kScriptHead + sizeof kScriptTail);
  script.put(kScriptHead);
  write_script_literal(script, s);
  script.put(kScriptTail);
  return script.take();
}

Text script_literal(const Text& prepared) {
  TextBuilder literal(2 * prepared.view().size());
  write_script_literal(literal, prepared.view());
  return literal.take();
}

size_t script_piece_end(std::string_view prepared, size_t from, size_t piece_bytes) {
  if (prepared.size() - from <= piece_bytes) return prepared.size();
  // Walked from the piece's start, a character boundary, character by
  // character as the converter reads them: an ASCII trail byte is no plain
  // character.
  size_t plain = 0;
  for (size_t j = from; j < prepared.size();) {
    const size_t n = gbk_char_length(prepared, j);
    plain = n == 1 && plain_for_piece_end(uint8_t(prepared[j])) ? plain + 1 : 0;
    j += n == 2 ? 2 : 1;
    if (plain >= kPieceGuard && j >= from + piece_bytes) return j;
  }
  return prepared.size();
}

}  // namespace cx
