#include "tokenkit/CertificateFacts.h"

#include <wincrypt.h>

#include "tokenkit/DerReader.h"
#include "tokenkit/HexText.h"
#include "tokenkit/WideText.h"
#include "model/ScopedCertContext.h"

namespace {

std::vector<uint8_t> blobBytes(const CERT_NAME_BLOB& blob) {
  return std::vector<uint8_t>(blob.pbData, blob.pbData + blob.cbData);
}

std::wstring nameString(PCCERT_CONTEXT context, DWORD type, void* typePara) {
  const DWORD n = ::CertGetNameStringW(context, type, 0, typePara, nullptr, 0);
  if (n <= 1) return std::wstring();
  std::wstring text(n, L'\0');
  ::CertGetNameStringW(context, type, 0, typePara, &text[0], n);
  text.resize(n - 1);
  return text;
}

}  // namespace

Outcome CertificateFacts::read(const std::vector<uint8_t>& der, CertificateFacts* facts) {
  DerReader whole(der.data(), der.size());
  DerReader certificate;
  if (!whole.expect(dertag::Sequence, &certificate))
    return Outcome::fail(ExitCode::BadInput, "not a DER-encoded certificate");
  if (!whole.atEnd())
    return Outcome::fail(ExitCode::BadInput, "the certificate is followed by " + std::to_string(whole.remaining()) +
                                                 " bytes that belong to no certificate");
  ScopedCertContext context(::CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(),
                                                           static_cast<DWORD>(der.size())));
  if (!context)
    return Outcome::fail(ExitCode::BadInput,
                         "not an X.509 certificate (CryptoAPI error " + hextext::code(::GetLastError()) + ")");
  const CERT_INFO* info = context.get()->pCertInfo;
  CertificateFacts f;
  f.subject = blobBytes(info->Subject);
  f.issuer = blobBytes(info->Issuer);
  // CryptoAPI keeps the serial little-endian; the DER INTEGER is big-endian.
  std::vector<uint8_t> serial(info->SerialNumber.pbData, info->SerialNumber.pbData + info->SerialNumber.cbData);
  f.serialNumber = {dertag::Integer, static_cast<uint8_t>(serial.size())};
  f.serialNumber.insert(f.serialNumber.end(), serial.rbegin(), serial.rend());
  f.notAfter = info->NotAfter;

  const CERT_PUBLIC_KEY_INFO& key = info->SubjectPublicKeyInfo;
  f.rsa = key.Algorithm.pszObjId && std::string(key.Algorithm.pszObjId) == szOID_RSA_RSA;
  if (f.rsa) {
    DerReader bits(key.PublicKey.pbData, key.PublicKey.cbData);
    DerReader rsaKey;
    if (!bits.expect(dertag::Sequence, &rsaKey) || !rsaKey.readUnsigned(&f.modulus) ||
        !rsaKey.readUnsigned(&f.publicExponent))
      return Outcome::fail(ExitCode::BadInput, "the certificate's RSA public key is malformed");
  }
  f.commonName = widetext::toUtf8(
      nameString(context.get(), CERT_NAME_ATTR_TYPE, const_cast<char*>(szOID_COMMON_NAME)));
  DWORD strType = CERT_X500_NAME_STR;
  f.subjectText = widetext::toUtf8(nameString(context.get(), CERT_NAME_RDN_TYPE, &strType));
  *facts = std::move(f);
  return Outcome::ok();
}
