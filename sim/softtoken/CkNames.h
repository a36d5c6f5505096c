// Names of Cryptoki return values and attribute types for the call trace.
#pragma once

#include <string>

#include "cryptoki/Pkcs11.h"

namespace softtoken {

// "CKR_PIN_INCORRECT", or the value in hexadecimal when it has no name.
std::string rvName(CK_RV rv);
// "CKA_LABEL", or the type in hexadecimal when it has no name.
std::string attributeName(CK_ATTRIBUTE_TYPE type);

}  // namespace softtoken
