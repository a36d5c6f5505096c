// C_SignInit, C_Sign, C_SignUpdate and C_SignFinal of the software token with CKM_RSA_PKCS:
// the signature is the key's (it verifies against the certificate), the operation's life and
// its errors are Cryptoki's.
#include <gtest/gtest.h>

#include "SigningKit.h"
#include "kit/LeafKey.h"
#include "kit/SoftToken.h"

namespace {

const char kPassword[] = "sign-pin-1";

class TokenSigning : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(soft.ready());
    ASSERT_EQ(CKR_OK, soft.CreateToken(1, "SIGN-1", kPassword));
    testkit::AddLeafKeyPair(soft, 1, kPassword, {'K'});
    ASSERT_EQ(CKR_OK, p11->C_OpenSession(1, CKF_SERIAL_SESSION, nullptr, nullptr, &session));
  }
  void TearDown() override { p11->C_CloseSession(session); }

  CK_RV Login() {
    return p11->C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(kPassword)),
                        sizeof kPassword - 1);
  }
  CK_OBJECT_HANDLE Key(CK_OBJECT_CLASS cls) {
    CK_BYTE id = 'K';
    CK_ATTRIBUTE search[] = {{CKA_CLASS, &cls, sizeof cls}, {CKA_ID, &id, 1}};
    CK_OBJECT_HANDLE key = 0;
    CK_ULONG found = 0;
    p11->C_FindObjectsInit(session, search, 2);
    p11->C_FindObjects(session, &key, 1, &found);
    p11->C_FindObjectsFinal(session);
    return key;
  }
  CK_RV Init(CK_OBJECT_HANDLE key, CK_MECHANISM_TYPE type = CKM_RSA_PKCS) {
    CK_MECHANISM mechanism = {type, nullptr, 0};
    return p11->C_SignInit(session, &mechanism, key);
  }
  CK_RV Sign(std::vector<CK_BYTE> data, std::vector<CK_BYTE>* signature, CK_ULONG* length) {
    return p11->C_Sign(session, data.data(), static_cast<CK_ULONG>(data.size()),
                       signature ? signature->data() : nullptr, length);
  }

  testkit::SoftToken soft;
  CK_FUNCTION_LIST* p11 = soft.standard();
  CK_SESSION_HANDLE session = 0;
};

TEST_F(TokenSigning, SignInitWantsTheUserLoggedInAndAnRsaPrivateKeyForRsaPkcs) {
  const CK_OBJECT_HANDLE publicKey = Key(CKO_PUBLIC_KEY);
  ASSERT_NE(0u, publicKey);
  EXPECT_EQ(CKR_USER_NOT_LOGGED_IN, Init(publicKey));
  ASSERT_EQ(CKR_OK, Login());
  const CK_OBJECT_HANDLE privateKey = Key(CKO_PRIVATE_KEY);
  const struct {
    CK_OBJECT_HANDLE key;
    CK_MECHANISM_TYPE mechanism;
    CK_RV expected;
  } cases[] = {{publicKey, CKM_RSA_PKCS, CKR_KEY_HANDLE_INVALID},
               {(1u << 24) | 999, CKM_RSA_PKCS, CKR_KEY_HANDLE_INVALID},
               {privateKey, CKM_SHA256_RSA_PKCS, CKR_MECHANISM_INVALID},
               {privateKey, CKM_RSA_PKCS, CKR_OK},
               {privateKey, CKM_RSA_PKCS, CKR_OPERATION_ACTIVE}};
  for (const auto& c : cases) EXPECT_EQ(c.expected, Init(c.key, c.mechanism)) << "key " << c.key;
}

TEST_F(TokenSigning, SignAnswersItsLengthUntilGivenRoomThenSignsOnceAndPartsSignAlike) {
  ASSERT_EQ(CKR_OK, Login());
  const CK_OBJECT_HANDLE key = Key(CKO_PRIVATE_KEY);
  const std::vector<CK_BYTE> data = signingkit::DigestInfo(CALG_SHA_256, "abc");
  ASSERT_EQ(CKR_OK, Init(key));
  CK_ULONG length = 0;
  EXPECT_EQ(CKR_OK, Sign(data, nullptr, &length));
  EXPECT_EQ(256u, length) << "a 2048-bit key";
  std::vector<CK_BYTE> signature(10);
  length = 10;
  EXPECT_EQ(CKR_BUFFER_TOO_SMALL, Sign(data, &signature, &length));
  EXPECT_EQ(256u, length);
  signature.resize(256);
  ASSERT_EQ(CKR_OK, Sign(data, &signature, &length)) << "neither answer ended the operation";
  EXPECT_EQ(CKR_OPERATION_NOT_INITIALIZED, Sign(data, &signature, &length)) << "the signature ended it";
  EXPECT_TRUE(signingkit::Verifies("jane-doe", CALG_SHA_256, "abc", std::vector<BYTE>(signature.rbegin(), signature.rend())));

  ASSERT_EQ(CKR_OK, Init(key));
  ASSERT_EQ(CKR_OK, p11->C_SignUpdate(session, const_cast<CK_BYTE*>(data.data()), 7));
  ASSERT_EQ(CKR_OK, p11->C_SignUpdate(session, const_cast<CK_BYTE*>(data.data()) + 7, data.size() - 7));
  std::vector<CK_BYTE> inParts(256);
  length = 256;
  ASSERT_EQ(CKR_OK, p11->C_SignFinal(session, inParts.data(), &length));
  EXPECT_EQ(signature, inParts);

  ASSERT_EQ(CKR_OK, Init(key));
  EXPECT_EQ(CKR_DATA_LEN_RANGE, Sign(std::vector<CK_BYTE>(246, 1), &signature, &length)) << "no room for the padding";
  ASSERT_EQ(CKR_OK, Init(key));
  ASSERT_EQ(CKR_OK, p11->C_Logout(session));
  EXPECT_EQ(CKR_USER_NOT_LOGGED_IN, Sign(data, &signature, &length));
  EXPECT_EQ(CKR_OPERATION_NOT_INITIALIZED, Sign(data, &signature, &length));
}

}  // namespace
