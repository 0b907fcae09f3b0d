// Builds gzip members, zlib streams and raw deflate data for the decoding
// tests, with control over header flags and trailer fields.
#pragma once

#include <cstdint>
#include <string>

#include <zlib.h>

namespace cx::testing {

inline std::string raw_deflate(const std::string& data, int level = 6) {
  z_stream s{};
  deflateInit2(&s, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&s, uLong(data.size())) + 16, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = uInt(data.size());
  s.next_out = reinterpret_cast<Bytef*>(&out[0]);
  s.avail_out = uInt(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

inline std::string zlib_wrapped(const std::string& data) {
  uLongf n = compressBound(uLong(data.size()));
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &n, reinterpret_cast<const Bytef*>(data.data()), uLong(data.size()), 6);
  out.resize(n);
  return out;
}

inline void put_le32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
}

struct MemberOptions {
  int level = 6;
  uint8_t method = 8;
  uint8_t flags = 0;          // header flags; the fields they announce are added
  std::string extra = "xy";   // FEXTRA payload
  std::string name = "page.html";
  std::string comment = "a comment";
  bool wrong_crc = false;
  bool wrong_length = false;
};

inline std::string gzip_member(const std::string& data, const MemberOptions& o = {}) {
  std::string m;
  m.push_back(char(0x1F));
  m.push_back(char(0x8B));
  m.push_back(char(o.method));
  m.push_back(char(o.flags));
  m.append("\x00\x00\x00\x00\x00\x03", 6);
  if (o.flags & 0x04) {
    m.push_back(char(o.extra.size() & 0xFF));
    m.push_back(char(o.extra.size() >> 8));
    m += o.extra;
  }
  if (o.flags & 0x08) { m += o.name; m.push_back('\0'); }
  if (o.flags & 0x10) { m += o.comment; m.push_back('\0'); }
  if (o.flags & 0x02) m.append("\xAB\xCD", 2);
  m += raw_deflate(data, o.level);
  uint32_t crc = uint32_t(crc32(0L, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
  put_le32(m, o.wrong_crc ? crc ^ 0x5A5A5A5Au : crc);
  put_le32(m, uint32_t(data.size()) + (o.wrong_length ? 7u : 0u));
  return m;
}

// Text that compresses poorly (so cut-off and piece-boundary cases cover
// several 4 096-byte input pieces), reproducible from the seed.
inline std::string noisy_text(size_t n, uint32_t seed = 12345) {
  std::string s(n, ' ');
  uint32_t x = seed;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = char('!' + (x >> 16) % 90);
  }
  return s;
}

}  // namespace cx::testing
