// The decoding script's string literal read without the script engine: what
// the engine makes of it (its own string reading, then `unescape`, then the
// zero characters dropped) and what the automation bridge makes of the
// engine's string (the system code page's conversion of the whole of it).
// Platform-free: the code-page conversions are those of services/codepage.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "services/value.h"

namespace cx {

// The window gets its turn once per this many characters read (and at the
// first): under Wine even a look at an empty queue costs about 15 us, so a
// turn per 256 characters took longer on a 1 MB answer than the script
// engine takes to decode it; per 4096 it is still a turn every tenth of a
// millisecond or so.
constexpr size_t kCharsPerTurn = 4096;

// The UTF-16 text the literal stands for: the literal's text (as the bridge
// hands it to the engine, converted from the system code page) read with the
// engine's escapes, then with unescape's, without its zero characters.
//
// The engine's reading, as measured on it (the table in
// tests/app/literal_reading_test.cpp):
//   \b \t \n \f \r   the control characters 8, 9, 10, 12, 13
//   \xHH \uHHHH      the unit of those hexadecimal digits (either case)
//   \d, \dd, \ddd    up to three decimal digits, each taken in base 8 the
//                    way the engine takes it (\8 is unit 8, \18 is 16, \400
//                    is 256): any digit 0-9, the value times 8 plus it
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
std::u16string read_literal_units(std::string_view literal);

// read_literal_units converted to the system code page in one piece, as the
// bridge converts the engine's result: a surrogate pair as the converter
// takes a pair, a character the code page lacks as the converter writes it.
Text read_literal(std::string_view literal);

}  // namespace cx
