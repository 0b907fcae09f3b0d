// Escape decoding, the platform-free parts: preparing an answer, the script
// literal that carries it, the pieces the engine is given, the fallback and
// the helpers. In the native build no script engine exists, so
// decode_escapes gives the fallback's text.
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/escape_decoding.h"
#include "app/escape_literal.h"
#include "app/escape_units.h"
#include "app/literal_reading.h"
#include "services/ascii.h"
#include "services/runtime.h"
#include "services/text.h"
#include "tests/app/escape_answers.h"
#include "tests/app/escape_cases.h"

namespace cx {
namespace {

const std::string kHead = "function xx(){var x='";
const std::string kTail = "';return unescape(x).replace(/\\x00/g,'');}";

using namespace escape_cases;

// ---------------------------------------------------------------------------
// An independent reading of the script, as the engine gets it after the GBK
// conversion: true when the answer's text is exactly one string literal
// between head and tail, with nothing the engine could read as its end.
::testing::AssertionResult one_closed_literal(const std::string& script) {
  if (script.size() < kHead.size() + kTail.size() || script.compare(0, kHead.size(), kHead) != 0 ||
      script.compare(script.size() - kTail.size(), kTail.size(), kTail) != 0)
    return ::testing::AssertionFailure() << "head or tail changed: " << hex_dump(script);
  const std::string body = script.substr(kHead.size(), script.size() - kHead.size() - kTail.size());
  auto fail = [&](size_t at, const char* why) {
    return ::testing::AssertionFailure() << why << " at " << at << " in " << hex_dump(body);
  };
  auto hex = [&](size_t at, size_t n) {
    if (at + n > body.size()) return false;
    for (size_t k = at; k < at + n; ++k)
      if (hex_digit_value(body[k]) < 0) return false;
    return true;
  };
  for (unsigned char c : body)
    if (c == 0x27 || c == 0x0A || c == 0x0D) return ::testing::AssertionFailure() << "raw quote or line break byte";
  for (size_t i = 0; i < body.size();) {
    unsigned char c = body[i];
    if (c >= 0x81 && c <= 0xFE) {  // must be a whole pair, or the converter pairs it with the tail
      if (i + 1 >= body.size()) return fail(i, "lead byte before the closing quote");
      unsigned char t = body[i + 1];
      if (t < 0x40 || t == 0x7F || t == 0xFF) return fail(i, "lead byte without trail byte");
      i += 2;
      continue;
    }
    if (c != '\\') {
      ++i;
      continue;
    }
    if (i + 1 >= body.size()) return fail(i, "backslash before the closing quote");
    unsigned char e = body[i + 1];
    if (e == 'x' && !hex(i + 2, 2)) return fail(i, "incomplete \\x escape");
    if (e == 'u' && !hex(i + 2, 4)) return fail(i, "incomplete \\u escape");
    if (e >= 0x81 && e <= 0xFE) {  // escapes a double-byte character: the pair is checked next
      ++i;
      continue;
    }
    i += 2;
  }
  return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------

class AnswerSteps : public ::testing::TestWithParam<Answer> {};

TEST_P(AnswerSteps, ThePreparationGivesTheTextTheScriptAndFallbackRead) {
  EXPECT_EQ(S(prepare_escaped_answer(T(GetParam().answer))), GetParam().prepared) << GetParam().what;
}

TEST_P(AnswerSteps, TheFallbackReadsThePreparedTextAsTheEngineDoes) {
  // What the engine's route gives (escape_script_test holds it to the same
  // table), read without the engine.
  EXPECT_EQ(S(restore_apostrophes_and_breaks(percent_decode_fallback(T(GetParam().prepared)))), GetParam().decoded)
      << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Table, AnswerSteps, ::testing::ValuesIn(answers()), answer_index);

// ---------------------------------------------------------------------------

// Any bytes and the literal's text the decoding script holds for them.
struct Literal {
  const char* what;
  std::string bytes, literal;
};

void PrintTo(const Literal& l, std::ostream* os) { *os << l.what; }

class DecodingScript : public ::testing::TestWithParam<Literal> {};

TEST_P(DecodingScript, KeepsTheAnswerInsideOneLiteral) {
  std::string script = S(build_decoding_script(T(GetParam().bytes)));
  EXPECT_TRUE(one_closed_literal(script)) << GetParam().what;
  EXPECT_EQ(script, kHead + GetParam().literal + kTail) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, DecodingScript,
    ::testing::Values(
        Literal{"plain text and escapes pass", "a%u4e2d\\\"b\\/c", "a%u4e2d\\\"b\\/c"},
        Literal{"apostrophe", "a'b", "a’b"},
        Literal{"escaped apostrophe", "a\\'b", "a\\’b"},
        Literal{"lone line feed and CR", "a\nb\rc", "a\\nb\\rc"},
        Literal{"trailing backslash", "ab\\", "ab\\\\"},
        Literal{"trailing escaped backslash", "ab\\\\", "ab\\\\"},
        Literal{"backslash before a line feed", "a\\\nb", "a\\\\\\nb"},
        Literal{"incomplete hex escapes", "\\x4g\\u12", "x4gu12"},
        Literal{"complete hex escapes", "\\x41\\u4e2D", "\\x41\\u4e2D"},
        Literal{"stray lead before the end", "ab\x81", "ab?"},
        Literal{"stray lead before an apostrophe", "\xfe'", "?’"},
        Literal{"stray lead before a backslash pair", "\x81\x1f\\", "?\x1f\\\\"},
        Literal{"backslash before a double-byte character", "\\中", "\\中"},
        Literal{"backslash trail byte inside a pair at the end", "\x81\\", "\x81\\"},
        Literal{"escapes of the zero character are dropped", "a\\x00b\\u0000c\\0d\\00e\\000f\\08", "abcdef8"},
        Literal{"escapes of other characters near zero stay", "\\x01\\u0001\\01\\007\\010", "\\x01\\u0001\\01\\007\\010"}),
    [](const ::testing::TestParamInfo<Literal>& info) { return "case" + std::to_string(info.index); });

std::string random_answer(std::mt19937& rng) {
  static const std::vector<std::string> pieces = {
      "'",   "\\",  "\r",   "\n",  "\r\n", "\\u", "\\x", "%u",  "%",      "\x81", "\xfe", "\x80",
      "\xff", "\xa1\xaf", "中", "{$}", "';", "\\'", "0",  "27",  "\\u0027", "a",    "\x5c\x27"};
  return escape_cases::random_answer(rng, pieces, 40);
}

TEST(DecodingScript, NoAnswerBytesCanCloseTheLiteral) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 20000; ++round) {
    std::string answer = random_answer(rng);
    // Both what the decoder builds and the builder on raw bytes must hold.
    ASSERT_TRUE(one_closed_literal(S(build_decoding_script(prepare_escaped_answer(T(answer))))))
        << hex_dump(answer);
    ASSERT_TRUE(one_closed_literal(S(build_decoding_script(T(answer))))) << hex_dump(answer);
  }
}

TEST(DecodingScript, EveryByteValueAfterEveryByteValue) {
  for (int a = 1; a < 256; ++a)
    for (int b = 1; b < 256; ++b) {
      std::string answer{char(a), char(b)};
      ASSERT_TRUE(one_closed_literal(S(build_decoding_script(prepare_escaped_answer(T(answer))))))
          << hex_dump(answer);
    }
}

// ---------------------------------------------------------------------------
// A long answer goes to the engine in pieces; the pieces must read, at both
// levels of escapes (the literal's and unescape's), as the whole answer does,
// and no piece may end between the halves of a surrogate pair, which the
// conversion of each piece's result would part.

bool high_half(char16_t u) { return u >= 0xD800 && u < 0xDC00; }
bool low_half(char16_t u) { return u >= 0xDC00 && u < 0xE000; }

// Fails unless the pieces of `prepared` read, one after the other, as the
// whole does, without a pair parted between two of them.
::testing::AssertionResult read_whole_in_pieces(const std::string& prepared, size_t piece_bytes) {
  std::u16string joined;
  size_t pieces = 0;
  for (size_t from = 0, to; from < prepared.size(); from = to, ++pieces) {
    to = script_piece_end(prepared, from, piece_bytes);
    if (to <= from) return ::testing::AssertionFailure() << "no progress at " << from;
    const std::u16string units = read_literal_units(S(script_literal(T(prepared.substr(from, to - from)))));
    if (!joined.empty() && !units.empty() && high_half(joined.back()) && low_half(units.front()))
      return ::testing::AssertionFailure() << "a surrogate pair parted at " << to << " in "
                                           << hex_dump(prepared.substr(to > 16 ? to - 16 : 0, 32));
    joined += units;
  }
  if (joined != read_literal_units(S(script_literal(T(prepared)))))
    return ::testing::AssertionFailure() << "the " << pieces << " pieces read otherwise than the whole";
  return ::testing::AssertionSuccess() << pieces << " pieces";
}

TEST(ScriptPieces, NoFormIsCutWhereAPieceEnds) {
  // Forms whose last characters are plain ones that a piece's end could take
  // for a run of its own: escapes of one level opening the other's, a
  // surrogate pair named by them, after the bytes a walk could misread.
  // (The preparation leaves no backslash-u, but the guard does not rely on it.)
  const char* const forms[] = {
      "\\u0025u0041", "\\x25u0041", "\\045u0041", "\\45u0041", "\\%u0041", "\\x2541", "\\x25uD83D%uDE00",
      "%uD83D\\x25uDE00", "\\x25uD83D%00\\x25uDE00", "\\u0025uD83D\\u0025uDE00", "\x80\\u0025u0041",
      "\xff\\x25uD83D\\x25uDE00", "\x81\\\\u0025u0041", "\\uD83D\\uDE00", "\\x41\\x42\\x43"};
  const size_t piece_bytes = 256;
  for (const char* form : forms) {
    // The form begins from a dozen bytes before a piece's earliest end to
    // just behind it; what comes before holds no plain run to end on.
    for (size_t back = 0; back <= 14; ++back) {
      std::string prepared;
      while (prepared.size() + 3 <= piece_bytes - back) prepared += "%41";
      prepared.resize(piece_bytes - back, '\x80');
      prepared += form + std::string(" and a plain tail");
      EXPECT_TRUE(read_whole_in_pieces(prepared, piece_bytes)) << hex_dump(form) << " from " << back << " before";
    }
  }
}

TEST(ScriptPieces, AGeneratedAnswerReadsTheSameInPieces) {
  std::mt19937 rng(5150);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  for (int round = 0; round < 400; ++round) {
    const size_t piece_bytes = 32 + size_t(pick(480));
    const std::string prepared = S(prepare_escaped_answer(T(escape_answers::answer(pick, piece_bytes))));
    ASSERT_TRUE(read_whole_in_pieces(prepared, piece_bytes)) << "round " << round;
  }
  // The program's own piece size: thousands of escapes, the euro sign, and
  // a two-level escape where the first piece can end (a guard of eight plain
  // characters would end it inside the escape).
  std::string answer;
  for (int i = 0; i < 10921; ++i) answer += "%u0041";
  answer += "\x80\\u0025u0041 tail";
  const std::string prepared = S(prepare_escaped_answer(T(answer)));
  EXPECT_TRUE(read_whole_in_pieces(prepared, kScriptPieceBytes));
  EXPECT_EQ(S(percent_decode_fallback(T(prepared))), std::string(10921, 'A') + "\x80%u0041 tail");
}

TEST(ScriptPieces, ShortAnswersAndAnswersWithoutAPlainRunStayWhole) {
  EXPECT_EQ(script_piece_end("", 0), 0u);
  const std::string short_one(kScriptPieceBytes, 'a');
  EXPECT_EQ(script_piece_end(short_one, 0), short_one.size());
  // Escapes only: nowhere to end a piece safely, so the engine gets it all.
  std::string escapes_only;
  while (escapes_only.size() < 2 * kScriptPieceBytes) escapes_only += "%u4E2D";
  EXPECT_EQ(script_piece_end(escapes_only, 0), escapes_only.size());
  // Plain text: a piece ends right at its size.
  const std::string plain(2 * kScriptPieceBytes + 5, 'a');
  EXPECT_EQ(script_piece_end(plain, 0), kScriptPieceBytes);
  EXPECT_EQ(script_piece_end(plain, kScriptPieceBytes), 2 * kScriptPieceBytes);
  EXPECT_EQ(script_piece_end(plain, 2 * kScriptPieceBytes), plain.size());
}

// ---------------------------------------------------------------------------

int g_pumped = 0;

TEST(PercentFallbackWindow, HandlesMessagesRegularlyWhileDecoding) {
  runtime_hooks().process_events = [] { ++g_pumped; };
  // Every non-empty answer gives the window a turn at once, and a long one
  // a turn every kCharsPerTurn characters of its literal.
  std::string escapes;
  for (int i = 0; i < 30000; ++i) escapes += "%41";
  std::string mixed;
  for (int i = 0; i < 10000; ++i) mixed += "ab\\u4E2Dcd";
  struct Count {
    std::string text;
    size_t at_least, at_most;
  } cases[] = {{"", 0, 0}, {"abc", 1, 1}, {"中文", 1, 1}, {"%%4", 1, 1},
               {escapes, escapes.size() / kCharsPerTurn, escapes.size() / kCharsPerTurn + 1},
               {mixed, mixed.size() / kCharsPerTurn, mixed.size() / kCharsPerTurn + 1}};
  for (const auto& c : cases) {
    g_pumped = 0;
    percent_decode_fallback(T(c.text));
    EXPECT_GE(size_t(g_pumped), c.at_least) << c.text.size();
    EXPECT_LE(size_t(g_pumped), c.at_most) << c.text.size();
  }
  runtime_hooks().process_events = nullptr;
}

// ---------------------------------------------------------------------------

TEST(HexDigits, ReadAsANumber) {
  struct {
    const char* digits;
    int64_t value;
  } cases[] = {{"", 0},
               {"0", 0},
               {"ff", 255},
               {"FF", 255},
               {"4e2D", 0x4E2D},
               {"0027", 0x27},
               {"7FFFFFFFFFFFFFFF", INT64_MAX},
               {"FFFFFFFFFFFFFFFF", -1},
               {"12G4", 0x12},
               {"中1", 0}};
  for (const auto& c : cases) EXPECT_EQ(hex_to_integer(T(c.digits)), c.value) << c.digits;
}

TEST(Utf16Bytes, BecomeGbkTextUpToTheFirstZeroUnit) {
  struct {
    std::string bytes, text;
  } cases[] = {
      {std::string("\x2d\x4e\0\0\0\0\0\0", 8), "中"},
      {std::string("A\0B\0\0\0C\0", 8), "AB"},
      {std::string("A\0", 2), "A"},           // no zero unit: exactly the units there are
      {std::string("A\0B", 3), "A"},          // an odd byte is no unit
      {std::string("\0\0A\0", 4), ""},
      {std::string(), ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(S(utf16_bytes_to_text(Bytes::copy(c.bytes.data(), c.bytes.size()))), c.text) << hex_dump(c.bytes);
}

// ---------------------------------------------------------------------------
#ifndef _WIN32

struct DeclaredCalls {
  int initialize = 0, uninitialize = 0;
};
DeclaredCalls g_calls;

TEST(DecodeWithoutScriptEngine, GivesTheFallbacksTextWithBreaksAndApostrophesRestored) {
  g_calls = DeclaredCalls{};
  runtime_hooks().declared_function = [](int32_t index, int, const DeclArg*, uintptr_t*) {
    if (index == DECL_CO_INITIALIZE) ++g_calls.initialize;
    if (index == DECL_CO_UNINITIALIZE) ++g_calls.uninitialize;
    return false;  // the table still answers
  };
  for (const Answer& a : answers()) EXPECT_EQ(S(decode_escapes(T(a.answer))), a.decoded) << a.what;
  runtime_hooks().declared_function = nullptr;
  EXPECT_EQ(g_calls.initialize, int(answers().size()));
  EXPECT_EQ(g_calls.uninitialize, int(answers().size()));
}

#endif

}  // namespace
}  // namespace cx
