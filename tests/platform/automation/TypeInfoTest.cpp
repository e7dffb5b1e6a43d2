#include <gtest/gtest.h>
#include <platform/Automation.h>

#include <string>
#include <vector>

#include <win/platform.h>

namespace {

// An IMediaPosition that records what the type information's Invoke made of
// an automation call.
class RecordingPosition : public IMediaPosition {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return Note("GetTypeInfoCount"); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
    return Note("GetTypeInfo");
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return Note("GetIDsOfNames");
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return Note("Invoke");
  }
  HRESULT STDMETHODCALLTYPE get_Duration(REFTIME* p) override { return Get("get_Duration", p, 1); }
  HRESULT STDMETHODCALLTYPE put_CurrentPosition(REFTIME t) override {
    return Put("put_CurrentPosition", t);
  }
  HRESULT STDMETHODCALLTYPE get_CurrentPosition(REFTIME* p) override {
    return Get("get_CurrentPosition", p, 2);
  }
  HRESULT STDMETHODCALLTYPE get_StopTime(REFTIME* p) override { return Get("get_StopTime", p, 3); }
  HRESULT STDMETHODCALLTYPE put_StopTime(REFTIME t) override { return Put("put_StopTime", t); }
  HRESULT STDMETHODCALLTYPE get_PrerollTime(REFTIME* p) override {
    return Get("get_PrerollTime", p, 4);
  }
  HRESULT STDMETHODCALLTYPE put_PrerollTime(REFTIME t) override {
    return Put("put_PrerollTime", t);
  }
  HRESULT STDMETHODCALLTYPE put_Rate(double r) override { return Put("put_Rate", r); }
  HRESULT STDMETHODCALLTYPE get_Rate(double* p) override { return Get("get_Rate", p, 5); }
  HRESULT STDMETHODCALLTYPE CanSeekForward(LONG* p) override {
    *p = 6;
    return Note("CanSeekForward");
  }
  HRESULT STDMETHODCALLTYPE CanSeekBackward(LONG* p) override {
    *p = 7;
    return Note("CanSeekBackward");
  }

  std::vector<std::string> calls;
  double value = 0.0;
  HRESULT result = S_OK;

 private:
  HRESULT Note(const char* name) {
    calls.push_back(name);
    return result;
  }
  HRESULT Get(const char* name, double* out, double v) {
    *out = v;
    return Note(name);
  }
  HRESULT Put(const char* name, double v) {
    value = v;
    return Note(name);
  }
};

class TypeInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadRegTypeLib(LIBID_QuartzTypeLib, 1, 0, LOCALE_USER_DEFAULT, &m_library), S_OK);
    ASSERT_EQ(m_library->GetTypeInfoOfGuid(IID_IMediaPosition, &m_info), S_OK);
  }
  void TearDown() override {
    m_info->Release();
    m_library->Release();
    EXPECT_EQ(platform::LiveTypeLibraryCount(), 0);
  }

  HRESULT Invoke(MEMBERID id, WORD flags, std::vector<VARIANT> args, VARIANT* result,
                 std::vector<DISPID> named = {}, UINT* argError = nullptr) {
    DISPPARAMS params = {args.data(), named.data(), static_cast<UINT>(args.size()),
                         static_cast<UINT>(named.size())};
    return m_info->Invoke(static_cast<IMediaPosition*>(&m_target), id, flags, &params, result,
                          nullptr, argError);
  }

  static VARIANT Of(VARTYPE type) {
    VARIANT v;
    VariantInit(&v);
    v.vt = type;
    return v;
  }

  ITypeLib* m_library = nullptr;
  ITypeInfo* m_info = nullptr;
  RecordingPosition m_target;
};

struct ExpectedFunction {
  const char16_t* name;
  MEMBERID id;
  INVOKEKIND kind;
  VARTYPE result;
  SHORT params;
};

TEST_F(TypeInfoTest, DescribesElevenFunctionsInInterfaceOrder) {
  const ExpectedFunction expected[] = {
      {u"Duration", 0x60020000, INVOKE_PROPERTYGET, VT_R8, 0},
      {u"CurrentPosition", 0x60020001, INVOKE_PROPERTYPUT, VT_VOID, 1},
      {u"CurrentPosition", 0x60020001, INVOKE_PROPERTYGET, VT_R8, 0},
      {u"StopTime", 0x60020002, INVOKE_PROPERTYGET, VT_R8, 0},
      {u"StopTime", 0x60020002, INVOKE_PROPERTYPUT, VT_VOID, 1},
      {u"PrerollTime", 0x60020003, INVOKE_PROPERTYGET, VT_R8, 0},
      {u"PrerollTime", 0x60020003, INVOKE_PROPERTYPUT, VT_VOID, 1},
      {u"Rate", 0x60020004, INVOKE_PROPERTYPUT, VT_VOID, 1},
      {u"Rate", 0x60020004, INVOKE_PROPERTYGET, VT_R8, 0},
      {u"CanSeekForward", 0x60020005, INVOKE_FUNC, VT_I4, 0},
      {u"CanSeekBackward", 0x60020006, INVOKE_FUNC, VT_I4, 0},
  };
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(m_info->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attributes->cFuncs, 11);
  EXPECT_EQ(attributes->cVars, 0);
  EXPECT_NE(attributes->wTypeFlags & TYPEFLAG_FDUAL, 0);
  m_info->ReleaseTypeAttr(attributes);

  for (UINT i = 0; i < 11; ++i) {
    SCOPED_TRACE(i);
    FUNCDESC* function = nullptr;
    ASSERT_EQ(m_info->GetFuncDesc(i, &function), S_OK);
    EXPECT_EQ(function->memid, expected[i].id);
    EXPECT_EQ(function->invkind, expected[i].kind);
    EXPECT_EQ(function->elemdescFunc.tdesc.vt, expected[i].result);
    ASSERT_EQ(function->cParams, expected[i].params);
    if (function->cParams == 1) {
      EXPECT_EQ(function->lprgelemdescParam[0].tdesc.vt, VT_R8);
    }
    EXPECT_EQ(function->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
    m_info->ReleaseFuncDesc(function);

    BSTR name = nullptr;
    UINT count = 0;
    ASSERT_EQ(m_info->GetNames(expected[i].id, &name, 1, &count), S_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(std::u16string(name), expected[i].name);
    SysFreeString(name);
  }
  FUNCDESC* function = nullptr;
  EXPECT_EQ(m_info->GetFuncDesc(11, &function), TYPE_E_ELEMENTNOTFOUND);
  VARDESC* variable = nullptr;
  EXPECT_EQ(m_info->GetVarDesc(0, &variable), TYPE_E_ELEMENTNOTFOUND);
}

TEST_F(TypeInfoTest, IdsOfNamesIncludeThePutValueName) {
  std::u16string member = u"RATE";
  std::u16string parameter = u"drate";
  LPOLESTR names[] = {member.data(), parameter.data()};
  MEMBERID ids[2] = {};
  ASSERT_EQ(m_info->GetIDsOfNames(names, 2, ids), S_OK);
  EXPECT_EQ(ids[0], 0x60020004);
  EXPECT_EQ(ids[1], 0);

  std::u16string wrong = u"speed";
  names[1] = wrong.data();
  EXPECT_EQ(m_info->GetIDsOfNames(names, 2, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 0x60020004);
  EXPECT_EQ(ids[1], MEMBERID_NIL);
  EXPECT_EQ(m_info->GetIDsOfNames(names, 0, ids), E_INVALIDARG);
}

TEST_F(TypeInfoTest, InvokeCallsThroughTheObjectsTable) {
  VARIANT result = Of(VT_EMPTY);
  ASSERT_EQ(Invoke(0x60020002, DISPATCH_PROPERTYGET, {}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_R8);
  EXPECT_EQ(result.dblVal, 3.0);
  ASSERT_EQ(Invoke(0x60020006, DISPATCH_METHOD, {}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 7);

  VARIANT rate = Of(VT_R8);
  rate.dblVal = 1.5;
  ASSERT_EQ(Invoke(0x60020004, DISPATCH_PROPERTYPUT, {rate}, nullptr, {DISPID_PROPERTYPUT}), S_OK);
  EXPECT_EQ(m_target.value, 1.5);
  // A result slot is not required for a read either.
  ASSERT_EQ(Invoke(0x60020004, DISPATCH_PROPERTYGET, {}, nullptr), S_OK);
  EXPECT_EQ(m_target.calls,
            (std::vector<std::string>{"get_StopTime", "CanSeekBackward", "put_Rate", "get_Rate"}));
}

TEST_F(TypeInfoTest, NumbersOfOtherTypesAreCoerced) {
  VARIANT text = Of(VT_BSTR);
  text.bstrVal = SysAllocString(u" 2.25 ");
  ASSERT_EQ(Invoke(0x60020001, DISPATCH_PROPERTYPUT, {text}, nullptr), S_OK);
  EXPECT_EQ(m_target.value, 2.25);
  VariantClear(&text);

  double stored = -8.5;
  VARIANT byReference = Of(VT_R8 | VT_BYREF);
  byReference.pdblVal = &stored;
  ASSERT_EQ(Invoke(0x60020001, DISPATCH_PROPERTYPUT, {byReference}, nullptr), S_OK);
  EXPECT_EQ(m_target.value, -8.5);

  VARIANT small = Of(VT_I2);
  small.iVal = -3;
  ASSERT_EQ(Invoke(0x60020001, DISPATCH_PROPERTYPUT, {small}, nullptr), S_OK);
  EXPECT_EQ(m_target.value, -3.0);

  VARIANT huge = Of(VT_BSTR);
  huge.bstrVal = SysAllocString(u"1e999");
  UINT argError = 5;
  EXPECT_EQ(Invoke(0x60020001, DISPATCH_PROPERTYPUT, {huge}, nullptr, {}, &argError),
            DISP_E_OVERFLOW);
  EXPECT_EQ(argError, 0u);
  VariantClear(&huge);

  VARIANT nothing = Of(VT_R8 | VT_BYREF);
  EXPECT_EQ(Invoke(0x60020001, DISPATCH_PROPERTYPUT, {nothing}, nullptr), DISP_E_TYPEMISMATCH);
  VARIANT error = Of(VT_ERROR);
  EXPECT_EQ(Invoke(0x60020001, DISPATCH_PROPERTYPUT, {error}, nullptr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(m_target.calls.size(), 3u);
}

TEST_F(TypeInfoTest, MalformedCallsAreRefusedBeforeTheObjectIsCalled) {
  VARIANT value = Of(VT_R8);
  UINT argError = 9;
  EXPECT_EQ(Invoke(0x60020001, DISPATCH_PROPERTYPUT, {value}, nullptr, {0}, &argError),
            DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(argError, 0u);
  EXPECT_EQ(Invoke(0x60020000, DISPATCH_PROPERTYGET, {value}, nullptr, {DISPID_PROPERTYPUT}),
            DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(Invoke(0x60020000, DISPATCH_PROPERTYGET, {value}, nullptr), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Invoke(0x60020000, DISPATCH_PROPERTYPUT, {value}, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Invoke(0x60030000, DISPATCH_METHOD, {}, nullptr), DISP_E_MEMBERNOTFOUND);

  DISPPARAMS params = {nullptr, nullptr, 1, 0};
  EXPECT_EQ(m_info->Invoke(&m_target, 0x60020001, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                           nullptr),
            E_INVALIDARG);
  EXPECT_EQ(
      m_info->Invoke(nullptr, 0x60020000, DISPATCH_PROPERTYGET, &params, nullptr, nullptr, nullptr),
      E_INVALIDARG);
  EXPECT_TRUE(m_target.calls.empty());
}

TEST_F(TypeInfoTest, AFailingMemberBecomesAnExceptionWithItsCode) {
  m_target.result = VFW_E_WRONG_STATE;
  VARIANT result = Of(VT_EMPTY);
  DISPPARAMS params = {nullptr, nullptr, 0, 0};
  EXCEPINFO exception = {};
  EXPECT_EQ(m_info->Invoke(static_cast<IMediaPosition*>(&m_target), 0x60020000,
                           DISPATCH_PROPERTYGET, &params, &result, &exception, nullptr),
            DISP_E_EXCEPTION);
  EXPECT_EQ(exception.scode, VFW_E_WRONG_STATE);
  EXPECT_EQ(result.vt, VT_EMPTY);
}

TEST_F(TypeInfoTest, NamesBindToFunctionDescriptions) {
  ITypeComp* binder = nullptr;
  ASSERT_EQ(m_info->GetTypeComp(&binder), S_OK);
  std::u16string name = u"prerolltime";
  ITypeInfo* bound = nullptr;
  DESCKIND kind = DESCKIND_NONE;
  BINDPTR binding = {};
  ASSERT_EQ(binder->Bind(name.data(), 0, INVOKE_PROPERTYPUT, &bound, &kind, &binding), S_OK);
  ASSERT_EQ(kind, DESCKIND_FUNCDESC);
  EXPECT_EQ(binding.lpfuncdesc->memid, 0x60020003);
  EXPECT_EQ(binding.lpfuncdesc->invkind, INVOKE_PROPERTYPUT);
  bound->ReleaseFuncDesc(binding.lpfuncdesc);
  bound->Release();

  std::u16string unknown = u"Volume";
  ASSERT_EQ(binder->Bind(unknown.data(), 0, 0, &bound, &kind, &binding), S_OK);
  EXPECT_EQ(kind, DESCKIND_NONE);
  EXPECT_EQ(bound, nullptr);
  binder->Release();
}

TEST(BasicStrings, CarryTheirLengthAndFreeWithTheirVariant) {
  BSTR text = SysAllocStringLen(u"a\0b", 3);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text), 3u);
  EXPECT_EQ(text[1], u'\0');
  EXPECT_EQ(text[3], u'\0');
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);

  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
  EXPECT_EQ(SysAllocStringLen(u"", 0x7FFFFFFF), nullptr);
}

}  // namespace
