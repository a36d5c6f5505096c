#include "model/CertificateRecord.h"

#include <cstring>

#include "model/CryptoApi.h"
#include "model/HeapArray.h"
#include "model/NameFormat.h"
#include "model/PurposeNames.h"
#include "model/SecretBuffer.h"

static_assert(sizeof(bool) == 1, "record flags are 8-bit booleans");

namespace {

constexpr char SmartCardLogonOid[] = "1.3.6.1.4.1.311.20.2.2";

}  // namespace

CertificateRecord::~CertificateRecord() = default;

Status CertificateRecord::displayName(const CERT_NAME_BLOB& name, TextBuffer& text) {
  CERT_NAME_BLOB blob = name;  // the platform's prototype takes a non-const pointer
  // The wide formatter, once for a name that fits here: the ANSI one formats the wide text twice a
  // call (its size, then the text), and its size takes a call of its own. Its text is the wide one
  // in the ANSI code page, as the module's one conversion shows it.
  wchar_t fitted[256];
  const wchar_t* wide = fitted;
  DWORD units = ::CertNameToStrW(kCertEncoding, &blob, CERT_X500_NAME_STR, fitted, 256);
  HeapArray<wchar_t> longer;
  if (units >= 256) {
    // Perhaps cut: formatted again into a buffer of the size the formatter asks for.
    units = ::CertNameToStrW(kCertEncoding, &blob, CERT_X500_NAME_STR, nullptr, 0);
    longer = allocateArray<wchar_t>(static_cast<size_t>(units) + 1);
    if (!longer) return E_OUTOFMEMORY;
    ::CertNameToStrW(kCertEncoding, &blob, CERT_X500_NAME_STR, longer.get(), units + 1);
    longer[units] = L'\0';
    wide = longer.get();
  }
  if (units == 0) return E_FAIL;
  SecretBuffer converted;
  const Status status = converted.AssignWide(wide, SecretBuffer::kUnbounded, SecretBuffer::Conversion::Shown);
  if (status != S_OK) return status;
  return NameFormat::displayNameValue(converted.text(), text);
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
      Status hr = PurposeNames::Append(oid, text);
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
