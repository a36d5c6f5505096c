#include "InitArgs.h"

namespace softtoken {

CK_RV checkInitArgs(CK_VOID_PTR pInitArgs) {
  if (!pInitArgs) return CKR_OK;
  const auto *args = static_cast<const CK_C_INITIALIZE_ARGS *>(pInitArgs);
  if (args->pReserved) return CKR_ARGUMENTS_BAD;
  const int given = (args->CreateMutex != nullptr) + (args->DestroyMutex != nullptr) +
                    (args->LockMutex != nullptr) + (args->UnlockMutex != nullptr);
  // The library locks with the operating system's primitives whether or not the caller offers
  // its own, which satisfies every combination the caller may ask for.
  if (given != 0 && given != 4) return CKR_ARGUMENTS_BAD;
  return CKR_OK;
}

}  // namespace softtoken
