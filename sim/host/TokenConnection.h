#pragma once
// The host's hold on its token through the software token library: which slot carries the
// token it shows, its own session while the token is open for the host, and the device PIN,
// which only the host handles.
#include <windows.h>

#include <string>

#include "tokenkit/CryptokiLibrary.h"

class TokenConnection {
 public:
  TokenConnection() = default;
  ~TokenConnection();
  TokenConnection(const TokenConnection&) = delete;
  TokenConnection& operator=(const TokenConnection&) = delete;

  // Loads and initialises the library; on failure *error says why.
  bool start(const std::wstring& libraryPath, std::string* error);
  bool started() const { return library_.p11() != nullptr; }

  // Chooses the token with this serial (any case), or the first token present for an empty
  // serial. False when there is none; the previous choice is kept then.
  bool select(const std::string& serial);
  // Whether the chosen token is still in its slot with the same serial.
  bool present() const;
  bool selected() const { return slot_ != 0; }
  const std::string& serial() const { return serial_; }
  const std::string& label() const { return label_; }
  CK_SLOT_ID slot() const { return slot_; }

  // Opens the host's session: 0, or the mapped Cryptoki failure.
  HRESULT open();
  // Closes it; harmless when none is open or another user closed every session of the slot.
  void close();
  bool isOpen() const { return session_ != 0; }

  // The device PIN's state: 0 when it could be read, else the mapped failure.
  HRESULT devicePinInfo(Q_PIN_INFO* info) const;
  unsigned long changeDevicePin(const std::string& oldPin, const std::string& newPin);
  bool passwordLocked() const;
  // The token's PIN length limits (4 and 64 when they cannot be read).
  void pinLengths(unsigned long* minimum, unsigned long* maximum) const;

 private:
  CryptokiLibrary library_;
  CK_SLOT_ID slot_ = 0;
  std::string serial_;
  std::string label_;
  CK_SESSION_HANDLE session_ = 0;
};
