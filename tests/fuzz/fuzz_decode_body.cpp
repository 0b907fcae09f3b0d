// Body decoding on arbitrary bodies: results stay within the body cap, plain
// bodies are read whole without their zero bytes, and whatever data is gzip
// coded (whole, in two members, cut off, with a wrong check value) comes
// back as the decoder promises.
#include <zlib.h>

#include <string>
#include <string_view>

#include "web/decode_body.h"
#include "web/page_end.h"
#include "tests/fuzz/fuzz_support.h"

namespace cx::fuzz {
namespace {

std::string deflate_with(std::string_view data, int window_bits) {
  z_stream s{};
  CX_CHECK(deflateInit2(&s, 6, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY) == Z_OK);
  std::string out(deflateBound(&s, uLong(data.size())) + 32, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = uInt(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = uInt(out.size());
  CX_CHECK(deflate(&s, Z_FINISH) == Z_STREAM_END);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

std::string gzip(std::string_view data) { return deflate_with(data, 31); }

Text decode(std::string_view body, int32_t coding, const Text& type) {
  return decode_body(reinterpret_cast<const uint8_t*>(body.data()), uint32_t(body.size()), coding, type);
}

bool is_prefix(std::string_view part, std::string_view whole) { return whole.substr(0, part.size()) == part; }

}  // namespace
}  // namespace cx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace cx;
  using namespace cx::fuzz;
  if (size < 2) return 0;
  // Coding 3 is none the server sends; it must be read as safely as the others.
  const int32_t coding = data[0] & 3;
  static const Text kTypes[] = {Text(), Text::literal("text/html"), Text::literal("text/html; charset=UTF-8")};
  const Text& type = kTypes[data[1] % 3];
  const bool utf8 = data[1] % 3 == 2;
  const std::string_view body(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::string_view whole(reinterpret_cast<const char*>(data), size);

  BodyDecoding how;
  const Text got = decode_body(reinterpret_cast<const uint8_t*>(body.data()), uint32_t(body.size()), coding, type, &how);
  CX_CHECK(size_t(got.length()) <= kMaxBodyBytes);
  // Used whole or not at all; the page's own end is read from any bytes.
  BodyDecoding whole_how;
  const Text whole_only = decode_whole_body(reinterpret_cast<const uint8_t*>(body.data()), uint32_t(body.size()),
                                            coding, type, &whole_how);
  CX_CHECK(whole_how.complete == how.complete && whole_how.ends_itself == how.ends_itself);
  CX_CHECK(how.complete ? whole_only.view() == got.view() : whole_only.empty());
  CX_CHECK(!how.ends_itself || coding != CODING_NONE);
  page_shows_its_end(got.view());
  page_shows_its_end(body);
  const bool gzip_signature = body.size() >= 2 && uint8_t(body[0]) == 0x1F && uint8_t(body[1]) == 0x8B;
  // A lone first signature byte with nothing behind it is no member and is
  // not copied through either (the header step puts it back unread).
  const bool lone_signature_byte = body.size() == 1 && uint8_t(body[0]) == 0x1F;
  if (!utf8 && (coding == CODING_NONE || (coding == CODING_GZIP && !gzip_signature && !lone_signature_byte))) {
    // Plain data, or data a gzip reader copies through: every byte but the zeros.
    CX_CHECK_MSG(got.view() == without_zeros(body), "plain body " + hex(body) + " gave " + hex(got.view()));
  }
  if (utf8 && coding == CODING_NONE) {
    // UTF-8 never grows in GBK; pure ASCII stays as it is.
    const std::string text = without_zeros(body);
    CX_CHECK(size_t(got.length()) <= text.size());
    bool ascii = true;
    for (char c : text) ascii = ascii && uint8_t(c) < 0x80;
    if (ascii) CX_CHECK(got.view() == text);
  }

  // Round trips over the whole input: one member read by either coding,
  // two members in a row, a zlib stream; a cut-off member gives a prefix
  // and a wrong check value keeps what was decoded.
  const std::string want = without_zeros(whole);
  const std::string member = gzip(whole);
  const Text plain = Text();
  CX_CHECK_MSG(decode(member, CODING_GZIP, plain).view() == want, "gzip round trip of " + hex(whole));
  CX_CHECK(decode(member, CODING_DEFLATE, plain).view() == want);
  CX_CHECK(decode(deflate_with(whole, 15), CODING_DEFLATE, plain).view() == want);
  CX_CHECK(decode(deflate_with(whole, -15), CODING_DEFLATE, plain).view() == want);
  const size_t split = data[0] % size;
  const std::string two = gzip(whole.substr(0, split)) + gzip(whole.substr(split));
  CX_CHECK_MSG(decode(two, CODING_GZIP, plain).view() == want, "two members of " + hex(whole));
  const size_t cut = 10 + size_t(data[1]) % (member.size() - 10);
  const Text partial = decode(std::string_view(member).substr(0, cut), CODING_GZIP, plain);
  CX_CHECK_MSG(is_prefix(partial.view(), want), "cut member gave " + hex(partial.view()));
  std::string wrong = member;
  wrong[wrong.size() - 8] = char(wrong[wrong.size() - 8] ^ 0x5A);
  CX_CHECK(decode(wrong, CODING_GZIP, plain).view() == want);
  return 0;
}
