// The package suite's probe: what an installed (or removed) package left in the Wine prefix, seen
// the way a program on the machine sees it. tests/package/run-package-tests.sh installs, upgrades
// and removes the package and runs the probe in between:
//   package_probe.exe --install-dir=<folder> [--demo] [gtest flags]
#include <windows.h>

#include <msi.h>
#include <ocidl.h>
#include <oleauto.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ZeltVersion.h"
#include "kit/Registry.h"
#include "model/ComPtr.h"
#include "model/ScopedLibrary.h"
#include "model/ScopedRegKey.h"
#include "server/Guids.h"

namespace {

std::wstring g_installDir;  // with a trailing backslash
bool g_demo = false;        // the Demo feature is installed

const wchar_t kUpgradeCode[] = L"{9FE36E80-BCB8-4763-BD5A-31F394E262F2}";
const wchar_t kClassKey[] = L"CLSID\\{CE757092-6AD6-4BDC-B959-883065EE2EDA}";
const wchar_t kTypeLibKey[] = L"TypeLib\\{2CADC1E8-9944-4188-A4B9-652734BAACB1}";
const wchar_t* const kProgIds[] = {L"ZeltUtilUserPage.UserPage", L"ZeltUtilUserPage.UserPage.1"};
const wchar_t kProviderKey[] =
    L"Software\\Microsoft\\Cryptography\\Defaults\\Provider\\Quillon Zelt RSA Cryptographic Service Provider";
const wchar_t kSettingsKey[] = L"Software\\Quillon Works\\Zelt\\Zelt Components\\Zelt Utilities\\Token Utility";
const wchar_t kScratchKey[] = L"Software\\Quillon Works\\Package Probe";

std::string Narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s.push_back(c < 128 ? static_cast<char>(c) : '?');
  return s;
}

std::wstring Lower(std::wstring s) {
  ::CharLowerBuffW(&s[0], static_cast<DWORD>(s.size()));
  return s;
}

// Products installed from any version of this package.
std::vector<std::wstring> RelatedProducts() {
  std::vector<std::wstring> products;
  wchar_t code[39];
  for (DWORD i = 0; ::MsiEnumRelatedProductsW(kUpgradeCode, 0, i, code) == ERROR_SUCCESS; ++i) products.push_back(code);
  return products;
}

// Every value under a key, as "subkey path|value name" -> data, for comparing two registrations.
// Paths are compared without a trailing backslash: the installer names folders with one.
void Collect(HKEY root, const std::wstring& path, const std::wstring& shown, std::map<std::wstring, std::wstring>* out) {
  for (const std::wstring& name : testkit::ValueNames(root, path)) {
    std::wstring data = testkit::ReadString(root, path, name.c_str());
    if (!data.empty() && data.back() == L'\\') data.pop_back();
    // Wine's RegisterTypeLib writes LIBFLAG_FHASDISKIMAGE (8), which only says that the library
    // was loaded from a file; Windows leaves it out of FLAGS, and so does the package.
    if (Lower(path).size() > 6 && Lower(path).compare(Lower(path).size() - 6, 6, L"\\flags") == 0 && name.empty())
      data = std::to_wstring(std::wcstoul(data.c_str(), nullptr, 10) & ~8ul);
    (*out)[Lower(shown) + L"|" + Lower(name)] = Lower(data);
  }
  for (const std::wstring& sub : testkit::SubkeyNames(root, path))
    Collect(root, path + L"\\" + sub, shown + L"\\" + sub, out);
  if (testkit::ValueNames(root, path).empty() && testkit::SubkeyNames(root, path).empty()) (*out)[Lower(shown)] = L"(key)";
}

std::map<std::wstring, std::wstring> Registration(HKEY classesRoot) {
  std::map<std::wstring, std::wstring> rows;
  for (const wchar_t* key : {kClassKey, kTypeLibKey, kProgIds[0], kProgIds[1]}) Collect(classesRoot, key, key, &rows);
  return rows;
}

struct Binary {
  const wchar_t* file;
  bool demo;
};
const Binary kBinaries[] = {
    {L"ZeltUtilUserPage.dll", false}, {L"ZeltUtilImportCert.dll", false}, {L"ZeltP11.dll", true},
    {L"ZeltCsp.dll", true},          {L"TokenUtility.exe", true},        {L"zelt-token.exe", true},
    {L"zelt-sign.exe", true},
};

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name) {
  wchar_t* text = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904e4\\") + name;
  if (!::VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) || !text) return L"";
  return std::wstring(text, length && !text[length - 1] ? length - 1 : length);
}

}  // namespace

TEST(InstalledPackage, ClassIsCreatedByItsClsidFromTheInstalledFile) {
  ComPtr<IPropertyPage> page;
  const HRESULT hr = ::CoCreateInstance(CLSID_UserPage, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage, page.ReceiveVoid());
  ASSERT_EQ(S_OK, hr) << "0x" << std::hex << hr;
  ASSERT_TRUE(page);
  HMODULE module = ::GetModuleHandleW(L"ZeltUtilUserPage.dll");
  ASSERT_NE(nullptr, module) << "the class came from no module named ZeltUtilUserPage.dll";
  wchar_t path[MAX_PATH];
  ::GetModuleFileNameW(module, path, MAX_PATH);
  EXPECT_EQ(Lower(g_installDir + L"ZeltUtilUserPage.dll"), Lower(path));
}

TEST(InstalledPackage, TypeLibraryLoadsByItsLibid) {
  ComPtr<ITypeLib> lib;
  HRESULT hr = ::LoadRegTypeLib(LIBID_ZeltUtilUserPage, 1, 0, MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT),
                                lib.Receive());
  ASSERT_EQ(S_OK, hr) << "0x" << std::hex << hr;
  ComPtr<ITypeInfo> coclass;
  hr = lib->GetTypeInfoOfGuid(CLSID_UserPage, coclass.Receive());
  EXPECT_EQ(S_OK, hr) << "the library does not describe the class: 0x" << std::hex << hr;
  BSTR path = nullptr;
  ASSERT_EQ(S_OK, ::QueryPathOfRegTypeLib(LIBID_ZeltUtilUserPage, 1, 0, 0x409, &path));
  EXPECT_EQ(Lower(g_installDir + L"ZeltUtilUserPage.dll"), Lower(path));
  ::SysFreeString(path);
}

// The installer's rows are made from the module's registry script at build time; here they are
// compared with what the installed module's own DllRegisterServer writes (into a scratch key that
// stands in for HKEY_CLASSES_ROOT in this process).
TEST(InstalledPackage, RegistrationEqualsTheModulesOwnRegistration) {
  testkit::DeleteKeyTree(HKEY_CURRENT_USER, kScratchKey);
  ScopedRegKey scratch;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, kScratchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             scratch.receive(), nullptr));
  ScopedLibrary module(::LoadLibraryW((g_installDir + L"ZeltUtilUserPage.dll").c_str()));
  ASSERT_TRUE(module);
  auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllRegisterServer")));
  ASSERT_NE(nullptr, registerServer);
  ASSERT_EQ(ERROR_SUCCESS, ::RegOverridePredefKey(HKEY_CLASSES_ROOT, scratch.get()));
  const HRESULT hr = registerServer();
  ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  ASSERT_EQ(S_OK, hr) << "0x" << std::hex << hr;

  const auto own = Registration(scratch.get());
  const auto installed = Registration(HKEY_CLASSES_ROOT);
  testkit::DeleteKeyTree(HKEY_CURRENT_USER, kScratchKey);
  ASSERT_FALSE(own.empty()) << "DllRegisterServer wrote nothing under the scratch key";
  EXPECT_EQ(own, installed) << "self-registration's rows, then the package's";
}

TEST(InstalledPackage, EveryBinaryCarriesTheVersionResourceOfTheBuild) {
  for (const Binary& binary : kBinaries) {
    if (binary.demo && !g_demo) continue;
    const std::wstring path = g_installDir + binary.file;
    SCOPED_TRACE(Narrow(binary.file));
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(0u, size) << "no version resource (error " << ::GetLastError() << ")";
    std::vector<BYTE> info(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(ZELT_VERSION_MINOR, ZELT_VERSION_MAJOR)), fixed->dwFileVersionMS);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(ZELT_VERSION_BUILD, ZELT_VERSION_PATCH)), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    const std::pair<const wchar_t*, std::wstring> texts[] = {
        {L"FileVersion", ZELT_FILE_VERSION_TEXT}, {L"ProductVersion", ZELT_FILE_VERSION_TEXT},
        {L"CompanyName", ZELT_COMPANY_TEXT},      {L"ProductName", ZELT_PRODUCT_TEXT},
        {L"LegalCopyright", ZELT_COPYRIGHT_TEXT}, {L"OriginalFilename", binary.file}};
    for (const auto& text : texts) EXPECT_EQ(text.second, VersionString(info, text.first)) << Narrow(text.first);
    EXPECT_FALSE(VersionString(info, L"FileDescription").empty());
  }
}

TEST(InstalledPackage, OneProductOfTheBuiltVersionIsInstalled) {
  const std::vector<std::wstring> products = RelatedProducts();
  ASSERT_EQ(1u, products.size()) << "the upgrade left the older product installed";
  wchar_t version[64];
  DWORD length = 64;
  ASSERT_EQ(static_cast<UINT>(ERROR_SUCCESS),
            ::MsiGetProductInfoW(products[0].c_str(), L"VersionString", version, &length));
  const std::wstring file = ZELT_FILE_VERSION_TEXT;
  EXPECT_EQ(file.substr(0, file.rfind(L'.')), version);
}

TEST(InstalledPackage, DemoProviderKeyNamesTheInstalledProvider) {
  if (!g_demo) GTEST_SKIP() << "the Demo feature is not installed";
  EXPECT_EQ(Lower(g_installDir + L"ZeltCsp.dll"), Lower(testkit::ReadString(HKEY_LOCAL_MACHINE, kProviderKey, L"Image Path")));
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(::CryptAcquireContextW(&provider, nullptr, L"Quillon Zelt RSA Cryptographic Service Provider", PROV_RSA_FULL,
                                     CRYPT_VERIFYCONTEXT))
      << "error 0x" << std::hex << ::GetLastError();
  ::CryptReleaseContext(provider, 0);
}

TEST(RemovedPackage, LeavesNoKeyOfTheClassProgIdsTypeLibraryOrProvider) {
  EXPECT_TRUE(RelatedProducts().empty());
  for (const wchar_t* key : {kClassKey, kTypeLibKey, kProgIds[0], kProgIds[1]})
    EXPECT_FALSE(testkit::KeyExists(HKEY_CLASSES_ROOT, key)) << Narrow(key);
  EXPECT_FALSE(testkit::KeyExists(HKEY_LOCAL_MACHINE, kProviderKey));
  EXPECT_FALSE(testkit::KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Quillon Works\\Zelt\\Token Utility Demo"));
  ComPtr<IUnknown> page;
  EXPECT_EQ(REGDB_E_CLASSNOTREG,
            ::CoCreateInstance(CLSID_UserPage, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, page.ReceiveVoid()));
}

TEST(RemovedPackage, KeepsTheClassesRootAndTheUsersSettings) {
  EXPECT_TRUE(testkit::KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
  EXPECT_FALSE(testkit::SubkeyNames(HKEY_CLASSES_ROOT, L"CLSID").empty());
  EXPECT_EQ(L"kept", testkit::ReadString(HKEY_CURRENT_USER, kSettingsKey, L"PackageProbe"));
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--install-dir=", 0) == 0) {
      for (char c : arg.substr(14)) g_installDir.push_back(static_cast<unsigned char>(c));
      if (!g_installDir.empty() && g_installDir.back() != L'\\') g_installDir += L'\\';
    } else if (arg == "--demo") {
      g_demo = true;
    }
  }
  ::CoInitialize(nullptr);
  const int result = RUN_ALL_TESTS();
  ::CoUninitialize();
  return result;
}
