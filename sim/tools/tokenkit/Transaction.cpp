#include "tokenkit/Transaction.h"

#include "tokenkit/CryptokiText.h"

Transaction::~Transaction() {
  for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
    CK_RV rv = CKR_OK;
    switch (it->kind) {
      case Step::Created:
        rv = session_.destroy(it->object);
        break;
      case Step::Replaced:
        rv = session_.setValue(it->object, it->type, it->oldValue);
        break;
      case Step::Destroyed: {
        CK_OBJECT_HANDLE again = 0;
        rv = session_.create(it->recreate, &again);
        break;
      }
    }
    // The command already reports its own failure; this only says what could not be put back.
    if (rv != CKR_OK)
      std::fprintf(stderr, "warning: could not undo a change to object 0x%08lX: %s\n",
                   static_cast<unsigned long>(it->object), cryptokitext::returnValueName(rv).c_str());
  }
}

CK_RV Transaction::create(const AttributeList& tmpl, CK_OBJECT_HANDLE* object) {
  const CK_RV rv = session_.create(tmpl, object);
  if (rv == CKR_OK) steps_.push_back({Step::Created, *object, 0, {}, {}});
  return rv;
}

CK_RV Transaction::replace(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, const std::vector<uint8_t>& value) {
  std::vector<uint8_t> old;
  CK_RV rv = session_.read(object, type, &old);
  if (rv != CKR_OK) return rv;
  rv = session_.setValue(object, type, value);
  if (rv == CKR_OK) steps_.push_back({Step::Replaced, object, type, old, {}});
  return rv;
}

CK_RV Transaction::destroy(CK_OBJECT_HANDLE object, const AttributeList& recreate) {
  const CK_RV rv = session_.destroy(object);
  if (rv == CKR_OK) steps_.push_back({Step::Destroyed, object, 0, {}, recreate});
  return rv;
}
