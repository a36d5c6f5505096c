#pragma once
// Base of every dialog of the module: a dialog created from a template of the
// module, modeless (Create) or modal (Run), whose messages reach the object
// through a table of handlers. The object is found again from DWLP_USER, set
// at WM_INITDIALOG; messages before that go to the dialog manager alone.
#include <windows.h>

#include <cstddef>

class DialogWindow {
 public:
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  // Offers one message to the object; TRUE when a handler took it, with its result.
  virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  virtual DLGPROC GetDialogProc();
  // Called after WM_NCDESTROY, when the object no longer has a window.
  virtual void OnFinalMessage(HWND window);
  virtual ~DialogWindow();

  // A modeless dialog; its WM_INITDIALOG runs before this returns. Null on failure.
  HWND Create(HWND parent);
  // A modal dialog owned by `owner`, centred over it; the value given to EndDialog, or -1.
  INT_PTR Run(HWND owner);
  // Destroys a modeless dialog.
  void Destroy();
  // Destroys the window without any further message reaching the object.
  void DestroyDetached();

  HWND Window() const { return window_; }
  HWND Item(int id) const { return ::GetDlgItem(window_, id); }
  UINT TemplateId() const { return templateId_; }

  // Centres the window over its owner; over the work area when the owner is
  // missing, hidden or minimised; then pulls it back inside the work area.
  static void CenterOverOwner(HWND window);

 protected:
  explicit DialogWindow(UINT templateId) : templateId_(templateId) {}

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  enum MapKind : UINT { MapMessage, MapCommand, MapNotify };
  // Matches any notification code of a command entry.
  static constexpr UINT AnyCode = 0xFFFFFFFFu;

  // One row of a class's message map: a message, a command (control id and
  // notification code) or a WM_NOTIFY (control id and code), and its handler.
  template <typename T>
  struct MessageEntry {
    MapKind kind;
    UINT key;   // the message, or the control id
    UINT code;  // notification code of a command or notify entry
    LRESULT (T::*handler)(UINT message, WPARAM wParam, LPARAM lParam);
  };

  template <typename T>
  static constexpr MessageEntry<T> OnMessage(UINT message, LRESULT (T::*handler)(UINT, WPARAM, LPARAM)) {
    return MessageEntry<T>{MapMessage, message, 0, handler};
  }
  template <typename T>
  static constexpr MessageEntry<T> OnCommand(UINT id, UINT code, LRESULT (T::*handler)(UINT, WPARAM, LPARAM)) {
    return MessageEntry<T>{MapCommand, id, code, handler};
  }
  template <typename T>
  static constexpr MessageEntry<T> OnNotify(UINT id, UINT code, LRESULT (T::*handler)(UINT, WPARAM, LPARAM)) {
    return MessageEntry<T>{MapNotify, id, code, handler};
  }

  // Runs the first handler of `map` that matches; FALSE when none does.
  template <typename T, size_t N>
  static BOOL DispatchMap(T* self, const MessageEntry<T> (&map)[N], UINT message, WPARAM wParam, LPARAM lParam,
                          LRESULT& result) {
    for (const MessageEntry<T>& entry : map) {
      if (!Matches(entry.kind, entry.key, entry.code, message, wParam, lParam)) continue;
      result = (self->*entry.handler)(message, wParam, lParam);
      return TRUE;
    }
    return FALSE;
  }

 private:
  static bool Matches(MapKind kind, UINT key, UINT code, UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  HWND window_ = nullptr;
  bool modal_ = false;
};
