#include "TokenConnection.h"

#include <cctype>

#include "ErrorText.h"

namespace {

bool sameSerial(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace

TokenConnection::~TokenConnection() { close(); }

bool TokenConnection::start(const std::wstring& libraryPath, std::string* error) {
  if (!library_.load(libraryPath, error)) return false;
  const CK_RV rv = library_.initialize();
  if (rv != CKR_OK) {
    *error = "the token library refused to start (Cryptoki error " + std::to_string(rv) + ")";
    return false;
  }
  return true;
}

bool TokenConnection::select(const std::string& serial) {
  std::vector<TokenSlot> slots;
  if (library_.listTokens(&slots) != CKR_OK) return false;
  for (const TokenSlot& s : slots) {
    if (s.state != Q_TOKEN_PRESENT || (!serial.empty() && !sameSerial(s.serial, serial))) continue;
    slot_ = s.slot;
    serial_ = s.serial;
    label_ = s.label;
    return true;
  }
  return false;
}

bool TokenConnection::present() const {
  std::vector<TokenSlot> slots;
  if (!slot_ || library_.listTokens(&slots) != CKR_OK) return false;
  for (const TokenSlot& s : slots)
    if (s.slot == slot_) return s.state == Q_TOKEN_PRESENT && s.serial == serial_;
  return false;
}

HRESULT TokenConnection::open() {
  if (!started()) return errortext::fromCryptoki(CKR_CRYPTOKI_NOT_INITIALIZED);
  if (!slot_ || !present()) return errortext::fromCryptoki(CKR_TOKEN_NOT_PRESENT);
  close();
  const CK_RV rv = library_.p11()->C_OpenSession(slot_, CKF_SERIAL_SESSION, nullptr, nullptr, &session_);
  if (rv != CKR_OK) session_ = 0;
  return errortext::fromCryptoki(rv);
}

void TokenConnection::close() {
  if (session_ && library_.p11()) library_.p11()->C_CloseSession(session_);
  session_ = 0;
}

HRESULT TokenConnection::devicePinInfo(Q_PIN_INFO* info) const {
  if (!started()) return errortext::fromCryptoki(CKR_CRYPTOKI_NOT_INITIALIZED);
  if (!slot_) return errortext::fromCryptoki(CKR_TOKEN_NOT_PRESENT);
  return errortext::fromCryptoki(library_.vendor()->Q_GetPinInfo(slot_, Q_PIN_DEVICE, info));
}

unsigned long TokenConnection::changeDevicePin(const std::string& oldPin, const std::string& newPin) {
  if (!started()) return CKR_CRYPTOKI_NOT_INITIALIZED;
  if (!slot_) return CKR_TOKEN_NOT_PRESENT;
  return library_.vendor()->Q_ChangeDevicePin(
      slot_, reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(oldPin.data())), static_cast<CK_ULONG>(oldPin.size()),
      reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(newPin.data())), static_cast<CK_ULONG>(newPin.size()));
}

bool TokenConnection::passwordLocked() const {
  return started() && slot_ && library_.vendor()->Q_GetPinStatus(slot_, Q_PIN_USER) == CKR_PIN_LOCKED;
}

void TokenConnection::pinLengths(unsigned long* minimum, unsigned long* maximum) const {
  *minimum = Q_DEFAULT_MIN_PIN_LEN;
  *maximum = Q_DEFAULT_MAX_PIN_LEN;
  CK_TOKEN_INFO info = {};
  if (!started() || !slot_ || library_.p11()->C_GetTokenInfo(slot_, &info) != CKR_OK) return;
  *minimum = info.ulMinPinLen;
  *maximum = info.ulMaxPinLen;
}
