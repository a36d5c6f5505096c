// An attribute template that owns its values, for building Cryptoki calls in the cases.
#pragma once

#include <list>
#include <string>
#include <vector>

#include "cryptoki/Pkcs11.h"

namespace conformance {

class Template {
 public:
  Template() = default;
  Template(const Template &) = delete;
  Template &operator=(const Template &) = delete;

  // CK_ULONG-sized values: CKA_CLASS, CKA_CERTIFICATE_TYPE, CKA_KEY_TYPE...
  Template &ulong(CK_ATTRIBUTE_TYPE type, CK_ULONG value);
  Template &boolean(CK_ATTRIBUTE_TYPE type, bool value);
  // Exactly these bytes (embedded NULs kept).
  Template &bytes(CK_ATTRIBUTE_TYPE type, const std::string &value);
  // The label as the page searches it: the text followed by one NUL.
  Template &label(const std::string &text) { return bytes(CKA_LABEL, text + std::string(1, '\0')); }

  CK_ATTRIBUTE_PTR data() { return attributes_.empty() ? nullptr : attributes_.data(); }
  CK_ULONG size() const { return static_cast<CK_ULONG>(attributes_.size()); }
  CK_ATTRIBUTE &operator[](size_t i) { return attributes_[i]; }

 private:
  Template &add(CK_ATTRIBUTE_TYPE type, std::vector<CK_BYTE> value);

  std::list<std::vector<CK_BYTE>> values_;  // stable addresses for pValue
  std::vector<CK_ATTRIBUTE> attributes_;
};

}  // namespace conformance
