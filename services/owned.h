// The owner of one platform handle: releases what it holds exactly once,
// through the release function of its kind. Each kind of handle is one alias
// of this template beside the code that uses it (GDI objects in ui/handles.h,
// WinInet handles in web/transfer.h).
#pragma once

#include <utility>

namespace cx {

template <class H, void (*Release)(H)>
class Owned {
 public:
  Owned() = default;
  explicit Owned(H h) : h_(h) {}
  ~Owned() { reset(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& o) noexcept : h_(std::exchange(o.h_, H{})) {}
  Owned& operator=(Owned&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, H{}));
    return *this;
  }

  H get() const { return h_; }
  explicit operator bool() const { return h_ != H{}; }
  void reset(H h = H{}) {
    if (h_) Release(h_);
    h_ = h;
  }
  // Gives up ownership (for example when the system takes the handle over).
  H release() { return std::exchange(h_, H{}); }

 private:
  H h_{};
};

}  // namespace cx
