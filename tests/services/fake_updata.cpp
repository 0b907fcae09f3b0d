// A stand-in for the updater library, built next to the test program: its
// update-window export records what it was called with, and a few more
// exports let the tests check argument order, ordinals and the stack check.
#include <windows.h>

#include <cstring>

namespace {
char g_last[1024];
}

extern "C" {

int __stdcall update_window(const char* address, const char* program) {
  lstrcpynA(g_last, address, 500);
  lstrcatA(g_last, "|");
  lstrcatA(g_last, program);
  return 4321;
}

int __stdcall sum3(int a, int b, int c) { return a * 100 + b * 10 + c; }

int __stdcall sum8(int a, int b, int c, int d, int e, int f, int g, int h) {
  return ((((((a * 10 + b) * 10 + c) * 10 + d) * 10 + e) * 10 + f) * 10 + g) * 10 + h;
}

// Leaves its argument on the stack: what a wrongly declared function does.
int __cdecl leaves_arguments(int a) { return a; }

const char* __cdecl last_call() { return g_last; }
}

// x86 decorates a stdcall function with its argument bytes; x64 decorates
// nothing.
#ifdef _WIN64
#define CX_STDCALL(name, bytes) #name
#else
#define CX_STDCALL(name, bytes) #name "@" #bytes
#endif

// The update window's export name is the GBK text 更新窗口.
__asm__(
    ".section .drectve\n\t"
    ".ascii \" -export:\\\"\\270\\374\\320\\302\\264\\260\\277\\332\\\"=" CX_STDCALL(update_window, 8) "\"\n\t"
    ".ascii \" -export:cx_sum3=" CX_STDCALL(sum3, 12) " -export:cx_sum8=" CX_STDCALL(sum8, 32) "\"\n\t"
    ".ascii \" -export:cx_leaves_arguments=leaves_arguments -export:cx_last_call=last_call\"\n\t"
    ".text");
