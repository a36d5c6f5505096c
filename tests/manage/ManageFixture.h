#pragma once
// The Manage certificates dialog on a software token with known contents (see
// TokenContents::AddJaneJohnAndCorp), opened from the page's button.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/ListTestKit.h"
#include "kit/MyStore.h"
#include "kit/TokenPageTest.h"
#include "res/resource.h"

using listkit::CellText;
using listkit::Column;
using listkit::Select;
using testkit::BoxIcon;
using testkit::DropFromMy;
using testkit::KeyInfoInMy;
using testkit::ModalWindow;
using Cells = std::vector<std::string>;
using Ids = std::vector<int>;

const char kTitle[] = "Certificates on the Zelt";
const char kRemoveQuestion[] =
    "The certificate and related key pair will be permanently deleted. Do you want to continue?";
const char kUnregisterQuestion[] = "The certificate is also registered with the system. Do you want to unregister it?";
// The CSP and the key exchange key of a PROV_RSA_FULL provider, as registration names them.
const std::string kProvider = "Quillon Zelt RSA Cryptographic Service Provider/";
const char* const kCertificates[] = {"jane-doe", "john-roe", "example-corp"};
const int kOperations[] = {IDC_REGISTER, IDC_UNREGISTER, IDC_CONVERT, IDC_REMOVE, IDC_SET_AS_DEFAULT, IDC_VIEW_DETAILS};

// A notification of the list as the control sends it: a click (on no row, in the first column), or
// row `row` changed to `state`.
inline void ListNotify(const ModalWindow& dialog, UINT code, int row = -1, UINT state = 0) {
  NMLISTVIEW notice = {};
  notice.hdr = {dialog.Item(IDC_CERTIFICATE_LIST), IDC_CERTIFICATE_LIST, code};
  notice.iItem = row;
  notice.uNewState = state;
  notice.uChanged = state ? LVIF_STATE : 0;
  ::SendMessageA(dialog.window(), WM_NOTIFY, IDC_CERTIFICATE_LIST, reinterpret_cast<LPARAM>(&notice));
}

// The enabled operation buttons, as their ids.
inline Ids Enabled(const ModalWindow& dialog) {
  Ids enabled;
  for (int id : kOperations)
    if (dialog.IsEnabled(id)) enabled.push_back(id);
  return enabled;
}

inline bool NoticeShown(const ModalWindow& dialog) {
  return (::GetWindowLongA(dialog.Item(IDC_CONVERT_NOTICE), GWL_STYLE) & WS_VISIBLE) != 0;
}

// The token made with Example Corp, and Jane and John when `janeAndJohn`, of the certificates only
// `registered` in "MY" (without key provider information), the page open.
class ManageTest : public testkit::TokenPageTest {
 protected:
  ManageTest(CK_SLOT_ID slot, const char* serial, bool janeAndJohn = true, std::vector<std::string> registered = {})
      : TokenPageTest(slot, serial), janeAndJohn_(janeAndJohn), registered_(std::move(registered)) {}
  void SetUp() override {
    TokenPageTest::SetUp();
    if (HasFatalFailure()) return;
    contents.AddJaneJohnAndCorp(janeAndJohn_);
    TearDown();
    for (const std::string& name : registered_) ASSERT_TRUE(testkit::AddToMy(name)) << name;
    OpenPage();
  }
  void TearDown() override {
    soft.ResetHooks();
    for (const char* name : kCertificates) DropFromMy(name);
  }

  // A step on the Manage certificates dialog.
  void OnDialog(const std::string& what, testkit::StepAction action) {
    OnTemplate(what, IDD_MANAGE_CERTIFICATES, std::move(action));
  }
  // The dialog's question, answered; its error (its start when `prefix`), answered with OK.
  void Asked(const std::string& text, int answer, testkit::StepAction then = nullptr) {
    ExpectBox(text, answer, kTitle, BoxIcon::Warning, false, std::move(then));
  }
  void Failed(const std::string& text, bool prefix = false) { ExpectBox(text, IDOK, kTitle, BoxIcon::Error, prefix); }
  // The page's warning that a conversion takes time (its whole text is the resources suite's).
  void Warning(int answer, testkit::StepAction then = nullptr) {
    ExpectBox("Certificate conversion may take several minutes.", answer, "User Tools", BoxIcon::Warning, true,
              std::move(then));
  }

 private:
  const bool janeAndJohn_;
  const std::vector<std::string> registered_;
};
