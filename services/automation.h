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

// Argument cells of the calls below: any basic kind; an object argument is a
// TAG_OBJECT cell holding an ObjectRecord*, a variant argument a TAG_VARIANT
// cell holding a VARIANT* (16-byte block). A by-reference cell (basic tag |
// TAG_BYREF) holds the address of the caller's variable of that kind (a Text
// for texts, int32_t for logicals, double for date-times, the plain scalar for
// the numeric kinds); output parameters are written back into it.

// type_library: absent when null.
bool object_create(ObjectRecord* object, const Text& class_name, const Text* type_library = nullptr);
bool object_set_property(ObjectRecord* object, const Text& name, const Cell& value);
double object_call_number(ObjectRecord* object, const Text& name, int argc = 0, const Cell* args = nullptr);
Text object_call_text(ObjectRecord* object, const Text& name, int argc = 0, const Cell* args = nullptr);
void object_clear(ObjectRecord* object);
// Status of the calling thread's last property write or method call.
int32_t object_call_status();

// The method call with any result kind (a basic tag, TAG_OBJECT or
// TAG_VARIANT). The result cell carries that tag; texts are owned blocks
// (cell_take_text), the object kind holds a new ObjectRecord block and the
// variant kind a new VARIANT block, both from the runtime heap and owned by
// the caller (object_result_release). On failure the value is empty.
Cell object_call_value(ObjectRecord* object, const Text& name, uint32_t result_kind, int argc = 0,
                       const Cell* args = nullptr);
// Releases what a result cell of object_call_value owns and zeroes the cell.
void object_result_release(Cell* result);

// The five operations in the uniform calling form. args[0] is the object
// argument (TAG_OBJECT holding the variable's ObjectRecord*).
void svc_object_create(int argc, const Cell* args, Cell* result);        // name, [type library]
void svc_object_set_property(int argc, const Cell* args, Cell* result);  // name, value
void svc_object_call_number(int argc, const Cell* args, Cell* result);   // name, [arguments ...]
void svc_object_call_text(int argc, const Cell* args, Cell* result);     // name, [arguments ...]
void svc_object_clear(int argc, const Cell* args, Cell* result);

}  // namespace cx
