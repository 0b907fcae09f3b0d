// What the platform part of the automation bridge provides to the shared part.
#pragma once

#include <cstdint>

#include "services/automation.h"

namespace cx::detail {

// The shared procedure of property writes and method calls. result_kind is 0
// for none (property write) or the tag wanted back. On success *result holds
// a value of that kind; on failure it owns nothing. Returns the status.
int32_t object_invoke(ObjectRecord* object, const Text& name, int argc, const Cell* args, bool property_write,
                      uint32_t result_kind, Cell* result);

// Empties a VARIANT block of the variant kind and returns it to the heap.
void release_variant_block(void* block);

}  // namespace cx::detail
