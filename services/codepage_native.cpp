// Code-page conversions in the native build. The GBK tables are read once
// from the C library's converter; the conversions themselves follow the
// Windows converters: UTF-16 units GBK lacks (lone surrogates and every half
// of a pair included) become "?", malformed UTF-8 becomes U+FFFD per
// maximal invalid subsequence.
#include <iconv.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "services/codepage.h"

namespace cx {

namespace {

struct GbkTables {
  uint16_t to_gbk[65536];              // 0: not in the code page
  uint16_t to_unicode[128][256];       // [lead - 0x80][trail]; 0: not a character
};

const GbkTables& tables() {
  static std::unique_ptr<GbkTables> t;
  static std::once_flag once;
  std::call_once(once, [] {
    t = std::make_unique<GbkTables>();
    std::memset(t.get(), 0, sizeof(GbkTables));
    for (unsigned c = 1; c < 0x80; ++c) t->to_gbk[c] = uint16_t(c);
    // Code page 936 keeps the euro sign on its single byte 0x80.
    t->to_gbk[0x20AC] = 0x80;
    iconv_t cd = iconv_open("UTF-16LE", "CP936");
    if (cd == iconv_t(-1)) cd = iconv_open("UTF-16LE", "GBK");
    if (cd == iconv_t(-1)) return;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        char in[2] = {char(lead), char(trail)};
        char outb[8];
        char* ip = in;
        char* op = outb;
        size_t il = 2, ol = sizeof outb;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &ip, &il, &op, &ol) == size_t(-1) || il != 0 || op - outb != 2) continue;
        uint16_t u = uint16_t(uint8_t(outb[0]) | (uint8_t(outb[1]) << 8));
        if (u == 0 || (u >= 0xD800 && u < 0xE000)) continue;
        t->to_unicode[lead - 0x80][trail] = u;
        if (t->to_gbk[u] == 0) t->to_gbk[u] = uint16_t((lead << 8) | trail);
      }
    }
    iconv_close(cd);
  });
  return *t;
}

// Appends the GBK bytes of one UTF-16 unit ("?" when the code page lacks it).
inline char* put_unit(char* o, char16_t u, const GbkTables& t) {
  if (u == 0) {
    *o++ = 0;
    return o;
  }
  uint16_t g = t.to_gbk[u];
  if (g == 0) {
    *o++ = '?';
  } else if (g < 0x100) {
    *o++ = char(g);
  } else {
    *o++ = char(g >> 8);
    *o++ = char(g & 0xFF);
  }
  return o;
}

inline int unit_size(char16_t u, const GbkTables& t) { return t.to_gbk[u] >= 0x100 ? 2 : 1; }

// UTF-8 to UTF-16, malformed input replaced the way the Windows decoder does.
std::u16string decode_utf8(const uint8_t* b, size_t n) {
  std::u16string w;
  w.reserve(n);
  size_t i = 0;
  while (i < n) {
    uint8_t c = b[i];
    if (c < 0x80) {
      w.push_back(char16_t(c));
      ++i;
      continue;
    }
    int need;
    uint32_t cp;
    uint8_t lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) { need = 1; cp = c & 0x1F; }
    else if (c == 0xE0) { need = 2; cp = c & 0x0F; lo = 0xA0; }
    else if (c >= 0xE1 && c <= 0xEC) { need = 2; cp = c & 0x0F; }
    else if (c == 0xED) { need = 2; cp = c & 0x0F; hi = 0x9F; }
    else if (c >= 0xEE && c <= 0xEF) { need = 2; cp = c & 0x0F; }
    else if (c == 0xF0) { need = 3; cp = c & 0x07; lo = 0x90; }
    else if (c >= 0xF1 && c <= 0xF3) { need = 3; cp = c & 0x07; }
    else if (c == 0xF4) { need = 3; cp = c & 0x07; hi = 0x8F; }
    else {
      w.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < need; ++k, ++j) {
      uint8_t lo_k = k == 0 ? lo : 0x80, hi_k = k == 0 ? hi : 0xBF;
      if (j >= n || b[j] < lo_k || b[j] > hi_k) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (b[j] & 0x3F);
    }
    if (!ok) {
      w.push_back(u'\uFFFD');
      i = j;  // the byte that broke the sequence starts the next one
      continue;
    }
    i = j;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      w.push_back(char16_t(0xD800 + (cp >> 10)));
      w.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      w.push_back(char16_t(cp));
    }
  }
  return w;
}

}  // namespace

Text utf16_to_ansi(const char16_t* w, size_t n) {
  if (w == nullptr || n == 0) return Text();
  const GbkTables& t = tables();
  auto* a = static_cast<char*>(heap_allocate(2 * n + 1));
  char* o = a;
  for (size_t i = 0; i < n; ++i) {
    if (w[i] == 0) break;
    o = put_unit(o, w[i], t);
  }
  *o = 0;
  return Text::adopt(a);
}

Text utf8_to_ansi(const uint8_t* bytes, size_t n) {
  if (bytes == nullptr || n == 0) return Text();
  if (const void* z = std::memchr(bytes, 0, n)) n = size_t(static_cast<const uint8_t*>(z) - bytes);
  if (n == 0) return Text();
  std::u16string w = decode_utf8(bytes, n);
  return utf16_to_ansi(w.data(), w.size());
}

std::u16string ansi_to_utf16(std::string_view s) {
  const GbkTables& t = tables();
  std::u16string w;
  w.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint8_t c = uint8_t(s[i]);
    if (c < 0x80) {
      w.push_back(char16_t(c));
    } else if (c == 0x80) {
      w.push_back(u'\u20AC');
    } else if (c == 0xFF || i + 1 >= s.size()) {
      w.push_back(u'?');
    } else {
      uint8_t d = uint8_t(s[i + 1]);
      if (d < 0x40 || d == 0x7F || d == 0xFF) {
        w.push_back(u'?');  // not a trail byte: it starts the next character
      } else {
        uint16_t u = t.to_unicode[c - 0x80][d];
        w.push_back(u ? char16_t(u) : u'?');
        ++i;
      }
    }
  }
  return w;
}

namespace {

// Base letter and combining mark to the precomposed letter, for the letters
// code page 936 holds (the pinyin vowels and a few more).
char16_t compose(char16_t base, char16_t mark) {
  static const struct { char16_t base, mark, composed; } kPairs[] = {
      {u'a', 0x304, 0x101}, {u'a', 0x301, 0xE1}, {u'a', 0x30C, 0x1CE}, {u'a', 0x300, 0xE0},
      {u'e', 0x304, 0x113}, {u'e', 0x301, 0xE9}, {u'e', 0x30C, 0x11B}, {u'e', 0x300, 0xE8}, {u'e', 0x302, 0xEA},
      {u'i', 0x304, 0x12B}, {u'i', 0x301, 0xED}, {u'i', 0x30C, 0x1D0}, {u'i', 0x300, 0xEC},
      {u'o', 0x304, 0x14D}, {u'o', 0x301, 0xF3}, {u'o', 0x30C, 0x1D2}, {u'o', 0x300, 0xF2},
      {u'u', 0x304, 0x16B}, {u'u', 0x301, 0xFA}, {u'u', 0x30C, 0x1D4}, {u'u', 0x300, 0xF9}, {u'u', 0x308, 0xFC},
      {0xFC, 0x304, 0x1D6}, {0xFC, 0x301, 0x1D8}, {0xFC, 0x30C, 0x1DA}, {0xFC, 0x300, 0x1DC},
      {u'm', 0x301, 0x1E3F}, {u'n', 0x301, 0x144}, {u'n', 0x30C, 0x148}, {u'n', 0x300, 0x1F9},
  };
  for (const auto& p : kPairs)
    if (p.base == base && p.mark == mark) return p.composed;
  return 0;
}

}  // namespace

int wide_to_multibyte_936(uint32_t flags, const char16_t* w, int n, char* out, int size) {
  if (w == nullptr || n == 0 || n < -1 || size < 0) return 0;
  if (size > 0 && out == nullptr) return 0;
  const GbkTables& t = tables();
  size_t count;
  if (n == -1) {
    count = 0;
    while (w[count] != 0) ++count;
    ++count;  // the zero unit is converted too
  } else {
    count = size_t(n);
  }
  const bool composite = (flags & 0x200u) != 0;  // WC_COMPOSITECHECK
  // One pass measures (out == null), a second one writes.
  auto run = [&](char* o) -> size_t {
    char buf[2];
    size_t total = 0;
    for (size_t i = 0; i < count; ++i) {
      char16_t u = w[i];
      if (composite && i + 1 < count) {
        char16_t c = compose(u, w[i + 1]);
        if (c != 0 && t.to_gbk[c] != 0) {
          u = c;
          ++i;
        }
      }
      char* e = put_unit(o ? o + total : buf, u, t);
      total += size_t(e - (o ? o + total : buf));
    }
    return total;
  };
  size_t need = run(nullptr);
  if (need > 0x7FFFFFFF) return 0;
  if (size == 0) return int(need);
  if (need > size_t(size)) return 0;
  return int(run(out));
}

}  // namespace cx
