#pragma once
// Where painting goes (ZELT_BENCH_PROFILE): every window made while the profile is installed is
// subclassed as it is created (from the pilot's CBT hook, so no hook of its own), and its paint
// messages (WM_PAINT, WM_ERASEBKGND, WM_NCPAINT, WM_CTLCOLOR*, the list's NM_CUSTOMDRAW at its
// parent) are counted and timed per window, inside the measured interval only.
#include <windows.h>

class PaintProfile {
 public:
  static void Install();
  // From the CBT hook: a window is being created.
  static void Created(HWND window);
  static void Begin();
  static void End();
  // Counts and times since the last Print, per window and message, then clears them.
  static void Print();
};
