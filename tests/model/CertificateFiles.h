#pragma once
// Test certificates made by scripts/make-test-certs.sh, read from the source tree.
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "kit/Paths.h"
#include "model/ScopedCertContext.h"

namespace CertificateFiles {

inline std::wstring path(const std::string& file) {
  return testkit::SourcePath(L"tests/data/certs/" + std::wstring(file.begin(), file.end()));
}

// The file's bytes; empty when it cannot be read.
inline std::vector<BYTE> read(const std::string& file) { return testkit::ReadWholeFile(path(file)); }

// The SHA-1 that openssl computed when the certificate was made, as bytes.
inline std::vector<BYTE> sha1Of(const std::string& name) {
  const std::vector<BYTE> text = read(name + ".sha1");
  std::vector<BYTE> bytes;
  for (size_t i = 0; i + 1 < text.size() && text[i] != '\n'; i += 2)
    bytes.push_back(static_cast<BYTE>(std::stoi(std::string(text.begin() + i, text.begin() + i + 2), nullptr, 16)));
  return bytes;
}

// The context of NAME.der; null (with the reason in GetLastError) when it cannot be made.
inline ScopedCertContext load(const std::string& name) {
  const std::vector<BYTE> der = read(name + ".der");
  if (der.empty()) return ScopedCertContext();
  return ScopedCertContext(::CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(),
                                                          static_cast<DWORD>(der.size())));
}

}  // namespace CertificateFiles
