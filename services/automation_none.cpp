// The bridge where no automation engine exists (the native build): no class
// can be created, so every object stays empty and every call reports that.
#include "services/automation.h"
#include "services/automation_internal.h"
#include "services/heap.h"

namespace cx {

bool object_create(ObjectRecord*, const Text&, const Text*) { return false; }

void object_clear(ObjectRecord* object) {
  if (object == nullptr) return;
  if (object->iface == nullptr && object->data != nullptr) heap_release(object->data);
  *object = ObjectRecord{};
}

namespace detail {

int32_t object_invoke(ObjectRecord*, const Text&, int, const Cell*, bool, uint32_t, Cell*) { return OBJ_EMPTY; }

void release_variant_block(void* block) { heap_release(block); }

}  // namespace detail
}  // namespace cx
