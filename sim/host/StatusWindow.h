#pragma once
// The host's status text: a small window over the owner that stays until it is hidden and
// never blocks; the page keeps working while it shows.
#include <windows.h>

#include <string>

#include "tokenkit/ScopedGdiObject.h"

class StatusWindow {
 public:
  StatusWindow() = default;
  ~StatusWindow();
  StatusWindow(const StatusWindow&) = delete;
  StatusWindow& operator=(const StatusWindow&) = delete;

  // Shows the text over the owner (or replaces the text shown) and paints it at once: the
  // caller goes on with work that does not pump messages.
  void show(HWND owner, const std::wstring& text);
  void hide();
  bool visible() const { return window_ && ::IsWindowVisible(window_); }
  const std::wstring& text() const { return text_; }

 private:
  static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void paint(HWND window);
  SIZE measure(HWND window) const;

  ScopedGdiObject<HFONT> font_;
  HWND window_ = nullptr;
  std::wstring text_;
};
