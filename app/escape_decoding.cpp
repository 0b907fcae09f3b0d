// The decoding of one answer: prepared, read by the script engine, or by the
// fallback should the engine give nothing, then the preparation undone.
#include "app/escape_decoding.h"

#include <string_view>
#include <utility>

#include "app/escape_engine.h"
#include "app/escape_literal.h"
#include "app/literal_reading.h"
#include "services/text_builder.h"

namespace cx {

Text percent_decode_fallback(const Text& s, size_t part_bytes) {
  // The literal is written and read a part at a time: neither it nor its
  // UTF-16 form is ever made whole.
  part_bytes = part_bytes > 2 * kLiteralLookAhead ? part_bytes : 2 * kLiteralLookAhead;
  std::string_view rest = s.view();
  LiteralReader reader(rest.size());  // nothing decodes to more bytes than it takes
  while (!rest.empty()) {
    const std::string_view part = rest.substr(0, part_bytes);
    const bool last = part.size() == rest.size();
    TextBuilder literal(2 * part.size());
    const size_t used = write_script_literal(literal, part, last);
    reader.read(literal.take().view());
    rest.remove_prefix(used);
  }
  return reader.finish();
}

namespace {

// The engine's decoding, or the fallback's should the engine give nothing:
// the fallback reads only then, its result would otherwise be thrown away.
Text decode_prepared(Text t) {
  Text result = script_engine_decode(t);
  if (result.empty()) result = percent_decode_fallback(t);
  t = Text();
  return restore_apostrophes_and_breaks(result);
}

}  // namespace

Text decode_escapes(const Text& input) { return decode_prepared(prepare_escaped_answer(input)); }

Text decode_escapes(Text&& input) {
  Text t = prepare_escaped_answer(input);
  input = Text();
  return decode_prepared(std::move(t));
}

}  // namespace cx
