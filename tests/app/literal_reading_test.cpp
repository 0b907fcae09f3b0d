// The fallback's reading of the decoding script's literal: each of the
// engine's readings measured on it (tests/app/engine_readings.h) is the
// fallback's too, in the native build and under Wine alike.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "app/escape_decoding.h"
#include "app/escape_literal.h"
#include "app/literal_reading.h"
#include "tests/app/engine_readings.h"
#include "tests/app/escape_answers.h"
#include "tests/app/escape_cases.h"

namespace cx {
namespace {

using namespace escape_cases;
using engine_readings::Reading;

class EngineReading : public ::testing::TestWithParam<Reading> {};

TEST_P(EngineReading, IsTheFallbacksReading) {
  const Reading& r = GetParam();
  // The reader on the literal raw, where the engine takes it raw.
  if (!r.refused) {
    EXPECT_EQ(units_dump(read_literal_units(r.literal)), units_dump(r.units)) << r.what;
  }
  // The fallback, on the literal as the route's builder writes it.
  EXPECT_EQ(hex_dump(S(percent_decode_fallback(T(r.literal)))), hex_dump(r.decoded)) << r.what;
}

INSTANTIATE_TEST_SUITE_P(Measured, EngineReading, ::testing::ValuesIn(engine_readings::readings()),
                         [](const ::testing::TestParamInfo<Reading>& info) { return "reading" + std::to_string(info.index); });

// Where a part of the literal may end: at a character boundary, as the
// converter reads the code page.
size_t next_boundary(const std::string& s, size_t at) {
  size_t i = 0;
  while (i < at && i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const bool pair = c >= 0x81 && c <= 0xFE && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x40 &&
                      static_cast<unsigned char>(s[i + 1]) != 0x7F && static_cast<unsigned char>(s[i + 1]) != 0xFF;
    i += pair ? 2 : 1;
  }
  return i;
}

TEST(LiteralReading, APartAtATimeReadsAsTheWhole) {
  // Escapes of either level and surrogate pairs lie across the parts.
  std::mt19937 rng(1717);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  for (int round = 0; round < 300; ++round) {
    const Text prepared = prepare_escaped_answer(T(escape_answers::answer(pick, 32 + size_t(pick(400)))));
    const std::string literal = S(script_literal(prepared));
    LiteralReader reader(0, true);
    for (size_t from = 0, to; from < literal.size(); from = to) {
      to = next_boundary(literal, from + 1 + size_t(pick(12)));
      reader.read(std::string_view(literal).substr(from, to - from));
    }
    ASSERT_EQ(units_dump(reader.finish_units()), units_dump(read_literal_units(literal))) << hex_dump(literal);
    // The fallback writes the literal a part at a time as well.
    const size_t part_bytes = size_t(1 + pick(40));
    ASSERT_EQ(hex_dump(S(percent_decode_fallback(prepared, part_bytes))), hex_dump(S(read_literal(literal))))
        << "parts of " << part_bytes << " of " << hex_dump(S(prepared));
  }
}

TEST(LiteralReading, AnEmptyLiteralIsTheEmptyText) {
  EXPECT_TRUE(read_literal_units("").empty());
  EXPECT_TRUE(read_literal("").empty());
  EXPECT_TRUE(read_literal("\\0%00%u0000").empty());
}

}  // namespace
}  // namespace cx
