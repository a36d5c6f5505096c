#include "model/CertificateRecord.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "model/NameFormat.h"
#include "model/Status.h"

static_assert(StatusOk == S_OK && StatusFail == E_FAIL && StatusOutOfMemory == E_OUTOFMEMORY &&
                  StatusPointer == E_POINTER && StatusUnexpected == E_UNEXPECTED &&
                  StatusNoInterface == E_NOINTERFACE,
              "pure status codes must equal the platform's");
static_assert(sizeof(bool) == 1, "record flags are 8-bit booleans");

namespace {

constexpr DWORD CertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr char SmartCardLogonOid[] = "1.3.6.1.4.1.311.20.2.2";

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using HeapPtr = std::unique_ptr<T, FreeDeleter>;

template <typename T>
HeapPtr<T> allocate(size_t bytes) {
  return HeapPtr<T>(static_cast<T*>(std::malloc(bytes)));
}

// Appends a UTF-16 name in the ANSI code page.
HRESULT appendWide(const wchar_t* name, TextBuffer& text) {
  const int size = ::WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return S_OK;
  HeapPtr<char> converted = allocate<char>(static_cast<size_t>(size));
  if (!converted) return E_OUTOFMEMORY;
  if (!::WideCharToMultiByte(CP_ACP, 0, name, -1, converted.get(), size, nullptr, nullptr)) return S_OK;
  return text.append(converted.get());
}

}  // namespace

CertificateRecord::~CertificateRecord() = default;

HRESULT CertificateRecord::displayName(const CERT_NAME_BLOB& name, TextBuffer& text) {
  CERT_NAME_BLOB blob = name;  // the platform's prototype takes a non-const pointer
  // A name that fits these buffers takes one pass of the platform's formatter; the ANSI call
  // below formats the wide text twice per call (its size, then the text) and is called twice.
  // Its text is this conversion of the wide one, so the list shows the same either way.
  wchar_t wide[256];
  char fitted[512];
  const DWORD units = ::CertNameToStrW(CertEncoding, &blob, CERT_X500_NAME_STR, wide, 256);
  if (units > 1 && units < 256 &&
      ::WideCharToMultiByte(CP_ACP, 0, wide, -1, fitted, sizeof fitted, nullptr, nullptr) > 0)
    return NameFormat::displayNameValue(fitted, text);
  const DWORD length = ::CertNameToStrA(CertEncoding, &blob, CERT_X500_NAME_STR, nullptr, 0);
  if (length == 0) return E_FAIL;
  // A one-byte-short buffer would give an empty string, so the size comes from the call above.
  HeapPtr<char> converted = allocate<char>(static_cast<size_t>(length) + 1);
  if (!converted) return E_OUTOFMEMORY;
  ::CertNameToStrA(CertEncoding, &blob, CERT_X500_NAME_STR, converted.get(), length + 1);
  converted.get()[length] = '\0';
  return NameFormat::displayNameValue(converted.get(), text);
}

HRESULT CertificateRecord::serialText(const CRYPT_INTEGER_BLOB& serial, TextBuffer& text) {
  return NameFormat::serialText(serial.pbData, serial.cbData, text);
}

HRESULT CertificateRecord::groupSerial() {
  return NameFormat::groupSerial(serialNumber, serialNumberGrouped);
}

HRESULT CertificateRecord::describePurposes(PCCERT_CONTEXT context, TextBuffer& text, bool& logon) {
  text.clear();
  DWORD size = 0;
  // A certificate without the extension gives an empty list here, not a failure;
  // only usages that cannot be read at all mean "any purpose".
  if (!::CertGetEnhancedKeyUsage(context, 0, nullptr, &size)) return text.assign("<All>");
  if (size == 0 || size > MAXDWORD / 8) return E_FAIL;
  DWORD capacity = size * 8;
  HeapPtr<CERT_ENHKEY_USAGE> usage = allocate<CERT_ENHKEY_USAGE>(capacity);
  if (!usage) return E_FAIL;

  bool logonFound = false;
  if (::CertGetEnhancedKeyUsage(context, 0, usage.get(), &capacity)) {
    const DWORD count = usage->cUsageIdentifier;
    for (DWORD i = 0; i < count; ++i) {
      const char* oid = usage->rgpszUsageIdentifier[i];
      if (std::strcmp(oid, SmartCardLogonOid) == 0) logonFound = true;
      HRESULT hr = S_OK;
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

HRESULT CertificateRecord::readThumbprint(PCCERT_CONTEXT context, ByteBuffer& thumbprint) {
  DWORD size = 0;
  ::CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, nullptr, &size);
  if (size == 0) return S_OK;
  DWORD capacity = size + 1;
  HeapPtr<BYTE> hash = allocate<BYTE>(capacity);
  if (!hash) return E_OUTOFMEMORY;
  if (!::CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, hash.get(), &capacity)) {
    return S_OK;
  }
  return thumbprint.assign(hash.get(), capacity);
}
