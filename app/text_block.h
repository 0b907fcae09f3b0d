// A text written in place into one heap block, shared by the escape
// decoding's units.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "services/heap.h"
#include "services/value.h"

namespace cx {

// A result written in place into one heap block that becomes the text: a
// page-sized result is not built in one buffer and copied into another. The
// block is made as large as the result can get (it grows should it not be),
// and its pages that are never written are never touched.
class TextBlock {
 public:
  explicit TextBlock(size_t most) : p_(static_cast<char*>(heap_allocate(most + 1))), room_(most) {}
  ~TextBlock() { heap_release(p_); }
  TextBlock(const TextBlock&) = delete;
  TextBlock& operator=(const TextBlock&) = delete;
  void put(char c) {
    if (n_ == room_) grow(1);
    p_[n_++] = c;
  }
  void put(const char* s, size_t n) {
    if (n > room_ - n_) grow(n);
    std::memcpy(p_ + n_, s, n);
    n_ += n;
  }
  void put(std::string_view s) { put(s.data(), s.size()); }
  Text take() {
    p_[n_] = 0;
    char* p = static_cast<char*>(heap_reallocate(p_, n_ + 1));
    p_ = nullptr;
    return Text::adopt(p);
  }

 private:
  void grow(size_t more) {
    room_ = 2 * room_ + more;
    p_ = static_cast<char*>(heap_reallocate(p_, room_ + 1));
  }
  char* p_;
  size_t room_;
  size_t n_ = 0;
};

}  // namespace cx
