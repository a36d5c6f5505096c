#include "DialogPilot.h"

#include <cstdio>

#include "ImportProfile.h"
#include "PaintProfile.h"

namespace {

DialogPilot* g_pilot = nullptr;
// The static that holds a message box's text.
const int kBoxText = 0xFFFF;

// Message boxes are dialogs of no module or of user32 (Wine makes them with the caller's null
// instance); the page's dialogs belong to its module. Other dialogs use id 0xFFFF for labels too.
bool IsMessageBox(HWND dialog) {
  char name[16] = "";
  ::GetClassNameA(dialog, name, sizeof name);
  const auto instance = reinterpret_cast<HMODULE>(::GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
  return std::string(name) == "#32770" && (!instance || instance == ::GetModuleHandleA("user32.dll"));
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

bool DialogPilot::Attach(HWND owner, bool always) {
  g_pilot = this;
  owner_ = owner;
  always_ = always;
  ownerProc_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DialogPilot::OwnerProc)));
  watch_ = ::SetTimer(nullptr, 0, 5000, &DialogPilot::OnWatch);
  return ownerProc_ && (!always || Hook()) && watch_;
}

bool DialogPilot::Hook() {
  if (!cbt_) cbt_ = ::SetWindowsHookExA(WH_CBT, &DialogPilot::OnCbt, nullptr, ::GetCurrentThreadId());
  hookFailed_ = hookFailed_ || !cbt_;
  return cbt_ != nullptr;
}

void DialogPilot::Answer(int button) {
  Hook();
  answers_.push_back(button);
}

DialogPilot::~DialogPilot() {
  if (cbt_) ::UnhookWindowsHookEx(cbt_);
  if (watch_) ::KillTimer(nullptr, watch_);
  if (ownerProc_ && ::IsWindow(owner_))
    ::SetWindowLongPtrA(owner_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ownerProc_));
  g_pilot = nullptr;
}

void DialogPilot::Press(HWND dialog, int id) {
  ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

std::string DialogPilot::Finish() {
  std::string problems;
  if (hookFailed_ || !ownerProc_) problems += "the dialog hook or the owner's subclass is missing; ";
  if (!answers_.empty()) problems += std::to_string(answers_.size()) + " message box(es) never shown; ";
  if (!steps_.empty()) problems += std::to_string(steps_.size()) + " dialog step(s) never run; ";
  for (const std::string& what : unexpected_) problems += "unexpected " + what + "; ";
  if (cbt_ && !always_) {
    ::UnhookWindowsHookEx(cbt_);
    cbt_ = nullptr;
  }
  answers_.clear();
  steps_.clear();
  boxes_.clear();
  answered_.clear();
  unexpected_.clear();
  return problems;
}

LRESULT CALLBACK DialogPilot::OnCbt(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && g_pilot) g_pilot->Activated(reinterpret_cast<HWND>(wParam));
  if (code == HCBT_CREATEWND) PaintProfile::Created(reinterpret_cast<HWND>(wParam));
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK DialogPilot::OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogPilot* pilot = g_pilot;
  if (!pilot) return ::DefWindowProcA(window, message, wParam, lParam);
  const WNDPROC next = pilot->ownerProc_;
  if (message == WM_ENTERIDLE && wParam == MSGF_DIALOGBOX) pilot->Idle(reinterpret_cast<HWND>(lParam));
  return ::CallWindowProcA(next, window, message, wParam, lParam);
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

void DialogPilot::Activated(HWND box) {
  // A box is activated after its dialog has been initialised; again when it comes back on top.
  if (!IsMessageBox(box) || !answered_.insert(box).second) return;
  const std::string shown = TextOf(::GetDlgItem(box, kBoxText));
  if (answers_.empty()) {
    unexpected_.push_back("message box \"" + shown + "\"");
    Press(box, ::GetDlgItem(box, IDCANCEL) ? IDCANCEL : IDOK);
    return;
  }
  boxes_.push_back(shown);
  Press(box, answers_.front());
  answers_.pop_front();
}

void DialogPilot::Idle(HWND dialog) {
  if (!::IsWindow(dialog) || IsMessageBox(dialog)) return;
  // What the loop would paint next is painted now, so a step sees the dialog as the user does.
  ImportProfile::Mark("idle");
  ::RedrawWindow(dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  ImportProfile::Mark("painted");
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
