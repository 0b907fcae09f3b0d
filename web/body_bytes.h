// A body's bytes as they are kept: as they arrived, or as the gzip reader or
// the deflate inflater gave them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "services/text_builder.h"

namespace cx {

// Starts in an inline buffer of 1 024 bytes and grows to whole multiples of
// 1 024: a need of n bytes gives a capacity of (n / 1024 + 1) * 1024, which
// the block is made to hold (it is grown further ahead, so that a page
// arriving in pieces is not moved for every piece). The bytes are always
// followed by a zero byte. At most `limit` bytes are kept; what would go
// beyond is dropped and `truncated` is set.
class BodyBytes {
 public:
  static constexpr uint32_t kInlineCapacity = 1024;

  explicit BodyBytes(size_t limit) : bytes_(inline_, kInlineCapacity, limit) { inline_[0] = 0; }
  BodyBytes(const BodyBytes&) = delete;
  BodyBytes& operator=(const BodyBytes&) = delete;

  // Appends n bytes (as many as the limit allows). False once the limit is hit.
  bool append(const uint8_t* p, size_t n) {
    if (n == 0) return !full();
    const size_t kept = bytes_.limit() - bytes_.size();
    if (step_to(bytes_.size() + (n < kept ? n : kept))) bytes_.reserve(capacity_);
    const bool whole = bytes_.put(p, n);
    bytes_.terminate();
    return whole;
  }
  // Room for up to n more bytes written in place: returns where they go and
  // sets *room to what the limit allows (0 when full). commit() then takes
  // the bytes actually written.
  uint8_t* tail(size_t n, size_t* room) { return reinterpret_cast<uint8_t*>(bytes_.tail(n, room)); }
  void commit(size_t n) {
    if (n == 0) return;
    bytes_.commit(n);
    step_to(bytes_.size());
    bytes_.terminate();
  }
  // Reserves memory for `bytes` in all without changing the capacity steps.
  void reserve(size_t bytes) {
    bytes_.reserve(bytes);
    bytes_.terminate();
  }

  const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(bytes_.data()); }
  uint32_t length() const { return uint32_t(bytes_.size()); }
  uint32_t capacity() const { return capacity_; }
  bool truncated() const { return bytes_.truncated(); }
  bool full() const { return bytes_.full(); }
  // Hands the heap block (zero-terminated, from the runtime heap) to the
  // caller; null while the bytes are still in the inline buffer.
  uint8_t* release_heap_block() {
    char* block = bytes_.release();
    if (block == nullptr) return nullptr;
    capacity_ = kInlineCapacity;
    inline_[0] = 0;
    return reinterpret_cast<uint8_t*>(block);
  }

 private:
  // The capacity that holds `needed` bytes; true when it grew.
  bool step_to(size_t needed) {
    if (needed <= capacity_) return false;
    capacity_ = uint32_t((needed / kInlineCapacity + 1) * kInlineCapacity);
    return true;
  }

  char inline_[kInlineCapacity + 1];
  TextBuilder bytes_;
  uint32_t capacity_ = kInlineCapacity;
};

}  // namespace cx
