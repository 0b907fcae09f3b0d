// The ASCII case folds and hexadecimal digits, for every byte (as char,
// which is signed here, and as unsigned) and for UTF-16 units. They are
// constant expressions: the updater library, which has no run-time library,
// uses them.
#include <gtest/gtest.h>

#include <string>

#include "services/ascii.h"

namespace cx {
namespace {

static_assert(ascii_lower('Q') == 'q' && ascii_upper(u'q') == u'Q' && hex_digit_value('f') == 15);
static_assert(hex_digits_value("x4e2D", 1, 5, 4) == 0x4E2D && hex_digit_char(10) == 'A');

TEST(AsciiFolds, OnlyTheTwentySixLettersOfEachCaseChange) {
  const std::string upper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ", lower = "abcdefghijklmnopqrstuvwxyz";
  for (int b = 0; b < 256; ++b) {
    const auto u = uint8_t(b);
    const auto c = char(b);
    const size_t up = upper.find(c), low = lower.find(c);
    const uint8_t want_lower = up != std::string::npos ? uint8_t(lower[up]) : u;
    const uint8_t want_upper = low != std::string::npos ? uint8_t(upper[low]) : u;
    EXPECT_EQ(ascii_lower(u), want_lower) << b;
    EXPECT_EQ(uint8_t(ascii_lower(c)), want_lower) << b;
    EXPECT_EQ(ascii_upper(u), want_upper) << b;
    EXPECT_EQ(uint8_t(ascii_upper(c)), want_upper) << b;
  }
  // A unit whose low byte is a letter is no letter; nor are the full-width ones.
  for (char16_t unit : {u'\u0141', u'\u0161', u'\uFF21', u'\uFF41'}) {
    EXPECT_EQ(ascii_lower(unit), unit);
    EXPECT_EQ(ascii_upper(unit), unit);
  }
}

TEST(HexDigitValues, SixteenDigitsInEitherCaseAndNothingElse) {
  const std::string digits = "0123456789abcdef", upper_digits = "0123456789ABCDEF";
  for (int b = 0; b < 256; ++b) {
    const size_t lower_at = digits.find(char(b)), upper_at = upper_digits.find(char(b));
    const int want = lower_at != std::string::npos ? int(lower_at) : upper_at != std::string::npos ? int(upper_at) : -1;
    EXPECT_EQ(hex_digit_value(char(b)), want) << b;
    EXPECT_EQ(hex_digit_value(uint8_t(b)), want) << b;
  }
  for (char16_t unit : {u'\u0130', u'\u0161', u'\uFF10', u'\uFF41'}) EXPECT_EQ(hex_digit_value(unit), -1);
  for (unsigned v = 0; v < 16; ++v) EXPECT_EQ(hex_digit_value(hex_digit_char(v)), int(v));
}

TEST(HexDigitValues, ARunOfThemIsWholeBeforeItsEnd) {
  const std::u16string w = u"%u4E2Dz%41";
  EXPECT_EQ(hex_digits_value(w.data(), 2, w.size(), 4), 0x4E2D);
  EXPECT_EQ(hex_digits_value(w.data(), 8, w.size(), 2), 0x41);
  EXPECT_EQ(hex_digits_value(w.data(), 3, w.size(), 4), -1);  // "E2Dz": a letter that is no digit
  EXPECT_EQ(hex_digits_value(w.data(), 9, w.size(), 2), -1);  // one digit before the end
  EXPECT_EQ(hex_digits_value(w.data(), 2, 5, 4), -1);         // the end comes first
  EXPECT_EQ(hex_digits_value(w.data(), 11, w.size(), 0), -1);  // starting past the end
  EXPECT_EQ(hex_digits_value(w.data(), 10, w.size(), 0), 0);
}

}  // namespace
}  // namespace cx
