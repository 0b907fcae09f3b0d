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

// Zero bytes of the body are dropped: the text holds every other byte.
// *complete (when given) tells whether the text stands for the whole body: a
// compressed body decoded to the end of its stream, nothing dropped at the
// size limit. A body cut short decodes as far as it goes, but is not complete.
Text decode_body(const uint8_t* body, uint32_t length, int32_t content_coding, const Text& content_type,
                 bool* complete = nullptr);

}  // namespace cx
