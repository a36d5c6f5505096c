// The two entry points of ZeltUtilImportCert.dll. The read keeps the file's certificate and
// key for the import that follows it; a failed read forgets them.
#include <windows.h>

#include <string>

#include "TokenImport.h"
#include "dialogs/ZeltUtilImportCert.h"
#include "tokenkit/CredentialLoader.h"
#include "tokenkit/WideText.h"

namespace {

Credential g_pending;
bool g_hasPending = false;

std::wstring fromAnsi(const char* text) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 1) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

}  // namespace

LONG WINAPI ZeltUtilImportCert_QReadP12File(const char* path, const char* password) {
  g_pending = Credential();
  g_hasPending = false;
  if (!path || !password) return static_cast<LONG>(E_POINTER);
  Credential credential;
  const Outcome r =
      CredentialLoader::readPkcs12File(fromAnsi(path), widetext::toUtf8(fromAnsi(password)), &credential);
  if (r.failed()) return TokenImport::codeOf(r);
  if (credential.key.empty()) return TokenImport::kUnusableFile;
  g_pending = std::move(credential);
  g_hasPending = true;
  return 0;
}

LONG WINAPI ZeltUtilImportCert_QImportCertificate(const char* containerName, const char* tokenPassword,
                                                  CRYPT_DATA_BLOB** existing) {
  if (!g_hasPending) return TokenImport::kNothingRead;
  if (!containerName) return static_cast<LONG>(E_POINTER);
  return TokenImport::write(g_pending, containerName, tokenPassword, existing);
}
