// The continuation answer as a script string literal: the answer prepared
// for it, the decoding script built around it, where the pieces a long answer
// is given in may end, and the preparation undone on the decoded text.
#pragma once

#include <cstddef>
#include <string_view>

#include "services/text_builder.h"
#include "services/value.h"

namespace cx {

// The answer made ready for the script string literal and the fallback: line
// breaks as "{$}", a leading CR dropped, "\u" as "%u", every apostrophe as
// "’" and every lead byte without a trail byte as "?". Every step walks the
// answer as the code page's converter reads it (see script_piece_end).
Text prepare_escaped_answer(const Text& input);

// Undoes the line breaks and apostrophes of the preparation on the decoded
// text: every "’" becomes an apostrophe and every "{$}" a line break, those
// the answer held itself included.
Text restore_apostrophes_and_breaks(const Text& decoded);

// The decoding script around a prepared answer. Whatever bytes `prepared`
// holds, its text stays one string literal of the function: no apostrophe, no
// line break, no backslash that could reach the closing quote, and no lead
// byte that the code-page conversion could pair with a byte of the script.
Text build_decoding_script(const Text& prepared);
// The literal's text alone, as build_decoding_script writes it.
Text script_literal(const Text& prepared);

// How far the literal's writer looks from a byte it examines: from a
// backslash, five bytes more (\u0000, or \u and four hexadecimal digits).
constexpr size_t kLiteralLookAhead = 6;

// The literal's text for any bytes `s`, written to `out`: all of it when
// `last`; else it stops at the first byte it must examine within the last
// kLiteralLookAhead bytes, so that what follows `s` cannot change how the
// bytes before it are written (a backslash's escape may go on, a lead byte
// may have its trail byte there). Returns how many bytes of `s` it wrote for.
size_t write_script_literal(TextBuilder& out, std::string_view s, bool last = true);

// The script engine decodes a long answer in pieces of about this many bytes.
constexpr size_t kScriptPieceBytes = 64 * 1024;

// Where the piece of `prepared` that starts at `from` ends: its end, when no
// more than `piece_bytes` are left; otherwise the first place at or behind
// from + piece_bytes that follows a run of plain characters long enough that
// no escape, of the literal or of unescape, and no surrogate pair named by
// escapes spans it; or the end should there be none.
size_t script_piece_end(std::string_view prepared, size_t from, size_t piece_bytes = kScriptPieceBytes);

}  // namespace cx
