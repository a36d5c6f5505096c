#pragma once
// The RSA key of the leaf certificates of tests/data/certs (every one of them carries the key
// of keys/leaf.key.pem) as a key pair on a token of the software token, private components
// included, so that the token can sign with it.
#include <cstdint>
#include <string>
#include <vector>

#include "kit/SoftToken.h"

namespace testkit {

// Public and private key objects with that identifier; fails the test when it cannot.
void AddLeafKeyPair(SoftToken& soft, CK_SLOT_ID slot, const std::string& password, const std::vector<uint8_t>& id);

}  // namespace testkit
