// The automation bridge's calling forms and the per-thread status slot; the
// platform part (automation_com.cpp, automation_none.cpp) does the work.
#include <cstring>
#include <string_view>

#include "services/automation.h"
#include "services/automation_internal.h"
#include "services/heap.h"

namespace cx {

namespace {

thread_local int32_t t_status = OBJ_OK;

// The empty value of a kind, as a failed call leaves it in its result cell.
Cell empty_result(uint32_t kind) {
  Cell c{};
  c.tag = kind;
  if (kind == TAG_OBJECT) {
    c.v.ptr = heap_allocate(sizeof(ObjectRecord));
    *static_cast<ObjectRecord*>(c.v.ptr) = ObjectRecord{};
  } else if (kind == TAG_VARIANT) {
    c.v.ptr = heap_allocate(16);
    std::memset(c.v.ptr, 0, 16);  // all zero is VT_EMPTY
  }
  return c;
}

Cell run(ObjectRecord* object, const Text& name, int argc, const Cell* args, bool property_write,
         uint32_t result_kind) {
  Cell result{};
  int32_t status = detail::object_invoke(object, name, argc, args, property_write, result_kind, &result);
  if (status != OBJ_OK) result = empty_result(result_kind);
  t_status = status;
  return result;
}

ObjectRecord* object_argument(int argc, const Cell* args) {
  return argc > 0 && args[0].tag == TAG_OBJECT ? static_cast<ObjectRecord*>(args[0].v.ptr) : nullptr;
}

// A copy of a text argument (a by-reference cell holds the caller's Text).
void text_argument(int argc, const Cell* args, int i, Text& holder) {
  holder = Text();
  if (i >= argc) return;
  if (args[i].tag == TAG_TEXT) holder = Text::copy(std::string_view(cell_as_text(args[i])));
  else if (args[i].tag == (TAG_TEXT | TAG_BYREF) && args[i].v.ptr) holder = *static_cast<const Text*>(args[i].v.ptr);
}

}  // namespace

int32_t object_call_status() { return t_status; }

bool object_set_property(ObjectRecord* object, const Text& name, const Cell& value) {
  run(object, name, 1, &value, true, 0);
  return t_status == OBJ_OK;
}

double object_call_number(ObjectRecord* object, const Text& name, int argc, const Cell* args) {
  return run(object, name, argc, args, false, TAG_DOUBLE).v.f64;
}

Text object_call_text(ObjectRecord* object, const Text& name, int argc, const Cell* args) {
  Cell r = run(object, name, argc, args, false, TAG_TEXT);
  return cell_take_text(&r);
}

Cell object_call_value(ObjectRecord* object, const Text& name, uint32_t result_kind, int argc, const Cell* args) {
  return run(object, name, argc, args, false, result_kind);
}

void object_result_release(Cell* result) {
  if (result == nullptr) return;
  if (result->tag == TAG_TEXT) {
    heap_release(result->v.ptr);
  } else if (result->tag == TAG_OBJECT && result->v.ptr) {
    object_clear(static_cast<ObjectRecord*>(result->v.ptr));
    heap_release(result->v.ptr);
  } else if (result->tag == TAG_VARIANT && result->v.ptr) {
    detail::release_variant_block(result->v.ptr);
  }
  *result = Cell{};
}

// ---------------------------------------------------------------------------
// Uniform calling form

void svc_object_create(int argc, const Cell* args, Cell* result) {
  Text name, library;
  text_argument(argc, args, 1, name);
  bool with_library = argc > 2 && !cell_is_absent(args[2]);
  if (with_library) text_argument(argc, args, 2, library);
  bool ok = object_create(object_argument(argc, args), name, with_library ? &library : nullptr);
  *result = cell_bool(ok);
}

void svc_object_set_property(int argc, const Cell* args, Cell* result) {
  Text name;
  text_argument(argc, args, 1, name);
  Cell value = argc > 2 ? args[2] : cell_absent();
  *result = cell_bool(object_set_property(object_argument(argc, args), name, value));
}

void svc_object_call_number(int argc, const Cell* args, Cell* result) {
  Text name;
  text_argument(argc, args, 1, name);
  *result = cell_double(object_call_number(object_argument(argc, args), name, argc > 2 ? argc - 2 : 0,
                                           argc > 2 ? args + 2 : nullptr));
}

void svc_object_call_text(int argc, const Cell* args, Cell* result) {
  Text name;
  text_argument(argc, args, 1, name);
  *result = run(object_argument(argc, args), name, argc > 2 ? argc - 2 : 0, argc > 2 ? args + 2 : nullptr, false,
                TAG_TEXT);
}

void svc_object_clear(int argc, const Cell* args, Cell* result) {
  object_clear(object_argument(argc, args));
  *result = Cell{};
}

}  // namespace cx
