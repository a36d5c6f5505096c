#include "TokenImport.h"

#include <wincrypt.h>

#include "tokenkit/CertificateFacts.h"
#include "tokenkit/ContainerStore.h"
#include "tokenkit/CredentialObjects.h"
#include "tokenkit/CryptokiLibrary.h"
#include "tokenkit/Transaction.h"

namespace {

bool listed(const std::vector<uint8_t>& der, CRYPT_DATA_BLOB* const* existing) {
  for (; existing && *existing; ++existing) {
    const CRYPT_DATA_BLOB* blob = *existing;
    if (blob->cbData == der.size() && blob->pbData && std::equal(der.begin(), der.end(), blob->pbData)) return true;
  }
  return false;
}

// ZeltP11.dll from the folder of this library.
std::wstring tokenLibraryPath() {
  HMODULE self = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&tokenLibraryPath), &self);
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(self, path, MAX_PATH);
  std::wstring p(path, n < MAX_PATH ? n : 0);
  return p.substr(0, p.find_last_of(L"\\/") + 1) + L"ZeltP11.dll";
}

}  // namespace

LONG TokenImport::codeOf(CK_RV rv) { return static_cast<LONG>(rv == CKR_OK ? 0 : 0xB0010000u | rv); }

LONG TokenImport::codeOf(const Outcome& outcome) {
  if (outcome.tokenValue() != CKR_OK) return codeOf(outcome.tokenValue());
  switch (outcome.code()) {
    case ExitCode::Ok: return 0;
    case ExitCode::Password: return kWrongFilePassword;
    case ExitCode::Conflict: return kContainerExists;
    default: return kUnusableFile;
  }
}

LONG TokenImport::write(const Credential& credential, const std::string& container, const char* password,
                        CRYPT_DATA_BLOB* const* existing) {
  if (listed(credential.certificate, existing)) return kAlreadyOnToken;
  if (container.empty()) return static_cast<LONG>(E_INVALIDARG);
  CertificateFacts facts;
  if (CertificateFacts::read(credential.certificate, &facts).failed() || !facts.rsa || credential.key.empty() ||
      facts.modulus != credential.key.modulus)
    return kUnusableFile;

  CryptokiLibrary library;
  std::string error;
  if (!library.load(tokenLibraryPath(), &error)) return kNoTokenLibrary;
  CK_RV rv = library.initialize();
  if (rv != CKR_OK) return codeOf(rv);
  std::vector<TokenSlot> slots;
  rv = library.listTokens(&slots);
  if (rv != CKR_OK) return codeOf(rv);
  CK_SLOT_ID slot = 0;
  for (const TokenSlot& s : slots) {
    if (s.state != Q_TOKEN_PRESENT) continue;
    slot = s.slot;
    break;
  }
  if (!slot) return codeOf(CKR_TOKEN_NOT_PRESENT);

  TokenSession session(library.p11());
  rv = session.open(slot);
  if (rv != CKR_OK) return codeOf(rv);
  // The certificate may be on the token without being in the caller's list.
  std::vector<CK_OBJECT_HANDLE> found;
  AttributeList sameValue;
  sameValue.ulong(CKA_CLASS, CKO_CERTIFICATE).bytes(CKA_VALUE, credential.certificate);
  rv = session.find(sameValue, &found);
  if (rv != CKR_OK) return codeOf(rv);
  if (!found.empty()) return kAlreadyOnToken;
  if (!password) return codeOf(CKR_USER_NOT_LOGGED_IN);
  std::string pin(password);
  rv = session.login(pin);
  ::SecureZeroMemory(&pin[0], pin.size());
  if (rv != CKR_OK && rv != CKR_USER_ALREADY_LOGGED_IN) return codeOf(rv);

  ContainerStore store(session);
  ContainerStore::Record record;
  Outcome r = store.readRecord(container, &record);
  if (r.failed()) return codeOf(r);
  if (record.object) return kContainerExists;
  ContainerStore::Catalog catalog;
  r = store.readCatalog(&catalog);  // an unreadable catalog is refused before anything is written
  if (r.failed()) return codeOf(r);

  const std::vector<uint8_t> id = credentialobjects::keyId(facts.modulus);
  Transaction tx(session);
  CK_OBJECT_HANDLE object = 0;
  // Keys first, then the certificate, then the container: a token pulled out part-way (nothing can
  // be undone then) is left with keys that nothing names, never a certificate without its key or a
  // catalog naming a container that is not there.
  rv = tx.create(credentialobjects::privateKey(credential.key, facts, id, container), &object);
  if (rv == CKR_OK) rv = tx.create(credentialobjects::publicKey(credential.key, facts, id, container), &object);
  if (rv == CKR_OK) rv = tx.create(credentialobjects::certificate(credential.certificate, facts, id, container), &object);
  if (rv != CKR_OK) return codeOf(rv);
  containerformat::RecordFields fields;
  fields.exchangeCertLabel = container;
  r = store.writeRecord(tx, container, record, fields);
  if (!r.failed()) r = store.addName(tx, container);
  if (r.failed()) return codeOf(r);
  tx.commit();
  return 0;
}
