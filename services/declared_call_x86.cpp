// 32-bit x86: stdcall, arguments pushed right to left, the callee pops them.
// The stack pointer is compared before and after, so that a function declared
// with the wrong number of arguments is caught instead of corrupting the frame.
#include "services/declared_call.h"

namespace cx::detail {

DeclaredCallResult declared_call(void* fn, int argc, const DeclArg* args) {
  uint32_t result;
  uintptr_t before, after;
  int count = argc;
  const DeclArg* a = args;
  // Pushes the arguments, calls, reads the stack pointer, then restores it
  // either way.
  __asm__ __volatile__(
      "movl %%esp, %%edi\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "decl %%ecx\n\t"
      "pushl (%%esi,%%ecx,4)\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "call *%%ebx\n\t"
      "movl %%esp, %%edx\n\t"
      "movl %%edi, %%esp\n\t"
      : "=a"(result), "=d"(after), "=D"(before), "+c"(count), "+S"(a), "+b"(fn)
      :
      : "memory", "cc");
  return {result, before == after};
}

}  // namespace cx::detail
