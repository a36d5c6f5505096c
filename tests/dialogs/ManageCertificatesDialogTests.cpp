// How the Manage certificates dialog ends: Close with its own id, Escape and the close box with
// the cancel id, and Enter not at all (the dialog has no OK).
#include <windows.h>

#include <gtest/gtest.h>

#include "dialogs/ManageCertificatesDialog.h"
#include "kit/ModalDriver.h"
#include "page/UserPage.h"
#include "res/resource.h"
#include "server/Module.h"

namespace {

TEST(ManageCertificates, CloseEndsWithItsIdEscapeAndTheCloseBoxWithCancelEnterDoesNot) {
  IPropertyPage* page = nullptr;
  ASSERT_EQ(S_OK, UserPage::CreateInstance(nullptr, IID_IPropertyPage, reinterpret_cast<void**>(&page)));
  const struct {
    const char* way;
    UINT message;
    WPARAM wParam;
    INT_PTR result;
  } ways[] = {
      {"Close", WM_COMMAND, MAKEWPARAM(IDC_MANAGE_CLOSE, BN_CLICKED), IDC_MANAGE_CLOSE},
      {"Close, other code", WM_COMMAND, MAKEWPARAM(IDC_MANAGE_CLOSE, BN_DOUBLECLICKED), IDC_MANAGE_CLOSE},
      {"Escape", WM_COMMAND, IDCANCEL, IDCANCEL},
      {"close box", WM_SYSCOMMAND, SC_CLOSE, IDCANCEL},
  };
  for (const auto& w : ways) {
    testkit::ModalDriver driver;
    driver.Then(w.way, testkit::FromTemplate(Module::Instance(), IDD_MANAGE_CERTIFICATES),
                [&w](testkit::ModalWindow& dialog) {
                  ::PostMessageA(dialog.window(), WM_COMMAND, IDOK, 0);
                  ::PostMessageA(dialog.window(), w.message, w.wParam, 0);
                });
    ManageCertificatesDialog dialog(static_cast<UserPage*>(page), nullptr);
    EXPECT_EQ(w.result, dialog.Run(nullptr)) << w.way;
  }
  page->Release();
}

}  // namespace
