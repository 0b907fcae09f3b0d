// Response body decoding: gzip members read from memory, then UTF-8 to the
// ANSI code page when the Content-Type names utf-8.
#pragma once

#include <cstddef>
#include <cstdint>

#include "services/value.h"

namespace cx {

enum ContentCoding : int32_t { CODING_NONE = 0, CODING_GZIP = 1, CODING_DEFLATE = 2 };

// Largest body, raw or decoded, that is kept; anything beyond is cut off.
constexpr size_t kMaxBodyBytes = size_t(64) << 20;

// What decoding found out about the body besides its text.
struct BodyDecoding {
  // The text stands for the whole body: a compressed body decoded to the end
  // of its stream, nothing dropped at the size limit.
  bool complete = true;
  // The body marked its own end: a compressed stream closed by its trailer,
  // with nothing behind it. A plain body never does (only its length, or the
  // end of the connection, tells where it ends).
  bool ends_itself = false;
};

// Zero bytes of the body are dropped: the text holds every other byte. A
// body cut short decodes as far as it goes, but is not complete.
Text decode_body(const uint8_t* body, uint32_t length, int32_t content_coding, const Text& content_type,
                 BodyDecoding* how = nullptr);

// The same for a body that is of use only whole: once it proves cut short or
// swollen past the size limit, decoding stops there and the result is the
// empty text; nothing is converted and nothing of it is kept.
Text decode_whole_body(const uint8_t* body, uint32_t length, int32_t content_coding, const Text& content_type,
                       BodyDecoding* how);

}  // namespace cx
