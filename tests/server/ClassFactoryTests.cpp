// The module's entry points and class factory, through the DLL's exports.
#include <ocidl.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "kit/ModuleUnderTest.h"
#include "model/ComPtr.h"
#include "server/Guids.h"

namespace {

// A controlling unknown that counts the references handed to it.
class OuterUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = IsEqualIID(iid, IID_IUnknown) ? this : nullptr;
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }

  LONG refs = 1;
};

void* const kUntouched = reinterpret_cast<void*>(0x1234);

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module.loaded()) << "cannot load the page DLL, error " << ::GetLastError();
    ASSERT_EQ(S_OK, module.CanUnloadNow()) << "the module starts locked";
  }
  HRESULT GetFactory(ComPtr<IClassFactory>* factory) {
    return module.GetClassObject(CLSID_UserPage, IID_IClassFactory, factory->ReceiveVoid());
  }
  testkit::ModuleUnderTest module;
};

}  // namespace

// Each holder is checked while it is the only one left.
TEST_F(ServerTest, CanUnloadNowIsFalseWhileAFactoryAPageOrALockIsHeld) {
  ComPtr<IClassFactory> factory, again;
  ASSERT_EQ(S_OK, GetFactory(&factory));
  ASSERT_EQ(S_OK, GetFactory(&again));
  EXPECT_EQ(factory.Get(), again.Get()) << "a second call hands out another factory";
  again.Reset();
  EXPECT_EQ(S_FALSE, module.CanUnloadNow()) << "a client holds the factory";

  {
    ComPtr<IUnknown> unknown, identity;
    ComPtr<IPropertyPage> page;
    HRESULT hr = factory->CreateInstance(nullptr, IID_IUnknown, unknown.ReceiveVoid());
    ASSERT_EQ(S_OK, hr) << std::hex << hr;
    factory.Reset();
    EXPECT_EQ(S_FALSE, module.CanUnloadNow()) << "a live page holds the module";
    ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IPropertyPage, page.ReceiveVoid()));
    ASSERT_EQ(S_OK, page->QueryInterface(IID_IUnknown, identity.ReceiveVoid()));
    EXPECT_EQ(unknown.Get(), identity.Get()) << "COM identity differs between interfaces";
  }
  EXPECT_EQ(S_OK, module.CanUnloadNow());

  // Two locks, released one by one through fresh factories.
  ASSERT_EQ(S_OK, GetFactory(&factory));
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  factory.Reset();
  EXPECT_EQ(S_FALSE, module.CanUnloadNow());
  for (HRESULT expected : {S_FALSE, S_OK}) {
    ASSERT_EQ(S_OK, GetFactory(&factory));
    factory->LockServer(FALSE);
    factory.Reset();
    EXPECT_EQ(expected, module.CanUnloadNow()) << "after releasing a lock";
  }
}

TEST_F(ServerTest, AnotherClassOrAnUnservedInterfaceIsRefusedWithANullOut) {
  void* out = kUntouched;
  HRESULT hr = module.GetClassObject(IID_IUnknown, IID_IClassFactory, &out);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, hr) << std::hex << hr;
  EXPECT_EQ(nullptr, out);
  out = kUntouched;
  hr = module.CreatePage(nullptr, IID_IClassFactory, &out);
  EXPECT_EQ(E_NOINTERFACE, hr) << std::hex << hr;
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(S_OK, module.CanUnloadNow());
}

TEST_F(ServerTest, AggregationWorksOnlyWithUnknownAndAnswersForTheOuter) {
  OuterUnknown outer;
  void* out = kUntouched;
  HRESULT hr = module.CreatePage(&outer, IID_IPropertyPage, &out);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, hr) << std::hex << hr;
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(1, outer.refs);

  {
    ComPtr<IUnknown> inner, identity;
    ComPtr<IPropertyPage> page;
    hr = module.CreatePage(&outer, IID_IUnknown, inner.ReceiveVoid());
    ASSERT_EQ(S_OK, hr) << std::hex << hr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IPropertyPage, page.ReceiveVoid()));
    EXPECT_EQ(2, outer.refs) << "the aggregated page must count on the outer unknown";
    ASSERT_EQ(S_OK, page->QueryInterface(IID_IUnknown, identity.ReceiveVoid()));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.Get()) << "identity must be the outer unknown";
    identity.Reset();
    page.Reset();
    EXPECT_EQ(1, outer.refs);
  }
  EXPECT_EQ(S_OK, module.CanUnloadNow());
}

// Every entry that hands out an interface refuses a missing out-pointer, the page's own
// unknown and the aggregated inner unknown included.
TEST_F(ServerTest, AMissingOutPointerIsRefusedWithPointerError) {
  OuterUnknown outer;
  {
    ComPtr<IClassFactory> factory;
    ComPtr<IUnknown> page, inner;
    ASSERT_EQ(S_OK, GetFactory(&factory));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, page.ReceiveVoid()));
    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, inner.ReceiveVoid()));
    const struct {
      const char* entry;
      std::function<HRESULT()> call;
    } cases[] = {
        {"DllGetClassObject", [&] { return module.GetClassObject(CLSID_UserPage, IID_IClassFactory, nullptr); }},
        {"DllGetClassObject, another class",
         [&] { return module.GetClassObject(IID_IUnknown, IID_IUnknown, nullptr); }},
        {"factory QueryInterface", [&] { return factory->QueryInterface(IID_IClassFactory, nullptr); }},
        {"CreateInstance", [&] { return factory->CreateInstance(nullptr, IID_IPropertyPage, nullptr); }},
        {"CreateInstance, aggregated", [&] { return factory->CreateInstance(&outer, IID_IUnknown, nullptr); }},
        {"page QueryInterface", [&] { return page->QueryInterface(IID_IPropertyPage, nullptr); }},
        {"inner QueryInterface", [&] { return inner->QueryInterface(IID_IPropertyPage, nullptr); }},
    };
    for (const auto& c : cases) {
      const HRESULT hr = c.call();
      EXPECT_EQ(E_POINTER, hr) << c.entry << ": 0x" << std::hex << hr;
    }
    EXPECT_EQ(1, outer.refs);
  }
  EXPECT_EQ(S_OK, module.CanUnloadNow()) << "a refused call kept something alive";
}
