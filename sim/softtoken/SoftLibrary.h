// The Cryptoki library behind ZeltP11.dll: slots with token files in a store folder,
// sessions, login state, objects and the vendor administration. The caller serialises calls.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "StoreLock.h"
#include "TestHooks.h"
#include "TokenFile.h"
#include "TokenImage.h"
#include "ZeltVendor.h"
#include "cryptoki/Pkcs11.h"

namespace softtoken {

class SoftLibrary {
 public:
  explicit SoftLibrary(TestHooks &hooks) : hooks_(hooks) {}

  bool initialized() const { return initialized_; }

  // Standard functions.
  CK_RV initialize(CK_VOID_PTR pInitArgs);
  CK_RV finalize(CK_VOID_PTR pReserved);
  CK_RV getInfo(CK_INFO_PTR pInfo);
  CK_RV getSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID_PTR pSlotList, CK_ULONG_PTR pulCount);
  CK_RV getSlotInfo(CK_SLOT_ID slotID, CK_SLOT_INFO_PTR pInfo);
  CK_RV getTokenInfo(CK_SLOT_ID slotID, CK_TOKEN_INFO_PTR pInfo);
  CK_RV initPin(CK_SESSION_HANDLE hSession, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen);
  CK_RV setPin(CK_SESSION_HANDLE hSession, CK_UTF8CHAR_PTR pOldPin, CK_ULONG ulOldLen,
               CK_UTF8CHAR_PTR pNewPin, CK_ULONG ulNewLen);
  CK_RV openSession(CK_SLOT_ID slotID, CK_FLAGS flags, CK_SESSION_HANDLE_PTR phSession);
  CK_RV closeSession(CK_SESSION_HANDLE hSession);
  CK_RV closeAllSessions(CK_SLOT_ID slotID);
  CK_RV getSessionInfo(CK_SESSION_HANDLE hSession, CK_SESSION_INFO_PTR pInfo);
  CK_RV login(CK_SESSION_HANDLE hSession, CK_USER_TYPE userType, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen);
  CK_RV logout(CK_SESSION_HANDLE hSession);
  CK_RV createObject(CK_SESSION_HANDLE hSession, CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount,
                     CK_OBJECT_HANDLE_PTR phObject);
  CK_RV destroyObject(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject);
  CK_RV getAttributeValue(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject,
                          CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount);
  CK_RV setAttributeValue(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject,
                          CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount);
  CK_RV findObjectsInit(CK_SESSION_HANDLE hSession, CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount);
  CK_RV findObjects(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE_PTR phObject, CK_ULONG ulMaxObjectCount,
                    CK_ULONG_PTR pulObjectCount);
  CK_RV findObjectsFinal(CK_SESSION_HANDLE hSession);
  CK_RV generateRandom(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pRandomData, CK_ULONG ulRandomLen);
  // CKM_RSA_PKCS with an RSA private key, in one part or several.
  CK_RV signInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey);
  CK_RV sign(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen, CK_BYTE_PTR pSignature,
             CK_ULONG_PTR pulSignatureLen);
  CK_RV signUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen);
  CK_RV signFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pSignature, CK_ULONG_PTR pulSignatureLen);
  // For the functions this library does not offer.
  CK_RV unsupported() const;

  // Vendor entries 0-12 (ZeltVendor.h).
  CK_RV getVendorInfo(Q_VENDOR_INFO *pInfo);
  CK_RV getTokenFilePath(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPath, CK_ULONG_PTR pulLen);
  CK_RV getPinStatus(CK_SLOT_ID slotID, CK_ULONG which);
  CK_RV getPinInfo(CK_SLOT_ID slotID, CK_ULONG which, Q_PIN_INFO *pInfo);
  CK_RV verifyDevicePin(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen);
  CK_RV changeDevicePin(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pOldPin, CK_ULONG ulOldLen,
                        CK_UTF8CHAR_PTR pNewPin, CK_ULONG ulNewLen);
  CK_RV unblockDevicePin(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPuk, CK_ULONG ulPukLen,
                         CK_UTF8CHAR_PTR pNewPin, CK_ULONG ulNewLen);
  CK_RV createToken(CK_SLOT_ID slotID, const Q_TOKEN_PARAMS *pParams);
  CK_RV deleteToken(CK_SLOT_ID slotID);
  CK_RV setPinLock(CK_SLOT_ID slotID, CK_ULONG which, CK_BBOOL locked);
  CK_RV listTokens(Q_TOKEN_ENTRY *pEntries, CK_ULONG_PTR pulCount);
  CK_RV setPinLimit(CK_SLOT_ID slotID, CK_ULONG which, CK_ULONG ulLimit);

  // Simulated removal and insertion (test hooks): the hooks remember the state, these
  // bring the slot's sessions and image in line with it.
  void simulateRemoval(CK_SLOT_ID slotID);
  void simulateInsertion(CK_SLOT_ID slotID);

 private:
  enum class State { Absent, Present, Corrupt };
  static constexpr CK_USER_TYPE kNobody = static_cast<CK_USER_TYPE>(-1);

  struct SessionObject {
    CK_SESSION_HANDLE owner = 0;
    StoredObject object;
  };

  struct Slot {
    CK_SLOT_ID id = 0;
    TokenFile file;
    State state = State::Absent;
    FileStamp stamp;
    TokenImage image;
    CK_USER_TYPE login = kNobody;
    uint32_t nextSessionObjectId = 1;
    std::vector<SessionObject> sessionObjects;
  };

  struct Session {
    CK_SESSION_HANDLE handle = 0;
    CK_SLOT_ID slot = 0;
    CK_FLAGS flags = 0;
    uint64_t tokenUid = 0;
    bool dead = false;  // its token went away; calls answer CKR_DEVICE_REMOVED
    bool finding = false;
    std::vector<CK_OBJECT_HANDLE> found;
    size_t foundNext = 0;
    // The signature under way from C_SignInit until a call ends it.
    bool signing = false;
    bool signInParts = false;  // C_SignUpdate was called: C_SignFinal ends it
    CK_OBJECT_HANDLE signKey = 0;
    std::vector<uint8_t> signData;
  };

  // A resolved object: a token object (in the slot's image) or a session object.
  struct ObjectRef {
    StoredObject *object = nullptr;
    bool onToken = false;
    uint32_t id = 0;
  };

  Slot *slot(CK_SLOT_ID id);
  bool present(const Slot &s) const { return s.state == State::Present && !hooks_.isRemoved(s.id); }
  // Brings the slot up to date with its file; sessions of a token that went away die.
  void refresh(Slot &s);
  void tokenGone(Slot &s);
  CK_RV presentSlot(CK_SLOT_ID id, Slot *&s);
  CK_RV session(CK_SESSION_HANDLE h, Session *&sess, Slot *&s);
  void dropSession(std::map<CK_SESSION_HANDLE, Session>::iterator it);
  size_t sessionCount(CK_SLOT_ID id, bool rwOnly) const;
  // Runs a change on a copy of the latest image and writes it; the slot keeps the old image
  // when the write fails. The change sets `dirty` when something is to be written.
  template <typename Change>
  CK_RV mutate(Slot &s, Change change);
  CK_RV writeImage(Slot &s, TokenImage &image);

  CK_OBJECT_HANDLE handleOf(CK_SLOT_ID slot, uint32_t id, bool onToken) const;
  bool visible(const Slot &s, const StoredObject &o) const;
  CK_RV resolve(Slot &s, CK_OBJECT_HANDLE h, ObjectRef &ref);
  PinRecord *pinOf(TokenImage &image, CK_ULONG which);
  CK_RV checkPinLength(const TokenImage &image, CK_ULONG len) const;
  // Signs the data with the session's signing key; the operation ends unless the answer is
  // only the signature's length (a null buffer, or CKR_BUFFER_TOO_SMALL).
  CK_RV completeSign(Session &sess, Slot &s, const std::vector<uint8_t> &data, CK_BYTE_PTR pSignature,
                     CK_ULONG_PTR pulSignatureLen);

  TestHooks &hooks_;
  bool initialized_ = false;
  std::wstring folder_;
  std::unique_ptr<StoreLock> storeLock_;
  std::vector<Slot> slots_;
  std::map<CK_SESSION_HANDLE, Session> sessions_;
  CK_SESSION_HANDLE nextSession_ = 1;
};

}  // namespace softtoken
