// Escape decoding through the Script Control under Wine: what the script
// route gives, the engine's readings the fallback is measured against,
// answers written to break out of the script literal, and the code-page
// facts the literal's safety rests on.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/escape_decoding.h"
#include "app/escape_engine.h"
#include "app/escape_literal.h"
#include "app/literal_reading.h"
#include "services/automation.h"
#include "services/codepage.h"
#include "services/runtime.h"
#include "tests/app/engine_readings.h"
#include "tests/app/escape_cases.h"

namespace cx {
namespace {

using namespace escape_cases;

// The file a script that broke out of its literal would create.
const char kCanary[] = "cx_escape_canary.txt";
bool canary_exists() { return GetFileAttributesA(kCanary) != INVALID_FILE_ATTRIBUTES; }

// An answer that closes the literal with `quote` and creates the canary.
std::string breakout(const std::string& quote) {
  return "x" + quote + ";new ActiveXObject(" + quote + "Scripting.FileSystemObject" + quote + ").CreateTextFile(" +
         quote + kCanary + quote + ").Close();var q=" + quote + "y";
}

class EscapeScript : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
    DeleteFileA(kCanary);
  }
  void TearDown() override {
    object_clear(&engine);
    DeleteFileA(kCanary);
    CoUninitialize();
  }
  // A Script Control without the safe subset, so that only the literal
  // stands between an answer and the file system.
  void open_engine() {
    object_clear(&engine);
    ASSERT_TRUE(object_create(&engine, T("ScriptControl")));
    ASSERT_TRUE(object_set_property(&engine, T("AllowUI"), cell_bool(false)));
    ASSERT_TRUE(object_set_property(&engine, T("Language"), cell_text("JScript")));
  }
  // Loads and runs a decoding script; the status of each step comes back.
  Text run_script(const Text& script, int32_t* load_status, int32_t* run_status) {
    open_engine();
    Cell s = cell_text(script);
    object_call_number(&engine, T("ExecuteStatement"), 1, &s);
    *load_status = object_call_status();
    Cell name = cell_text("xx");
    Text r = object_call_text(&engine, T("Run"), 1, &name);
    *run_status = object_call_status();
    return r;
  }
  ObjectRecord engine;
};

// ---------------------------------------------------------------------------

class ScriptRoute : public EscapeScript, public ::testing::WithParamInterface<Answer> {};

// The same table the fallback's reading is held to (escape_text_test).
TEST_P(ScriptRoute, DecodesTheAnswer) {
  EXPECT_EQ(S(decode_escapes(T(GetParam().answer))), GetParam().decoded) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Table, ScriptRoute, ::testing::ValuesIn(answers()), answer_index);

// ---------------------------------------------------------------------------
// The engine's readings: each literal raw in a script of its own, the units
// of what unescape makes of it (zeros left out), and the route's text.

class EngineReading : public EscapeScript, public ::testing::WithParamInterface<engine_readings::Reading> {};

TEST_P(EngineReading, IsWhatTheEngineDoes) {
  const engine_readings::Reading& r = GetParam();
  int32_t load, run;
  const Text units = run_script(
      T("function xx(){var x='" + r.literal + "',y=unescape(x).replace(/\\x00/g,''),r=[];"
        "for(var i=0;i<y.length;i++){var h=y.charCodeAt(i).toString(16).toUpperCase();"
        "while(h.length<4)h='0'+h;r.push(h+' ');}return r.join('');}"),
      &load, &run);
  if (r.refused) {
    EXPECT_NE(load, OBJ_OK) << r.what;
  } else {
    EXPECT_EQ(load, OBJ_OK) << r.what;
    EXPECT_EQ(S(units), units_dump(r.units)) << r.what;
  }
  EXPECT_EQ(hex_dump(S(script_engine_decode(T(r.literal)))), hex_dump(r.decoded)) << r.what;
}

INSTANTIATE_TEST_SUITE_P(Measured, EngineReading, ::testing::ValuesIn(engine_readings::readings()),
                         [](const ::testing::TestParamInfo<engine_readings::Reading>& info) {
                           return "reading" + std::to_string(info.index);
                         });

// ---------------------------------------------------------------------------
// Answers that try to leave the literal.

struct Hostile {
  const char* what;
  std::string answer, decoded;
};

const std::vector<Hostile>& hostile_answers() {
  static const std::vector<Hostile> all = {
      {"plain apostrophe", breakout("'"), breakout("'")},
      {"script escape of the apostrophe", breakout("\\x27"), breakout("'")},
      {"unicode escape of the apostrophe", breakout("\\u0027"), breakout("'")},
      {"percent escape of the apostrophe", breakout("%27"), breakout("'")},
      {"escaped apostrophe", breakout("\\'"), breakout("'")},
      {"apostrophe after a stray lead byte", breakout("\x81'"), breakout("?'")},
      {"apostrophe after another stray lead byte", breakout("\xfe'"), breakout("?'")},
      // Single characters that a character-aware scan would take for lead bytes.
      {"apostrophe after 0xFF", breakout("\xff'"), breakout("\xff'")},
      {"apostrophe after the euro sign", breakout("\x80'"), breakout("\x80'")},
      {"line feed, then apostrophe", "\n" + breakout("'"), "\n" + breakout("'")},
      {"apostrophe after a backslash trail byte", breakout("\x81\\'"), breakout("\x81\\'")},
      {"trailing backslash after the apostrophe", breakout("'") + "\\", breakout("'") + "\\"},
      {"stray lead byte at the end", breakout("'") + "\x81", breakout("'") + "?"},
      // The quote as the answer's very first character.
      {"leading apostrophe", breakout("'").substr(1), breakout("'").substr(1)},
      {"leading stray lead byte and apostrophe", breakout("\x81'").substr(1), breakout("?'").substr(1)},
      {"leading unicode escape of the apostrophe", breakout("\u0027").substr(1), breakout("'").substr(1)},
  };
  return all;
}

TEST_F(EscapeScript, TheBreakoutAnswersWouldRunIfLeftInPlace) {
  // Put raw into the literal, the answer's apostrophe ends it and the rest runs:
  // the canary shows that the answers below are live.
  int32_t load, run;
  run_script(T("function xx(){var x='" + breakout("'") + "';return unescape(x);}"), &load, &run);
  EXPECT_EQ(load, OBJ_OK);
  EXPECT_EQ(run, OBJ_OK);
  EXPECT_TRUE(canary_exists());
}

TEST_F(EscapeScript, NoBreakoutAnswerRunsAndEachIsStillDecoded) {
  for (const Hostile& h : hostile_answers()) {
    EXPECT_EQ(S(decode_escapes(T(h.answer))), h.decoded) << h.what;
    EXPECT_FALSE(canary_exists()) << h.what;
    DeleteFileA(kCanary);
  }
}

TEST_F(EscapeScript, TheLiteralAloneKeepsBreakoutAnswersInside) {
  // Without the safe subset the literal is the only defence.
  for (const Hostile& h : hostile_answers()) {
    int32_t load, run;
    Text r = run_script(build_decoding_script(prepare_escaped_answer(T(h.answer))), &load, &run);
    EXPECT_EQ(load, OBJ_OK) << h.what;
    EXPECT_EQ(run, OBJ_OK) << h.what;
    EXPECT_FALSE(r.empty()) << h.what;
    EXPECT_FALSE(canary_exists()) << h.what;
    DeleteFileA(kCanary);
  }
}

TEST_F(EscapeScript, RandomAnswersAlwaysGiveOneRunnableLiteral) {
  static const std::vector<std::string> pieces = {
      "'", "\\", "\r", "\n", "\r\n", "\\u", "\\x", "%u", "%", "\x81", "\xfe", "\x80", "\xff", "中", "{$}",
      "\\u0027", "\\x27", "0", "4e2d", breakout("'"), breakout("\x81'"), "\x81\\", "\xe2\x80\xa8"};
  std::mt19937 rng(7);
  for (int round = 0; round < 150; ++round) {
    const std::string answer = random_answer(rng, pieces, 24);
    int32_t load, run;
    run_script(build_decoding_script(prepare_escaped_answer(T(answer))), &load, &run);
    ASSERT_EQ(load, OBJ_OK) << hex_dump(answer);
    ASSERT_EQ(run, OBJ_OK) << hex_dump(answer);
    ASSERT_FALSE(canary_exists()) << hex_dump(answer);
  }
}

TEST_F(EscapeScript, TheEngineAcceptsTheRestrictedSettings) {
  ASSERT_TRUE(object_create(&engine, T("ScriptControl")));
  EXPECT_TRUE(object_set_property(&engine, T("AllowUI"), cell_bool(false)));
  EXPECT_TRUE(object_set_property(&engine, T("UseSafeSubset"), cell_bool(true)));
  EXPECT_TRUE(object_set_property(&engine, T("Language"), cell_text("JScript")));
  EXPECT_NE(object_call_number(&engine, T("UseSafeSubset")), 0.0);
}

// ---------------------------------------------------------------------------
// The window's turns while an answer is decoded come from the fallback, which
// runs only when the engine gives nothing: an answer the engine decodes costs
// no turn, however long.

int g_turns = 0;

TEST_F(EscapeScript, TheFallbackAndItsTurnsComeOnlyWhenTheEngineGivesNothing) {
  runtime_hooks().process_events = [] { ++g_turns; };
  std::string tiles, expected;
  for (int i = 0; i < 400; ++i) {
    tiles += "\\u003cli\\u003e\\u4e2d" + std::to_string(i);
    expected += "<li>中" + std::to_string(i);
  }
  g_turns = 0;
  EXPECT_EQ(S(decode_escapes(T(tiles))), expected);
  EXPECT_EQ(g_turns, 0);

  // Zero characters are dropped from the engine's result, so an answer of
  // nothing else leaves it empty; the fallback then reads the whole answer,
  // a turn at least every kCharsPerTurn characters.
  std::string zeros;
  for (int i = 0; i < 10000; ++i) zeros += "\\u0000";
  g_turns = 0;
  EXPECT_EQ(S(decode_escapes(T(zeros))), "");
  EXPECT_GE(g_turns, int(zeros.size() / kCharsPerTurn));
  runtime_hooks().process_events = nullptr;
}

// ---------------------------------------------------------------------------
// A long answer reaches the engine in pieces; what comes back is what the
// whole answer means, whatever escape lies next to a piece's end.

TEST_F(EscapeScript, ALongAnswerComesBackWholeFromItsPieces) {
  struct Unit {
    const char* escaped;
    const char* decoded;
  };
  static const Unit units[] = {
      {"\\u003c", "<"}, {"\\u4e2d", "中"}, {"%41", "A"},       {"\\\"", "\""},    {"\\/", "/"},
      {"\\x41", "A"},   {"\\u0027", "'"},  {"\r\n", "\r\n"},   {"{$}", "\r\n"},   {"’", "'"},
      {"'", "'"},       {"标", "标"},       {"%u4E2D", "中"},   {"\\u0000", ""},   {"\\\\", "\\"},
      {"%25", "%"},     {"%%41", "%A"},     {"\\0", ""},        {"\\n", "\n"},     {"%u00e9", "\xa8\xa6"}};
  std::mt19937 rng(8);
  std::uniform_int_distribution<int> pick(0, int(std::size(units)) - 1), run(0, 10);
  struct CountTurns {
    CountTurns() { runtime_hooks().process_events = [] { ++g_turns; }; }
    ~CountTurns() { runtime_hooks().process_events = nullptr; }
  } counting;
  g_turns = 0;
  for (int round = 0; round < 12; ++round) {
    std::string answer = "x", expected = "x";  // not a CR first: that one is dropped
    while (answer.size() < 3 * kScriptPieceBytes + 777 * size_t(round)) {
      const Unit& u = units[size_t(pick(rng))];
      // Not hexadecimal digits: a plain run must not extend the escape before it.
      const std::string plain = std::string("ghijklmnop").substr(0, size_t(run(rng)));
      answer += u.escaped + plain;
      expected += u.decoded + plain;
    }
    const Text prepared = prepare_escaped_answer(T(answer));
    size_t pieces = 0;
    for (size_t from = 0; from < size_t(prepared.length()); from = script_piece_end(prepared.view(), from)) ++pieces;
    ASSERT_GE(pieces, 3u);
    const std::string decoded = S(decode_escapes(T(answer)));
    ASSERT_EQ(decoded.size(), expected.size()) << "round " << round;
    ASSERT_TRUE(decoded == expected) << "round " << round;
  }
  EXPECT_EQ(g_turns, 0) << "the engine decoded them, not the fallback";
}

// ---------------------------------------------------------------------------

TEST_F(EscapeScript, TheFallbackAgreesWithUnescape) {
  // Escapes and plain characters mixed at random; the script's unescape is the reference.
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> unit(0x20, 0xD7FF), kind(0, 3), ascii(0x20, 0x7E);
  open_engine();
  Cell s = cell_text("function un(t){return unescape(t);}");
  object_call_number(&engine, T("ExecuteStatement"), 1, &s);
  for (int round = 0; round < 200; ++round) {
    std::string t;
    for (int n = 0; n < 12; ++n) {
      char buf[8];
      switch (kind(rng)) {
        case 0: snprintf(buf, sizeof buf, "%%u%04X", unit(rng)); break;
        case 1: snprintf(buf, sizeof buf, "%%%02x", ascii(rng)); break;
        case 2: {  // a plain character: a prepared answer holds no apostrophe, a backslash is the literal's
          char c = char(ascii(rng));
          snprintf(buf, sizeof buf, "%c", c == '%' || c == '\'' || c == '\\' ? 'p' : c);
          break;
        }
        default: snprintf(buf, sizeof buf, "%%"); break;
      }
      t += buf;
    }
    Cell args[] = {cell_text("un"), cell_text(t.c_str())};
    Text expected = object_call_text(&engine, T("Run"), 2, args);
    ASSERT_EQ(object_call_status(), OBJ_OK);
    ASSERT_EQ(S(percent_decode_fallback(T(t))), S(expected)) << t;
  }
}

TEST(CodePageFacts, EveryDoubleByteCharacterIsOneUnitThatCannotEndALiteral) {
  auto dangerous = [](char16_t u) {
    return u == u'\'' || u == u'\\' || u == u'\n' || u == u'\r' || u == 0x2028 || u == 0x2029 || u < 0x20;
  };
  for (int lead = 0x81; lead <= 0xFE; ++lead)
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      std::string s{char(lead), char(trail), '\''};
      std::u16string w = ansi_to_utf16(s);
      ASSERT_EQ(w.size(), 2u) << hex_dump(s);
      ASSERT_FALSE(dangerous(w[0])) << hex_dump(s);
      ASSERT_EQ(w[1], u'\'');
    }
  for (int single : {0x80, 0xFF}) {
    std::u16string w = ansi_to_utf16(std::string{char(single), '\''});
    ASSERT_EQ(w.size(), 2u);
    EXPECT_FALSE(dangerous(w[0]));
  }
}

}  // namespace
}  // namespace cx
