#pragma once
// What an import left on a software token, read through the fixture's own function list in a
// session of its own, logged in so that private keys show.
#include <windows.h>

#include <string>
#include <vector>

#include "kit/SoftToken.h"

using Bytes = std::vector<uint8_t>;

class TokenContents {
 public:
  TokenContents(testkit::SoftToken& token, CK_SLOT_ID slot, const std::string& pin) : p11_(token.standard()) {
    token.EnsureInitialized();
    p11_->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &session_);
    p11_->C_Login(session_, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(pin.data())), pin.size());
  }
  ~TokenContents() {
    p11_->C_Logout(session_);
    p11_->C_CloseSession(session_);
  }
  TokenContents(const TokenContents&) = delete;
  TokenContents& operator=(const TokenContents&) = delete;

  // CKA_VALUE of each object of the class labelled `label` (stored with its NUL); keys give empty values.
  std::vector<Bytes> Find(CK_OBJECT_CLASS cls, const std::string& label) {
    std::vector<Bytes> values;
    std::string stored = label + '\0';
    CK_ATTRIBUTE tmpl[] = {{CKA_CLASS, &cls, sizeof cls}, {CKA_LABEL, &stored[0], stored.size()}};
    for (CK_OBJECT_HANDLE object : Objects(tmpl, 2)) {
      CK_ATTRIBUTE value = {CKA_VALUE, nullptr, 0};
      Bytes bytes;
      if (p11_->C_GetAttributeValue(session_, object, &value, 1) == CKR_OK &&
          value.ulValueLen != CK_UNAVAILABLE_INFORMATION) {
        bytes.resize(value.ulValueLen);
        value.pValue = bytes.data();
        p11_->C_GetAttributeValue(session_, object, &value, 1);
      }
      values.push_back(bytes);
    }
    return values;
  }
  size_t Count() { return Objects(nullptr, 0).size(); }

 private:
  std::vector<CK_OBJECT_HANDLE> Objects(CK_ATTRIBUTE* tmpl, CK_ULONG count) {
    std::vector<CK_OBJECT_HANDLE> objects;
    if (p11_->C_FindObjectsInit(session_, tmpl, count) != CKR_OK) return objects;
    CK_OBJECT_HANDLE batch[16];
    CK_ULONG n = 0;
    while (p11_->C_FindObjects(session_, batch, 16, &n) == CKR_OK && n > 0)
      objects.insert(objects.end(), batch, batch + n);
    p11_->C_FindObjectsFinal(session_);
    return objects;
  }

  CK_FUNCTION_LIST* p11_;
  CK_SESSION_HANDLE session_ = 0;
};

// The container record that names `label` as the key-exchange certificate.
inline Bytes ExchangeRecord(const std::string& label) {
  const std::string record = std::string("\x02\0\0\0", 4) + label + std::string("\0\0", 2);
  return Bytes(record.begin(), record.end());
}

// The names of a container catalog value, in order.
inline std::vector<std::string> CatalogNames(const Bytes& catalog) {
  std::vector<std::string> names;
  size_t at = 4;
  while (at < catalog.size()) {
    const std::string name(reinterpret_cast<const char*>(&catalog[at]));
    names.push_back(name);
    at += name.size() + 1;
  }
  return names;
}
