#pragma once
// The two interfaces a host hands the page through SetObjects, and the window
// message by which it notifies the page. Slot numbers count from 0 at
// QueryInterface; the Reserved slots keep the host's layout and are never
// called by the page.
#include <windows.h>

#include <oaidl.h>
#include <unknwn.h>

// {9B96DB0A-B3CC-47F0-B6E5-63B8FD4322E9}
extern const IID IID_IHostStatus;
// {F07B3017-55AD-4F3A-9942-41F8F32DFCCE}
extern const IID IID_IHostToken;

#define HOST_RESERVED(n) virtual HRESULT STDMETHODCALLTYPE Reserved##n() = 0;

// Host status interface: status texts, busy state, error descriptions, settings.
struct IHostStatus : public IUnknown {
  HOST_RESERVED(3)
  HOST_RESERVED(4)
  HOST_RESERVED(5)
  HOST_RESERVED(6)
  HOST_RESERVED(7)
  virtual HRESULT STDMETHODCALLTYPE SetPageFrame(HWND frame, LONG reserved) = 0;  // 8
  HOST_RESERVED(9)
  HOST_RESERVED(10)
  HOST_RESERVED(11)
  virtual HRESULT STDMETHODCALLTYPE PageActivated(LONG reserved) = 0;  // 12
  virtual HRESULT STDMETHODCALLTYPE EndTokenOperation() = 0;           // 13
  virtual HRESULT STDMETHODCALLTYPE BeginTokenOperation() = 0;         // 14
  HOST_RESERVED(15)
  HOST_RESERVED(16)
  HOST_RESERVED(17)
  HOST_RESERVED(18)
  HOST_RESERVED(19)
  virtual HRESULT STDMETHODCALLTYPE Refresh(BOOL full) = 0;  // 20
  HOST_RESERVED(21)
  HOST_RESERVED(22)
  HOST_RESERVED(23)
  virtual HRESULT STDMETHODCALLTYPE ReportPasswordState(LONG code, LONG tokenId) = 0;  // 24
  virtual HRESULT STDMETHODCALLTYPE GetErrorText(HRESULT code, BSTR* text) = 0;       // 25
  HOST_RESERVED(26)
  virtual HRESULT STDMETHODCALLTYPE ShowStatus(HWND owner, BSTR text, LONG reserved) = 0;  // 27
  virtual HRESULT STDMETHODCALLTYPE HideStatus() = 0;                                     // 28
  virtual HRESULT STDMETHODCALLTYPE QueryRefreshNeeded(LONG* needed) = 0;                 // 29
  virtual HRESULT STDMETHODCALLTYPE GetAutoRegistration(BOOL* enabled, LONG* value) = 0;  // 30
  virtual HRESULT STDMETHODCALLTYPE SetAutoRegistration(BOOL enabled) = 0;                // 31
  virtual HRESULT STDMETHODCALLTYPE IsAutoRegistrationOffered(LONG* offered) = 0;         // 32
};

// Host token interface: opening and closing the host's access to the token,
// the serial number, and every PIN and password entry.
struct IHostToken : public IUnknown {
  HOST_RESERVED(3)
  HOST_RESERVED(4)
  HOST_RESERVED(5)
  HOST_RESERVED(6)
  virtual HRESULT STDMETHODCALLTYPE AttachPage(LONG reserved) = 0;  // 7
  HOST_RESERVED(8)
  virtual HRESULT STDMETHODCALLTYPE CloseToken() = 0;                         // 9
  virtual HRESULT STDMETHODCALLTYPE OpenToken(LONG reserved, LONG flag) = 0;  // 10
  virtual HRESULT STDMETHODCALLTYPE GetSerialNumber(BSTR* serial) = 0;        // 11
  HOST_RESERVED(12)
  HOST_RESERVED(13)
  virtual HRESULT STDMETHODCALLTYPE GetTokenId(LONG* id) = 0;  // 14
  HOST_RESERVED(15)
  HOST_RESERVED(16)
  HOST_RESERVED(17)
  HOST_RESERVED(18)
  HOST_RESERVED(19)
  HOST_RESERVED(20)
  HOST_RESERVED(21)
  HOST_RESERVED(22)
  virtual HRESULT STDMETHODCALLTYPE UpdateTokenStatus() = 0;  // 23
  HOST_RESERVED(24)
  HOST_RESERVED(25)
  HOST_RESERVED(26)
  HOST_RESERVED(27)
  HOST_RESERVED(28)
  HOST_RESERVED(29)
  HOST_RESERVED(30)
  HOST_RESERVED(31)
  virtual HRESULT STDMETHODCALLTYPE ChangeUserPin() = 0;  // 32
  HOST_RESERVED(33)
  HOST_RESERVED(34)
  HOST_RESERVED(35)
  HOST_RESERVED(36)
  HOST_RESERVED(37)
  HOST_RESERVED(38)
  HOST_RESERVED(39)
  HOST_RESERVED(40)
  HOST_RESERVED(41)
  HOST_RESERVED(42)
  HOST_RESERVED(43)
  HOST_RESERVED(44)
  virtual HRESULT STDMETHODCALLTYPE ReportResult(HRESULT openResult) = 0;  // 45
  HOST_RESERVED(46)
  HOST_RESERVED(47)
  virtual HRESULT STDMETHODCALLTYPE AskPasswordChange(BSTR* oldPassword, BSTR* newPassword) = 0;  // 48
  HOST_RESERVED(49)
  HOST_RESERVED(50)
  virtual HRESULT STDMETHODCALLTYPE GetPinState(LONG* first, LONG* second) = 0;  // 51
  HOST_RESERVED(52)
  HOST_RESERVED(53)
  virtual HRESULT STDMETHODCALLTYPE AskPassword(HWND owner, BSTR* password) = 0;  // 54
};

#undef HOST_RESERVED

// Sent by the host to the page's dialog window: wParam = code, lParam = value.
constexpr UINT WM_TOKENPAGE_NOTIFY = WM_USER + 108;
enum : UINT {
  TPN_ENABLE = 3,
  TPN_DISABLE = 4,
  TPN_RESET = 5,
  TPN_PASSWORD_BLOCKED = 7,
  TPN_PASSWORD_UNBLOCKED = 8,
  TPN_REFRESH = 9,
};
