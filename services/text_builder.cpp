#include "services/text_builder.h"

namespace cx {

namespace {

// A limited block that is still growing past this size gets a block as
// large as the limit at once: it is then never copied again, and a swollen
// body takes the limit's memory, not that plus the copy of its previous
// block. The pages of the block that are never written take no memory.
constexpr size_t kWholeLimitAbove = size_t(8) << 20;

}  // namespace

TextBuilder::Block TextBuilder::grown(char* p, size_t head, size_t n, size_t room, bool heap, size_t need,
                                      size_t limit) {
  // Doubling, so that a result arriving in small pieces is moved only a few
  // times; the first heap block is exactly what is asked for.
  const size_t held = heap ? room : 0;
  size_t next = held < (size_t(1) << 30) ? 2 * held : held + held / 2;
  if (next < need) next = need;
  if (limit != kNoLimit && (next > kWholeLimitAbove || next > limit)) next = limit;
  char* block;
  if (heap) {
    block = static_cast<char*>(heap_reallocate(p - head, head + next + 1));
  } else {
    block = static_cast<char*>(heap_allocate(head + next + 1));
    if (n > 0) std::memcpy(block + head, p, n);
  }
  return {block + head, next};
}

BytesBlock* TextBuilder::byte_string_block(char* block, size_t n) {
  auto* b = static_cast<BytesBlock*>(heap_reallocate(block, kByteStringHead + n));
  b->dims = 1;
  b->length = int32_t(n);
  return b;
}

}  // namespace cx
