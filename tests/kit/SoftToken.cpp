#include "kit/SoftToken.h"

#include <gtest/gtest.h>

#include <sstream>

#include "kit/Paths.h"

namespace testkit {

namespace {
// The text as the library takes it; the library only reads it.
CK_UTF8CHAR_PTR Utf8(const std::string& text) {
  return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(text.data()));
}
}  // namespace

SoftToken::SoftToken() {
  dir_ = MakeTempDir(L"token");
  ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_DIR", dir_.c_str());
  module_ = ::LoadLibraryW((BinDir() + L"ZeltP11.dll").c_str());
  if (!module_) return;
  auto getList = reinterpret_cast<CK_C_GetFunctionList>(
      reinterpret_cast<void*>(::GetProcAddress(module_, "C_GetFunctionList")));
  auto getVendor = reinterpret_cast<CK_Q_GetFunctionList>(
      reinterpret_cast<void*>(::GetProcAddress(module_, "Q_GetFunctionList")));
  if (getList) getList(&standard_);
  if (getVendor) getVendor(&vendor_);
  if (vendor_) vendor_->Q_ResetTestHooks();
  EnsureInitialized();
}

SoftToken::~SoftToken() {
  if (vendor_) {
    vendor_->Q_ResetTestHooks();
    vendor_->Q_TraceControl(Q_TRACE_OFF | Q_TRACE_CLEAR);
  }
  if (standard_) standard_->C_Finalize(nullptr);
  ReleaseLibrary();
  RemoveTree(dir_);
}

void SoftToken::ReleaseLibrary() {
  // The function lists live in the module: they go with it.
  standard_ = nullptr;
  vendor_ = nullptr;
  if (module_) ::FreeLibrary(module_);
  module_ = nullptr;
}

void SoftToken::EnsureInitialized() {
  if (!standard_) return;
  CK_C_INITIALIZE_ARGS args = {};
  args.flags = CKF_OS_LOCKING_OK;
  standard_->C_Initialize(&args);
}

CK_RV SoftToken::CreateToken(CK_SLOT_ID slot, const std::string& serial, const std::string& userPin,
                             const std::string& devicePin, const std::string& label) {
  if (!ready()) return CKR_GENERAL_ERROR;
  EnsureInitialized();
  static const std::string kSoPin = "security-officer";
  // No device PUK; the limits and PIN lengths left at zero, the library's defaults.
  Q_TOKEN_PARAMS p = {Utf8(serial), serial.size(), Utf8(label), label.size(), Utf8(kSoPin), kSoPin.size(),
                      Utf8(userPin), userPin.size(), Utf8(devicePin), devicePin.size(), nullptr, 0, 0, 0, 0, 0, 0};
  return vendor_->Q_CreateToken(slot, &p);
}

CK_RV SoftToken::DeleteToken(CK_SLOT_ID slot) {
  EnsureInitialized();
  return vendor_->Q_DeleteToken(slot);
}

void SoftToken::StartTrace() { vendor_->Q_TraceControl(Q_TRACE_ON | Q_TRACE_CLEAR); }

std::vector<std::string> SoftToken::Trace() const {
  std::vector<std::string> lines;
  CK_ULONG len = 0;
  if (vendor_->Q_TraceRead(nullptr, &len) != CKR_OK || len == 0) return lines;
  std::string text(len, '\0');
  if (vendor_->Q_TraceRead(reinterpret_cast<CK_UTF8CHAR_PTR>(&text[0]), &len) != CKR_OK) return lines;
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

std::vector<std::string> SoftToken::Calls(const std::string& function) const {
  std::vector<std::string> out;
  for (const std::string& line : Trace())
    if (line.compare(0, function.size() + 1, function + "(") == 0) out.push_back(line);
  return out;
}

CK_RV SoftToken::Inject(const std::string& function, CK_ULONG nth, CK_RV rv, bool fromThenOn) {
  return vendor_->Q_InjectFailure(Utf8(function), function.size(), nth,
                                  fromThenOn ? Q_INJECT_FROM_ON : Q_INJECT_ONCE, rv);
}

void SoftToken::ResetHooks() { vendor_->Q_ResetTestHooks(); }

bool SoftToken::UserPinIs(CK_SLOT_ID slot, const std::string& pin) {
  EnsureInitialized();
  CK_SESSION_HANDLE s = 0;
  if (standard_->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &s) != CKR_OK) return false;
  const CK_RV rv = standard_->C_Login(s, CKU_USER, Utf8(pin), pin.size());
  if (rv == CKR_OK) standard_->C_Logout(s);
  standard_->C_CloseSession(s);
  return rv == CKR_OK;
}

CK_ULONG SoftToken::SessionCount(CK_SLOT_ID slot) {
  EnsureInitialized();
  CK_TOKEN_INFO info;
  if (standard_->C_GetTokenInfo(slot, &info) != CKR_OK) return static_cast<CK_ULONG>(-1);
  return info.ulSessionCount;
}

CK_ULONG SoftToken::PinFailures(CK_SLOT_ID slot) {
  EnsureInitialized();
  Q_PIN_INFO info = {};
  EXPECT_EQ(CKR_OK, vendor_->Q_GetPinInfo(slot, Q_PIN_USER, &info));
  return info.ulFailures;
}

}  // namespace testkit
