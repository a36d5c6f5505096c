#include "cryptoki/CryptokiBinding.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <new>

namespace {

// The loaded library, shared by the bindings of the process (UI thread only).
HMODULE g_module = nullptr;
LONG g_users = 0;

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

void UpperInPlace(char* s) {
  for (; *s; ++s) *s = static_cast<char>(std::toupper(static_cast<unsigned char>(*s)));
}

}  // namespace

CryptokiBinding::CryptokiBinding(const char* library) : library_(library ? library : kLibraryName) {}

CryptokiBinding::~CryptokiBinding() { Unload(); }

LONG CryptokiBinding::LibraryUsers() { return g_users; }

CK_RV CryptokiBinding::Initialize() {
  CK_C_INITIALIZE_ARGS args = {};
  args.flags = CKF_OS_LOCKING_OK;
  const CK_RV rv = standard_->C_Initialize(&args);
  initialised_ = (rv == CKR_OK || rv == CKR_CRYPTOKI_ALREADY_INITIALIZED) ? TRUE : FALSE;
  return rv;
}

BOOL CryptokiBinding::Load() {
  if (initialised_) {
    Initialize();
    return initialised_;
  }

  // A failed earlier attempt may still hold the module: release it without
  // finalising, since the lists are gone.
  standard_ = nullptr;
  vendor_ = nullptr;
  Unload();

  if (!g_module) {
    g_module = ::LoadLibraryA(library_);
    if (!g_module) return FALSE;
  }
  ++g_users;
  holdsModule_ = true;

  auto getList = Lookup<CK_C_GetFunctionList>(g_module, "C_GetFunctionList");
  if (!getList) return FALSE;
  CK_FUNCTION_LIST* list = nullptr;
  if (getList(&list) != CKR_OK || !list) return FALSE;
  standard_ = list;

  if (auto getVendor = Lookup<CK_Q_GETFUNCTIONLIST>(g_module, "Q_GetFunctionList")) {
    CK_VENDOR_FUNCTION_LIST* vendor = nullptr;
    getVendor(&vendor);
    vendor_ = vendor;
  }

  Initialize();
  return initialised_;
}

BOOL CryptokiBinding::Unload() {
  initialised_ = FALSE;
  if (!holdsModule_ || !g_module) return FALSE;

  BOOL ok = TRUE;
  holdsModule_ = false;
  if (--g_users == 0) {
    if (standard_ && standard_->C_Finalize(nullptr) != CKR_OK) ok = FALSE;
    if (!::FreeLibrary(g_module)) ok = FALSE;
    g_module = nullptr;
  }
  standard_ = nullptr;
  vendor_ = nullptr;
  return ok;
}

CK_RV CryptokiBinding::FindTokenSlot(const char* serial, CK_SLOT_ID* slot) {
  if (!serial || !slot) return CKR_ARGUMENTS_BAD;
  if (!standard_) return CKR_FUNCTION_FAILED;

  CK_ULONG count = 0;
  CK_RV rv = standard_->C_GetSlotList(CK_TRUE, nullptr, &count);
  if (rv != CKR_OK) return rv;
  if (count == 0) {
    *slot = 0;
    return kNoTokenPresent;
  }
  std::unique_ptr<CK_SLOT_ID[]> slots(new (std::nothrow) CK_SLOT_ID[count]);
  if (!slots) return CKR_HOST_MEMORY;
  *slot = 0;
  rv = standard_->C_GetSlotList(CK_TRUE, slots.get(), &count);
  if (rv != CKR_OK) return rv;

  // The serial is compared upper-cased; work on a copy so the caller's text stays.
  std::unique_ptr<char[]> wanted(new (std::nothrow) char[std::strlen(serial) + 1]);
  if (!wanted) return CKR_HOST_MEMORY;
  std::strcpy(wanted.get(), serial);
  UpperInPlace(wanted.get());

  for (CK_ULONG i = 0; i < count; ++i) {
    CK_TOKEN_INFO info;
    rv = standard_->C_GetTokenInfo(slots[i], &info);
    if (rv != CKR_OK) continue;
    char text[17] = {};
    for (size_t k = 0; k < 16 && info.serialNumber[k]; ++k) text[k] = static_cast<char>(info.serialNumber[k]);
    UpperInPlace(text);
    if (std::strstr(text, wanted.get())) {
      *slot = slots[i];
      break;
    }
  }
  return rv;
}
