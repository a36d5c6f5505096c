#pragma once
// Names and plain-language descriptions of Cryptoki values, for messages and listings.
#include <string>

#include "cryptoki/Pkcs11.h"

namespace cryptokitext {

// "CKR_PIN_INCORRECT", or "CKR_0x000001F3" for a value without a name.
std::string returnValueName(CK_RV rv);
// A sentence for the user: "The password is incorrect." Empty when none is known.
std::string returnValueDescription(CK_RV rv);

// "CKA_LABEL", or "0x80000001" for vendor and unknown types.
std::string attributeName(CK_ATTRIBUTE_TYPE type);
// Accepts the names that attributeName gives (with or without "CKA_", any case) and numbers.
bool parseAttribute(const std::string& text, CK_ATTRIBUTE_TYPE* type);

// "data", "certificate", "public-key", "private-key", "secret-key", or the number.
std::string className(CK_OBJECT_CLASS cls);
bool parseClass(const std::string& text, CK_OBJECT_CLASS* cls);

// "CKK_RSA", "CKC_X_509" and the like.
std::string keyTypeName(CK_KEY_TYPE type);
std::string certificateTypeName(CK_CERTIFICATE_TYPE type);

// How a value of this attribute is stored: a CK_BBOOL, a CK_ULONG or bytes.
enum class AttributeKind { Bytes, Bool, Ulong, Text };
AttributeKind attributeKind(CK_ATTRIBUTE_TYPE type);

}  // namespace cryptokitext
