#include "services/text_builder.h"

namespace cx {

char* TextBuilder::moved(char* block, const char* p, size_t head, size_t n, size_t bytes) {
  if (block != nullptr) return static_cast<char*>(heap_reallocate(block, bytes));
  block = static_cast<char*>(heap_allocate(bytes));
  if (n > 0) std::memcpy(block + head, p, n);
  return block;
}

BytesBlock* TextBuilder::byte_string_block(char* block, size_t n) {
  auto* b = static_cast<BytesBlock*>(heap_reallocate(block, kByteStringHead + n));
  b->dims = 1;
  b->length = int32_t(n);
  return b;
}

}  // namespace cx
