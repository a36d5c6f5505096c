#pragma once
// What the host's interface objects share: the token connection, the settings, the prompt
// answers, the status window, and the windows of the frame that shows the page.
#include <windows.h>

#include <string>

#include "AnswerBook.h"
#include "HostSettings.h"
#include "StatusWindow.h"
#include "TokenConnection.h"

class HostContext {
 public:
  // The page's states for TPN_ENABLE and TPN_DISABLE: its controls are active in states 1
  // and 2; the host uses 1 for a token that is there and 3 for none.
  static constexpr LPARAM kStateReady = 1;
  static constexpr LPARAM kStateNoToken = 3;

  TokenConnection token;
  HostSettings settings;
  AnswerBook answers;
  StatusWindow status;
  std::string serialFilter;         // the --serial the host was started with
  bool offerAutoRegistration = true;

  HWND frame = nullptr;      // the top-level window
  HWND pageArea = nullptr;   // the window given to the page's Activate
  HWND pageFrame = nullptr;  // what the page reported through SetPageFrame
  HWND header = nullptr;     // the token line above the tab
  HWND statusBar = nullptr;
  HWND buttons[3] = {};      // OK, Cancel, Apply

  // The page's dialog window, or null while the page shows none.
  HWND pageWindow() const;
  // WM_TOKENPAGE_NOTIFY to the page at once (Send) or after the current work (Post).
  void sendToPage(UINT code, LPARAM value) const;
  void postToPage(UINT code, LPARAM value) const;
  // TPN_ENABLE with kStateReady, or TPN_DISABLE with kStateNoToken, after the current work.
  void postTokenState() const;

  // Looks at the token again (choosing one when none was chosen yet) and shows what it finds.
  // S_OK when the token is there; `full` also asks the page to refresh its token state.
  HRESULT refresh(bool full);
  // Whether the token changed (removed, inserted, another one) since the last look.
  bool refreshNeeded();
  void beginOperation();
  void endOperation();
  void passwordStateReported(bool blocked);

  // "SERIAL (label)" or "SERIAL".
  std::wstring tokenName() const;
  // A top-level window to own a prompt: the given window's root, else the frame.
  HWND ownerFor(HWND given) const;
  // A message box of the host, captioned "Token Utility"; hides the status text first.
  int message(HWND owner, const std::wstring& text, UINT flags);
  void updateHeader();

 private:
  void setStatusBarText(const std::wstring& text) const;

  int busy_ = 0;
  bool seenPresent_ = false;
  std::string seenSerial_;
  bool passwordBlocked_ = false;
};
