// The automation bridge under Wine: the Script Control and the scripting
// runtime's classes as real objects, and a probe object whose type
// information is built here, so that what the bridge hands to Invoke (order,
// kinds, by-reference targets, missing arguments, flags) can be looked at.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <utility>
#include <vector>

#include "services/automation.h"
#include "services/codepage.h"

namespace cx {
namespace {

Text T(const char* s) { return Text::copy(std::string_view(s)); }
std::string S(const Text& t) { return std::string(t.view()); }
std::wstring W(const char* s) {
  std::u16string u = ansi_to_utf16(s);
  return std::wstring(u.begin(), u.end());
}

// ---------------------------------------------------------------------------
// The probe: members declared in a type library made at run time.

enum ProbeMember : DISPID {
  kTake = 1, kTakeUnknown, kTakeDispatch, kTakeLong, kUpdate, kPeek, kFail, kAnswer, kSum, kOwner, kSize, kLabel
};

struct ParamDef {
  const wchar_t* name;
  VARTYPE vt;        // VT_PTR: by reference to `pointee`
  VARTYPE pointee;
  USHORT flags;      // PARAMFLAG_*
};

struct FuncDef {
  DISPID id;
  const wchar_t* name;
  INVOKEKIND kind;
  std::vector<ParamDef> params;
  bool vararg;
};

void add_function(ICreateTypeInfo* ti, UINT index, const FuncDef& f) {
  std::vector<ELEMDESC> params(f.params.size());
  std::vector<TYPEDESC> pointees(f.params.size() * 2);
  for (size_t i = 0; i < f.params.size(); ++i) {
    const ParamDef& p = f.params[i];
    ELEMDESC& e = params[i];
    e = ELEMDESC{};
    e.paramdesc.wParamFlags = p.flags;
    e.tdesc.vt = p.vt;
    if (p.vt == VT_PTR) {
      TYPEDESC* inner = &pointees[2 * i];
      inner->vt = p.pointee;
      if (p.pointee == VT_SAFEARRAY) {
        pointees[2 * i + 1].vt = VT_VARIANT;
        inner->lptdesc = &pointees[2 * i + 1];
      }
      e.tdesc.lptdesc = inner;
    }
  }
  FUNCDESC fd{};
  fd.memid = f.id;
  fd.funckind = FUNC_DISPATCH;
  fd.invkind = f.kind;
  fd.callconv = CC_STDCALL;
  fd.cParams = SHORT(params.size());
  fd.cParamsOpt = f.vararg ? -1 : 0;
  fd.lprgelemdescParam = params.empty() ? nullptr : params.data();
  fd.elemdescFunc.tdesc.vt = f.kind == INVOKE_PROPERTYPUT ? VT_VOID : VT_VARIANT;
  ASSERT_HRESULT_SUCCEEDED(ti->AddFuncDesc(index, &fd));
  std::vector<LPOLESTR> names{const_cast<LPOLESTR>(f.name)};
  // A property put names no parameters.
  if (f.kind != INVOKE_PROPERTYPUT)
    for (const ParamDef& p : f.params) names.push_back(const_cast<LPOLESTR>(p.name));
  ASSERT_HRESULT_SUCCEEDED(ti->SetFuncAndParamNames(index, names.data(), UINT(names.size())));
}

void add_variable(ICreateTypeInfo* ti, UINT index, DISPID id, const wchar_t* name, VARTYPE vt) {
  VARDESC vd{};
  vd.memid = id;
  vd.varkind = VAR_DISPATCH;
  vd.elemdescVar.tdesc.vt = vt;
  ASSERT_HRESULT_SUCCEEDED(ti->AddVarDesc(index, &vd));
  ASSERT_HRESULT_SUCCEEDED(ti->SetVarName(index, const_cast<LPOLESTR>(name)));
}

ITypeInfo* probe_type_info() {
  static ITypeInfo* built = nullptr;
  if (built) return built;
  const USHORT in = PARAMFLAG_FIN, inout = PARAMFLAG_FIN | PARAMFLAG_FOUT;
  const std::vector<FuncDef> funcs = {
      {kTake, L"Take", INVOKE_FUNC, {{L"a", VT_VARIANT, 0, in}, {L"b", VT_VARIANT, 0, in}, {L"c", VT_VARIANT, 0, in}}, false},
      {kTakeUnknown, L"TakeUnknown", INVOKE_FUNC, {{L"u", VT_UNKNOWN, 0, in}}, false},
      {kTakeDispatch, L"TakeDispatch", INVOKE_FUNC, {{L"d", VT_DISPATCH, 0, in}}, false},
      {kTakeLong, L"TakeLong", INVOKE_FUNC, {{L"n", VT_I4, 0, in}}, false},
      {kUpdate, L"Update", INVOKE_FUNC,
       {{L"n", VT_PTR, VT_I4, inout}, {L"s", VT_PTR, VT_BSTR, inout}, {L"v", VT_PTR, VT_VARIANT, inout},
        {L"d", VT_R8, 0, in}}, false},
      {kPeek, L"Peek", INVOKE_FUNC, {{L"n", VT_PTR, VT_I4, in}}, false},
      {kFail, L"Fail", INVOKE_FUNC, {{L"code", VT_I4, 0, in}}, false},
      {kAnswer, L"Answer", INVOKE_FUNC, {{L"which", VT_I4, 0, in}}, false},
      {kSum, L"Sum", INVOKE_FUNC, {{L"first", VT_I4, 0, in}, {L"rest", VT_PTR, VT_SAFEARRAY, in}}, true},
      {kLabel, L"Label", INVOKE_PROPERTYPUT, {{L"value", VT_BSTR, 0, in}}, false},
  };
  ICreateTypeLib2* lib = nullptr;
  EXPECT_HRESULT_SUCCEEDED(CreateTypeLib2(SYS_WIN32, const_cast<LPOLESTR>(L"probe.tlb"), &lib));
  const GUID lib_id = {0x7a0c1e01, 0x2b3c, 0x4d5e, {0x8f, 0x90, 0xa1, 0xb2, 0xc3, 0xd4, 0xe5, 0x01}};
  const GUID type_id = {0x7a0c1e01, 0x2b3c, 0x4d5e, {0x8f, 0x90, 0xa1, 0xb2, 0xc3, 0xd4, 0xe5, 0x02}};
  lib->SetGuid(lib_id);
  ICreateTypeInfo* ti = nullptr;
  EXPECT_HRESULT_SUCCEEDED(lib->CreateTypeInfo(const_cast<LPOLESTR>(L"Probe"), TKIND_DISPATCH, &ti));
  ti->SetGuid(type_id);
  ITypeLib* std_lib = nullptr;
  ITypeInfo* dispatch_info = nullptr;
  HREFTYPE base;
  EXPECT_HRESULT_SUCCEEDED(LoadTypeLib(L"stdole2.tlb", &std_lib));
  EXPECT_HRESULT_SUCCEEDED(std_lib->GetTypeInfoOfGuid(IID_IDispatch, &dispatch_info));
  EXPECT_HRESULT_SUCCEEDED(ti->AddRefTypeInfo(dispatch_info, &base));
  EXPECT_HRESULT_SUCCEEDED(ti->AddImplType(0, base));
  for (UINT i = 0; i < funcs.size(); ++i) add_function(ti, i, funcs[i]);
  add_variable(ti, 0, kOwner, L"Owner", VT_DISPATCH);
  add_variable(ti, 1, kSize, L"Size", VT_I4);
  EXPECT_HRESULT_SUCCEEDED(ti->LayOut());
  EXPECT_HRESULT_SUCCEEDED(ti->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(&built)));
  ti->Release();
  dispatch_info->Release();
  std_lib->Release();
  // The library stays alive with the type information taken from it.
  return built;
}

// What one Invoke received, arguments in call order (first argument first).
struct Received {
  DISPID id = 0;
  WORD flags = 0;
  std::vector<VARTYPE> types;   // as passed, VT_BYREF included
  std::vector<VARIANT> values;  // dereferenced copies
  std::vector<DISPID> named;
  ~Received() { clear(); }
  void clear() {
    for (VARIANT& v : values) VariantClear(&v);
    values.clear();
    types.clear();
    named.clear();
    id = 0;
    flags = 0;
  }
};

class Probe : public IDispatch {
 public:
  bool offer_dispatch = true;
  bool offer_type_info = true;
  Received seen;
  LONG refs = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid == IID_IUnknown || (offer_dispatch && iid == IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&refs)); }
  ULONG STDMETHODCALLTYPE Release() override { return ULONG(InterlockedDecrement(&refs)); }  // lives on the stack
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { *n = offer_type_info ? 1 : 0; return S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (!offer_type_info) return E_NOTIMPL;
    *out = probe_type_info();
    (*out)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT n, LCID, DISPID* ids) override {
    return DispGetIDsOfNames(probe_type_info(), names, n, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    seen.clear();
    seen.id = id;
    seen.flags = flags;
    for (UINT i = 0; i < dp->cNamedArgs; ++i) seen.named.push_back(dp->rgdispidNamedArgs[i]);
    for (UINT i = dp->cArgs; i-- > 0;) {
      VARIANT copy;
      VariantInit(&copy);
      VariantCopyInd(&copy, &dp->rgvarg[i]);
      seen.types.push_back(V_VT(&dp->rgvarg[i]));
      seen.values.push_back(copy);
    }
    auto arg = [&](UINT k) { return &dp->rgvarg[dp->cArgs - 1 - k]; };
    if (result) VariantInit(result);
    switch (id) {
      case kUpdate: {
        if (dp->cArgs != 4) return DISP_E_BADPARAMCOUNT;
        if (V_VT(arg(0)) != (VT_BYREF | VT_I4) || V_VT(arg(1)) != (VT_BYREF | VT_BSTR) ||
            V_VT(arg(2)) != (VT_BYREF | VT_VARIANT) || V_VT(arg(3)) != VT_R8)
          return DISP_E_TYPEMISMATCH;
        *V_I4REF(arg(0)) *= 2;
        std::wstring s = *V_BSTRREF(arg(1)) ? *V_BSTRREF(arg(1)) : L"";
        SysFreeString(*V_BSTRREF(arg(1)));
        *V_BSTRREF(arg(1)) = SysAllocString((s + L"!").c_str());
        VariantClear(V_VARIANTREF(arg(2)));
        V_VT(V_VARIANTREF(arg(2))) = VT_I4;
        V_I4(V_VARIANTREF(arg(2))) = 7;
        if (result) { V_VT(result) = VT_R8; V_R8(result) = V_R8(arg(3)) * 2; }
        return S_OK;
      }
      case kPeek:
        if (V_VT(arg(0)) == (VT_BYREF | VT_I4)) *V_I4REF(arg(0)) = 99;
        return S_OK;
      case kFail:
        return HRESULT(V_I4(arg(0)));
      case kAnswer:
        if (!result) return S_OK;
        switch (V_I4(arg(0))) {
          case 1: V_VT(result) = VT_NULL; break;
          case 2: V_VT(result) = VT_BSTR; V_BSTR(result) = SysAllocString(W("中文x").c_str()); break;
          case 3: V_VT(result) = VT_I4; V_I4(result) = -5; break;
          case 4: V_VT(result) = VT_R8; V_R8(result) = 2.5; break;
          case 5: V_VT(result) = VT_BOOL; V_BOOL(result) = VARIANT_TRUE; break;
          case 6: V_VT(result) = VT_DISPATCH; V_DISPATCH(result) = this; AddRef(); break;
          case 7: V_VT(result) = VT_BSTR; V_BSTR(result) = SysAllocString(L"12.5"); break;
        }
        return S_OK;
      default:
        return S_OK;
    }
  }
};

// ---------------------------------------------------------------------------

class Bridge : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr)); }
  void TearDown() override {
    object_clear(&engine);
    object_clear(&probe_object);
    CoUninitialize();
  }
  // A Script Control speaking JScript, with `script` loaded.
  void script_engine(const char* script) {
    ASSERT_TRUE(object_create(&engine, T("ScriptControl")));
    ASSERT_TRUE(object_set_property(&engine, T("Language"), cell_text("JScript")));
    Cell s = cell_text(script);
    object_call_number(&engine, T("ExecuteStatement"), 1, &s);
    ASSERT_EQ(object_call_status(), OBJ_OK);
  }
  Text run(const char* function, std::vector<Cell> extra = {}) {
    extra.insert(extra.begin(), cell_text(function));
    return object_call_text(&engine, T("Run"), int(extra.size()), extra.data());
  }
  // A cell holding an object, as the program passes one.
  static Cell object_cell(ObjectRecord* record) {
    Cell c{};
    c.tag = TAG_OBJECT;
    c.v.ptr = record;
    return c;
  }
  ObjectRecord* probe_record() {
    probe.AddRef();
    probe_object.iface = static_cast<IDispatch*>(&probe);
    return &probe_object;
  }
  ObjectRecord engine;
  Probe probe;
  ObjectRecord probe_object;
};

// --- creation --------------------------------------------------------------

TEST_F(Bridge, AnUnregisteredClassLeavesTheVariableAsItWas) {
  script_engine("function two(){return 2;}");
  void* held = engine.iface;
  EXPECT_FALSE(object_create(&engine, T("Clipdex.NoSuchClass")));
  EXPECT_FALSE(object_create(&engine, T("{00000000-0000-0000-0000-00000000c1d0}")));
  EXPECT_FALSE(object_create(&engine, T("")));
  EXPECT_EQ(engine.iface, held);
  EXPECT_EQ(S(run("two")), "2");
}

TEST_F(Bridge, AClassNameInBracesIsAClassId) {
  CLSID clsid;
  ASSERT_HRESULT_SUCCEEDED(CLSIDFromProgID(L"ScriptControl", &clsid));
  wchar_t braced[64];
  ASSERT_GT(StringFromGUID2(clsid, braced, 64), 0);
  Text name = utf16_to_ansi(reinterpret_cast<const char16_t*>(braced), wcslen(braced));
  ASSERT_EQ(name.c_str()[0], '{');
  EXPECT_TRUE(object_create(&engine, name));
  EXPECT_TRUE(object_set_property(&engine, T("Language"), cell_text("JScript")));
}

TEST_F(Bridge, ATypeLibraryNamesItsOwnClasses) {
  // "Dictionary" is a class of the scripting runtime's library, not a ProgID.
  ObjectRecord dict;
  EXPECT_FALSE(object_create(&dict, T("Dictionary")));
  Text library = T("scrrun.dll");
  ASSERT_TRUE(object_create(&dict, T("Dictionary"), &library));
  Cell add[] = {cell_text("k"), cell_text("值")};
  object_call_number(&dict, T("Add"), 2, add);
  EXPECT_EQ(object_call_status(), OBJ_OK);
  EXPECT_EQ(object_call_number(&dict, T("Count")), 1.0);
  Cell key = cell_text("k");
  EXPECT_EQ(S(object_call_text(&dict, T("Item"), 1, &key)), "值");
  // A full path is registered as well; a name the library lacks falls back to the ProgID.
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  std::wstring path = std::wstring(system) + L"\\scrrun.dll";
  Text full = utf16_to_ansi(reinterpret_cast<const char16_t*>(path.c_str()), path.size());
  EXPECT_TRUE(object_create(&dict, T("Dictionary"), &full));
  EXPECT_TRUE(object_create(&dict, T("ScriptControl"), &library));
  EXPECT_TRUE(object_set_property(&dict, T("Language"), cell_text("JScript")));
  object_clear(&dict);
}

// --- the Script Control ------------------------------------------------------

TEST_F(Bridge, PropertiesAreWrittenByName) {
  ASSERT_TRUE(object_create(&engine, T("ScriptControl")));
  EXPECT_TRUE(object_set_property(&engine, T("Language"), cell_text("JScript")));
  EXPECT_EQ(object_call_status(), OBJ_OK);
  EXPECT_FALSE(object_set_property(&engine, T("Languag"), cell_text("JScript")));
  EXPECT_EQ(object_call_status(), OBJ_NO_MEMBER);
  EXPECT_TRUE(object_set_property(&engine, T("AllowUI"), cell_bool(false)));
  EXPECT_EQ(object_call_number(&engine, T("AllowUI")), 0.0);
  EXPECT_TRUE(object_set_property(&engine, T("Timeout"), cell_int(1234)));
  EXPECT_EQ(object_call_number(&engine, T("Timeout")), 1234.0);
}

TEST_F(Bridge, RunGivesTheFunctionsStringInTheSystemCodePage) {
  script_engine("function hi(){return '中文 ok';} function none(){}");
  EXPECT_EQ(S(run("hi")), "中文 ok");
  EXPECT_EQ(object_call_status(), OBJ_OK);
  EXPECT_EQ(S(run("none")), "");  // an empty result is the empty text
  EXPECT_EQ(object_call_status(), OBJ_OK);
  EXPECT_EQ(S(run("undefinedFunction")), "");
  EXPECT_NE(object_call_status(), OBJ_OK);
  // A script error is an exception of the object.
  Cell t = cell_text("throw 1;");
  object_call_number(&engine, T("ExecuteStatement"), 1, &t);
  EXPECT_EQ(object_call_status(), OBJ_EXCEPTION);
}

TEST_F(Bridge, ExecuteStatementGivesZero) {
  ASSERT_TRUE(object_create(&engine, T("ScriptControl")));
  ASSERT_TRUE(object_set_property(&engine, T("Language"), cell_text("JScript")));
  Cell s = cell_text("var defined = 1;");
  EXPECT_EQ(object_call_number(&engine, T("ExecuteStatement"), 1, &s), 0.0);
  EXPECT_EQ(object_call_status(), OBJ_OK);
  Cell broken = cell_text("function (");
  object_call_number(&engine, T("ExecuteStatement"), 1, &broken);
  EXPECT_EQ(object_call_status(), OBJ_EXCEPTION);
}

TEST_F(Bridge, VarargMembersTakeTheRestAsOneArray) {
  script_engine("function add(a,b){return a+b;} function count(){return arguments.length;}"
                "function join(){var s='';for(var i=0;i<arguments.length;i++)s+=typeof arguments[i]+'/';return s;}");
  EXPECT_EQ(S(run("add", {cell_int(2), cell_int(40)})), "42");
  EXPECT_EQ(S(run("count")), "0");
  EXPECT_EQ(S(run("count", {cell_int(1), cell_text("x"), cell_double(2.5)})), "3");
  EXPECT_EQ(S(run("join", {cell_text("a"), cell_bool(true), cell_double(1)})), "string/boolean/number/");
  // Trailing arguments left out are dropped.
  EXPECT_EQ(S(run("count", {cell_int(1), cell_absent(), cell_absent()})), "1");
}

TEST_F(Bridge, ObjectsPassToObjectParameters) {
  script_engine("function size(d){return d.Count;}");
  ObjectRecord dict;
  ASSERT_TRUE(object_create(&dict, T("Scripting.Dictionary")));
  Cell add[] = {cell_text("a"), cell_int(1)};
  object_call_number(&dict, T("Add"), 2, add);
  Cell as_object = object_cell(&dict);
  // AddObject declares an IDispatch parameter; Run's rest are variants.
  Cell named[] = {cell_text("shared"), as_object};
  object_call_number(&engine, T("AddObject"), 2, named);
  EXPECT_EQ(object_call_status(), OBJ_OK);
  Cell s = cell_text("function sharedCount(){return shared.Count;}");
  object_call_number(&engine, T("ExecuteStatement"), 1, &s);
  EXPECT_EQ(S(run("sharedCount")), "1");
  EXPECT_EQ(S(run("size", {as_object})), "1");
  object_clear(&dict);
}

TEST_F(Bridge, AnEmptyObjectGivesEmptyValues) {
  ObjectRecord empty;
  EXPECT_EQ(S(object_call_text(&empty, T("Run"))), "");
  EXPECT_EQ(object_call_status(), OBJ_EMPTY);
  EXPECT_EQ(object_call_number(&empty, T("Eval")), 0.0);
  EXPECT_EQ(object_call_status(), OBJ_EMPTY);
  EXPECT_FALSE(object_set_property(&empty, T("Language"), cell_text("JScript")));
  EXPECT_EQ(object_call_status(), OBJ_EMPTY);
  EXPECT_FALSE(object_set_property(nullptr, T("Language"), cell_text("JScript")));
  object_clear(&empty);
  object_clear(&empty);
  EXPECT_EQ(empty.iface, nullptr);
}

TEST_F(Bridge, ClearingReleasesTheObjectOnce) {
  ObjectRecord* p = probe_record();
  LONG before = probe.refs;
  object_clear(p);
  EXPECT_EQ(probe.refs, before - 1);
  EXPECT_EQ(p->iface, nullptr);
  object_clear(p);
  EXPECT_EQ(probe.refs, before - 1);
}

DWORD WINAPI call_on_empty_object(void* status) {
  ObjectRecord empty;
  object_call_number(&empty, T("Eval"));
  *static_cast<int32_t*>(status) = object_call_status();
  return 0;
}

TEST_F(Bridge, TheStatusBelongsToTheCallingThread) {
  ASSERT_TRUE(object_create(&engine, T("ScriptControl")));
  object_set_property(&engine, T("NoSuchProperty"), cell_int(1));
  ASSERT_EQ(object_call_status(), OBJ_NO_MEMBER);
  int32_t other = 1;
  HANDLE thread = CreateThread(nullptr, 0, call_on_empty_object, &other, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_EQ(other, OBJ_EMPTY);
  EXPECT_EQ(object_call_status(), OBJ_NO_MEMBER);
}

// --- what Invoke receives ----------------------------------------------------

TEST_F(Bridge, ArgumentsGoInReverseOrderWithMissingOnesMarked) {
  ObjectRecord* p = probe_record();
  Cell args[] = {cell_int(1), cell_absent(), cell_text("c")};
  object_call_number(p, T("Take"), 3, args);
  ASSERT_EQ(object_call_status(), OBJ_OK);
  EXPECT_EQ(probe.seen.id, kTake);
  EXPECT_EQ(probe.seen.flags, DISPATCH_METHOD);
  EXPECT_TRUE(probe.seen.named.empty());
  ASSERT_EQ(probe.seen.values.size(), 3u);
  EXPECT_EQ(V_VT(&probe.seen.values[0]), VT_I4);
  EXPECT_EQ(V_I4(&probe.seen.values[0]), 1);
  EXPECT_EQ(V_VT(&probe.seen.values[1]), VT_ERROR);
  EXPECT_EQ(V_ERROR(&probe.seen.values[1]), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(V_VT(&probe.seen.values[2]), VT_BSTR);
  // An empty variant is a missing argument as well; trailing absent ones are dropped.
  VARIANT empty;
  VariantInit(&empty);
  Cell variant{};
  variant.tag = TAG_VARIANT;
  variant.v.ptr = &empty;
  Cell more[] = {variant, cell_absent()};
  object_call_number(p, T("Take"), 2, more);
  ASSERT_EQ(probe.seen.values.size(), 1u);
  EXPECT_EQ(V_VT(&probe.seen.values[0]), VT_ERROR);
  Cell too_many[] = {cell_int(1), cell_int(2), cell_int(3), cell_int(4)};
  probe.seen.clear();
  object_call_number(p, T("Take"), 4, too_many);
  EXPECT_EQ(object_call_status(), OBJ_TOO_MANY_ARGS);
  EXPECT_EQ(probe.seen.id, 0);  // no call was made
}

TEST_F(Bridge, EachKindBecomesItsVariantType) {
  ObjectRecord* p = probe_record();
  VARIANT inner;
  V_VT(&inner) = VT_I2;
  V_I2(&inner) = 12;
  Cell variant{};
  variant.tag = TAG_VARIANT;
  variant.v.ptr = &inner;
  int32_t by_ref = 77;
  struct {
    Cell arg;
    VARTYPE vt;
    double value;  // as VT_R8
  } cases[] = {
      {cell_byte(200), VT_UI1, 200},       {cell_short(-5), VT_I2, -5},
      {cell_int(-70000), VT_I4, -70000},  {cell_long(0x1FFFFFFFELL), VT_I4, -2},
      {cell_float(1.5f), VT_R4, 1.5},     {cell_double(-0.25), VT_R8, -0.25},
      {cell_bool(true), VT_BOOL, -1},     {cell_bool(false), VT_BOOL, 0},
      {cell_date(2.5), VT_DATE, 2.5},     {variant, VT_I2, 12},
      {cell_ref(TAG_INT, &by_ref), VT_I4, 77},
  };
  for (const auto& c : cases) {
    object_call_number(p, T("Take"), 1, &c.arg);
    ASSERT_EQ(object_call_status(), OBJ_OK);
    ASSERT_EQ(probe.seen.values.size(), 1u);
    EXPECT_EQ(V_VT(&probe.seen.values[0]), c.vt);
    VARIANT as_double;
    VariantInit(&as_double);
    ASSERT_HRESULT_SUCCEEDED(VariantChangeType(&as_double, &probe.seen.values[0], 0, VT_R8));
    EXPECT_EQ(V_R8(&as_double), c.value);
  }
  Cell text = cell_text("中文");
  object_call_number(p, T("Take"), 1, &text);
  ASSERT_EQ(V_VT(&probe.seen.values[0]), VT_BSTR);
  EXPECT_EQ(std::wstring(V_BSTR(&probe.seen.values[0])), L"\u4e2d\u6587");
  Cell sub = cell_sub(0x401000);
  probe.seen.clear();
  object_call_number(p, T("Take"), 1, &sub);
  EXPECT_EQ(object_call_status(), OBJ_BAD_ARG_KIND);
  EXPECT_EQ(probe.seen.id, 0);
}

TEST_F(Bridge, ObjectArgumentsFollowTheDeclaredType) {
  ObjectRecord* p = probe_record();
  Cell self = object_cell(p);
  // Each member with the type its parameter declares; the object arrives
  // as a live reference of that type.
  const std::pair<const char*, VARTYPE> declared[] = {
      {"TakeUnknown", VT_UNKNOWN}, {"TakeDispatch", VT_DISPATCH}, {"Take", VT_DISPATCH}};
  for (const auto& [member, vt] : declared) {
    object_call_number(p, T(member), 1, &self);
    ASSERT_EQ(object_call_status(), OBJ_OK) << member;
    ASSERT_EQ(probe.seen.values.size(), 1u);
    EXPECT_EQ(V_VT(&probe.seen.values[0]), vt) << member;
    EXPECT_NE(V_UNKNOWN(&probe.seen.values[0]), nullptr) << member;
  }
  // An empty object is a null reference.
  ObjectRecord empty;
  Cell none = object_cell(&empty);
  object_call_number(p, T("TakeDispatch"), 1, &none);
  EXPECT_EQ(V_VT(&probe.seen.values[0]), VT_UNKNOWN);
  EXPECT_EQ(V_UNKNOWN(&probe.seen.values[0]), nullptr);
  probe.seen.clear();
  LONG before = probe.refs;
  object_call_number(p, T("TakeUnknown"), 1, &self);
  probe.seen.clear();
  EXPECT_EQ(probe.refs, before);  // every reference the call took was given back
}

TEST_F(Bridge, OutputParametersAreWrittenBack) {
  ObjectRecord* p = probe_record();
  int32_t n = 21;
  Text s = T("好");
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(L"in");
  Cell variant{};
  variant.tag = TAG_VARIANT;
  variant.v.ptr = &v;
  Cell args[] = {cell_ref(TAG_INT, &n), cell_ref(TAG_TEXT, &s), variant, cell_double(1.25)};
  EXPECT_EQ(object_call_number(p, T("Update"), 4, args), 2.5);
  ASSERT_EQ(object_call_status(), OBJ_OK);
  EXPECT_EQ(probe.seen.types[0], VT_BYREF | VT_I4);
  EXPECT_EQ(probe.seen.types[1], VT_BYREF | VT_BSTR);
  EXPECT_EQ(probe.seen.types[2], VT_BYREF | VT_VARIANT);
  EXPECT_EQ(probe.seen.types[3], VT_R8);
  EXPECT_EQ(n, 42);
  EXPECT_EQ(S(s), "好!");
  EXPECT_EQ(V_VT(&v), VT_BSTR);  // a variant argument is a copy: the call cannot change it
  VariantClear(&v);
  // A value cell is passed by reference too, but there is nothing to write back to.
  Cell values[] = {cell_short(4), cell_text("x"), cell_int(3), cell_double(0)};
  object_call_number(p, T("Update"), 4, values);
  EXPECT_EQ(object_call_status(), OBJ_OK);
  EXPECT_EQ(probe.seen.types[0], VT_BYREF | VT_I4);  // changed to the declared type
  // An input-only reference parameter is never written back.
  int32_t kept = 5;
  Cell peek = cell_ref(TAG_INT, &kept);
  object_call_number(p, T("Peek"), 1, &peek);
  EXPECT_EQ(object_call_status(), OBJ_OK);
  EXPECT_EQ(kept, 5);
}

TEST_F(Bridge, PropertyWritesUseThePutFlavourOfTheMember) {
  ObjectRecord* p = probe_record();
  Cell self = object_cell(p);
  struct {
    const char* member;
    Cell value;
    WORD flags;
  } cases[] = {{"Owner", self, DISPATCH_PROPERTYPUTREF},
               {"Size", cell_int(3), DISPATCH_PROPERTYPUT},
               {"Label", cell_text("t"), DISPATCH_PROPERTYPUT}};
  for (const auto& c : cases) {
    EXPECT_TRUE(object_set_property(p, T(c.member), c.value)) << c.member;
    EXPECT_EQ(probe.seen.flags, c.flags) << c.member;
    ASSERT_EQ(probe.seen.named.size(), 1u) << c.member;
    EXPECT_EQ(probe.seen.named[0], DISPID_PROPERTYPUT);
  }
  EXPECT_EQ(object_call_number(p, T("Size")), 0.0);
  EXPECT_EQ(probe.seen.flags, DISPATCH_PROPERTYGET);
  EXPECT_EQ(probe.seen.values.size(), 0u);
}

TEST_F(Bridge, VarargPackingOnTheProbe) {
  ObjectRecord* p = probe_record();
  Cell args[] = {cell_int(1), cell_text("x"), cell_absent(), cell_int(3)};
  object_call_number(p, T("Sum"), 4, args);
  ASSERT_EQ(object_call_status(), OBJ_OK);
  ASSERT_EQ(probe.seen.types.size(), 2u);
  EXPECT_EQ(probe.seen.types[1], VT_BYREF | VT_ARRAY | VT_VARIANT);
  SAFEARRAY* rest = V_ARRAY(&probe.seen.values[1]);
  LONG low = 0, high = -1;
  SafeArrayGetLBound(rest, 1, &low);
  SafeArrayGetUBound(rest, 1, &high);
  ASSERT_EQ(high - low + 1, 3);
  VARIANT* items = nullptr;
  SafeArrayAccessData(rest, reinterpret_cast<void**>(&items));
  EXPECT_EQ(V_VT(&items[0]), VT_BSTR);
  EXPECT_EQ(V_VT(&items[1]), VT_ERROR);
  EXPECT_EQ(V_VT(&items[2]), VT_I4);
  SafeArrayUnaccessData(rest);
}

TEST_F(Bridge, InvokeFailuresMapToTheirStatus) {
  ObjectRecord* p = probe_record();
  struct {
    HRESULT hr;
    int32_t status;
  } cases[] = {{DISP_E_BADPARAMCOUNT, OBJ_BADPARAMCOUNT},   {DISP_E_BADVARTYPE, OBJ_BADVARTYPE},
               {DISP_E_EXCEPTION, OBJ_EXCEPTION},           {DISP_E_MEMBERNOTFOUND, OBJ_MEMBERNOTFOUND},
               {DISP_E_NONAMEDARGS, OBJ_NONAMEDARGS},       {DISP_E_OVERFLOW, OBJ_OVERFLOW},
               {DISP_E_PARAMNOTFOUND, OBJ_PARAMNOTFOUND},   {DISP_E_TYPEMISMATCH, OBJ_TYPEMISMATCH},
               {DISP_E_PARAMNOTOPTIONAL, OBJ_PARAMNOTOPTIONAL}, {E_FAIL, OBJ_INVOKE_FAILED}};
  for (const auto& c : cases) {
    Cell code = cell_int(int32_t(c.hr));
    EXPECT_EQ(S(object_call_text(p, T("Fail"), 1, &code)), "");
    EXPECT_EQ(object_call_status(), c.status);
  }
  probe.offer_type_info = false;
  object_call_number(p, T("Take"));
  EXPECT_EQ(object_call_status(), OBJ_NO_TYPEINFO);
  probe.offer_dispatch = false;
  object_call_number(p, T("Take"));
  EXPECT_EQ(object_call_status(), OBJ_NO_DISPATCH);
}

TEST_F(Bridge, ResultsAreConvertedToTheKindAsked) {
  ObjectRecord* p = probe_record();
  auto answer = [&](int which, uint32_t kind) {
    Cell arg = cell_int(which);
    return object_call_value(p, T("Answer"), kind, 1, &arg);
  };
  Cell r = answer(2, TAG_TEXT);
  EXPECT_EQ(S(cell_take_text(&r)), "中文x");
  EXPECT_EQ(answer(3, TAG_INT).v.w.lo, uint32_t(-5));
  EXPECT_EQ(answer(3, TAG_LONG).v.i64, -5);  // sign-extended
  EXPECT_EQ(answer(4, TAG_DOUBLE).v.f64, 2.5);
  EXPECT_EQ(answer(7, TAG_DOUBLE).v.f64, 12.5);
  EXPECT_EQ(answer(5, TAG_BOOL).v.w.lo, 1u);
  EXPECT_EQ(int16_t(answer(3, TAG_SHORT).v.w.lo), -5);
  EXPECT_EQ(answer(4, TAG_FLOAT).v.f32, 2.5f);
  EXPECT_EQ(answer(4, TAG_DATE).v.f64, 2.5);
  Cell v = answer(2, TAG_VARIANT);
  ASSERT_NE(v.v.ptr, nullptr);
  EXPECT_EQ(V_VT(static_cast<VARIANT*>(v.v.ptr)), VT_BSTR);
  object_result_release(&v);
  answer(3, TAG_BYTE);  // -5 has no byte form
  EXPECT_EQ(object_call_status(), OBJ_BAD_RESULT);
  EXPECT_EQ(answer(0, TAG_DOUBLE).v.f64, 0.0);  // an empty result is 0
  EXPECT_EQ(object_call_status(), OBJ_OK);
  r = answer(1, TAG_TEXT);  // a null result cannot be text
  EXPECT_EQ(object_call_status(), OBJ_BAD_RESULT);
  EXPECT_EQ(r.v.ptr, nullptr);
  r = answer(2, TAG_INT);
  EXPECT_EQ(object_call_status(), OBJ_BAD_RESULT);
  EXPECT_EQ(r.v.w.lo, 0u);
  Cell obj = answer(6, TAG_OBJECT);
  ASSERT_EQ(object_call_status(), OBJ_OK);
  auto* record = static_cast<ObjectRecord*>(obj.v.ptr);
  ASSERT_NE(record, nullptr);
  EXPECT_NE(record->iface, nullptr);
  Cell size = cell_int(9);
  EXPECT_TRUE(object_set_property(record, T("Size"), size));  // the object came back usable
  LONG before = probe.refs;
  object_result_release(&obj);
  EXPECT_EQ(probe.refs, before - 1);
}

}  // namespace
}  // namespace cx
