#include "DialogPilot.h"

#include <cstdio>

namespace {

DialogPilot* g_pilot = nullptr;
// The static that holds a message box's text.
const int kBoxText = 0xFFFF;

// Message boxes are dialogs of user32's own (other dialogs use id 0xFFFF for their labels too).
bool IsMessageBox(HWND dialog) {
  return reinterpret_cast<HMODULE>(::GetWindowLongPtrA(dialog, GWLP_HINSTANCE)) == ::GetModuleHandleA("user32.dll");
}

std::string TextOf(HWND window) {
  char text[1024] = "";
  ::GetWindowTextA(window, text, sizeof text);
  return text;
}

BOOL CALLBACK FrontDialog(HWND window, LPARAM found) {
  char name[16] = "";
  ::GetClassNameA(window, name, sizeof name);
  if (std::string(name) == "#32770" && ::IsWindowVisible(window) && ::IsWindowEnabled(window))
    *reinterpret_cast<HWND*>(found) = window;
  return TRUE;
}

}  // namespace

DialogPilot::DialogPilot() {
  g_pilot = this;
  call_ = ::SetWindowsHookExA(WH_CALLWNDPROC, &DialogPilot::OnCall, nullptr, ::GetCurrentThreadId());
  return_ = ::SetWindowsHookExA(WH_CALLWNDPROCRET, &DialogPilot::OnReturn, nullptr, ::GetCurrentThreadId());
  watch_ = ::SetTimer(nullptr, 0, 5000, &DialogPilot::OnWatch);
}

DialogPilot::~DialogPilot() {
  if (call_) ::UnhookWindowsHookEx(call_);
  if (return_) ::UnhookWindowsHookEx(return_);
  if (watch_) ::KillTimer(nullptr, watch_);
  g_pilot = nullptr;
}

void DialogPilot::Press(HWND dialog, int id) {
  ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

std::string DialogPilot::Finish() {
  std::string problems;
  if (!call_ || !return_) problems += "the dialog hooks could not be installed; ";
  if (!answers_.empty()) problems += std::to_string(answers_.size()) + " message box(es) never shown; ";
  if (!steps_.empty()) problems += std::to_string(steps_.size()) + " dialog step(s) never run; ";
  for (const std::string& what : unexpected_) problems += "unexpected " + what + "; ";
  answers_.clear();
  steps_.clear();
  boxes_.clear();
  unexpected_.clear();
  return problems;
}

LRESULT CALLBACK DialogPilot::OnCall(int code, WPARAM wParam, LPARAM lParam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && g_pilot && sent->message == WM_ENTERIDLE && sent->wParam == MSGF_DIALOGBOX)
    g_pilot->Idle(reinterpret_cast<HWND>(sent->lParam));
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK DialogPilot::OnReturn(int code, WPARAM wParam, LPARAM lParam) {
  const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && g_pilot && sent->message == WM_INITDIALOG) g_pilot->Initialised(sent->hwnd);
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK DialogPilot::OnWatch(HWND, UINT, UINT_PTR, DWORD) {
  DialogPilot* pilot = g_pilot;
  if (!pilot || pilot->steps_.empty() || pilot->progress_ != pilot->watched_) {
    if (pilot) pilot->watched_ = pilot->progress_, pilot->stalls_ = 0;
    return;
  }
  if (++pilot->stalls_ < 2) return;
  // The thread's enabled dialog on top is the one whose loop is running.
  HWND front = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FrontDialog, reinterpret_cast<LPARAM>(&front));
  char owner[32];
  std::snprintf(owner, sizeof owner, "%p", static_cast<void*>(::GetWindow(front, GW_OWNER)));
  pilot->unexpected_.push_back("stall: dialog \"" + TextOf(front) + "\" (owner " + owner + ") never idled");
  pilot->steps_.clear();
  pilot->stalls_ = 0;
  if (front) Press(front, IDCANCEL);
}

void DialogPilot::Initialised(HWND dialog) {
  if (!IsMessageBox(dialog)) return;  // a dialog of the page: its steps run when it idles
  const std::string shown = TextOf(::GetDlgItem(dialog, kBoxText));
  if (answers_.empty()) {
    unexpected_.push_back("message box \"" + shown + "\"");
    Press(dialog, ::GetDlgItem(dialog, IDCANCEL) ? IDCANCEL : IDOK);
    return;
  }
  boxes_.push_back(shown);
  Press(dialog, answers_.front());
  answers_.pop_front();
}

void DialogPilot::Idle(HWND dialog) {
  if (!::IsWindow(dialog) || IsMessageBox(dialog)) return;
  // What the loop would paint next is painted now, so a step sees the dialog as the user does.
  ::RedrawWindow(dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  if (steps_.empty()) {
    unexpected_.push_back("dialog \"" + TextOf(dialog) + "\"");
    Press(dialog, IDCANCEL);
    return;
  }
  ++progress_;
  Step step = std::move(steps_.front());
  steps_.pop_front();
  step(dialog);
}
