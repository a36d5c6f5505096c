#include "HandleCounters.h"

#include <wincrypt.h>

#include <set>

#include "ImportTable.h"

namespace {

std::set<HCERTSTORE> g_stores;
std::set<PCCERT_CONTEXT> g_created;

decltype(&::CertOpenStore) g_openStore = nullptr;
decltype(&::CertCloseStore) g_closeStore = nullptr;
decltype(&::CertCreateCertificateContext) g_createContext = nullptr;
decltype(&::CertFreeCertificateContext) g_freeContext = nullptr;

HCERTSTORE WINAPI OpenStore(LPCSTR provider, DWORD encoding, HCRYPTPROV_LEGACY prov, DWORD flags, const void* para) {
  HCERTSTORE store = g_openStore(provider, encoding, prov, flags, para);
  if (store && provider == CERT_STORE_PROV_SYSTEM_W && para && ::lstrcmpiW(static_cast<const wchar_t*>(para), L"MY") == 0)
    g_stores.insert(store);
  return store;
}

BOOL WINAPI CloseStore(HCERTSTORE store, DWORD flags) {
  g_stores.erase(store);
  return g_closeStore(store, flags);
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

template <typename Fn>
bool Patch(HMODULE page, const char* name, Fn replacement, Fn& original) {
  original = reinterpret_cast<Fn>(ImportTable::Patch(page, "crypt32.dll", name, reinterpret_cast<void*>(replacement)));
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

