#pragma once
// The host's own settings in the registry, under HKEY_CURRENT_USER:
//   "AutoRegistration" (REG_DWORD): automatic certificate registration enabled; default 1.
//   "OfferAutoRegistration" (REG_DWORD): whether the page offers that setting; default 1.
#include <windows.h>

#include <string>

class HostSettings {
 public:
  static const wchar_t kDefaultKey[];

  explicit HostSettings(std::wstring keyPath = kDefaultKey) : keyPath_(std::move(keyPath)) {}

  const std::wstring& keyPath() const { return keyPath_; }

  bool autoRegistrationEnabled() const { return readFlag(L"AutoRegistration", true); }
  // ERROR_SUCCESS or the registry's error.
  LONG setAutoRegistrationEnabled(bool enabled) { return writeFlag(L"AutoRegistration", enabled); }

  bool autoRegistrationOffered() const { return readFlag(L"OfferAutoRegistration", true); }
  LONG setAutoRegistrationOffered(bool offered) { return writeFlag(L"OfferAutoRegistration", offered); }

 private:
  bool readFlag(const wchar_t* name, bool fallback) const;
  LONG writeFlag(const wchar_t* name, bool value);

  std::wstring keyPath_;
};
