// The machine-level call of a declared system-library function: the one
// place that knows the processor's calling convention.
#pragma once

#include <cstdint>

#include "services/runtime.h"

namespace cx::detail {

// The outcome of one call: the function's result register, and whether the
// stack pointer came back where it was before the arguments went on.
struct DeclaredCallResult {
  uintptr_t value;
  bool stack_balanced;
};

// Calls `fn` with `argc` word-sized arguments in the platform's convention for
// exported system functions: stdcall on x86, the one calling convention of
// x64 there.
DeclaredCallResult declared_call(void* fn, int argc, const DeclArg* args);

}  // namespace cx::detail
