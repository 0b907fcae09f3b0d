#include "web/gzip_reader.h"

#include <algorithm>
#include <cstring>

#include "services/heap.h"

namespace cx {

namespace {
constexpr uint8_t kMagic[2] = {0x1F, 0x8B};
constexpr int kFlagHeaderCrc = 0x02;
constexpr int kFlagExtra = 0x04;
constexpr int kFlagName = 0x08;
constexpr int kFlagComment = 0x10;
constexpr int kFlagReserved = 0xE0;
}  // namespace

// ---------------------------------------------------------------------------
// GzipMemoryReader

GzipMemoryReader::GzipMemoryReader(const uint8_t* source, uint32_t length, size_t output_limit)
    : source_(source), source_length_(length), output_(output_limit) {}

GzipMemoryReader::~GzipMemoryReader() {
  if (stream_ready_) inflateEnd(&stream_);
  heap_release(input_buffer_);
}

bool GzipMemoryReader::open() {
  if (source_ == nullptr) return false;
  input_buffer_ = static_cast<uint8_t*>(heap_allocate(kPieceSize));
  crc_ = crc32(0L, Z_NULL, 0);
  std::memset(&stream_, 0, sizeof stream_);
  stream_.next_in = input_buffer_;
  stream_.avail_in = 0;
  if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) return false;
  stream_ready_ = true;
  return true;
}

bool GzipMemoryReader::refill() {
  uint32_t n = std::min<uint32_t>(kPieceSize, source_length_ - source_position_);
  if (n == 0) {
    at_end_ = true;
    return false;
  }
  std::memcpy(input_buffer_, source_ + source_position_, n);
  source_position_ += n;
  stream_.next_in = input_buffer_;
  stream_.avail_in = n;
  return true;
}

int GzipMemoryReader::get_byte() {
  if (at_end_) return kEnd;
  if (stream_.avail_in == 0 && !refill()) return kEnd;
  stream_.avail_in--;
  return *stream_.next_in++;
}

void GzipMemoryReader::put_back() {
  if (stream_.next_in > input_buffer_) {
    stream_.next_in--;
    stream_.avail_in++;
    return;
  }
  // The byte came from the previous piece: load the piece again from one byte
  // earlier, so nothing before the buffer is ever touched.
  uint32_t next = source_position_ - stream_.avail_in;
  if (next == 0) return;
  uint32_t from = next - 1;
  uint32_t n = std::min<uint32_t>(kPieceSize, source_length_ - from);
  std::memcpy(input_buffer_, source_ + from, n);
  source_position_ = from + n;
  stream_.next_in = input_buffer_;
  stream_.avail_in = n;
}

void GzipMemoryReader::check_header() {
  for (int i = 0; i < 2; ++i) {
    int c = get_byte();
    if (c != (i == 0 ? kMagic[0] : kMagic[1])) {
      if (i != 0) put_back();
      if (c != kEnd) {
        put_back();
        transparent_ = true;
      }
      status_ = (stream_.avail_in != 0 || source_position_ < source_length_) ? Z_OK : Z_STREAM_END;
      return;
    }
  }
  int method = get_byte();
  int flags = get_byte();
  if (method != Z_DEFLATED || flags == kEnd || (flags & kFlagReserved) != 0) {
    status_ = Z_DATA_ERROR;
    return;
  }
  for (int i = 0; i < 6; ++i) get_byte();
  if (flags & kFlagExtra) {
    int lo = get_byte();
    int hi = get_byte();
    if (lo != kEnd && hi != kEnd) {
      for (int len = lo | (hi << 8); len > 0 && get_byte() != kEnd; --len) {
      }
    }
  }
  if (flags & kFlagName) {
    for (int c = get_byte(); c != 0 && c != kEnd; c = get_byte()) {
    }
  }
  if (flags & kFlagComment) {
    for (int c = get_byte(); c != 0 && c != kEnd; c = get_byte()) {
    }
  }
  if (flags & kFlagHeaderCrc) {
    get_byte();
    get_byte();
  }
  status_ = at_end_ ? Z_DATA_ERROR : Z_OK;
}

uint32_t GzipMemoryReader::get_long() {
  uint32_t x = 0;
  for (int i = 0; i < 4; ++i) {
    int c = get_byte();
    if (c == kEnd) {
      status_ = Z_DATA_ERROR;
      return x;
    }
    x |= uint32_t(c) << (8 * i);
  }
  return x;
}

int GzipMemoryReader::read(uint8_t* out, uint32_t room) {
  if (status_ == Z_STREAM_END) return 0;
  if (status_ < 0) return -1;
  stream_.next_out = out;
  stream_.avail_out = room;
  uint8_t* start = out;
  while (stream_.avail_out != 0) {
    if (transparent_) {
      uint32_t n = std::min(stream_.avail_in, stream_.avail_out);
      if (n > 0) {
        std::memcpy(stream_.next_out, stream_.next_in, n);
        stream_.next_out += n;
        stream_.avail_out -= n;
        stream_.next_in += n;
        stream_.avail_in -= n;
      }
      uint32_t direct = std::min(stream_.avail_out, source_length_ - source_position_);
      if (direct > 0) {
        std::memcpy(stream_.next_out, source_ + source_position_, direct);
        source_position_ += direct;
        stream_.next_out += direct;
        stream_.avail_out -= direct;
      }
      uint32_t count = room - stream_.avail_out;
      if (n == 0 && direct == 0) at_end_ = true;
      return int(count);
    }
    if (stream_.avail_in == 0 && !at_end_) refill();
    status_ = inflate(&stream_, Z_NO_FLUSH);
    if (status_ == Z_STREAM_END) {
      crc_ = crc32(crc_, start, uInt(stream_.next_out - start));
      start = stream_.next_out;
      status_ = Z_OK;
      if (get_long() != crc_) {
        status_ = Z_DATA_ERROR;
      } else {
        get_long();
        if (status_ == Z_OK) check_header();
        if (status_ == Z_OK) {
          // Another member (or plain bytes) follows: keep the running totals.
          uLong total_in = stream_.total_in;
          uLong total_out = stream_.total_out;
          inflateReset(&stream_);
          stream_.total_in = total_in;
          stream_.total_out = total_out;
          crc_ = crc32(0L, Z_NULL, 0);
        }
      }
    }
    if (status_ != Z_OK || at_end_) break;
  }
  crc_ = crc32(crc_, start, uInt(stream_.next_out - start));
  return int(room - stream_.avail_out);
}

bool GzipMemoryReader::reached_end() const {
  if (output_.truncated() || (output_.full() && status_ == Z_OK)) return false;
  if (status_ == Z_STREAM_END) return true;
  // Plain bytes (a body that is no gzip, or what follows the last member)
  // copied through to the end of the source.
  return transparent_ && status_ == Z_OK && stream_.avail_in == 0 && source_position_ >= source_length_;
}

void GzipMemoryReader::run() {
  if (!open()) return;
  // The last member's trailer announces its decoded size: for the usual
  // one-member page that is the whole output, reserved at once. The hint is
  // only believed within deflate's largest ratio.
  if (source_length_ >= 18 && source_[0] == kMagic[0] && source_[1] == kMagic[1]) {
    const uint8_t* t = source_ + source_length_ - 4;
    uint32_t announced = uint32_t(t[0]) | uint32_t(t[1]) << 8 | uint32_t(t[2]) << 16 | uint32_t(t[3]) << 24;
    if (announced > BodyBytes::kInlineCapacity && uint64_t(announced) <= uint64_t(source_length_) * 1032)
      output_.reserve(announced);
  }
  check_header();
  // Each request decodes up to one 4 096-byte piece straight into the output.
  for (;;) {
    // Nothing more can come: don't make room for it (a page whose size was
    // announced exactly then never grows its block).
    if (status_ != Z_OK) break;
    if (transparent_ && stream_.avail_in == 0 && source_position_ >= source_length_) break;
    size_t room = 0;
    uint8_t* dst = output_.tail(kPieceSize, &room);
    if (dst == nullptr) break;  // the cap is reached: the rest is dropped
    int n = read(dst, uint32_t(room));
    if (n <= 0) break;
    output_.commit(size_t(n));
  }
}

// ---------------------------------------------------------------------------
// Content-Encoding "deflate"

namespace {

bool has_zlib_header(const uint8_t* p, uint32_t n) {
  if (n < 2) return false;
  return (p[0] & 0x0F) == Z_DEFLATED && (p[0] >> 4) <= 7 && ((uint32_t(p[0]) << 8) | p[1]) % 31 == 0;
}

// Inflates with the given window bits into out; true when anything came out
// or the stream was complete. *complete: the stream reached its end and
// every byte it gave was kept.
bool inflate_with(const uint8_t* source, uint32_t length, int window_bits, BodyBytes& out, bool* complete) {
  z_stream s{};
  if (inflateInit2(&s, window_bits) != Z_OK) return false;
  uint8_t scratch[GzipMemoryReader::kPieceSize];
  uint32_t position = 0;
  int rc = Z_OK;
  bool produced = false;
  while (rc == Z_OK) {
    if (s.avail_in == 0) {
      uint32_t n = std::min<uint32_t>(GzipMemoryReader::kPieceSize, length - position);
      s.next_in = const_cast<Bytef*>(source + position);
      s.avail_in = n;
      position += n;
    }
    s.next_out = scratch;
    s.avail_out = sizeof scratch;
    rc = inflate(&s, Z_NO_FLUSH);
    size_t got = sizeof scratch - s.avail_out;
    if (got > 0) {
      produced = true;
      if (!out.append(scratch, got)) break;
    }
    if (rc == Z_BUF_ERROR && s.avail_in == 0 && position >= length) break;  // cut off
    if (rc == Z_BUF_ERROR) rc = Z_OK;
  }
  inflateEnd(&s);
  *complete = rc == Z_STREAM_END && !out.truncated();
  return produced || rc == Z_STREAM_END;
}

}  // namespace

bool inflate_deflate_body(const uint8_t* source, uint32_t length, BodyBytes& out, bool* stream_end) {
  if (stream_end) *stream_end = false;
  if (source == nullptr || length == 0) return true;
  bool complete = false;
  bool inflated = (has_zlib_header(source, length) && inflate_with(source, length, MAX_WBITS, out, &complete)) ||
                  (out.length() == 0 && inflate_with(source, length, -MAX_WBITS, out, &complete));
  if (inflated) {
    if (stream_end) *stream_end = complete;
    return complete;
  }
  // Neither form: the body is taken as it came (as a plain body would be).
  if (out.length() == 0) return out.append(source, length);
  return false;
}

}  // namespace cx
