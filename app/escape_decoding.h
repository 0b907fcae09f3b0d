// Escape decoding of continuation answers: the escaped markup is read back
// by the script engine's own string reading and `unescape`, with a reading
// of its own, equal to the engine's, as the fallback. The answer's literal
// is app/escape_literal.h, the engine's route app/escape_engine.h, the
// fallback's reading app/literal_reading.h.
#pragma once

#include <cstddef>

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

// The fallback: the prepared answer read as the script engine reads it (see
// app/literal_reading.h), without the engine, its literal written and read
// in parts of about `part_bytes`. Gives the window its turns.
constexpr size_t kFallbackPartBytes = 64 * 1024;
Text percent_decode_fallback(const Text& s, size_t part_bytes = kFallbackPartBytes);

}  // namespace cx
