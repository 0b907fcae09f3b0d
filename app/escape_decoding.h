// Escape decoding of continuation answers: the escaped markup is read back
// by the script engine's own string reading and `unescape`, with a reading
// of its own, equal to the engine's, as the fallback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "services/value.h"

namespace cx {

// The decoded answer (a new text); `input` is not changed. The script
// engine decodes it; when the engine gives nothing (it cannot be created, a
// piece does not load or run, its result is empty), the fallback's reading,
// which is the engine's, is the answer.
Text decode_escapes(const Text& input);
// The same for an answer that is replaced by its decoding anyway: it is let
// go (left empty) once prepared, before the script engine's copies are made.
Text decode_escapes(Text&& input);

// The answer made ready for the script string literal and the fallback: line
// breaks as "{$}", a leading CR dropped, "\u" as "%u", every apostrophe as
// "’" and every lead byte without a trail byte as "?". Every step walks the
// answer as the code page's converter reads it (see script_piece_end).
Text prepare_escaped_answer(const Text& input);

// The decoding script around a prepared answer. Whatever bytes `prepared`
// holds, its text stays one string literal of the function: no apostrophe, no
// line break, no backslash that could reach the closing quote, and no lead
// byte that the code-page conversion could pair with a byte of the script.
Text build_decoding_script(const Text& prepared);
// The literal's text alone, as build_decoding_script writes it.
Text script_literal(const Text& prepared);

// The script engine decodes a long answer in pieces of about this many bytes.
constexpr size_t kScriptPieceBytes = 64 * 1024;

// Where the piece of `prepared` that starts at `from` ends: its end, when no
// more than `piece_bytes` are left; otherwise the first place at or behind
// from + piece_bytes that follows a run of plain characters long enough that
// no escape, of the literal or of unescape, and no surrogate pair named by
// escapes spans it; or the end should there be none.
size_t script_piece_end(std::string_view prepared, size_t from, size_t piece_bytes = kScriptPieceBytes);

// The script engine's decoding of a prepared answer, piece by piece, before
// the apostrophes and line breaks are put back; the empty text when the
// engine gives nothing.
Text script_engine_decode(const Text& prepared, size_t piece_bytes = kScriptPieceBytes);

// The fallback: the prepared answer read as the script engine reads it (see
// app/literal_reading.h), without the engine, its literal written and read
// in parts of about `part_bytes`. Gives the window its turns.
constexpr size_t kFallbackPartBytes = 64 * 1024;
Text percent_decode_fallback(const Text& s, size_t part_bytes = kFallbackPartBytes);

// The hexadecimal digits of `h` (either case) as a number; reading stops at
// the first character that is not a digit. Wraps modulo 2^64.
int64_t hex_to_integer(const Text& h);

// The UTF-16 code units of `b` up to the first zero unit, as GBK text.
Text utf16_bytes_to_text(const Bytes& b);

}  // namespace cx
