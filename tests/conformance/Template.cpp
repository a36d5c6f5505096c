#include "Template.h"

#include <cstring>

namespace conformance {

Template &Template::add(CK_ATTRIBUTE_TYPE type, std::vector<CK_BYTE> value) {
  values_.push_back(std::move(value));
  CK_ATTRIBUTE a;
  a.type = type;
  a.pValue = values_.back().empty() ? nullptr : values_.back().data();
  a.ulValueLen = static_cast<CK_ULONG>(values_.back().size());
  attributes_.push_back(a);
  return *this;
}

Template &Template::ulong(CK_ATTRIBUTE_TYPE type, CK_ULONG value) {
  std::vector<CK_BYTE> v(sizeof value);
  std::memcpy(v.data(), &value, sizeof value);
  return add(type, std::move(v));
}

Template &Template::boolean(CK_ATTRIBUTE_TYPE type, bool value) {
  return add(type, {static_cast<CK_BYTE>(value ? CK_TRUE : CK_FALSE)});
}

Template &Template::bytes(CK_ATTRIBUTE_TYPE type, const std::string &value) {
  return add(type, std::vector<CK_BYTE>(value.begin(), value.end()));
}

}  // namespace conformance
