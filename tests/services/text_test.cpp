// Text primitives: GBK character stepping, searching and replacing,
// trimming, conversions and byte strings. The source is compiled to GBK, so
// every Chinese literal below is already the GBK bytes the program handles.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "services/ascii.h"
#include "services/text.h"
#include "services/text_cells.h"

// In the sanitizer builds undefined behaviour fails the run instead of only
// printing a report.
extern "C" const char* __ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

using namespace cx;

namespace {

Text T(const char* s) { return Text::copy(s, std::strlen(s)); }
Text T(const std::string& s) { return Text::copy(s); }
std::string S(const Text& t) { return std::string(t.view()); }
Bytes B(const std::string& s) { return Bytes::copy(s.data(), s.size()); }
std::string S(const Bytes& b) { return std::string(b.view()); }

// A naive reference of the character-aware search: walk character by
// character from the start position and compare at each character start.
int32_t reference_find(const std::string& t, const std::string& q, size_t s, bool fold) {
  auto f = [&](unsigned char c) { return fold ? ascii_lower(c) : c; };
  for (size_t p = s; p + q.size() <= t.size();) {
    bool eq = true;
    for (size_t i = 0; i < q.size() && eq; ++i) eq = f(t[p + i]) == f(q[i]);
    if (eq) return int32_t(p + 1);
    if (static_cast<unsigned char>(t[p]) >= 0x80) {
      if (p + 1 >= t.size()) break;
      p += 2;
    } else {
      ++p;
    }
  }
  return -1;
}

}  // namespace

TEST(GbkEncoding, SourceLiteralsAreGbkBytes) {
  EXPECT_EQ(std::string("中"), "\xD6\xD0");
  EXPECT_EQ(std::string("　"), "\xA1\xA1");
  EXPECT_EQ(std::string("真"), "\xD5\xE6");
}

TEST(TextLengthAndCutting, CountsBytesAndCutsByByte) {
  EXPECT_EQ(text_length(T("中a")), 3);
  EXPECT_EQ(text_length(Text()), 0);
  EXPECT_EQ(S(text_left(T("中a"), 1)), "\xD6");  // a byte operation may split a character
  EXPECT_EQ(S(text_left(T("abc"), 10)), "abc");
  EXPECT_TRUE(text_left(T("abc"), 0).block() == nullptr);
  EXPECT_TRUE(text_left(T("abc"), -3).block() == nullptr);

  struct Case { const char* text; int32_t start, count; const char* want; } cases[] = {
      {"abcdef", 2, 3, "bcd"},  {"abcdef", 0, 3, ""},    {"abcdef", 7, 1, ""},  {"abcdef", 6, 1, "f"},
      {"abcdef", 4, 100, "def"}, {"abcdef", 1, 0, ""},   {"abcdef", 1, -1, ""}, {"中文", 2, 2, "\xD0\xCE"},
      {"abcdef", -5, 2, ""},
  };
  for (const auto& c : cases) {
    Text r = text_middle(T(c.text), c.start, c.count);
    EXPECT_EQ(S(r), c.want) << c.text << " " << c.start << " " << c.count;
    if (*c.want == 0) {
      EXPECT_TRUE(r.block() == nullptr) << "an empty result is no block";
    }
  }
}

TEST(CharacterStepping, SearchNeverStartsOnATrailByte) {
  // '中' is D6 D0: a sought text that starts with D0 must not match inside it.
  std::string text = "a中b";
  EXPECT_EQ(find_text(T(text), T("b")), 4);
  EXPECT_EQ(find_text(T(text), T("\xD0")), -1);
  EXPECT_EQ(find_text(T(text), T("\xD0" "b")), -1);
  // 81 40 is one character whose trail byte is the ASCII '@'.
  std::string at = "\x81@x@";
  EXPECT_EQ(find_text(T(at), T("@")), 4);
  EXPECT_EQ(replace_text(T(at), T("@"), T("#")).view(), "\x81@x#");
  // An odd run of double-byte characters before an ASCII byte.
  std::string run = "中中中A中A";
  EXPECT_EQ(find_text(T(run), T("A")), 7);
  EXPECT_EQ(find_text(T(run), T("\xD0" "A")), -1);
  EXPECT_EQ(find_text(T(run), T("中A")), 5);
  EXPECT_EQ(find_text(T(run), T("中A"), 6), 8);
}

TEST(CharacterStepping, BrokenLeadByteAtTheEnd) {
  std::string broken = "ab \xD6";
  EXPECT_EQ(text_length(T(broken)), 4);
  EXPECT_EQ(find_text(T(broken), T("\xD6")), 4);  // compared before the walk ends
  EXPECT_EQ(S(trim_spaces(T(broken))), "ab ");   // dropped; the blank before it stays
  EXPECT_EQ(S(to_upper(T(broken))), "AB \xD6");  // copied unchanged
  EXPECT_EQ(S(replace_text(T(broken), T("a"), T("x"))), "xb ");
  EXPECT_EQ(to_integer(T("12\xD6")), 12);
  EXPECT_TRUE(trim_spaces(T("  \xD6")).block() == nullptr);
  // Stepping decides what the last byte is: here D6 is the trail of B0 D6.
  EXPECT_EQ(S(replace_text(T("a\xB0\xD6"), T("a"), T("x"))), "x\xB0\xD6");
}

TEST(FindText, PositionsStartsAndEmptyCases) {
  struct Case { const char* text; const char* sought; int start; int32_t want; } cases[] = {
      {"abcabc", "bc", 0, 2},   {"abcabc", "bc", 3, 5},  {"abcabc", "bc", 6, -1}, {"abcabc", "bc", -4, 2},
      {"abc", "", 0, 1},        {"", "", 0, -1},         {"abc", "", 9, -1},      {"abc", "", -9, 1},
      {"abc", "abcd", 0, -1},   {"abc", "c", 3, 3},      {"abc", "x", 0, -1},     {"", "a", 0, -1},
  };
  for (const auto& c : cases) {
    std::optional<int32_t> start;
    if (c.start != 0) start = c.start;
    EXPECT_EQ(find_text(T(c.text), T(c.sought), start), c.want) << c.text << "/" << c.sought << "/" << c.start;
  }
  EXPECT_EQ(find_text(T("abc"), T(""), 2), 1) << "an empty sought text gives 1 whatever the start";
}

TEST(FindText, CaseFoldingOnlyForAsciiAndOnlyWithExactlyOne) {
  EXPECT_EQ(find_text(T("xx LOAD MORE"), T("Load more"), std::nullopt, 1), 4);
  EXPECT_EQ(find_text(T("xx LOAD MORE"), T("Load more"), std::nullopt, 0), -1);
  EXPECT_EQ(find_text(T("xx LOAD MORE"), T("Load more"), std::nullopt, 2), -1);
  EXPECT_EQ(find_text(T("加载更多"), T("加载更多"), std::nullopt, 1), 1);
  // Bytes beyond ASCII letters are compared exactly even when folding.
  EXPECT_EQ(find_text(T("\xC1\xA1"), T("\xE1\xA1"), std::nullopt, 1), -1);
  EXPECT_EQ(find_text(T("a[b"), T("A{"), std::nullopt, 1), -1);
}

TEST(FindText, AgreesWithACharacterWalkOnMixedTexts) {
  // Pseudo-random texts over an alphabet that mixes ASCII, lead and trail
  // bytes; each search is compared with a plain character walk.
  const char alphabet[] = {'a', 'b', 'A', '@', '\xD6', '\xD0', '\x81', '\xA1'};
  uint32_t seed = 12345;
  auto rnd = [&] { seed = seed * 1103515245u + 12345u; return (seed >> 16) & 0x7FFF; };
  for (int round = 0; round < 400; ++round) {
    std::string t, q;
    for (uint32_t i = 0, n = rnd() % 40; i < n; ++i) t += alphabet[rnd() % 8];
    for (uint32_t i = 0, n = 1 + rnd() % 3; i < n; ++i) q += alphabet[rnd() % 8];
    size_t s = rnd() % 5;
    for (int fold = 0; fold < 2; ++fold)
      ASSERT_EQ(find_text(T(t), T(q), int32_t(s + 1), fold), reference_find(t, q, s, fold == 1))
          << "text " << testing::PrintToString(t) << " sought " << testing::PrintToString(q) << " from " << s + 1;
  }
}

TEST(FindText, LongTextsAgreeWithTheWalkAcrossSearchWindows) {
  // Pages of several search windows, with the sought text's first letter in
  // one case only here and there, and the known-length form beside it.
  uint32_t seed = 777;
  auto rnd = [&] { seed = seed * 1103515245u + 12345u; return (seed >> 16) & 0x7FFF; };
  const char filler[] = {'x', 'y', '<', '>', '\xD6', '\xD0', ' ', '\xA1'};
  for (int round = 0; round < 40; ++round) {
    std::string t;
    const size_t n = 3000 + rnd() % 14000;
    while (t.size() < n) {
      const uint32_t r = rnd() % 1000;
      if (r == 0) t += "cx-Lockup";
      else if (r == 1) t += "C";
      else if (r == 2) t += "c";
      else t += filler[rnd() % 8];
    }
    const size_t s = rnd() % n;
    for (int fold = 0; fold < 2; ++fold) {
      const int32_t want = reference_find(t, "CX-LOCKUP", s, fold == 1);
      ASSERT_EQ(find_text(T(t), T("CX-LOCKUP"), int32_t(s + 1), fold), want) << round;
      ASSERT_EQ(find_text_in(t, T("CX-LOCKUP"), int32_t(s + 1), fold), want) << round;
      ASSERT_EQ(find_text_in(t, T("cx-lockup"), int32_t(s + 1), fold), reference_find(t, "cx-lockup", s, fold == 1));
    }
  }
}

TEST(ReplaceText, MatchesDoNotOverlapAndReplacementsAreNotSearched) {
  struct Case { const char* text; const char* sought; const char* repl; int start, max; const char* want; } cases[] = {
      {"aaa", "aa", "b", 0, 0, "ba"},
      {"abab", "ab", "X", 0, 1, "Xab"},
      {"abab", "ab", "X", 0, -1, "XX"},
      {"abab", "ab", "X", 0, -7, "XX"},  // a negative limit never runs out
      {"abab", "ab", "X", 0, INT32_MIN, "XX"},  // the lowest one too, without overflowing the count
      {"abab", "ab", "X", 0, 2, "XX"},
      {"abab", "ab", "X", 2, 0, "abX"},
      {"abab", "ab", "X", -3, 0, "XX"},
      {"aaaa", "a", "aa", 0, 0, "aaaaaaaa"},
      {"abc", "b", "", 0, 0, "ac"},
      {"中文中", "中", "Z", 0, 0, "Z文Z"},
      {"x中文", "\xD0\xCE", "Z", 0, 0, "x中文"},  // D0 CE spans two characters
  };
  for (const auto& c : cases) {
    std::optional<int32_t> start, max;
    if (c.start != 0) start = c.start;
    if (c.max != 0) max = c.max;
    EXPECT_EQ(S(replace_text(T(c.text), T(c.sought), T(c.repl), start, max)), c.want)
        << c.text << "/" << c.sought << "/" << c.repl;
  }
}

TEST(ReplaceText, CopiesWhenNothingCanBeReplaced) {
  EXPECT_EQ(S(replace_text(T("abc"), T(""), T("x"))), "abc");
  EXPECT_TRUE(replace_text(Text(), T("a"), T("x")).block() == nullptr);
  EXPECT_EQ(S(replace_text(T("abc"), T("a"), T("x"), 4)), "abc");
  EXPECT_EQ(S(replace_text(T("abc"), T("a"), T("x"), std::nullopt, 0)), "abc");
  EXPECT_TRUE(replace_text(T("aa"), T("a"), Text()).block() == nullptr) << "an empty result is no block";
}

TEST(ReplaceText, CaseSwitch) {
  EXPECT_EQ(S(replace_text(T("Ab ab AB"), T("ab"), T("-"), std::nullopt, std::nullopt, true)), "Ab - AB");
  EXPECT_EQ(S(replace_text(T("Ab ab AB"), T("ab"), T("-"), std::nullopt, std::nullopt, false)), "- - -");
}

TEST(ReplaceText, LongTextsKeepEveryUnmatchedByte) {
  std::string page, want;
  for (int i = 0; i < 20000; ++i) {
    page += "<a href=\"/watch?v=" + std::to_string(i) + "\">视频标题</a>\n";
    want += "<a href='/watch?v=" + std::to_string(i) + "'>视频标题</a>\n";
  }
  EXPECT_EQ(S(replace_text(T(page), T("\""), T("'"))), want);
}

TEST(TrimSpaces, AsciiAndFullWidthBlanks) {
  struct Case { const char* text; const char* want; } cases[] = {
      {"　 ab c 　", "ab c"}, {"   ", ""},      {"　　", ""},          {"\tab\t", "\tab\t"},
      {" a\r\n", "a\r\n"},    {"中　", "中"}, {"a\xA1", "a"},        {"\xB0\xA1\xA1 x", "\xB0\xA1\xA1 x"},
      {"", ""},               {"x", "x"},     {"  a  b  ", "a  b"},
  };
  for (const auto& c : cases) {
    Text r = trim_spaces(T(c.text));
    EXPECT_EQ(S(r), c.want) << testing::PrintToString(std::string(c.text));
    if (*c.want == 0) {
      EXPECT_TRUE(r.block() == nullptr);
    }
  }
}

TEST(TrimSpaces, AStretchOfATextTrimsAsItsCopyWould) {
  const std::string page = "<a>　 第1集 </a><b></b><c> x　</c>";
  for (size_t from = 0; from <= page.size(); ++from)
    for (size_t n = 0; from + n <= page.size(); ++n)
      EXPECT_EQ(S(trim_spaces_in(std::string_view(page).substr(from, n))), S(trim_spaces(T(page.substr(from, n)))))
          << from << " " << n;
}

TEST(AllAscii, AnyByteOfEightyOrMoreAnywhere) {
  EXPECT_TRUE(all_ascii(""));
  EXPECT_TRUE(all_ascii("plain text, 7 bits \x7F"));
  std::string long_text(100, 'a');
  EXPECT_TRUE(all_ascii(long_text));
  // Every place, the word-at-a-time middle and the byte-at-a-time end alike.
  for (size_t at = 0; at < long_text.size(); ++at) {
    for (char high : {'\x80', '\xFF', '\xA1'}) {
      std::string t = long_text;
      t[at] = high;
      EXPECT_FALSE(all_ascii(t)) << at;
    }
  }
}

TEST(ToUpper, OnlyAsciiLettersThatStartACharacter) {
  EXPECT_EQ(S(to_upper(T("abc xyz {}`"))), "ABC XYZ {}`");
  // 81 61 is one character whose trail byte is 'a': it stays.
  EXPECT_EQ(S(to_upper(T("\x81" "a" "a"))), "\x81" "aA");
  EXPECT_EQ(S(to_upper(T("ａ"))), "ａ");  // no full-width folding
}

TEST(ToInteger, TextsWithFoldingSignsAndWrapAround) {
  struct Case { const char* text; int32_t want; } cases[] = {
      {" -12abc", -12},      {"１２", 12},           {"abc", 0},           {"+7", 7},
      {"\t\n\v\f\r 5", 5},   {"\xA1\xA1\xA3\xB4\xA3\xB2", 42},    {"4294967297", 1},
      {"2147483648", INT32_MIN}, {"-2147483648", INT32_MIN}, {"1 2", 1},  {"--1", 0},
      {"1２3", 123},         {"", 0},                {"中1", 0},            {"\xA1\xAB" "1", 0},
      {"\xA3\xAD\xA3\xB7", -7}, {"\xA1\xA1\xA3\xAB" "8", 8}, {"\xA1\xEE" "1", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(to_integer(T(c.text)), c.want) << c.text;
}

TEST(ToInteger, EveryBasicKind) {
  struct Case { Cell v; int32_t want; } cases[] = {
      {cell_bool(true), 1},         {cell_int(-5), -5},                 {cell_sub(0x401000), 0x401000},
      {cell_long(0x100000002LL), 2}, {cell_byte(200), 200},             {cell_short(-2), -2},
      {cell_float(-2.9f), -2},      {cell_double(3.99), 3},             {cell_double(4294967298.5), 2},
      {cell_double(1e300), 0},      {cell_date(45000.0), 0},            {cell_text("12"), 12},
      {cell_absent(), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(to_integer(c.v), c.want) << std::hex << c.v.tag;
  Bytes b = B("12");
  EXPECT_EQ(to_integer(cell_bytes(b)), 0);
}

TEST(ToText, EveryBasicKind) {
  Bytes ab = B(std::string("ab\0c", 4));
  Bytes zero_first = B(std::string("\0ab", 3));
  Bytes plain = B("xyz");
  struct Case { Cell v; const char* want; } cases[] = {
      {cell_text("文本"), "文本"},
      {cell_bytes(ab), "ab"},
      {cell_bytes(zero_first), ""},
      {cell_bytes(plain), "xyz"},
      {cell_byte(255), "255"},
      {cell_short(-32768), "-32768"},
      {cell_int(INT32_MIN), "-2147483648"},
      {cell_long(INT64_MIN), "-9223372036854775808"},
      {cell_long(1234567890123LL), "1234567890123"},
      {cell_float(0.1f), "0.1"},
      {cell_float(1234567.0f), "1.23457e+06"},
      {cell_double(0.1), "0.1"},
      {cell_double(1.0 / 3.0), "0.3333333333333"},
      {cell_double(-2.5), "-2.5"},
      {cell_bool(true), "真"},
      {cell_bool(false), "假"},
      {cell_sub(0x401000), ""},
      {cell_absent(), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(S(to_text(c.v)), c.want) << std::hex << c.v.tag;
  EXPECT_EQ(S(to_text(int64_t(-42))), "-42");
  EXPECT_EQ(S(to_text(ab)), "ab");
}

TEST(ToText, DateTimeFormatAndClamping) {
  struct Case { double days; const char* want; } cases[] = {
      {0.0, "1899年12月30日"},
      {1.0, "1899年12月31日"},
      {2.0, "1900年1月1日"},
      {60.0, "1900年2月28日"},
      {61.0, "1900年3月1日"},  // no 29 February 1900 in this day count
      {45000.0, "2023年3月15日"},
      {45000.5, "2023年3月15日12时"},
      {45000.0 + (13 * 60 + 5) / 1440.0, "2023年3月15日13时5分"},
      {45000.0 + (60 * 60 + 0 * 60 + 7) / 86400.0, "2023年3月15日1时0分7秒"},
      {45000.0 + 30 / 1440.0, "2023年3月15日0时30分"},
      {-1.25, "1899年12月29日6时"},
      {-657434.0, "100年1月1日"},
      {-1e9, "100年1月1日"},
      {2958465.0, "9999年12月31日"},
      {1e12, "9999年12月31日"},
      {36526.0, "2000年1月1日"},
      {36585.0, "2000年2月29日"},
  };
  for (const auto& c : cases) EXPECT_EQ(S(to_text(cell_date(c.days))), c.want) << c.days;
}

TEST(ToBytes, ScalarsInLittleEndianOrder) {
  struct Case { Cell v; std::string want; } cases[] = {
      {cell_long(1), std::string("\x01\0\0\0\0\0\0\0", 8)},
      {cell_byte(0xAB), "\xAB"},
      {cell_short(0x1234), "\x34\x12"},
      {cell_int(-2), "\xFE\xFF\xFF\xFF"},
      {cell_float(1.0f), std::string("\0\0\x80\x3F", 4)},
      {cell_double(1.0), std::string("\0\0\0\0\0\0\xF0\x3F", 8)},
      {cell_bool(true), std::string("\x01\0\0\0", 4)},
      // A code address: as many bytes as an address has.
      {cell_sub(0x401000), std::string("\x00\x10\x40\x00\0\0\0\0", sizeof(void*))},
      {cell_date(1.0), std::string("\0\0\0\0\0\0\xF0\x3F", 8)},
      {cell_text("中a"), "中a"},
      {cell_text(""), ""},
      {cell_absent(), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(S(to_bytes(c.v)), c.want) << std::hex << c.v.tag;
  EXPECT_TRUE(to_bytes(cell_text("")).block() == nullptr);
  EXPECT_EQ(S(to_bytes(int64_t(-1))), std::string(8, '\xFF'));
  EXPECT_EQ(S(to_bytes(T("ab"))), "ab");
}

TEST(ToBytes, NumericArraysGiveAllTheirElements) {
  struct { int32_t dims, count; int16_t e[3]; } shorts = {1, 3, {1, -1, 0x0203}};
  EXPECT_EQ(S(to_bytes(cell_ref(TAG_SHORT, &shorts))), std::string("\x01\0\xFF\xFF\x03\x02", 6));
  struct { int32_t dims, count; int32_t e[2]; } ints = {1, 2, {7, 0x01020304}};
  EXPECT_EQ(S(to_bytes(cell_ref(TAG_INT, &ints))), std::string("\x07\0\0\0\x04\x03\x02\x01", 8));
  struct { int32_t dims, d1, d2; uint8_t e[6]; } grid = {2, 2, 3, {1, 2, 3, 4, 5, 6}};
  EXPECT_EQ(S(to_bytes(cell_ref(TAG_BYTE, &grid))), "\x01\x02\x03\x04\x05\x06");
  struct { int32_t dims, count; double e[1]; } doubles = {1, 1, {2.0}};
  EXPECT_EQ(S(to_bytes(cell_ref(TAG_DOUBLE, &doubles))), std::string("\0\0\0\0\0\0\0\x40", 8));
  struct { int32_t dims, count; } none = {1, 0};
  EXPECT_TRUE(to_bytes(cell_ref(TAG_INT, &none)).block() == nullptr);
  const char* texts[2] = {"a", "b"};
  struct { int32_t dims, count; const char** e; } text_array = {1, 2, texts};
  EXPECT_TRUE(to_bytes(cell_ref(TAG_TEXT, &text_array)).block() == nullptr) << "only numeric arrays have bytes";
}

TEST(ByteStrings, LengthLeftBlank) {
  EXPECT_EQ(bytes_length(B(std::string("a\0b", 3))), 3);
  EXPECT_EQ(bytes_length(Bytes()), 0);
  EXPECT_EQ(S(bytes_left(B("abcdef"), 2)), "ab");
  EXPECT_EQ(S(bytes_left(B("ab"), 9)), "ab");
  EXPECT_TRUE(bytes_left(B("ab"), -1).block() == nullptr);
  EXPECT_TRUE(bytes_left(B("ab"), 0).block() == nullptr);
  EXPECT_EQ(S(blank_bytes(3)), std::string(3, '\0'));
  EXPECT_TRUE(blank_bytes(0).block() == nullptr);
  EXPECT_TRUE(blank_bytes(-4).block() == nullptr);
  Bytes b = B("xy");
  EXPECT_EQ(b.block()->dims, 1);
  EXPECT_EQ(b.block()->length, 2);
}

TEST(ReplaceBytes, ExactByteStepping) {
  struct Case { std::string text, sought, repl; int start, max; bool has_max; std::string want; } cases[] = {
      {"A\r\n\r\n", "\r", "", 0, 1, true, "A\n\r\n"},
      {"A\r\n\r\n", "\r", "", 0, 0, false, "A\n\n"},
      {"abab", "ab", "X", 0, -1, true, "abab"},  // a negative limit replaces nothing
      {"abab", "ab", "X", 3, 0, false, "abX"},
      {"aaa", "aa", "b", 0, 0, false, "ba"},
      {"\xD6\xD0\xD0", "\xD0\xD0", "-", 0, 0, false, "\xD6-"},  // no character stepping here
      {"abc", "", "X", 0, 0, false, "abc"},
      {std::string("a\0b\0", 4), std::string("\0", 1), "_", 0, 0, false, "a_b_"},
  };
  for (const auto& c : cases) {
    std::optional<int32_t> start, max;
    if (c.start != 0) start = c.start;
    if (c.has_max) max = c.max;
    EXPECT_EQ(S(replace_bytes(B(c.text), B(c.sought), B(c.repl), start, max)), c.want)
        << testing::PrintToString(c.text);
  }
  EXPECT_TRUE(replace_bytes(Bytes(), B("a"), B("b")).block() == nullptr);
}

TEST(BytesReadValue, EveryKind) {
  std::string raw("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
  Bytes b = B(raw);
  struct Case { int32_t kind; uint32_t tag; uint64_t bits; } cases[] = {
      {1, TAG_BYTE, 0x01},          {2, TAG_SHORT, 0x0201},    {3, TAG_INT, 0x04030201},
      {4, TAG_LONG, 0x0807060504030201ull}, {5, TAG_FLOAT, 0x04030201}, {6, TAG_DOUBLE, 0x0807060504030201ull},
      {7, TAG_BOOL, 1},             {9, TAG_SUB, sizeof(void*) == 8 ? 0x0807060504030201ull : 0x04030201},
  };
  for (const auto& c : cases) {
    Cell r = bytes_read_value(b, c.kind);
    EXPECT_EQ(r.tag, c.tag) << c.kind;
    EXPECT_EQ(uint64_t(r.v.i64), c.bits) << c.kind;
  }
  // Too few bytes: what is there, in a zeroed value.
  Cell partial = bytes_read_value(B("\x11\x22"), 3);
  EXPECT_EQ(partial.v.w.lo, 0x2211u);
  Cell at_two = cell_int(2);
  Cell nothing = bytes_read_value(B("\x11"), 3, &at_two);
  EXPECT_EQ(nothing.v.w.lo, 0u);
  // A date outside the calendar is clamped.
  Cell date = bytes_read_value(to_bytes(cell_double(1e10)), 8);
  EXPECT_EQ(date.tag, uint32_t(TAG_DATE));
  EXPECT_EQ(date.v.f64, 2958465.0);
  // Texts stop at the first zero byte or at the end.
  EXPECT_EQ(S(bytes_read_text(B("AB"))), "AB");
  EXPECT_EQ(S(bytes_read_text(B(std::string("中\0x", 4)))), "中");
  EXPECT_TRUE(bytes_read_text(Bytes()).block() == nullptr);
}

// A code address of this program (above 4 GB in a 64-bit one) survives the
// way to bytes and back whole.
TEST(BytesReadValue, SubroutineKeepsTheWholeCodeAddress) {
  const uintptr_t code = reinterpret_cast<uintptr_t>(&cell_sub);
  const Bytes b = to_bytes(cell_sub(code));
  ASSERT_EQ(b.size(), int32_t(sizeof code));
  uintptr_t stored = 0;
  std::memcpy(&stored, b.data(), sizeof stored);
  EXPECT_EQ(stored, code);
  const Cell back = bytes_read_value(b, 9);
  EXPECT_EQ(back.tag, uint32_t(TAG_SUB));
  EXPECT_EQ(uint64_t(back.v.i64), uint64_t(code));
}

TEST(BytesReadValue, PositionVariableWalksToMinusOne) {
  std::string raw("\x05\0\0\0" "ab\0" "\x09\0", 9);
  Bytes b = B(raw);
  int32_t pos = 1;
  Cell var = cell_ref(TAG_INT, &pos);
  Cell first = bytes_read_value(b, 3, &var);
  EXPECT_EQ(first.v.w.lo, 5u);
  EXPECT_EQ(pos, 5);
  Cell text = bytes_read_value(b, 10, &var);
  EXPECT_EQ(std::string(cell_as_text(text)), "ab");
  cell_release(&text);
  EXPECT_EQ(pos, 8);
  Cell last = bytes_read_value(b, 2, &var);
  EXPECT_EQ(last.v.w.lo, 9u);
  EXPECT_EQ(pos, -1) << "the variable marks the end";
  Cell again = bytes_read_value(b, 1, &var);
  EXPECT_EQ(again.v.w.lo, 0u);
  EXPECT_EQ(pos, -1) << "reading at the end keeps the end mark";
  // A read that runs past the end also ends the walk.
  pos = 8;
  bytes_read_value(b, 3, &var);
  EXPECT_EQ(pos, -1);
  // A text without a closing zero up to the end.
  pos = 5;
  Cell tail = bytes_read_value(B("xxxxyz"), 10, &var);
  EXPECT_EQ(std::string(cell_as_text(tail)), "yz");
  cell_release(&tail);
  EXPECT_EQ(pos, -1);
}

// ---------------------------------------------------------------------------
// Cell forms: absent arguments take their defaults.

namespace {

struct CellCall {
  Cell result{};
  ~CellCall() { cell_release(&result); }
  std::string text() const { return std::string(cell_as_text(result)); }
  std::string bytes() const {
    const BytesBlock* b = cell_as_bytes(result);
    return std::string(reinterpret_cast<const char*>(b->data), size_t(b->length));
  }
};

}  // namespace

TEST(CellForms, AbsentArgumentsTakeTheirDefaults) {
  {
    CellCall c;
    Cell a[] = {cell_text("abcabc"), cell_text("c"), cell_absent(), cell_bool(false)};
    svc_find_text(4, a, &c.result);
    EXPECT_EQ(cell_as_int(c.result), 3);
    a[2] = cell_int(4);
    svc_find_text(4, a, &c.result);
    EXPECT_EQ(cell_as_int(c.result), 6);
  }
  {
    CellCall c;
    Cell a[] = {cell_text("a-b-c"), cell_text("-"), cell_absent(), cell_absent(), cell_absent(), cell_bool(true)};
    svc_replace_text(6, a, &c.result);
    EXPECT_EQ(c.text(), "abc") << "replacement defaults to empty, no limit";
  }
  {
    CellCall c;
    Cell a[] = {cell_text("a-b-c"), cell_text("-"), cell_text("+"), cell_int(3), cell_int(1), cell_bool(true)};
    svc_replace_text(6, a, &c.result);
    EXPECT_EQ(c.text(), "a-b+c");
  }
  {
    CellCall c;
    Cell a[] = {cell_text("A-b"), cell_text("a"), cell_text("x"), cell_absent(), cell_absent(), cell_bool(false)};
    svc_replace_text(6, a, &c.result);
    EXPECT_EQ(c.text(), "x-b");
  }
  {
    Bytes src = B("A\r\n\r\n"), cr = B("\r");
    CellCall c;
    Cell a[] = {cell_bytes(src), cell_bytes(cr), cell_bytes(Bytes()), cell_absent(), cell_int(1)};
    svc_replace_bytes(5, a, &c.result);
    EXPECT_EQ(c.bytes(), "A\n\r\n");
  }
  {
    Bytes src = B("AB");
    CellCall c;
    Cell a[] = {cell_bytes(src), cell_int(10), cell_absent()};
    svc_bytes_read_value(3, a, &c.result);
    EXPECT_EQ(c.result.tag, uint32_t(TAG_TEXT));
    EXPECT_EQ(c.text(), "AB");
  }
}

TEST(CellForms, ResultsAreOwnedBlocksOrNone) {
  CellCall len, left, mid, trim, upper, ti, tt, tb, bl, bleft, blank;
  Cell t[] = {cell_text(" 中a "), cell_int(2), cell_int(2)};
  svc_text_length(1, t, &len.result);
  EXPECT_EQ(cell_as_int(len.result), 5);
  svc_text_left(2, t, &left.result);
  EXPECT_EQ(left.text(), " \xD6");
  svc_text_middle(3, t, &mid.result);
  EXPECT_EQ(mid.text(), "中");
  svc_trim_spaces(1, t, &trim.result);
  EXPECT_EQ(trim.text(), "中a");
  svc_to_upper(1, t, &upper.result);
  EXPECT_EQ(upper.text(), " 中A ");
  Cell n[] = {cell_text("３4")};
  svc_to_integer(1, n, &ti.result);
  EXPECT_EQ(cell_as_int(ti.result), 34);
  Cell v[] = {cell_bool(false)};
  svc_to_text(1, v, &tt.result);
  EXPECT_EQ(tt.text(), "假");
  Cell l[] = {cell_long(258)};
  svc_to_bytes(1, l, &tb.result);
  EXPECT_EQ(tb.bytes(), std::string("\x02\x01\0\0\0\0\0\0", 8));
  Bytes six = B("abcdef");
  Cell b[] = {cell_bytes(six), cell_int(4)};
  svc_bytes_length(1, b, &bl.result);
  EXPECT_EQ(cell_as_int(bl.result), 6);
  svc_bytes_left(2, b, &bleft.result);
  EXPECT_EQ(bleft.bytes(), "abcd");
  Cell z[] = {cell_int(0)};
  svc_blank_bytes(1, z, &blank.result);
  EXPECT_EQ(blank.result.tag, uint32_t(TAG_BYTES));
  EXPECT_EQ(blank.result.v.ptr, nullptr) << "an empty byte string is no block";
  EXPECT_EQ(cell_as_bytes(blank.result)->length, 0);
  Cell m[] = {cell_text("abc"), cell_int(9), cell_int(1)};
  CellCall none;
  svc_text_middle(3, m, &none.result);
  EXPECT_EQ(none.result.v.ptr, nullptr);
}
