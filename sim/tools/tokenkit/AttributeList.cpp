#include "tokenkit/AttributeList.h"

#include <cstring>

AttributeList& AttributeList::ulong(CK_ATTRIBUTE_TYPE type, CK_ULONG value) {
  std::vector<uint8_t> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  entries_.push_back({type, bytes});
  return *this;
}

AttributeList& AttributeList::boolean(CK_ATTRIBUTE_TYPE type, bool value) {
  entries_.push_back({type, {static_cast<uint8_t>(value ? CK_TRUE : CK_FALSE)}});
  return *this;
}

AttributeList& AttributeList::bytes(CK_ATTRIBUTE_TYPE type, const std::vector<uint8_t>& value) {
  entries_.push_back({type, value});
  return *this;
}

AttributeList& AttributeList::text(CK_ATTRIBUTE_TYPE type, const std::string& value) {
  entries_.push_back({type, std::vector<uint8_t>(value.begin(), value.end())});
  return *this;
}

AttributeList& AttributeList::label(const std::string& value) {
  std::vector<uint8_t> bytes(value.begin(), value.end());
  bytes.push_back(0);
  entries_.push_back({CKA_LABEL, bytes});
  return *this;
}

bool AttributeList::has(CK_ATTRIBUTE_TYPE type) const {
  for (const Entry& e : entries_)
    if (e.type == type) return true;
  return false;
}

std::vector<CK_ATTRIBUTE> AttributeList::view() const {
  std::vector<CK_ATTRIBUTE> attributes;
  for (const Entry& e : entries_) {
    CK_ATTRIBUTE a;
    a.type = e.type;
    a.pValue = e.value.empty() ? nullptr : const_cast<uint8_t*>(e.value.data());
    a.ulValueLen = static_cast<CK_ULONG>(e.value.size());
    attributes.push_back(a);
  }
  return attributes;
}
