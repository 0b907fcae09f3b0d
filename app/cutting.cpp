#include "app/cutting.h"

#include "services/runtime.h"
#include "services/text.h"

namespace cx {

int32_t text_between_all(const Text& source, const Text& start_marker, const Text& end_marker,
                         std::vector<Text>& pieces, const CutOptions& options) {
  pieces.clear();
  // An empty marker is found at the start of any stretch: it delimits
  // nothing, and a cut on it would find the same piece for ever.
  if (start_marker.empty() || end_marker.empty()) return 0;
  const std::string_view page = source.view();  // measured once for all pieces
  int32_t position = options.start_position;
  const int32_t ignore = options.case_sensitive ? 0 : 1;
  for (;;) {
    const int32_t s = find_text_in(page, start_marker, position, ignore);
    if (s == -1) break;
    const int32_t e = find_text_in(page, end_marker, s + start_marker.length(), ignore);
    if (e == -1) break;
    const int32_t p = s + start_marker.length();
    position = p;

    // One block per piece: a page of a thousand tiles is not cut into four
    // thousand short-lived copies.
    Text piece = trim_spaces_in(page.substr(size_t(p - 1), size_t(e - p)));
    if (!options.prefix.empty() || !options.suffix.empty()) piece = options.prefix + piece + options.suffix;
    if (piece.length() > 0) {
      if (options.include_start) piece = start_marker + piece;
      if (options.include_end) piece = piece + end_marker;
      if (options.max_length == 0 || piece.length() < options.max_length) pieces.push_back(std::move(piece));
      position = e;
    }
    // An empty piece leaves position just behind the start marker.
    process_events();
  }
  return int32_t(pieces.size());
}

Text text_between(const Text& source, const Text& start_marker, const Text& end_marker,
                  std::optional<int32_t> start_position, bool ignore_case) {
  const Text quote = Text::literal("\"");
  const Text start = replace_text(start_marker, Text::literal("#引号"), quote);
  const Text end = replace_text(end_marker, Text::literal("#引号"), quote);
  const int32_t fold = ignore_case ? 1 : 0;

  int32_t s = find_text(source, start, start_position.value_or(0), fold);
  if (s != -1) s += start.length();
  const int32_t e = find_text(source, end, s, fold);
  if (s == -1 || e == -1) return Text();
  return text_middle(source, s, e - s);
}

Text text_between(const Text& source, const Text& start_marker, const Text& end_marker) {
  return text_between(source, start_marker, end_marker, std::nullopt, false);
}

}  // namespace cx
