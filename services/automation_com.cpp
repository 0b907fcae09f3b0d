// The automation bridge on COM: objects created from a ProgID, a CLSID or a
// type library, members bound by name through the object's type information
// and called through IDispatch::Invoke.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstring>
#include <string>
#include <vector>

#include "services/automation.h"
#include "services/automation_internal.h"
#include "services/codepage.h"
#include "services/heap.h"
#include "services/variant_values.h"

namespace cx {

namespace {

using namespace com;

// One counted interface reference, released with its owner.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T** out() { reset(); return &p_; }
  void** out_void() { return reinterpret_cast<void**>(out()); }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T* detach() { T* p = p_; p_ = nullptr; return p; }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// A zero-terminated UTF-16 copy of a text (system code page), writable because
// FindName and Bind take non-const names.
std::vector<wchar_t> wide_name(const Text& t) {
  std::u16string w = ansi_to_utf16(t.view());
  std::vector<wchar_t> out(w.begin(), w.end());
  out.push_back(0);
  return out;
}

// ---------------------------------------------------------------------------
// Creation

void create_from_type_library(const Text& class_name, const Text& file, ComRef<IUnknown>& created) {
  std::vector<wchar_t> path = wide_name(file);
  ComRef<ITypeLib> library;
  if (FAILED(LoadTypeLib(path.data(), library.out()))) return;
  std::vector<wchar_t> name = wide_name(class_name);
  ULONG hash = LHashValOfNameSys(SYS_WIN32, LOCALE_USER_DEFAULT, name.data());
  // Ask for two so that "exactly one" can be told from "the first of several".
  ITypeInfo* found[2] = {nullptr, nullptr};
  MEMBERID ids[2] = {};
  USHORT count = 2;
  if (SUCCEEDED(library->FindName(name.data(), hash, found, ids, &count)) && count == 1 && found[0])
    found[0]->CreateInstance(nullptr, IID_IUnknown, created.out_void());
  for (USHORT i = 0; i < count && i < 2; ++i)
    if (found[i]) found[i]->Release();
  bool has_backslash = false;
  for (wchar_t c : path) has_backslash = has_backslash || c == L'\\';
  if (has_backslash) RegisterTypeLib(library.get(), path.data(), nullptr);
}

bool create_from_class_id(const Text& class_name, ComRef<IUnknown>& created) {
  std::vector<wchar_t> name = wide_name(class_name);
  CLSID clsid;
  HRESULT hr = class_name.c_str()[0] == '{' ? CLSIDFromString(name.data(), &clsid)
                                            : CLSIDFromProgID(name.data(), &clsid);
  if (FAILED(hr)) return false;
  const DWORD all_servers = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
  hr = CoCreateInstance(clsid, nullptr, all_servers, IID_IUnknown, created.out_void());
  // Systems without remote activation refuse the remote bit as an invalid argument.
  if (hr == E_INVALIDARG)
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                          IID_IUnknown, created.out_void());
  return SUCCEEDED(hr) && created;
}

// ---------------------------------------------------------------------------
// Binding

// The member a name was bound to; its description lives in `owner`.
struct Binding {
  ComRef<ITypeInfo> owner;
  FUNCDESC* func = nullptr;
  VARDESC* var = nullptr;
  ~Binding() {
    if (owner && func) owner->ReleaseFuncDesc(func);
    if (owner && var) owner->ReleaseVarDesc(var);
  }
};


int32_t bind_member(ITypeComp* comp, wchar_t* name, bool property_write, Binding& bound) {
  static const WORD kWriteOrder[] = {INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF, INVOKE_FUNC};
  static const WORD kCallOrder[] = {INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF};
  const WORD* order = property_write ? kWriteOrder : kCallOrder;
  int kinds = property_write ? 3 : 4;
  ULONG hash = LHashValOfNameSys(SYS_WIN32, LOCALE_USER_DEFAULT, name);
  for (int k = 0; k < kinds; ++k) {
    ITypeInfo* info = nullptr;
    DESCKIND desc_kind = DESCKIND_NONE;
    BINDPTR bind{};
    if (FAILED(comp->Bind(name, hash, order[k], &info, &desc_kind, &bind))) continue;
    switch (desc_kind) {
      case DESCKIND_FUNCDESC:
        *bound.owner.out() = info;
        bound.func = bind.lpfuncdesc;
        return OBJ_OK;
      case DESCKIND_VARDESC:
      case DESCKIND_IMPLICITAPPOBJ:
        *bound.owner.out() = info;
        bound.var = bind.lpvardesc;
        return OBJ_OK;
      case DESCKIND_TYPECOMP:  // the name of a type, not of a member
        if (bind.lptcomp) bind.lptcomp->Release();
        if (info) info->Release();
        return OBJ_NO_MEMBER;
      default:
        if (info) info->Release();
        break;
    }
  }
  return OBJ_NO_MEMBER;
}


int32_t status_of(HRESULT hr) {
  switch (hr) {
    case DISP_E_BADPARAMCOUNT: return OBJ_BADPARAMCOUNT;
    case DISP_E_BADVARTYPE: return OBJ_BADVARTYPE;
    case DISP_E_EXCEPTION: return OBJ_EXCEPTION;
    case DISP_E_MEMBERNOTFOUND: return OBJ_MEMBERNOTFOUND;
    case DISP_E_NONAMEDARGS: return OBJ_NONAMEDARGS;
    case DISP_E_OVERFLOW: return OBJ_OVERFLOW;
    case DISP_E_PARAMNOTFOUND: return OBJ_PARAMNOTFOUND;
    case DISP_E_TYPEMISMATCH: return OBJ_TYPEMISMATCH;
    case DISP_E_PARAMNOTOPTIONAL: return OBJ_PARAMNOTOPTIONAL;
    default: return OBJ_INVOKE_FAILED;
  }
}

// ---------------------------------------------------------------------------
// One call: the argument blocks and everything built for them.

struct Arguments {
  // In call order (first argument first); DISPPARAMS wants the reverse.
  std::vector<VARIANT> values;
  std::vector<VARIANT> targets;         // by-reference targets, parallel to values
  std::vector<const Cell*> written;     // caller's by-reference cell for an output parameter
  std::vector<VARIANT> reversed;
  ~Arguments() {
    for (VARIANT& v : values) clear_built(&v);
    for (VARIANT& v : targets) clear_built(&v);
  }
  void resize(size_t n) {
    values.assign(n, empty_variant());
    targets.assign(n, empty_variant());
    written.assign(n, nullptr);
  }
};

// Makes argument i a by-reference VARIANT when its parameter is declared so.
void pass_by_reference(Arguments& a, size_t i, const ELEMDESC* param, const Cell* cell) {
  const TYPEDESC* type = &param->tdesc;
  VARIANT* value = &a.values[i];
  VARIANT* target = &a.targets[i];
  if (type->vt != VT_PTR || type->lptdesc == nullptr || V_VT(value) == VT_ERROR) return;
  VARTYPE pointee = type->lptdesc->vt;
  if (is_array_type(pointee)) {
    if ((V_VT(value) & VT_ARRAY) == 0) return;
    move_variant(target, value);
    V_VT(value) = VARTYPE(VT_BYREF | V_VT(target));
    V_ARRAYREF(value) = &V_ARRAY(target);
  } else if (pointee == VT_VARIANT) {
    move_variant(target, value);
    V_VT(value) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(value) = target;
  } else if (pointee == VT_USERDEFINED || pointee == VT_RECORD || pointee == VT_PTR) {
    return;  // structures and deeper pointers go by value
  } else {
    if (FAILED(VariantChangeType(target, value, 0, pointee))) return;
    clear_built(value);
    V_VT(value) = VARTYPE(VT_BYREF | pointee);
    V_BYREF(value) = &V_UI1(target);  // the union's start, whatever member the type uses
  }
  if ((param->paramdesc.wParamFlags & PARAMFLAG_FOUT) && cell && tag_is_byref(cell->tag)) a.written[i] = cell;
}

// A vararg member's trailing arguments, one VARIANT each, as the SAFEARRAY
// of VARIANT that its last parameter declares.
int32_t pack_varargs(const Cell* args, int from, int to, const TYPEDESC* element, VARIANT* out) {
  SAFEARRAYBOUND bound = {ULONG(to > from ? to - from : 0), 0};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
  if (array == nullptr) return OBJ_INVOKE_FAILED;
  V_VT(out) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(out) = array;
  if (bound.cElements == 0) return OBJ_OK;
  VARIANT* slots = nullptr;
  if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&slots)))) return OBJ_INVOKE_FAILED;
  int32_t status = OBJ_OK;
  for (int i = from; i < to && status == OBJ_OK; ++i) {
    VARIANT* slot = &slots[i - from];
    if (cell_is_absent(args[i])) {
      set_param_not_found(slot);
      continue;
    }
    status = cell_to_variant(args[i], element, slot);
    if (status == OBJ_OK && V_VT(slot) == VT_EMPTY) set_param_not_found(slot);
  }
  SafeArrayUnaccessData(array);
  return status;
}

int32_t invoke(ObjectRecord* object, const Text& name, int argc, const Cell* args, bool property_write,
               uint32_t result_kind, Cell* result) {
  std::vector<wchar_t> member = wide_name(name);
  if (object == nullptr || object->iface == nullptr) return OBJ_EMPTY;
  ComRef<IDispatch> dispatch;
  if (FAILED(static_cast<IUnknown*>(object->iface)->QueryInterface(IID_IDispatch, dispatch.out_void())) || !dispatch)
    return OBJ_NO_DISPATCH;
  ComRef<ITypeInfo> type_info;
  ComRef<ITypeComp> type_comp;
  if (FAILED(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, type_info.out())) || !type_info) return OBJ_NO_TYPEINFO;
  if (FAILED(type_info->GetTypeComp(type_comp.out())) || !type_comp) return OBJ_NO_TYPEINFO;

  Binding bound;
  int32_t status = bind_member(type_comp.get(), member.data(), property_write, bound);
  if (status != OBJ_OK) return status;

  // What was bound decides the flags, the parameters and the member id.
  WORD flags;
  MEMBERID id;
  int params;
  const ELEMDESC* param_desc;
  bool vararg = false;
  if (bound.func) {
    flags = WORD(bound.func->invkind);
    id = bound.func->memid;
    params = bound.func->cParams;
    param_desc = bound.func->lprgelemdescParam;
    // A return-value parameter is the call's result, not an argument.
    if (params > 0 && (param_desc[params - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) --params;
    vararg = bound.func->cParamsOpt == -1 && params > 0;
  } else {
    VARTYPE vt = bound.var->elemdescVar.tdesc.vt;
    bool reference = is_array_type(vt) || vt == VT_UNKNOWN || vt == VT_DISPATCH;
    flags = property_write ? (reference ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT) : DISPATCH_PROPERTYGET;
    id = bound.var->memid;
    params = property_write ? 1 : 0;
    param_desc = &bound.var->elemdescVar;
  }

  // Trailing arguments left out are dropped.
  int actual = argc;
  while (actual > 0 && cell_is_absent(args[actual - 1])) --actual;
  if (actual > params && !vararg) return OBJ_TOO_MANY_ARGS;

  // A vararg member always gets its fixed parameters and then the array of the rest.
  const int fixed = vararg ? params - 1 : params;
  const int passed = vararg ? params : actual;
  Arguments a;
  a.resize(size_t(passed));
  for (int i = 0; i < passed && status == OBJ_OK; ++i) {
    VARIANT* v = &a.values[size_t(i)];
    if (vararg && i == fixed) {
      status = pack_varargs(args, fixed < actual ? fixed : actual, actual, array_element(&param_desc[i].tdesc), v);
      if (status == OBJ_OK) pass_by_reference(a, size_t(i), &param_desc[i], nullptr);
      continue;
    }
    if (i >= actual || cell_is_absent(args[i])) {
      set_param_not_found(v);
      continue;
    }
    status = cell_to_variant(args[i], i < params ? &param_desc[i].tdesc : nullptr, v);
    if (status != OBJ_OK) break;
    if (V_VT(v) == VT_EMPTY) {
      set_param_not_found(v);
      continue;
    }
    if (i < params) pass_by_reference(a, size_t(i), &param_desc[i], &args[i]);
  }
  if (status != OBJ_OK) return status;

  a.reversed.resize(size_t(passed));
  for (int i = 0; i < passed; ++i) a.reversed[size_t(passed - 1 - i)] = a.values[size_t(i)];
  DISPID put_id = DISPID_PROPERTYPUT;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  DISPPARAMS dp;
  dp.rgvarg = passed ? a.reversed.data() : nullptr;
  dp.cArgs = UINT(passed);
  dp.rgdispidNamedArgs = put && passed ? &put_id : nullptr;
  dp.cNamedArgs = put && passed ? 1 : 0;

  VARIANT answer = empty_variant();
  HRESULT hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp, put ? nullptr : &answer, nullptr,
                                nullptr);
  if (FAILED(hr)) {
    VariantClear(&answer);
    return status_of(hr);
  }

  for (size_t i = 0; i < a.written.size(); ++i) {
    const Cell* cell = a.written[i];
    if (cell == nullptr) continue;
    Cell value{};
    if (variant_to_cell(&a.targets[i], tag_base(cell->tag), &value) == OBJ_OK) store_into_variable(&value, cell->v.ptr);
    cell_release(&value);
  }
  if (result_kind != 0) status = variant_to_cell(&answer, result_kind, result);
  VariantClear(&answer);
  if (status != OBJ_OK) {
    object_result_release(result);
  }
  return status;
}

}  // namespace

// ---------------------------------------------------------------------------

bool object_create(ObjectRecord* object, const Text& class_name, const Text* type_library) {
  if (object == nullptr) return false;
  ComRef<IUnknown> created;
  if (class_name.c_str()[0] != '{' && type_library != nullptr) create_from_type_library(class_name, *type_library, created);
  if (!created && !create_from_class_id(class_name, created)) return false;
  if (FAILED(OleRun(created.get()))) return false;  // the variable keeps what it held
  object_clear(object);
  object->iface = created.detach();
  return true;
}

void object_clear(ObjectRecord* object) {
  if (object == nullptr) return;
  if (object->iface) {
    if (object->data) static_cast<IRecordInfo*>(object->iface)->RecordDestroy(object->data);
    static_cast<IUnknown*>(object->iface)->Release();
  } else if (object->data) {
    heap_release(object->data);
  }
  *object = ObjectRecord{};
}

namespace detail {

int32_t object_invoke(ObjectRecord* object, const Text& name, int argc, const Cell* args, bool property_write,
                      uint32_t result_kind, Cell* result) {
  return invoke(object, name, argc, args, property_write, result_kind, result);
}

void release_variant_block(void* block) {
  if (block == nullptr) return;
  VariantClear(static_cast<VARIANT*>(block));
  heap_release(block);
}

}  // namespace detail
}  // namespace cx
