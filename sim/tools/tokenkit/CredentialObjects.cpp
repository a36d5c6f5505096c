#include "tokenkit/CredentialObjects.h"

#include <windows.h>
#include <wincrypt.h>

namespace credentialobjects {

std::vector<uint8_t> sha1(const std::vector<uint8_t>& data) {
  BYTE hash[20];
  DWORD size = sizeof hash;
  if (!::CryptHashCertificate(0, CALG_SHA1, 0, data.data(), static_cast<DWORD>(data.size()), hash, &size)) return {};
  return std::vector<uint8_t>(hash, hash + size);
}

AttributeList certificate(const std::vector<uint8_t>& der, const CertificateFacts& facts,
                          const std::vector<uint8_t>& id, const std::string& label) {
  AttributeList t;
  t.ulong(CKA_CLASS, CKO_CERTIFICATE)
      .boolean(CKA_TOKEN, true)
      .boolean(CKA_PRIVATE, false)
      .ulong(CKA_CERTIFICATE_TYPE, CKC_X_509)
      .label(label)
      .bytes(CKA_ID, id)
      .bytes(CKA_SUBJECT, facts.subject)
      .bytes(CKA_ISSUER, facts.issuer)
      .bytes(CKA_SERIAL_NUMBER, facts.serialNumber)
      .bytes(CKA_VALUE, der);
  return t;
}

AttributeList publicKey(const RsaKey& key, const CertificateFacts& facts, const std::vector<uint8_t>& id,
                        const std::string& label) {
  AttributeList t;
  t.ulong(CKA_CLASS, CKO_PUBLIC_KEY)
      .ulong(CKA_KEY_TYPE, CKK_RSA)
      .boolean(CKA_TOKEN, true)
      .boolean(CKA_PRIVATE, false)
      .label(label)
      .bytes(CKA_ID, id)
      .bytes(CKA_SUBJECT, facts.subject)
      .boolean(CKA_ENCRYPT, true)
      .boolean(CKA_VERIFY, true)
      .boolean(CKA_WRAP, true)
      .ulong(CKA_MODULUS_BITS, key.modulusBits())
      .bytes(CKA_MODULUS, key.modulus)
      .bytes(CKA_PUBLIC_EXPONENT, key.publicExponent);
  return t;
}

AttributeList privateKey(const RsaKey& key, const CertificateFacts& facts, const std::vector<uint8_t>& id,
                         const std::string& label) {
  AttributeList t;
  t.ulong(CKA_CLASS, CKO_PRIVATE_KEY)
      .ulong(CKA_KEY_TYPE, CKK_RSA)
      .boolean(CKA_TOKEN, true)
      .boolean(CKA_PRIVATE, true)
      .boolean(CKA_SENSITIVE, true)
      .boolean(CKA_EXTRACTABLE, false)
      .label(label)
      .bytes(CKA_ID, id)
      .bytes(CKA_SUBJECT, facts.subject)
      .boolean(CKA_DECRYPT, true)
      .boolean(CKA_SIGN, true)
      .boolean(CKA_UNWRAP, true)
      .bytes(CKA_MODULUS, key.modulus)
      .bytes(CKA_PUBLIC_EXPONENT, key.publicExponent)
      .bytes(CKA_PRIVATE_EXPONENT, key.privateExponent)
      .bytes(CKA_PRIME_1, key.prime1)
      .bytes(CKA_PRIME_2, key.prime2)
      .bytes(CKA_EXPONENT_1, key.exponent1)
      .bytes(CKA_EXPONENT_2, key.exponent2)
      .bytes(CKA_COEFFICIENT, key.coefficient);
  return t;
}

std::vector<uint8_t> keyId(const std::vector<uint8_t>& modulus) { return sha1(modulus); }

}  // namespace credentialobjects
