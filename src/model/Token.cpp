#include "model/Token.h"

#include <cstring>
#include <new>

#include "cryptoki/CkStatus.h"
#include "model/ContainerRecord.h"
#include "model/CryptoApi.h"
#include "model/HeapArray.h"
#include "model/ScopedCertContext.h"
#include "model/SecretBuffer.h"

namespace {

// The CSP's catalog object: the name followed by 0x07 (the NUL comes with every label).
constexpr char CatalogLabel[] = "QCspRSAContainerCatalog\x07";
constexpr uint8_t CatalogVersion = 1;
constexpr CK_ULONG MaxDestroyedObjects = 5;

constexpr CK_BBOOL kTrue = CK_TRUE;

// Search templates are only read by the library, whatever the prototype says.
CK_ATTRIBUTE Attribute(CK_ATTRIBUTE_TYPE type, const void* value, CK_ULONG length) {
  CK_ATTRIBUTE attribute;
  attribute.type = type;
  attribute.pValue = const_cast<void*>(value);
  attribute.ulValueLen = length;
  return attribute;
}

// The text widened byte for byte, into stored length + 1 code units.
HeapArray<wchar_t> Widen(const TextBuffer& text) {
  const size_t units = static_cast<size_t>(text.storedLength()) + 1;
  HeapArray<wchar_t> wide = allocateArray<wchar_t>(units);
  if (!wide) return wide;
  const char* source = text.text();
  size_t i = 0;
  for (; source[i] != '\0'; ++i) wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(source[i]));
  wide[i] = L'\0';
  return wide;
}

}  // namespace

Token::Token() = default;

Token::~Token() {
  if (binding_) {
    closeSession();
    binding_ = nullptr;
  }
  if (tokenSelected_) {
    tokenSerial_.clear();
    selectToken(tokenSerial_.text());
    tokenSelected_ = false;
  }
  closeMyStore();
}

Status Token::open(CryptokiBinding* binding, const wchar_t* serial, CK_SLOT_ID slotId) {
  binding_ = binding;
  SecretBuffer ansiSerial;  // not secret; the page's conversion to the ANSI code page
  const Status converted = ansiSerial.AssignWide(serial);
  if (converted != S_OK) return converted;
  const Status kept = tokenSerial_.assign(ansiSerial.data());
  if (kept != S_OK) return kept;
  const Status opened = openSession(slotId);
  if (opened != S_OK) return opened;
  const Status selected = selectToken(tokenSerial_.text());
  if (selected != S_OK) return selected;
  tokenSelected_ = true;
  slotId_ = slotId;
  return refreshInventory();
}

Status Token::openSession(CK_SLOT_ID slotId) {
  if (!usable()) return E_POINTER;
  closeSession();
  CK_RV rv = binding_->StandardList()->C_OpenSession(slotId, CKF_RW_SESSION | CKF_SERIAL_SESSION, nullptr,
                                                     nullptr, &session_);
  // The slot of a token that was pulled out no longer exists.
  if (rv == CKR_SLOT_ID_INVALID) rv = CKR_DEVICE_REMOVED;
  if (rv != CKR_OK) session_ = 0;
  return MapCkResult(rv);
}

Status Token::closeSession() {
  if (session_ != 0 && usable()) {
    CK_FUNCTION_LIST* ck = binding_->StandardList();
    ck->C_CloseSession(session_);
    session_ = 0;
    if (slotId_ != 0) ck->C_CloseAllSessions(slotId_);
  }
  session_ = 0;
  count_ = 0;
  cursor_ = 0;
  std::memset(handles_, 0, sizeof handles_);
  return S_OK;
}

Status Token::login(const char* password) {
  if (!usable()) return E_POINTER;
  if (!password) return E_POINTER;
  logout();
  return MapCkResult(binding_->StandardList()->C_Login(
      session_, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(password)),
      static_cast<CK_ULONG>(std::strlen(password))));
}

Status Token::logout() {
  if (!usable()) return E_POINTER;
  return MapCkResult(binding_->StandardList()->C_Logout(session_));
}

Status Token::refreshInventory() {
  mapStatus_ = S_OK;
  if (!binding_) {
    ownBinding_.reset(new (std::nothrow) CryptokiBinding());
    if (!ownBinding_) return E_OUTOFMEMORY;
    binding_ = ownBinding_.get();
  }
  if (!binding_->Load()) return E_FAIL;
  const Status found = findCertificates();
  if (found != S_OK) return found;
  return buildContainerMap();
}

Status Token::findCertificates() {
  count_ = 0;
  cursor_ = 0;
  std::memset(handles_, 0, sizeof handles_);
  if (!usable()) return E_POINTER;
  CK_FUNCTION_LIST* ck = binding_->StandardList();

  CK_OBJECT_CLASS certificateClass = CKO_CERTIFICATE;
  CK_ATTRIBUTE search[] = {Attribute(CKA_CLASS, &certificateClass, sizeof certificateClass),
                           Attribute(CKA_TOKEN, &kTrue, sizeof kTrue)};
  CK_RV rv = ck->C_FindObjectsInit(session_, search, 2);
  if (rv != CKR_OK) return MapCkResult(rv);
  CK_ULONG found = 0;
  rv = ck->C_FindObjects(session_, handles_, kMaxCertificates, &found);
  if (rv != CKR_OK) return MapCkResult(rv);
  count_ = found < kMaxCertificates ? found : kMaxCertificates;
  return MapCkResult(ck->C_FindObjectsFinal(session_));
}

Status Token::findOne(CK_OBJECT_CLASS objectClass, const char* label, CK_OBJECT_HANDLE* handle) {
  CK_RV library = CKR_OK;
  return findOne(objectClass, label, handle, &library);
}

Status Token::findOne(CK_OBJECT_CLASS objectClass, const char* label, CK_OBJECT_HANDLE* handle, CK_RV* library) {
  *library = CKR_OK;
  if (!usable()) return E_POINTER;
  if (!label || !handle) return E_POINTER;
  *handle = 0;
  if (session_ == 0) return E_FAIL;
  CK_FUNCTION_LIST* ck = binding_->StandardList();

  CK_ATTRIBUTE search[] = {
      Attribute(CKA_CLASS, &objectClass, sizeof objectClass), Attribute(CKA_TOKEN, &kTrue, sizeof kTrue),
      Attribute(CKA_LABEL, label, static_cast<CK_ULONG>(std::strlen(label) + 1))};
  const CK_RV started = ck->C_FindObjectsInit(session_, search, 3);
  CK_OBJECT_HANDLE object = 0;
  CK_ULONG found = 0;
  const CK_RV searched = ck->C_FindObjects(session_, &object, 1, &found);
  // Ended whatever came before, even a search that did not start (one left
  // active in the session makes the start fail), so the session can search again.
  const CK_RV ended = ck->C_FindObjectsFinal(session_);
  *library = started != CKR_OK ? started : searched != CKR_OK ? searched : ended;
  if (*library != CKR_OK || found != 1) return E_FAIL;
  *handle = object;
  return S_OK;
}

Status Token::readAttribute(CK_OBJECT_HANDLE handle, CK_ATTRIBUTE_TYPE type, ByteBuffer* value) {
  if (!usable()) return E_POINTER;
  if (!value) return E_POINTER;
  if (session_ == 0) return E_FAIL;
  CK_FUNCTION_LIST* ck = binding_->StandardList();

  CK_ATTRIBUTE attribute = Attribute(type, nullptr, 0);
  CK_RV rv = ck->C_GetAttributeValue(session_, handle, &attribute, 1);
  if (rv != CKR_OK) return MapCkResult(rv);
  // Also refuses the all-ones length of an unavailable attribute.
  if (static_cast<int32_t>(attribute.ulValueLen) < 1) return E_FAIL;
  HeapArray<uint8_t> bytes = allocateArray<uint8_t>(attribute.ulValueLen);
  if (!bytes) return E_OUTOFMEMORY;
  attribute.pValue = bytes.get();
  rv = ck->C_GetAttributeValue(session_, handle, &attribute, 1);
  if (rv != CKR_OK) return MapCkResult(rv);
  return value->assign(bytes.get(), static_cast<uint32_t>(attribute.ulValueLen));
}

bool Token::readCatalog(ContainerCatalog& catalog) {
  CK_OBJECT_HANDLE object = 0;
  if (findOne(CKO_DATA, CatalogLabel, &object) != S_OK) return false;
  ByteBuffer value;
  if (readValue(object, &value) != S_OK) return false;
  // The version decides, whatever the parse says: a version-1 catalog with too
  // many names is used, without names.
  catalog.parse(value.data(), value.size());
  return catalog.version() == CatalogVersion;
}

Status Token::buildContainerMap() {
  ContainerCatalog catalog;
  if (!readCatalog(catalog)) return csp_.enumerateContainers();

  // Cleared first, so the first certificate mapped becomes the default logon entry.
  csp_.clearEntries();
  for (const TextBuffer* name = catalog.nextName(true); name; name = catalog.nextName(false)) {
    CK_OBJECT_HANDLE object = 0;
    CK_RV library = CKR_OK;
    if (findOne(CKO_DATA, name->text(), &object, &library) != S_OK) {
      if (library != CKR_OK) noteMapFailure(MapCkResult(library));
      continue;
    }
    ByteBuffer value;
    const Status read = readValue(object, &value);
    if (read != S_OK) {
      noteMapFailure(read);
      continue;
    }
    ContainerRecord record;
    record.parse(value.data(), value.size());
    mapCertificate(record.exchangeCertLabel(), name->text(), AT_KEYEXCHANGE);
    mapCertificate(record.signatureCertLabel(), name->text(), AT_SIGNATURE);
  }
  return S_OK;
}

void Token::mapCertificate(const TextBuffer& label, const char* containerName, DWORD keySpec) {
  if (label.empty()) return;
  CK_OBJECT_HANDLE object = 0;
  CK_RV library = CKR_OK;
  if (findOne(CKO_CERTIFICATE, label.text(), &object, &library) != S_OK) {
    if (library != CKR_OK) noteMapFailure(MapCkResult(library));
    return;
  }
  ByteBuffer certificate;
  const Status read = readValue(object, &certificate);
  if (read != S_OK) {
    noteMapFailure(read);
    return;
  }
  csp_.addEntry(certificate, containerName, keySpec);
}

Status Token::nextCertificate(bool restart, std::unique_ptr<CertificateRecord>& record) {
  record.reset();
  if (restart) cursor_ = 0;
  if (cursor_ >= count_) return kNoMoreCertificates;
  const CK_OBJECT_HANDLE object = handles_[cursor_];

  ByteBuffer value;
  const Status read = readValue(object, &value);
  if (read != S_OK) return read;
  std::unique_ptr<CertificateRecord> made(new (std::nothrow) CertificateRecord());
  if (!made) return E_OUTOFMEMORY;
  if (made->encoded.assign(value) != S_OK) return E_OUTOFMEMORY;

  // A certificate that no container claims keeps the new record's defaults:
  // no container, the key-exchange spec, not registered, no logon.
  uint32_t keySpec = AT_KEYEXCHANGE;
  bool isDefault = false;
  if (csp_.lookup(made->encoded, made->containerName, &keySpec, &isDefault) == S_OK) {
    made->hasContainer = true;
    made->keySpec = keySpec;
    made->isDefaultLogon = isDefault;
  }

  const Status id = readId(object, &made->keyId);
  if (id != S_OK) return id;

  const Status filled = fillRecord(*made);
  if (filled < 0) return filled;
  made->inventoryIndex = static_cast<int32_t>(cursor_);
  ++cursor_;
  record = std::move(made);
  return filled;
}

Status Token::fillRecord(CertificateRecord& record) {
  PCCERT_CONTEXT context =
      ::CertCreateCertificateContext(kCertEncoding, record.encoded.data(), record.encoded.size());
  if (!context) return lastErrorStatus();
  record.context.reset(context);

  const CERT_INFO* info = context->pCertInfo;
  // A name that cannot be shown leaves its column empty; the record is still usable.
  CertificateRecord::displayName(info->Subject, record.subject);
  showIssuer(info->Issuer, record.issuer);
  record.notBefore = info->NotBefore;
  record.notAfter = info->NotAfter;
  CertificateRecord::serialText(info->SerialNumber, record.serialNumber);
  record.groupSerial();
  record.registered = isRegistered(context);
  CertificateRecord::describePurposes(context, record.intendedPurposes, record.logonCapable);
  // Logon needs a key that Windows can reach, through a container of the CSP.
  if (!record.hasContainer) record.logonCapable = false;
  return CertificateRecord::readThumbprint(context, record.thumbprint);
}

void Token::showIssuer(const CERT_NAME_BLOB& name, TextBuffer& text) {
  if (!issuerName_.empty() && issuerName_.size() == name.cbData &&
      std::memcmp(issuerName_.data(), name.pbData, name.cbData) == 0) {
    text.assign(issuerShown_.text(), issuerShown_.length());
    return;
  }
  if (CertificateRecord::displayName(name, text) != StatusOk) return;
  if (issuerName_.assign(name.pbData, name.cbData) != StatusOk ||
      issuerShown_.assign(text.text(), text.length()) != StatusOk)
    issuerName_.clear();
}

Status Token::openMyStore() {
  closeMyStore();
  myStore_.reset(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
  return myStore_ ? S_OK : E_FAIL;
}

Status Token::closeMyStore() {
  myStore_.reset();
  return S_OK;
}

bool Token::isRegistered(PCCERT_CONTEXT context) {
  openMyStore();
  if (!myStore_) return false;
  ScopedCertContext found(
      ::CertFindCertificateInStore(myStore_.get(), kCertEncoding, 0, CERT_FIND_EXISTING, context, nullptr));
  return found.valid();
}

Status Token::registerCertificate(CertificateRecord* record) {
  if (!record || !record->context) return E_POINTER;
  openMyStore();
  if (!myStore_) return E_FAIL;
  HeapArray<wchar_t> container = Widen(record->containerName);
  HeapArray<wchar_t> provider = Widen(cspProviderName());
  if (!container || !provider) return E_OUTOFMEMORY;

  CRYPT_KEY_PROV_INFO keyProvider = {};
  keyProvider.pwszContainerName = container.get();
  keyProvider.pwszProvName = provider.get();
  keyProvider.dwProvType = PROV_RSA_FULL;
  keyProvider.dwFlags = 0;
  keyProvider.cProvParam = 0;
  keyProvider.rgProvParam = nullptr;
  keyProvider.dwKeySpec = record->keySpec;
  if (!::CertSetCertificateContextProperty(record->context.get(), CERT_KEY_PROV_INFO_PROP_ID, 0, &keyProvider) ||
      !myStore_.addCertificate(record->context.get(), CERT_STORE_ADD_NEWER)) {
    const Status error = lastErrorStatus();
    // The store already holds this certificate, or a newer one.
    return error == CRYPT_E_EXISTS ? S_OK : error;
  }
  return S_OK;
}

Status Token::unregisterCertificate(CertificateRecord* record) {
  if (!record) return E_POINTER;
  openMyStore();
  if (!myStore_) return E_FAIL;
  return unregisterByThumbprint(&record->thumbprint);
}

Status Token::unregisterByThumbprint(const ByteBuffer* thumbprint) {
  if (!thumbprint) return E_POINTER;
  if (!myStore_) return E_FAIL;
  CRYPT_HASH_BLOB hash;
  hash.cbData = thumbprint->size();
  hash.pbData = const_cast<BYTE*>(thumbprint->data());
  ScopedCertContext found(
      ::CertFindCertificateInStore(myStore_.get(), kCertEncoding, 0, CERT_FIND_SHA1_HASH, &hash, nullptr));
  if (!found) return lastErrorStatus();
  // The deletion frees the context, whether it succeeds or not.
  if (!myStore_.deleteCertificate(found.release())) return lastErrorStatus();
  return S_OK;
}

Status Token::removeCertificate(CertificateRecord* record, const char* password) {
  if (!record || !password) return E_POINTER;
  if (record->hasContainer) return deleteContainer(record->containerName.text(), password);
  return destroyTokenObjects(record->keyId, password);
}

Status Token::destroyTokenObjects(const ByteBuffer& keyId, const char* password) {
  if (!password || !usable()) return E_POINTER;
  const Status loggedIn = login(password);
  if (loggedIn != S_OK) return loggedIn;
  CK_FUNCTION_LIST* ck = binding_->StandardList();

  CK_ATTRIBUTE search[] = {Attribute(CKA_ID, keyId.data(), keyId.size()),
                           Attribute(CKA_TOKEN, &kTrue, sizeof kTrue)};
  CK_RV rv = ck->C_FindObjectsInit(session_, search, 2);
  if (rv != CKR_OK) return MapCkResult(rv);
  CK_OBJECT_HANDLE objects[MaxDestroyedObjects] = {};
  CK_ULONG found = 0;
  rv = ck->C_FindObjects(session_, objects, MaxDestroyedObjects, &found);
  if (rv != CKR_OK) return MapCkResult(rv);
  rv = ck->C_FindObjectsFinal(session_);
  if (rv != CKR_OK) return MapCkResult(rv);

  // One object that cannot be destroyed does not keep the others on the token.
  Status status = S_OK;
  for (CK_ULONG i = 0; i < found && i < MaxDestroyedObjects; ++i) {
    rv = ck->C_DestroyObject(session_, objects[i]);
    if (rv != CKR_OK) status = MapCkResult(rv);
  }
  logout();
  return status;
}

Status Token::setDefaultLogon(CertificateRecord* record) {
  if (!record) return E_POINTER;
  const Status status = setDefaultContainer(record->containerName.text());
  if (status == S_OK) record->isDefaultLogon = true;
  return status;
}

Status Token::convertCertificate(CertificateRecord* record, const char* password) {
  if (!record) return E_POINTER;
  if (record->hasContainer) return S_OK;
  TextBuffer name;
  const Status status = createBoundContainer(record->keyId, password, name);
  if (status != S_OK) return status;
  // Only a name that could be kept makes the record claim the container.
  const Status kept = record->containerName.assign(name.text());
  if (kept != S_OK) return kept;
  record->hasContainer = true;
  return S_OK;
}
