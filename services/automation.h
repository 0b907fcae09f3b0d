// The automation object bridge: COM automation objects created by name and
// driven by property and method name through their type information.
#pragma once

#include <cstdint>

#include "services/value.h"

namespace cx {

// An object variable's record: interface reference and structure data.
struct ObjectRecord {
  void* iface = nullptr;
  void* data = nullptr;
};

// Object-call status codes (0 success).
enum ObjectStatus : int32_t {
  OBJ_OK = 0, OBJ_EMPTY = -1, OBJ_NO_DISPATCH = -2, OBJ_NO_MEMBER = -3, OBJ_NO_TYPEINFO = -4,
  OBJ_TOO_MANY_ARGS = -5, OBJ_BAD_ARG_KIND = -7, OBJ_BAD_RESULT = -8,
  OBJ_BADPARAMCOUNT = -9, OBJ_BADVARTYPE = -10, OBJ_EXCEPTION = -11, OBJ_MEMBERNOTFOUND = -12,
  OBJ_NONAMEDARGS = -13, OBJ_OVERFLOW = -14, OBJ_PARAMNOTFOUND = -15, OBJ_TYPEMISMATCH = -16,
  OBJ_PARAMNOTOPTIONAL = -17, OBJ_INVOKE_FAILED = -18,
};

// type_library: absent when null.
bool object_create(ObjectRecord* object, const Text& class_name, const Text* type_library = nullptr);
bool object_set_property(ObjectRecord* object, const Text& name, const Cell& value);
double object_call_number(ObjectRecord* object, const Text& name, int argc = 0, const Cell* args = nullptr);
Text object_call_text(ObjectRecord* object, const Text& name, int argc = 0, const Cell* args = nullptr);
void object_clear(ObjectRecord* object);
// Status of the calling thread's last property write or method call.
int32_t object_call_status();

}  // namespace cx
