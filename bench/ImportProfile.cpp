#include "ImportProfile.h"

#include <commctrl.h>
#include <wincrypt.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ImportTable.h"
#include "LibraryClock.h"

namespace {

struct Spent {
  double ms = 0;
  long calls = 0;
};
struct Event {
  std::string name;
  int depth;
  int64_t start, end, libraryStart, libraryEnd;
};
std::map<std::string, Spent> g_spent;
std::vector<Event> g_timeline;
int64_t g_begin = 0, g_libraryBegin = 0;
int g_depth = 0;
std::string g_missing;  // the wrapped functions that the page does not import
bool g_installed = false;

// Times one call: summed under `name`, and kept in the timeline.
template <typename Call>
auto Timed(const std::string& name, Call call) {
  ServerMark(("zelt> " + name).c_str());
  struct Leave {
    const std::string& name;
    ~Leave() { ServerMark(("zelt< " + name).c_str()); }
  } leave{name};
  const int64_t start = TickNow();
  const int64_t library = LibraryClock::Now().ticks;
  const size_t at = g_timeline.size();
  if (g_timeline.size() < 20000) g_timeline.push_back(Event{name, g_depth, start, 0, library, 0});
  ++g_depth;
  auto result = call();
  --g_depth;
  const int64_t end = TickNow();
  if (at < g_timeline.size()) {
    g_timeline[at].end = end;
    g_timeline[at].libraryEnd = LibraryClock::Now().ticks;
  }
  Spent& spent = g_spent[name];
  spent.ms += Milliseconds(end - start);
  ++spent.calls;
  return result;
}

template <int N, typename Fn>
struct Forwarder;
template <int N, typename R, typename... A>
struct Forwarder<N, R(WINAPI*)(A...)> {
  static inline R(WINAPI* original)(A...) = nullptr;
  static inline const char* name = nullptr;
  static R WINAPI Call(A... args) {
    return Timed(name, [&] { return original(args...); });
  }
};

decltype(&::SendMessageA) g_send = nullptr;
LRESULT WINAPI Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  char name[32];
  std::snprintf(name, sizeof name, "SendMessageA 0x%04X", message);
  return Timed(name, [&] { return g_send(window, message, wParam, lParam); });
}

template <int N, typename Fn>
void Wrap(HMODULE page, const char* dll, const char* name, Fn) {
  using F = Forwarder<N, Fn>;
  F::name = name;
  F::original = reinterpret_cast<Fn>(ImportTable::Patch(page, dll, name, reinterpret_cast<void*>(&F::Call)));
  if (!F::original) g_missing += std::string(" ") + name;
}
#define WRAP(dll, fn) Wrap<__COUNTER__>(page, dll, #fn, &::fn)

}  // namespace

bool ImportProfile::Install(HMODULE page) {
  WRAP("crypt32.dll", CertOpenStore);
  WRAP("crypt32.dll", CertCloseStore);
  WRAP("crypt32.dll", CertCreateCertificateContext);
  WRAP("crypt32.dll", CertFindCertificateInStore);
  WRAP("crypt32.dll", CertNameToStrA);
  WRAP("crypt32.dll", CertNameToStrW);
  WRAP("crypt32.dll", CertGetEnhancedKeyUsage);
  WRAP("crypt32.dll", CryptFindOIDInfo);
  WRAP("crypt32.dll", CertGetCertificateContextProperty);
  WRAP("advapi32.dll", CryptAcquireContextA);
  WRAP("advapi32.dll", CryptSetProvParam);
  WRAP("advapi32.dll", CryptGetProvParam);
  WRAP("advapi32.dll", CryptReleaseContext);
  WRAP("comctl32.dll", ImageList_LoadImageA);
  WRAP("comctl32.dll", InitCommonControlsEx);
  WRAP("user32.dll", DialogBoxParamA);
  WRAP("user32.dll", LoadStringA);
  WRAP("user32.dll", ShowWindow);
  WRAP("user32.dll", EnableWindow);
  WRAP("user32.dll", SetDlgItemTextA);
  WRAP("user32.dll", SetWindowPos);
  WRAP("user32.dll", MoveWindow);
  WRAP("user32.dll", MonitorFromWindow);
  WRAP("user32.dll", GetMonitorInfoA);
  WRAP("user32.dll", LoadCursorA);
  WRAP("user32.dll", SetCursor);
  WRAP("user32.dll", PostMessageA);
  WRAP("user32.dll", GetClientRect);
  g_send = reinterpret_cast<decltype(g_send)>(
      ImportTable::Patch(page, "user32.dll", "SendMessageA", reinterpret_cast<void*>(&Send)));
  g_installed = true;
  // A build of the page that imports other functions is still profiled (the bench compares builds).
  if (!g_missing.empty()) std::printf("profile: the page does not import%s\n", g_missing.c_str());
  return g_send != nullptr;
}

void ImportProfile::Begin() {
  ServerMark("zelt-- begin");
  g_timeline.clear();
  g_begin = TickNow();
  g_libraryBegin = LibraryClock::Now().ticks;
}

void ImportProfile::Mark(const char* what) {
  if (!g_installed) return;
  ServerMark((std::string("zelt-- ") + what).c_str());
  const int64_t now = TickNow();
  const int64_t library = LibraryClock::Now().ticks;
  if (g_timeline.size() < 20000) g_timeline.push_back(Event{std::string("-- ") + what, g_depth, now, now, library, library});
}

void ImportProfile::Print(bool timeline) {
  for (const auto& [name, spent] : g_spent)
    std::printf("    %-36s %7ld calls %9.1f ms\n", name.c_str(), spent.calls, spent.ms);
  g_spent.clear();
  if (!timeline) return;
  // The last interval: each call's start (ms from the interval's start), the page's own time up to
  // it (the start less the library's time so far), its length and the library's share of it;
  // consecutive calls of one name are folded.
  std::printf("    timeline of the last run (start ms, own ms so far, length ms, library ms):\n");
  for (size_t i = 0; i < g_timeline.size();) {
    size_t j = i + 1;
    double length = Milliseconds(g_timeline[i].end - g_timeline[i].start);
    double library = Milliseconds(g_timeline[i].libraryEnd - g_timeline[i].libraryStart);
    while (j < g_timeline.size() && g_timeline[j].name == g_timeline[i].name &&
           g_timeline[j].depth == g_timeline[i].depth) {
      length += Milliseconds(g_timeline[j].end - g_timeline[j].start);
      library += Milliseconds(g_timeline[j].libraryEnd - g_timeline[j].libraryStart);
      ++j;
    }
    const double own = Milliseconds(g_timeline[i].start - g_begin - (g_timeline[i].libraryStart - g_libraryBegin));
    std::printf("    %8.2f %8.2f %*s%s x%u %.2f %.2f\n", Milliseconds(g_timeline[i].start - g_begin), own, 2 * g_timeline[i].depth,
                "", g_timeline[i].name.c_str(), static_cast<unsigned>(j - i), length, library);
    i = j;
  }
}
