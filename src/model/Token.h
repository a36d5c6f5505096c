#pragma once
// The connected token as the page works on it: a Cryptoki session on its slot,
// the certificate objects found on it, which CSP container holds each of them,
// and the current user's "MY" store. Certificates are handed out one at a time
// as records that the caller owns. The operations behind the Manage dialog's
// Register, Unregister, Remove, Set As Default and Convert buttons work on
// such records.
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <memory>

#include "cryptoki/CryptokiBinding.h"
#include "model/ByteBuffer.h"
#include "model/CertificateRecord.h"
#include "model/ContainerCatalog.h"
#include "model/CspContext.h"
#include "model/CspRequests.h"
#include "model/ScopedSystemStore.h"
#include "model/Status.h"
#include "model/TextBuffer.h"

class Token {
 public:
  // Certificate objects beyond this many are not listed.
  static constexpr CK_ULONG kMaxCertificates = 20;
  // Status of nextCertificate after the last certificate.
  static constexpr Status kNoMoreCertificates = 1;

  Token();
  virtual ~Token();
  Token(const Token&) = delete;
  Token& operator=(const Token&) = delete;

  // Opens a session on slotId, hands the serial (null: empty) to the CSP and
  // reads the inventory. Stops at the first failure: a failed session leaves
  // the CSP untold, a failed inventory leaves the session open.
  Status open(CryptokiBinding* binding, const wchar_t* serial, CK_SLOT_ID slotId);
  // E_FAIL when the store cannot be opened.
  Status openMyStore();
  Status closeMyStore();

  // Searches the certificate objects again, rebuilds the container map and
  // starts the enumeration over.
  Status refreshInventory();
  // S_OK, or the first failure of the library met while the last refresh mapped the
  // catalog's containers. Such a container is skipped, as one without a record is, so the
  // map may lack entries that the token holds; a caller that shows the map tells the user.
  Status mapStatus() const { return mapStatus_; }
  // The next certificate as a record, or none with a status: 1 after the last
  // one; a failure to read the current one keeps the enumeration on it.
  // restart begins with the first certificate.
  Status nextCertificate(bool restart, std::unique_ptr<CertificateRecord>& record);
  // Whether the certificate is in the "MY" store (which is reopened for it).
  bool isRegistered(PCCERT_CONTEXT context);

  // The PKI storage password, NUL-terminated ANSI text.
  Status login(const char* password);
  Status logout();

  Status openSession(CK_SLOT_ID slotId);
  // Also closes every session of the process on the last opened slot. Always 0.
  Status closeSession();
  // The one token object of that class whose label is `label` (matched with
  // its NUL); E_FAIL when there is none or the search fails.
  Status findOne(CK_OBJECT_CLASS objectClass, const char* label, CK_OBJECT_HANDLE* handle);
  Status readAttribute(CK_OBJECT_HANDLE handle, CK_ATTRIBUTE_TYPE type, ByteBuffer* value);
  Status readValue(CK_OBJECT_HANDLE handle, ByteBuffer* value) { return readAttribute(handle, CKA_VALUE, value); }
  Status readId(CK_OBJECT_HANDLE handle, ByteBuffer* value) { return readAttribute(handle, CKA_ID, value); }

  // Adds the certificate to the "MY" store with key provider information that
  // names the CSP, the record's container and key spec. A certificate the
  // store already holds counts as added.
  Status registerCertificate(CertificateRecord* record);
  Status unregisterCertificate(CertificateRecord* record);
  // Deletes the certificate with that SHA-1 hash from the "MY" store as it is
  // open now; CRYPT_E_NOT_FOUND when it is not there.
  Status unregisterByThumbprint(const ByteBuffer* thumbprint);
  // Deletes the certificate and its key pair from the token: the whole CSP
  // container when it has one, else the token objects that share its CKA_ID.
  // The inventory is not refreshed.
  Status removeCertificate(CertificateRecord* record, const char* password);
  // Makes the record's container the CSP's default logon container.
  Status setDefaultLogon(CertificateRecord* record);
  // Gives a certificate without a container a new one bound to its key pair.
  Status convertCertificate(CertificateRecord* record, const char* password);

  CK_SLOT_ID slotId() const { return slotId_; }
  CK_SESSION_HANDLE session() const { return session_; }
  CK_ULONG count() const { return count_; }
  HCERTSTORE myStore() const { return myStore_.get(); }

 private:
  bool usable() const { return binding_ && binding_->StandardList(); }
  Status findCertificates();
  // findOne, with the library's own status of the search (CKR_OK when the search ran, whether
  // or not it found the object), so a failing library is told apart from a missing object.
  Status findOne(CK_OBJECT_CLASS objectClass, const char* label, CK_OBJECT_HANDLE* handle, CK_RV* library);
  // Keeps the first failure of the map's reads.
  void noteMapFailure(Status status) {
    if (mapStatus_ == StatusOk) mapStatus_ = status;
  }
  // False when the token has no catalog that this version can use.
  bool readCatalog(ContainerCatalog& catalog);
  Status buildContainerMap();
  // Adds the certificate labelled `label` to the map; a missing one is skipped.
  void mapCertificate(const TextBuffer& label, const char* containerName, DWORD keySpec);
  Status fillRecord(CertificateRecord& record);
  // The issuer's display name, taken from the last one shown when the encoded name is the same.
  void showIssuer(const CERT_NAME_BLOB& name, TextBuffer& text);
  Status destroyTokenObjects(const ByteBuffer& keyId, const char* password);

  CryptokiBinding* binding_ = nullptr;
  CK_SLOT_ID slotId_ = 0;
  CK_SESSION_HANDLE session_ = 0;
  CK_OBJECT_HANDLE handles_[kMaxCertificates] = {};
  CK_ULONG count_ = 0;
  CK_ULONG cursor_ = 0;
  TextBuffer tokenSerial_;
  CspContext csp_;
  ScopedSystemStore myStore_;
  bool tokenSelected_ = false;
  Status mapStatus_ = StatusOk;
  // The last issuer shown, encoded and as text: a token's certificates mostly share one, and the
  // platform's formatter takes about 0.1 ms a name under Wine.
  ByteBuffer issuerName_;
  TextBuffer issuerShown_;
  // The binding made by refreshInventory when none was given; kept until destruction.
  std::unique_ptr<CryptokiBinding> ownBinding_;
};
