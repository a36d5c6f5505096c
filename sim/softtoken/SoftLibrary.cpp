#include "SoftLibrary.h"

// windows.h comes first through StoreLock.h; these need it.
#include <bcrypt.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "InitArgs.h"
#include "ObjectRules.h"
#include "RsaSigner.h"

namespace softtoken {

namespace {

constexpr CK_SLOT_ID kDefaultSlots = 4;
constexpr CK_SLOT_ID kMaxSlots = 15;  // the slot id lives in the top byte of object handles
constexpr uint32_t kSessionObjectBit = 0x800000;
constexpr uint32_t kObjectIdMask = 0x7FFFFF;
constexpr CK_ULONG kMaxPinLimit = 255;
constexpr CK_ULONG kMaxPinLength = 255;

void padded(CK_UTF8CHAR *dst, size_t size, const std::string &text) {
  std::memset(dst, ' ', size);
  std::memcpy(dst, text.data(), std::min(size, text.size()));
}

std::wstring environment(const wchar_t *name) {
  wchar_t buffer[1024];
  DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
  return n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

std::wstring storeFolder() {
  std::wstring folder = environment(L"ZELT_SOFTTOKEN_DIR");
  if (folder.empty()) {
    wchar_t base[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, base)))
      folder = std::wstring(base) + L"\\Zelt\\SoftToken";
  }
  if (folder.empty()) return folder;
  wchar_t full[MAX_PATH];
  DWORD n = GetFullPathNameW(folder.c_str(), MAX_PATH, full, nullptr);
  if (n > 0 && n < MAX_PATH) folder.assign(full, n);
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return folder;
}

std::string utf8(const std::wstring &w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

bool randomBytes(void *p, size_t n) {
  return n == 0 || BCryptGenRandom(nullptr, static_cast<PUCHAR>(p), static_cast<ULONG>(n),
                                   BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
}

std::string bytes(const CK_UTF8CHAR *p, CK_ULONG n) {
  return p ? std::string(reinterpret_cast<const char *>(p), n) : std::string();
}

bool pinMatches(const PinRecord &pin, const CK_UTF8CHAR *p, CK_ULONG n) {
  return pin.value.size() == n && (n == 0 || std::memcmp(pin.value.data(), p, n) == 0);
}

void pinFlags(const PinRecord &pin, CK_FLAGS low, CK_FLAGS finalTry, CK_FLAGS locked, CK_FLAGS &flags) {
  if (pin.locked) {
    flags |= locked;
    return;
  }
  if (pin.failures > 0) flags |= low;
  if (pin.triesLeft() == 1) flags |= finalTry;
}

}  // namespace

// ---- slots and sessions ----

SoftLibrary::Slot *SoftLibrary::slot(CK_SLOT_ID id) {
  for (auto &s : slots_)
    if (s.id == id) return &s;
  return nullptr;
}

void SoftLibrary::tokenGone(Slot &s) {
  for (auto &entry : sessions_) {
    Session &sess = entry.second;
    if (sess.slot != s.id) continue;
    sess.dead = true;
    sess.finding = false;
    sess.found.clear();
    sess.signing = false;
  }
  s.login = kNobody;
  s.sessionObjects.clear();
}

void SoftLibrary::refresh(Slot &s) {
  StoreLock::Guard guard(*storeLock_);
  TokenImage image;
  switch (s.file.load(s.stamp, image)) {
    case TokenFile::Load::Unchanged:
    case TokenFile::Load::Unreadable:
      return;
    case TokenFile::Load::Absent:
      if (s.state == State::Present) tokenGone(s);
      s.state = State::Absent;
      return;
    case TokenFile::Load::Corrupt:
      if (s.state == State::Present) tokenGone(s);
      s.state = State::Corrupt;
      return;
    case TokenFile::Load::Valid:
      if (s.state != State::Present || image.uid != s.image.uid) tokenGone(s);
      s.image = std::move(image);
      s.state = State::Present;
      return;
  }
}

CK_RV SoftLibrary::presentSlot(CK_SLOT_ID id, Slot *&s) {
  s = slot(id);
  if (!s) return CKR_SLOT_ID_INVALID;
  refresh(*s);
  return present(*s) ? CKR_OK : CKR_TOKEN_NOT_PRESENT;
}

CK_RV SoftLibrary::session(CK_SESSION_HANDLE h, Session *&sess, Slot *&s) {
  auto it = sessions_.find(h);
  if (it == sessions_.end()) return CKR_SESSION_HANDLE_INVALID;
  sess = &it->second;
  s = slot(sess->slot);
  refresh(*s);
  if (!present(*s) || sess->tokenUid != s->image.uid) sess->dead = true;
  return sess->dead ? CKR_DEVICE_REMOVED : CKR_OK;
}

void SoftLibrary::dropSession(std::map<CK_SESSION_HANDLE, Session>::iterator it) {
  const CK_SESSION_HANDLE h = it->first;
  Slot *s = slot(it->second.slot);
  sessions_.erase(it);
  if (!s) return;
  s->sessionObjects.erase(std::remove_if(s->sessionObjects.begin(), s->sessionObjects.end(),
                                         [h](const SessionObject &o) { return o.owner == h; }),
                          s->sessionObjects.end());
  // Login belongs to the application's sessions on the token: it ends with the last one.
  if (sessionCount(s->id, false) == 0) s->login = kNobody;
}

size_t SoftLibrary::sessionCount(CK_SLOT_ID id, bool rwOnly) const {
  size_t n = 0;
  for (const auto &entry : sessions_) {
    const Session &sess = entry.second;
    if (sess.slot == id && !sess.dead && (!rwOnly || (sess.flags & CKF_RW_SESSION))) ++n;
  }
  return n;
}

template <typename Change>
CK_RV SoftLibrary::mutate(Slot &s, Change change) {
  StoreLock::Guard guard(*storeLock_);
  refresh(s);
  if (!present(s)) return CKR_DEVICE_REMOVED;
  TokenImage copy = s.image;
  bool dirty = false;
  CK_RV rv = change(copy, dirty);
  if (!dirty) return rv;
  CK_RV written = writeImage(s, copy);
  return written != CKR_OK ? written : rv;
}

CK_RV SoftLibrary::writeImage(Slot &s, TokenImage &image) {
  ++image.generation;
  if (!s.file.save(image, hooks_.nextWrite())) return CKR_DEVICE_ERROR;
  s.image = image;
  return CKR_OK;
}

// ---- objects ----

CK_OBJECT_HANDLE SoftLibrary::handleOf(CK_SLOT_ID slotId, uint32_t id, bool onToken) const {
  return static_cast<CK_OBJECT_HANDLE>((slotId << 24) | (onToken ? 0 : kSessionObjectBit) | id);
}

bool SoftLibrary::visible(const Slot &s, const StoredObject &o) const {
  return !boolAttribute(o, CKA_PRIVATE, false) || s.login == CKU_USER;
}

CK_RV SoftLibrary::resolve(Slot &s, CK_OBJECT_HANDLE h, ObjectRef &ref) {
  if ((h >> 24) != s.id) return CKR_OBJECT_HANDLE_INVALID;
  ref.id = static_cast<uint32_t>(h & kObjectIdMask);
  ref.onToken = (h & kSessionObjectBit) == 0;
  ref.object = nullptr;
  if (ref.onToken) {
    ref.object = s.image.findObject(ref.id);
  } else {
    for (auto &so : s.sessionObjects)
      if (so.object.id == ref.id) ref.object = &so.object;
  }
  if (!ref.object || !visible(s, *ref.object)) return CKR_OBJECT_HANDLE_INVALID;
  return CKR_OK;
}

PinRecord *SoftLibrary::pinOf(TokenImage &image, CK_ULONG which) {
  switch (which) {
    case Q_PIN_SO:
      return &image.soPin;
    case Q_PIN_USER:
      return &image.userPin;
    case Q_PIN_DEVICE:
      return &image.devicePin;
    default:
      return nullptr;
  }
}

CK_RV SoftLibrary::checkPinLength(const TokenImage &image, CK_ULONG len) const {
  return len < image.minPinLen || len > image.maxPinLen ? CKR_PIN_LEN_RANGE : CKR_OK;
}

// ---- general purpose ----

CK_RV SoftLibrary::initialize(CK_VOID_PTR pInitArgs) {
  if (initialized_) return CKR_CRYPTOKI_ALREADY_INITIALIZED;
  CK_RV rv = checkInitArgs(pInitArgs);
  if (rv != CKR_OK) return rv;

  folder_ = storeFolder();
  if (folder_.empty()) return CKR_GENERAL_ERROR;
  int created = SHCreateDirectoryExW(nullptr, folder_.c_str(), nullptr);
  if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS && created != ERROR_FILE_EXISTS)
    return CKR_GENERAL_ERROR;

  CK_SLOT_ID count = kDefaultSlots;
  std::wstring wanted = environment(L"ZELT_SOFTTOKEN_SLOTS");
  if (!wanted.empty()) {
    unsigned long n = wcstoul(wanted.c_str(), nullptr, 10);
    if (n >= 1 && n <= kMaxSlots) count = n;
  }

  storeLock_.reset(new StoreLock(folder_));
  slots_.clear();
  slots_.resize(count);
  for (CK_SLOT_ID i = 0; i < count; ++i) {
    slots_[i].id = i + 1;
    slots_[i].file = TokenFile(folder_ + L"\\slot" + std::to_wstring(i + 1) + L".ztoken");
  }
  initialized_ = true;
  for (auto &s : slots_) refresh(s);
  return CKR_OK;
}

CK_RV SoftLibrary::finalize(CK_VOID_PTR pReserved) {
  if (pReserved) return CKR_ARGUMENTS_BAD;
  sessions_.clear();
  slots_.clear();
  storeLock_.reset();
  initialized_ = false;
  return CKR_OK;
}

CK_RV SoftLibrary::getInfo(CK_INFO_PTR pInfo) {
  if (!pInfo) return CKR_ARGUMENTS_BAD;
  pInfo->cryptokiVersion.major = 2;
  pInfo->cryptokiVersion.minor = 20;
  padded(pInfo->manufacturerID, sizeof pInfo->manufacturerID, "Zelt");
  pInfo->flags = 0;
  padded(pInfo->libraryDescription, sizeof pInfo->libraryDescription, "Zelt soft token");
  pInfo->libraryVersion.major = 1;
  pInfo->libraryVersion.minor = 0;
  return CKR_OK;
}

CK_RV SoftLibrary::unsupported() const { return CKR_FUNCTION_NOT_SUPPORTED; }

// ---- slots and tokens ----

CK_RV SoftLibrary::getSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID_PTR pSlotList, CK_ULONG_PTR pulCount) {
  if (!pulCount) return CKR_ARGUMENTS_BAD;
  std::vector<CK_SLOT_ID> ids;
  for (auto &s : slots_) {
    refresh(s);
    if (!tokenPresent || present(s)) ids.push_back(s.id);
  }
  if (!pSlotList) {
    *pulCount = ids.size();
    return CKR_OK;
  }
  if (*pulCount < ids.size()) {
    *pulCount = ids.size();
    return CKR_BUFFER_TOO_SMALL;
  }
  std::copy(ids.begin(), ids.end(), pSlotList);
  *pulCount = ids.size();
  return CKR_OK;
}

CK_RV SoftLibrary::getSlotInfo(CK_SLOT_ID slotID, CK_SLOT_INFO_PTR pInfo) {
  Slot *s = slot(slotID);
  if (!s) return CKR_SLOT_ID_INVALID;
  if (!pInfo) return CKR_ARGUMENTS_BAD;
  refresh(*s);
  padded(pInfo->slotDescription, sizeof pInfo->slotDescription,
         "Zelt soft token slot " + std::to_string(slotID));
  padded(pInfo->manufacturerID, sizeof pInfo->manufacturerID, "Zelt");
  pInfo->flags = CKF_REMOVABLE_DEVICE | (present(*s) ? CKF_TOKEN_PRESENT : 0);
  pInfo->hardwareVersion.major = 1;
  pInfo->hardwareVersion.minor = 0;
  pInfo->firmwareVersion.major = 1;
  pInfo->firmwareVersion.minor = 0;
  return CKR_OK;
}

CK_RV SoftLibrary::getTokenInfo(CK_SLOT_ID slotID, CK_TOKEN_INFO_PTR pInfo) {
  Slot *s = slot(slotID);
  if (!s) return CKR_SLOT_ID_INVALID;
  if (!pInfo) return CKR_ARGUMENTS_BAD;
  refresh(*s);
  if (!present(*s)) return CKR_TOKEN_NOT_PRESENT;
  const TokenImage &t = s->image;
  padded(pInfo->label, sizeof pInfo->label, t.label);
  padded(pInfo->manufacturerID, sizeof pInfo->manufacturerID, "Zelt");
  padded(pInfo->model, sizeof pInfo->model, "Soft token");
  padded(pInfo->serialNumber, sizeof pInfo->serialNumber, t.serial);
  CK_FLAGS flags = CKF_RNG | CKF_LOGIN_REQUIRED | CKF_TOKEN_INITIALIZED;
  if (t.userPin.isSet) flags |= CKF_USER_PIN_INITIALIZED;
  pinFlags(t.userPin, CKF_USER_PIN_COUNT_LOW, CKF_USER_PIN_FINAL_TRY, CKF_USER_PIN_LOCKED, flags);
  pinFlags(t.soPin, CKF_SO_PIN_COUNT_LOW, CKF_SO_PIN_FINAL_TRY, CKF_SO_PIN_LOCKED, flags);
  pInfo->flags = flags;
  pInfo->ulMaxSessionCount = CK_EFFECTIVELY_INFINITE;
  pInfo->ulSessionCount = sessionCount(slotID, false);
  pInfo->ulMaxRwSessionCount = CK_EFFECTIVELY_INFINITE;
  pInfo->ulRwSessionCount = sessionCount(slotID, true);
  pInfo->ulMaxPinLen = t.maxPinLen;
  pInfo->ulMinPinLen = t.minPinLen;
  pInfo->ulTotalPublicMemory = CK_UNAVAILABLE_INFORMATION;
  pInfo->ulFreePublicMemory = CK_UNAVAILABLE_INFORMATION;
  pInfo->ulTotalPrivateMemory = CK_UNAVAILABLE_INFORMATION;
  pInfo->ulFreePrivateMemory = CK_UNAVAILABLE_INFORMATION;
  pInfo->hardwareVersion.major = 1;
  pInfo->hardwareVersion.minor = 0;
  pInfo->firmwareVersion.major = 1;
  pInfo->firmwareVersion.minor = 0;
  std::memset(pInfo->utcTime, ' ', sizeof pInfo->utcTime);
  return CKR_OK;
}

CK_RV SoftLibrary::initPin(CK_SESSION_HANDLE hSession, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!pPin) return CKR_ARGUMENTS_BAD;
  if (!(sess->flags & CKF_RW_SESSION)) return CKR_SESSION_READ_ONLY;
  if (s->login != CKU_SO) return CKR_USER_NOT_LOGGED_IN;
  if ((rv = checkPinLength(s->image, ulPinLen)) != CKR_OK) return rv;
  const std::string pin = bytes(pPin, ulPinLen);
  return mutate(*s, [&](TokenImage &t, bool &dirty) {
    t.userPin.reset(pin);
    dirty = true;
    return CKR_OK;
  });
}

CK_RV SoftLibrary::setPin(CK_SESSION_HANDLE hSession, CK_UTF8CHAR_PTR pOldPin, CK_ULONG ulOldLen,
                          CK_UTF8CHAR_PTR pNewPin, CK_ULONG ulNewLen) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!pOldPin || !pNewPin) return CKR_ARGUMENTS_BAD;
  if (!(sess->flags & CKF_RW_SESSION)) return CKR_SESSION_READ_ONLY;
  if ((rv = checkPinLength(s->image, ulNewLen)) != CKR_OK) return rv;
  const bool so = s->login == CKU_SO;
  const std::string newPin = bytes(pNewPin, ulNewLen);
  return mutate(*s, [&](TokenImage &t, bool &dirty) {
    PinRecord &pin = so ? t.soPin : t.userPin;
    if (!pin.isSet) return CKR_USER_PIN_NOT_INITIALIZED;
    if (pin.locked) return CKR_PIN_LOCKED;
    dirty = true;
    if (!pinMatches(pin, pOldPin, ulOldLen)) {
      pin.fail();
      return CKR_PIN_INCORRECT;
    }
    pin.reset(newPin);
    return CKR_OK;
  });
}

// ---- sessions ----

CK_RV SoftLibrary::openSession(CK_SLOT_ID slotID, CK_FLAGS flags, CK_SESSION_HANDLE_PTR phSession) {
  Slot *s;
  CK_RV rv = presentSlot(slotID, s);
  if (rv != CKR_OK) return rv;
  if (!(flags & CKF_SERIAL_SESSION)) return CKR_SESSION_PARALLEL_NOT_SUPPORTED;
  if (!phSession) return CKR_ARGUMENTS_BAD;
  if (!(flags & CKF_RW_SESSION) && s->login == CKU_SO) return CKR_SESSION_READ_WRITE_SO_EXISTS;
  Session sess;
  sess.handle = nextSession_++;
  sess.slot = slotID;
  sess.flags = flags & (CKF_SERIAL_SESSION | CKF_RW_SESSION);
  sess.tokenUid = s->image.uid;
  sessions_[sess.handle] = sess;
  *phSession = sess.handle;
  return CKR_OK;
}

CK_RV SoftLibrary::closeSession(CK_SESSION_HANDLE hSession) {
  auto it = sessions_.find(hSession);
  if (it == sessions_.end()) return CKR_SESSION_HANDLE_INVALID;
  dropSession(it);
  return CKR_OK;
}

CK_RV SoftLibrary::closeAllSessions(CK_SLOT_ID slotID) {
  Slot *s = slot(slotID);
  if (!s) return CKR_SLOT_ID_INVALID;
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    auto next = std::next(it);
    if (it->second.slot == slotID) dropSession(it);
    it = next;
  }
  s->login = kNobody;
  refresh(*s);
  return present(*s) ? CKR_OK : CKR_TOKEN_NOT_PRESENT;
}

CK_RV SoftLibrary::getSessionInfo(CK_SESSION_HANDLE hSession, CK_SESSION_INFO_PTR pInfo) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!pInfo) return CKR_ARGUMENTS_BAD;
  const bool rw = (sess->flags & CKF_RW_SESSION) != 0;
  pInfo->slotID = sess->slot;
  if (s->login == CKU_USER)
    pInfo->state = rw ? CKS_RW_USER_FUNCTIONS : CKS_RO_USER_FUNCTIONS;
  else if (s->login == CKU_SO)
    pInfo->state = CKS_RW_SO_FUNCTIONS;
  else
    pInfo->state = rw ? CKS_RW_PUBLIC_SESSION : CKS_RO_PUBLIC_SESSION;
  pInfo->flags = sess->flags;
  pInfo->ulDeviceError = 0;
  return CKR_OK;
}

CK_RV SoftLibrary::login(CK_SESSION_HANDLE hSession, CK_USER_TYPE userType, CK_UTF8CHAR_PTR pPin,
                         CK_ULONG ulPinLen) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!pPin) return CKR_ARGUMENTS_BAD;
  if (userType != CKU_SO && userType != CKU_USER && userType != CKU_CONTEXT_SPECIFIC)
    return CKR_USER_TYPE_INVALID;
  // No operation here ever asks for a context-specific login.
  if (userType == CKU_CONTEXT_SPECIFIC) return CKR_OPERATION_NOT_INITIALIZED;
  if (s->login == userType) return CKR_USER_ALREADY_LOGGED_IN;
  if (s->login != kNobody) return CKR_USER_ANOTHER_ALREADY_LOGGED_IN;
  if (userType == CKU_SO && sessionCount(s->id, false) != sessionCount(s->id, true))
    return CKR_SESSION_READ_ONLY_EXISTS;
  rv = mutate(*s, [&](TokenImage &t, bool &dirty) {
    PinRecord &pin = userType == CKU_SO ? t.soPin : t.userPin;
    if (!pin.isSet) return CKR_USER_PIN_NOT_INITIALIZED;
    if (pin.locked) return CKR_PIN_LOCKED;
    if (!pinMatches(pin, pPin, ulPinLen)) {
      pin.fail();
      dirty = true;
      return CKR_PIN_INCORRECT;
    }
    if (pin.failures > 0) {
      pin.succeed();
      dirty = true;
    }
    return CKR_OK;
  });
  if (rv == CKR_OK) s->login = userType;
  return rv;
}

CK_RV SoftLibrary::logout(CK_SESSION_HANDLE hSession) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (s->login == kNobody) return CKR_USER_NOT_LOGGED_IN;
  s->login = kNobody;
  return CKR_OK;
}

// ---- objects ----

CK_RV SoftLibrary::createObject(CK_SESSION_HANDLE hSession, CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount,
                                CK_OBJECT_HANDLE_PTR phObject) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!pTemplate || ulCount == 0 || !phObject) return CKR_ARGUMENTS_BAD;
  StoredObject object;
  if ((rv = buildObject(pTemplate, ulCount, object)) != CKR_OK) return rv;
  const bool onToken = boolAttribute(object, CKA_TOKEN, false);
  if (onToken && !(sess->flags & CKF_RW_SESSION)) return CKR_SESSION_READ_ONLY;
  if (boolAttribute(object, CKA_PRIVATE, false) && s->login != CKU_USER) return CKR_USER_NOT_LOGGED_IN;
  if (!onToken) {
    if (s->nextSessionObjectId > kObjectIdMask) return CKR_DEVICE_MEMORY;
    object.id = s->nextSessionObjectId++;
    s->sessionObjects.push_back(SessionObject{hSession, object});
    *phObject = handleOf(s->id, object.id, false);
    return CKR_OK;
  }
  uint32_t id = 0;
  rv = mutate(*s, [&](TokenImage &t, bool &dirty) {
    if (t.nextObjectId > kObjectIdMask) return CKR_DEVICE_MEMORY;
    id = object.id = t.nextObjectId++;
    t.objects.push_back(object);
    dirty = true;
    return CKR_OK;
  });
  if (rv == CKR_OK) *phObject = handleOf(s->id, id, true);
  return rv;
}

CK_RV SoftLibrary::destroyObject(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  ObjectRef ref;
  if ((rv = resolve(*s, hObject, ref)) != CKR_OK) return rv;
  if (ref.onToken && !(sess->flags & CKF_RW_SESSION)) return CKR_SESSION_READ_ONLY;
  if (!boolAttribute(*ref.object, CKA_DESTROYABLE, true)) return CKR_ACTION_PROHIBITED;
  if (!ref.onToken) {
    auto &list = s->sessionObjects;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const SessionObject &o) { return o.object.id == ref.id; }),
               list.end());
    return CKR_OK;
  }
  return mutate(*s, [&](TokenImage &t, bool &dirty) {
    auto it = std::find_if(t.objects.begin(), t.objects.end(),
                           [&](const StoredObject &o) { return o.id == ref.id; });
    if (it == t.objects.end()) return CKR_OBJECT_HANDLE_INVALID;
    t.objects.erase(it);
    dirty = true;
    return CKR_OK;
  });
}

CK_RV SoftLibrary::getAttributeValue(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject,
                                     CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!pTemplate || ulCount == 0) return CKR_ARGUMENTS_BAD;
  ObjectRef ref;
  if ((rv = resolve(*s, hObject, ref)) != CKR_OK) return rv;
  for (CK_ULONG i = 0; i < ulCount; ++i) {
    CK_ATTRIBUTE &a = pTemplate[i];
    const StoredAttribute *stored = ref.object->find(static_cast<uint32_t>(a.type));
    if (stored && isSensitive(*ref.object, a.type)) {
      a.ulValueLen = CK_UNAVAILABLE_INFORMATION;
      rv = CKR_ATTRIBUTE_SENSITIVE;
    } else if (!stored) {
      a.ulValueLen = CK_UNAVAILABLE_INFORMATION;
      rv = CKR_ATTRIBUTE_TYPE_INVALID;
    } else if (!a.pValue) {
      a.ulValueLen = stored->value.size();
    } else if (a.ulValueLen >= stored->value.size()) {
      if (!stored->value.empty()) std::memcpy(a.pValue, stored->value.data(), stored->value.size());
      a.ulValueLen = stored->value.size();
    } else {
      a.ulValueLen = CK_UNAVAILABLE_INFORMATION;
      rv = CKR_BUFFER_TOO_SMALL;
    }
  }
  return rv;
}

CK_RV SoftLibrary::setAttributeValue(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject,
                                     CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!pTemplate || ulCount == 0) return CKR_ARGUMENTS_BAD;
  ObjectRef ref;
  if ((rv = resolve(*s, hObject, ref)) != CKR_OK) return rv;
  if (ref.onToken && !(sess->flags & CKF_RW_SESSION)) return CKR_SESSION_READ_ONLY;
  if ((rv = checkUpdate(*ref.object, pTemplate, ulCount)) != CKR_OK) return rv;
  auto apply = [&](StoredObject &o) {
    for (CK_ULONG i = 0; i < ulCount; ++i) {
      const auto *p = static_cast<const uint8_t *>(pTemplate[i].pValue);
      o.set(static_cast<uint32_t>(pTemplate[i].type), std::vector<uint8_t>(p, p + pTemplate[i].ulValueLen));
    }
  };
  if (!ref.onToken) {
    apply(*ref.object);
    return CKR_OK;
  }
  return mutate(*s, [&](TokenImage &t, bool &dirty) {
    StoredObject *o = t.findObject(ref.id);
    if (!o) return CKR_OBJECT_HANDLE_INVALID;
    apply(*o);
    dirty = true;
    return CKR_OK;
  });
}

CK_RV SoftLibrary::findObjectsInit(CK_SESSION_HANDLE hSession, CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!pTemplate && ulCount != 0) return CKR_ARGUMENTS_BAD;
  for (CK_ULONG i = 0; i < ulCount; ++i)
    if (!pTemplate[i].pValue && pTemplate[i].ulValueLen != 0) return CKR_ARGUMENTS_BAD;
  if (sess->finding) return CKR_OPERATION_ACTIVE;
  sess->found.clear();
  sess->foundNext = 0;
  for (const auto &o : s->image.objects)
    if (visible(*s, o) && matches(o, pTemplate, ulCount)) sess->found.push_back(handleOf(s->id, o.id, true));
  for (const auto &so : s->sessionObjects)
    if (visible(*s, so.object) && matches(so.object, pTemplate, ulCount))
      sess->found.push_back(handleOf(s->id, so.object.id, false));
  sess->finding = true;
  return CKR_OK;
}

CK_RV SoftLibrary::findObjects(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE_PTR phObject,
                               CK_ULONG ulMaxObjectCount, CK_ULONG_PTR pulObjectCount) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!sess->finding) return CKR_OPERATION_NOT_INITIALIZED;
  if (!phObject || !pulObjectCount) return CKR_ARGUMENTS_BAD;
  CK_ULONG n = 0;
  while (n < ulMaxObjectCount && sess->foundNext < sess->found.size()) {
    CK_OBJECT_HANDLE h = sess->found[sess->foundNext++];
    ObjectRef ref;
    if (resolve(*s, h, ref) == CKR_OK) phObject[n++] = h;  // skips objects gone meanwhile
  }
  *pulObjectCount = n;
  return CKR_OK;
}

CK_RV SoftLibrary::findObjectsFinal(CK_SESSION_HANDLE hSession) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!sess->finding) return CKR_OPERATION_NOT_INITIALIZED;
  sess->finding = false;
  sess->found.clear();
  return CKR_OK;
}

CK_RV SoftLibrary::generateRandom(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pRandomData, CK_ULONG ulRandomLen) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!pRandomData) return CKR_ARGUMENTS_BAD;
  return randomBytes(pRandomData, ulRandomLen) ? CKR_OK : CKR_FUNCTION_FAILED;
}

// ---- signing ----

namespace {

bool ulongIs(const StoredObject &o, CK_ATTRIBUTE_TYPE type, CK_ULONG expected) {
  const StoredAttribute *a = o.find(static_cast<uint32_t>(type));
  CK_ULONG value = 0;
  if (!a || a->value.size() != sizeof value) return false;
  std::memcpy(&value, a->value.data(), sizeof value);
  return value == expected;
}

}  // namespace

CK_RV SoftLibrary::signInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!pMechanism) return CKR_ARGUMENTS_BAD;
  if (sess->signing) return CKR_OPERATION_ACTIVE;
  if (pMechanism->mechanism != CKM_RSA_PKCS) return CKR_MECHANISM_INVALID;
  if (pMechanism->pParameter || pMechanism->ulParameterLen) return CKR_MECHANISM_PARAM_INVALID;
  // Private keys are out of sight until the user logs in; say why rather than "no such key".
  if (s->login != CKU_USER) return CKR_USER_NOT_LOGGED_IN;
  ObjectRef ref;
  if (resolve(*s, hKey, ref) != CKR_OK || !ulongIs(*ref.object, CKA_CLASS, CKO_PRIVATE_KEY))
    return CKR_KEY_HANDLE_INVALID;
  if (!ulongIs(*ref.object, CKA_KEY_TYPE, CKK_RSA)) return CKR_KEY_TYPE_INCONSISTENT;
  if (!boolAttribute(*ref.object, CKA_SIGN, true)) return CKR_KEY_FUNCTION_NOT_PERMITTED;
  sess->signing = true;
  sess->signInParts = false;
  sess->signKey = hKey;
  sess->signData.clear();
  return CKR_OK;
}

CK_RV SoftLibrary::completeSign(Session &sess, Slot &s, const std::vector<uint8_t> &data, CK_BYTE_PTR pSignature,
                                CK_ULONG_PTR pulSignatureLen) {
  CK_RV rv = CKR_OK;
  ObjectRef ref;
  if (!pulSignatureLen) rv = CKR_ARGUMENTS_BAD;
  else if (s.login != CKU_USER) rv = CKR_USER_NOT_LOGGED_IN;
  else if (resolve(s, sess.signKey, ref) != CKR_OK) rv = CKR_KEY_HANDLE_INVALID;
  if (rv != CKR_OK) {
    sess.signing = false;
    return rv;
  }
  const CK_ULONG length = signatureLength(*ref.object);
  if (length && (!pSignature || *pulSignatureLen < length)) {
    const bool query = !pSignature;
    *pulSignatureLen = length;
    return query ? CKR_OK : CKR_BUFFER_TOO_SMALL;
  }
  sess.signing = false;
  std::vector<uint8_t> signature;
  rv = rsaPkcs1Sign(*ref.object, data, &signature);
  if (rv != CKR_OK) return rv;
  std::memcpy(pSignature, signature.data(), signature.size());
  *pulSignatureLen = signature.size();
  return CKR_OK;
}

CK_RV SoftLibrary::sign(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen, CK_BYTE_PTR pSignature,
                        CK_ULONG_PTR pulSignatureLen) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!sess->signing) return CKR_OPERATION_NOT_INITIALIZED;
  if (sess->signInParts) return CKR_OPERATION_ACTIVE;
  if (!pData && ulDataLen) {
    sess->signing = false;
    return CKR_ARGUMENTS_BAD;
  }
  const std::vector<uint8_t> data(pData, pData + (pData ? ulDataLen : 0));
  return completeSign(*sess, *s, data, pSignature, pulSignatureLen);
}

CK_RV SoftLibrary::signUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!sess->signing) return CKR_OPERATION_NOT_INITIALIZED;
  if (!pPart && ulPartLen) {
    sess->signing = false;
    return CKR_ARGUMENTS_BAD;
  }
  sess->signInParts = true;
  if (pPart) sess->signData.insert(sess->signData.end(), pPart, pPart + ulPartLen);
  return CKR_OK;
}

CK_RV SoftLibrary::signFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pSignature, CK_ULONG_PTR pulSignatureLen) {
  Session *sess;
  Slot *s;
  CK_RV rv = session(hSession, sess, s);
  if (rv != CKR_OK) return rv;
  if (!sess->signing) return CKR_OPERATION_NOT_INITIALIZED;
  const std::vector<uint8_t> data = sess->signData;
  return completeSign(*sess, *s, data, pSignature, pulSignatureLen);
}

// ---- vendor entries ----

CK_RV SoftLibrary::getVendorInfo(Q_VENDOR_INFO *pInfo) {
  if (!pInfo) return CKR_ARGUMENTS_BAD;
  pInfo->version.major = Q_VENDOR_VERSION_MAJOR;
  pInfo->version.minor = Q_VENDOR_VERSION_MINOR;
  pInfo->ulEntryCount = Q_FUNCTION_LIST_ENTRIES;
  pInfo->ulSlotCount = slots_.size();
  pInfo->ulLatencyMs = hooks_.latency();
  return CKR_OK;
}

CK_RV SoftLibrary::getTokenFilePath(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPath, CK_ULONG_PTR pulLen) {
  Slot *s = slot(slotID);
  if (!s) return CKR_SLOT_ID_INVALID;
  if (!pulLen) return CKR_ARGUMENTS_BAD;
  const std::string path = utf8(s->file.path());
  const CK_ULONG needed = path.size() + 1;
  if (!pPath) {
    *pulLen = needed;
    return CKR_OK;
  }
  if (*pulLen < needed) {
    *pulLen = needed;
    return CKR_BUFFER_TOO_SMALL;
  }
  std::memcpy(pPath, path.c_str(), needed);
  *pulLen = needed;
  return CKR_OK;
}

CK_RV SoftLibrary::getPinStatus(CK_SLOT_ID slotID, CK_ULONG which) {
  Slot *s;
  CK_RV rv = presentSlot(slotID, s);
  if (rv != CKR_OK) return rv;
  PinRecord *pin = pinOf(s->image, which);
  if (!pin) return CKR_ARGUMENTS_BAD;
  return pin->locked ? CKR_PIN_LOCKED : CKR_OK;
}

CK_RV SoftLibrary::getPinInfo(CK_SLOT_ID slotID, CK_ULONG which, Q_PIN_INFO *pInfo) {
  Slot *s;
  CK_RV rv = presentSlot(slotID, s);
  if (rv != CKR_OK) return rv;
  PinRecord *pin = pinOf(s->image, which);
  if (!pin || !pInfo) return CKR_ARGUMENTS_BAD;
  pInfo->ulLimit = pin->limit;
  pInfo->ulFailures = pin->failures;
  pInfo->ulTriesLeft = pin->triesLeft();
  pInfo->flags = (pin->isSet ? Q_PIN_FLAG_SET : 0) | (pin->locked ? Q_PIN_FLAG_LOCKED : 0);
  return CKR_OK;
}

CK_RV SoftLibrary::verifyDevicePin(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen) {
  Slot *s;
  CK_RV rv = presentSlot(slotID, s);
  if (rv != CKR_OK) return rv;
  if (!pPin && ulPinLen != 0) return CKR_ARGUMENTS_BAD;
  return mutate(*s, [&](TokenImage &t, bool &dirty) {
    PinRecord &pin = t.devicePin;
    if (!pin.isSet) return CKR_USER_PIN_NOT_INITIALIZED;
    if (pin.locked) return CKR_PIN_LOCKED;
    if (!pinMatches(pin, pPin, ulPinLen)) {
      pin.fail();
      dirty = true;
      return CKR_PIN_INCORRECT;
    }
    if (pin.failures > 0) {
      pin.succeed();
      dirty = true;
    }
    return CKR_OK;
  });
}

CK_RV SoftLibrary::changeDevicePin(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pOldPin, CK_ULONG ulOldLen,
                                   CK_UTF8CHAR_PTR pNewPin, CK_ULONG ulNewLen) {
  Slot *s;
  CK_RV rv = presentSlot(slotID, s);
  if (rv != CKR_OK) return rv;
  if ((!pOldPin && ulOldLen != 0) || (!pNewPin && ulNewLen != 0)) return CKR_ARGUMENTS_BAD;
  const std::string newPin = bytes(pNewPin, ulNewLen);
  return mutate(*s, [&](TokenImage &t, bool &dirty) {
    PinRecord &pin = t.devicePin;
    if (!pin.isSet) return CKR_USER_PIN_NOT_INITIALIZED;
    if (pin.locked) return CKR_PIN_LOCKED;
    if (checkPinLength(t, ulNewLen) != CKR_OK) return CKR_PIN_LEN_RANGE;
    dirty = true;
    if (!pinMatches(pin, pOldPin, ulOldLen)) {
      pin.fail();
      return CKR_PIN_INCORRECT;
    }
    pin.reset(newPin);
    return CKR_OK;
  });
}

CK_RV SoftLibrary::unblockDevicePin(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPuk, CK_ULONG ulPukLen,
                                    CK_UTF8CHAR_PTR pNewPin, CK_ULONG ulNewLen) {
  Slot *s;
  CK_RV rv = presentSlot(slotID, s);
  if (rv != CKR_OK) return rv;
  if ((!pPuk && ulPukLen != 0) || (!pNewPin && ulNewLen != 0)) return CKR_ARGUMENTS_BAD;
  const std::string puk = bytes(pPuk, ulPukLen);
  const std::string newPin = bytes(pNewPin, ulNewLen);
  return mutate(*s, [&](TokenImage &t, bool &dirty) {
    if (t.devicePuk.empty()) return CKR_FUNCTION_NOT_SUPPORTED;
    if (!t.devicePin.isSet) return CKR_USER_PIN_NOT_INITIALIZED;
    if (puk != t.devicePuk) return CKR_PIN_INCORRECT;
    if (checkPinLength(t, ulNewLen) != CKR_OK) return CKR_PIN_LEN_RANGE;
    t.devicePin.reset(newPin);
    dirty = true;
    return CKR_OK;
  });
}

CK_RV SoftLibrary::createToken(CK_SLOT_ID slotID, const Q_TOKEN_PARAMS *p) {
  Slot *s = slot(slotID);
  if (!s) return CKR_SLOT_ID_INVALID;
  if (!p) return CKR_ARGUMENTS_BAD;
  auto text = [](const CK_UTF8CHAR *ptr, CK_ULONG len) { return !(ptr == nullptr && len != 0); };
  if (!text(p->pSerial, p->ulSerialLen) || !text(p->pLabel, p->ulLabelLen) || !p->pSoPin ||
      !text(p->pUserPin, p->ulUserPinLen) || !text(p->pDevicePin, p->ulDevicePinLen) ||
      !text(p->pDevicePuk, p->ulDevicePukLen))
    return CKR_ARGUMENTS_BAD;
  if (p->ulSerialLen < 1 || p->ulSerialLen > 16 || p->ulLabelLen > 32 || p->ulDevicePukLen > kMaxPinLength)
    return CKR_ARGUMENTS_BAD;
  for (CK_ULONG i = 0; i < p->ulSerialLen; ++i)
    if (p->pSerial[i] < 0x20 || p->pSerial[i] > 0x7E) return CKR_ARGUMENTS_BAD;
  if (p->ulUserPinLimit > kMaxPinLimit || p->ulSoPinLimit > kMaxPinLimit || p->ulDevicePinLimit > kMaxPinLimit)
    return CKR_ARGUMENTS_BAD;

  TokenImage t;
  t.minPinLen = p->ulMinPinLen ? p->ulMinPinLen : Q_DEFAULT_MIN_PIN_LEN;
  t.maxPinLen = p->ulMaxPinLen ? p->ulMaxPinLen : Q_DEFAULT_MAX_PIN_LEN;
  if (t.minPinLen > t.maxPinLen || t.maxPinLen > kMaxPinLength) return CKR_ARGUMENTS_BAD;
  if (checkPinLength(t, p->ulSoPinLen) != CKR_OK) return CKR_PIN_LEN_RANGE;
  if (p->ulUserPinLen && checkPinLength(t, p->ulUserPinLen) != CKR_OK) return CKR_PIN_LEN_RANGE;
  if (p->ulDevicePinLen && checkPinLength(t, p->ulDevicePinLen) != CKR_OK) return CKR_PIN_LEN_RANGE;

  if (!randomBytes(&t.uid, sizeof t.uid)) return CKR_FUNCTION_FAILED;
  t.serial = bytes(p->pSerial, p->ulSerialLen);
  t.label = bytes(p->pLabel, p->ulLabelLen);
  auto limit = [](CK_ULONG v) { return static_cast<uint32_t>(v ? v : Q_DEFAULT_PIN_LIMIT); };
  t.soPin.limit = limit(p->ulSoPinLimit);
  t.userPin.limit = limit(p->ulUserPinLimit);
  t.devicePin.limit = limit(p->ulDevicePinLimit);
  t.soPin.reset(bytes(p->pSoPin, p->ulSoPinLen));
  if (p->ulUserPinLen) t.userPin.reset(bytes(p->pUserPin, p->ulUserPinLen));
  if (p->ulDevicePinLen) t.devicePin.reset(bytes(p->pDevicePin, p->ulDevicePinLen));
  t.devicePuk = bytes(p->pDevicePuk, p->ulDevicePukLen);

  StoreLock::Guard guard(*storeLock_);
  refresh(*s);
  if (s->state == State::Present) return CKR_FUNCTION_FAILED;
  if (!s->file.save(t, hooks_.nextWrite())) return CKR_DEVICE_ERROR;
  hooks_.markInserted(slotID);
  refresh(*s);
  return present(*s) ? CKR_OK : CKR_DEVICE_ERROR;
}

CK_RV SoftLibrary::deleteToken(CK_SLOT_ID slotID) {
  Slot *s = slot(slotID);
  if (!s) return CKR_SLOT_ID_INVALID;
  StoreLock::Guard guard(*storeLock_);
  refresh(*s);
  if (s->state == State::Absent) return CKR_TOKEN_NOT_PRESENT;
  if (!s->file.remove()) return CKR_DEVICE_ERROR;
  refresh(*s);
  hooks_.markInserted(slotID);
  return CKR_OK;
}

CK_RV SoftLibrary::setPinLock(CK_SLOT_ID slotID, CK_ULONG which, CK_BBOOL locked) {
  Slot *s;
  CK_RV rv = presentSlot(slotID, s);
  if (rv != CKR_OK) return rv;
  if (which > Q_PIN_DEVICE) return CKR_ARGUMENTS_BAD;
  return mutate(*s, [&](TokenImage &t, bool &dirty) {
    PinRecord &pin = *pinOf(t, which);
    pin.locked = locked != CK_FALSE;
    if (!pin.locked) pin.failures = 0;
    dirty = true;
    return CKR_OK;
  });
}

CK_RV SoftLibrary::listTokens(Q_TOKEN_ENTRY *pEntries, CK_ULONG_PTR pulCount) {
  if (!pulCount) return CKR_ARGUMENTS_BAD;
  if (!pEntries) {
    *pulCount = slots_.size();
    return CKR_OK;
  }
  if (*pulCount < slots_.size()) {
    *pulCount = slots_.size();
    return CKR_BUFFER_TOO_SMALL;
  }
  for (size_t i = 0; i < slots_.size(); ++i) {
    Slot &s = slots_[i];
    refresh(s);
    Q_TOKEN_ENTRY &e = pEntries[i];
    e.slotID = s.id;
    const bool valid = s.state == State::Present;
    e.ulState = s.state == State::Absent    ? Q_TOKEN_ABSENT
                : s.state == State::Corrupt ? Q_TOKEN_CORRUPT
                : hooks_.isRemoved(s.id)    ? Q_TOKEN_REMOVED
                                            : Q_TOKEN_PRESENT;
    padded(e.serialNumber, sizeof e.serialNumber, valid ? s.image.serial : std::string());
    padded(e.label, sizeof e.label, valid ? s.image.label : std::string());
  }
  *pulCount = slots_.size();
  return CKR_OK;
}

CK_RV SoftLibrary::setPinLimit(CK_SLOT_ID slotID, CK_ULONG which, CK_ULONG ulLimit) {
  Slot *s;
  CK_RV rv = presentSlot(slotID, s);
  if (rv != CKR_OK) return rv;
  if (which > Q_PIN_DEVICE || ulLimit < 1 || ulLimit > kMaxPinLimit) return CKR_ARGUMENTS_BAD;
  return mutate(*s, [&](TokenImage &t, bool &dirty) {
    PinRecord &pin = *pinOf(t, which);
    pin.limit = static_cast<uint32_t>(ulLimit);
    if (pin.failures >= pin.limit) {
      pin.failures = pin.limit;
      pin.locked = true;
    }
    dirty = true;
    return CKR_OK;
  });
}

void SoftLibrary::simulateRemoval(CK_SLOT_ID slotID) {
  hooks_.markRemoved(slotID);
  if (Slot *s = slot(slotID)) tokenGone(*s);
}

void SoftLibrary::simulateInsertion(CK_SLOT_ID slotID) {
  hooks_.markInserted(slotID);
  Slot *s = slot(slotID);
  if (!s) return;
  s->stamp = FileStamp{};  // read the file afresh: the inserted token may have changed
  s->state = State::Absent;
  refresh(*s);
}

}  // namespace softtoken
