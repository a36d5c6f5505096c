#pragma once
// A page set up the way a host sets it up: a frame window with a child area,
// the fake host, and the page created through the module's class factory,
// given the host's site and objects and activated in the child area.
#include <ocidl.h>
#include <windows.h>

#include <functional>
#include <string>

#include "kit/FakeHost.h"
#include "kit/ModuleUnderTest.h"

namespace testkit {

class PageHarness {
 public:
  using Factory = std::function<HRESULT(IUnknown* outer, REFIID iid, void** out)>;

  // Pages from the module's class factory; the module must outlive the harness.
  explicit PageHarness(const ModuleUnderTest& module);
  // Pages from another creation function (a page class linked into the test).
  explicit PageHarness(Factory factory);
  // Deactivates and releases the page (when still held) and destroys the windows.
  ~PageHarness();
  PageHarness(const PageHarness&) = delete;
  PageHarness& operator=(const PageHarness&) = delete;

  // False when the host windows could not be made (no display): fail at once.
  bool Ready() const { return frame_ && parent_; }

  HRESULT Create();
  // SetPageSite, then SetObjects with the first `objects` of (status, token).
  HRESULT Connect(ULONG objects = 2);
  // Activate in the child area, at `rect` of it.
  HRESULT Activate(const RECT& rect = RECT{0, 0, 420, 300});
  // Create, Connect and Activate; the first failure.
  HRESULT Open();
  // Deactivates and drops the harness's reference to the page.
  void Release();

  IPropertyPage* page() const { return page_; }
  HWND frame() const { return frame_; }    // what the host knows as its frame
  HWND parent() const { return parent_; }  // the window given to Activate
  // The page's dialog: the dialog child of the parent window, or null.
  HWND PageWindow() const { return parent_ ? ::FindWindowExA(parent_, nullptr, "#32770", nullptr) : nullptr; }
  HWND Item(int id) const { return ::GetDlgItem(PageWindow(), id); }
  // The item's own WS_VISIBLE bit (the page is created hidden, so IsWindowVisible would not tell).
  bool ItemShown(int id) const { return Item(id) && (::GetWindowLongA(Item(id), GWL_STYLE) & WS_VISIBLE); }
  bool ItemEnabled(int id) const { return Item(id) && ::IsWindowEnabled(Item(id)); }
  std::string ItemText(int id) const;
  // The window's rectangle in `in`'s client coordinates.
  static RECT RectIn(HWND window, HWND in);
  // A control rectangle in the page's dialog units, in client pixels as the dialog manager places it.
  RECT DialogUnits(int left, int top, int width, int height) const;

  // What the host's sheet does: a button click, a notification.
  LRESULT Click(int id) const;
  LRESULT Notify(WPARAM code, LPARAM value) const;

  FakeHost host;

 private:
  Factory factory_;
  HWND frame_ = nullptr;
  HWND parent_ = nullptr;
  IPropertyPage* page_ = nullptr;
};

}  // namespace testkit
