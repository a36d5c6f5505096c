#include "LibraryClock.h"

#include <cstddef>
#include <cstring>

namespace {

LibraryTime g_time;

int g_depth = 0;  // the library calling itself through a list is counted once

// One forwarder per list entry: `Slot` tells the entries apart, the signature comes from the entry's type.
template <int Slot, typename Fn>
struct Forwarder;

template <int Slot, typename... Args>
struct Forwarder<Slot, CK_RV (*)(Args...)> {
  static inline CK_RV (*original)(Args...) = nullptr;
  static CK_RV Call(Args... args) {
    const bool outer = g_depth++ == 0;
    if (outer) ServerMark("zelt> library");
    const int64_t start = outer ? TickNow() : 0;
    const CK_RV rv = original(args...);
    if (outer) {
      ServerMark("zelt< library");
      g_time.ticks += TickNow() - start;
      ++g_time.calls;
    }
    --g_depth;
    return rv;
  }
};

// Replaces the entry at `offset` of a packed list by its forwarder.
template <int Slot, typename Fn>
void Wrap(void* list, size_t offset) {
  using Entry = Forwarder<Slot, Fn>;
  Fn current;
  std::memcpy(&current, static_cast<char*>(list) + offset, sizeof current);
  if (!current || current == &Entry::Call) return;
  Entry::original = current;
  Fn replacement = &Entry::Call;
  std::memcpy(static_cast<char*>(list) + offset, &replacement, sizeof replacement);
}

#define WRAP_STANDARD(name) \
  Wrap<__COUNTER__, CK_##name>(standard, offsetof(CK_FUNCTION_LIST, name))
#define WRAP_VENDOR(name) \
  Wrap<__COUNTER__, CK_##name>(vendor, offsetof(Q_FUNCTION_LIST, name))

// Points the module's export `name` at `replacement` (GetProcAddress then hands out the
// forwarder); the original address, or null when the module has no such export.
void* PatchExport(HMODULE module, const char* name, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (!dir.VirtualAddress) return nullptr;
  auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  auto* names = reinterpret_cast<DWORD*>(base + exports->AddressOfNames);
  auto* ordinals = reinterpret_cast<WORD*>(base + exports->AddressOfNameOrdinals);
  auto* functions = reinterpret_cast<DWORD*>(base + exports->AddressOfFunctions);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    if (std::strcmp(reinterpret_cast<const char*>(base + names[i]), name) != 0) continue;
    DWORD* slot = &functions[ordinals[i]];
    void* original = base + *slot;
    DWORD protection = 0;
    if (!::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) return nullptr;
    // 32-bit addresses: the relative address wraps to the forwarder wherever it lies.
    *slot = static_cast<DWORD>(reinterpret_cast<uintptr_t>(replacement) - reinterpret_cast<uintptr_t>(base));
    ::VirtualProtect(slot, sizeof *slot, protection, &protection);
    return original;
  }
  return nullptr;
}

using GetStandard = Forwarder<1000, CK_C_GetFunctionList>;
using GetVendor = Forwarder<1001, CK_Q_GetFunctionList>;

}  // namespace

int64_t TickNow() {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double LibraryClock::TickSeconds() {
  static const double seconds = [] {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return 1.0 / static_cast<double>(frequency.QuadPart);
  }();
  return seconds;
}

void ServerMark(const char* what) {
  static const bool logged = ::GetEnvironmentVariableA("ZELT_BENCH_SERVER_LOG", nullptr, 0) != 0;
  if (logged) ::RegQueryValueExA(HKEY_CURRENT_USER, what, nullptr, nullptr, nullptr, nullptr);
}

double Milliseconds(int64_t ticks) { return static_cast<double>(ticks) * LibraryClock::TickSeconds() * 1000.0; }

LibraryTime LibraryClock::Now() { return g_time; }

bool LibraryClock::Install(HMODULE module) {
  auto getStandard = reinterpret_cast<CK_C_GetFunctionList>(
      reinterpret_cast<void*>(::GetProcAddress(module, "C_GetFunctionList")));
  auto getVendor = reinterpret_cast<CK_Q_GetFunctionList>(
      reinterpret_cast<void*>(::GetProcAddress(module, "Q_GetFunctionList")));
  CK_FUNCTION_LIST* standard = nullptr;
  Q_FUNCTION_LIST* vendor = nullptr;
  if (!getStandard || !getVendor || getStandard(&standard) != CKR_OK || getVendor(&vendor) != CKR_OK) return false;

  WRAP_STANDARD(C_Initialize);
  WRAP_STANDARD(C_Finalize);
  WRAP_STANDARD(C_GetInfo);
  WRAP_STANDARD(C_GetFunctionList);
  WRAP_STANDARD(C_GetSlotList);
  WRAP_STANDARD(C_GetSlotInfo);
  WRAP_STANDARD(C_GetTokenInfo);
  WRAP_STANDARD(C_InitPIN);
  WRAP_STANDARD(C_SetPIN);
  WRAP_STANDARD(C_OpenSession);
  WRAP_STANDARD(C_CloseSession);
  WRAP_STANDARD(C_CloseAllSessions);
  WRAP_STANDARD(C_GetSessionInfo);
  WRAP_STANDARD(C_Login);
  WRAP_STANDARD(C_Logout);
  WRAP_STANDARD(C_CreateObject);
  WRAP_STANDARD(C_DestroyObject);
  WRAP_STANDARD(C_GetAttributeValue);
  WRAP_STANDARD(C_SetAttributeValue);
  WRAP_STANDARD(C_FindObjectsInit);
  WRAP_STANDARD(C_FindObjects);
  WRAP_STANDARD(C_FindObjectsFinal);
  WRAP_STANDARD(C_GenerateRandom);
  WRAP_STANDARD(C_SignInit);
  WRAP_STANDARD(C_Sign);
  WRAP_STANDARD(C_SignUpdate);
  WRAP_STANDARD(C_SignFinal);
  WRAP_VENDOR(Q_GetVendorInfo);
  WRAP_VENDOR(Q_GetTokenFilePath);
  WRAP_VENDOR(Q_GetPinStatus);
  WRAP_VENDOR(Q_GetPinInfo);
  WRAP_VENDOR(Q_VerifyDevicePin);
  WRAP_VENDOR(Q_ChangeDevicePin);
  WRAP_VENDOR(Q_UnblockDevicePin);
  WRAP_VENDOR(Q_CreateToken);
  WRAP_VENDOR(Q_DeleteToken);
  WRAP_VENDOR(Q_SetPinLock);
  WRAP_VENDOR(Q_ListTokens);
  WRAP_VENDOR(Q_SetPinLimit);

  GetStandard::original = getStandard;
  GetVendor::original = getVendor;
  return PatchExport(module, "C_GetFunctionList", reinterpret_cast<void*>(&GetStandard::Call)) &&
         PatchExport(module, "Q_GetFunctionList", reinterpret_cast<void*>(&GetVendor::Call));
}
