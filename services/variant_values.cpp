// Values between the automation bridge's cells and COM's VARIANTs.
#include "services/variant_values.h"

#include <cstring>

#include "services/codepage.h"
#include "services/heap.h"

namespace cx::com {

bool is_array_type(VARTYPE vt) { return vt == VT_SAFEARRAY || vt == VT_CARRAY || (vt & VT_ARRAY) != 0; }

VARIANT empty_variant() {
  VARIANT v;
  VariantInit(&v);
  return v;
}

void move_variant(VARIANT* to, VARIANT* from) {
  *to = *from;
  VariantInit(from);
}

// Converted straight into the string's own block: a script of a megabyte is
// not converted into a buffer first and then copied.
BSTR bstr_from_text(const char* s) {
  const size_t n = s ? std::strlen(s) : 0;
  const int units = n > 0 && n <= 0x7FFFFFFF ? MultiByteToWideChar(CP_ACP, 0, s, int(n), nullptr, 0) : 0;
  if (units <= 0) return SysAllocStringLen(nullptr, 0);
  BSTR b = SysAllocStringLen(nullptr, UINT(units));
  if (b) MultiByteToWideChar(CP_ACP, 0, s, int(n), b, units);
  return b;
}

// The declared type with one pointer level taken off, as the object rule reads it.
VARTYPE plain_type(const TYPEDESC* type) {
  if (type == nullptr) return VT_VARIANT;
  if (type->vt == VT_PTR && type->lptdesc) return type->lptdesc->vt;
  return type->vt;
}

// The element type of an array parameter (through one pointer level).
const TYPEDESC* array_element(const TYPEDESC* type) {
  if (type && type->vt == VT_PTR) type = type->lptdesc;
  if (type && type->vt == VT_SAFEARRAY) return type->lptdesc;
  return nullptr;  // undeclared: taken as VARIANT
}

void object_to_variant(const ObjectRecord* record, const TYPEDESC* type, VARIANT* v) {
  V_VT(v) = VT_UNKNOWN;
  V_UNKNOWN(v) = nullptr;
  if (record == nullptr || record->iface == nullptr) return;
  auto* unknown = static_cast<IUnknown*>(record->iface);
  if (record->data) {
    // A structure: the call gets a copy of its own, the variable keeps its data.
    auto* info = static_cast<IRecordInfo*>(record->iface);
    PVOID copy = nullptr;
    if (SUCCEEDED(info->RecordCreateCopy(record->data, &copy))) {
      info->AddRef();
      V_VT(v) = VT_RECORD;
      V_RECORDINFO(v) = info;
      V_RECORD(v) = copy;
    }
    return;
  }
  VARTYPE want = plain_type(type);
  if (want == VT_UNKNOWN) {
    unknown->AddRef();
    V_UNKNOWN(v) = unknown;
  } else if (want == VT_DISPATCH) {
    IDispatch* dispatch = nullptr;
    if (SUCCEEDED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
      V_VT(v) = VT_DISPATCH;
      V_DISPATCH(v) = dispatch;
    }
  } else if (want == VT_VARIANT) {
    // A variant parameter takes the object itself: its IDispatch when it has one.
    IDispatch* dispatch = nullptr;
    if (SUCCEEDED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
      V_VT(v) = VT_DISPATCH;
      V_DISPATCH(v) = dispatch;
    } else {
      unknown->AddRef();
      V_UNKNOWN(v) = unknown;
    }
  }
}

// A value stored as the VARIANT member holds it (the cell's value words, or
// the caller's storage of a by-reference cell).
template <class Member>
int32_t put_stored(VARIANT* v, VARTYPE type, Member& member, const void* at) {
  std::memcpy(&member, at, sizeof member);
  V_VT(v) = type;
  return OBJ_OK;
}

// Converts one argument cell by its kind; a by-reference cell is read through
// its address. Returns OBJ_BAD_ARG_KIND for a kind that cannot be passed.
int32_t cell_to_variant(const Cell& cell, const TYPEDESC* type, VARIANT* v) {
  VariantInit(v);
  const bool by_ref = tag_is_byref(cell.tag);
  const void* at = by_ref ? cell.v.ptr : &cell.v;
  if (by_ref && at == nullptr) return OBJ_BAD_ARG_KIND;
  switch (tag_base(cell.tag)) {
    case TAG_OBJECT:
      object_to_variant(static_cast<const ObjectRecord*>(cell.v.ptr), type, v);
      return OBJ_OK;
    case TAG_VARIANT:
      if (cell.v.ptr) VariantCopyInd(v, static_cast<VARIANT*>(const_cast<void*>(cell.v.ptr)));
      return OBJ_OK;
    case TAG_BOOL:
      V_VT(v) = VT_BOOL;
      V_BOOL(v) = *static_cast<const int32_t*>(at) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      return OBJ_OK;
    case TAG_DATE:
      return put_stored(v, VT_DATE, V_DATE(v), at);
    case TAG_TEXT: {
      const char* s = by_ref ? static_cast<const Text*>(at)->c_str() : cell_as_text(cell);
      V_VT(v) = VT_BSTR;
      V_BSTR(v) = bstr_from_text(s);
      return OBJ_OK;
    }
    case TAG_BYTE:
      return put_stored(v, VT_UI1, V_UI1(v), at);
    case TAG_SHORT:
      return put_stored(v, VT_I2, V_I2(v), at);
    case TAG_INT:
      return put_stored(v, VT_I4, V_I4(v), at);
    case TAG_LONG: {
      int64_t value;
      std::memcpy(&value, at, sizeof value);
      V_VT(v) = VT_I4;
      V_I4(v) = int32_t(uint32_t(uint64_t(value)));  // the low 32 bits only
      return OBJ_OK;
    }
    case TAG_FLOAT:
      return put_stored(v, VT_R4, V_R4(v), at);
    case TAG_DOUBLE:
      return put_stored(v, VT_R8, V_R8(v), at);
    default:
      return OBJ_BAD_ARG_KIND;
  }
}

void set_param_not_found(VARIANT* v) {
  VariantClear(v);
  V_VT(v) = VT_ERROR;
  V_ERROR(v) = DISP_E_PARAMNOTFOUND;
}

// Clears a VARIANT the call built; record copies are destroyed with their data.
void clear_built(VARIANT* v) {
  if (V_VT(v) == VT_RECORD) {
    if (V_RECORDINFO(v)) {
      if (V_RECORD(v)) V_RECORDINFO(v)->RecordDestroy(V_RECORD(v));
      V_RECORDINFO(v)->Release();
    }
    VariantInit(v);
    return;
  }
  VariantClear(v);
}

// ---------------------------------------------------------------------------
// Result conversion

// A text result from a VARIANT (VT_BSTR after conversion), or a status.
int32_t variant_to_cell(const VARIANT* src, uint32_t kind, Cell* out) {
  *out = Cell{};
  out->tag = kind;
  if (V_VT(src) == VT_RECORD) return OBJ_BAD_RESULT;
  if (kind == TAG_VARIANT) {
    auto* block = static_cast<VARIANT*>(heap_allocate(sizeof(VARIANT)));
    VariantInit(block);
    if (FAILED(VariantCopyInd(block, const_cast<VARIANT*>(src)))) {
      heap_release(block);
      return OBJ_BAD_RESULT;
    }
    out->v.ptr = block;
    return OBJ_OK;
  }
  if (kind == TAG_OBJECT) {
    auto* record = static_cast<ObjectRecord*>(heap_allocate(sizeof(ObjectRecord)));
    *record = ObjectRecord{};
    out->v.ptr = record;
    if (V_VT(src) == VT_EMPTY) return OBJ_OK;
    VARIANT tmp = empty_variant();
    if (FAILED(VariantChangeType(&tmp, const_cast<VARIANT*>(src), 0, VT_UNKNOWN))) return OBJ_BAD_RESULT;
    record->iface = V_UNKNOWN(&tmp);  // the reference the conversion took is the record's
    return OBJ_OK;
  }
  if (V_VT(src) == VT_EMPTY) return OBJ_OK;  // the empty text, 0
  VARTYPE want;
  switch (kind) {
    case TAG_TEXT: want = VT_BSTR; break;
    case TAG_DOUBLE: want = VT_R8; break;
    case TAG_BOOL: want = VT_BOOL; break;
    case TAG_DATE: want = VT_DATE; break;
    case TAG_BYTE: want = VT_UI1; break;
    case TAG_SHORT: want = VT_I2; break;
    case TAG_INT:
    case TAG_LONG: want = VT_I4; break;
    case TAG_FLOAT: want = VT_R4; break;
    default: return OBJ_BAD_RESULT;
  }
  if (V_VT(src) == VT_BSTR && kind == TAG_TEXT) {  // read in place: a long answer is not copied first
    Text t = utf16_to_ansi(reinterpret_cast<const char16_t*>(V_BSTR(src)), SysStringLen(V_BSTR(src)));
    out->v.ptr = t.release();
    return OBJ_OK;
  }
  VARIANT tmp = empty_variant();
  if (FAILED(VariantChangeType(&tmp, const_cast<VARIANT*>(src), 0, want))) return OBJ_BAD_RESULT;
  switch (kind) {
    case TAG_TEXT: {
      Text t = utf16_to_ansi(reinterpret_cast<const char16_t*>(V_BSTR(&tmp)), SysStringLen(V_BSTR(&tmp)));
      out->v.ptr = t.release();
      break;
    }
    case TAG_DOUBLE: out->v.f64 = V_R8(&tmp); break;
    case TAG_BOOL: out->v.w.lo = V_BOOL(&tmp) ? 1u : 0u; break;
    case TAG_DATE: out->v.f64 = V_DATE(&tmp); break;
    case TAG_BYTE: out->v.w.lo = V_UI1(&tmp); break;
    case TAG_SHORT: out->v.w.lo = uint32_t(int32_t(V_I2(&tmp))); break;
    case TAG_INT: out->v.w.lo = uint32_t(V_I4(&tmp)); break;
    case TAG_LONG: out->v.i64 = int64_t(V_I4(&tmp)); break;  // sign-extended
    case TAG_FLOAT: out->v.f32 = V_R4(&tmp); break;
  }
  VariantClear(&tmp);
  return OBJ_OK;
}

// Stores a converted output value into the caller's variable of that kind.
void store_into_variable(Cell* value, void* variable) {
  switch (value->tag) {
    case TAG_TEXT: *static_cast<Text*>(variable) = cell_take_text(value); break;
    case TAG_BOOL:
    case TAG_INT: std::memcpy(variable, &value->v.w.lo, sizeof(int32_t)); break;
    case TAG_BYTE: *static_cast<uint8_t*>(variable) = uint8_t(value->v.w.lo); break;
    case TAG_SHORT: *static_cast<int16_t*>(variable) = int16_t(value->v.w.lo); break;
    case TAG_LONG: std::memcpy(variable, &value->v.i64, sizeof(int64_t)); break;
    case TAG_FLOAT: std::memcpy(variable, &value->v.f32, sizeof(float)); break;
    case TAG_DOUBLE:
    case TAG_DATE: std::memcpy(variable, &value->v.f64, sizeof(double)); break;
  }
}

}  // namespace cx::com
