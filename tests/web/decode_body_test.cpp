// Response body decoding: gzip members, deflate, UTF-8 to GBK, plain copies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/web/gzip_builder.h"
#include "web/decode_body.h"
#include "web/gzip_reader.h"

namespace cx {
namespace {

using testing::gzip_member;
using testing::MemberOptions;
using testing::noisy_text;

std::string decode(const std::string& body, int coding, const char* content_type = "text/html") {
  Text ct = Text::copy(content_type);
  Text t = decode_body(reinterpret_cast<const uint8_t*>(body.data()), uint32_t(body.size()), coding, ct);
  return std::string(t.view());
}

std::string u8(const char8_t* s) { return std::string(reinterpret_cast<const char*>(s)); }

// Length of the longest common prefix (failures print numbers, not pages).
size_t common_prefix(const std::string& a, const std::string& b) {
  size_t n = 0;
  while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
  return n;
}

struct Gunzipped {
  std::string bytes;
  uint32_t capacity;
  int status;
};
Gunzipped gunzip(const std::string& body, size_t limit = kMaxBodyBytes) {
  GzipMemoryReader r(reinterpret_cast<const uint8_t*>(body.data()), uint32_t(body.size()), limit);
  r.run();
  return {std::string(reinterpret_cast<const char*>(r.output().data()), r.output().length()), r.output().capacity(),
          r.status()};
}

// --- Charset conversion chosen by the Content-Type header -------------------

struct CharsetCase {
  const char* content_type;
  bool converts;
};

class CharsetChoice : public ::testing::TestWithParam<CharsetCase> {};

TEST_P(CharsetChoice, ConvertsOnlyWhenTheHeaderNamesUtf8) {
  const std::string utf8 = u8(u8"频道");
  const std::string gbk = "频道";  // compiled to GBK bytes
  ASSERT_NE(utf8, gbk);
  EXPECT_EQ(decode(utf8, CODING_NONE, GetParam().content_type), GetParam().converts ? gbk : utf8);
}

INSTANTIATE_TEST_SUITE_P(ContentTypes, CharsetChoice,
                         ::testing::Values(CharsetCase{"text/html; charset=utf-8", true},
                                           CharsetCase{"text/html; charset=UTF-8", true},
                                           CharsetCase{"TEXT/HTML; CHARSET=Utf-8", true},
                                           CharsetCase{"application/json;charset=\"utf-8\"", true},
                                           CharsetCase{"text/html; charset=utf8", false},
                                           CharsetCase{"text/html", false},
                                           CharsetCase{"", false},
                                           CharsetCase{"text/html; charset=gbk", false}));

TEST(PlainBody, OneLetterStaysOneLetterWithOrWithoutUtf8) {
  EXPECT_EQ(decode("A", CODING_NONE, "text/html"), "A");
  EXPECT_EQ(decode("A", CODING_NONE, "text/html; charset=UTF-8"), "A");
}

TEST(PlainBody, ChineseUtf8TitleBecomesItsGbkBytes) {
  const std::string page = u8(u8"<title>中文频道视频列表</title>");
  EXPECT_EQ(decode(page, CODING_NONE, "text/html; charset=utf-8"), "<title>中文频道视频列表</title>");
}

TEST(PlainBody, CharactersOutsideGbkBecomeQuestionMarks) {
  // Thai letters have no GBK code.
  EXPECT_EQ(decode(u8(u8"a\u0E01\u0E02b中"), CODING_NONE, "text/html; charset=utf-8"), "a??b中");
}

TEST(PlainBody, ZeroBytesAreDroppedNotTheRestOfThePage) {
  EXPECT_EQ(decode(std::string("abc\0def", 7), CODING_NONE), "abcdef");
  EXPECT_EQ(decode(std::string("\0def\0", 5), CODING_NONE), "def");
  EXPECT_EQ(decode(std::string("\0\0", 2), CODING_NONE), "");
  EXPECT_EQ(decode(gzip_member(std::string("cx-lockup-title\0 tile \0cx-lockup-meta", 38)), CODING_GZIP),
            "cx-lockup-title tile cx-lockup-meta");
}

TEST(PlainBody, ZeroBytesAreDroppedFromTheConvertedText) {
  EXPECT_EQ(decode(std::string("ab\0cd", 5), CODING_NONE, "text/html; charset=utf-8"), "abcd");
  EXPECT_EQ(decode(u8(u8"视") + std::string(1, '\0') + u8(u8"频"), CODING_NONE, "text/html; charset=utf-8"), "视频");
}

TEST(PlainBody, AsciiNamedUtf8NeedsNoConversionAndStillDropsItsZeroBytes) {
  // A continuation answer: every other character escaped, so ASCII only.
  std::string answer = "{\"content_html\":\"\\u003cdiv\\u003e \\u4e2d\"}" + noisy_text(9000);
  for (const char* type : {"application/json; charset=UTF-8", "text/html"}) {
    EXPECT_TRUE(decode(answer, CODING_NONE, type) == answer) << type;
    EXPECT_TRUE(decode(gzip_member(answer), CODING_GZIP, type) == answer) << type;
    EXPECT_EQ(decode(gzip_member(std::string("ab\0cd", 5)), CODING_GZIP, type), "abcd") << type;
  }
  // One byte that is not ASCII, at the very end, still has the page converted.
  EXPECT_EQ(decode(gzip_member(answer + u8(u8"中")), CODING_GZIP, "text/html; charset=utf-8"), answer + "中");
}

TEST(PlainBody, NothingGivesTheEmptyText) {
  Text t = decode_body(nullptr, 0, CODING_NONE, Text());
  EXPECT_TRUE(t.empty());
  EXPECT_EQ(t.block(), nullptr);
}

// --- Gzip members ------------------------------------------------------------

TEST(GzipBody, DecodesOneMember) {
  std::string page = "<html>" + noisy_text(20000) + "</html>";
  EXPECT_TRUE(decode(gzip_member(page), CODING_GZIP) == page);
}

TEST(GzipBody, DecodesAndConvertsUtf8) {
  EXPECT_EQ(decode(gzip_member(u8(u8"视频标题")), CODING_GZIP, "text/html; charset=utf-8"), "视频标题");
}

TEST(GzipBody, TwoMembersDecodeInOrder) {
  EXPECT_EQ(decode(gzip_member("first member, ") + gzip_member("second member"), CODING_GZIP),
            "first member, second member");
}

TEST(GzipBody, ManyLargeMembersAcrossInputPieces) {
  std::string body, expected;
  for (int i = 0; i < 5; ++i) {
    std::string part = noisy_text(7000 + 1111 * i, 77 + i);
    body += gzip_member(part, {.level = i % 2 ? 0 : 6});
    expected += part;
  }
  EXPECT_TRUE(decode(body, CODING_GZIP) == expected);
}

TEST(GzipBody, PlainBodyDeclaredGzipPassesUnchanged) {
  EXPECT_EQ(decode("<html>plain</html>", CODING_GZIP), "<html>plain</html>");
  EXPECT_EQ(decode("X", CODING_GZIP), "X");
  // A gzip-looking first byte with a different second one is plain as well.
  EXPECT_EQ(decode("\x1F" "Abc", CODING_GZIP), "\x1F" "Abc");
}

TEST(GzipBody, BytesAfterTheLastMemberAreAppended) {
  EXPECT_EQ(decode(gzip_member("page") + "<!-- tail -->", CODING_GZIP), "page<!-- tail -->");
}

TEST(GzipBody, TrailingBytesRightAfterAPieceBoundary) {
  // Member sizes where the member ends one byte before a 4 096-byte piece
  // ends, so the next bytes' signature test straddles two pieces.
  for (int target : {4095, 4094, 4096, 8191}) {
    std::string content;
    std::string member;
    for (size_t n = 3000;; ++n) {
      content = noisy_text(n, 9);
      member = gzip_member(content, {.level = 0});
      if (int(member.size() % 4096) == target % 4096 && member.size() >= size_t(target)) break;
      ASSERT_LT(n, 20000u);
    }
    SCOPED_TRACE(target);
    EXPECT_TRUE(gunzip(member + "\x1F" "Zq").bytes == content + "\x1F" "Zq");
    EXPECT_TRUE(gunzip(member + gzip_member("next")).bytes == content + "next");
    EXPECT_TRUE(gunzip(member + "\x1F").bytes == content);  // a lone trailing byte is no member
  }
}

struct HeaderFlagsCase {
  uint8_t flags;
  const char* what;
};
class GzipHeaderFields : public ::testing::TestWithParam<HeaderFlagsCase> {};

TEST_P(GzipHeaderFields, OptionalFieldsAreSkipped) {
  MemberOptions o;
  o.flags = GetParam().flags;
  o.extra = std::string(300, 'e');
  EXPECT_EQ(decode(gzip_member("payload " + std::string(GetParam().what), o), CODING_GZIP),
            "payload " + std::string(GetParam().what));
}

INSTANTIATE_TEST_SUITE_P(Flags, GzipHeaderFields,
                         ::testing::Values(HeaderFlagsCase{0x00, "none"}, HeaderFlagsCase{0x01, "text"},
                                           HeaderFlagsCase{0x02, "header crc"}, HeaderFlagsCase{0x04, "extra"},
                                           HeaderFlagsCase{0x08, "name"}, HeaderFlagsCase{0x10, "comment"},
                                           HeaderFlagsCase{0x1E, "all"}));

struct BadHeaderCase {
  uint8_t method;
  uint8_t flags;
};
class GzipBadHeader : public ::testing::TestWithParam<BadHeaderCase> {};

TEST_P(GzipBadHeader, DecodesNothing) {
  MemberOptions o;
  o.method = GetParam().method;
  o.flags = GetParam().flags;
  EXPECT_EQ(decode(gzip_member("never seen", o), CODING_GZIP), "");
}

INSTANTIATE_TEST_SUITE_P(MethodAndReservedBits, GzipBadHeader,
                         ::testing::Values(BadHeaderCase{8, 0x20}, BadHeaderCase{8, 0x40}, BadHeaderCase{8, 0x80},
                                           BadHeaderCase{7, 0x00}, BadHeaderCase{0, 0x00}));

TEST(GzipBody, HeaderCutShortDecodesNothing) {
  std::string m = gzip_member("x", {.flags = 0x08});
  EXPECT_EQ(decode(m.substr(0, 12), CODING_GZIP), "");
  EXPECT_EQ(decode(m.substr(0, 3), CODING_GZIP), "");
}

TEST(GzipFaults, WrongCrcKeepsTheMemberAndStops) {
  std::string body = gzip_member("kept contents", {.wrong_crc = true}) + gzip_member(" not read");
  Gunzipped g = gunzip(body);
  EXPECT_EQ(g.bytes, "kept contents");
  EXPECT_EQ(g.status, Z_DATA_ERROR);
  EXPECT_EQ(decode(body, CODING_GZIP), "kept contents");
}

TEST(GzipFaults, CutInsideTheDeflateDataKeepsAPrefix) {
  std::string page = noisy_text(60000, 5);
  std::string member = gzip_member(page);
  for (size_t cut : {member.size() / 3, member.size() / 2, member.size() - 40}) {
    std::string got = decode(member.substr(0, cut), CODING_GZIP);
    SCOPED_TRACE(cut);
    EXPECT_GT(got.size(), page.size() * cut / member.size() / 2);
    EXPECT_LT(got.size(), page.size());
    EXPECT_EQ(common_prefix(got, page), got.size());
  }
}

TEST(GzipFaults, CutInsideTheTrailerKeepsEverything) {
  std::string member = gzip_member("whole page");
  EXPECT_EQ(decode(member.substr(0, member.size() - 2), CODING_GZIP), "whole page");
}

TEST(GzipBody, TrailerLengthFieldIsNotTrusted) {
  std::string page = noisy_text(30000, 11);
  EXPECT_TRUE(decode(gzip_member(page, {.wrong_length = true}), CODING_GZIP) == page);
  // A member whose length field announces far more than it holds.
  std::string member = gzip_member("short page");
  member[member.size() - 1] = char(0x7F);
  EXPECT_EQ(decode(member, CODING_GZIP), "short page");
  EXPECT_EQ(gunzip(member).capacity, 1024u);
}

TEST(GzipFaults, CorruptDataKeepsWhatCameBefore) {
  std::string page = noisy_text(40000, 3);
  std::string member = gzip_member(page);
  for (size_t i = member.size() / 2; i < member.size() / 2 + 64; ++i) member[i] = char(0xFF);
  std::string got = decode(member, CODING_GZIP);
  // Inflate may emit a few wrong bytes before it sees the fault; all that
  // came before the damaged half is there.
  EXPECT_GT(common_prefix(got, page), page.size() / 3);
  EXPECT_LT(got.size(), page.size());
}

// --- Output growth -----------------------------------------------------------

struct GrowthCase {
  size_t decoded;
  uint32_t capacity;
};
class OutputGrowth : public ::testing::TestWithParam<GrowthCase> {};

TEST_P(OutputGrowth, CapacityGrowsInWholeKilobytes) {
  std::string page = noisy_text(GetParam().decoded, 21);
  Gunzipped g = gunzip(gzip_member(page));
  EXPECT_TRUE(g.bytes == page);
  EXPECT_EQ(g.capacity, GetParam().capacity);
}

INSTANTIATE_TEST_SUITE_P(Sizes, OutputGrowth,
                         ::testing::Values(GrowthCase{0, 1024}, GrowthCase{1, 1024}, GrowthCase{1024, 1024},
                                           GrowthCase{1025, 2048}, GrowthCase{2047, 2048},
                                           GrowthCase{2048, 3072}, GrowthCase{4096, 5120},
                                           GrowthCase{100000, 100352}));

TEST(OutputGrowthSteps, EveryAppendKeepsAZeroAfterTheBytes) {
  BodyBytes out(kMaxBodyBytes);
  std::string all;
  for (int i = 0; i < 40; ++i) {
    std::string piece = noisy_text(size_t(97 * i + 13), uint32_t(i));
    ASSERT_TRUE(out.append(reinterpret_cast<const uint8_t*>(piece.data()), piece.size()));
    all += piece;
    ASSERT_EQ(out.capacity(), (all.size() / 1024 + 1) * 1024);
    ASSERT_EQ(out.data()[out.length()], 0);
  }
  EXPECT_TRUE(std::string(reinterpret_cast<const char*>(out.data()), out.length()) == all);
}

// A body that keeps coming (an endless or swollen answer) is moved at most
// once more after its first megabytes: never is a block of tens of megabytes
// copied beside its larger successor.
TEST(OutputGrowthSteps, ASwollenBodyStopsMovingEarlyAndEndsAtTheLimit) {
  BodyBytes out(kMaxBodyBytes);
  const std::string piece(1024, 'z');
  const auto* p = reinterpret_cast<const uint8_t*>(piece.data());
  int moves_after_16_mib = 0;
  const uint8_t* block = out.data();
  while (out.append(p, piece.size())) {
    if (out.data() != block && out.length() > (16u << 20)) ++moves_after_16_mib;
    block = out.data();
  }
  EXPECT_EQ(moves_after_16_mib, 0);
  EXPECT_EQ(size_t(out.length()), kMaxBodyBytes);
  EXPECT_TRUE(out.truncated());
  EXPECT_EQ(out.data()[out.length()], 0);
}

TEST(OutputGrowthSteps, LimitCutsAndReports) {
  BodyBytes out(3000);
  std::string piece(2000, 'q');
  EXPECT_TRUE(out.append(reinterpret_cast<const uint8_t*>(piece.data()), piece.size()));
  EXPECT_FALSE(out.append(reinterpret_cast<const uint8_t*>(piece.data()), piece.size()));
  EXPECT_EQ(out.length(), 3000u);
  EXPECT_TRUE(out.truncated());
}

// --- Size cap ------------------------------------------------------------------

TEST(BodyCap, DecodedBodyIsCutAtTheCap) {
  std::string page(kMaxBodyBytes + 5000, 'a');
  std::string body = gzip_member(page, {.level = 9});
  page.clear();
  page.shrink_to_fit();
  Text t = decode_body(reinterpret_cast<const uint8_t*>(body.data()), uint32_t(body.size()), CODING_GZIP,
                       Text::literal("text/html"));
  ASSERT_EQ(size_t(t.length()), kMaxBodyBytes);
  EXPECT_EQ(t.c_str()[0], 'a');
  EXPECT_EQ(t.c_str()[kMaxBodyBytes - 1], 'a');
}

TEST(BodyCap, RawBodyIsCutAtTheCap) {
  std::string body(kMaxBodyBytes + 10, 'b');
  Text t = decode_body(reinterpret_cast<const uint8_t*>(body.data()), uint32_t(body.size()), CODING_NONE,
                       Text::literal("text/html"));
  EXPECT_EQ(size_t(t.length()), kMaxBodyBytes);
}

// --- Content-Encoding deflate ----------------------------------------------------

TEST(DeflateBody, ZlibWrappedAndRawBothInflate) {
  std::string page = "<html>" + noisy_text(9000, 8) + "</html>";
  EXPECT_TRUE(decode(testing::zlib_wrapped(page), CODING_DEFLATE) == page);
  EXPECT_TRUE(decode(testing::raw_deflate(page), CODING_DEFLATE) == page);
  EXPECT_EQ(decode(testing::raw_deflate(u8(u8"加载更多")), CODING_DEFLATE, "text/html;charset=utf-8"), "加载更多");
}

TEST(DeflateBody, GzipDataLabelledDeflateInflates) {
  EXPECT_EQ(decode(gzip_member("labelled deflate"), CODING_DEFLATE), "labelled deflate");
}

TEST(DeflateBody, PlainBodyLabelledDeflatePassesUnchanged) {
  EXPECT_EQ(decode("<html>not compressed</html>", CODING_DEFLATE), "<html>not compressed</html>");
}

TEST(DeflateBody, CutStreamKeepsAPrefix) {
  std::string page = noisy_text(50000, 4);
  std::string z = testing::zlib_wrapped(page);
  std::string got = decode(z.substr(0, z.size() / 2), CODING_DEFLATE);
  EXPECT_GT(got.size(), page.size() / 4);
  EXPECT_LT(got.size(), page.size());
  EXPECT_EQ(common_prefix(got, page), got.size());
}

// --- Whether the text stands for the whole body ------------------------------------

struct WholeCase {
  const char* what;
  std::string body;
  int coding;
  bool complete;
  bool ends_itself;  // the data said where it ends (a compressed stream's own end)
};

void PrintTo(const WholeCase& c, std::ostream* os) { *os << c.what; }

class BodyCompleteness : public ::testing::TestWithParam<WholeCase> {};

TEST_P(BodyCompleteness, ReportsWhetherTheStreamReachedItsEnd) {
  const WholeCase& c = GetParam();
  BodyDecoding how{!c.complete, !c.ends_itself};
  const Text all = decode_body(reinterpret_cast<const uint8_t*>(c.body.data()), uint32_t(c.body.size()), c.coding,
                               Text::literal("text/html"), &how);
  EXPECT_EQ(how.complete, c.complete) << c.what;
  EXPECT_EQ(how.ends_itself, c.ends_itself) << c.what;
  // Used whole or not at all: a part gives nothing.
  BodyDecoding whole_how;
  const Text whole = decode_whole_body(reinterpret_cast<const uint8_t*>(c.body.data()), uint32_t(c.body.size()),
                                       c.coding, Text::literal("text/html"), &whole_how);
  EXPECT_EQ(whole_how.complete, c.complete) << c.what;
  if (c.complete)
    EXPECT_EQ(whole, all) << c.what;
  else
    EXPECT_TRUE(whole.empty()) << c.what;
}

std::string cut(const std::string& s, size_t keep) { return s.substr(0, keep); }

INSTANTIATE_TEST_SUITE_P(
    Bodies, BodyCompleteness,
    ::testing::Values(
        WholeCase{"a plain body", "<html>x</html>", CODING_NONE, true, false},
        WholeCase{"one gzip member", gzip_member(noisy_text(9000, 2)), CODING_GZIP, true, true},
        WholeCase{"two gzip members", gzip_member("a") + gzip_member("b"), CODING_GZIP, true, true},
        WholeCase{"bytes after the last member", gzip_member("a") + "tail", CODING_GZIP, true, false},
        WholeCase{"a plain body declared gzip", "<html>plain</html>", CODING_GZIP, true, false},
        WholeCase{"gzip without its trailer", cut(gzip_member("whole page"), gzip_member("whole page").size() - 8),
                  CODING_GZIP, false, false},
        WholeCase{"gzip cut inside the trailer", cut(gzip_member("whole page"), gzip_member("whole page").size() - 2),
                  CODING_GZIP, false, false},
        WholeCase{"gzip cut inside the deflate data",
                  cut(gzip_member(noisy_text(60000, 5)), gzip_member(noisy_text(60000, 5)).size() / 2), CODING_GZIP,
                  false, false},
        WholeCase{"gzip cut inside the header", cut(gzip_member("x"), 6), CODING_GZIP, false, false},
        WholeCase{"a second member cut short", gzip_member("a") + cut(gzip_member("b"), 12), CODING_GZIP, false, false},
        WholeCase{"gzip with a wrong CRC", gzip_member("page", {.wrong_crc = true}), CODING_GZIP, false, false},
        WholeCase{"a zlib stream", testing::zlib_wrapped(noisy_text(9000, 8)), CODING_DEFLATE, true, true},
        WholeCase{"raw deflate", testing::raw_deflate("page"), CODING_DEFLATE, true, true},
        WholeCase{"a zlib stream cut short",
                  cut(testing::zlib_wrapped(noisy_text(50000, 4)), testing::zlib_wrapped(noisy_text(50000, 4)).size() / 2),
                  CODING_DEFLATE, false, false},
        WholeCase{"a plain body declared deflate", "<html>not compressed</html>", CODING_DEFLATE, true, false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// What decoding reports of a body, and whether the whole-only form gave nothing.
struct Report {
  BodyDecoding how;
  bool nothing;
};
Report report(const std::string& body, int coding, const char* type, bool whole_only) {
  Report r{{}, false};
  const auto* p = reinterpret_cast<const uint8_t*>(body.data());
  Text t = whole_only ? decode_whole_body(p, uint32_t(body.size()), coding, Text::copy(type), &r.how)
                      : decode_body(p, uint32_t(body.size()), coding, Text::copy(type), &r.how);
  r.nothing = t.empty();
  return r;
}

TEST(BodyCompleteness, ABodyOverTheCapIsNotWhole) {
  std::string body(kMaxBodyBytes + 10, 'b');
  EXPECT_FALSE(report(body, CODING_NONE, "text/html", false).how.complete);
  Report whole_only = report(body, CODING_NONE, "text/html", true);
  EXPECT_FALSE(whole_only.how.complete);
  EXPECT_TRUE(whole_only.nothing);
  body.assign(kMaxBodyBytes + 5000, 'a');
  std::string z = gzip_member(body, {.level = 9});
  body.clear();
  body.shrink_to_fit();
  EXPECT_FALSE(report(z, CODING_GZIP, "text/html", false).how.complete);
  // A gzip bomb labelled UTF-8, used whole: given up at the cap, nothing
  // converted (the conversion of 64 MiB would take three times as much).
  whole_only = report(z, CODING_GZIP, "application/json; charset=UTF-8", true);
  EXPECT_FALSE(whole_only.how.complete);
  EXPECT_FALSE(whole_only.how.ends_itself);
  EXPECT_TRUE(whole_only.nothing);
}

}  // namespace
}  // namespace cx
