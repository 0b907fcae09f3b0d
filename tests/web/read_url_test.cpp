// The plain URL reader against the fixture server, and the browser launch.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/browser_window.h"
#include "tests/support/win_probe.h"
#include "tests/web/net_support.h"
#include "web/browser_launch.h"
#include "web/read_url.h"

namespace cx {
namespace {

using fixture::LoggedRequest;
using fixture::RequestLog;
using testing::pattern;

struct Read {
  uint32_t chunk;
  uint32_t got;
};

void record_read(uint32_t chunk, uint32_t got, void* context) {
  static_cast<std::vector<Read>*>(context)->push_back({chunk, got});
}

class ReadUrl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(log_.available()) << "CX_FIXTURE_LOG is not set: run inside the namespace";
    set_read_url_observer(record_read, &reads_);
  }
  void TearDown() override { set_read_url_observer(nullptr, nullptr); }
  std::string read(const char* address) { return std::string(read_url(Text::copy(address)).view()); }
  std::vector<LoggedRequest> requests() { return log_.since(); }
  // Every read but the closing one asked for `chunk` bytes.
  void expect_chunks(uint32_t chunk) {
    ASSERT_FALSE(reads_.empty());
    for (const Read& r : reads_) EXPECT_EQ(r.chunk, chunk);
    EXPECT_EQ(reads_.back().got, 0u);
  }
  RequestLog log_;
  std::vector<Read> reads_;
};

TEST_F(ReadUrl, VersionFileComesBackAsRawBytes) {
  EXPECT_EQ(read("http://www.clipdexsoft.com/soft/clipdex/clipdex.txt"),
            "new=[V1.0]download=[http://www.clipdexsoft.com/soft/clipdex/Clipdex.exe]");
  std::vector<LoggedRequest> r = requests();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].request_line(), "GET /soft/clipdex/clipdex.txt HTTP/1.0");
  EXPECT_EQ(r[0].header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
  EXPECT_EQ(r[0].header("Host"), "www.clipdexsoft.com");
  EXPECT_NE(r[0].header("Accept").find("*/*"), std::string::npos);
}

TEST_F(ReadUrl, FragmentIsNeverSent) {
  EXPECT_EQ(read("http://www.clipdexsoft.com/ru/fragment#section-2"), "fragment page");
  std::vector<LoggedRequest> r = requests();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].request_line(), "GET /ru/fragment HTTP/1.0");
}

TEST_F(ReadUrl, BodyWithoutLengthIsReadWholeInSmallChunks) {
  std::string data = read("http://www.clipdexsoft.com/ru/noclen");
  EXPECT_EQ(data.size(), 30000u);
  EXPECT_TRUE(data == pattern(30000));
  expect_chunks(10240);
}

TEST_F(ReadUrl, AnnouncedLengthSetsTheChunk) {
  reads_.clear();
  std::string data = read("http://www.clipdexsoft.com/ru/short");
  EXPECT_EQ(data.size(), 700u);
  EXPECT_TRUE(data == pattern(700));
  expect_chunks(701);
}

TEST_F(ReadUrl, LargeAnnouncedLengthReadsInTheLargestChunkAndIsRefusedPastTheLimit) {
  ReadUrlOutcome outcome = ReadUrlOutcome::complete;
  Bytes b = read_url(Text::copy("http://www.clipdexsoft.com/ru/big"), &outcome);  // 500 000 bytes
  EXPECT_EQ(outcome, ReadUrlOutcome::too_long);
  EXPECT_TRUE(b.empty());
  ASSERT_FALSE(reads_.empty());
  for (const Read& r : reads_) EXPECT_EQ(r.chunk, 102400u);
}

// --- broken servers: the reader neither waits without end nor fills memory ---------------

struct Timed {
  std::string data;
  ReadUrlOutcome outcome = ReadUrlOutcome::complete;
  DWORD ms = 0;
};

Timed timed_read(const char* address) {
  Timed t;
  DWORD t0 = GetTickCount();
  t.data = std::string(read_url(Text::copy(address), &t.outcome).view());
  t.ms = GetTickCount() - t0;
  return t;
}

TEST_F(ReadUrl, BodyUpToTheLimitIsComplete) {
  Timed t = timed_read("http://www.clipdexsoft.com/ru/limit");
  EXPECT_EQ(t.outcome, ReadUrlOutcome::complete);
  EXPECT_EQ(t.data.size(), size_t(kReadUrlLimit));
  EXPECT_TRUE(t.data == pattern(kReadUrlLimit));
}

TEST_F(ReadUrl, OneByteOverTheLimitIsRefusedWhole) {
  Timed t = timed_read("http://www.clipdexsoft.com/ru/over");
  EXPECT_EQ(t.outcome, ReadUrlOutcome::too_long);
  EXPECT_TRUE(t.data.empty());
}

TEST_F(ReadUrl, EndlessBodyIsRefusedAtTheLimitAtOnce) {
  Timed t = timed_read("http://www.clipdexsoft.com/ru/endless");
  EXPECT_EQ(t.outcome, ReadUrlOutcome::too_long);
  EXPECT_TRUE(t.data.empty());
  uint64_t received = 0;
  for (const Read& r : reads_) received += r.got;
  EXPECT_LE(received, uint64_t(kReadUrlLimit) + 102400u) << "read on past the limit";
  EXPECT_LT(t.ms, 5000u);
  std::printf("endless body: refused after %llu bytes in %lu ms\n", (unsigned long long)received, (unsigned long)t.ms);
}

TEST_F(ReadUrl, SilentServerIsGivenUpWithinTheBudget) {
  Timed t = timed_read("http://www.clipdexsoft.com/ru/silent");
  EXPECT_EQ(t.outcome, ReadUrlOutcome::failed);
  EXPECT_TRUE(t.data.empty());
  EXPECT_EQ(requests().size(), 1u) << "the request reached the server";
  EXPECT_LE(t.ms, 15000u);
  std::printf("silent server: given up after %lu ms\n", (unsigned long)t.ms);
}

TEST_F(ReadUrl, ServerThatStopsSendingIsGivenUpAndTheCutIsReported) {
  // 10 bytes, then nothing for 30 s.
  Timed t = timed_read("http://www.clipdexsoft.com/ru/crawl");
  EXPECT_EQ(t.outcome, ReadUrlOutcome::failed);
  EXPECT_TRUE(t.data == pattern(10)) << "the bytes that came are returned";
  EXPECT_LE(t.ms, 15000u);
  std::printf("stalled body: given up after %lu ms\n", (unsigned long)t.ms);
}

TEST_F(ReadUrl, ServerSendingAByteEverySecondIsGivenUpWithinTheBudget) {
  // 100 bytes, one a second: no single wait runs into the receive time-out.
  Timed t = timed_read("http://www.clipdexsoft.com/ru/trickle");
  EXPECT_EQ(t.outcome, ReadUrlOutcome::failed);
  EXPECT_LE(t.ms, 15000u);
  EXPECT_GE(t.ms, kReadUrlBudgetMs);
  EXPECT_FALSE(t.data.empty());
  EXPECT_TRUE(t.data == pattern(t.data.size())) << "the bytes that came are returned";
  std::printf("trickling body: given up after %lu ms with %zu bytes\n", (unsigned long)t.ms, t.data.size());
}

TEST_F(ReadUrl, ConnectionClosedBeforeTheAnnouncedLengthIsNotComplete) {
  Timed t = timed_read("http://www.clipdexsoft.com/ru/cut");
  EXPECT_NE(t.outcome, ReadUrlOutcome::complete);
  EXPECT_TRUE(t.data == pattern(3000));
}

TEST_F(ReadUrl, CompleteAnswersSayComplete) {
  for (const char* address : {"http://www.clipdexsoft.com/ru/short", "http://www.clipdexsoft.com/ru/noclen",
                              "http://www.clipdexsoft.com/ru/missing"}) {
    SCOPED_TRACE(address);
    EXPECT_EQ(timed_read(address).outcome, ReadUrlOutcome::complete);
  }
  for (const char* address : {"", "http://nowhere.clipdex.invalid/x", "ftp://www.clipdexsoft.com/x"}) {
    SCOPED_TRACE(address);
    EXPECT_EQ(timed_read(address).outcome, ReadUrlOutcome::failed);
  }
}

TEST_F(ReadUrl, RootHandleIsKeptBetweenCalls) {
  read("http://www.clipdexsoft.com/ru/short");
  const void* first = read_url_root_handle();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(read("http://www.clipdexsoft.com/ru/fragment"), "fragment page");
  EXPECT_EQ(read_url_root_handle(), first);
}

TEST_F(ReadUrl, ShutdownClosesTheRootAndTheNextCallOpensAnother) {
  read("http://www.clipdexsoft.com/ru/short");
  ASSERT_NE(read_url_root_handle(), nullptr);
  read_url_shutdown();
  EXPECT_EQ(read_url_root_handle(), nullptr);
  EXPECT_EQ(read("http://www.clipdexsoft.com/ru/fragment"), "fragment page");
  EXPECT_NE(read_url_root_handle(), nullptr);
}

TEST_F(ReadUrl, ValidHttpsIsRead) { EXPECT_EQ(read("https://www.clipdex.com/ru/fragment"), "fragment page"); }

TEST_F(ReadUrl, InvalidCertificatesGiveNothing) {
  for (const char* address : {"https://www.clipdex.com:8443/ru/fragment", "https://www.clipdex.com:8444/ru/fragment"}) {
    SCOPED_TRACE(address);
    Bytes b = read_url(Text::copy(address));
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(b.block(), nullptr);
  }
}

TEST_F(ReadUrl, ErrorPageIsReturnedAsData) {
  EXPECT_EQ(read("http://www.clipdexsoft.com/ru/missing"), "reader missing page");
}

TEST_F(ReadUrl, CompressedBodyIsNotInflated) {
  std::string data = read("http://www.clipdexsoft.com/ru/gzip");
  ASSERT_GE(data.size(), 2u);
  EXPECT_EQ(uint8_t(data[0]), 0x1F);
  EXPECT_EQ(uint8_t(data[1]), 0x8B);
}

TEST_F(ReadUrl, FailuresGiveTheEmptyByteString) {
  for (const char* address : {"", "not an address", "http://nowhere.clipdex.invalid/x", "http://www.clipdexsoft.com:81/x",
                              "ftp://www.clipdexsoft.com/x"}) {
    SCOPED_TRACE(address);
    EXPECT_TRUE(read_url(Text::copy(address)).empty());
  }
  EXPECT_TRUE(requests().empty());
}

// --- Browser launch -------------------------------------------------------------------

std::string temp_path(const char* name) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + name;
}

bool wait_for_file(const std::string& path, int timeout_ms) {
  return probe::wait_until([&] { return probe::exists(path); }, timeout_ms);
}

// A script the shell's "open" verb runs; it leaves a marker file behind.
std::string marker_script(const char* tag, std::string* marker) {
  *marker = temp_path((std::string("cx_open_") + tag + ".done").c_str());
  DeleteFileA(marker->c_str());
  std::string script = temp_path((std::string("cx_open_") + tag + ".bat").c_str());
  FILE* f = std::fopen(script.c_str(), "wb");
  if (f) {
    std::fprintf(f, "@echo opened> \"%s\"\r\n", marker->c_str());
    std::fclose(f);
  }
  return script;
}

TEST(OpenInBrowser, AddressIsOpenedWithoutAnOwnerWindow) {
  ASSERT_EQ(FindWindowExA(nullptr, nullptr, nullptr, "Microsoft Internet Explorer"), nullptr);
  std::string marker;
  Text script = Text::copy(marker_script("plain", &marker));
  open_in_browser(script);
  EXPECT_TRUE(wait_for_file(marker, 30000));
}

TEST(OpenInBrowser, AddressIsOpenedWithTheBrowserWindowAsOwner) {
  probe::FakeBrowserWindow browser;
  ASSERT_NE(browser.get(), nullptr);
  std::string marker;
  Text script = Text::copy(marker_script("owned", &marker));
  open_in_browser(&script);
  EXPECT_TRUE(wait_for_file(marker, 30000));
}

}  // namespace
}  // namespace cx
