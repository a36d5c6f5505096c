#include "StepScript.h"

#include <commctrl.h>

#include <cstdlib>
#include <sstream>

#include "HostFrame.h"
#include "Screenshot.h"
#include "tokenkit/WideText.h"

namespace {

constexpr DWORD kGiveUpMs = 30000;
constexpr UINT kPollMs = 200;
constexpr UINT kSettleMs = 300;  // after an action, for the window to draw its result
constexpr int kFailed = 6;

// The window a user would be looking at: the topmost visible, enabled, captioned top-level
// window of this thread (a modal dialog disables its owner).
HWND frontWindow(HWND frame) {
  const DWORD thread = ::GetCurrentThreadId();
  for (HWND w = ::GetTopWindow(nullptr); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
    if (::GetWindowThreadProcessId(w, nullptr) != thread || !::IsWindowVisible(w) || !::IsWindowEnabled(w)) continue;
    if ((::GetWindowLongPtrW(w, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) return w;
  }
  return frame;
}

std::string caption(HWND window) {
  wchar_t text[256] = L"";
  ::GetWindowTextW(window, text, 256);
  return widetext::toUtf8(text);
}

BOOL CALLBACK findListView(HWND child, LPARAM found) {
  wchar_t name[64];
  if (::GetClassNameW(child, name, 64) && ::lstrcmpiW(name, WC_LISTVIEWW) == 0) {
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
  }
  return TRUE;
}

bool number(const std::string& text, unsigned long* value) {
  if (text.empty() || text[0] == '-') return false;
  char* end = nullptr;
  *value = std::strtoul(text.c_str(), &end, 0);
  return *end == '\0';
}

}  // namespace

bool StepScript::parseLine(const std::string& raw, std::vector<Step>* steps, std::string* error) {
  const size_t first = raw.find_first_not_of(" \t\r");
  if (first == std::string::npos || raw[first] == '#') return true;
  const std::string line = raw.substr(first, raw.find_last_not_of(" \t\r") + 1 - first);
  Step step;
  const size_t space = line.find(' ');
  step.verb = line.substr(0, space);
  std::string rest = space == std::string::npos ? "" : line.substr(line.find_first_not_of(' ', space));
  const bool numbered = step.verb == "wait" || step.verb == "click" || step.verb == "expect-control" ||
                        step.verb == "select" || step.verb == "type";
  if (numbered) {
    const size_t end = rest.find(' ');
    if (!number(rest.substr(0, end), &step.number)) {
      *error = "step \"" + line + "\" needs a number";
      return false;
    }
    rest = end == std::string::npos ? "" : rest.substr(end + 1);
  }
  step.text = rest;
  const bool textual = step.verb == "wait-for" || step.verb == "screenshot";
  if ((numbered && step.verb != "type" && !rest.empty()) || (textual && rest.empty()) ||
      (!numbered && !textual && step.verb != "exit") || (step.verb == "exit" && !rest.empty())) {
    *error = "malformed step \"" + line + "\"";
    return false;
  }
  steps->push_back(step);
  return true;
}

bool StepScript::parseText(const std::string& text, std::vector<Step>* steps, std::string* error) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line))
    if (!parseLine(line, steps, error)) return false;
  return true;
}

int StepScript::fail(const std::string& text) {
  printLine("step " + std::to_string(next_ + 1) + " failed: " + text);
  next_ = steps_.size();
  return kFailed;
}

int StepScript::tick(HWND frame, HWND page, UINT* delayMs) {
  if (next_ >= steps_.size()) return kDone;
  const Step& step = steps_[next_];
  HWND front = frontWindow(frame);
  // The page's controls stand for the frame's: the page is a child dialog inside it.
  HWND scope = (front == frame && page) ? page : front;
  HWND control = ::GetDlgItem(scope, static_cast<int>(step.number));
  HWND list = nullptr;
  ::EnumChildWindows(front, findListView, reinterpret_cast<LPARAM>(&list));

  bool ready = true;
  if (step.verb == "wait-for") ready = caption(front) == step.text;
  else if (step.verb == "click") ready = control && ::IsWindowEnabled(control);
  else if (step.verb == "expect-control" || step.verb == "type") ready = control != nullptr;
  else if (step.verb == "select") ready = list && ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > static_cast<LRESULT>(step.number);
  if (!ready) {
    const DWORD now = ::GetTickCount();
    if (!waitingSince_) waitingSince_ = now ? now : 1;
    if (now - waitingSince_ < kGiveUpMs) {
      *delayMs = kPollMs;
      return kContinue;
    }
    return fail("\"" + step.verb + " " + (step.text.empty() ? std::to_string(step.number) : step.text) +
                "\" found nothing to act on; the window in front is \"" + caption(front) + "\"");
  }
  waitingSince_ = 0;
  *delayMs = kSettleMs;
  if (step.verb == "wait") {
    *delayMs = step.number;
  } else if (step.verb == "click") {
    ::PostMessageW(::GetParent(control), WM_COMMAND, MAKEWPARAM(step.number, BN_CLICKED), reinterpret_cast<LPARAM>(control));
  } else if (step.verb == "select") {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(list, LVM_SETITEMSTATE, step.number, reinterpret_cast<LPARAM>(&item));
    ::SendMessageW(list, LVM_ENSUREVISIBLE, step.number, FALSE);
  } else if (step.verb == "type") {
    ::SetWindowTextW(control, widetext::fromUtf8(step.text).c_str());
  } else if (step.verb == "screenshot") {
    std::string error;
    if (!screenshot::save(screenshot::hostArea(frame), widetext::fromUtf8(step.text), &error)) return fail(error);
    printLine("screenshot: " + step.text);
  } else if (step.verb == "exit") {
    next_ = steps_.size();
    return 0;
  }
  ++next_;
  return kContinue;
}
