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

// ---------------------------------------------------------------------------
// Code page 936 as the system's converter reads and writes it, measured on it
// under Wine: the native converter must give the same, for it stands in for
// the system's wherever the escape decoding's fallback is tested natively.
// The whole of both directions is summed up in digests, one per lead byte
// (that byte, each byte 01..FF after it, then "A", read) and one per 256
// units (each unit alone, written); a failure names the row or block.

namespace {

struct Digest {
  uint32_t h = 2166136261u;  // FNV-1a over 32-bit values, low byte first
  void add(uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      h ^= (v >> (8 * i)) & 0xFF;
      h *= 16777619u;
    }
  }
};

const uint32_t kReadRows[128] = {
    0xC2204540, 0x9C210B0C, 0x899A9500, 0xDC6962C9, 0x7F9C7FB6, 0xF00F39F8, 0x5595E48D, 0x956F826F,
    0x2F1DE0C7, 0x4AF38A6F, 0xE082E291, 0xF18A87E7, 0x95C6316C, 0x8A1C3835, 0x972F3EC4, 0x6EA1BBC7,
    0xDA5C7469, 0x3A21D8B4, 0xC2B98792, 0xA617A577, 0xD12C9056, 0x36E3DC59, 0x58B9FCF3, 0x80847376,
    0xA55A34A7, 0xCA1BCAF0, 0xD5C6A93A, 0x6A8C7965, 0xFCFEDBE0, 0xAE688C40, 0x29345D10, 0x7EADE49A,
    0x3D309FE3, 0xF88E3692, 0x9C2F8674, 0x9D442DF6, 0x633F0749, 0xDDD53B2E, 0x3F6287B4, 0x2534C659,
    0x86AD4A72, 0xCA088C39, 0x1419C6CF, 0xC29650CC, 0x10352E21, 0xAB1812F6, 0x450D2879, 0x41453CFD,
    0x37094DFC, 0x9D30AF5B, 0x4D21BC07, 0xE57FBD22, 0xAE7B0C19, 0x01D1037D, 0xD2CDF780, 0x1550639A,
    0xAE23F7CD, 0xABCC81E5, 0x8A3F2A48, 0xA210B914, 0x14F32DA0, 0xBE3A08B3, 0x63877C52, 0xCA8EF756,
    0x6203977D, 0x1EF2DF60, 0x2529155C, 0x916EE5BA, 0x5758F70F, 0xAA91D7F3, 0x2B1538FF, 0x44B5A8AF,
    0xC6DD5074, 0x390BAE05, 0x68B2A946, 0x711640D4, 0x2E34A4A4, 0xB79B5574, 0x528BE29D, 0x29B98832,
    0xD5E28E02, 0xBE1ED1AD, 0x5B92FEF6, 0xAF4AD0BA, 0xAE88BF77, 0xE1DA2AA0, 0x8ADB62DB, 0xDFE37CB3,
    0x5D377D15, 0x20444995, 0xD7907D22, 0x2C0DD325, 0xEF46855D, 0x426BB178, 0xC6CEA4EB, 0x94A6E303,
    0xA3925354, 0x145181C2, 0xF9870487, 0x6B315AF8, 0x051B98D0, 0xB9F08622, 0xDEA8BF53, 0x80C65B85,
    0xDD6C6A80, 0x17147E75, 0x4AC818E7, 0xCF442DE3, 0x94B656A4, 0x9EF1BBD1, 0xDEAF5632, 0xE8F51D56,
    0x741059AB, 0x856A3C3E, 0xC549AB2E, 0xD757BC64, 0xDC1D7F0C, 0x00EE8289, 0xCF59E4D3, 0x92E52E31,
    0x1D56D9E7, 0xADC84150, 0xF6C404CD, 0xB5BBA667, 0x04C650E8, 0xC52D14DC, 0x03A54021, 0x0CEDC53D,
};

const uint32_t kWriteBlocks[256] = {
    0x99B1EA43, 0x653A7B65, 0x3E38C32A, 0x99A48C85, 0x8D136E95, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x4550C243, 0x264AAF1E, 0x8C93312D, 0x3A15D288, 0x311D6476, 0x2949EF9F, 0xA74FACF2, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x149E346C, 0x115E106A, 0x4B89606B, 0x8CFBBE95, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x552F0F19, 0xABD674B9,
    0x2F746B0B, 0x97E42855, 0x9DA880F4, 0x23263BAF, 0xD0490C54, 0xF9E468DF, 0x62E4012D, 0x1920F431,
    0xFAD97E27, 0x8F2D1C30, 0xFC2F9379, 0xB8C106C8, 0xA67BAB05, 0x831ADC21, 0x6B98E291, 0x9F6A1772,
    0xB369044A, 0xE4A2806A, 0xE44D3BF7, 0x1B912AE1, 0xBA2849FE, 0x05E55478, 0x205B06C7, 0xF7E9FC20,
    0xCDFD98FE, 0x2746C34B, 0xE72D1E88, 0x36A119FC, 0xABCF8E57, 0xA361B85C, 0xC0D63CAF, 0xDC2555E9,
    0xC0BEBC42, 0x51D2FEFB, 0x61D4F2D8, 0x42CD470E, 0xE236C7BC, 0x13241512, 0xBD38059F, 0x101E43BA,
    0x21E54321, 0x45AC9863, 0xCE0B8155, 0x824F22B4, 0x6F6EB871, 0x2D38740C, 0x9F0C1469, 0xEBB6CCA1,
    0xF6EFEA41, 0xC34F3155, 0x567E2367, 0xACC345C9, 0xBBE4EDBC, 0x4B27F544, 0xB13AC26E, 0x7136CC47,
    0xEEF2EA89, 0x73BDA832, 0x65D02695, 0xBD899C63, 0x35928BC0, 0xCFBB056B, 0x71D6875A, 0xE754913F,
    0xB8F39AEC, 0x2A383334, 0x2329C1E7, 0xD68F74BF, 0xB4549315, 0x0E309853, 0x2DE2FFC9, 0x9A3CF1A2,
    0x51058F48, 0xF4822BE1, 0x8FE8581D, 0xF5ACEC50, 0x597E5D3A, 0x0C32C755, 0x801B5847, 0x12BB1F47,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0xB133C391, 0xE4A75375, 0xE3252411, 0x4C07A2B1, 0x0F841BFF, 0x3200EAFA, 0xF4F806E0, 0xAE831D0D,
    0x30660E03, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5,
    0x15457A85, 0xA4F63CC7, 0x1F9C1091, 0x3B5EBDC5, 0x3B5EBDC5, 0x3B5EBDC5, 0xBBCF396B, 0x554610F4,
};

}  // namespace

TEST(CodePage936, ReadsEveryCharacterAsTheSystemDoes) {
  for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
    Digest d;
    for (unsigned trail = 1; trail < 256; ++trail) {
      std::u16string w = ansi_to_utf16(std::string{char(lead), char(trail), 'A'});
      d.add(uint32_t(w.size()));
      for (char16_t u : w) d.add(u);
    }
    EXPECT_EQ(d.h, kReadRows[lead - 0x80]) << "the row of lead byte " << std::hex << lead;
  }
}

TEST(CodePage936, WritesEveryUnitAsTheSystemDoes) {
  for (unsigned block = 0; block < 256; ++block) {
    Digest d;
    for (unsigned u = block << 8; u < (block + 1) << 8; ++u) {
      if (u == 0) continue;
      const char16_t w = char16_t(u);
      Text t = utf16_to_ansi(&w, 1);
      d.add(uint32_t(t.length()));
      for (unsigned char c : t.view()) d.add(c);
    }
    EXPECT_EQ(d.h, kWriteBlocks[block]) << "the units " << std::hex << (block << 8) << " to " << ((block << 8) + 255);
  }
}

TEST(CodePage936, WhatTheDecodingMeets) {
  // Single bytes of their own, and the user-defined rows in private use.
  EXPECT_EQ(ansi_to_utf16("\x80\xFF"), u"\u20AC\uF8F5");
  EXPECT_EQ(ansi_to_utf16("\xAA\xA1\xA1\x40"), u"\uE000\uE4C6");
  const char16_t back[] = u"\u20AC\uF8F5\uE000\uE4C6";
  EXPECT_EQ(utf16_to_ansi(back, 4).view(), "\x80\xFF\xAA\xA1\xA1\x40");
  // A lead byte takes the byte after it, trail byte or not.
  EXPECT_EQ(ansi_to_utf16("\x81'A"), u"?A");
  EXPECT_EQ(ansi_to_utf16("A\x81"), u"A?");
  // Characters the code page lacks: a near match where there is one, else "?".
  const char16_t lacking[] = u"\u00C0\u00AA\u00B2\u0E01\u30FB";
  EXPECT_EQ(utf16_to_ansi(lacking, 5).view(), "\xA8\xA4" "a2??");
  // Surrogates: a "?" for each half, paired or not.
  const char16_t halves[] = u"\xD83D\xDE00|\xDE00|\xD83D";
  EXPECT_EQ(utf16_to_ansi(halves, 6).view(), "??|?|?");
}
