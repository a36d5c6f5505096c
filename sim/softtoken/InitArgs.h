// Checking of C_Initialize's argument. Kept apart from windows.h, whose CreateMutex macro
// would rename the structure's first field.
#pragma once

#include "cryptoki/Pkcs11.h"

namespace softtoken {

// CKR_OK for null or for well-formed arguments; the mutex functions must be all given or
// none, and the reserved pointer must be null.
CK_RV checkInitArgs(CK_VOID_PTR pInitArgs);

}  // namespace softtoken
