// Code-page conversions between GBK, UTF-8 and UTF-16. The same expectations
// hold for the Windows converters (under the Chinese locale) and for the
// native equivalent.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "services/codepage.h"

using namespace cx;

namespace {

std::string U8toA(const std::string& utf8) {
  Text t = utf8_to_ansi(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size());
  return std::string(t.view());
}

}  // namespace

TEST(Utf8ToAnsi, ConvertsAndStopsAtTheFirstZero) {
  struct Case { std::string utf8, gbk; } cases[] = {
      {"plain ascii", "plain ascii"},
      {"\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},             // 中文
      {"\xE5\x8A\xA0\xE8\xBD\xBD\xE6\x9B\xB4\xE5\xA4\x9A", "加载更多"},
      {"\xE3\x80\x80x", "\xA1\xA1x"},                               // full-width space
      {"\xEF\xBC\x91", "\xA3\xB1"},                                 // full-width 1
      {"\xC3\xA9", "\xA8\xA6"},                                     // é, a pinyin letter
      {"\xE2\x82\xAC", "\x80"},                                     // the euro sign's single byte
      {std::string("ab\0\xE4\xB8\xAD", 6), "ab"},
      {std::string("\0x", 2), ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(U8toA(c.utf8), c.gbk) << testing::PrintToString(c.utf8);
}

TEST(Utf8ToAnsi, CharactersGbkLacksBecomeQuestionMarks) {
  EXPECT_EQ(U8toA("a\xE0\xB8\x81z"), "a?z");             // Thai letter
  EXPECT_EQ(U8toA("\xF0\x9F\x98\x80"), "??");            // outside the BMP: one per UTF-16 unit
  EXPECT_EQ(U8toA("\xE4\xB8\xAD\xE0\xB8\x81"), "\xD6\xD0?");
}

TEST(Utf8ToAnsi, MalformedInputIsReplaced) {
  struct Case { std::string utf8, gbk; } cases[] = {
      {"a\xFF" "b", "a?b"},
      {"\xE4\xB8x", "?x"},         // a cut-off sequence is one replacement
      {"\x80\x80", "??"},          // stray continuation bytes, one each
      {"x\xE4", "x?"},
      {"\xE4\xB8\xAD\xB8", "\xD6\xD0?"},
  };
  for (const auto& c : cases) EXPECT_EQ(U8toA(c.utf8), c.gbk) << testing::PrintToString(c.utf8);
}

TEST(AnsiUtf16, RoundTrip) {
  std::u16string w = ansi_to_utf16("中a文");
  EXPECT_EQ(w, u"中a文");
  Text back = utf16_to_ansi(w.data(), w.size());
  EXPECT_EQ(back.view(), "中a文");
  EXPECT_TRUE(ansi_to_utf16("").empty());
  EXPECT_TRUE(utf16_to_ansi(u"", 0).block() == nullptr);
  const char16_t with_zero[] = u"ab\0cd";
  EXPECT_EQ(utf16_to_ansi(with_zero, 5).view(), "ab");
  const char16_t thai[] = u"\u0E01";
  EXPECT_EQ(utf16_to_ansi(thai, 1).view(), "?");
  // Every GBK character of the first and last rows survives the round trip.
  for (unsigned lead : {0x81u, 0xB0u, 0xD6u, 0xFEu}) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      char pair[3] = {char(lead), char(trail), 0};
      std::u16string u = ansi_to_utf16(pair);
      if (u.size() != 1 || u[0] == u'?') continue;  // not assigned in the code page
      EXPECT_EQ(utf16_to_ansi(u.data(), 1).view(), std::string(pair)) << std::hex << lead << " " << trail;
    }
  }
}

TEST(WideToMultiByte936, SizeQueriesAndConversion) {
  const char16_t w[] = u"中a文";
  EXPECT_EQ(wide_to_multibyte_936(0x200, w, 3, nullptr, 0), 5);
  EXPECT_EQ(wide_to_multibyte_936(0x200, w, -1, nullptr, 0), 6) << "-1 counts the closing zero";
  EXPECT_EQ(wide_to_multibyte_936(0, w, 1, nullptr, 0), 2);
  char out[8];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(wide_to_multibyte_936(0x200, w, 3, out, 8), 5);
  EXPECT_EQ(std::string(out, 6), "中a文x") << "a counted length writes no zero";
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(wide_to_multibyte_936(0x200, w, -1, out, 8), 6);
  EXPECT_STREQ(out, "中a文");
  EXPECT_EQ(wide_to_multibyte_936(0x200, w, -1, out, 5), 0) << "a buffer that is too small fails";
  EXPECT_EQ(wide_to_multibyte_936(0x200, w, 0, out, 8), 0);
  const char16_t odd[] = u"\u0E01\U0001F600";
  EXPECT_EQ(wide_to_multibyte_936(0x200, odd, 3, out, 8), 3);
  EXPECT_EQ(std::string(out, 3), "???");
}

TEST(WideToMultiByte936, CompositeCheckUsesPrecomposedLetters) {
  // 'a' + combining acute is the pinyin letter á (A8 A2) when composites are checked.
  const char16_t decomposed[] = u"a\u0301";
  char out[8] = {};
  int n = wide_to_multibyte_936(0x200, decomposed, 2, out, 8);
  EXPECT_EQ(std::string(out, size_t(n)), "\xA8\xA2");
}
