// x64: one calling convention; the caller owns the stack, so it always comes
// back balanced. Every argument is a full register-sized word, which is what
// integer and pointer parameters of system functions take.
#include "services/declared_call.h"

namespace cx::detail {

namespace {
using W = DeclArg;
}  // namespace

DeclaredCallResult declared_call(void* fn, int argc, const DeclArg* a) {
  // The declared functions take at most a dozen arguments; a larger count
  // is a fault of the declaration, reported like a stack mismatch on x86.
  switch (argc) {
    case 0: return {reinterpret_cast<W (*)()>(fn)(), true};
    case 1: return {reinterpret_cast<W (*)(W)>(fn)(a[0]), true};
    case 2: return {reinterpret_cast<W (*)(W, W)>(fn)(a[0], a[1]), true};
    case 3: return {reinterpret_cast<W (*)(W, W, W)>(fn)(a[0], a[1], a[2]), true};
    case 4: return {reinterpret_cast<W (*)(W, W, W, W)>(fn)(a[0], a[1], a[2], a[3]), true};
    case 5: return {reinterpret_cast<W (*)(W, W, W, W, W)>(fn)(a[0], a[1], a[2], a[3], a[4]), true};
    case 6: return {reinterpret_cast<W (*)(W, W, W, W, W, W)>(fn)(a[0], a[1], a[2], a[3], a[4], a[5]), true};
    case 7:
      return {reinterpret_cast<W (*)(W, W, W, W, W, W, W)>(fn)(a[0], a[1], a[2], a[3], a[4], a[5], a[6]), true};
    case 8:
      return {reinterpret_cast<W (*)(W, W, W, W, W, W, W, W)>(fn)(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]),
              true};
    case 9:
      return {reinterpret_cast<W (*)(W, W, W, W, W, W, W, W, W)>(fn)(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7],
                                                                     a[8]),
              true};
    case 10:
      return {reinterpret_cast<W (*)(W, W, W, W, W, W, W, W, W, W)>(fn)(a[0], a[1], a[2], a[3], a[4], a[5], a[6],
                                                                        a[7], a[8], a[9]),
              true};
    case 11:
      return {reinterpret_cast<W (*)(W, W, W, W, W, W, W, W, W, W, W)>(fn)(a[0], a[1], a[2], a[3], a[4], a[5],
                                                                           a[6], a[7], a[8], a[9], a[10]),
              true};
    case 12:
      return {reinterpret_cast<W (*)(W, W, W, W, W, W, W, W, W, W, W, W)>(fn)(a[0], a[1], a[2], a[3], a[4], a[5],
                                                                              a[6], a[7], a[8], a[9], a[10], a[11]),
              true};
    default: return {0, false};
  }
}

}  // namespace cx::detail
