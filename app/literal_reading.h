// The decoding script's string literal read without the script engine: what
// the engine makes of it (its own string reading, then `unescape`, then the
// zero characters dropped) and what the automation bridge makes of the
// engine's string (the system code page's conversion of the whole of it).
// Platform-free: the code-page conversions are those of services/codepage.h.
//
// The engine's reading, as measured on it (the table in
// tests/app/engine_readings.h):
//   \b \t \n \f \r   the control characters 8, 9, 10, 12, 13
//   \xHH \uHHHH      the unit of those hexadecimal digits (either case)
//   \d, \dd, \ddd    up to three decimal digits, each taken in base 8 the
//                    way the engine takes it (\8 is unit 8, \18 is 16, \400
//                    is 256): any digit 0-9, the value so far times 8 plus it
//   \ and any other  that character itself (\v is "v", \' \" \\ \/ the
//                    quote, backslash and slash, \ before a double-byte
//                    character that character)
// The engine refuses a script holding \x or \u without all their digits or
// a backslash at the literal's end; the decoding script never holds them
// (the literal's builder writes the letter alone and doubles such a
// backslash), and should one come here it is read the builder's way.
// unescape reads what the literal gives only up to its first zero character
// (the builder drops the escapes of zero, so that it never meets one);
// %uHHHH (a lower-case u) and %HH become the unit they name; any other "%"
// stands for itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "services/text_builder.h"
#include "services/value.h"

namespace cx {

// The window gets its turn once per this many characters of the literal
// (and at the first). Under Wine even a look at an empty queue is a round
// trip to the server, 15 us and far more while other programs keep it busy:
// a turn per 256 characters took longer on a 1 MB answer than the script
// engine takes to decode it. Reading 16 384 characters takes about a tenth
// of a millisecond, so the window still gets its turn far more often than
// anyone could notice.
constexpr size_t kCharsPerTurn = 16384;

// Reads a literal a part at a time, so that no copy of a whole page is made
// in UTF-16: an escape of either level, or a surrogate pair, may lie across
// two parts. The window gets its turns while it reads.
class LiteralReader {
 public:
  // `most`: how many bytes the text can take (it grows should it not be).
  explicit LiteralReader(size_t most = 0, bool keep_units = false) : keep_units_(keep_units), text_(most) {}

  // The next part of the literal's text, in the system code page, cut at a
  // character boundary.
  void read(std::string_view part);
  // The text the literal stands for, once the last part has been read: its
  // units converted to the system code page as the bridge converts the
  // engine's string, a surrogate pair as the converter takes a pair, a
  // character the code page lacks as the converter writes it.
  Text finish();
  // Instead of finish, with keep_units: the UTF-16 text itself.
  std::u16string finish_units();

 private:
  void step(bool last);
  void turn_at(size_t characters);

  std::u16string unread_;   // units whose escape of the literal may go on in the next part
  std::u16string literal_;  // units the literal gave whose escape of unescape may go on
  std::u16string decoded_;  // units unescape gave, not yet converted (a pair's first half may wait)
  bool ended_ = false;      // a zero character of the literal ended unescape's reading
  const bool keep_units_;
  size_t characters_ = 0, next_turn_ = 0;
  TextBuilder text_;
};

// A whole literal, read at once.
Text read_literal(std::string_view literal);
std::u16string read_literal_units(std::string_view literal);

}  // namespace cx
