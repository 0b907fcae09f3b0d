// The runtime heap: the process heap behind every text, byte string and record.
// Releasing null or a pointer into the program image (where every literal
// lives) does nothing; reallocating such a pointer copies it into a new block.
// An allocation the heap cannot supply is a run-time error, so callers never
// see null from heap_allocate or heap_reallocate.
#pragma once

#include <cstddef>

namespace cx {

void* heap_allocate(size_t size);
void* heap_reallocate(void* block, size_t size);
void heap_release(const void* block);
// True when p lies inside the program's constant data (the program image).
bool heap_is_constant(const void* p);

}  // namespace cx
