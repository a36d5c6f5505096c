#include "PaintProfile.h"

#include <commctrl.h>

#include <cstdio>
#include <map>
#include <string>

#include "LibraryClock.h"

namespace {

struct Spent {
  long calls = 0;
  double inclusive = 0, exclusive = 0;
};
struct Watched {
  WNDPROC original;
  bool unicode;
};
bool g_installed = false, g_recording = false;
int g_intervals = 0;
std::map<HWND, Watched> g_windows;
std::map<std::string, Spent> g_spent;
int64_t g_nested = 0;  // ticks of timed messages inside the one being timed

const char* NameOf(UINT message, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: return "WM_PAINT";
    case WM_ERASEBKGND: return "WM_ERASEBKGND";
    case WM_NCPAINT: return "WM_NCPAINT";
    case WM_CTLCOLORBTN: return "WM_CTLCOLORBTN";
    case WM_CTLCOLORSTATIC: return "WM_CTLCOLORSTATIC";
    case WM_CTLCOLORDLG: return "WM_CTLCOLORDLG";
    case WM_PRINTCLIENT: return "WM_PRINTCLIENT";
    case WM_NOTIFY:
      if (reinterpret_cast<const NMHDR*>(lParam)->code == static_cast<UINT>(NM_CUSTOMDRAW)) {
        static char stage[40];
        std::snprintf(stage, sizeof stage, "NM_CUSTOMDRAW stage 0x%lX",
                      reinterpret_cast<const NMCUSTOMDRAW*>(lParam)->dwDrawStage);
        return stage;
      }
      return nullptr;
    default: return nullptr;
  }
}

std::string Describe(HWND window) {
  char name[64] = "";
  ::GetClassNameA(window, name, sizeof name);
  char text[96];
  std::snprintf(text, sizeof text, "%s #%d", name, ::GetDlgCtrlID(window));
  return text;
}

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto found = g_windows.find(window);
  if (found == g_windows.end()) return ::DefWindowProcA(window, message, wParam, lParam);
  const Watched watched = found->second;
  if (message == WM_NCDESTROY) g_windows.erase(found);
  const auto call = [&] {
    return watched.unicode ? ::CallWindowProcW(watched.original, window, message, wParam, lParam)
                           : ::CallWindowProcA(watched.original, window, message, wParam, lParam);
  };
  const char* name = g_recording ? NameOf(message, lParam) : nullptr;
  if (!name) return call();
  const std::string key = Describe(window) + " " + name;
  ServerMark(("zelt> " + key).c_str());
  const int64_t outer = g_nested;
  g_nested = 0;
  const int64_t start = TickNow();
  const LRESULT result = call();
  const int64_t spent = TickNow() - start;
  ServerMark(("zelt< " + key).c_str());
  Spent& sum = g_spent[key];
  ++sum.calls;
  sum.inclusive += Milliseconds(spent);
  sum.exclusive += Milliseconds(spent - g_nested);
  g_nested = outer + spent;
  return result;
}

}  // namespace

void PaintProfile::Install() { g_installed = true; }

void PaintProfile::Created(HWND window) {
  if (!g_installed || g_windows.count(window)) return;
  const bool unicode = ::IsWindowUnicode(window) != FALSE;
  const LONG_PTR proc = reinterpret_cast<LONG_PTR>(&Proc);
  const LONG_PTR original = unicode ? ::SetWindowLongPtrW(window, GWLP_WNDPROC, proc)
                                    : ::SetWindowLongPtrA(window, GWLP_WNDPROC, proc);
  if (original) g_windows[window] = Watched{reinterpret_cast<WNDPROC>(original), unicode};
}

void PaintProfile::Begin() {
  g_recording = g_installed;
  g_intervals += g_installed;
}
void PaintProfile::End() { g_recording = false; }

void PaintProfile::Print() {
  if (g_spent.empty()) return;
  std::printf("    paint messages over %d intervals (calls, inclusive ms, exclusive ms):\n", g_intervals);
  for (const auto& [key, spent] : g_spent)
    std::printf("    %-52s %6ld %9.1f %9.1f\n", key.c_str(), spent.calls, spent.inclusive, spent.exclusive);
  g_spent.clear();
  g_intervals = 0;
}
