#include "kit/MyStore.h"

#include <vector>

#include "model/CertificateFiles.h"

namespace testkit {

namespace {
std::string Narrow(const wchar_t* text) { return std::string(text, text + ::lstrlenW(text)); }
}  // namespace

ScopedSystemStore OpenMy() {
  return ScopedSystemStore(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
}

ScopedCertContext FindInMy(HCERTSTORE my, const std::string& name) {
  std::vector<BYTE> sha1 = CertificateFiles::sha1Of(name);
  CRYPT_HASH_BLOB hash = {static_cast<DWORD>(sha1.size()), sha1.data()};
  return ScopedCertContext(my ? ::CertFindCertificateInStore(my, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                             CERT_FIND_SHA1_HASH, &hash, nullptr)
                              : nullptr);
}

std::string KeyInfoIn(HCERTSTORE my, const std::string& name) {
  ScopedCertContext found = FindInMy(my, name);
  if (!found) return "";
  BYTE buffer[1024];
  DWORD size = sizeof buffer;
  if (!::CertGetCertificateContextProperty(found.get(), CERT_KEY_PROV_INFO_PROP_ID, buffer, &size))
    return "no key provider information";
  const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer);
  return Narrow(info->pwszProvName) + "/" + Narrow(info->pwszContainerName) + "/" + std::to_string(info->dwKeySpec) +
         "/" + std::to_string(info->dwProvType);
}

std::string KeyInfoInMy(const std::string& name) { return KeyInfoIn(OpenMy().get(), name); }

bool AddToMy(const std::string& name) {
  ScopedSystemStore my = OpenMy();
  if (!my) return false;
  const std::vector<BYTE> der = CertificateFiles::read(name + ".der");
  ::CertAddEncodedCertificateToStore(my.get(), X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                     CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  ::CertControlStore(my.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
  return static_cast<bool>(FindInMy(my.get(), name));
}

bool DropFromMy(const std::string& name) {
  ScopedSystemStore my = OpenMy();
  ScopedCertContext found = FindInMy(my.get(), name);
  // Deleted and committed through the handle it was found with: under Wine a delete through the
  // context of a closed handle stays in the cache.
  if (!found) return false;
  my.deleteCertificate(found.release());
  return true;
}

}  // namespace testkit
