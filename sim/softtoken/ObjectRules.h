// Which attributes an object of each class may carry, their value sizes, their defaults and
// which ones are fixed after creation. Pure code over the Cryptoki types.
#pragma once

#include "TokenImage.h"
#include "cryptoki/Pkcs11.h"

namespace softtoken {

// Checks a creation template and builds the object with the class's defaults filled in.
CK_RV buildObject(const CK_ATTRIBUTE *tmpl, CK_ULONG count, StoredObject &out);

// Checks a C_SetAttributeValue template against an existing object (no changes made).
CK_RV checkUpdate(const StoredObject &object, const CK_ATTRIBUTE *tmpl, CK_ULONG count);

// Whether the attribute's value must not leave the token (sensitive or unextractable keys).
bool isSensitive(const StoredObject &object, CK_ATTRIBUTE_TYPE type);

bool boolAttribute(const StoredObject &object, CK_ATTRIBUTE_TYPE type, bool fallback);

// Exact byte match of every template attribute; an attribute the object lacks never matches.
bool matches(const StoredObject &object, const CK_ATTRIBUTE *tmpl, CK_ULONG count);

}  // namespace softtoken
