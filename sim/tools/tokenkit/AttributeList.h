#pragma once
// An object template that owns its values, so templates can be built up step by step.
#include <cstdint>
#include <string>
#include <vector>

#include "cryptoki/Pkcs11.h"

class AttributeList {
 public:
  AttributeList& ulong(CK_ATTRIBUTE_TYPE type, CK_ULONG value);
  AttributeList& boolean(CK_ATTRIBUTE_TYPE type, bool value);
  AttributeList& bytes(CK_ATTRIBUTE_TYPE type, const std::vector<uint8_t>& value);
  // Text without a terminating NUL.
  AttributeList& text(CK_ATTRIBUTE_TYPE type, const std::string& value);
  // Text followed by one NUL byte: the form in which the CSP stores its labels.
  AttributeList& label(const std::string& value);

  bool has(CK_ATTRIBUTE_TYPE type) const;
  // Points into this object: valid until the next change.
  std::vector<CK_ATTRIBUTE> view() const;

 private:
  struct Entry {
    CK_ATTRIBUTE_TYPE type;
    std::vector<uint8_t> value;
  };
  std::vector<Entry> entries_;
};
