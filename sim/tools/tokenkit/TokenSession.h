#pragma once
// One read-write Cryptoki session on a token; logged out and closed when it goes.
#include <string>
#include <vector>

#include "tokenkit/AttributeList.h"
#include "cryptoki/Pkcs11.h"

class TokenSession {
 public:
  explicit TokenSession(CK_FUNCTION_LIST_PTR p11) : p11_(p11) {}
  ~TokenSession();
  TokenSession(const TokenSession&) = delete;
  TokenSession& operator=(const TokenSession&) = delete;

  CK_RV open(CK_SLOT_ID slot);
  CK_RV login(const std::string& pin);
  bool loggedIn() const { return loggedIn_; }

  // Every object that matches the template (all objects for an empty one), in the token's order.
  CK_RV find(const AttributeList& tmpl, std::vector<CK_OBJECT_HANDLE>* objects);
  // The attribute's value; the token's answer otherwise (CKR_ATTRIBUTE_TYPE_INVALID, ...).
  CK_RV read(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, std::vector<uint8_t>* value);
  CK_RV create(const AttributeList& tmpl, CK_OBJECT_HANDLE* object);
  CK_RV destroy(CK_OBJECT_HANDLE object);
  CK_RV setValue(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, const std::vector<uint8_t>& value);

 private:
  CK_FUNCTION_LIST_PTR p11_;
  CK_SESSION_HANDLE session_ = 0;
  bool loggedIn_ = false;
  bool loggedInHere_ = false;  // only this session's own login is undone when it closes
};
