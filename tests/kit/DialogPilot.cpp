#include "kit/DialogPilot.h"

#include "kit/ModalDriver.h"

namespace testkit {

namespace {

DialogPilot* g_pilot = nullptr;
// The owner's own procedure, kept on the owner while it is subclassed.
const char kNextProc[] = "testkit.DialogPilot.next";

}  // namespace

DialogPilot::DialogPilot(Handler& handler, bool hooked) : handler_(handler) {
  g_pilot = this;
  if (hooked) Hook(true);
  watch_ = ::SetTimer(nullptr, 0, 500, &DialogPilot::OnWatch);
}

DialogPilot::~DialogPilot() {
  if (cbt_) ::UnhookWindowsHookEx(cbt_);
  if (watch_) ::KillTimer(nullptr, watch_);
  for (HWND owner : owners_) {
    if (!::IsWindow(owner) || ::GetWindowLongPtrA(owner, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&OwnerProc))
      continue;
    ::SetWindowLongPtrA(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(::RemovePropA(owner, kNextProc)));
  }
  g_pilot = nullptr;
}

bool DialogPilot::Hook(bool on) {
  if (on && !cbt_) {
    // Boxes destroyed while the hook was away were not seen go, and their handles may come again.
    answered_.clear();
    cbt_ = ::SetWindowsHookExA(WH_CBT, &DialogPilot::OnCbt, nullptr, ::GetCurrentThreadId());
    hookFailed_ = hookFailed_ || !cbt_;
  } else if (!on && cbt_) {
    ::UnhookWindowsHookEx(cbt_);
    cbt_ = nullptr;
  }
  return cbt_ || !on;
}

bool DialogPilot::IsMessageBox(HWND dialog) {
  const auto instance = reinterpret_cast<HMODULE>(::GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
  return IsDialog(dialog) && (!instance || instance == ::GetModuleHandleA("user32.dll"));
}

void DialogPilot::Press(HWND dialog, int id) {
  ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

LRESULT CALLBACK DialogPilot::OnCbt(int code, WPARAM wParam, LPARAM lParam) {
  DialogPilot* pilot = g_pilot;
  if (pilot && code == HCBT_ACTIVATE) pilot->Activated(reinterpret_cast<HWND>(wParam));
  // A new box may be given the handle of one that is gone.
  if (pilot && code == HCBT_DESTROYWND) pilot->answered_.erase(reinterpret_cast<HWND>(wParam));
  if (pilot && code == HCBT_CREATEWND) pilot->handler_.OnCreate(reinterpret_cast<HWND>(wParam));
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK DialogPilot::OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto next = reinterpret_cast<WNDPROC>(::GetPropA(window, kNextProc));
  if (message == WM_ENTERIDLE && wParam == MSGF_DIALOGBOX && g_pilot) g_pilot->Idle(reinterpret_cast<HWND>(lParam));
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(next));
    ::RemovePropA(window, kNextProc);
    if (g_pilot) g_pilot->owners_.erase(window);
  }
  return next ? ::CallWindowProcA(next, window, message, wParam, lParam)
              : ::DefWindowProcA(window, message, wParam, lParam);
}

void CALLBACK DialogPilot::OnWatch(HWND, UINT, UINT_PTR, DWORD) {
  if (g_pilot) g_pilot->Watch();
}

void DialogPilot::Activated(HWND window) {
  if (!IsDialog(window)) return;
  if (!IsMessageBox(window)) {
    Listen(::GetWindow(window, GW_OWNER));
    return;
  }
  // A box is activated again when it comes back on top: it is answered once.
  if (!answered_.insert(window).second) return;
  ++progress_;
  handler_.OnBox(window);
}

bool DialogPilot::Listen(HWND owner) {
  if (!owner) return false;
  if (::GetWindowLongPtrA(owner, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&OwnerProc)) return true;
  if (!::SetPropA(owner, kNextProc, reinterpret_cast<HANDLE>(::GetWindowLongPtrA(owner, GWLP_WNDPROC)))) return false;
  ::SetWindowLongPtrA(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OwnerProc));
  owners_.insert(owner);
  return true;
}

void DialogPilot::Idle(HWND dialog) {
  if (!::IsWindow(dialog) || IsMessageBox(dialog)) return;
  ++progress_;
  handler_.OnIdle(dialog);
}

void DialogPilot::Watch() {
  // The watch fires only from a loop waiting for input; the same dialog in front twice running
  // with nothing done between is one that nobody heard idle.
  HWND front = FrontModal();
  if (!front || progress_ != watched_ || front != stalled_) {
    watched_ = progress_;
    stalled_ = front;
    return;
  }
  ++missed_;
  if (IsMessageBox(front)) {
    answered_.insert(front);
    ++progress_;
    handler_.OnBox(front);
  } else {
    Idle(front);
  }
}

}  // namespace testkit
