// Moves every later allocation of a 64-bit test program above 4 GB, where a
// value that keeps an address in 32 bits loses it. On Windows heap blocks of a
// 64-bit process often lie there; under wine64 they lie low, so a truncated
// address would go unnoticed without this.
//
// Two steps, before the code under test runs (a crash from then on ends the
// process with the exception's code): every free region of the
// address space below 4 GB is reserved (new heap segments, thread stacks,
// mappings go above it), and what the heaps that exist already still have
// free below 4 GB is taken up (held until the process ends).
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace probe {

constexpr uintptr_t kFourGigabytes = uintptr_t(1) << 32;

struct HighAddressSetup {
  uint64_t reserved_bytes = 0;  // free space below 4 GB now reserved
  uint64_t held_bytes = 0;      // heap blocks below 4 GB taken up
  DWORD heaps = 0;
};

namespace detail {

inline uint64_t reserve_free_space_below_4gb() {
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  const uintptr_t granule = si.dwAllocationGranularity;
  uint64_t reserved = 0;
  uintptr_t at = uintptr_t(si.lpMinimumApplicationAddress);
  while (at < kFourGigabytes) {
    MEMORY_BASIC_INFORMATION m;
    if (VirtualQuery(reinterpret_cast<void*>(at), &m, sizeof m) == 0) break;
    const uintptr_t end = uintptr_t(m.BaseAddress) + m.RegionSize;
    if (m.State == MEM_FREE) {
      // Reservations start on a granule; a free rest smaller than one cannot
      // take an allocation either.
      const uintptr_t from = (uintptr_t(m.BaseAddress) + granule - 1) / granule * granule;
      const uintptr_t to = (end < kFourGigabytes ? end : kFourGigabytes) / granule * granule;
      if (from < to && VirtualAlloc(reinterpret_cast<void*>(from), to - from, MEM_RESERVE, PAGE_NOACCESS)) {
        reserved += to - from;
      } else {
        // Part of the region is in use outside the process's own bookkeeping
        // (under Wine: the host's mappings): granule by granule.
        for (uintptr_t g = from; g < to; g += granule)
          if (VirtualAlloc(reinterpret_cast<void*>(g), granule, MEM_RESERVE, PAGE_NOACCESS)) reserved += granule;
      }
    }
    at = end > at ? end : at + granule;
  }
  return reserved;
}

// Takes up the heap's free blocks below 4 GB, largest sizes first: a size is
// done once the heap answers it from above 4 GB several times in a row.
inline uint64_t hold_low_blocks(void* (*allocate)(void* heap, size_t size), void (*release)(void* heap, void* p),
                                void* heap) {
  uint64_t held = 0;
  for (size_t size = size_t(1) << 20; size >= 8; size = size > 4096 ? size / 2 : size - 8) {
    for (int high_in_a_row = 0, guard = 0; high_in_a_row < 4 && guard < 1000000; ++guard) {
      void* p = allocate(heap, size);
      if (p == nullptr) break;
      if (uintptr_t(p) >= kFourGigabytes) {
        ++high_in_a_row;
        release(heap, p);
      } else {
        high_in_a_row = 0;
        held += size;
      }
    }
  }
  return held;
}

// With nothing left below 4 GB, Wine's crash report ends the process with
// exit code 0, which would pass for success: a crash is told here and ends
// the process with the exception's code instead.
inline LONG WINAPI end_on_crash(EXCEPTION_POINTERS* e) {
  const EXCEPTION_RECORD* r = e->ExceptionRecord;
  std::fprintf(stderr, "unhandled exception %08lx at %p (data address %p)\n", (unsigned long)r->ExceptionCode,
               r->ExceptionAddress,
               r->NumberParameters >= 2 ? reinterpret_cast<void*>(r->ExceptionInformation[1]) : nullptr);
  std::fflush(stderr);
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), UINT(r->ExceptionCode));
  return EXCEPTION_EXECUTE_HANDLER;
}

inline void* heap_allocate(void* heap, size_t size) { return HeapAlloc(heap, 0, size); }
inline void heap_release(void* heap, void* p) { HeapFree(heap, 0, p); }
inline void* crt_allocate(void*, size_t size) { return std::malloc(size); }
inline void crt_release(void*, void* p) { std::free(p); }

}  // namespace detail

// The two steps above; run once, before the code under test.
inline HighAddressSetup move_allocations_above_4gb() {
  HighAddressSetup s;
  SetUnhandledExceptionFilter(detail::end_on_crash);
  s.reserved_bytes = detail::reserve_free_space_below_4gb();
  HANDLE heaps[64];
  s.heaps = GetProcessHeaps(64, heaps);
  for (DWORD i = 0; i < s.heaps && i < 64; ++i)
    s.held_bytes += detail::hold_low_blocks(detail::heap_allocate, detail::heap_release, heaps[i]);
  // The C runtime's heap is among those; its own allocator is asked as well.
  s.held_bytes += detail::hold_low_blocks(detail::crt_allocate, detail::crt_release, nullptr);
  return s;
}

// Empty when fresh blocks of every size up to 64 KB from the process heap,
// malloc and new, a new heap and a new thread's stack all lie above 4 GB;
// otherwise what lies below.
inline std::string what_lies_below_4gb() {
  std::string below;
  auto check = [&](const char* what, size_t size, const void* p) {
    if (uintptr_t(p) < kFourGigabytes && below.size() < 400) {
      char line[96];
      std::snprintf(line, sizeof line, "%s of %zu bytes at %p; ", what, size, p);
      below += line;
    }
  };
  for (size_t size = 1; size <= 65536; size += size < 256 ? 1 : 97) {
    void* h = HeapAlloc(GetProcessHeap(), 0, size);
    void* m = std::malloc(size);
    char* n = new char[size];
    check("process heap block", size, h);
    check("malloc block", size, m);
    check("new block", size, n);
    HeapFree(GetProcessHeap(), 0, h);
    std::free(m);
    delete[] n;
  }
  HANDLE heap = HeapCreate(0, 0, 0);
  void* b = heap ? HeapAlloc(heap, 0, 100) : nullptr;
  check("block of a new heap", 100, b);
  if (heap) HeapDestroy(heap);
  struct Stack {
    static DWORD WINAPI run(void* out) {
      int local = 0;
      *static_cast<uintptr_t*>(out) = uintptr_t(&local);
      return 0;
    }
  };
  uintptr_t stack = 0;
  if (HANDLE t = CreateThread(nullptr, 0, Stack::run, &stack, 0, nullptr)) {
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
  }
  check("new thread's stack", 0, reinterpret_cast<const void*>(stack));
  return below;
}

}  // namespace probe
