#include "tokenkit/TokenSession.h"

TokenSession::~TokenSession() {
  if (!session_) return;
  if (loggedInHere_) p11_->C_Logout(session_);
  p11_->C_CloseSession(session_);
}

CK_RV TokenSession::open(CK_SLOT_ID slot) {
  return p11_->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session_);
}

CK_RV TokenSession::login(const std::string& pin) {
  const CK_RV rv = p11_->C_Login(session_, CKU_USER,
                                 reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(pin.data())),
                                 static_cast<CK_ULONG>(pin.size()));
  loggedIn_ = rv == CKR_OK || rv == CKR_USER_ALREADY_LOGGED_IN;
  loggedInHere_ = rv == CKR_OK;
  return rv;
}

CK_RV TokenSession::find(const AttributeList& tmpl, std::vector<CK_OBJECT_HANDLE>* objects) {
  objects->clear();
  std::vector<CK_ATTRIBUTE> attributes = tmpl.view();
  CK_RV rv = p11_->C_FindObjectsInit(session_, attributes.empty() ? nullptr : attributes.data(),
                                     static_cast<CK_ULONG>(attributes.size()));
  if (rv != CKR_OK) return rv;
  for (;;) {
    CK_OBJECT_HANDLE batch[32];
    CK_ULONG count = 0;
    rv = p11_->C_FindObjects(session_, batch, 32, &count);
    if (rv != CKR_OK || count == 0) break;
    objects->insert(objects->end(), batch, batch + count);
  }
  const CK_RV final = p11_->C_FindObjectsFinal(session_);
  return rv != CKR_OK ? rv : final;
}

CK_RV TokenSession::read(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, std::vector<uint8_t>* value) {
  value->clear();
  CK_ATTRIBUTE a = {type, nullptr, 0};
  CK_RV rv = p11_->C_GetAttributeValue(session_, object, &a, 1);
  if (rv != CKR_OK) return rv;
  if (a.ulValueLen == CK_UNAVAILABLE_INFORMATION) return CKR_ATTRIBUTE_SENSITIVE;
  value->resize(a.ulValueLen);
  a.pValue = value->empty() ? nullptr : value->data();
  rv = p11_->C_GetAttributeValue(session_, object, &a, 1);
  if (rv == CKR_OK) value->resize(a.ulValueLen);
  return rv;
}

CK_RV TokenSession::create(const AttributeList& tmpl, CK_OBJECT_HANDLE* object) {
  std::vector<CK_ATTRIBUTE> attributes = tmpl.view();
  return p11_->C_CreateObject(session_, attributes.data(), static_cast<CK_ULONG>(attributes.size()), object);
}

CK_RV TokenSession::destroy(CK_OBJECT_HANDLE object) { return p11_->C_DestroyObject(session_, object); }

CK_RV TokenSession::setValue(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, const std::vector<uint8_t>& value) {
  CK_ATTRIBUTE a = {type, value.empty() ? nullptr : const_cast<uint8_t*>(value.data()),
                    static_cast<CK_ULONG>(value.size())};
  return p11_->C_SetAttributeValue(session_, object, &a, 1);
}
