#pragma once
// A Token on a software token whose certificates, catalog and container
// records each test writes itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cryptoki/CryptokiBinding.h"
#include "kit/SoftToken.h"
#include "kit/TokenContents.h"
#include "model/CertificateFiles.h"
#include "model/Token.h"

class TokenTest : public ::testing::Test {
 protected:
  static constexpr CK_SLOT_ID kSlot = 2;
  static constexpr const char* kSerial = "5EC0A1D2";
  static constexpr const char* kPassword = "pki-password";

  void SetUp() override {
    ASSERT_TRUE(soft.ready()) << "cannot load ZeltP11.dll, error " << ::GetLastError();
    ASSERT_EQ(CKR_OK, soft.CreateToken(kSlot, kSerial, kPassword));
    ASSERT_TRUE(binding.Load());
  }

  // The token opened the way the page opens it.
  HRESULT Open() { return token->open(&binding, L"5EC0A1D2", kSlot); }
  void RecreateToken() {
    ASSERT_EQ(CKR_OK, soft.DeleteToken(kSlot));
    ASSERT_EQ(CKR_OK, soft.CreateToken(kSlot, kSerial, kPassword));
  }

  // Every record from the start, in the token's order.
  std::vector<std::unique_ptr<CertificateRecord>> ReadAll();

  testkit::SoftToken soft;
  CryptokiBinding binding;
  testkit::TokenContents contents{soft, kSlot, kPassword};
  std::unique_ptr<Token> token{new Token()};
};

// A record's CKA_ID as text.
std::string IdOf(const CertificateRecord& record);
// The record with that CKA_ID (a failure when there is none).
const CertificateRecord* WithId(const std::vector<std::unique_ptr<CertificateRecord>>& records, const std::string& id);
