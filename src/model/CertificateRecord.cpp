#include "model/CertificateRecord.h"

#include <cstring>

#include "model/CryptoApi.h"
#include "model/HeapArray.h"
#include "model/NameFormat.h"
#include "model/SecretBuffer.h"

static_assert(sizeof(bool) == 1, "record flags are 8-bit booleans");

namespace {

constexpr char SmartCardLogonOid[] = "1.3.6.1.4.1.311.20.2.2";

// Appends a UTF-16 name in the ANSI code page.
Status appendWide(const wchar_t* name, TextBuffer& text) {
  SecretBuffer converted;
  const Status status = converted.AssignWide(name, SecretBuffer::kUnbounded, SecretBuffer::Conversion::Shown);
  if (status != S_OK) return status;
  return text.append(converted.data());
}

}  // namespace

CertificateRecord::~CertificateRecord() = default;

Status CertificateRecord::displayName(const CERT_NAME_BLOB& name, TextBuffer& text) {
  CERT_NAME_BLOB blob = name;  // the platform's prototype takes a non-const pointer
  const DWORD length = ::CertNameToStrA(kCertEncoding, &blob, CERT_X500_NAME_STR, nullptr, 0);
  if (length == 0) return E_FAIL;
  // A one-byte-short buffer would give an empty string, so the size comes from the call above.
  HeapArray<char> converted = allocateArray<char>(static_cast<size_t>(length) + 1);
  if (!converted) return E_OUTOFMEMORY;
  ::CertNameToStrA(kCertEncoding, &blob, CERT_X500_NAME_STR, converted.get(), length + 1);
  converted[length] = '\0';
  return NameFormat::displayNameValue(converted.get(), text);
}

Status CertificateRecord::serialText(const CRYPT_INTEGER_BLOB& serial, TextBuffer& text) {
  return NameFormat::serialText(serial.pbData, serial.cbData, text);
}

Status CertificateRecord::groupSerial() {
  return NameFormat::groupSerial(serialNumber, serialNumberGrouped);
}

Status CertificateRecord::describePurposes(PCCERT_CONTEXT context, TextBuffer& text, bool& logon) {
  text.clear();
  DWORD size = 0;
  // A certificate without the extension gives an empty list here, not a failure;
  // only usages that cannot be read at all mean "any purpose".
  if (!::CertGetEnhancedKeyUsage(context, 0, nullptr, &size)) return text.assign("<All>");
  if (size == 0 || size > MAXDWORD / 8) return E_FAIL;
  DWORD capacity = size * 8;
  HeapArray<BYTE> block = allocateArray<BYTE>(capacity);
  if (!block) return E_FAIL;
  CERT_ENHKEY_USAGE* usage = reinterpret_cast<CERT_ENHKEY_USAGE*>(block.get());

  bool logonFound = false;
  if (::CertGetEnhancedKeyUsage(context, 0, usage, &capacity)) {
    const DWORD count = usage->cUsageIdentifier;
    for (DWORD i = 0; i < count; ++i) {
      const char* oid = usage->rgpszUsageIdentifier[i];
      if (std::strcmp(oid, SmartCardLogonOid) == 0) logonFound = true;
      Status hr = S_OK;
      PCCRYPT_OID_INFO info =
          ::CryptFindOIDInfo(CRYPT_OID_INFO_OID_KEY, const_cast<char*>(oid), 0);
      if (!info) {
        hr = text.append(oid);
      } else if (info->pwszName) {
        hr = appendWide(info->pwszName, text);
      }
      if (SUCCEEDED(hr) && i + 1 < count) hr = text.append(", ");
      if (FAILED(hr)) {
        text.clear();
        return E_FAIL;
      }
    }
  }
  logon = logonFound;
  return S_OK;
}

Status CertificateRecord::readThumbprint(PCCERT_CONTEXT context, ByteBuffer& thumbprint) {
  DWORD size = 0;
  ::CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, nullptr, &size);
  if (size == 0) return S_OK;
  DWORD capacity = size + 1;
  HeapArray<BYTE> hash = allocateArray<BYTE>(capacity);
  if (!hash) return E_OUTOFMEMORY;
  if (!::CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, hash.get(), &capacity)) {
    return S_OK;
  }
  return thumbprint.assign(hash.get(), capacity);
}
