// The module's entry points and class factory, through the DLL's exports.
#include <ocidl.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "kit/ModuleUnderTest.h"
#include "server/Guids.h"

using testkit::ModuleUnderTest;

namespace {

// A controlling unknown that counts the references handed to it.
class OuterUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    // Delegates everything else to the aggregated page, as an aggregator does.
    if (inner) return inner->QueryInterface(iid, out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }

  LONG refs = 1;
  IUnknown* inner = nullptr;
};

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module.loaded()) << "cannot load the page DLL, error " << ::GetLastError();
    ASSERT_EQ(S_OK, module.CanUnloadNow()) << "the module starts locked";
  }
  ModuleUnderTest module;
};

}  // namespace

TEST_F(ServerTest, ExportsTheFourEntryPointsByNameWithOrdinalsOneToFour) {
  const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"};
  for (int ordinal = 1; ordinal <= 4; ++ordinal) {
    FARPROC byName = ::GetProcAddress(module.handle(), names[ordinal - 1]);
    FARPROC byOrdinal = ::GetProcAddress(module.handle(), MAKEINTRESOURCEA(ordinal));
    EXPECT_NE(nullptr, byName) << names[ordinal - 1];
    EXPECT_EQ(byName, byOrdinal) << names[ordinal - 1] << " is not ordinal " << ordinal;
  }
  EXPECT_EQ(nullptr, ::GetProcAddress(module.handle(), "_DllCanUnloadNow@0")) << "decorated name exported";
  EXPECT_EQ(nullptr, ::GetProcAddress(module.handle(), "DllMain"));
}

TEST_F(ServerTest, CanUnloadNowIsFalseWhileLockServerIsOutstanding) {
  IClassFactory* factory = nullptr;
  HRESULT hr = module.GetClassObject(CLSID_UserPage, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  ASSERT_EQ(S_OK, hr) << std::hex << hr;
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  factory->Release();
  EXPECT_EQ(S_FALSE, module.CanUnloadNow());
  ASSERT_EQ(S_OK, module.GetClassObject(CLSID_UserPage, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  factory->LockServer(FALSE);
  factory->Release();
  EXPECT_EQ(S_FALSE, module.CanUnloadNow()) << "one LockServer(TRUE) is still outstanding";
  ASSERT_EQ(S_OK, module.GetClassObject(CLSID_UserPage, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  factory->LockServer(FALSE);
  factory->Release();
  EXPECT_EQ(S_OK, module.CanUnloadNow());
}

TEST_F(ServerTest, GetClassObjectHandsOutOneCachedFactoryThatHoldsTheModule) {
  IClassFactory* a = nullptr;
  IClassFactory* b = nullptr;
  IUnknown* unknown = nullptr;
  ASSERT_EQ(S_OK, module.GetClassObject(CLSID_UserPage, IID_IClassFactory, reinterpret_cast<void**>(&a)));
  EXPECT_EQ(S_FALSE, module.CanUnloadNow());
  ASSERT_EQ(S_OK, module.GetClassObject(CLSID_UserPage, IID_IClassFactory, reinterpret_cast<void**>(&b)));
  EXPECT_EQ(a, b);
  ASSERT_EQ(S_OK, module.GetClassObject(CLSID_UserPage, IID_IUnknown, reinterpret_cast<void**>(&unknown)));
  a->Release();
  b->Release();
  EXPECT_EQ(S_FALSE, module.CanUnloadNow()) << "the IUnknown reference still holds the module";
  unknown->Release();
  EXPECT_EQ(S_OK, module.CanUnloadNow());
}

TEST_F(ServerTest, GetClassObjectRefusesAnotherClassAndLeavesTheOutNull) {
  void* out = reinterpret_cast<void*>(0x1234);
  HRESULT hr = module.GetClassObject(IID_IUnknown, IID_IClassFactory, &out);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, hr) << std::hex << hr;
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_POINTER, module.GetClassObject(CLSID_UserPage, IID_IClassFactory, nullptr));
  out = reinterpret_cast<void*>(0x1234);
  hr = module.GetClassObject(CLSID_UserPage, IID_IPropertyPage, &out);
  EXPECT_EQ(E_NOINTERFACE, hr) << std::hex << hr;
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(S_OK, module.CanUnloadNow());
}

TEST_F(ServerTest, CreateInstanceAnswersOnlyUnknownAndPropertyPageAndThePageHoldsTheModule) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(S_OK, module.GetClassObject(CLSID_UserPage, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  void* out = reinterpret_cast<void*>(0x1234);
  HRESULT hr = factory->CreateInstance(nullptr, IID_IClassFactory, &out);
  EXPECT_EQ(E_NOINTERFACE, hr) << std::hex << hr;
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));

  IUnknown* unknown = nullptr;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown)));
  factory->Release();
  EXPECT_EQ(S_FALSE, module.CanUnloadNow()) << "a live page holds the module";
  IPropertyPage* page = nullptr;
  ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IPropertyPage, reinterpret_cast<void**>(&page)));
  IUnknown* identity = nullptr;
  ASSERT_EQ(S_OK, page->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
  EXPECT_EQ(unknown, identity) << "COM identity differs between interfaces";
  IPropertyPage2* page2 = nullptr;
  EXPECT_EQ(E_NOINTERFACE, unknown->QueryInterface(IID_IPropertyPage2, reinterpret_cast<void**>(&page2)));
  identity->Release();
  page->Release();
  unknown->Release();
  EXPECT_EQ(S_OK, module.CanUnloadNow());
}

TEST_F(ServerTest, AggregationWorksOnlyWithUnknownAndDelegatesToTheOuter) {
  OuterUnknown outer;
  void* out = reinterpret_cast<void*>(0x1234);
  HRESULT hr = module.CreatePage(&outer, IID_IPropertyPage, &out);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, hr) << std::hex << hr;
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(1, outer.refs);
  EXPECT_EQ(S_OK, module.CanUnloadNow());

  IUnknown* inner = nullptr;
  hr = module.CreatePage(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner));
  ASSERT_EQ(S_OK, hr) << std::hex << hr;
  ASSERT_NE(nullptr, inner);
  outer.inner = inner;
  EXPECT_EQ(S_FALSE, module.CanUnloadNow());

  IPropertyPage* page = nullptr;
  const LONG before = outer.refs;
  ASSERT_EQ(S_OK, inner->QueryInterface(IID_IPropertyPage, reinterpret_cast<void**>(&page)));
  EXPECT_EQ(before + 1, outer.refs) << "the aggregated page must count on the outer unknown";
  IUnknown* identity = nullptr;
  ASSERT_EQ(S_OK, page->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
  EXPECT_EQ(static_cast<IUnknown*>(&outer), identity) << "identity must be the outer unknown";
  identity->Release();
  page->Release();
  EXPECT_EQ(before, outer.refs);

  inner->Release();
  EXPECT_EQ(S_OK, module.CanUnloadNow());
}
