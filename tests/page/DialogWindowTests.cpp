// The dialog base that the page and the modal dialogs share: the message map,
// modal runs centred over their owner, modeless creation and the last message.
#include <windows.h>

#include <gtest/gtest.h>

#include "dialogs/DialogWindow.h"
#include "kit/ModalDriver.h"
#include "res/resource.h"

using testkit::ModalWindow;

namespace {

// A dialog on the auto-registration template that records what reached it.
class ProbeDialog : public DialogWindow {
 public:
  ProbeDialog() : DialogWindow(IDD_AUTO_REGISTRATION) {}

  BOOL ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnFinalMessage(HWND window) override { finalWindow = window; }

  int inits = 0;
  int checkClicks = 0;
  HWND windowAtInit = nullptr;
  HWND finalWindow = nullptr;
  RECT placedAtInit = {};

 private:
  static const MessageEntry<ProbeDialog> kMap[];
  LRESULT OnInit(UINT, WPARAM, LPARAM) {
    ++inits;
    windowAtInit = Window();
    ::GetWindowRect(Window(), &placedAtInit);
    return TRUE;
  }
  LRESULT OnOk(UINT, WPARAM wParam, LPARAM) {
    ::EndDialog(Window(), 100 + HIWORD(wParam));
    return 0;
  }
  LRESULT OnCheck(UINT, WPARAM, LPARAM) {
    ++checkClicks;
    return 0;
  }
};

const DialogWindow::MessageEntry<ProbeDialog> ProbeDialog::kMap[] = {
    OnMessage(WM_INITDIALOG, &ProbeDialog::OnInit),
    OnCommand(IDOK, AnyCode, &ProbeDialog::OnOk),
    OnCommand(IDC_ENABLE_AUTO_REGISTRATION, BN_CLICKED, &ProbeDialog::OnCheck),
};

BOOL ProbeDialog::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  return DispatchMap(this, kMap, message, wParam, lParam, result);
}

class TopWindow {
 public:
  TopWindow(int x, int y, int width, int height, bool visible) {
    window_ = ::CreateWindowExA(0, "STATIC", "Owner", WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), x, y, width,
                                height, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  }
  ~TopWindow() {
    if (window_) ::DestroyWindow(window_);
  }
  HWND get() const { return window_; }

 private:
  HWND window_;
};

RECT WorkArea(HWND window) {
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  ::GetMonitorInfoA(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
  return info.rcWork;
}

LONG CenterX(const RECT& r) { return (r.left + r.right) / 2; }
LONG CenterY(const RECT& r) { return (r.top + r.bottom) / 2; }

// Runs the probe modally over `owner` and closes it with OK; the dialog's rectangle while it ran.
RECT RunAndClose(ProbeDialog& dialog, HWND owner, INT_PTR* result) {
  RECT placed = {};
  testkit::ModalDriver driver;
  driver.Then("probe", testkit::FromTemplate(::GetModuleHandleA(nullptr), IDD_AUTO_REGISTRATION),
              [&](ModalWindow& window) {
                ::GetWindowRect(window.window(), &placed);
                window.Press(IDOK);
              });
  *result = dialog.Run(owner);
  driver.Finish();
  return placed;
}

}  // namespace

TEST(DialogWindow, ARunCentresOverTheOwnerAndReturnsWhatTheDialogEndedWith) {
  TopWindow owner(100, 120, 500, 400, true);
  ASSERT_NE(nullptr, owner.get()) << "no display";
  ProbeDialog dialog;
  INT_PTR result = 0;
  const RECT placed = RunAndClose(dialog, owner.get(), &result);
  EXPECT_EQ(100 + BN_CLICKED, result);
  RECT ownerRect = {};
  ::GetWindowRect(owner.get(), &ownerRect);
  EXPECT_NEAR(CenterX(ownerRect), CenterX(placed), 1);
  EXPECT_NEAR(CenterY(ownerRect), CenterY(placed), 1);
  EXPECT_TRUE(::EqualRect(&placed, &dialog.placedAtInit)) << "centred before its own initialisation ran";
  EXPECT_EQ(1, dialog.inits);
  EXPECT_NE(nullptr, dialog.windowAtInit) << "the window is known from WM_INITDIALOG on";
  EXPECT_EQ(dialog.windowAtInit, dialog.finalWindow);
  EXPECT_EQ(nullptr, dialog.Window()) << "no window after the last message";
}

TEST(DialogWindow, AHiddenOwnerCentresTheDialogInTheWorkAreaThatItNeverLeaves) {
  {
    TopWindow owner(0, 0, 200, 150, false);
    ASSERT_NE(nullptr, owner.get());
    ProbeDialog dialog;
    INT_PTR result = 0;
    const RECT placed = RunAndClose(dialog, owner.get(), &result);
    const RECT work = WorkArea(owner.get());
    EXPECT_NEAR(CenterX(work), CenterX(placed), 1);
    EXPECT_NEAR(CenterY(work), CenterY(placed), 1);
  }
  // A dialog that would stick out over its owner is moved back into the work area.
  const RECT work = WorkArea(nullptr);
  for (const POINT& corner : {POINT{work.right - 60, work.bottom - 40}, POINT{work.left - 150, work.top - 100}}) {
    TopWindow owner(corner.x, corner.y, 100, 80, true);
    ASSERT_NE(nullptr, owner.get());
    ProbeDialog dialog;
    INT_PTR result = 0;
    const RECT placed = RunAndClose(dialog, owner.get(), &result);
    EXPECT_GE(placed.left, work.left);
    EXPECT_GE(placed.top, work.top);
    EXPECT_LE(placed.right, work.right);
    EXPECT_LE(placed.bottom, work.bottom);
  }
}

TEST(DialogWindow, CommandEntriesMatchTheirCodeOrAnyCode) {
  TopWindow owner(100, 100, 300, 200, true);
  ProbeDialog dialog;
  testkit::ModalDriver driver;
  driver.Then("probe", testkit::FromTemplate(::GetModuleHandleA(nullptr), IDD_AUTO_REGISTRATION),
              [&](ModalWindow& window) {
                HWND check = window.Item(IDC_ENABLE_AUTO_REGISTRATION);
                ::SendMessageA(window.window(), WM_COMMAND, MAKEWPARAM(IDC_ENABLE_AUTO_REGISTRATION, BN_CLICKED),
                               reinterpret_cast<LPARAM>(check));
                ::SendMessageA(window.window(), WM_COMMAND, MAKEWPARAM(IDC_ENABLE_AUTO_REGISTRATION, BN_SETFOCUS),
                               reinterpret_cast<LPARAM>(check));
                // OK acts on any notification of its control.
                ::PostMessageA(window.window(), WM_COMMAND, MAKEWPARAM(IDOK, 7), 0);
              });
  const INT_PTR result = dialog.Run(owner.get());
  driver.Finish();
  EXPECT_EQ(1, dialog.checkClicks);
  EXPECT_EQ(107, result);
}

TEST(DialogWindow, AModelessDialogLivesUntilDestroyedAndADetachedDestroyReachesTheObjectNoMore) {
  TopWindow parent(50, 50, 400, 300, true);
  ProbeDialog dialog;
  HWND window = dialog.Create(parent.get());
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(window, dialog.Window());
  EXPECT_EQ(window, dialog.windowAtInit);
  EXPECT_EQ(1, dialog.inits);
  dialog.Destroy();
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(window, dialog.finalWindow);
  EXPECT_EQ(nullptr, dialog.Window());

  ProbeDialog detached;
  window = detached.Create(parent.get());
  ASSERT_NE(nullptr, window);
  detached.DestroyDetached();
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(nullptr, detached.finalWindow) << "the last message reached a detached object";
}
