#pragma once
// A Token on a software token whose certificates, catalog and container
// records each test writes itself, in the formats the CSP uses.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cryptoki/CryptokiBinding.h"
#include "kit/SoftToken.h"
#include "model/CertificateFiles.h"
#include "model/Token.h"
#include "tokenkit/AttributeList.h"
#include "tokenkit/ContainerFormat.h"

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

  // A public certificate object with the encoding of tests/data/certs/<file>.der.
  void AddCertificate(const std::string& file, const std::string& label, const std::vector<uint8_t>& id);
  // Public and private key objects with that identifier.
  void AddKeyPair(const std::vector<uint8_t>& id);
  // A data object; the label bytes are stored exactly as given.
  void AddData(const std::string& label, const std::vector<uint8_t>& value);
  void AddCatalog(const std::vector<std::string>& names) {
    AddData(std::string(containerformat::kCatalogLabel) + '\0', containerformat::buildCatalog(1, names));
  }
  // A container record as the CSP writes it: keyId names the key-exchange key pair.
  void AddRecord(const std::string& container, const std::string& exchange, const std::string& signature,
                 uint8_t version = containerformat::kRecordVersion, const std::vector<uint8_t>& keyId = {});
  // Objects with this identifier, private ones included.
  size_t CountWithId(const std::vector<uint8_t>& id);

  // Every record from the start, in the token's order.
  std::vector<std::unique_ptr<CertificateRecord>> ReadAll();

  testkit::SoftToken soft;
  CryptokiBinding binding;
  std::unique_ptr<Token> token{new Token()};

 private:
  void Create(const AttributeList& object, bool login);
};

// A record's CKA_ID as text.
std::string IdOf(const CertificateRecord& record);
// The record with that CKA_ID (a failure when there is none).
const CertificateRecord* WithId(const std::vector<std::unique_ptr<CertificateRecord>>& records, const std::string& id);
