// The transfer core on its own, against the fixture server: the record it
// gives for whole answers and for each kind of fault, on a session of its own
// and on the caller's, and what the front's steps can ask of it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/fixture/request_log.h"
#include "tests/web/net_support.h"
#include "web/transfer.h"

namespace cx::web {
namespace {

using testing::pattern;

// What a front would keep: the body, and the size of every piece it was given.
struct Taken {
  std::string body;
  std::vector<DWORD> pieces;
  size_t limit = SIZE_MAX;  // refuse once the body has reached this size
  DWORD chunk = 1024;       // what answered() asks for
  int answered_calls = 0;
};

DWORD answered(void* context, HINTERNET, bool, const TransferResult&) {
  Taken* t = static_cast<Taken*>(context);
  ++t->answered_calls;
  return t->chunk;
}

bool take(void* context, const uint8_t* bytes, DWORD n) {
  Taken* t = static_cast<Taken*>(context);
  t->body.append(reinterpret_cast<const char*>(bytes), n);
  t->pieces.push_back(n);
  return t->body.size() < t->limit;
}

struct Exchange {
  TransferResult result;
  Taken taken;
  DWORD ms = 0;
};

// The exchange's own session (its time-outs set there too), or one the
// caller keeps, as the URL reader does.
enum class Way { kOwnSession, kCallersSession };

const char* way_name(Way w) { return w == Way::kOwnSession ? "own session" : "caller's session"; }

HINTERNET callers_session() {
  static HINTERNET session = InternetOpenA("transfer test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  return session;
}

// One exchange with short time-outs; adjust() may change the plan first.
template <typename Adjust>
Exchange exchange(const std::string& address, Way way, Adjust adjust, Taken taken = {}) {
  Exchange e;
  e.taken = taken;
  TransferPlan s;
  s.address = address.c_str();
  s.agent = "transfer test";
  if (way == Way::kCallersSession) s.session = callers_session();
  s.flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
  s.https_flags = INTERNET_FLAG_SECURE;
  s.connect_timeout = s.send_timeout = s.receive_timeout = 10000;
  s.context = &e.taken;
  s.answered = answered;
  s.take = take;
  adjust(s);
  const DWORD started = GetTickCount();
  e.result = run_transfer(s);
  e.ms = GetTickCount() - started;
  return e;
}

Exchange exchange(const std::string& address, Way way) {
  return exchange(address, way, [](TransferPlan&) {});
}

class TransferCore : public ::testing::TestWithParam<Way> {};

TEST_P(TransferCore, WholeAnswersWithAndWithoutALength) {
  const Way way = GetParam();
  SCOPED_TRACE(way_name(way));

  Exchange plain = exchange("http://www.clipdex.com/plain", way);
  EXPECT_TRUE(plain.result.whole);
  EXPECT_EQ(plain.result.why, WHY_NONE);
  EXPECT_EQ(plain.result.status, 200);
  EXPECT_EQ(plain.result.announced, 23);
  EXPECT_EQ(plain.result.received, 23u);
  EXPECT_EQ(plain.taken.body, "<html>plain page</html>");
  EXPECT_EQ(plain.taken.answered_calls, 1);

  // Chunked and without a length: whole as far as the transport can tell;
  // whether the text shows its own end is the page request's concern.
  Exchange chunked = exchange("http://www.clipdex.com/chunked", way);
  EXPECT_TRUE(chunked.result.whole);
  EXPECT_EQ(chunked.result.announced, -1);
  EXPECT_EQ(chunked.result.received, 50000u);
  EXPECT_EQ(chunked.taken.body, pattern(50000));

  // A status other than 200 is the front's to judge; the body is read whole.
  Exchange missing = exchange("http://www.clipdex.com/missing", way);
  EXPECT_TRUE(missing.result.whole);
  EXPECT_EQ(missing.result.status, 404);
  EXPECT_EQ(missing.taken.body, "<html>missing page</html>");

  // The secure connection to the same host.
  Exchange secure = exchange("https://www.clipdex.com/plain", way);
  EXPECT_TRUE(secure.result.whole) << "why " << secure.result.why;
  EXPECT_EQ(secure.taken.body, "<html>plain page</html>");
}

TEST_P(TransferCore, EachFaultEndsTheExchangeWithItsReason) {
  const Way way = GetParam();
  SCOPED_TRACE(way_name(way));
  const auto quick = [](TransferPlan& s) { s.receive_timeout = 1500; };

  Exchange cut = exchange("http://www.clipdex.com/part/cut", way);
  EXPECT_FALSE(cut.result.whole);
  EXPECT_EQ(cut.result.why, WHY_CUT_SHORT);
  EXPECT_EQ(cut.result.announced, 20000);
  EXPECT_LT(cut.result.received, 20000u);
  EXPECT_EQ(cut.taken.body, pattern(20000).substr(0, cut.taken.body.size()));

  Exchange reset = exchange("http://www.clipdex.com/part/reset", way);
  EXPECT_FALSE(reset.result.whole);
  EXPECT_TRUE(reset.result.why == WHY_READ_FAILED || reset.result.why == WHY_CUT_SHORT) << reset.result.why;
  EXPECT_LT(reset.result.received, 20000u);

  Exchange no_status = exchange("http://www.clipdex.com/part/reset-before-status", way);
  EXPECT_FALSE(no_status.result.whole);
  EXPECT_EQ(no_status.result.why, WHY_NOT_SENT);
  EXPECT_EQ(no_status.result.status, 0);
  EXPECT_EQ(no_status.taken.body, "");

  // A server that reads the request and never answers, and one that stops
  // in the middle of the body: each ends with the receive time-out.
  Exchange silent = exchange("http://www.clipdexsoft.com/ru/silent", way, quick);
  EXPECT_FALSE(silent.result.whole);
  EXPECT_EQ(silent.result.why, WHY_NOT_SENT);
  EXPECT_LT(silent.ms, 9000u);

  Exchange stalled = exchange("http://www.clipdex.com/part/stalled", way, quick);
  EXPECT_FALSE(stalled.result.whole);
  EXPECT_EQ(stalled.result.why, WHY_READ_FAILED);
  EXPECT_EQ(stalled.result.received, 3000u);
  EXPECT_LT(stalled.ms, 5500u) << "the stall lasts 6 s; the time-out is 1.5 s";

  // A byte every half second never meets the receive time-out: the budget
  // ends it.
  Exchange trickle = exchange("http://www.clipdex.com/part/trickle", way, [](TransferPlan& s) { s.budget = 1500; });
  EXPECT_FALSE(trickle.result.whole);
  EXPECT_EQ(trickle.result.why, WHY_BUDGET);
  EXPECT_LT(trickle.result.received, 200u);
  EXPECT_LT(trickle.ms, 4000u);
}

TEST_P(TransferCore, TheFrontsStepsAreFollowed) {
  const Way way = GetParam();
  SCOPED_TRACE(way_name(way));

  // Reads of the size answered() asks for, never more.
  Taken small;
  small.chunk = 700;
  Exchange sized = exchange("http://www.clipdex.com/whole/no-length", way, [](TransferPlan&) {}, small);
  EXPECT_TRUE(sized.result.whole);
  EXPECT_EQ(sized.taken.body, pattern(20000));
  for (DWORD n : sized.taken.pieces) EXPECT_LE(n, 700u);

  // The taker refuses: nothing more is read and the answer is not whole.
  Taken capped;
  capped.limit = 5000;
  Exchange refused = exchange("http://www.clipdex.com/large", way, [](TransferPlan&) {}, capped);
  EXPECT_FALSE(refused.result.whole);
  EXPECT_EQ(refused.result.why, WHY_REFUSED);
  EXPECT_EQ(refused.result.received, refused.taken.body.size());
  EXPECT_LT(refused.result.received, 5000u + 1024u);

  // answered() wants nothing of this answer: the status is known, no body.
  Taken none;
  none.chunk = 0;
  Exchange unread = exchange("http://www.clipdex.com/plain", way, [](TransferPlan&) {}, none);
  EXPECT_FALSE(unread.result.whole);
  EXPECT_EQ(unread.result.why, WHY_REFUSED);
  EXPECT_EQ(unread.result.status, 200);
  EXPECT_EQ(unread.result.received, 0u);

  // Asked to stop before it began: no request at all.
  volatile LONG stop = 1;
  Exchange cancelled = exchange("http://www.clipdex.com/plain", way, [&](TransferPlan& s) { s.cancel = &stop; });
  EXPECT_EQ(cancelled.result.why, WHY_CANCELLED);
  EXPECT_EQ(cancelled.taken.answered_calls, 0);
}

INSTANTIATE_TEST_SUITE_P(BothWays, TransferCore, ::testing::Values(Way::kOwnSession, Way::kCallersSession),
                         [](const ::testing::TestParamInfo<Way>& i) {
                           return i.param == Way::kOwnSession ? std::string("OwnSession") : std::string("CallersSession");
                         });

// Only HTTP and HTTPS are spoken when the front says so; an address that
// cannot be split gives no connection at all.
TEST(TransferCoreAddress, SchemesOtherThanHttpAndBrokenAddresses) {
  for (const char* address : {"ftp://www.clipdex.com/plain", "no address at all", ""}) {
    SCOPED_TRACE(address);
    Exchange e = exchange(address, Way::kOwnSession, [](TransferPlan& s) { s.only_http = true; });
    EXPECT_FALSE(e.result.whole);
    EXPECT_EQ(e.result.why, WHY_BAD_ADDRESS);
    EXPECT_EQ(e.taken.answered_calls, 0);
  }
}

// The download of an address as given (the updater's front): the request on
// the wire is the one InternetOpenUrlA makes of the same address, session,
// flags and headers.
TEST(TransferCoreAddress, AnAddressAsGivenGoesOnTheWireAsTheSystemWouldOpenIt) {
  fixture::RequestLog log;
  ASSERT_TRUE(log.available()) << "CX_FIXTURE_LOG is not set: run inside the namespace";
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  const char headers[] = "Referer: http://www.clipdexsoft.com/soft/\r\n";
  for (const char* address : {"http://www.clipdexsoft.com/plain", "http://www.clipdexsoft.com/query?list=a%20b&n=2",
                              "https://www.clipdex.com/plain", "http://www.clipdexsoft.com:80/./plain"}) {
    SCOPED_TRACE(address);
    HINTERNET session = InternetOpenA("wire test", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    ASSERT_NE(session, nullptr);
    log.mark();
    HINTERNET opened = InternetOpenUrlA(session, address, headers, DWORD(-1), flags, 0);
    ASSERT_NE(opened, nullptr);
    char sink[256];
    DWORD got = 0;
    while (InternetReadFile(opened, sink, sizeof sink, &got) && got) {
    }
    InternetCloseHandle(opened);
    std::vector<fixture::LoggedRequest> system = log.since();

    log.mark();
    Exchange core = exchange(address, Way::kCallersSession, [&](TransferPlan& t) {
      t.session = session;
      open_as_given(t);
      t.flags = flags;
      t.headers = headers;
      t.headers_length = DWORD(-1);
    });
    std::vector<fixture::LoggedRequest> ours = log.since();
    InternetCloseHandle(session);
    EXPECT_TRUE(core.result.whole);
    ASSERT_EQ(system.size(), 1u);
    ASSERT_EQ(ours.size(), 1u);
    EXPECT_EQ(ours[0].scheme, system[0].scheme);
    EXPECT_EQ(ours[0].head, system[0].head);
  }
}

// A request nobody takes is made as often as asked, the given pause apart;
// one that was answered is not made again, whatever its status.
TEST(TransferCoreAddress, RequestsNotTakenAreMadeAgain) {
  fixture::RequestLog log;
  ASSERT_TRUE(log.available()) << "CX_FIXTURE_LOG is not set: run inside the namespace";
  // Nothing listens on port 9 inside the namespace: refused at once.
  Exchange refused = exchange("http://www.clipdex.com:9/plain", Way::kOwnSession, [](TransferPlan& s) {
    s.attempts = 3;
    s.retry_pause = 600;
  });
  EXPECT_EQ(refused.result.why, WHY_NOT_SENT);
  EXPECT_GE(refused.ms, 1150u) << "two pauses of 600 ms between three attempts";
  EXPECT_LT(refused.ms, 8000u);

  log.mark();
  Exchange silent = exchange("http://www.clipdexsoft.com/ru/silent", Way::kOwnSession, [](TransferPlan& s) {
    s.attempts = 2;
    s.receive_timeout = 1000;
  });
  EXPECT_EQ(silent.result.why, WHY_NOT_SENT);
  EXPECT_EQ(log.since().size(), 2u) << "the silent server was asked twice";

  log.mark();
  Exchange answered = exchange("http://www.clipdex.com/missing", Way::kOwnSession, [](TransferPlan& s) { s.attempts = 3; });
  EXPECT_EQ(answered.result.status, 404);
  EXPECT_EQ(log.since().size(), 1u);
}

}  // namespace
}  // namespace cx::web
