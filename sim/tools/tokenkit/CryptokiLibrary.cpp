#include "tokenkit/CryptokiLibrary.h"

#include "tokenkit/WideText.h"

CryptokiLibrary::~CryptokiLibrary() { finalize(); }

std::wstring CryptokiLibrary::defaultPath() {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p(path, n < MAX_PATH ? n : 0);
  return p.substr(0, p.find_last_of(L"\\/") + 1) + L"ZeltP11.dll";
}

bool CryptokiLibrary::load(const std::wstring& path, std::string* error) {
  module_.reset(::LoadLibraryW(path.c_str()));
  if (!module_) {
    *error = "cannot load the token library " + widetext::toUtf8(path) + " (error " +
             std::to_string(::GetLastError()) + ")";
    return false;
  }
  auto getList = reinterpret_cast<CK_C_GetFunctionList>(
      reinterpret_cast<void*>(::GetProcAddress(module_.get(), "C_GetFunctionList")));
  auto getVendorList = reinterpret_cast<CK_Q_GetFunctionList>(
      reinterpret_cast<void*>(::GetProcAddress(module_.get(), "Q_GetFunctionList")));
  if (!getList || !getVendorList) {
    *error = widetext::toUtf8(path) + " is not the token library: C_GetFunctionList or Q_GetFunctionList is missing";
    return false;
  }
  if (getList(&p11_) != CKR_OK || !p11_ || getVendorList(&vendor_) != CKR_OK || !vendor_) {
    *error = widetext::toUtf8(path) + " refused to give its function lists";
    return false;
  }
  return true;
}

CK_RV CryptokiLibrary::initialize() {
  if (!p11_) return CKR_CRYPTOKI_NOT_INITIALIZED;
  CK_C_INITIALIZE_ARGS args = {};
  args.flags = CKF_OS_LOCKING_OK;
  const CK_RV rv = p11_->C_Initialize(&args);
  if (rv == CKR_OK) initialisedHere_ = true;
  return rv == CKR_CRYPTOKI_ALREADY_INITIALIZED ? CKR_OK : rv;
}

void CryptokiLibrary::finalize() {
  if (initialisedHere_ && p11_) p11_->C_Finalize(nullptr);
  initialisedHere_ = false;
}

CK_RV CryptokiLibrary::listTokens(std::vector<TokenSlot>* slots) const {
  slots->clear();
  if (!vendor_) return CKR_CRYPTOKI_NOT_INITIALIZED;
  CK_ULONG count = 0;
  CK_RV rv = vendor_->Q_ListTokens(nullptr, &count);
  if (rv != CKR_OK) return rv;
  std::vector<Q_TOKEN_ENTRY> entries(count);
  if (count) rv = vendor_->Q_ListTokens(entries.data(), &count);
  if (rv != CKR_OK) return rv;
  entries.resize(count);
  for (const Q_TOKEN_ENTRY& e : entries) {
    TokenSlot s;
    s.slot = e.slotID;
    s.state = e.ulState;
    s.serial = trimPadded(e.serialNumber, sizeof e.serialNumber);
    s.label = trimPadded(e.label, sizeof e.label);
    slots->push_back(s);
  }
  return CKR_OK;
}

std::string CryptokiLibrary::storeFolder() const {
  if (!vendor_) return std::string();
  CK_ULONG length = 0;
  if (vendor_->Q_GetTokenFilePath(1, nullptr, &length) != CKR_OK || length == 0) return std::string();
  std::string path(length, '\0');
  if (vendor_->Q_GetTokenFilePath(1, reinterpret_cast<CK_UTF8CHAR_PTR>(&path[0]), &length) != CKR_OK)
    return std::string();
  path.resize(path.find('\0') == std::string::npos ? path.size() : path.find('\0'));
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string trimPadded(const CK_UTF8CHAR* text, size_t size) {
  std::string s(reinterpret_cast<const char*>(text), size);
  const size_t end = s.find_last_not_of(' ');
  s.resize(end == std::string::npos ? 0 : end + 1);
  const size_t nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  return s;
}
