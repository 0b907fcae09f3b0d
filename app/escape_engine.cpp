#include "app/escape_engine.h"

#include <string_view>
#include <utility>

#include "services/automation.h"
#include "services/runtime.h"
#include "services/text_builder.h"

namespace cx {

namespace {

Text lit(const char* s) { return Text::literal(s); }

}  // namespace

Text script_engine_decode(const Text& prepared, size_t piece_bytes) {
  call_declared(DECL_CO_INITIALIZE, nullptr);
  ObjectRecord engine;
  // Where the engine does not exist (the 64-bit program on Windows), this is
  // all it costs: one failed creation per answer.
  bool engine_gave = object_create(&engine, lit("ScriptControl"));
  // The answer is data from the network: the engine gets no user interface
  // and only what is safe for untrusted scripts. An engine that refuses
  // either setting still decodes.
  if (engine_gave) {
    object_set_property(&engine, lit("AllowUI"), cell_bool(false));
    object_set_property(&engine, lit("UseSafeSubset"), cell_bool(true));
    object_set_property(&engine, lit("Language"), cell_text("JScript"));
  }

  const std::string_view whole = prepared.view();
  TextBuilder decoded(whole.size());  // nothing decodes to more bytes than its escape
  for (size_t from = 0, to; engine_gave && from < whole.size(); from = to) {
    to = script_piece_end(whole, from, piece_bytes);
    // Built from a copy of the piece: measured under Wine, building it in
    // place put the engine's blocks elsewhere in the heap and left the
    // working set 3.5 MB higher after a 10 000-video run.
    Text script = build_decoding_script(Text::copy(whole.substr(from, to - from)));
    Cell script_arg = cell_text(script);
    object_call_number(&engine, lit("ExecuteStatement"), 1, &script_arg);
    // Without this piece's function, Run would call the previous piece's.
    engine_gave = object_call_status() == OBJ_OK;
    script = Text();
    if (!engine_gave) break;
    Cell function_name = cell_text("xx");
    const Text piece = object_call_text(&engine, lit("Run"), 1, &function_name);
    engine_gave = object_call_status() == OBJ_OK;
    if (engine_gave) decoded.put(piece.view());
  }

  object_clear(&engine);
  call_declared(DECL_CO_UNINITIALIZE);
  Text result = decoded.take();
  return engine_gave ? std::move(result) : Text();
}

}  // namespace cx
