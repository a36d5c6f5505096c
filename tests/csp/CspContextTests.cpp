// CspContext and the CSP requests against the stand-in CSP (ZeltCsp.dll) on the software token.
// Looking certificates up in the map is the token suite's; setting the default, converting and
// removing through the CSP are walked end to end by the Manage dialog's tests. The container-name
// case puts a provider that sizes names without their NUL (tests/csp/shortsize) in ZeltCsp's place.
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kit/Paths.h"
#include "kit/SoftToken.h"
#include "kit/TokenContents.h"
#include "model/CspContext.h"
#include "model/CspRequests.h"
#include "model/ScopedRegKey.h"

namespace {

const char kSerial[] = "CSP-TOKEN-1";
const char kPassword[] = "12345678";

// "container/keySpec[/default]" for each entry, in map order.
std::vector<std::string> mapOf(const CspContext& csp) {
  std::vector<std::string> out;
  for (const ContainerMapEntry* e = csp.firstEntry(); e; e = e->next.get())
    out.push_back(std::string(e->containerName.text()) + "/" + std::to_string(e->keySpec) + (e->isDefault ? "/default" : ""));
  return out;
}

class CspTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(soft.ready());
    ASSERT_EQ(CKR_OK, soft.CreateToken(1, kSerial, kPassword));
    ASSERT_EQ(0, selectToken(kSerial));
  }
  // The token choice outlives every handle: the next test must not inherit it.
  void TearDown() override { EXPECT_EQ(0, selectToken("")); }

  // Jane Doe's certificate and key pair (id 1, label "Jane") in container Alpha.
  void AddAlpha() {
    contents.AddCertificate("jane-doe", "Jane", {1});
    contents.AddKeyPair({1});
    contents.AddCatalog({"Alpha"});
    contents.AddRecord("Alpha", "Jane", "", containerformat::kRecordVersion, {1});
  }

  testkit::SoftToken soft;
  testkit::TokenContents contents{soft, 1, kPassword};
};

TEST_F(CspTest, EnumerationMapsEachCertifiedKeyInCatalogOrder) {
  CspContext csp;
  csp.addEntry(ByteBuffer(), "Stale", 1);
  ASSERT_EQ(0, csp.enumerateContainers());
  EXPECT_EQ(nullptr, csp.firstEntry()) << "a token without containers gives an empty map";

  contents.AddCertificate("jane-doe", "Jane", {1});
  contents.AddCertificate("unit", "Unit", {2});
  for (uint8_t id : {1, 2, 3}) contents.AddKeyPair({id});
  contents.AddCatalog({"Alpha", "Bravo", "Charlie"});
  contents.AddRecord("Alpha", "Jane", "Unit", containerformat::kRecordVersion, {1});
  contents.AddRecord("Bravo", "", "", containerformat::kRecordVersion, {3});  // keys without a certificate
  contents.AddRecord("Charlie", "Jane", "");  // the same certificate as Alpha's exchange key
  ASSERT_EQ(0, csp.enumerateContainers());
  EXPECT_EQ((std::vector<std::string>{"Alpha/1/default", "Alpha/2", "Charlie/1"}), mapOf(csp));
}

TEST_F(CspTest, RemovedTokenIsReportedAsNoSmartCard) {
  AddAlpha();
  CspContext csp;
  ASSERT_EQ(0, csp.enumerateContainers());
  ASSERT_EQ(CKR_OK, soft.vendor()->Q_RemoveTokenAfter(1, 0));
  // The CSP still lists the container it knows; opening it silently fails.
  const int32_t status = csp.enumerateContainers();
  EXPECT_EQ(static_cast<int32_t>(SCARD_E_NO_SMARTCARD), status) << std::hex << status;
  EXPECT_EQ(nullptr, csp.firstEntry());
}

TEST_F(CspTest, SelectTokenChoosesBySerialAndEmptyTextForgets) {
  AddAlpha();
  ASSERT_EQ(CKR_OK, soft.CreateToken(2, "CSP-TOKEN-2", kPassword));
  testkit::TokenContents second{soft, 2, kPassword};
  second.AddCertificate("unit", "Unit", {2});
  second.AddCatalog({"Two"});
  second.AddRecord("Two", "Unit", "");

  CspContext csp;
  ASSERT_EQ(0, selectToken("CSP-TOKEN-2"));
  ASSERT_EQ(0, csp.enumerateContainers());
  EXPECT_EQ(std::vector<std::string>{"Two/1/default"}, mapOf(csp));
  // An empty serial passes no blob at all: the CSP forgets the choice and uses the first token.
  ASSERT_EQ(0, selectToken(""));
  ASSERT_EQ(0, csp.enumerateContainers());
  EXPECT_EQ(std::vector<std::string>{"Alpha/1/default"}, mapOf(csp));
}

TEST_F(CspTest, DeleteContainerNeedsThePasswordAndNeverKeepsIt) {
  AddAlpha();
  CspContext csp;
  const int32_t status = deleteContainer("Alpha", "wrong");
  EXPECT_EQ(static_cast<int32_t>(SCARD_W_WRONG_CHV), status) << std::hex << status;
  ASSERT_EQ(0, csp.enumerateContainers());
  EXPECT_EQ(std::vector<std::string>{"Alpha/1/default"}, mapOf(csp));
  // The wrong password was cleared: a deletion now finds no password at all.
  HCRYPTPROV unused = 0;
  EXPECT_FALSE(::CryptAcquireContextA(&unused, "Alpha", kCspProviderName, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
  EXPECT_EQ(static_cast<DWORD>(SCARD_W_CARD_NOT_AUTHENTICATED), ::GetLastError()) << std::hex << ::GetLastError();

  ASSERT_EQ(0, deleteContainer("Alpha", kPassword));
  ASSERT_EQ(0, csp.enumerateContainers());
  EXPECT_EQ(nullptr, csp.firstEntry());
  EXPECT_EQ(0u, contents.CountWithId({1})) << "the certificate and key pair go with the container";
}

TEST_F(CspTest, BindingNeverKeepsThePassword) {
  AddAlpha();
  contents.AddCertificate("unit", "Unit", {2});
  contents.AddKeyPair({2});
  ByteBuffer keyId;
  ASSERT_EQ(S_OK, keyId.assign(reinterpret_cast<const uint8_t*>("\x02"), 1));
  for (const char* password : {"wrong", kPassword}) {
    TextBuffer name;
    const int32_t status = createBoundContainer(keyId, password, name);
    EXPECT_EQ(password == kPassword ? 0 : static_cast<int32_t>(SCARD_W_WRONG_CHV), status) << std::hex << status;
    // Left set, the password would log the deletion in (or fail it as wrong).
    HCRYPTPROV unused = 0;
    EXPECT_FALSE(::CryptAcquireContextA(&unused, "Alpha", kCspProviderName, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
    EXPECT_EQ(static_cast<DWORD>(SCARD_W_CARD_NOT_AUTHENTICATED), ::GetLastError()) << password;
  }
}

TEST_F(CspTest, ContainerNamesFitWhenTheProvidersSizeLeavesOutTheNul) {
  contents.AddCertificate("jane-doe", "Jane", {1});
  contents.AddCertificate("unit", "Unit", {2});
  contents.AddCatalog({"Alpha", "Longest-name"});
  contents.AddRecord("Alpha", "Jane", "");
  contents.AddRecord("Longest-name", "Unit", "");
  // The provider's registration names, for this case, a DLL in front of ZeltCsp.dll that
  // counts the longest name without its NUL.
  ScopedRegKey key;
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                           (std::string("Software\\Microsoft\\Cryptography\\Defaults\\Provider\\") +
                                            kCspProviderName).c_str(),
                                           0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.receive()));
  wchar_t image[MAX_PATH] = L"";
  DWORD size = sizeof image - sizeof image[0];
  ASSERT_EQ(ERROR_SUCCESS, ::RegQueryValueExW(key.get(), L"Image Path", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(image), &size));
  const auto setImage = [&key](const std::wstring& path) {
    return ::RegSetValueExW(key.get(), L"Image Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                            static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  };
  ASSERT_EQ(ERROR_SUCCESS, setImage(testkit::BinDir() + L"ShortSizeCsp.dll"));
  CspContext csp;
  const int32_t status = csp.enumerateContainers();
  ASSERT_EQ(ERROR_SUCCESS, setImage(image));
  EXPECT_EQ(0, status) << std::hex << status;
  EXPECT_EQ((std::vector<std::string>{"Alpha/1/default", "Longest-name/1"}), mapOf(csp));
}

}  // namespace
