// Texts, byte strings and value cells: the blocks behind them live on the
// runtime heap; literals live in the program image and are never released.
#include "services/value.h"

#include <cstring>

namespace cx {

alignas(4) const BytesBlock kEmptyBytesBlock = {1, 0, {0}};

// ---------------------------------------------------------------------------
// Text

Text Text::copy(const char* s, size_t n) {
  Text t;
  if (s == nullptr || n == 0) return t;
  char* p = static_cast<char*>(heap_allocate(n + 1));
  std::memcpy(p, s, n);
  p[n] = 0;
  t.p_ = p;
  return t;
}

Text Text::adopt(char* block) {
  Text t;
  if (block == nullptr) return t;
  if (*block == 0) {
    heap_release(block);
    return t;
  }
  t.p_ = block;
  return t;
}

char* Text::dup(const char* s) {
  size_t n = std::strlen(s);
  if (n == 0) return nullptr;
  char* p = static_cast<char*>(heap_allocate(n + 1));
  std::memcpy(p, s, n + 1);
  return p;
}

static Text concat(std::string_view a, std::string_view b) {
  size_t n = a.size() + b.size();
  if (n == 0) return Text();
  char* p = static_cast<char*>(heap_allocate(n + 1));
  if (!a.empty()) std::memcpy(p, a.data(), a.size());
  if (!b.empty()) std::memcpy(p + a.size(), b.data(), b.size());
  p[n] = 0;
  return Text::adopt(p);
}

Text operator+(const Text& a, const Text& b) { return concat(a.view(), b.view()); }
Text operator+(const Text& a, const char* b) { return concat(a.view(), b ? std::string_view(b) : std::string_view()); }
Text operator+(const char* a, const Text& b) { return concat(a ? std::string_view(a) : std::string_view(), b.view()); }

// ---------------------------------------------------------------------------
// Byte string

static BytesBlock* new_bytes_block(size_t n) {
  auto* b = static_cast<BytesBlock*>(heap_allocate(offsetof(BytesBlock, data) + n));
  b->dims = 1;
  b->length = int32_t(n);
  return b;
}

Bytes Bytes::copy(const void* data, size_t n) {
  if (data == nullptr || n == 0) return Bytes();
  BytesBlock* b = new_bytes_block(n);
  std::memcpy(b->data, data, n);
  return adopt(b);
}

Bytes Bytes::zeros(size_t n) {
  if (n == 0) return Bytes();
  BytesBlock* b = new_bytes_block(n);
  std::memset(b->data, 0, n);
  return adopt(b);
}

BytesBlock* Bytes::dup(const BytesBlock* b) {
  if (b->length <= 0) return nullptr;
  BytesBlock* c = new_bytes_block(size_t(b->length));
  std::memcpy(c->data, b->data, size_t(b->length));
  return c;
}

// ---------------------------------------------------------------------------
// Value cells

void cell_release(Cell* c) {
  if (c == nullptr) return;
  if (c->tag == TAG_TEXT || c->tag == TAG_BYTES) heap_release(c->v.ptr);
  *c = Cell{};
}

Text cell_take_text(Cell* c) {
  Text t;
  if (c == nullptr) return t;
  if (c->tag == TAG_TEXT && c->v.ptr != nullptr) {
    if (heap_is_constant(c->v.ptr))
      t = Text::literal(static_cast<const char*>(c->v.ptr));
    else
      t = Text::adopt(static_cast<char*>(c->v.ptr));
    *c = Cell{};
    return t;
  }
  cell_release(c);
  return t;
}

Bytes cell_take_bytes(Cell* c) {
  Bytes b;
  if (c == nullptr) return b;
  if (c->tag == TAG_BYTES && c->v.ptr != nullptr) {
    auto* blk = static_cast<BytesBlock*>(c->v.ptr);
    if (heap_is_constant(blk))
      b = Bytes::literal(blk);
    else if (blk->length > 0)
      b = Bytes::adopt(blk);
    else
      heap_release(blk);
    *c = Cell{};
    return b;
  }
  cell_release(c);
  return b;
}

}  // namespace cx
