// The harvesting logic driven through the in-memory window: addresses,
// tiles, status texts, paging, stop requests, failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/cutting.h"
#include "app/fetch_run.h"
#include "app/listing_address.h"
#include "app/paging.h"
#include "app/state.h"
#include "tests/app/fake_window.h"
#include "ui/main_window.h"

namespace cx {
namespace {

using fake::world;

const std::string kBase = "https://www.clipdex.com";

std::string tile(const std::string& title, const std::string& href) {
  return "<div class=\"cx-lockup-title\"><a title=\"" + title + "\" href=\"" + href +
         "\">x</a></div><div class=\"cx-lockup-meta\">meta</div>\n";
}

std::string page(int first, int count, const std::string& more_href = "", const std::string& marker = "Load more") {
  std::string p = "<html><body>";
  for (int i = first; i < first + count; ++i) p += tile("视频 " + std::to_string(i), "/watch?v=" + std::to_string(i));
  if (!more_href.empty())
    p += "<button aria-label=\"" + marker + "\" data-href=\"" + more_href + "\">" + marker + "</button>";
  return p + "</body></html>";
}

class Logic : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    release_globals();
    fetch_running = 0;
    set_up_listing_address();
  }
  void type_name(const std::string& s) { world().at(编辑框_用户名).text = s; }
  // A user click on a check box toggles it before its handler runs.
  void click(ControlRef box, void (*handler)()) {
    world().at(box).checked = !world().at(box).checked;
    handler();
  }
  void serve(const std::string& address, std::initializer_list<fake::Response> rs) { world().answers[address] = rs; }
  std::string listing(const std::string& user) { return kBase + "/user/" + user + "/videos"; }
  int count(const std::string& line) { return int(std::count(world().journal.begin(), world().journal.end(), line)); }
  std::vector<std::string> ids() {
    std::vector<std::string> out;
    for (auto& r : world().rows) out.push_back(r[0]);
    return out;
  }
  // The run is over: the button offers a new one and takes clicks.
  void expect_run_over() {
    EXPECT_EQ(world().at(按钮_获取_停止).text, "获取");
    EXPECT_FALSE(world().at(按钮_获取_停止).disabled);
    EXPECT_EQ(fetch_running, 0);
  }
  // The run is over and said that it failed.
  void expect_failed_run() {
    EXPECT_EQ(world().at(透明标签_获取信息).text, kFetchFailedText);
    expect_run_over();
  }
  void run_user(const std::string& user) {
    type_name(user);
    click(选择框_User, on_option_user_clicked);  // clears it
    click(选择框_User, on_option_user_clicked);  // selects it: address built
    on_fetch_stop_clicked();
  }
};

// --- listing address ---------------------------------------------------------

TEST_F(Logic, DefaultAddressRightAfterStartHasTwoSlashes) {
  EXPECT_EQ(listing_address, (kBase + "/user//videos").c_str());
}

TEST_F(Logic, ChannelClickBuildsChannelAddressAndClearsTheOthers) {
  type_name("abc");
  world().at(选择框_Url).checked = true;
  click(选择框_Channel, on_option_channel_clicked);
  EXPECT_EQ(listing_address, (kBase + "/channel/abc/videos").c_str());
  EXPECT_FALSE(world().at(选择框_User).checked);
  EXPECT_FALSE(world().at(选择框_Url).checked);
  EXPECT_TRUE(world().at(选择框_Channel).checked);
  // User is cleared before Url.
  auto& j = world().journal;
  auto u = std::find(j.begin(), j.end(), "checked user 0");
  auto r = std::find(j.begin(), j.end(), "checked url 0");
  ASSERT_NE(u, j.end());
  ASSERT_NE(r, j.end());
  EXPECT_LT(u, r);
}

TEST_F(Logic, ClickThatClearsTheSelectedBoxKeepsTheAddress) {
  type_name("abc");
  click(选择框_User, on_option_user_clicked);
  EXPECT_EQ(listing_address, (kBase + "/user//videos").c_str());
  EXPECT_FALSE(world().at(选择框_User).checked);
  click(选择框_User, on_option_user_clicked);
  EXPECT_EQ(listing_address, (kBase + "/user/abc/videos").c_str());
}

TEST_F(Logic, UrlModeTakesTheTypedTextUnchanged) {
  for (std::string typed : {" https://x.example/a b/ ", "relative/path", ""}) {
    type_name(typed);
    world().at(选择框_Url).checked = false;
    click(选择框_Url, on_option_url_clicked);
    EXPECT_EQ(std::string(listing_address.view()), typed);
  }
}

TEST_F(Logic, TypingAfterABuildDoesNotChangeTheRequestedAddress) {
  type_name("first");
  click(选择框_Channel, on_option_channel_clicked);
  type_name("second");
  serve(kBase + "/channel/first/videos", {{200, page(0, 1)}});
  on_fetch_stop_clicked();
  ASSERT_FALSE(world().requests.empty());
  EXPECT_EQ(world().requests[0], kBase + "/channel/first/videos");
}

// --- cutting -----------------------------------------------------------------

TEST(Cutting, TileMarkersMatchInAnyCaseAndPiecesAreTrimmed) {
  fake::reset();
  std::vector<Text> pieces;
  const Text src = Text::copy("CX-LOCKUP-TITLE  one cx-lockup-meta cx-Lockup-Title　two　CX-lockup-META");
  ASSERT_EQ(text_between_all(src, Text::literal("cx-lockup-title"), Text::literal("cx-lockup-meta"), pieces), 2);
  EXPECT_EQ(pieces[0], "one");
  EXPECT_EQ(pieces[1], "two");
}

TEST(Cutting, EmptyPiecesAreSkippedAndAMissingEndStopsTheSearch) {
  fake::reset();
  int pumps = 0;
  world().during_events = [&] { ++pumps; };
  std::vector<Text> pieces{Text::copy("stale")};
  const Text src = Text::copy("[ ][a][]  [b");
  EXPECT_EQ(text_between_all(src, Text::literal("["), Text::literal("]"), pieces), 1);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0], "a");
  EXPECT_EQ(pumps, 3);  // once per piece found, empty ones included
}

TEST(Cutting, OptionsShapeThePieces) {
  fake::reset();
  std::vector<Text> pieces;
  CutOptions o;
  o.case_sensitive = true;
  o.prefix = Text::literal("<");
  o.suffix = Text::literal(">");
  o.include_start = true;
  o.max_length = 8;
  const Text src = Text::copy("(ab)(ABCDEFG)(A)(x");
  EXPECT_EQ(text_between_all(src, Text::literal("("), Text::literal(")"), pieces, o), 2);
  EXPECT_EQ(pieces[0], "(<ab>");
  EXPECT_EQ(pieces[1], "(<A>");
}

TEST(Cutting, AnEmptyMarkerDelimitsNothingAndTheCutEnds) {
  // An empty text is found at the start of any stretch, so a cut on an empty
  // marker would find the same piece again and again. The window's turn
  // comes once per piece: far more turns than the page has bytes means the
  // cut no longer advances, and the test stops it there.
  fake::reset();
  struct Runaway {};
  int pumps = 0;
  world().during_events = [&] {
    if (++pumps > 100) throw Runaway{};
  };
  CutOptions framed;
  framed.prefix = Text::literal("<");
  const struct {
    const char* start;
    const char* end;
    const CutOptions* options;
  } cases[] = {
      {"", "]", nullptr}, {"", "]", &framed}, {"[", "", nullptr}, {"[", "", &framed}, {"", "", &framed},
  };
  const Text src = Text::copy("[a] [b] [c]");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("start '") + c.start + "' end '" + c.end + (c.options ? "' with a prefix" : "'"));
    pumps = 0;
    std::vector<Text> pieces{Text::copy("stale")};
    int32_t n = -1;
    try {
      n = text_between_all(src, Text::literal(c.start), Text::literal(c.end), pieces, c.options ? *c.options : CutOptions());
    } catch (const Runaway&) {
      ADD_FAILURE() << "the cut does not advance";
      continue;
    }
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(pieces.empty());
  }
  world().during_events = nullptr;
}

TEST(Cutting, TextBetweenReadsQuotePlaceholderAndStartPosition) {
  const Text src = Text::copy("a title=\"one\" b title=\"two\"");
  EXPECT_EQ(text_between(src, Text::literal("title=#引号"), Text::literal("#引号")), "one");
  EXPECT_EQ(text_between(src, Text::literal("title=\""), Text::literal("\""), 10, false), "two");
  EXPECT_TRUE(text_between(src, Text::literal("TITLE=\""), Text::literal("\"")).empty());
  EXPECT_EQ(text_between(src, Text::literal("TITLE=\""), Text::literal("\""), std::nullopt, true), "one");
  EXPECT_TRUE(text_between(src, Text::literal("missing"), Text::literal("\"")).empty());
  EXPECT_TRUE(text_between(src, Text::literal("title=\""), Text::literal("missing")).empty());
}

// --- tiles -------------------------------------------------------------------

TEST_F(Logic, TilesBecomeRowsWithRawTitlesAndTheBaseInFrontOfEveryHref) {
  std::string p = "<x>" + tile("Tom &amp; Jerry", "/watch?v=a") + tile("中文标题", "https://other.example/v") +
                  "<p class=\"cx-lockup-title\">no title or href here</p><i class=\"cx-lockup-meta\"></i>" +
                  "cx-lockup-title   cx-lockup-meta" + tile("last", "/watch?v=z");
  serve(listing("u"), {{200, p}});
  run_user("u");
  ASSERT_EQ(world().rows.size(), 4u);
  EXPECT_EQ(world().rows[0], (std::vector<std::string>{"0", "Tom &amp; Jerry", kBase + "/watch?v=a"}));
  EXPECT_EQ(world().rows[1], (std::vector<std::string>{"1", "中文标题", kBase + "https://other.example/v"}));
  EXPECT_EQ(world().rows[2], (std::vector<std::string>{"2", "", kBase}));
  EXPECT_EQ(world().rows[3], (std::vector<std::string>{"3", "last", kBase + "/watch?v=z"}));
}

TEST_F(Logic, TitleAndHrefMarkersMatchOnlyAsWritten) {
  serve(listing("u"), {{200, "cx-lockup-title <a TITLE=\"T\" HREF=\"/h\"> cx-lockup-meta"}});
  run_user("u");
  ASSERT_EQ(world().rows.size(), 1u);
  EXPECT_EQ(world().rows[0][1], "");
  EXPECT_EQ(world().rows[0][2], kBase);
}

TEST_F(Logic, FirstPageWithoutTilesEndsTheRunWithoutPaging) {
  world().rows = {{"old", "row", "x"}};
  serve(listing("u"), {{200, "<html>Load more nothing here Load more</html>"}});
  run_user("u");
  EXPECT_TRUE(world().rows.empty());
  EXPECT_EQ(world().requests.size(), 1u);
  expect_run_over();
  EXPECT_EQ(world().captions_of(透明标签_获取信息),
            (std::vector<std::string>{"正在加载信息...", "正在整理视频内容,准备加载...", "信息已加载完毕,正在整理信息..."}));
  EXPECT_EQ(fetch_running, 0);
}

// --- a whole run -------------------------------------------------------------

TEST_F(Logic, ThreePageRunListsEveryPageInOrderWithStatusTextsAndWaits) {
  serve(listing("u"), {{200, page(0, 30, "/more?p=2")}});
  serve(kBase + "/more?p=2", {{200, page(30, 30, "/more?p=3", "加载更多")}});
  serve(kBase + "/more?p=3", {{200, page(60, 7)}});
  run_user("u");

  ASSERT_EQ(world().rows.size(), 67u);
  for (int i = 0; i < 67; ++i) {
    EXPECT_EQ(world().rows[size_t(i)][0], std::to_string(i));
    EXPECT_EQ(world().rows[size_t(i)][1], "视频 " + std::to_string(i));
    EXPECT_EQ(world().rows[size_t(i)][2], kBase + "/watch?v=" + std::to_string(i));
  }
  EXPECT_EQ(world().requests, (std::vector<std::string>{listing("u"), kBase + "/more?p=2", kBase + "/more?p=3"}));

  const std::vector<std::string> expected_progress = {
      "正在加载信息...", "正在整理视频内容,准备加载...",
      // page 1 rows, then the continuation pass
      "正在获取下一页...", "正在获取下一页...", "正在获取下一页...", "正在解码....", "已解码,准备加载...",
      // page 2 rows
      "正在获取下一页...", "正在获取下一页...", "正在获取下一页...", "正在解码....", "已解码,准备加载...",
      // page 3 rows: no marker
      "信息已加载完毕,正在整理信息...", "已经全部获取"};
  EXPECT_EQ(world().captions_of(透明标签_获取信息), expected_progress);
  EXPECT_EQ(world().captions_of(透明标签_停止信息), (std::vector<std::string>{"已停止全部线程"}));
  // Before every continuation request three waits: after the rows, after the
  // address, after decoding; plus one after the first page arrived.
  EXPECT_EQ(count("wait 2000"), 1 + 3 * 2 + 1);
  auto& j = world().journal;
  const auto second = std::find(j.begin(), j.end(), "request " + kBase + "/more?p=2");
  ASSERT_NE(second, j.end());
  EXPECT_EQ(*(second - 1), "wait 2000");
  expect_run_over();
  EXPECT_TRUE(world().at(透明标签_获取信息).visible);
}

TEST_F(Logic, EnglishMarkerWinsWhenAPageHoldsBoth) {
  std::string p = page(0, 2) + "<b 加载更多 href=\"/cn\" 加载更多> <b Load more href=\"/en\" Load more>";
  serve(listing("u"), {{200, p}});
  serve(kBase + "/en", {{200, page(2, 1)}});
  run_user("u");
  EXPECT_EQ(more_marker, "Load more");
  ASSERT_EQ(world().requests.size(), 2u);
  EXPECT_EQ(world().requests[1], kBase + "/en");
}

TEST_F(Logic, MarkerWithoutAddressEndsTheRunLikeTheLastPage) {
  // The words once, in a title, with no continuation address behind them.
  serve(listing("u"), {{200, page(0, 2) + tile("Load more of this", "/watch?v=x")}});
  serve(kBase, {{200, page(10, 3)}});
  run_user("u");
  EXPECT_EQ(world().requests, (std::vector<std::string>{listing("u")}));
  EXPECT_EQ(world().rows.size(), 3u);
  const auto progress = world().captions_of(透明标签_获取信息);
  ASSERT_GE(progress.size(), 2u);
  EXPECT_EQ(progress[progress.size() - 2], "信息已加载完毕,正在整理信息...");
  EXPECT_EQ(progress.back(), "已经全部获取");
  expect_run_over();

  // The same on a continuation page: its rows are listed, nothing further is asked.
  SetUp();
  serve(listing("u"), {{200, page(0, 2, "/p2")}});
  serve(kBase + "/p2", {{200, page(2, 2) + "<b>加载更多 Load more</b>"}});
  serve(kBase, {{200, page(10, 3)}});
  run_user("u");
  EXPECT_EQ(world().requests, (std::vector<std::string>{listing("u"), kBase + "/p2"}));
  EXPECT_EQ(ids(), (std::vector<std::string>{"0", "1", "2", "3"}));
  EXPECT_EQ(world().at(透明标签_获取信息).text, "已经全部获取");
}

TEST_F(Logic, ChineseMarkerWithAnAddressIsUsedWhenTheEnglishWordsLeadNowhere) {
  serve(listing("u"), {{200, page(0, 2, "/cn", "加载更多") + tile("Load more", "/watch?v=t")}});
  serve(kBase + "/cn", {{200, page(3, 1)}});
  run_user("u");
  EXPECT_EQ(world().requests, (std::vector<std::string>{listing("u"), kBase + "/cn"}));
  EXPECT_EQ(more_marker, "加载更多");
  EXPECT_EQ(world().rows.size(), 4u);
}

TEST_F(Logic, SecondRunNumbersFromZeroAndEmptiesTheList) {
  serve(listing("u"), {{200, page(0, 3)}});
  run_user("u");
  on_fetch_stop_clicked();
  EXPECT_EQ(ids(), (std::vector<std::string>{"0", "1", "2"}));
}

TEST_F(Logic, SameVideoOnTwoPagesIsListedTwice) {
  serve(listing("u"), {{200, page(0, 2, "/p2")}});
  serve(kBase + "/p2", {{200, page(1, 2)}});
  run_user("u");
  ASSERT_EQ(world().rows.size(), 4u);
  EXPECT_EQ(world().rows[1][2], world().rows[2][2]);
  EXPECT_EQ(world().rows[2][0], "2");
}

// --- stop requests -----------------------------------------------------------

TEST_F(Logic, StopDuringFirstRequestStillListsThatPageAndRequestsNothingMore) {
  serve(listing("u"), {{200, page(0, 5, "/p2")}});
  world().during_request = [](const std::string&) { on_fetch_stop_clicked(); };
  run_user("u");
  EXPECT_EQ(world().rows.size(), 5u);
  EXPECT_EQ(world().requests.size(), 1u);
  EXPECT_FALSE(world().at(透明标签_获取信息).visible);
  EXPECT_TRUE(world().at(透明标签_停止信息).visible);
  EXPECT_EQ(world().captions_of(透明标签_停止信息), (std::vector<std::string>{"正在停止线程,请稍等...", "已停止全部线程"}));
  expect_run_over();
}

TEST_F(Logic, StopRequestDisablesTheButtonUntilTheRunEnds) {
  serve(listing("u"), {{200, page(0, 2, "/p2")}});
  serve(kBase + "/p2", {{200, page(2, 2, "/p3")}});
  serve(kBase + "/p3", {{200, page(4, 2)}});
  bool disabled_while_stopping = false;
  world().during_request = [&](const std::string& a) {
    if (a == kBase + "/p2") {
      on_fetch_stop_clicked();
      disabled_while_stopping = world().at(按钮_获取_停止).disabled && world().at(按钮_获取_停止).text == "获取";
    }
  };
  run_user("u");
  EXPECT_TRUE(disabled_while_stopping);
  EXPECT_EQ(ids(), (std::vector<std::string>{"0", "1", "2", "3"}));
  EXPECT_EQ(world().requests.size(), 2u);
  EXPECT_FALSE(world().at(按钮_获取_停止).disabled);
}

TEST_F(Logic, StopWhileTilesAreCutKeepsThePageAndEndsTheRun) {
  serve(listing("u"), {{200, page(0, 4, "/p2")}});
  int pumps = 0;
  world().during_events = [&] {
    if (++pumps == 2) on_fetch_stop_clicked();
  };
  run_user("u");
  EXPECT_EQ(world().rows.size(), 4u);
  EXPECT_EQ(world().requests.size(), 1u);
  EXPECT_EQ(world().at(透明标签_停止信息).text, "已停止全部线程");
}

TEST_F(Logic, StopDuringFirstRequestOfAnEmptyPageLeavesTheStoppingText) {
  serve(listing("u"), {{200, "<html></html>"}});
  world().during_request = [](const std::string&) { on_fetch_stop_clicked(); };
  run_user("u");
  EXPECT_EQ(world().at(透明标签_停止信息).text, "正在停止线程,请稍等...");
  expect_run_over();
}

// --- failures and loops ------------------------------------------------------

TEST_F(Logic, ContinuationFailingThreeTimesKeepsRowsAndSaysTheListMayBeIncomplete) {
  serve(listing("u"), {{200, page(0, 3, "/p2")}});
  serve(kBase + "/p2", {{503, "busy"}});
  run_user("u");
  EXPECT_EQ(world().rows.size(), 3u);
  EXPECT_EQ(std::count(world().requests.begin(), world().requests.end(), kBase + "/p2"), 3);
  expect_failed_run();
  // Each repeat comes after the usual wait.
  auto& j = world().journal;
  for (size_t i = 1; i < j.size(); ++i) {
    if (j[i] == "request " + kBase + "/p2") {
      EXPECT_EQ(j[i - 1], "wait 2000");
    }
  }
}

TEST_F(Logic, ContinuationFailingOnceIsRepeatedAndListedWhole) {
  serve(listing("u"), {{200, page(0, 3, "/p2")}});
  serve(kBase + "/p2", {{503, ""}, {200, page(3, 2)}});
  run_user("u");
  EXPECT_EQ(ids(), (std::vector<std::string>{"0", "1", "2", "3", "4"}));
  EXPECT_EQ(world().at(透明标签_获取信息).text, "已经全部获取");
}

TEST_F(Logic, ListingPageWithoutAnswerIsRepeatedThenReportedAsFailed) {
  run_user("nobody");  // no answer at all
  EXPECT_EQ(world().requests.size(), 3u);
  EXPECT_TRUE(world().rows.empty());
  expect_failed_run();
}

TEST_F(Logic, ClientErrorStatusCountsAsFailureButAnEmptySuccessDoesNot) {
  serve(listing("u"), {{404, page(0, 2)}});
  run_user("u");
  EXPECT_TRUE(world().rows.empty());
  EXPECT_EQ(world().at(透明标签_获取信息).text, kFetchFailedText);

  SetUp();
  serve(listing("u"), {{200, ""}});
  run_user("u");
  EXPECT_EQ(world().requests.size(), 1u);
  EXPECT_EQ(world().at(透明标签_获取信息).text, "信息已加载完毕,正在整理信息...");
}

// --- answers that did not arrive whole ------------------------------------------

// What the run made of a page cut short: the part must never be listed as the
// page, and the run must not end as if the channel had no more pages.
TEST_F(Logic, ContinuationCutShortIsRepeatedAndListedWholeOnce) {
  const std::string full = page(3, 4, "/p3");
  serve(listing("u"), {{200, page(0, 3, "/p2")}});
  // The part holds two whole tiles and no continuation marker.
  serve(kBase + "/p2", {{200, full.substr(0, full.find("视频 5")), false}, {200, full}});
  serve(kBase + "/p3", {{200, page(7, 2)}});
  run_user("u");
  EXPECT_EQ(ids(), (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7", "8"}));
  EXPECT_EQ(world().rows[3][1], "视频 3");
  EXPECT_EQ(world().requests,
            (std::vector<std::string>{listing("u"), kBase + "/p2", kBase + "/p2", kBase + "/p3"}));
  EXPECT_EQ(world().at(透明标签_获取信息).text, "已经全部获取");
  auto& j = world().journal;
  const auto first = std::find(j.begin(), j.end(), "request " + kBase + "/p2");
  ASSERT_NE(first, j.end());
  EXPECT_EQ(*(first + 1), "wait 2000");
  EXPECT_EQ(*(first + 2), "request " + kBase + "/p2");
}

// The page before is let go before each request, and nothing of a failed
// answer stays after the run: a swollen answer is never held twice, nor kept.
TEST_F(Logic, NoPageIsHeldWhileTheNextIsRequestedNorKeptAfterAFailure) {
  serve(listing("u"), {{200, page(0, 2, "/p2")}});
  serve(kBase + "/p2", {{200, page(2, 2, "/p3"), false}, {200, page(2, 2, "/p3")}});
  serve(kBase + "/p3", {{503, "<html>busy</html>"}});
  std::vector<int32_t> held;
  world().during_request = [&held](const std::string&) { held.push_back(page_text.length()); };
  run_user("u");
  EXPECT_EQ(held, (std::vector<int32_t>{0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(world().rows.size(), 4u);
  expect_failed_run();
  EXPECT_TRUE(page_text.empty());
}

TEST_F(Logic, ListingPageCutShortIsRepeated) {
  const std::string full = page(0, 5);
  for (const fake::Response& cut : {fake::Response{200, full.substr(0, full.size() / 2), false},
                                    fake::Response{200, "", false}, fake::Response{0, full, false}}) {
    SetUp();
    serve(listing("u"), {cut, {200, full}});
    run_user("u");
    EXPECT_EQ(world().requests.size(), 2u);
    EXPECT_EQ(ids(), (std::vector<std::string>{"0", "1", "2", "3", "4"}));
    EXPECT_EQ(world().at(透明标签_获取信息).text, "已经全部获取");
  }
}

TEST_F(Logic, ContinuationAlwaysCutShortEndsWithTheFailureAndKeepsTheEarlierRows) {
  const std::string full = page(2, 4, "/p3");
  serve(listing("u"), {{200, page(0, 2, "/p2")}});
  serve(kBase + "/p2", {{200, full.substr(0, full.size() - 20), false}});
  run_user("u");
  EXPECT_EQ(ids(), (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(std::count(world().requests.begin(), world().requests.end(), kBase + "/p2"), 3);
  EXPECT_EQ(world().requests.size(), 4u);
  expect_failed_run();
}

TEST_F(Logic, ListingPageAlwaysCutShortListsNothingAndSaysSo) {
  serve(listing("u"), {{200, page(0, 4), false}});
  run_user("u");
  EXPECT_EQ(world().requests.size(), 3u);
  EXPECT_TRUE(world().rows.empty());
  expect_failed_run();
}

TEST_F(Logic, StopDuringARequestCutShortIsNotRepeated) {
  serve(listing("u"), {{200, page(0, 1, "/p2")}});
  serve(kBase + "/p2", {{200, page(1, 3), false}});
  world().during_request = [](const std::string& a) {
    if (a.find("/p2") != std::string::npos) on_fetch_stop_clicked();
  };
  run_user("u");
  EXPECT_EQ(world().requests.size(), 2u);
  EXPECT_EQ(world().rows.size(), 1u);
  EXPECT_EQ(world().at(透明标签_停止信息).text, "已停止全部线程");
  EXPECT_FALSE(world().at(按钮_获取_停止).disabled);
}

TEST_F(Logic, StopDuringAFailingRequestIsNotRepeated) {
  serve(listing("u"), {{200, page(0, 1, "/p2")}});
  serve(kBase + "/p2", {{500, ""}});
  world().during_request = [](const std::string& a) {
    if (a.find("/p2") != std::string::npos) on_fetch_stop_clicked();
  };
  run_user("u");
  EXPECT_EQ(world().requests.size(), 2u);
  EXPECT_EQ(world().at(透明标签_停止信息).text, "已停止全部线程");
  EXPECT_FALSE(world().at(按钮_获取_停止).disabled);
}

TEST_F(Logic, ContinuationLeadingBackToAnEarlierAddressEndsTheRun) {
  serve(listing("u"), {{200, page(0, 2, "/p2")}});
  serve(kBase + "/p2", {{200, page(2, 2, "/p3")}});
  serve(kBase + "/p3", {{200, page(4, 2, "/p2")}});
  run_user("u");
  EXPECT_EQ(world().requests, (std::vector<std::string>{listing("u"), kBase + "/p2", kBase + "/p3"}));
  EXPECT_EQ(world().rows.size(), 6u);
  EXPECT_EQ(world().at(透明标签_获取信息).text, "已经全部获取");
  EXPECT_FALSE(world().at(按钮_获取_停止).disabled);
}

}  // namespace
}  // namespace cx
