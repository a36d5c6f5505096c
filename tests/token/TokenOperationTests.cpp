// Register, Unregister, Remove, Set As Default and Convert on records of the
// token, observed in the current user's "MY" store (reopened for every look)
// and on the software token; and the page reading its token.
#include <gtest/gtest.h>

#include "TokenFixture.h"
#include "cryptoki/CkStatus.h"
#include "kit/PageHarness.h"
#include "model/ScopedCertContext.h"
#include "model/ScopedSystemStore.h"
#include "page/HostInterfaces.h"
#include "page/UserPage.h"

namespace {

// The certificate with that SHA-1 hash in a freshly opened "MY" store.
ScopedCertContext FindInMy(const std::vector<BYTE>& sha1) {
  ScopedSystemStore my(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
  EXPECT_TRUE(my) << "MY store: error " << std::hex << ::GetLastError();
  if (!my) return ScopedCertContext();
  CRYPT_HASH_BLOB hash = {static_cast<DWORD>(sha1.size()), const_cast<BYTE*>(sha1.data())};
  return ScopedCertContext(::CertFindCertificateInStore(my.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                        CERT_FIND_SHA1_HASH, &hash, nullptr));
}

}  // namespace

TEST_F(TokenTest, RegisterAndUnregisterShowInTheUsersMyStore) {
  AddCertificate("jane-doe", "jane", {'J'});
  AddCatalog({"Jane's keys"});
  AddRecord("Jane's keys", "", "jane");
  ASSERT_EQ(S_OK, Open());
  ASSERT_EQ(S_OK, token->openMyStore());
  auto records = ReadAll();
  ASSERT_EQ(1u, records.size());
  CertificateRecord& jane = *records[0];
  const std::vector<BYTE> sha1 = CertificateFiles::sha1Of("jane-doe");
  ASSERT_FALSE(FindInMy(sha1)) << "left over in the MY store";
  EXPECT_FALSE(jane.registered);

  EXPECT_EQ(S_OK, token->registerCertificate(&jane));
  EXPECT_EQ(S_OK, token->registerCertificate(&jane)) << "a certificate already in the store counts as registered";
  {
    ScopedCertContext mine = FindInMy(sha1);
    ASSERT_TRUE(mine) << "not in the MY store after registering";
    BYTE buffer[1024];
    DWORD size = sizeof buffer;
    ASSERT_TRUE(::CertGetCertificateContextProperty(mine.get(), CERT_KEY_PROV_INFO_PROP_ID, buffer, &size));
    const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer);
    EXPECT_STREQ(L"Jane's keys", info->pwszContainerName);
    EXPECT_STREQ(L"Quillon Zelt RSA Cryptographic Service Provider", info->pwszProvName);
    EXPECT_EQ(static_cast<DWORD>(PROV_RSA_FULL), info->dwProvType);
    EXPECT_EQ(static_cast<DWORD>(AT_SIGNATURE), info->dwKeySpec);
    EXPECT_EQ(0u, info->cProvParam);
  }
  EXPECT_TRUE(ReadAll()[0]->registered);

  EXPECT_EQ(S_OK, token->unregisterCertificate(&jane));
  EXPECT_FALSE(FindInMy(sha1)) << "still in the MY store after unregistering";
  EXPECT_EQ(CRYPT_E_NOT_FOUND, token->unregisterCertificate(&jane));
  EXPECT_FALSE(ReadAll()[0]->registered);

  CertificateRecord noContext;
  EXPECT_EQ(E_POINTER, token->registerCertificate(&noContext));
  EXPECT_EQ(E_POINTER, token->unregisterByThumbprint(nullptr));
}

TEST_F(TokenTest, RemoveWithoutContainerDestroysEveryObjectOfItsIdentifier) {
  AddCertificate("unit", "unit", {'U'});
  AddKeyPair({'U'});
  AddCertificate("jane-doe", "jane", {'J'});
  AddKeyPair({'J'});
  AddCatalog({});
  ASSERT_EQ(S_OK, Open());
  auto records = ReadAll();
  ASSERT_EQ(2u, records.size());
  ASSERT_EQ("U", IdOf(*records[0]));

  EXPECT_EQ(MapCkResult(CKR_PIN_INCORRECT), token->removeCertificate(records[0].get(), "wrong password"));
  EXPECT_EQ(3u, CountWithId({'U'})) << "a wrong password destroyed something";

  soft.StartTrace();
  EXPECT_EQ(S_OK, token->removeCertificate(records[0].get(), kPassword));
  EXPECT_EQ(3u, soft.Calls("C_DestroyObject").size());
  CK_SESSION_INFO info = {};
  ASSERT_EQ(CKR_OK, soft.standard()->C_GetSessionInfo(token->session(), &info));
  EXPECT_EQ(static_cast<CK_STATE>(CKS_RW_PUBLIC_SESSION), info.state) << "still logged in after the removal";
  EXPECT_EQ(0u, CountWithId({'U'}));
  EXPECT_EQ(3u, CountWithId({'J'}));

  ASSERT_EQ(S_OK, token->refreshInventory());
  records = ReadAll();
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("J", IdOf(*records[0]));
  EXPECT_EQ(E_POINTER, token->removeCertificate(records[0].get(), nullptr));
}

TEST_F(TokenTest, DefaultConvertAndRemoveWithContainerGoThroughTheCsp) {
  for (char id : {'J', 'U', 'E'}) AddKeyPair({uint8_t(id)});
  AddCertificate("jane-doe", "jane", {'J'});
  AddCertificate("unit", "unit", {'U'});
  AddCertificate("example-corp", "corp", {'E'});
  AddCatalog({"A", "B"});
  AddRecord("A", "jane", "", containerformat::kRecordVersion, {'J'});
  AddRecord("B", "unit", "", containerformat::kRecordVersion, {'U'});
  ASSERT_EQ(S_OK, Open());
  auto records = ReadAll();
  ASSERT_EQ(3u, records.size());
  CertificateRecord& jane = *records[0];
  CertificateRecord& unit = *records[1];
  CertificateRecord& corp = *records[2];
  ASSERT_TRUE(jane.isDefaultLogon);

  EXPECT_EQ(S_OK, token->setDefaultLogon(&unit));
  EXPECT_TRUE(unit.isDefaultLogon);
  const HRESULT wrong = token->removeCertificate(&unit, "wrong password");
  EXPECT_EQ(SCARD_W_WRONG_CHV, wrong) << std::hex << wrong;
  EXPECT_EQ(3u, CountWithId({'U'}));

  soft.StartTrace();
  EXPECT_EQ(S_OK, token->convertCertificate(&jane, kPassword));
  EXPECT_TRUE(soft.Trace().empty()) << "a certificate with a container went to the CSP";
  EXPECT_STREQ("A", jane.containerName.text());
  EXPECT_EQ(S_OK, token->convertCertificate(&corp, kPassword));
  EXPECT_TRUE(corp.hasContainer);
  EXPECT_EQ(36u, corp.containerName.length()) << corp.containerName.text();
  EXPECT_EQ(static_cast<uint32_t>(AT_KEYEXCHANGE), corp.keySpec);
  const std::string converted = corp.containerName.text();

  // The next read sees the new default container first, and the new container.
  ASSERT_EQ(S_OK, token->refreshInventory());
  records = ReadAll();
  ASSERT_EQ(3u, records.size());
  EXPECT_TRUE(WithId(records, "U")->isDefaultLogon);
  EXPECT_FALSE(WithId(records, "J")->isDefaultLogon);
  EXPECT_EQ(converted, WithId(records, "E")->containerName.text());

  soft.StartTrace();
  EXPECT_EQ(S_OK, token->removeCertificate(const_cast<CertificateRecord*>(WithId(records, "U")), kPassword));
  EXPECT_EQ(0u, CountWithId({'U'})) << "the CSP leaves the key pair of the container";
  const std::string ownSession = "hSession=" + std::to_string(token->session()) + ",";
  for (const std::string& line : soft.Calls("C_DestroyObject"))
    EXPECT_EQ(std::string::npos, line.find(ownSession)) << "the token destroyed objects itself: " << line;
  ASSERT_EQ(S_OK, token->refreshInventory());
  EXPECT_EQ(2u, ReadAll().size());
}

TEST_F(TokenTest, PageOpensTheTokenOfTheHostsSerial) {
  AddCertificate("jane-doe", "jane", {'J'});
  AddCatalog({});
  {
    testkit::PageHarness harness{&UserPage::CreateInstance};
    ASSERT_TRUE(harness.Ready()) << "no display";
    harness.host.serial = L"5ec0a1d2";
    ASSERT_EQ(S_OK, harness.Open());
    UserPage* page = static_cast<UserPage*>(harness.page());

    ASSERT_EQ(S_OK, page->ReadCertificates());
    EXPECT_EQ(kSlot, page->SlotId());
    EXPECT_EQ(kSlot, page->TokenModel().slotId());
    EXPECT_EQ(1u, page->TokenModel().count());
    EXPECT_NE(nullptr, page->TokenModel().myStore());

    // A serial that no token carries finds no slot, and slot 0 does not exist.
    harness.host.serial = L"00000000";
    harness.Notify(TPN_REFRESH, 0);
    EXPECT_EQ(MapCkResult(CKR_DEVICE_REMOVED), page->ReadCertificates());
    harness.host.serial = L"5ec0a1d2";
    harness.Notify(TPN_REFRESH, 0);
    ASSERT_EQ(S_OK, page->ReadCertificates());
    EXPECT_NE(0u, soft.SessionCount(kSlot));
  }
  EXPECT_EQ(0u, soft.SessionCount(kSlot)) << "the page left its token's session open";
}
