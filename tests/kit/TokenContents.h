#pragma once
// Writes what a test needs onto a token of the software token: certificates of
// tests/data/certs, key pairs, data objects, and the container catalog and
// records in the formats the CSP uses.
#include <windows.h>

#include <string>
#include <vector>

#include "kit/SoftToken.h"
#include "tokenkit/AttributeList.h"
#include "tokenkit/ContainerFormat.h"

namespace testkit {

class TokenContents {
 public:
  TokenContents(SoftToken& soft, CK_SLOT_ID slot, std::string password)
      : soft_(soft), slot_(slot), password_(std::move(password)) {}

  // A public certificate object with the encoding of tests/data/certs/<file>.der.
  void AddCertificate(const std::string& file, const std::string& label, const std::vector<uint8_t>& id);
  // A public certificate object with this encoding.
  void AddEncodedCertificate(const std::vector<uint8_t>& der, const std::string& label, const std::vector<uint8_t>& id);
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
  // The certificates most suites work on, each with a key pair: Jane Doe (id 'J', label "jane",
  // container "Jane's keys") and John Roe ('R', "john", "John's keys") unless `janeAndJohn` is
  // false, then Example Corp ('C', "corp", no container) when `corp`.
  void AddJaneJohnAndCorp(bool janeAndJohn = true, bool corp = true);
  // Objects with this identifier, private ones included.
  size_t CountWithId(const std::vector<uint8_t>& id);
  // The object, kept on the token; created logged in when `login`.
  void Create(const AttributeList& object, bool login);

 private:

  SoftToken& soft_;
  CK_SLOT_ID slot_;
  std::string password_;
};

}  // namespace testkit
