// regsvr32 on a copy of the page DLL: the keys and values it writes and removes.
#include <windows.h>

#include <oleauto.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "kit/ModuleUnderTest.h"
#include "kit/Paths.h"
#include "kit/Registry.h"
#include "server/Guids.h"

using namespace testkit;

namespace {

const wchar_t kClsid[] = L"{CE757092-6AD6-4BDC-B959-883065EE2EDA}";
const std::wstring kClassKey = std::wstring(L"CLSID\\") + kClsid;

std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
  std::sort(v.begin(), v.end());
  return v;
}

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A folder name with apostrophes: the script must quote the path it writes.
    dir_ = MakeTempDir(L"reg");
    ASSERT_FALSE(dir_.empty());
    folder_ = dir_ + L"\\O'Neil's pages";
    ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
    dll_ = folder_ + L"\\ZeltUtilUserPage.dll";
    ASSERT_TRUE(::CopyFileW((BinDir() + L"ZeltUtilUserPage.dll").c_str(), dll_.c_str(), FALSE))
        << "copy failed, error " << ::GetLastError();
    // The page imports the import library at load time, so it is installed beside it.
    ASSERT_TRUE(::CopyFileW((BinDir() + L"ZeltUtilImportCert.dll").c_str(),
                            (folder_ + L"\\ZeltUtilImportCert.dll").c_str(), FALSE))
        << "copy failed, error " << ::GetLastError();
    CallExport("DllUnregisterServer");
  }
  void TearDown() override {
    CallExport("DllUnregisterServer");
    RemoveTree(dir_);
  }

  // The step under test goes through regsvr32; set-up and clean-up call the
  // same exports in-process, because every extra process costs seconds under Wine.
  long Regsvr32(bool unregister) {
    return RunProcess(std::wstring(L"regsvr32.exe /s ") + (unregister ? L"/u " : L"") + L"\"" + dll_ + L"\"");
  }
  HRESULT CallExport(const char* name) {
    HMODULE module = ::LoadLibraryW(dll_.c_str());
    if (!module) return HRESULT_FROM_WIN32(::GetLastError());
    using Entry = HRESULT(__stdcall*)();
    const auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    const HRESULT hr = entry ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    ::FreeLibrary(module);
    return hr;
  }

  std::wstring dir_, folder_, dll_;
};

}  // namespace

TEST_F(RegistrationTest, Regsvr32WritesExactlyTheScriptsKeysAndValuesAndRemovesThem) {
  ASSERT_EQ(0, Regsvr32(false));

  EXPECT_EQ(L"UserPage Class", ReadString(HKEY_CLASSES_ROOT, L"ZeltUtilUserPage.UserPage.1", nullptr));
  EXPECT_EQ(kClsid, ReadString(HKEY_CLASSES_ROOT, L"ZeltUtilUserPage.UserPage.1\\CLSID", nullptr));
  EXPECT_EQ(std::vector<std::wstring>{L"CLSID"}, SubkeyNames(HKEY_CLASSES_ROOT, L"ZeltUtilUserPage.UserPage.1"));

  EXPECT_EQ(L"UserPage Class", ReadString(HKEY_CLASSES_ROOT, L"ZeltUtilUserPage.UserPage", nullptr));
  EXPECT_EQ(kClsid, ReadString(HKEY_CLASSES_ROOT, L"ZeltUtilUserPage.UserPage\\CLSID", nullptr));
  EXPECT_EQ(L"ZeltUtilUserPage.UserPage.1", ReadString(HKEY_CLASSES_ROOT, L"ZeltUtilUserPage.UserPage\\CurVer", nullptr));
  EXPECT_EQ((std::vector<std::wstring>{L"CLSID", L"CurVer"}),
            Sorted(SubkeyNames(HKEY_CLASSES_ROOT, L"ZeltUtilUserPage.UserPage")));

  EXPECT_EQ(L"UserPage Class", ReadString(HKEY_CLASSES_ROOT, kClassKey, nullptr));
  EXPECT_EQ((std::vector<std::wstring>{L"InprocServer32", L"Programmable"}),
            Sorted(SubkeyNames(HKEY_CLASSES_ROOT, kClassKey)));
  EXPECT_TRUE(ValueNames(HKEY_CLASSES_ROOT, kClassKey + L"\\Programmable").empty());
  EXPECT_TRUE(SubkeyNames(HKEY_CLASSES_ROOT, kClassKey + L"\\Programmable").empty());

  const std::wstring inproc = kClassKey + L"\\InprocServer32";
  EXPECT_EQ(dll_, ReadString(HKEY_CLASSES_ROOT, inproc, nullptr)) << "apostrophes must survive the script";
  EXPECT_EQ(L"Apartment", ReadString(HKEY_CLASSES_ROOT, inproc, L"ThreadingModel"));
  EXPECT_EQ((std::vector<std::wstring>{L"", L"ThreadingModel"}), Sorted(ValueNames(HKEY_CLASSES_ROOT, inproc)));

  // The type library, whose contents the resources suite checks.
  ITypeLib* lib = nullptr;
  HRESULT hr = ::LoadRegTypeLib(LIBID_ZeltUtilUserPage, 1, 0, 0x0409, &lib);
  ASSERT_EQ(S_OK, hr) << std::hex << hr;
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
  EXPECT_EQ(1, attr->wMajorVerNum);
  EXPECT_EQ(0, attr->wMinorVerNum);
  EXPECT_EQ(0x0409u, attr->lcid);
  lib->ReleaseTLibAttr(attr);
  lib->Release();

  // Unregistration removes the ProgIDs, the class and the type library, but keeps the CLSID key.
  ASSERT_EQ(0, Regsvr32(true));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ZeltUtilUserPage.UserPage.1"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ZeltUtilUserPage.UserPage"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
  EXPECT_FALSE(SubkeyNames(HKEY_CLASSES_ROOT, L"CLSID").empty()) << "other classes must stay registered";
  lib = nullptr;
  hr = ::LoadRegTypeLib(LIBID_ZeltUtilUserPage, 1, 0, 0x0409, &lib);
  EXPECT_TRUE(FAILED(hr)) << "type library still registered, hr " << std::hex << hr;
  if (lib) lib->Release();
}

TEST_F(RegistrationTest, SecondRegistrationRewritesTheClassSubtree) {
  ASSERT_EQ(S_OK, CallExport("DllRegisterServer"));
  // Leftovers of an older registration under the class key must not survive.
  HKEY stale = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyW(HKEY_CLASSES_ROOT, (kClassKey + L"\\Stale").c_str(), &stale));
  ::RegCloseKey(stale);
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyW(HKEY_CLASSES_ROOT, (kClassKey + L"\\Programmable\\Old").c_str(), &stale));
  ::RegCloseKey(stale);

  ASSERT_EQ(0, Regsvr32(false));
  EXPECT_EQ((std::vector<std::wstring>{L"InprocServer32", L"Programmable"}),
            Sorted(SubkeyNames(HKEY_CLASSES_ROOT, kClassKey)));
  EXPECT_TRUE(SubkeyNames(HKEY_CLASSES_ROOT, kClassKey + L"\\Programmable").empty());
  EXPECT_EQ(dll_, ReadString(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32", nullptr));
}
