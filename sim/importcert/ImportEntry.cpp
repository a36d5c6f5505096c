// The two entry points of ZeltUtilImportCert.dll. The read keeps the file's certificate and
// key for the import that follows it; a failed read forgets them.
#include <windows.h>

#include <memory>
#include <string>

#include "TokenImport.h"
#include "dialogs/ZeltUtilImportCert.h"
#include "tokenkit/CredentialLoader.h"
#include "tokenkit/WideText.h"

namespace {

// Held by pointer so that replacing it runs the key's destructor, which wipes it;
// a move-assignment would free the old key's bytes as they are.
std::unique_ptr<Credential> g_pending;

std::wstring fromAnsi(const char* text) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 1) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

template <typename Text>
void wipe(Text& text) {
  if (!text.empty()) ::SecureZeroMemory(&text[0], text.size() * sizeof text[0]);
}

}  // namespace

LONG WINAPI ZeltUtilImportCert_QReadP12File(const char* path, const char* password) {
  g_pending.reset();
  if (!path || !password) return static_cast<LONG>(E_POINTER);
  std::unique_ptr<Credential> credential(new Credential());
  std::wstring widePassword = fromAnsi(password);
  std::string utf8Password = widetext::toUtf8(widePassword);
  wipe(widePassword);
  const Outcome r = CredentialLoader::readPkcs12File(fromAnsi(path), utf8Password, credential.get());
  wipe(utf8Password);
  if (r.failed()) return TokenImport::codeOf(r);
  if (credential->key.empty()) return TokenImport::kUnusableFile;
  g_pending = std::move(credential);
  return 0;
}

LONG WINAPI ZeltUtilImportCert_QImportCertificate(const char* containerName, const char* tokenPassword,
                                                  CRYPT_DATA_BLOB** existing) {
  if (!g_pending) return TokenImport::kNothingRead;
  if (!containerName) return static_cast<LONG>(E_POINTER);
  return TokenImport::write(*g_pending, containerName, tokenPassword, existing);
}
