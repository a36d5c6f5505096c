#include "HandleCounters.h"

#include "LibraryClock.h"

#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <set>

namespace {

std::set<HCERTSTORE> g_stores;
std::set<PCCERT_CONTEXT> g_created;

decltype(&::CertOpenStore) g_openStore = nullptr;
decltype(&::CertCloseStore) g_closeStore = nullptr;
decltype(&::CertCreateCertificateContext) g_createContext = nullptr;
decltype(&::CertFreeCertificateContext) g_freeContext = nullptr;

double g_storeMs = 0;
long g_storeCalls = 0;
HCERTSTORE WINAPI OpenStore(LPCSTR provider, DWORD encoding, HCRYPTPROV_LEGACY prov, DWORD flags, const void* para) {
  const int64_t t = TickNow();
  HCERTSTORE store = g_openStore(provider, encoding, prov, flags, para);
  g_storeMs += Milliseconds(TickNow() - t); ++g_storeCalls;
  if (store && provider == CERT_STORE_PROV_SYSTEM_W && para && ::lstrcmpiW(static_cast<const wchar_t*>(para), L"MY") == 0)
    g_stores.insert(store);
  return store;
}

BOOL WINAPI CloseStore(HCERTSTORE store, DWORD flags) {
  g_stores.erase(store);
  const int64_t t = TickNow();
  BOOL r = g_closeStore(store, flags);
  g_storeMs += Milliseconds(TickNow() - t);
  return r;
}

PCCERT_CONTEXT WINAPI CreateContext(DWORD encoding, const BYTE* data, DWORD size) {
  PCCERT_CONTEXT context = g_createContext(encoding, data, size);
  if (context) g_created.insert(context);
  return context;
}

BOOL WINAPI FreeContext(PCCERT_CONTEXT context) {
  g_created.erase(context);
  return g_freeContext(context);
}

// Replaces the import `name` of `dll` in `module`'s import table; the original, or null.
void* PatchImport(HMODULE module, const char* dll, const char* name, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return nullptr;
  for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); entry->Name; ++entry) {
    if (::lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
    auto* bound = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++bound) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) continue;
      void* original = reinterpret_cast<void*>(bound->u1.Function);
      DWORD protection = 0;
      if (!::VirtualProtect(&bound->u1.Function, sizeof(void*), PAGE_READWRITE, &protection)) return nullptr;
      bound->u1.Function = reinterpret_cast<uintptr_t>(replacement);
      ::VirtualProtect(&bound->u1.Function, sizeof(void*), protection, &protection);
      return original;
    }
  }
  return nullptr;
}

template <typename Fn>
bool Patch(HMODULE page, const char* name, Fn replacement, Fn& original) {
  original = reinterpret_cast<Fn>(PatchImport(page, "crypt32.dll", name, reinterpret_cast<void*>(replacement)));
  return original != nullptr;
}

}  // namespace

bool HandleCounters::Install(HMODULE page) {
  return Patch(page, "CertOpenStore", &OpenStore, g_openStore) &&
         Patch(page, "CertCloseStore", &CloseStore, g_closeStore) &&
         Patch(page, "CertCreateCertificateContext", &CreateContext, g_createContext) &&
         Patch(page, "CertFreeCertificateContext", &FreeContext, g_freeContext);
}

long HandleCounters::OpenStores() { return static_cast<long>(g_stores.size()); }

long HandleCounters::LiveRecords() { return static_cast<long>(g_created.size()); }

// ---- where the page's own time goes: its calls to the system, timed through its import table ----
#include <map>
#include <string>
#include "LibraryClock.h"

namespace {

struct Spent {
  double ms = 0;
  long calls = 0;
};
std::map<std::string, Spent> g_spent;

template <int N, typename Fn>
struct Timed;
template <int N, typename R, typename... A>
struct Timed<N, R(WINAPI*)(A...)> {
  static inline R(WINAPI* original)(A...) = nullptr;
  static inline const char* name = nullptr;
  static R WINAPI Call(A... args) {
    const int64_t start = TickNow();
    R result = original(args...);
    Spent& spent = g_spent[name];
    spent.ms += Milliseconds(TickNow() - start);
    ++spent.calls;
    return result;
  }
};

decltype(&::SendMessageA) g_send = nullptr;
LRESULT WINAPI Send(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  const int64_t start = TickNow();
  LRESULT r = g_send(w, m, wp, lp);
  char key[32];
  std::snprintf(key, sizeof key, "SendMessageA 0x%04X", m);
  Spent& spent = g_spent[key];
  spent.ms += Milliseconds(TickNow() - start);
  ++spent.calls;
  return r;
}

template <int N, typename Fn>
void Time(HMODULE page, const char* dll, const char* name, Fn) {
  using T = Timed<N, Fn>;
  T::name = name;
  T::original = reinterpret_cast<Fn>(PatchImport(page, dll, name, reinterpret_cast<void*>(&T::Call)));
  if (!T::original) std::printf("profile: no import %s\n", name);
}
#define TIME(dll, fn) Time<__COUNTER__>(page, dll, #fn, &::fn)

}  // namespace

void ProfileImports(HMODULE page) {
  TIME("crypt32.dll", CertFindCertificateInStore);
  TIME("crypt32.dll", CertNameToStrA);
  TIME("crypt32.dll", CertGetEnhancedKeyUsage);
  TIME("crypt32.dll", CryptFindOIDInfo);
  TIME("crypt32.dll", CertGetCertificateContextProperty);
  TIME("advapi32.dll", CryptAcquireContextA);
  TIME("advapi32.dll", CryptSetProvParam);
  TIME("advapi32.dll", CryptReleaseContext);
  g_send = reinterpret_cast<decltype(g_send)>(PatchImport(page, "user32.dll", "SendMessageA", reinterpret_cast<void*>(&Send)));
  TIME("user32.dll", DialogBoxParamA);
  TIME("user32.dll", LoadStringA);
  TIME("kernel32.dll", FileTimeToLocalFileTime);
}

void PrintProfile() {
  std::printf("  %-36s %6ld calls %9.1f ms\n", "CertOpenStore+CertCloseStore", g_storeCalls, g_storeMs);
  g_storeMs = 0; g_storeCalls = 0;
  for (const auto& [name, spent] : g_spent) std::printf("  %-36s %6ld calls %9.1f ms\n", name.c_str(), spent.calls, spent.ms);
  g_spent.clear();
}
