// The dialog base that the page and the modal dialogs share: modal runs centred
// over their owner, and the last message of a dialog.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "dialogs/DialogWindow.h"
#include "kit/ModalDriver.h"
#include "res/resource.h"

namespace {

// A dialog on the auto-registration template that records its last message.
class ProbeDialog : public DialogWindow {
 public:
  ProbeDialog() : DialogWindow(IDD_AUTO_REGISTRATION) {}
  void OnFinalMessage(HWND window) override { finalWindow = window; }
  HWND finalWindow = nullptr;
};

using Window = std::unique_ptr<HWND__, BOOL(WINAPI*)(HWND)>;

Window TopWindow(const RECT& at, bool visible = true) {
  return Window(::CreateWindowExA(0, "STATIC", "Owner", WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), at.left,
                                  at.top, at.right - at.left, at.bottom - at.top, nullptr, nullptr,
                                  ::GetModuleHandleA(nullptr), nullptr),
                &::DestroyWindow);
}

RECT WorkArea(HWND window) {
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  ::GetMonitorInfoA(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
  return info.rcWork;
}

POINT Centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// Runs the probe modally over `owner` and ends it with 42; the dialog's rectangle while it ran.
RECT RunAndEnd(ProbeDialog& dialog, HWND owner) {
  RECT placed = {};
  HWND window = nullptr;
  testkit::ModalDriver driver;
  driver.Then("probe", testkit::FromTemplate(::GetModuleHandleA(nullptr), IDD_AUTO_REGISTRATION),
              [&](testkit::ModalWindow& modal) {
                window = modal.window();
                EXPECT_EQ(window, dialog.Window()) << "the object knows its window while it runs";
                ::GetWindowRect(window, &placed);
                ::EndDialog(window, 42);
              });
  EXPECT_EQ(42, dialog.Run(owner));
  driver.Finish();
  EXPECT_EQ(window, dialog.finalWindow);
  EXPECT_EQ(nullptr, dialog.Window()) << "no window after the last message";
  return placed;
}

}  // namespace

TEST(DialogWindow, ARunCentresOverTheOwnerOrInTheWorkAreaThatItNeverLeaves) {
  const RECT work = WorkArea(nullptr);
  ProbeDialog dialog;
  // Over a visible owner; over the work area when the owner is hidden.
  for (bool visible : {true, false}) {
    const RECT at = {100, 120, 600, 520};
    Window owner = TopWindow(at, visible);
    ASSERT_NE(nullptr, owner) << "no display";
    const POINT centre = Centre(RunAndEnd(dialog, owner.get()));
    EXPECT_NEAR(Centre(visible ? at : work).x, centre.x, 1);
    EXPECT_NEAR(Centre(visible ? at : work).y, centre.y, 1);
  }
  // A dialog that would stick out over its owner is moved back into the work area.
  for (const POINT& corner : {POINT{work.right - 60, work.bottom - 40}, POINT{work.left - 150, work.top - 100}}) {
    Window owner = TopWindow(RECT{corner.x, corner.y, corner.x + 100, corner.y + 80});
    const RECT placed = RunAndEnd(dialog, owner.get());
    EXPECT_GE(placed.left, work.left);
    EXPECT_GE(placed.top, work.top);
    EXPECT_LE(placed.right, work.right);
    EXPECT_LE(placed.bottom, work.bottom);
  }
}

// The page goes this way when it is released while active: its window goes, and no
// message of the destruction reaches the object any more.
TEST(DialogWindow, ADetachedDestroyOfAModelessDialogReachesTheObjectNoMore) {
  Window parent = TopWindow(RECT{50, 50, 450, 350});
  ProbeDialog dialog;
  HWND window = dialog.Create(parent.get());
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(window, dialog.Window());
  dialog.DestroyDetached();
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(nullptr, dialog.finalWindow) << "the last message reached a detached object";
}
