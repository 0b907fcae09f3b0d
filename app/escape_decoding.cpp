// Escape decoding of continuation answers.
//
// The answer travels inside a JScript string literal, so its text is code
// until the literal is closed: network bytes must never be able to close it.
// The script text is converted to UTF-16 with the system code page (GBK), so
// the literal is made safe at the level of that conversion: every byte the
// converter reads as an ASCII character is examined on its own, and a lead
// byte without a proper trail byte (which the converter would pair with
// whatever follows, a protective byte included) is replaced first.
#include "app/escape_decoding.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "services/automation.h"
#include "services/heap.h"
#include "services/runtime.h"
#include "services/text.h"

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

Text lit(const char* s) { return Text::literal(s); }

// GBK structure as the system's converter reads it: 0x81..0xFE lead a pair
// when a trail byte 0x40..0xFE (not 0x7F) follows; every other byte is one
// character of its own (0x80 and 0xFF are single characters, not ASCII).
bool is_lead(uint8_t b) { return b >= 0x81 && b <= 0xFE; }
bool is_trail(uint8_t b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }
bool is_hex(uint8_t b) { return (b >= '0' && b <= '9') || (b >= 'a' && b <= 'f') || (b >= 'A' && b <= 'F'); }

bool hex_run(std::string_view s, size_t at, size_t count) {
  if (at + count > s.size()) return false;
  for (size_t i = at; i < at + count; ++i)
    if (!is_hex(uint8_t(s[i]))) return false;
  return true;
}

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
// A piece's end follows kPieceGuard plain ASCII characters, none of them "%"
// or a backslash: every escape of the literal and of unescape (six characters
// at most) lies within one piece, and no double-byte character is cut, so the
// pieces' results joined are the whole answer's result.
constexpr size_t kPieceGuard = 8;

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

// A result written in place into one heap block that becomes the text: a
// page-sized result is not built in one buffer and copied into another. The
// block is made as large as the result can get (it grows should it not be),
// and its pages that are never written are never touched.
class TextBlock {
 public:
  explicit TextBlock(size_t most) : p_(static_cast<char*>(heap_allocate(most + 1))), room_(most) {}
  ~TextBlock() { heap_release(p_); }
  TextBlock(const TextBlock&) = delete;
  TextBlock& operator=(const TextBlock&) = delete;
  void put(char c) {
    if (n_ == room_) grow(1);
    p_[n_++] = c;
  }
  void put(const char* s, size_t n) {
    if (n > room_ - n_) grow(n);
    std::memcpy(p_ + n_, s, n);
    n_ += n;
  }
  void put(std::string_view s) { put(s.data(), s.size()); }
  Text take() {
    p_[n_] = 0;
    char* p = static_cast<char*>(heap_reallocate(p_, n_ + 1));
    p_ = nullptr;
    return Text::adopt(p);
  }

 private:
  void grow(size_t more) {
    room_ = 2 * room_ + more;
    p_ = static_cast<char*>(heap_reallocate(p_, room_ + 1));
  }
  char* p_;
  size_t room_;
  size_t n_ = 0;
};

template <class Out>
size_t copy_plain_run(Out& out, std::string_view s, size_t i, const ByteSet& stops) {
  size_t j = i;
  while (j < s.size() && !stops.has[uint8_t(s[j])]) ++j;
  out.put(s.data() + i, j - i);
  return j;
}

// std::string as an output of copy_plain_run.
struct StringOut {
  std::string& s;
  void put(const char* p, size_t n) { s.append(p, n); }
};

// A WideCharToMultiByte call through the declared-function table.
int wide_to_gbk(int32_t entry, const uint8_t* units, int count, uint8_t* out, int size) {
  return int(int32_t(uint32_t(call_declared(entry, 936, 0x200, units, count, out, size, nullptr, nullptr))));
}

// ---------------------------------------------------------------------------
// Preparation

// Every character the converter reads as one: a stray lead byte becomes "?",
// and with `apostrophes` every apostrophe byte becomes "’".
Text as_converter_reads(std::string_view s, bool apostrophes) {
  static constexpr ByteSet kStops("'");
  static constexpr ByteSet kLeadsOnly("");
  std::string out;
  out.reserve(s.size() + s.size() / 8);
  StringOut to{out};
  for (size_t i = 0; i < s.size();) {
    i = copy_plain_run(to, s, i, apostrophes ? kStops : kLeadsOnly);
    if (i >= s.size()) break;
    size_t n = gbk_char_length(s, i);
    if (n == 2) {
      out.append(s.data() + i, 2);
      i += 2;
    } else if (n == 0) {
      out += '?';
      ++i;
    } else {
      if (apostrophes && s[i] == kApostrophe[0]) out += kApostropheStandIn;
      else out += s[i];
      ++i;
    }
  }
  return Text::copy(out);
}

// Undoes steps 4 and 1 on the decoded text: every "’" becomes an apostrophe
// and every "{$}" a line break. The walk follows the code page as the
// apostrophe replacement did, so a single-byte character such as the euro
// sign (0x80) cannot hide the "’" or "{$}" after it.
Text restore_apostrophes_and_breaks(const Text& decoded) {
  std::string_view s = decoded.view();
  const std::string_view stand_in(kApostropheStandIn), placeholder(kLineBreakPlaceholder);
  static constexpr ByteSet kStops("{");
  TextBlock out(s.size());  // both replacements are shorter than what they replace
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

// The preparation below in one pass, for an answer of ASCII bytes only (the
// site escapes every other character): without a byte of 0x80 or more there
// is no pair and no stray lead byte, and every byte is a character start for
// the replacements as for the converter.
Text prepare_ascii_answer(std::string_view s) {
  static constexpr ByteSet kStops("\r\\'");
  TextBlock out(2 * s.size());  // an apostrophe becomes two bytes, nothing grows more
  size_t i = 0;
  // 2. A lone CR at the very start is dropped; a CR LF there is a line break.
  if (!s.empty() && s[0] == '\r' && (s.size() < 2 || s[1] != '\n')) i = 1;
  while (i < s.size()) {
    i = copy_plain_run(out, s, i, kStops);
    if (i >= s.size()) break;
    const char c = s[i];
    const char next = i + 1 < s.size() ? s[i + 1] : 0;
    if (c == '\r' && next == '\n') {  // 1.
      out.put(kLineBreakPlaceholder);
      i += 2;
    } else if (c == '\\' && next == 'u') {  // 3.
      out.put("%u");
      i += 2;
    } else if (c == kApostrophe[0]) {  // 4.
      out.put(kApostropheStandIn);
      ++i;
    } else {
      out.put(c);
      ++i;
    }
  }
  return out.take();
}

}  // namespace

Text prepare_escaped_answer(const Text& input) {
  if (all_ascii(input.view())) return prepare_ascii_answer(input.view());
  // A lead byte without its trail byte would be paired with whatever follows
  // it, by the character-aware steps below as well as by the converter: it
  // becomes "?" first, as the converter would read it, so that it hides no
  // line break, backslash or apostrophe and cannot pair with a "’" put in.
  Text t = as_converter_reads(input.view(), false);
  // 1. Every line break becomes "{$}" so that the answer fits on one line of script.
  t = replace_text(t, lit(kLineBreak), lit(kLineBreakPlaceholder));
  // 2. A lone CR at the very start is dropped (that byte only).
  if (t.c_str()[0] == '\r') t = Text::copy(t.c_str() + 1, size_t(t.length() - 1));
  // 3. Backslash-u escapes become the percent-u form that unescape reads.
  if (find_text(t, lit("\\u")) != -1) t = replace_text(t, lit("\\u"), lit("%u"));
  // 4. Every apostrophe byte gives way to "’", byte by byte: a
  //    character-aware replacement would take a lead byte and the apostrophe
  //    after it for one character and leave the apostrophe in place.
  return as_converter_reads(t.view(), true);
}

Text build_decoding_script(const Text& prepared) {
  std::string_view s = prepared.view();
  // No byte becomes more than two.
  TextBlock body(2 * s.size() + sizeof kScriptHead + sizeof kScriptTail);
  body.put(kScriptHead);
  static constexpr ByteSet kStops("'\r\n\\");
  for (size_t i = 0; i < s.size();) {
    i = copy_plain_run(body, s, i, kStops);
    if (i >= s.size()) break;
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
  body.put(kScriptTail);
  return body.take();
}

size_t script_piece_end(std::string_view prepared, size_t from) {
  if (prepared.size() - from <= kScriptPieceBytes) return prepared.size();
  size_t plain = 0;
  for (size_t j = from + kScriptPieceBytes - kPieceGuard; j < prepared.size(); ++j) {
    plain = plain_for_piece_end(uint8_t(prepared[j])) ? plain + 1 : 0;
    if (plain == kPieceGuard) return j + 1;
  }
  return prepared.size();
}

// ---------------------------------------------------------------------------
// The decoding itself

namespace {

// Decodes the prepared answer with the script engine, or with the fallback
// should the engine give nothing. The fallback decodes only then: its result
// would otherwise be thrown away, and with it the thousands of turns of the
// window it takes on a long answer. A piece the engine cannot load or run
// leaves the whole answer to the fallback, as a failed whole script did.
Text decode_prepared(Text t) {
  call_declared(DECL_CO_INITIALIZE, nullptr);
  ObjectRecord engine;
  object_create(&engine, lit("ScriptControl"));
  // The answer is data from the network: the engine gets no user interface
  // and only what is safe for untrusted scripts. An engine that refuses
  // either setting still decodes.
  object_set_property(&engine, lit("AllowUI"), cell_bool(false));
  object_set_property(&engine, lit("UseSafeSubset"), cell_bool(true));
  object_set_property(&engine, lit("Language"), cell_text("JScript"));

  const std::string_view whole = t.view();
  TextBlock decoded(whole.size());  // nothing decodes to more bytes than its escape
  bool engine_failed = false;
  for (size_t from = 0, to; from < whole.size(); from = to) {
    to = script_piece_end(whole, from);
    // Built from a copy of the piece: measured under Wine, building it in
    // place put the engine's blocks elsewhere in the heap and left the
    // working set 3.5 MB higher after a 10 000-video run.
    Text script = build_decoding_script(Text::copy(whole.substr(from, to - from)));
    Cell script_arg = cell_text(script);
    object_call_number(&engine, lit("ExecuteStatement"), 1, &script_arg);
    // Without this piece's function, Run would call the previous piece's.
    engine_failed = object_call_status() != OBJ_OK;
    script = Text();
    if (engine_failed) break;
    Cell function_name = cell_text("xx");
    const Text piece = object_call_text(&engine, lit("Run"), 1, &function_name);
    engine_failed = object_call_status() != OBJ_OK;
    if (engine_failed) break;
    decoded.put(piece.view());
  }

  object_clear(&engine);
  call_declared(DECL_CO_UNINITIALIZE);

  Text result = decoded.take();
  if (engine_failed || result.empty()) result = percent_decode_fallback(t);
  t = Text();
  return restore_apostrophes_and_breaks(result);
}

}  // namespace

Text decode_escapes(const Text& input) { return decode_prepared(prepare_escaped_answer(input)); }

Text decode_escapes(Text&& input) {
  Text t = prepare_escaped_answer(input);
  input = Text();
  return decode_prepared(std::move(t));
}

namespace {

// The window gets its turn while a long answer is decoded, once per
// kCharsPerTurn characters: under Wine even a look at an empty queue is a
// round trip to the server (tens of microseconds), which per character would
// make a 1 MB answer take most of a minute.
constexpr size_t kCharsPerTurn = 256;

class WindowTurns {
 public:
  void pass(size_t chars) {
    count_ += chars;
    if (count_ >= next_) {
      process_events();
      next_ = count_ + kCharsPerTurn;
    }
  }

 private:
  size_t count_ = 0;
  size_t next_ = 1;  // the first character already yields
};

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// The GBK text of each UTF-16 code unit an escape names, found the first
// time the unit occurs (utf16_bytes_to_text of its eight bytes) and kept for
// the rest of the answer: an answer names the same few hundred units tens of
// thousands of times.
class UnitTexts {
 public:
  std::string_view of(uint32_t unit) {
    if (known_.empty()) known_.assign(0x10000, kUnknown);
    uint32_t& k = known_[unit];
    if (k == kUnknown) {
      Text t = utf16_bytes_to_text(to_bytes(int64_t(unit)));
      // One unit gives at most two bytes in GBK; anything longer is not kept.
      if (t.length() > 3) {
        spare_ = std::move(t);
        return spare_.view();
      }
      uint32_t packed = uint32_t(t.length()) << 24;  // the length above, the bytes below
      std::memcpy(&packed, t.c_str(), size_t(t.length()));
      k = packed;
    }
    size_t n = k >> 24;
    std::memcpy(bytes_, &k, 3);
    return std::string_view(bytes_, n);
  }

 private:
  static constexpr uint32_t kUnknown = 0xFFFFFFFFu;
  std::vector<uint32_t> known_;
  char bytes_[3];
  Text spare_;
};

}  // namespace

Text percent_decode_fallback(const Text& s) {
  WindowTurns turns;
  UnitTexts units;
  std::string_view v = s.view();
  TextBlock out(v.size());  // an escape gives at most two bytes for its three or six
  static constexpr ByteSet kStops("%");
  size_t i = 0;
  while (i < v.size()) {
    // A run of plain characters is copied at once.
    size_t plain_end = i;
    while (plain_end < v.size() && !kStops.has[uint8_t(v[plain_end])]) ++plain_end;
    turns.pass(plain_end - i);
    out.put(v.data() + i, plain_end - i);
    i = plain_end;
    if (i >= v.size()) break;
    turns.pass(1);
    size_t escape = 0;  // length of the escape at i, digits included
    size_t digits_at = 0;
    if (v[i] == '%') {
      size_t behind = v.size() - i - 1;
      if (behind >= 5 && v[i + 1] == 'u' && hex_run(v, i + 2, 4)) {
        escape = 6;
        digits_at = i + 2;
      } else if (behind >= 2 && hex_run(v, i + 1, 2)) {
        escape = 3;
        digits_at = i + 1;
      }
    }
    if (escape == 0) {  // one character, copied as it is
      size_t n = gbk_char_length(v, i) == 2 ? 2 : 1;
      out.put(v.data() + i, n);
      i += n;
      continue;
    }
    // The digits are all hexadecimal (hex_run): their value is what
    // hex_to_integer reads from them.
    uint32_t unit = 0;
    for (size_t d = digits_at; d < i + escape; ++d) unit = unit * 16 + uint32_t(hex_value(v[d]));
    out.put(units.of(unit));
    turns.pass(escape - 1);
    i += escape;
  }
  return out.take();
}

int64_t hex_to_integer(const Text& h) {
  static const char kDigits[] = "0123456789ABCDEF";
  Text upper = to_upper(h);
  uint64_t value = 0;
  for (const char* p = upper.c_str(); *p; ++p) {
    const char* at = nullptr;
    for (const char* d = kDigits; *d; ++d)
      if (*d == *p) at = d;
    if (at == nullptr) break;
    value = value * 16 + uint64_t(at - kDigits);  // (1-based position) - 1
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
