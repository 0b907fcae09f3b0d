// A result written in place into one heap block that becomes the text (or
// byte string) itself: a page-sized result is never built in one buffer and
// copied into another.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "services/heap.h"
#include "services/value.h"

namespace cx {

// The block is made as large as the caller expects the result to get and
// grows by doubling should it not be; pages of it that are never written are
// never touched. A limit, when given, bounds what is kept: bytes beyond it
// are dropped and truncated() tells. The block always has room for a zero
// byte after the bytes.
//
// Every member is inline and what runs out of line takes values only: the
// builder's address never leaves the function that writes, so the compiler
// keeps its fields in registers through a page-long loop of small writes.
class TextBuilder {
 public:
  static constexpr size_t kNoLimit = size_t(-1);

  explicit TextBuilder(size_t expected, size_t limit = kNoLimit) : TextBuilder(expected, limit, 0) {}
  // Begins in the owner's block of first_room bytes and one more for the
  // zero byte; the bytes move to the heap once they outgrow it.
  TextBuilder(char* first, size_t first_room, size_t limit)
      : p_(first), room_(at_most(first_room, limit)), head_(0), limit_(limit), first_(first),
        first_room_(first_room) {}
  // A byte string: room for its head is kept in front of the bytes.
  static TextBuilder byte_string(size_t expected) { return TextBuilder(expected, kNoLimit, kByteStringHead); }
  ~TextBuilder() {
    if (on_heap()) heap_release(p_ - head_);
  }
  TextBuilder(const TextBuilder&) = delete;
  TextBuilder& operator=(const TextBuilder&) = delete;

  void put(char c) {
    if (n_ == room_) [[unlikely]] {
      if (make_room(1) == 0) return;
    }
    p_[n_++] = c;
  }
  // As many of the n bytes at s (never null) as the limit allows; false
  // once any were dropped.
  bool put(const void* s, size_t n) {
    // The count stays what the caller gave, so that a copy of a few bytes
    // known at compile time is a move, not a call.
    if (n > room_ - n_) [[unlikely]] return put_cut(s, n);
    std::memcpy(p_ + n_, s, n);
    n_ += n;
    return !truncated_;
  }
  // An empty view may have no bytes at all to point at.
  bool put(std::string_view s) { return s.empty() ? !truncated_ : put(s.data(), s.size()); }

  // Writing in place: where up to n more bytes go, and in *room how many
  // may (the room the block has left when it has some, else as many as the
  // limit allows; 0 and null when the limit is reached). commit() then
  // takes the bytes actually written.
  char* tail(size_t n, size_t* room) {
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
  void commit(size_t n) { n_ += n; }
  // Room for `bytes` in all (no more than the limit), made as the block grows.
  void reserve(size_t bytes) {
    bytes = at_most(bytes, limit_);
    if (bytes > room_) grow(bytes);
  }
  // The zero byte after the bytes.
  void terminate() { p_[n_] = 0; }

  const char* data() const { return p_; }
  size_t size() const { return n_; }
  bool truncated() const { return truncated_; }
  size_t limit() const { return limit_; }
  bool full() const { return n_ >= limit_; }

  // The bytes as a text (up to a zero byte among them), from a builder that
  // is no byte string; it starts again empty. A heap block becomes the text
  // without a copy.
  Text take() {
    if (!on_heap()) {
      Text t = Text::copy(p_, n_);
      start_again();
      return t;
    }
    return Text::adopt(release());  // an empty block is released
  }
  // The bytes as a byte string, from a byte_string builder.
  Bytes take_bytes() {
    Bytes b;
    if (on_heap() && n_ > 0) b = Bytes::adopt(byte_string_block(p_ - head_, n_));
    else if (on_heap()) heap_release(p_ - head_);
    start_again();
    return b;
  }
  // Hands the heap block, zero-terminated, to the caller, who releases it;
  // null while the bytes are still in the owner's block. The builder starts
  // again empty, in the owner's block.
  char* release() {
    if (!on_heap()) return nullptr;
    char* block = p_ - head_;
    // The block may have been made larger than the bytes: what they leave is given back.
    if (room_ > n_) block = static_cast<char*>(heap_reallocate(block, head_ + n_ + 1));
    block[head_ + n_] = 0;
    start_again();
    return block;
  }

 private:
  static constexpr size_t kByteStringHead = offsetof(BytesBlock, data);
  // A limited block that is still growing past this size gets a block as
  // large as the limit at once: it is then never copied again, and a swollen
  // body takes the limit's memory, not that plus the copy of its previous
  // block. The pages of the block that are never written take no memory.
  static constexpr size_t kWholeLimitAbove = size_t(8) << 20;

  static size_t at_most(size_t a, size_t b) { return a < b ? a : b; }
  // A heap block of `bytes`: `block` resized, or, where there is none (the
  // bytes are in the owner's block), a new one with the n bytes at p copied
  // behind its head.
  static char* moved(char* block, const char* p, size_t head, size_t n, size_t bytes);
  // The byte string head written in front of n bytes, the block fitted to them.
  static BytesBlock* byte_string_block(char* block, size_t n);

  TextBuilder(size_t expected, size_t limit, size_t head)
      : room_(at_most(expected, limit)), head_(head), limit_(limit), first_(nullptr), first_room_(0) {
    p_ = static_cast<char*>(heap_allocate(head_ + room_ + 1)) + head_;
  }
  bool on_heap() const { return p_ != first_; }
  void grow(size_t need) {
    // Doubling, so that a result arriving in small pieces is moved only a
    // few times; the first heap block is exactly what is asked for.
    const size_t held = on_heap() ? room_ : 0;
    size_t room = held < (size_t(1) << 30) ? 2 * held : held + held / 2;
    if (room < need) room = need;
    if (limit_ != kNoLimit && (room > kWholeLimitAbove || room > limit_)) room = limit_;
    p_ = moved(on_heap() ? p_ - head_ : nullptr, p_, head_, n_, head_ + room + 1) + head_;
    room_ = room;
  }
  // How many of n more bytes may be written, the block grown for them.
  size_t make_room(size_t n) {
    const size_t allowed = limit_ - n_;
    if (n > allowed) {
      n = allowed;
      truncated_ = true;
    }
    if (n > room_ - n_) grow(n_ + n);
    return n;
  }
  bool put_cut(const void* s, size_t n) {
    n = make_room(n);
    if (n != 0) std::memcpy(p_ + n_, s, n);
    n_ += n;
    return !truncated_;
  }
  void start_again() {
    p_ = first_;
    n_ = 0;
    room_ = at_most(first_room_, limit_);
  }

  char* p_;  // the first byte (the heap block begins head_ bytes before it)
  size_t n_ = 0;
  size_t room_;  // bytes the block holds, the zero byte not counted; never above limit_
  const size_t head_;
  const size_t limit_;
  char* const first_;  // the owner's block, or null
  const size_t first_room_;
  bool truncated_ = false;
};

}  // namespace cx
