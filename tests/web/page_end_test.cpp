// Whether a page read without a length shows that it ended: every place a
// connection can close early must read as a page that did not end.
#include <gtest/gtest.h>

#include <string>

#include "web/page_end.h"

namespace cx {
namespace {

// A continuation answer as the site writes it: escaped markup in two string
// fields of one object, the fields on lines of their own.
const std::string kAnswer =
    "{\"content_html\":\"\\n\\u003cli class\\u003d\\\"item\\\"\\u003e{\\\"not\\\":[\\\"structure\\\"}"
    "\\u003ch3 class\\u003d\\\"cx-lockup-title\\\"\\u003e\\u003ca title\\u003d\\\"ab\\\" "
    "href\\u003d\\\"\\/watch?v\\u003dx1\\\"\\u003e\\u003c\\/a\\u003e\\\\\",\r\n"
    "\"load_more_widget_html\":\"\\u003cbutton data-uix-load-more-href\\u003d\\\"\\/browse_ajax?c\\u003d2\\\""
    "\\u003eLoad more\\u003c\\/button\\u003e\",\"nested\":{\"list\":[1,{\"a\":\"}\"}]}}";

const std::string kListing =
    "<!DOCTYPE html><HTML lang=\"zh-CN\"><head><title>频道</title></head>\n<body><ul><li class=\"cx-lockup-title\">"
    "<a title=\"视频\" href=\"/watch?v=x1\">视频</a></li></ul>\n<script>var s = \"</ht\" + \"ml>\";</script>"
    "</body></Html>\n";

TEST(PageEnd, AWholeAnswerAndAWholeListingPageShowTheirEnd) {
  EXPECT_TRUE(page_shows_its_end(kAnswer));
  EXPECT_TRUE(page_shows_its_end(kListing));
  EXPECT_TRUE(page_shows_its_end(" \r\n\t" + kAnswer + "\r\n"));
}

// Every cut of the connection, at every byte: the object is not closed, the
// markup not ended.
TEST(PageEnd, EveryPartOfAnAnswerOrAListingPageIsSeenCut) {
  for (size_t n = 1; n < kAnswer.size(); ++n)
    ASSERT_FALSE(page_shows_its_end(kAnswer.substr(0, n))) << "the answer's first " << n << " bytes";
  const size_t closing = kListing.rfind("</Html>");
  for (size_t n = kListing.find("<HTML") + 5; n < closing + 7; ++n)
    ASSERT_FALSE(page_shows_its_end(kListing.substr(0, n))) << "the listing page's first " << n << " bytes";
}

TEST(PageEnd, TextsThatOpenNeitherAreJudgedByTheTransportAlone) {
  EXPECT_TRUE(page_shows_its_end(""));
  EXPECT_TRUE(page_shows_its_end("plain words of a page"));
  EXPECT_TRUE(page_shows_its_end("<div>markup without its html element"));
  EXPECT_TRUE(page_shows_its_end("[1, 2, 3"));  // only an object is looked at
  EXPECT_TRUE(page_shows_its_end("\"{\""));
}

// Double-byte characters whose second byte is "{", "}", "[", "\" or "]" are
// characters, not structure; quotes and braces inside strings neither.
TEST(PageEnd, CharactersAndStringsDoNotCountAsStructure) {
  const std::string open_brace_trail = "\x81{";   // a pair ending in 0x7B
  const std::string close_brace_trail = "\x81}";  // a pair ending in 0x7D
  const std::string backslash_trail = "\x95\\";   // a pair ending in 0x5C
  EXPECT_TRUE(page_shows_its_end("{\"t\":\"" + backslash_trail + "\"}"));
  EXPECT_TRUE(page_shows_its_end("{\"t\":" + open_brace_trail + "}"));
  EXPECT_FALSE(page_shows_its_end("{\"t\":" + close_brace_trail));
  EXPECT_FALSE(page_shows_its_end("{\"t\":\"}\""));
  EXPECT_FALSE(page_shows_its_end("{\"t\":\"\\\"}\""));
  EXPECT_TRUE(page_shows_its_end("{\"t\":\"\\\\\"}"));
  EXPECT_FALSE(page_shows_its_end("{\"t\":\"\\"));
  EXPECT_FALSE(page_shows_its_end("{\"a\":{\"b\":[1,2]}"));
  // A lead byte without its trail byte is a character of its own.
  EXPECT_TRUE(page_shows_its_end("{\"t\":\x81 }"));
}

}  // namespace
}  // namespace cx
