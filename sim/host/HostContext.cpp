#include "HostContext.h"

#include <commctrl.h>

#include "tokenkit/WideText.h"
#include "page/HostInterfaces.h"

HWND HostContext::pageWindow() const {
  if (!pageArea) return nullptr;
  for (HWND child = ::GetWindow(pageArea, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16] = {};
    ::GetClassNameW(child, name, 16);
    if (std::wstring(name) == L"#32770") return child;
  }
  return nullptr;
}

void HostContext::sendToPage(UINT code, LPARAM value) const {
  if (HWND page = pageWindow()) ::SendMessageW(page, WM_TOKENPAGE_NOTIFY, code, value);
}

void HostContext::postToPage(UINT code, LPARAM value) const {
  if (HWND page = pageWindow()) ::PostMessageW(page, WM_TOKENPAGE_NOTIFY, code, value);
}

void HostContext::postTokenState() const {
  if (token.selected() && token.present())
    postToPage(TPN_ENABLE, kStateReady);
  else
    postToPage(TPN_DISABLE, kStateNoToken);
}

HRESULT HostContext::refresh(bool full) {
  if (!token.present()) token.select(serialFilter);
  seenPresent_ = token.selected() && token.present();
  seenSerial_ = token.serial();
  updateHeader();
  if (full) {
    postTokenState();
    postToPage(TPN_REFRESH, 0);
  }
  return seenPresent_ ? S_OK : static_cast<HRESULT>(0xB00100E0);  // the page's form of CKR_TOKEN_NOT_PRESENT
}

bool HostContext::refreshNeeded() {
  // A token that was inserted (or made) after the start is chosen here.
  if (!token.selected() || !token.present()) token.select(serialFilter);
  const bool present = token.selected() && token.present();
  return present != seenPresent_ || (present && token.serial() != seenSerial_);
}

void HostContext::beginOperation() {
  if (busy_++ == 0) {
    for (HWND b : buttons)
      if (b) ::EnableWindow(b, FALSE);
    setStatusBarText(L"Working with the token...");
  }
}

void HostContext::endOperation() {
  if (busy_ > 0 && --busy_ == 0) {
    for (int i = 0; i < 2; ++i)
      if (buttons[i]) ::EnableWindow(buttons[i], TRUE);
    updateHeader();
  }
}

void HostContext::passwordStateReported(bool blocked) {
  passwordBlocked_ = blocked;
  if (!busy_) updateHeader();
}

std::wstring HostContext::tokenName() const {
  if (!token.selected()) return L"(none)";
  std::wstring name = widetext::fromUtf8(token.serial());
  if (!token.label().empty() && token.label() != token.serial()) name += L" (" + widetext::fromUtf8(token.label()) + L")";
  return name;
}

HWND HostContext::ownerFor(HWND given) const {
  HWND root = given && ::IsWindow(given) ? ::GetAncestor(given, GA_ROOT) : nullptr;
  return root ? root : frame;
}

int HostContext::message(HWND owner, const std::wstring& text, UINT flags) {
  status.hide();
  return ::MessageBoxW(ownerFor(owner), text.c_str(), L"Token Utility", flags);
}

void HostContext::setStatusBarText(const std::wstring& text) const {
  if (statusBar) ::SendMessageW(statusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void HostContext::updateHeader() {
  const bool present = token.selected() && token.present();
  std::wstring line;
  if (!token.started())
    line = L"The token library could not be loaded.";
  else if (!present)
    line = token.selected() ? L"Token " + tokenName() + L" is not connected." : L"No token is connected.";
  else
    line = L"Token: " + tokenName();
  if (header) ::SetWindowTextW(header, line.c_str());
  if (busy_) return;
  std::wstring state = !present ? L"No token." : passwordBlocked_ ? L"Ready. The password of the PKI storage is blocked." : L"Ready.";
  Q_PIN_INFO info = {};
  if (present && token.devicePinInfo(&info) == S_OK && (info.flags & Q_PIN_FLAG_LOCKED))
    state += L" The User PIN is blocked.";
  setStatusBarText(state);
}
