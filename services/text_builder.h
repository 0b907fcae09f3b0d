// A result written in place into one heap block that becomes the text (or
// byte string) itself: a page-sized result is never built in one buffer and
// copied into another.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "services/value.h"

namespace cx {

// The block is made as large as the caller expects the result to get and
// grows by doubling should it not be; pages of it that are never written are
// never touched. A limit, when given, bounds what is kept: bytes beyond it
// are dropped and truncated() tells. The block always has room for a zero
// byte after the bytes.
class TextBuilder {
 public:
  static constexpr size_t kNoLimit = size_t(-1);

  explicit TextBuilder(size_t expected, size_t limit = kNoLimit) : TextBuilder(expected, limit, 0) {}
  // Begins in the owner's block of first_room bytes and one more for the
  // zero byte; the bytes move to the heap once they outgrow it.
  TextBuilder(char* first, size_t first_room, size_t limit);
  // A byte string: room for its head is kept in front of the bytes.
  static TextBuilder byte_string(size_t expected) { return TextBuilder(expected, kNoLimit, kByteStringHead); }
  ~TextBuilder();
  TextBuilder(const TextBuilder&) = delete;
  TextBuilder& operator=(const TextBuilder&) = delete;

  void put(char c) {
    if (n_ == room_ && make_room(1) == 0) return;
    p_[n_++] = c;
  }
  // As many of the n bytes at s (never null) as the limit allows; false
  // once any were dropped.
  bool put(const void* s, size_t n) {
    // The count stays what the caller gave, so that a copy of a few bytes
    // known at compile time is a move, not a call.
    if (n > room_ - n_) return put_cut(s, n);
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
  char* tail(size_t n, size_t* room);
  void commit(size_t n) { n_ += n; }
  // Room for `bytes` in all (no more than the limit), made as the block grows.
  void reserve(size_t bytes) {
    if (bytes > limit_) bytes = limit_;
    if (bytes > room_) grow(bytes);
  }
  // The zero byte after the bytes.
  void terminate() { p_[n_] = 0; }

  const char* data() const { return p_; }
  size_t size() const { return n_; }
  bool truncated() const { return truncated_; }
  size_t limit() const { return limit_; }
  bool full() const { return n_ >= limit_; }

  // The bytes as a text (up to a zero byte among them); the builder starts
  // again empty. A heap block becomes the text without a copy.
  Text take();
  // The bytes as a byte string, from a byte_string builder.
  Bytes take_bytes();
  // Hands the heap block, zero-terminated, to the caller, who releases it;
  // null while the bytes are still in the owner's block. The builder starts
  // again empty, in the owner's block.
  char* release();

 private:
  static constexpr size_t kByteStringHead = offsetof(BytesBlock, data);

  TextBuilder(size_t expected, size_t limit, size_t head);
  bool on_heap() const { return p_ != first_; }
  // How many of n more bytes may be written, the block grown for them.
  size_t make_room(size_t n);
  bool put_cut(const void* s, size_t n);
  void grow(size_t need);
  void start_again();

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
