#include "web/decode_body.h"

#include <cstring>
#include <string>

#include "services/ascii.h"
#include "services/codepage.h"
#include "services/text.h"
#include "web/gzip_reader.h"

namespace cx {

namespace {

bool names_utf8(const Text& content_type) {
  std::string lower(content_type.view());
  for (char& c : lower) c = ascii_lower(c);
  return lower.find("utf-8") != std::string::npos;
}

// Bytes before the first zero byte (all of them when there is none). Looks at
// a word at a time: the runtime's byte scan is slow on long pages.
size_t text_length(const uint8_t* p, size_t n) {
  size_t i = 0;
  for (; i < n && (reinterpret_cast<uintptr_t>(p + i) & 7) != 0; ++i) {
    if (p[i] == 0) return i;
  }
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (((w - 0x0101010101010101ull) & ~w & 0x8080808080808080ull) != 0) break;
  }
  for (; i < n; ++i) {
    if (p[i] == 0) return i;
  }
  return n;
}

// ASCII reads the same in UTF-8 and in the ANSI code page: such a page (a
// continuation answer escapes every other character) needs no conversion.
bool plain_ascii(const uint8_t* p, size_t n) { return all_ascii(std::string_view(reinterpret_cast<const char*>(p), n)); }

// The bytes as a text. A zero byte would end the text there and every tile
// behind it would be lost without a trace: zero bytes are dropped instead.
Text finish(const uint8_t* p, size_t n, bool utf8) {
  if (p == nullptr || n == 0) return Text();
  std::string kept;
  if (text_length(p, n) < n) {
    kept.reserve(n);
    for (size_t i = 0; i < n; ++i)
      if (p[i] != 0) kept += char(p[i]);
    p = reinterpret_cast<const uint8_t*>(kept.data());
    n = kept.size();
  }
  if (n == 0) return Text();
  if (utf8 && !plain_ascii(p, n)) return utf8_to_ansi(p, n);
  return Text::copy(reinterpret_cast<const char*>(p), n);
}

Text decode(const uint8_t* body, uint32_t length, int32_t content_coding, const Text& content_type, BodyDecoding& how,
            bool whole_only) {
  if (body == nullptr || length == 0) return Text();
  if (length > kMaxBodyBytes) {
    how.complete = false;
    if (whole_only) return Text();
    length = uint32_t(kMaxBodyBytes);
  }
  bool utf8 = names_utf8(content_type);
  if (content_coding == CODING_NONE) return finish(body, length, utf8);

  BodyBytes* out;
  GzipMemoryReader reader(body, length, kMaxBodyBytes);
  BodyBytes deflated(kMaxBodyBytes);
  bool gzip_signature = length >= 2 && body[0] == 0x1F && body[1] == 0x8B;
  if (content_coding == CODING_DEFLATE && !gzip_signature) {
    bool stream_end = false;
    if (!inflate_deflate_body(body, length, deflated, &stream_end)) how.complete = false;
    how.ends_itself = stream_end;
    out = &deflated;
  } else {
    reader.run();
    if (!reader.reached_end()) how.complete = false;
    how.ends_itself = reader.closed_by_trailer();
    out = &reader.output();
  }
  // Not one byte of a part is converted: it would only be thrown away.
  if (whole_only && !how.complete) return Text();
  // The output block is zero-terminated already: when it needs no
  // conversion, hand it over instead of copying a page-sized buffer, unless
  // it holds zero bytes (then finish copies the bytes without them).
  if (out->length() > 0) {
    size_t n = text_length(out->data(), out->length());
    if (n == out->length() && (!utf8 || plain_ascii(out->data(), n))) {
      if (uint8_t* block = out->release_heap_block()) return Text::adopt(reinterpret_cast<char*>(block));
    }
  }
  return finish(out->data(), out->length(), utf8);
}

Text decode_reporting(const uint8_t* body, uint32_t length, int32_t content_coding, const Text& content_type,
                      BodyDecoding* how, bool whole_only) {
  BodyDecoding found;
  Text t = decode(body, length, content_coding, content_type, found, whole_only);
  if (how) *how = found;
  return t;
}

}  // namespace

Text decode_body(const uint8_t* body, uint32_t length, int32_t content_coding, const Text& content_type,
                 BodyDecoding* how) {
  return decode_reporting(body, length, content_coding, content_type, how, false);
}

Text decode_whole_body(const uint8_t* body, uint32_t length, int32_t content_coding, const Text& content_type,
                       BodyDecoding* how) {
  return decode_reporting(body, length, content_coding, content_type, how, true);
}

}  // namespace cx
