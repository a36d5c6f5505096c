#include "tokenkit/CredentialLoader.h"

#include <windows.h>
#include <wincrypt.h>

#include "tokenkit/Pem.h"
#include "tokenkit/HexText.h"
#include "tokenkit/ScopedCertStore.h"
#include "model/ScopedCryptKey.h"
#include "model/ScopedCryptProv.h"
#include "model/ScopedFileHandle.h"
#include "tokenkit/WideText.h"
#include "model/ScopedCertContext.h"

namespace {

constexpr DWORD kMaxFileSize = 1 << 20;

// Key and certificate files are small; anything larger is a wrong file.
std::string fileName(const std::wstring& path) { return "\"" + widetext::toUtf8(path) + "\""; }

bool isKeyLabel(const std::string& label) { return label == "PRIVATE KEY" || label == "RSA PRIVATE KEY"; }

Outcome keyFromPemBlocks(const std::wstring& path, const std::vector<PemBlock>& blocks, RsaKey* key) {
  for (const PemBlock& b : blocks) {
    if (b.label == "ENCRYPTED PRIVATE KEY")
      return Outcome::fail(ExitCode::BadInput, fileName(path) +
                                                   ": the private key is encrypted; give it as a PKCS #12 file or decrypt it first");
    if (b.label == "EC PRIVATE KEY")
      return Outcome::fail(ExitCode::BadInput, fileName(path) + ": elliptic curve keys are not supported; the token takes RSA keys");
    if (!isKeyLabel(b.label)) continue;
    std::string error;
    if (!rsakey::parsePrivateKey(b.der, key, &error)) return Outcome::fail(ExitCode::BadInput, fileName(path) + ": " + error);
    return Outcome::ok();
  }
  return Outcome::ok();
}

// CryptoAPI key blobs hold integers little-endian.
std::vector<uint8_t> bigEndian(const BYTE* p, size_t n) {
  std::vector<uint8_t> v(std::reverse_iterator<const BYTE*>(p + n), std::reverse_iterator<const BYTE*>(p));
  size_t zeros = 0;
  while (zeros + 1 < v.size() && v[zeros] == 0) ++zeros;
  v.erase(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(zeros));
  return v;
}

// PRIVATEKEYBLOB: BLOBHEADER, RSAPUBKEY, modulus, prime1, prime2, exponent1, exponent2,
// coefficient, privateExponent.
bool keyFromPrivateKeyBlob(const std::vector<BYTE>& blob, RsaKey* key) {
  const size_t header = sizeof(BLOBHEADER) + sizeof(RSAPUBKEY);
  if (blob.size() < header) return false;
  RSAPUBKEY pub;
  memcpy(&pub, blob.data() + sizeof(BLOBHEADER), sizeof pub);
  const size_t full = pub.bitlen / 8, half = pub.bitlen / 16;
  if (pub.magic != 0x32415352 /* "RSA2" */ || blob.size() < header + full * 2 + half * 5) return false;
  const BYTE* p = blob.data() + header;
  RsaKey k;
  k.modulus = bigEndian(p, full), p += full;
  k.prime1 = bigEndian(p, half), p += half;
  k.prime2 = bigEndian(p, half), p += half;
  k.exponent1 = bigEndian(p, half), p += half;
  k.exponent2 = bigEndian(p, half), p += half;
  k.coefficient = bigEndian(p, half), p += half;
  k.privateExponent = bigEndian(p, full);
  const BYTE e[4] = {static_cast<BYTE>(pub.pubexp), static_cast<BYTE>(pub.pubexp >> 8),
                     static_cast<BYTE>(pub.pubexp >> 16), static_cast<BYTE>(pub.pubexp >> 24)};
  k.publicExponent = bigEndian(e, 4);
  *key = std::move(k);
  return true;
}

// The key provider information of an imported certificate, when its key was persisted.
bool keyProvInfo(PCCERT_CONTEXT context, std::vector<BYTE>* info) {
  DWORD size = 0;
  if (!::CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) return false;
  info->resize(size);
  return ::CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, info->data(), &size) != FALSE;
}

}  // namespace

Outcome CredentialLoader::readFile(const std::wstring& path, std::vector<uint8_t>* bytes) {
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      return Outcome::fail(ExitCode::BadInput, fileName(path) + ": no such file");
    return Outcome::fail(ExitCode::BadInput, fileName(path) + ": cannot open the file (error " + std::to_string(error) + ")");
  }
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.get(), &size))
    return Outcome::fail(ExitCode::BadInput, fileName(path) + ": cannot read the file's size");
  if (size.QuadPart == 0) return Outcome::fail(ExitCode::BadInput, fileName(path) + ": the file is empty");
  if (size.QuadPart > kMaxFileSize)
    return Outcome::fail(ExitCode::BadInput, fileName(path) + ": the file is too large for a certificate or key");
  bytes->resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!::ReadFile(file.get(), bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr) || read != bytes->size())
    return Outcome::fail(ExitCode::BadInput, fileName(path) + ": cannot read the file");
  return Outcome::ok();
}

Outcome CredentialLoader::readCertificateFile(const std::wstring& path, const std::string* pfxPassword,
                                              Credential* out) {
  std::vector<uint8_t> bytes;
  Outcome r = readFile(path, &bytes);
  if (r.failed()) return r;
  Credential c;
  if (pem::looksLikePem(bytes)) {
    std::vector<PemBlock> blocks;
    std::string error;
    if (!pem::parse(bytes, &blocks, &error)) return Outcome::fail(ExitCode::BadInput, fileName(path) + ": " + error);
    for (const PemBlock& b : blocks) {
      if (b.label == "CERTIFICATE" || b.label == "X509 CERTIFICATE") {
        c.certificate = b.der;
        break;
      }
    }
    if (c.certificate.empty())
      return Outcome::fail(ExitCode::BadInput, fileName(path) + ": the PEM file holds no CERTIFICATE block");
    r = keyFromPemBlocks(path, blocks, &c.key);
    if (r.failed()) return r;
    *out = std::move(c);
    return Outcome::ok();
  }
  CRYPT_DATA_BLOB blob = {static_cast<DWORD>(bytes.size()), bytes.data()};
  if (::PFXIsPFXBlob(&blob)) {
    if (!pfxPassword)
      return Outcome::fail(ExitCode::Usage, fileName(path) + " is a PKCS #12 file: give its password with --pfx-password");
    return readPkcs12(path, bytes, *pfxPassword, out);
  }
  if (bytes[0] != 0x30)
    return Outcome::fail(ExitCode::BadInput, fileName(path) + ": neither a PEM file, a DER certificate nor a PKCS #12 file");
  c.certificate = bytes;
  *out = std::move(c);
  return Outcome::ok();
}

Outcome CredentialLoader::readPkcs12File(const std::wstring& path, const std::string& password, Credential* out) {
  std::vector<uint8_t> bytes;
  Outcome r = readFile(path, &bytes);
  if (r.failed()) return r;
  CRYPT_DATA_BLOB blob = {static_cast<DWORD>(bytes.size()), bytes.data()};
  if (!::PFXIsPFXBlob(&blob)) return Outcome::fail(ExitCode::BadInput, fileName(path) + " is not a PKCS #12 file");
  return readPkcs12(path, bytes, password, out);
}

Outcome CredentialLoader::readKeyFile(const std::wstring& path, RsaKey* key) {
  std::vector<uint8_t> bytes;
  Outcome r = readFile(path, &bytes);
  if (r.failed()) return r;
  if (pem::looksLikePem(bytes)) {
    std::vector<PemBlock> blocks;
    std::string error;
    if (!pem::parse(bytes, &blocks, &error)) return Outcome::fail(ExitCode::BadInput, fileName(path) + ": " + error);
    r = keyFromPemBlocks(path, blocks, key);
    if (r.failed()) return r;
    if (key->empty()) return Outcome::fail(ExitCode::BadInput, fileName(path) + ": the PEM file holds no private key");
    return Outcome::ok();
  }
  std::string error;
  if (!rsakey::parsePrivateKey(bytes, key, &error)) return Outcome::fail(ExitCode::BadInput, fileName(path) + ": " + error);
  return Outcome::ok();
}

Outcome CredentialLoader::readPkcs12(const std::wstring& path, const std::vector<uint8_t>& bytes,
                                     const std::string& password, Credential* out) {
  CRYPT_DATA_BLOB blob = {static_cast<DWORD>(bytes.size()), const_cast<BYTE*>(bytes.data())};
  std::wstring widePassword = widetext::fromUtf8(password);
  // Without PKCS12_NO_PERSIST_KEY the key would stay behind in a key container of the user.
  ScopedCertStore store(::PFXImportCertStore(&blob, widePassword.c_str(), CRYPT_EXPORTABLE | PKCS12_NO_PERSIST_KEY));
  bool persisted = false;
  if (!store && ::GetLastError() == static_cast<DWORD>(NTE_BAD_FLAGS)) {
    store.reset(::PFXImportCertStore(&blob, widePassword.c_str(), CRYPT_EXPORTABLE | CRYPT_USER_KEYSET));
    persisted = true;
  }
  // The copy is wiped as soon as the import no longer needs it (last error untouched).
  if (!widePassword.empty()) ::SecureZeroMemory(&widePassword[0], widePassword.size() * sizeof widePassword[0]);
  if (!store) {
    const DWORD error = ::GetLastError();
    // Windows reports ERROR_INVALID_PASSWORD; Wine fails with last error 0.
    if (error == ERROR_INVALID_PASSWORD || error == 0)
      return Outcome::fail(ExitCode::Password, fileName(path) + ": wrong PKCS #12 password, or a damaged file");
    return Outcome::fail(ExitCode::BadInput,
                         fileName(path) + ": the PKCS #12 file cannot be read (error " + hextext::code(error) + ")");
  }

  Credential c;
  ScopedCertContext withKey;
  ScopedCertContext first;
  for (PCCERT_CONTEXT it = ::CertEnumCertificatesInStore(store.get(), nullptr); it;
       it = ::CertEnumCertificatesInStore(store.get(), it)) {
    if (!first) first.reset(::CertDuplicateCertificateContext(it));
    DWORD size = 0;
    if (!withKey && (::CertGetCertificateContextProperty(it, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) ||
                     ::CertGetCertificateContextProperty(it, CERT_KEY_CONTEXT_PROP_ID, nullptr, &size)))
      withKey.reset(::CertDuplicateCertificateContext(it));
  }
  PCCERT_CONTEXT chosen = withKey ? withKey.get() : first.get();
  if (!chosen) return Outcome::fail(ExitCode::BadInput, fileName(path) + ": the PKCS #12 file holds no certificate");
  c.certificate.assign(chosen->pbCertEncoded, chosen->pbCertEncoded + chosen->cbCertEncoded);

  if (withKey) {
    HCRYPTPROV_OR_NCRYPT_KEY_HANDLE handle = 0;
    DWORD keySpec = 0;
    BOOL callerFrees = FALSE;
    // A key that was not persisted lives only in the certificate's key context,
    // which the acquire consults only when asked to cache; should it still fail
    // (it did on Wine without the cache flag), read the context directly.
    CERT_KEY_CONTEXT context = {};
    DWORD contextSize = sizeof context;
    if (!::CryptAcquireCertificatePrivateKey(withKey.get(), CRYPT_ACQUIRE_CACHE_FLAG | CRYPT_ACQUIRE_SILENT_FLAG, nullptr,
                                             &handle, &keySpec, &callerFrees)) {
      const DWORD acquireError = ::GetLastError();
      if (!::CertGetCertificateContextProperty(withKey.get(), CERT_KEY_CONTEXT_PROP_ID, &context, &contextSize) ||
          !context.hCryptProv) {
        ::SetLastError(acquireError);
      } else {
        handle = context.hCryptProv;
        keySpec = context.dwKeySpec;
        callerFrees = FALSE;
      }
    }
    if (!handle)
      return Outcome::fail(ExitCode::BadInput, fileName(path) + ": the key of the PKCS #12 file cannot be opened (error " +
                                                   hextext::code(::GetLastError()) + ")");
    ScopedCryptProv owned(callerFrees ? static_cast<HCRYPTPROV>(handle) : 0);
    ScopedCryptKey key;
    DWORD size = 0;
    std::vector<BYTE> exported;
    if (!::CryptGetUserKey(static_cast<HCRYPTPROV>(handle), keySpec, key.receive()) ||
        !::CryptExportKey(key.get(), 0, PRIVATEKEYBLOB, 0, nullptr, &size) ||
        (exported.resize(size), !::CryptExportKey(key.get(), 0, PRIVATEKEYBLOB, 0, exported.data(), &size)))
      return Outcome::fail(ExitCode::BadInput, fileName(path) + ": the key of the PKCS #12 file cannot be exported (error " +
                                                   hextext::code(::GetLastError()) + ")");
    exported.resize(size);
    const bool parsed = keyFromPrivateKeyBlob(exported, &c.key);
    ::SecureZeroMemory(exported.data(), exported.size());
    if (!parsed) return Outcome::fail(ExitCode::BadInput, fileName(path) + ": the key of the PKCS #12 file is not an RSA key");
  }

  if (persisted) {
    // Remove the key container the import made, now that the key has been read.
    std::vector<BYTE> infoBytes;
    if (withKey && keyProvInfo(withKey.get(), &infoBytes)) {
      const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(infoBytes.data());
      HCRYPTPROV gone = 0;
      ::CryptAcquireContextW(&gone, info->pwszContainerName, info->pwszProvName, info->dwProvType,
                             CRYPT_DELETEKEYSET | (info->dwFlags & CRYPT_MACHINE_KEYSET));
    }
  }
  *out = std::move(c);
  return Outcome::ok();
}
