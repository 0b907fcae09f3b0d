// Timing of body decoding: decode_body on a 1 MB gzip page beside zlib's own
// inflate of the same bytes, and UTF-8 to GBK conversion of a 1 MB Chinese
// page. Prints its figures; runs natively and under Wine.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include <zlib.h>

#include "services/codepage.h"
#include "tests/web/gzip_builder.h"
#include "web/decode_body.h"

namespace {

// Literals of this file are compiled to GBK; the pages must be UTF-8.
const char* u8s(const char8_t* s) { return reinterpret_cast<const char*>(s); }

double now_seconds() {
#ifdef _WIN32
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) / double(f.QuadPart);
#else
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
#endif
}

// Best of `runs` timings of fn, in seconds.
template <typename F>
double best_of(int runs, F fn) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    double t0 = now_seconds();
    fn();
    best = std::min(best, now_seconds() - t0);
  }
  return best;
}

// A listing page of video tiles, about `size` bytes, in UTF-8.
std::string listing_page(size_t size) {
  std::string page = u8s(u8"<html><head><meta charset=\"utf-8\"><title>频道视频</title></head><body>\n");
  const char* words[] = {u8s(u8"中文"), u8s(u8"频道"), u8s(u8"视频"), u8s(u8"最新"), u8s(u8"教程"),
                         u8s(u8"音乐"), u8s(u8"直播"), u8s(u8"精选"), u8s(u8"合集"), u8s(u8"第")};
  uint32_t x = 2024;
  for (int n = 0; page.size() < size; ++n) {
    x = x * 1103515245u + 12345u;
    char id[16];
    for (int i = 0; i < 11; ++i) id[i] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"[(x >> (i * 2 + 3)) % 64];
    id[11] = 0;
    page += "<div class=\"cx-lockup-title\"><a href=\"/watch?v=";
    page += id;
    page += "\" title=\"";
    for (int w = 0; w < 4; ++w) page += words[(x >> (w * 5)) % 10];
    page += " " + std::to_string(n) + "\">";
    page += words[(x >> 7) % 10];
    page += words[(x >> 11) % 10];
    page += "</a></div><div class=\"cx-lockup-meta\">" + std::to_string(x % 100000) + u8s(u8" 次观看</div>\n");
  }
  page += "</body></html>";
  return page;
}

// Dense Chinese text (every character three UTF-8 bytes, all in GBK).
std::string chinese_page(size_t size) {
  const char* text = u8s(u8"视频地址批量获取工具正在加载信息已经全部获取频道列表中文标题播放次数发布时间");
  std::string page;
  while (page.size() < size) page += text;
  return page;
}

}  // namespace

int main() {
  const int runs = 60;

  std::string page = listing_page(1 << 20);
  std::string body = cx::testing::gzip_member(page, {.level = 6});
  std::vector<uint8_t> out(page.size() + 64);
  Bytef* in = reinterpret_cast<Bytef*>(body.data());

  // zlib alone, into a buffer kept between runs and into a new buffer of the
  // known size each time (a one-shot decoder has to allocate its result
  // too), and decode_body; the three run in turn so that they share the
  // machine's conditions.
  size_t zlib_bytes = 0, fresh_bytes = 0, decoded_bytes = 0;
  auto zlib_into = [&](uint8_t* dst, size_t room) {
    z_stream s{};
    inflateInit2(&s, 16 + MAX_WBITS);
    s.next_in = in;
    s.avail_in = uInt(body.size());
    s.next_out = dst;
    s.avail_out = uInt(room);
    inflate(&s, Z_FINISH);
    inflateEnd(&s);
    return size_t(s.total_out);
  };
  // zlib fed and drained in the same 4 096-byte pieces the reader uses, with
  // the same CRC: the share of the time that the piece size itself costs.
  auto zlib_pieces = [&] {
    z_stream s{};
    inflateInit2(&s, -MAX_WBITS);
    const Bytef* src = in + 10;
    size_t left = body.size() - 18, o = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    for (int rc = Z_OK; rc == Z_OK;) {
      if (s.avail_in == 0) {
        size_t n = std::min<size_t>(4096, left);
        s.next_in = const_cast<Bytef*>(src);
        s.avail_in = uInt(n);
        src += n;
        left -= n;
      }
      size_t room = std::min<size_t>(4096, out.size() - o);
      s.next_out = out.data() + o;
      s.avail_out = uInt(room);
      rc = inflate(&s, Z_NO_FLUSH);
      size_t got = room - s.avail_out;
      crc = crc32(crc, out.data() + o, uInt(got));
      o += got;
    }
    inflateEnd(&s);
    return o;
  };
  size_t pieces_bytes = 0;
  cx::Text html = cx::Text::literal("text/html");
  double t_zlib = 1e30, t_zlib_fresh = 1e30, t_decode = 1e30, t_pieces = 1e30;
  for (int i = 0; i < runs; ++i) {
    t_zlib = std::min(t_zlib, best_of(1, [&] { zlib_bytes = zlib_into(out.data(), out.size()); }));
    t_zlib_fresh = std::min(t_zlib_fresh, best_of(1, [&] {
      std::vector<uint8_t> fresh(page.size() + 1);
      fresh_bytes = zlib_into(fresh.data(), fresh.size());
    }));
    t_pieces = std::min(t_pieces, best_of(1, [&] { pieces_bytes = zlib_pieces(); }));
    t_decode = std::min(t_decode, best_of(1, [&] {
      cx::Text t = cx::decode_body(reinterpret_cast<const uint8_t*>(body.data()), uint32_t(body.size()),
                                   cx::CODING_GZIP, html);
      decoded_bytes = size_t(t.length());
    }));
  }

  cx::Text utf8_type = cx::Text::literal("text/html; charset=utf-8");
  size_t converted_page = 0;
  double t_full = best_of(runs, [&] {
    cx::Text t = cx::decode_body(reinterpret_cast<const uint8_t*>(body.data()), uint32_t(body.size()),
                                 cx::CODING_GZIP, utf8_type);
    converted_page = size_t(t.length());
  });

  std::string chinese = chinese_page(1 << 20);
  size_t gbk_bytes = 0;
  double t_convert = best_of(runs, [&] {
    cx::Text t = cx::utf8_to_ansi(reinterpret_cast<const uint8_t*>(chinese.data()), chinese.size());
    gbk_bytes = size_t(t.length());
  });

  const double mb = 1024.0 * 1024.0;
#ifdef _WIN32
  const char* where = "windows";
#else
  const char* where = "native";
#endif
  std::printf("decode benchmarks (%s), best of %d runs\n", where, runs);
  std::printf("  gzip page: %zu bytes decoded from %zu\n", page.size(), body.size());
  std::printf("  zlib inflate            %8.3f ms  %8.1f MB/s  (%zu bytes)\n", t_zlib * 1e3,
              double(page.size()) / mb / t_zlib, zlib_bytes);
  std::printf("  zlib inflate, new buffer%8.3f ms  %8.1f MB/s  (%zu bytes)\n", t_zlib_fresh * 1e3,
              double(page.size()) / mb / t_zlib_fresh, fresh_bytes);
  std::printf("  zlib in 4096-byte pieces%8.3f ms  %8.1f MB/s  (%zu bytes)\n", t_pieces * 1e3,
              double(page.size()) / mb / t_pieces, pieces_bytes);
  std::printf("  decode_body gzip        %8.3f ms  %8.1f MB/s  (%zu bytes)\n", t_decode * 1e3,
              double(page.size()) / mb / t_decode, decoded_bytes);
  std::printf("  ratio decode_body / zlib: %.2fx (reused buffer), %.2fx (new buffer); goal <= 1.30x\n",
              t_decode / t_zlib, t_decode / t_zlib_fresh);
  std::printf("  decode_body gzip+utf-8  %8.3f ms  %8.1f MB/s  (%zu GBK bytes)\n", t_full * 1e3,
              double(page.size()) / mb / t_full, converted_page);
  std::printf("  utf8_to_ansi 1 MB zh    %8.3f ms  %8.1f MB/s of UTF-8 input  (%zu -> %zu bytes)\n",
              t_convert * 1e3, double(chinese.size()) / mb / t_convert, chinese.size(), gbk_bytes);
  bool ok = zlib_bytes == page.size() && fresh_bytes == page.size() && pieces_bytes == page.size() &&
            decoded_bytes == page.size() && gbk_bytes == chinese.size() / 3 * 2;
  if (!ok) std::printf("  unexpected sizes: the figures above are not comparable\n");
  return ok ? 0 : 1;
}
