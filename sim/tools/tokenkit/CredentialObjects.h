#pragma once
// Templates of the token objects that hold a certificate and its RSA key pair: all three
// token objects share one label and one identifier.
#include <cstdint>
#include <string>
#include <vector>

#include "tokenkit/AttributeList.h"
#include "tokenkit/CertificateFacts.h"
#include "tokenkit/RsaKey.h"

namespace credentialobjects {

// SHA-1 of the bytes; empty when the platform cannot hash.
std::vector<uint8_t> sha1(const std::vector<uint8_t>& data);
// The identifier that a key pair gets: the SHA-1 of its modulus.
std::vector<uint8_t> keyId(const std::vector<uint8_t>& modulus);

AttributeList certificate(const std::vector<uint8_t>& der, const CertificateFacts& facts,
                          const std::vector<uint8_t>& id, const std::string& label);
AttributeList publicKey(const RsaKey& key, const CertificateFacts& facts, const std::vector<uint8_t>& id,
                        const std::string& label);
AttributeList privateKey(const RsaKey& key, const CertificateFacts& facts, const std::vector<uint8_t>& id,
                         const std::string& label);

}  // namespace credentialobjects
