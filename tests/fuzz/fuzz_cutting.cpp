// Marker cutting on arbitrary pages and markers: the pieces are what a plain
// reading of the cutting rule gives; without options every piece is a
// non-empty stretch of the page without blanks at either end.

#include <string>
#include <vector>

#include "app/cutting.h"
#include "services/text.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/provider_entry.h"

namespace cx::fuzz {
namespace {

// More pieces than this can only come from a cut that no longer advances.
constexpr size_t kMostPieces = 1 << 16;

struct Cut {
  std::vector<std::string> pieces;
  bool endless = false;
};

// text_between_all read literally, with a guard against a cut that would
// not end.
Cut naive_between_all(std::string_view page, std::string_view start, std::string_view end, const CutOptions& o) {
  Cut r;
  if (start.empty() || end.empty()) return r;  // an empty marker delimits nothing
  const bool folded = !o.case_sensitive;
  int64_t position = o.start_position;
  for (size_t rounds = 0;; ++rounds) {
    if (rounds > page.size() + 2) {
      r.endless = true;
      return r;
    }
    const int32_t s = naive_find(page, start, position, folded);
    if (s == -1) break;
    const int32_t e = naive_find(page, end, int64_t(s) + int64_t(start.size()), folded);
    if (e == -1) break;
    const int64_t p = int64_t(s) + int64_t(start.size());
    position = p;
    std::string piece = naive_trim(page.substr(size_t(p - 1), size_t(e - p)));
    piece = str(o.prefix) + piece + str(o.suffix);
    if (!piece.empty()) {
      if (o.include_start) piece = std::string(start) + piece;
      if (o.include_end) piece += end;
      if (o.max_length == 0 || int64_t(piece.size()) < o.max_length) r.pieces.push_back(piece);
      position = e;
    }
  }
  return r;
}

std::string naive_between(std::string_view page, std::string_view start_marker, std::string_view end_marker,
                          std::optional<int32_t> start_position, bool ignore_case) {
  const std::string start = str(replace_text(Text::copy(start_marker), Text::literal("#引号"), Text::literal("\"")));
  const std::string end = str(replace_text(Text::copy(end_marker), Text::literal("#引号"), Text::literal("\"")));
  int64_t s = naive_find(page, start, start_position.value_or(0), ignore_case);
  if (s != -1) s += int64_t(start.size());
  const int32_t e = naive_find(page, end, s, ignore_case);
  if (s == -1 || e == -1 || e - s <= 0 || s - 1 >= int64_t(page.size())) return std::string();
  return std::string(page.substr(size_t(s - 1), size_t(e - s)));
}

bool blank_char(std::string_view t, size_t p, size_t n) {
  return n == 1 ? byte_at(t, p) == 0x20 : (byte_at(t, p) == 0xA1 && byte_at(t, p + 1) == 0xA1);
}

void check_plain_piece(std::string_view page, std::string_view piece) {
  CX_CHECK(!piece.empty());
  CX_CHECK_MSG(page.find(piece) != std::string_view::npos, "piece not in the page: " + hex(piece));
  // First and last character (as the walk reads the piece) are not blanks.
  size_t last = 0, n = 0;
  for (size_t p = 0; p < piece.size(); p += n) {
    n = p + 1 < piece.size() ? char_length(piece, p) : 1;
    if (p == 0) CX_CHECK_MSG(!blank_char(piece, p, n), "leading blank: " + hex(piece));
    last = p;
  }
  CX_CHECK_MSG(!blank_char(piece, last, n), "trailing blank: " + hex(piece));
}

// Markers are short; now and then they are cut out of the page itself so
// that they occur, or made of the blanks and quotes the rules treat apart.
std::string marker(FuzzedDataProvider& in, std::string_view page) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      if (!page.empty()) {
        size_t at = in.ConsumeIntegralInRange<size_t>(0, page.size() - 1);
        return std::string(page.substr(at, in.ConsumeIntegralInRange<size_t>(0, 4)));
      }
      return std::string();
    case 1: return in.PickValueInArray<std::string>({"cx-lockup-title", "cx-lockup-meta", "\"", "#引号", "title=#引号",
                                                     " ", "\xA1\xA1", "<", ">", "A", "a"});
    default: return std::string(up_to_zero(in.ConsumeRandomLengthString(8)));
  }
}

}  // namespace

void fuzz_input(FuzzedDataProvider& in) {
  const bool with_options = in.ConsumeBool();
  CutOptions o;
  if (with_options) {
    o.case_sensitive = in.ConsumeBool();
    o.max_length = in.ConsumeIntegralInRange<int32_t>(-1, 24);
    o.prefix = text_of(in.ConsumeRandomLengthString(4));
    o.suffix = text_of(in.ConsumeRandomLengthString(4));
    o.include_start = in.ConsumeBool();
    o.include_end = in.ConsumeBool();
    o.start_position = in.ConsumeIntegralInRange<int32_t>(-2, 64);
  }
  const int32_t between_start = in.ConsumeIntegralInRange<int32_t>(-2, 64);
  const bool between_fold = in.ConsumeBool();
  const size_t page_size = in.ConsumeIntegralInRange<size_t>(0, in.remaining_bytes());
  const std::string page_raw = in.ConsumeBytesAsString(page_size);
  const std::string_view page = up_to_zero(page_raw);
  const std::string start = marker(in, page);
  const std::string end = marker(in, page);
  const Text source = Text::copy(page), ts = text_of(start), te = text_of(end);
  const std::string_view sv = up_to_zero(start), ev = up_to_zero(end);

  const Cut want = naive_between_all(page, sv, ev, o);
  CX_CHECK_MSG(!want.endless, "a cut that does not advance for " + hex(sv) + " / " + hex(ev));
  std::vector<Text> pieces;
  pieces.push_back(Text::literal("left over"));  // the routine empties the array first
  const int32_t n = text_between_all(source, ts, te, pieces, o);
  CX_CHECK(n == int32_t(pieces.size()) && pieces.size() <= kMostPieces);
  CX_CHECK_MSG(pieces.size() == want.pieces.size(),
               std::to_string(pieces.size()) + " pieces, want " + std::to_string(want.pieces.size()));
  for (size_t i = 0; i < pieces.size(); ++i) {
    CX_CHECK_MSG(pieces[i].view() == want.pieces[i], "piece " + hex(pieces[i].view()) + " want " + hex(want.pieces[i]));
    if (!with_options) check_plain_piece(page, pieces[i].view());
  }

  const std::optional<int32_t> position = between_start < 0 ? std::nullopt : std::optional<int32_t>(between_start);
  const Text got = text_between(source, ts, te, position, between_fold);
  CX_CHECK_MSG(got.view() == naive_between(page, sv, ev, position, between_fold),
               "text_between " + hex(got.view()) + " in " + hex(page));
  CX_CHECK(got.empty() || page.find(got.view()) != std::string_view::npos);
  const Text plain = text_between(source, ts, te);
  CX_CHECK(plain.view() == naive_between(page, sv, ev, std::nullopt, false));
}

}  // namespace cx::fuzz
