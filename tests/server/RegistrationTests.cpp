// regsvr32 on a copy of the page DLL: the keys and values it writes and removes.
#include <windows.h>

#include <oleauto.h>

#include <set>

#include <gtest/gtest.h>

#include "kit/ModuleUnderTest.h"
#include "kit/Paths.h"
#include "kit/Registry.h"
#include "model/ComPtr.h"
#include "model/ScopedBstr.h"
#include "model/ScopedLibrary.h"
#include "model/ScopedRegKey.h"
#include "server/Guids.h"

using namespace testkit;

namespace {

const wchar_t kClsid[] = L"{CE757092-6AD6-4BDC-B959-883065EE2EDA}";
const std::wstring kClassKey = std::wstring(L"CLSID\\") + kClsid;

std::set<std::wstring> Set(const std::vector<std::wstring>& names) { return {names.begin(), names.end()}; }

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A folder name with apostrophes: the script must quote the path it writes.
    dir_ = MakeTempDir(L"reg");
    ASSERT_FALSE(dir_.empty());
    const std::wstring folder = dir_ + L"\\O'Neil's pages";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    dll_ = folder + L"\\ZeltUtilUserPage.dll";
    // The page imports the import library at load time, so it is installed beside it.
    for (const wchar_t* name : {L"ZeltUtilUserPage.dll", L"ZeltUtilImportCert.dll"}) {
      ASSERT_TRUE(::CopyFileW((BinDir() + name).c_str(), (folder + L"\\" + name).c_str(), FALSE))
          << "copy failed, error " << ::GetLastError();
    }
    CallExport("DllUnregisterServer");
  }
  void TearDown() override {
    CallExport("DllUnregisterServer");
    RemoveTree(dir_);
  }

  // The steps under test go through regsvr32; the rest calls the same exports in-process,
  // because every extra process costs seconds under Wine.
  long Regsvr32(const wchar_t* options) {
    return RunProcess(L"regsvr32.exe /s " + std::wstring(options) + L"\"" + dll_ + L"\"");
  }
  HRESULT CallExport(const char* name) {
    const ScopedLibrary module(::LoadLibraryW(dll_.c_str()));
    if (!module) return HRESULT_FROM_WIN32(::GetLastError());
    using Entry = HRESULT(__stdcall*)();
    const auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(::GetProcAddress(module.get(), name)));
    return entry ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  }

  // Every key the registration writes, whole: its default value, its value names and its subkeys.
  void ExpectRegistered() {
    const struct {
      std::wstring path, text;
      std::set<std::wstring> values, subkeys;
    } keys[] = {
        {L"ZeltUtilUserPage.UserPage.1", L"UserPage Class", {L""}, {L"CLSID"}},
        {L"ZeltUtilUserPage.UserPage.1\\CLSID", kClsid, {L""}, {}},
        {L"ZeltUtilUserPage.UserPage", L"UserPage Class", {L""}, {L"CLSID", L"CurVer"}},
        {L"ZeltUtilUserPage.UserPage\\CLSID", kClsid, {L""}, {}},
        {L"ZeltUtilUserPage.UserPage\\CurVer", L"ZeltUtilUserPage.UserPage.1", {L""}, {}},
        {kClassKey, L"UserPage Class", {L""}, {L"InprocServer32", L"Programmable"}},
        {kClassKey + L"\\Programmable", L"", {}, {}},
        // The true path, apostrophes and all.
        {kClassKey + L"\\InprocServer32", dll_, {L"", L"ThreadingModel"}, {}},
    };
    for (const auto& key : keys) {
      SCOPED_TRACE(std::string(key.path.begin(), key.path.end()));
      EXPECT_EQ(key.text, ReadString(HKEY_CLASSES_ROOT, key.path, nullptr));
      EXPECT_EQ(key.values, Set(ValueNames(HKEY_CLASSES_ROOT, key.path)));
      EXPECT_EQ(key.subkeys, Set(SubkeyNames(HKEY_CLASSES_ROOT, key.path)));
    }
    EXPECT_EQ(L"Apartment", ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32", L"ThreadingModel"));
  }

  std::wstring dir_, dll_;
};

// The standard IUnknown's interface key, whole: the type library refers to that interface
// and must leave its key as it found it.
const wchar_t kUnknownKey[] = L"Interface\\{00000000-0000-0000-C000-000000000046}";
// "name: doc string" of a library (-1) or of one of its types, or of a type (MEMBERID_NIL).
template <typename Described>
std::wstring Describe(Described* described, int index) {
  ScopedBstr name, doc;
  described->GetDocumentation(index, name.Receive(), doc.Receive(), nullptr, nullptr);
  return std::wstring(name.Get() ? name.Get() : L"") + L": " + (doc.Get() ? doc.Get() : L"");
}

std::wstring UnknownKey() {
  std::wstring all = ReadString(HKEY_CLASSES_ROOT, kUnknownKey, nullptr);
  for (const std::wstring& name : ValueNames(HKEY_CLASSES_ROOT, kUnknownKey)) all += L" v:" + name;
  for (const std::wstring& name : SubkeyNames(HKEY_CLASSES_ROOT, kUnknownKey)) all += L" k:" + name;
  return all;
}

}  // namespace

TEST_F(RegistrationTest, Regsvr32WritesExactlyTheClassKeysAndTheTypeLibraryAndRemovesThem) {
  const std::wstring unknownKey = UnknownKey();
  ASSERT_EQ(L"IUnknown", unknownKey.substr(0, 8)) << "the prefix has no standard IUnknown key";
  ASSERT_EQ(0, Regsvr32(L""));
  EXPECT_EQ(unknownKey, UnknownKey());
  ExpectRegistered();
  ComPtr<ITypeLib> library;
  HRESULT hr = ::LoadRegTypeLib(LIBID_ZeltUtilUserPage, 1, 0, 0x0409, library.Receive());
  ASSERT_EQ(S_OK, hr) << std::hex << hr;
  ComPtr<ITypeInfo> coclass;
  hr = library->GetTypeInfoOfGuid(CLSID_UserPage, coclass.Receive());
  EXPECT_EQ(S_OK, hr) << "the library does not describe CLSID_UserPage, " << std::hex << hr;

  // Leftovers of an older registration under the class key do not survive the next one.
  for (const wchar_t* stale : {L"\\Stale", L"\\Programmable\\Old"}) {
    ScopedRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyW(HKEY_CLASSES_ROOT, (kClassKey + stale).c_str(), key.receive()));
  }
  ASSERT_EQ(S_OK, CallExport("DllRegisterServer"));
  ExpectRegistered();

  // Unregistration removes the ProgIDs, the class and the type library, but keeps the CLSID key.
  ASSERT_EQ(0, Regsvr32(L"/u "));
  for (const std::wstring key : {L"ZeltUtilUserPage.UserPage.1", L"ZeltUtilUserPage.UserPage", kClassKey.c_str()})
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << std::string(key.begin(), key.end());
  EXPECT_FALSE(SubkeyNames(HKEY_CLASSES_ROOT, L"CLSID").empty()) << "other classes must stay registered";
  library.Reset();
  hr = ::LoadRegTypeLib(LIBID_ZeltUtilUserPage, 1, 0, 0x0409, library.Receive());
  EXPECT_TRUE(FAILED(hr)) << "type library still registered, hr " << std::hex << hr;
  EXPECT_EQ(unknownKey, UnknownKey());
}

// One coclass, with IUnknown as its only, default interface. The compiler describes IUnknown in
// the library itself, as a plain interface: registering the library neither writes nor removes
// anything of the standard IUnknown (the test above keeps its key whole).
TEST_F(RegistrationTest, TheTypeLibraryHoldsTheClassWithIUnknownAsItsOnlyInterface) {
  ComPtr<ITypeLib> library;
  ASSERT_EQ(S_OK, ::LoadTypeLibEx(dll_.c_str(), REGKIND_NONE, library.Receive()));
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(S_OK, library->GetLibAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(LIBID_ZeltUtilUserPage, attr->guid));
  EXPECT_EQ((std::vector<int>{0x0409, 1, 0, SYS_WIN32}),
            (std::vector<int>{static_cast<int>(attr->lcid), attr->wMajorVerNum, attr->wMinorVerNum, attr->syskind}));
  library->ReleaseTLibAttr(attr);
  EXPECT_EQ(L"ZELTUTILUSERPAGELib: ZeltUtilUserPage 1.0 Type Library", Describe(library.Get(), -1));
  int coclasses = 0;
  for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
    TYPEKIND kind = TKIND_MAX;
    library->GetTypeInfoType(i, &kind);
    coclasses += kind == TKIND_COCLASS;
  }
  EXPECT_EQ(1, coclasses);

  ComPtr<ITypeInfo> coclass, unknown;
  ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(CLSID_UserPage, coclass.Receive()));
  TYPEATTR* type = nullptr;
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&type));
  EXPECT_EQ((std::vector<int>{TKIND_COCLASS, 1}), (std::vector<int>{type->typekind, type->cImplTypes}));
  coclass->ReleaseTypeAttr(type);
  EXPECT_EQ(L"UserPage: UserPage Class", Describe(coclass.Get(), MEMBERID_NIL));
  INT flags = 0;
  HREFTYPE ref = 0;
  ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(0, &flags));
  EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags);
  ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(0, &ref));
  ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(ref, unknown.Receive()));
  ASSERT_EQ(S_OK, unknown->GetTypeAttr(&type));
  EXPECT_TRUE(IsEqualGUID(IID_IUnknown, type->guid));
  EXPECT_EQ(0, type->wTypeFlags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL)) << "an automation interface is "
                                                                                "registered with the library";
  unknown->ReleaseTypeAttr(type);
}

// A key that refuses the next write (a volatile key takes no lasting subkey): registration
// stops there with that error. What came before stays; what comes after, the class and the
// type library, is not written.
TEST_F(RegistrationTest, RegistrationStopsAtTheFirstFailedWrite) {
  ScopedRegKey key;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"ZeltUtilUserPage.UserPage", 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, key.receive(), nullptr));
  key.reset();
  const HRESULT hr = CallExport("DllRegisterServer");
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE), hr) << std::hex << hr;
  EXPECT_EQ(kClsid, ReadString(HKEY_CLASSES_ROOT, L"ZeltUtilUserPage.UserPage.1\\CLSID", nullptr));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ZeltUtilUserPage.UserPage\\CLSID"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
  ComPtr<ITypeLib> library;
  EXPECT_TRUE(FAILED(::LoadRegTypeLib(LIBID_ZeltUtilUserPage, 1, 0, 0x0409, library.Receive())));
}
