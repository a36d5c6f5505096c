#pragma once
// The changes of one command, undone in reverse order unless the command commits them,
// so that a failure half-way leaves the token as it was.
#include <cstdio>
#include <string>
#include <vector>

#include "tokenkit/TokenSession.h"

class Transaction {
 public:
  explicit Transaction(TokenSession& session) : session_(session) {}
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  CK_RV create(const AttributeList& tmpl, CK_OBJECT_HANDLE* object);
  // Replaces one attribute; the old value is read first so that it can be put back.
  CK_RV replace(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, const std::vector<uint8_t>& value);
  CK_RV destroy(CK_OBJECT_HANDLE object, const AttributeList& recreate);
  void commit() { steps_.clear(); }

 private:
  struct Step {
    enum Kind { Created, Replaced, Destroyed } kind;
    CK_OBJECT_HANDLE object;
    CK_ATTRIBUTE_TYPE type;
    std::vector<uint8_t> oldValue;
    AttributeList recreate;
  };
  TokenSession& session_;
  std::vector<Step> steps_;
};
