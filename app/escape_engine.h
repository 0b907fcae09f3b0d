// The script engine's route: the Script Control, driven through the
// automation bridge, reads the prepared answer with its own string reading
// and `unescape`.
#pragma once

#include <cstddef>

#include "app/escape_literal.h"
#include "services/value.h"

namespace cx {

// The script engine's decoding of a prepared answer, piece by piece, before
// the apostrophes and line breaks are put back; the empty text when the
// engine gives nothing (it cannot be created, a piece does not load or run).
Text script_engine_decode(const Text& prepared, size_t piece_bytes = kScriptPieceBytes);

}  // namespace cx
