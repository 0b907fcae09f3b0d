// Marker-based cutting: the routines tile parsing, paging and the update
// check rest on.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "services/value.h"

namespace cx {

struct CutOptions {
  bool case_sensitive = false;
  int32_t max_length = 0;
  Text prefix;
  Text suffix;
  bool include_start = false;
  bool include_end = false;
  int32_t start_position = 0;
};

// Empties pieces and refills it with every trimmed, non-empty stretch between
// an occurrence of start_marker and the first end_marker behind it. The window
// handles its pending messages once per piece. Result: the number of pieces.
int32_t text_between_all(const Text& source, const Text& start_marker, const Text& end_marker,
                         std::vector<Text>& pieces, const CutOptions& options = CutOptions());

// The text between the first start marker at or behind start_position and the
// first end marker behind it, not trimmed; "#引号" in a marker stands for a
// double quote. Empty when either marker is missing.
Text text_between(const Text& source, const Text& start_marker, const Text& end_marker,
                  std::optional<int32_t> start_position, bool ignore_case);
// Three-argument variant: from the beginning, exact comparison.
Text text_between(const Text& source, const Text& start_marker, const Text& end_marker);

}  // namespace cx
