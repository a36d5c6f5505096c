#include "tokenkit/RsaKey.h"

#include "tokenkit/DerReader.h"

namespace {
void wipe(std::vector<uint8_t>& v) {
  volatile uint8_t* p = v.data();
  for (size_t i = 0; i < v.size(); ++i) p[i] = 0;
}
}  // namespace

RsaKey::~RsaKey() {
  for (std::vector<uint8_t>* v : {&privateExponent, &prime1, &prime2, &exponent1, &exponent2, &coefficient}) wipe(*v);
}

unsigned long RsaKey::modulusBits() const {
  if (modulus.empty() || (modulus.size() == 1 && modulus[0] == 0)) return 0;
  unsigned long bits = static_cast<unsigned long>(modulus.size() - 1) * 8;
  for (uint8_t top = modulus[0]; top; top >>= 1) ++bits;
  return bits;
}

namespace rsakey {

namespace {

// 1.2.840.113549.1.1.1 and 1.2.840.10045.2.1 as DER contents.
const uint8_t kRsaEncryption[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
const uint8_t kEcPublicKey[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01};

bool sameBytes(const DerReader& r, const uint8_t* bytes, size_t size) {
  if (r.remaining() != size) return false;
  for (size_t i = 0; i < size; ++i)
    if (r.data()[i] != bytes[i]) return false;
  return true;
}

bool parsePkcs1(DerReader body, RsaKey* key, std::string* error) {
  std::vector<uint8_t> version;
  RsaKey k;
  if (!body.readUnsigned(&version) || !body.readUnsigned(&k.modulus) || !body.readUnsigned(&k.publicExponent) ||
      !body.readUnsigned(&k.privateExponent) || !body.readUnsigned(&k.prime1) || !body.readUnsigned(&k.prime2) ||
      !body.readUnsigned(&k.exponent1) || !body.readUnsigned(&k.exponent2) || !body.readUnsigned(&k.coefficient)) {
    *error = "the RSA private key is malformed";
    return false;
  }
  if (version.size() != 1 || version[0] != 0) {
    *error = "RSA private keys with more than two primes are not supported";
    return false;
  }
  if (k.modulusBits() < 512) {
    *error = "the RSA key is too short (" + std::to_string(k.modulusBits()) + " bits)";
    return false;
  }
  *key = std::move(k);
  return true;
}

}  // namespace

bool parsePrivateKey(const std::vector<uint8_t>& der, RsaKey* key, std::string* error) {
  DerReader input(der.data(), der.size());
  DerReader outer;
  if (!input.expect(dertag::Sequence, &outer) || !input.atEnd()) {
    *error = "not a DER-encoded private key";
    return false;
  }
  // PKCS #8 EncryptedPrivateKeyInfo starts with a SEQUENCE, the plain forms with an INTEGER.
  DerReader probe = outer;
  DerReader first;
  uint8_t tag = 0;
  if (!probe.next(&tag, &first)) {
    *error = "not a DER-encoded private key";
    return false;
  }
  if (tag == dertag::Sequence) {
    *error = "the private key is encrypted; give it as a PKCS #12 file or decrypt it first";
    return false;
  }
  // PKCS #1: INTEGER 0, then the modulus. PKCS #8: INTEGER 0, then an AlgorithmIdentifier.
  DerReader pkcs8 = outer;
  std::vector<uint8_t> version;
  DerReader algorithm;
  if (pkcs8.readUnsigned(&version) && pkcs8.expect(dertag::Sequence, &algorithm)) {
    DerReader oid;
    if (!algorithm.expect(dertag::ObjectId, &oid)) {
      *error = "the PKCS #8 key names no algorithm";
      return false;
    }
    if (sameBytes(oid, kEcPublicKey, sizeof kEcPublicKey)) {
      *error = "elliptic curve keys are not supported; the token takes RSA keys";
      return false;
    }
    if (!sameBytes(oid, kRsaEncryption, sizeof kRsaEncryption)) {
      *error = "the key is not an RSA key";
      return false;
    }
    DerReader inner;
    if (!pkcs8.expect(dertag::OctetString, &inner)) {
      *error = "the PKCS #8 key holds no private key";
      return false;
    }
    DerReader rsa;
    if (!inner.expect(dertag::Sequence, &rsa) || !inner.atEnd()) {
      *error = "the RSA private key inside the PKCS #8 key is malformed";
      return false;
    }
    return parsePkcs1(rsa, key, error);
  }
  return parsePkcs1(outer, key, error);
}

}  // namespace rsakey
