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

  // Offers one message to the handlers of the object's message maps, in the order the maps were
  // given; TRUE when a handler took it, with its result.
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
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  enum MapKind : UINT { MapMessage, MapCommand, MapNotify };
  // Matches any notification code of a command entry.
  static constexpr UINT AnyCode = 0xFFFFFFFFu;

  // A handler of a class below this one. DialogWindow is a non-virtual base of every such class,
  // so its handler converts to this type and is called on the object that gave the map.
  using Handler = LRESULT (DialogWindow::*)(UINT message, WPARAM wParam, LPARAM lParam);

  // One row of a class's message map: a message, a command (control id and
  // notification code) or a WM_NOTIFY (control id and code), and its handler.
  struct MessageEntry {
    MapKind kind;
    UINT key;   // the message, or the control id
    UINT code;  // notification code of a command or notify entry
    Handler handler;
  };

  template <typename T>
  static constexpr MessageEntry OnMessage(UINT message, LRESULT (T::*handler)(UINT, WPARAM, LPARAM)) {
    return MessageEntry{MapMessage, message, 0, static_cast<Handler>(handler)};
  }
  template <typename T>
  static constexpr MessageEntry OnCommand(UINT id, UINT code, LRESULT (T::*handler)(UINT, WPARAM, LPARAM)) {
    return MessageEntry{MapCommand, id, code, static_cast<Handler>(handler)};
  }
  template <typename T>
  static constexpr MessageEntry OnNotify(UINT id, UINT code, LRESULT (T::*handler)(UINT, WPARAM, LPARAM)) {
    return MessageEntry{MapNotify, id, code, static_cast<Handler>(handler)};
  }

  // A dialog of template `templateId` whose messages go to the dialog manager alone.
  explicit DialogWindow(UINT templateId) : templateId_(templateId) {}
  // A dialog of template `templateId` whose messages go to the handlers of `map` first.
  template <size_t N>
  DialogWindow(UINT templateId, const MessageEntry (&map)[N]) : templateId_(templateId) {
    ExtendMessageMap(map);
  }
  // A class below one that gave its map adds its own, searched after that one.
  template <size_t N>
  void ExtendMessageMap(const MessageEntry (&map)[N]) {
    AddMap(map, N);
  }

 private:
  static constexpr int kMaxMaps = 2;
  struct MapRange {
    const MessageEntry* entries;
    size_t count;
  };

  void AddMap(const MessageEntry* entries, size_t count);
  static bool Matches(const MessageEntry& entry, UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  HWND window_ = nullptr;
  bool modal_ = false;
  MapRange maps_[kMaxMaps] = {};
  int mapCount_ = 0;
};
