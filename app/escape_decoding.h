// Escape decoding of continuation answers: the escaped markup is read back
// by the script engine's own string reading and `unescape`, with a percent
// decoder of its own as the fallback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "services/value.h"

namespace cx {

// The decoded answer (a new text); `input` is not changed.
Text decode_escapes(const Text& input);
// The same for an answer that is replaced by its decoding anyway: it is let
// go (left empty) once prepared, before the script engine's copies are made.
Text decode_escapes(Text&& input);

// %uXXXX and %XX escapes replaced by the GBK text of the code unit they
// denote; a "%" that starts no escape of hexadecimal digits stays itself.
// Handles the window's messages at the first character of `s` and then once
// per 256 characters.
Text percent_decode_fallback(const Text& s);

// The hexadecimal digits of `h` (either case) as a number; reading stops at
// the first character that is not a digit. Wraps modulo 2^64.
int64_t hex_to_integer(const Text& h);

// The UTF-16 code units of `b` up to the first zero unit, as GBK text.
Text utf16_bytes_to_text(const Bytes& b);

// The answer made ready for the script string literal and the fallback: line
// breaks as "{$}", a leading CR dropped, "\u" as "%u", every apostrophe byte
// as "’" and every lead byte without a trail byte as "?".
Text prepare_escaped_answer(const Text& input);

// The decoding script around a prepared answer. Whatever bytes `prepared`
// holds, its text stays one string literal of the function: no apostrophe, no
// line break, no backslash that could reach the closing quote, and no lead
// byte that the code-page conversion could pair with a byte of the script.
Text build_decoding_script(const Text& prepared);

// The script engine decodes a long answer in pieces of about this many bytes.
constexpr size_t kScriptPieceBytes = 64 * 1024;

// Where the piece of `prepared` that starts at `from` ends: its end, when no
// more than kScriptPieceBytes are left; otherwise the first place at or behind
// from + kScriptPieceBytes that follows eight plain ASCII characters (no "%",
// no backslash), or the end should there be none. No escape spans two pieces.
size_t script_piece_end(std::string_view prepared, size_t from);

}  // namespace cx
