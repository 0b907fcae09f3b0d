// The fallback's reading of the decoding script's literal: each of the
// engine's readings measured on it (tests/app/engine_readings.h) is the
// fallback's too, in the native build and under Wine alike.
#include <gtest/gtest.h>

#include <string>

#include "app/escape_decoding.h"
#include "app/literal_reading.h"
#include "tests/app/engine_readings.h"
#include "tests/app/escape_cases.h"

namespace cx {
namespace {

using namespace escape_cases;
using engine_readings::Reading;

class EngineReading : public ::testing::TestWithParam<Reading> {};

std::string units_dump(const std::u16string& w) {
  std::string s;
  char buf[8];
  for (char16_t u : w) {
    std::snprintf(buf, sizeof buf, "%04X ", unsigned(u));
    s += buf;
  }
  return s;
}

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

TEST(LiteralReading, AnEmptyLiteralIsTheEmptyText) {
  EXPECT_TRUE(read_literal_units("").empty());
  EXPECT_TRUE(read_literal("").empty());
  EXPECT_TRUE(read_literal("\\0%00%u0000").empty());
}

}  // namespace
}  // namespace cx
