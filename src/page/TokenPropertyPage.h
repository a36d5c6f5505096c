#pragma once
// Property-page machinery shared by the module's pages: IPropertyPage, the
// modeless child dialog, the control table, the host connection, the host's
// notifications and the message boxes. A derived page supplies the control
// table, its buttons and its token work.
#include <windows.h>

#include <ocidl.h>

#include <memory>

#include "dialogs/DialogWindow.h"
#include "model/ComPtr.h"
#include "model/ScopedBstr.h"
#include "page/HostInterfaces.h"
#include "server/ComObjectRoot.h"

class SecretBuffer;

// One entry of a page's control table; an id of 0 ends the table.
struct PageControl {
  UINT32 id;
  UINT32 stringId;      // text set at initialisation
  UINT32 states[10];    // states in which the control is active; empty places hold 0
  UINT32 keepVisibility;  // non-zero: state changes enable and disable, never show or hide
  UINT32 alwaysDisabled;
  HWND window;          // filled in by InitControls
};

class TokenPropertyPage : public DialogWindow, public ComObjectRoot, public IPropertyPage {
 protected:
  // Deleted through the last Release only.
  ~TokenPropertyPage() override;

 public:
  virtual void EnableTokenButtons(BOOL enable) = 0;
  virtual PageControl* GetControl(int index) = 0;
  virtual void UpdatePinBlockedLabel();
  virtual void SetState(UINT state, BOOL enable);
  virtual void ResetControls();
  virtual void ShowPasswordBlocked();
  virtual void HidePasswordBlocked();
  virtual void RefreshTokenState();
  virtual void InitControls();
  virtual void OnNotify(WPARAM code, LPARAM value);
  // Connects the host interfaces of the objects given by SetObjects.
  virtual HRESULT OnActivate(HWND parent);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override { return OuterQueryInterface(iid, out); }
  ULONG STDMETHODCALLTYPE AddRef() override { return OuterAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return OuterRelease(); }

  // IPropertyPage
  HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override;
  HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  HRESULT STDMETHODCALLTYPE Deactivate() override;
  HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override;
  HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override;
  HRESULT STDMETHODCALLTYPE Show(UINT cmd) override;
  HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override;
  HRESULT STDMETHODCALLTYPE IsPageDirty() override;
  HRESULT STDMETHODCALLTYPE Apply() override;
  HRESULT STDMETHODCALLTYPE Help(LPCOLESTR dir) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* msg) override;

  // A message box with string `id`; owned by `owner` and captioned with its
  // text, or owned by the page window and captioned with the page title.
  int ShowMessage(UINT id, HWND owner, UINT flags);
  // An error box: string `id` (0: none) with the host's description of
  // `code`, or with the code itself when the host has none. Code 0: the
  // message alone.
  int ShowErrorMessage(UINT id, HRESULT code, HWND owner);

  enum class RefusedText { Password, Path };
  // Why a text cannot be passed on as it was given (a failed SecretBuffer::AssignWide):
  // characters that the ANSI code page lacks, or more than a text buffer holds. Any other
  // status is shown as an error with its code.
  int ShowTextRefused(HRESULT status, HWND owner, RefusedText kind = RefusedText::Password);

  // The host's status text over `owner`: string `id` of the module. Nothing without the host.
  void ShowStatus(UINT id, HWND owner);
  void HideStatus();
  // Asks the host for the PKI storage password over `owner`. S_OK with the password in the ANSI
  // code page; S_FALSE when none came back; else why it cannot be passed on as typed
  // (ShowTextRefused has told the user).
  HRESULT AskPassword(HWND owner, SecretBuffer& password);

  // Null until the first activation connects them.
  IHostStatus* HostStatus() const { return hostStatus_.Get(); }
  IHostToken* HostToken() const { return hostToken_.Get(); }
  UINT TitleId() const { return titleId_; }

 protected:
  TokenPropertyPage(IUnknown* outer, UINT templateId, UINT titleId, UINT helpFileId, UINT docStringId);

  HRESULT InternalQueryInterface(REFIID iid, void** out) override;

  // Enables every control of the table that is not always disabled.
  void EnableControls();
  // Shows or hides one dialog item, when it exists.
  void ShowItem(int id, bool show);

 private:
  static const MessageEntry kMessageMap[];
  LRESULT OnStyleChanging(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnTokenPageNotify(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam);

  // Caption and owner of a message box, by the rule of ShowMessage.
  HWND BoxOwnerAndCaption(HWND owner, char* caption, int capacity);

  ComPtr<IPropertyPageSite> site_;
  std::unique_ptr<ComPtr<IUnknown>[]> objects_;
  ULONG objectCount_ = 0;
  SIZE pageSize_ = {0, 0};
  UINT titleId_;
  UINT helpFileId_;
  UINT docStringId_;
  DWORD helpContext_ = 0;
  BOOL dirty_ = FALSE;
  ComPtr<IHostStatus> hostStatus_;
  ComPtr<IHostToken> hostToken_;
};
