#include "services/text_builder.h"

#include "services/heap.h"

namespace cx {

namespace {

// A limited block that is still growing past this size gets a block as
// large as the limit at once: it is then never copied again, and a swollen
// body takes the limit's memory, not that plus the copy of its previous
// block. The pages of the block that are never written take no memory.
constexpr size_t kWholeLimitAbove = size_t(8) << 20;

size_t at_most(size_t a, size_t b) { return a < b ? a : b; }

}  // namespace

TextBuilder::TextBuilder(size_t expected, size_t limit, size_t head)
    : room_(at_most(expected, limit)), head_(head), limit_(limit), first_(nullptr), first_room_(0) {
  p_ = static_cast<char*>(heap_allocate(head_ + room_ + 1)) + head_;
}

TextBuilder::TextBuilder(char* first, size_t first_room, size_t limit)
    : p_(first), room_(at_most(first_room, limit)), head_(0), limit_(limit), first_(first), first_room_(first_room) {}

TextBuilder::~TextBuilder() {
  if (on_heap()) heap_release(p_ - head_);
}

size_t TextBuilder::make_room(size_t n) {
  const size_t allowed = limit_ - n_;
  if (n > allowed) {
    n = allowed;
    truncated_ = true;
  }
  if (n > room_ - n_) grow(n_ + n);
  return n;
}

bool TextBuilder::put_cut(const void* s, size_t n) {
  n = make_room(n);
  if (n != 0) std::memcpy(p_ + n_, s, n);
  n_ += n;
  return !truncated_;
}

void TextBuilder::grow(size_t need) {
  // Doubling, so that a result arriving in small pieces is moved only a few
  // times; the first heap block is exactly what is asked for.
  const size_t held = on_heap() ? room_ : 0;
  size_t room = held < (size_t(1) << 30) ? 2 * held : held + held / 2;
  if (room < need) room = need;
  if (limit_ != kNoLimit && (room > kWholeLimitAbove || room > limit_)) room = limit_;
  char* block;
  if (on_heap()) {
    block = static_cast<char*>(heap_reallocate(p_ - head_, head_ + room + 1));
  } else {
    block = static_cast<char*>(heap_allocate(head_ + room + 1));
    if (n_ > 0) std::memcpy(block + head_, p_, n_);
  }
  p_ = block + head_;
  room_ = room;
}

char* TextBuilder::tail(size_t n, size_t* room) {
  n = at_most(n, limit_ - n_);
  if (n == 0) {
    *room = 0;
    return nullptr;
  }
  // What the block has left is used before it grows.
  const size_t left = room_ - n_;
  if (left == 0) grow(n_ + n);
  else n = at_most(n, left);
  *room = n;
  return p_ + n_;
}

void TextBuilder::start_again() {
  p_ = first_;
  n_ = 0;
  room_ = at_most(first_room_, limit_);
}

char* TextBuilder::release() {
  if (!on_heap()) return nullptr;
  char* block = p_ - head_;
  // The block may have been made larger than the bytes: what they leave is given back.
  if (room_ > n_) block = static_cast<char*>(heap_reallocate(block, head_ + n_ + 1));
  block[head_ + n_] = 0;
  start_again();
  return block;
}

Text TextBuilder::take() {
  if (!on_heap()) {
    Text t = Text::copy(p_, n_);
    start_again();
    return t;
  }
  if (n_ == 0) {
    heap_release(p_ - head_);
    start_again();
    return Text();
  }
  return Text::adopt(release());
}

Bytes TextBuilder::take_bytes() {
  if (n_ == 0 || !on_heap()) {
    Bytes b = Bytes::copy(p_, n_);
    if (on_heap()) heap_release(p_ - head_);
    start_again();
    return b;
  }
  auto* b = static_cast<BytesBlock*>(heap_reallocate(p_ - head_, head_ + n_));
  b->dims = 1;
  b->length = int32_t(n_);
  start_again();
  return Bytes::adopt(b);
}

}  // namespace cx
