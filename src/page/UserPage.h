#pragma once
// The user property page: the PIN and password group, the certificate group
// and their five buttons.
#include <windows.h>

#include <memory>

#include "cryptoki/CryptokiBinding.h"
#include "model/ScopedBstr.h"
#include "model/SecretBuffer.h"
#include "model/Token.h"
#include "page/TokenPropertyPage.h"

class UserPage : public TokenPropertyPage {
 public:
  static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out);

  explicit UserPage(IUnknown* outer);

  void EnableTokenButtons(BOOL enable) override;
  PageControl* GetControl(int index) override;
  void UpdatePinBlockedLabel() override;
  void ResetControls() override;
  void ShowPasswordBlocked() override;
  void HidePasswordBlocked() override;
  void RefreshTokenState() override;
  HRESULT OnActivate(HWND parent) override;

  // Finds the token's slot again and reports the password state to the host.
  // Quiet: the host does not report a failure to open the token.
  HRESULT RefreshPasswordState(BOOL quiet);
  // Tells the host whether the PKI storage password is locked.
  void ReportPasswordBlocked();
  // Reads the token's certificates into the token model; 0 or a failure code.
  HRESULT ReadCertificates();

  // 0 until a slot holding the page's token was found.
  ULONG SlotId() const { return slotId_; }
  // The token's serial number text as the host last reported it, or null.
  BSTR SerialNumber() const { return serial_.Get(); }
  // Null until the first token operation needed the library.
  CryptokiBinding* Binding() const { return binding_.get(); }
  // The page's token: the certificates that Manage and Import work on.
  Token& TokenModel() { return token_; }

  // One attempt to change the PKI storage password: 0 or a failure code
  // (0xB00100A0 for a wrong old password).
  HRESULT ChangePassword(BSTR oldPassword, BSTR newPassword);

 protected:
  ~UserPage() override;

 private:
  static const MessageEntry kMessageMap[];
  LRESULT OnManage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnChangePassword(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnChangeUserPin(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnImport(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnAutoRegistration(UINT message, WPARAM wParam, LPARAM lParam);

  // Asks the host for the serial number text again and lets it release the token.
  void TakeSerialNumber();
  // Creates the binding when there is none and loads the library; tells the
  // user when it cannot be loaded. S_OK, E_OUTOFMEMORY or E_FAIL.
  HRESULT LoadLibraryOrTell();
  // Finds the slot of the held serial number text (slot id 0 when none);
  // the mapped Cryptoki status.
  HRESULT FindSlot();
  // The held serial number text in the ANSI code page (null stays null).
  HRESULT SerialText(SecretBuffer& serial) const;

  static const int kControlCount = 10;
  PageControl controls_[kControlCount];
  ULONG slotId_ = 0;
  ScopedBstr serial_;
  std::unique_ptr<CryptokiBinding> binding_;
  // Declared after the binding it uses, so it is destroyed first: its session
  // is closed before Cryptoki is finalised.
  Token token_;
};
