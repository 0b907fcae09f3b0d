// Gzip members (RFC 1952) read from a memory buffer, inflated with zlib.
// Data that does not start with the gzip signature is copied through
// unchanged; several members in a row are decoded one after the other;
// everything decoded before a fault (corrupt data, CRC mismatch, cut-off
// stream) is kept.
#pragma once

#include <cstddef>
#include <cstdint>

#include <zlib.h>

#include "web/body_bytes.h"

namespace cx {

class GzipMemoryReader {
 public:
  static constexpr uint32_t kPieceSize = 4096;

  GzipMemoryReader(const uint8_t* source, uint32_t length, size_t output_limit);
  ~GzipMemoryReader();
  GzipMemoryReader(const GzipMemoryReader&) = delete;
  GzipMemoryReader& operator=(const GzipMemoryReader&) = delete;

  // Decodes the whole source into output(). Safe to call once.
  void run();

  BodyBytes& output() { return output_; }
  const BodyBytes& output() const { return output_; }
  int status() const { return status_; }
  bool transparent() const { return transparent_; }
  // True when the source was read to its very end and nothing was dropped:
  // every member closed by a matching trailer (bytes after the last member
  // copied through), or data that is no gzip at all copied whole. False for a
  // stream cut short, a corrupt one, or an output that reached its limit.
  bool reached_end() const;
  // True when the last member ended with its trailer and nothing followed:
  // the data itself said where it ends.
  bool closed_by_trailer() const { return status_ == Z_STREAM_END && !transparent_; }

 private:
  static constexpr int kEnd = -1;  // byte fetch: nothing left

  bool open();
  int get_byte();
  void put_back();
  bool refill();
  void check_header();
  uint32_t get_long();
  // One request for up to `room` decoded bytes into `out`: count, 0 at the
  // end, -1 after an error.
  int read(uint8_t* out, uint32_t room);

  const uint8_t* source_;
  uint32_t source_length_;
  uint32_t source_position_ = 0;
  uint8_t* input_buffer_ = nullptr;
  z_stream stream_{};
  bool stream_ready_ = false;
  uint32_t crc_ = 0;
  int status_ = Z_OK;
  bool at_end_ = false;
  bool transparent_ = false;
  BodyBytes output_;
};

// Inflates a body sent with Content-Encoding "deflate": zlib-wrapped data, or
// raw deflate data when there is no zlib header. A body that inflates to
// nothing at all is copied through unchanged. True when the deflate stream
// (or the copied body) was complete and nothing was dropped; *stream_end
// (when given) is set when a deflate stream reached its own end.
bool inflate_deflate_body(const uint8_t* source, uint32_t length, BodyBytes& out, bool* stream_end = nullptr);

}  // namespace cx
