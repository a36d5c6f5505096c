#pragma once
// A Token on a software token whose certificates, catalog and container
// records each test writes itself, through the token library's own list.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cryptoki/CryptokiBinding.h"
#include "kit/SoftToken.h"
#include "model/CertificateFiles.h"
#include "model/Token.h"
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

  // The token is opened the way the page opens it.
  HRESULT Open() { return token->open(&binding, L"5EC0A1D2", kSlot); }
  // An empty token in the fixture's slot again.
  void RecreateToken() {
    ASSERT_EQ(CKR_OK, soft.DeleteToken(kSlot));
    ASSERT_EQ(CKR_OK, soft.CreateToken(kSlot, kSerial, kPassword));
  }

  // A public certificate object with the file's encoding; returns its handle.
  CK_OBJECT_HANDLE AddCertificate(const std::string& file, const std::string& label, std::vector<uint8_t> id);
  // Key objects that share a certificate's identifier (the private one needs the password).
  void AddKeyPair(std::vector<uint8_t> id);
  // A data object; the label bytes are stored exactly as given.
  void AddData(const std::string& label, std::vector<uint8_t> value);
  void AddCatalog(const std::vector<std::string>& names, uint8_t version = containerformat::kCatalogVersion) {
    AddData(std::string(containerformat::kCatalogLabel) + '\0', containerformat::buildCatalog(version, names));
  }
  // A container record as the CSP writes it: keyId names the key-exchange key pair.
  void AddRecord(const std::string& container, const std::string& exchange, const std::string& signature,
                 uint8_t version = containerformat::kRecordVersion, std::vector<uint8_t> keyId = {});
  // Objects with this identifier, private ones included.
  CK_ULONG CountWithId(const std::vector<uint8_t>& id);

  // Every record from the start, in the token's order.
  std::vector<std::unique_ptr<CertificateRecord>> ReadAll();

  testkit::SoftToken soft;
  CryptokiBinding binding;
  std::unique_ptr<Token> token{new Token()};

 private:
  CK_OBJECT_HANDLE Create(std::vector<CK_ATTRIBUTE> attributes, bool login);
};

// A record's CKA_ID as text for comparisons ("" when empty).
std::string IdOf(const CertificateRecord& record);
// The record with that CKA_ID (a failure when there is none).
const CertificateRecord* WithId(const std::vector<std::unique_ptr<CertificateRecord>>& records, const std::string& id);
// A file's certificate encoding.
std::vector<uint8_t> Der(const std::string& file);
