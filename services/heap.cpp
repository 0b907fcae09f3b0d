// The runtime heap. Every literal lives in the image of the module that holds
// this code, so "constant" means "inside that image": the executable in the
// program, the library when the code is linked into a DLL.
#include "services/heap.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "services/runtime.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <link.h>
#include <cstdlib>
#endif

namespace cx {

namespace {

struct ImageRange {
  uintptr_t begin = 0;
  uintptr_t end = 0;
  // The mapped pieces of the image (one on Windows, the loaded segments of
  // the ELF object natively, which may leave holes between them).
  struct Piece { uintptr_t begin, end; } pieces[16] = {};
  int count = 0;
};

const char kImageAnchor = 0;  // a constant of this module, used to find its image

#ifdef _WIN32

ImageRange find_image_range() {
  ImageRange r;
  HMODULE m = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          &kImageAnchor, &m) || m == nullptr)
    return r;
  auto* base = reinterpret_cast<const uint8_t*>(m);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  r.begin = uintptr_t(base);
  r.end = r.begin + nt->OptionalHeader.SizeOfImage;
  r.pieces[0] = {r.begin, r.end};
  r.count = 1;
  return r;
}

HANDLE process_heap() {
  static HANDLE h = GetProcessHeap();
  return h;
}

void* platform_allocate(size_t size) { return HeapAlloc(process_heap(), 0, size ? size : 1); }
void* platform_reallocate(void* p, size_t size) { return HeapReAlloc(process_heap(), 0, p, size ? size : 1); }
void platform_release(void* p) { HeapFree(process_heap(), 0, p); }

#else

int find_object(struct dl_phdr_info* info, size_t, void* data) {
  auto* r = static_cast<ImageRange*>(data);
  uintptr_t anchor = uintptr_t(&kImageAnchor);
  uintptr_t lo = UINTPTR_MAX, hi = 0;
  bool holds = false;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const auto& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD) continue;
    uintptr_t b = info->dlpi_addr + ph.p_vaddr;
    uintptr_t e = b + ph.p_memsz;
    if (b < lo) lo = b;
    if (e > hi) hi = e;
    if (anchor >= b && anchor < e) holds = true;
  }
  if (!holds) return 0;
  for (int i = 0; i < info->dlpi_phnum && r->count < 16; ++i) {
    const auto& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD) continue;
    uintptr_t b = info->dlpi_addr + ph.p_vaddr;
    r->pieces[r->count++] = {b, b + ph.p_memsz};
  }
  r->begin = lo;
  r->end = hi;
  return 1;
}

ImageRange find_image_range() {
  ImageRange r;
  dl_iterate_phdr(find_object, &r);
  return r;
}

void* platform_allocate(size_t size) { return std::malloc(size ? size : 1); }
void* platform_reallocate(void* p, size_t size) { return std::realloc(p, size ? size : 1); }
void platform_release(void* p) { std::free(p); }

#endif

const ImageRange& image_range() {
  static const ImageRange r = find_image_range();
  return r;
}

// Bytes readable from p to the end of the mapped piece of the image it lies in.
size_t constant_bytes_after(uintptr_t p) {
  const ImageRange& r = image_range();
  for (int i = 0; i < r.count; ++i)
    if (p >= r.pieces[i].begin && p < r.pieces[i].end) return r.pieces[i].end - p;
  return 0;
}

// Copies out of the image: past the end of the literal itself, by design, so
// the object-bound checks of the sanitizer do not apply to this read.
__attribute__((no_sanitize("address"), optimize("no-tree-loop-distribute-patterns")))
void copy_from_image(void* to, const void* from, size_t n) {
  auto* d = static_cast<unsigned char*>(to);
  auto* s = static_cast<const volatile unsigned char*>(from);
  for (size_t i = 0; i < n; ++i) d[i] = s[i];
}

[[noreturn]] void out_of_memory(size_t size) {
  char msg[64];
  std::snprintf(msg, sizeof msg, "分配 %d 字节内存失败!", int(size));
  runtime_error(msg, 0);
}

}  // namespace

bool heap_is_constant(const void* p) {
  const ImageRange& r = image_range();
  uintptr_t a = uintptr_t(p);
  return p != nullptr && a >= r.begin && a < r.end;
}

void* heap_allocate(size_t size) {
  void* p = platform_allocate(size);
  if (p == nullptr) out_of_memory(size);
  return p;
}

void* heap_reallocate(void* block, size_t size) {
  if (block == nullptr) return heap_allocate(size);
  if (heap_is_constant(block)) {
    // A literal is never resized in place: copy what it holds into a new block.
    void* p = heap_allocate(size);
    size_t rest = constant_bytes_after(uintptr_t(block));
    copy_from_image(p, block, size < rest ? size : rest);
    return p;
  }
  void* p = platform_reallocate(block, size);
  if (p == nullptr) out_of_memory(size);
  return p;
}

void heap_release(const void* block) {
  if (block == nullptr || heap_is_constant(block)) return;
  platform_release(const_cast<void*>(block));
}

}  // namespace cx
