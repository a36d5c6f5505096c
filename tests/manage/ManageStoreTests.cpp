// The Manage certificates dialog on certificates that the current user's "MY" store already
// holds when it opens: what it shows, which buttons it offers, and which certificate leaves the
// store when a removed one is unregistered afterwards.
#include "manage/ManageFixture.h"

namespace {

// Jane (default container), John (container) and Example Corp (no container), the first two
// already registered.
class ManageRegistered : public ManageTest {
 protected:
  ManageRegistered() : ManageTest(1, "4D414E47", true, true, {"jane-doe", "john-roe"}) {}
};

TEST_F(ManageRegistered, ShowsThemRegisteredAndRemoveUnregistersTheRemovedOneByItsThumbprint) {
  const auto answer = [this](const std::string& start, int button) {
    driver.Then(start, testkit::AnyDialog(), [start, button](ModalWindow& box) {
      EXPECT_EQ(start, box.MessageText().substr(0, start.size()));
      box.Press(button);
    });
  };
  OnDialog("opened", [](ModalWindow& dialog) {
    HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ((Cells{"<Yes>", "<Yes>", "<No>"}), listkit::Column(list, 3));
    // Each row with whether Register and Unregister are offered for it.
    const struct {
      int row;
      bool registerOffered, unregisterOffered;
    } rows[] = {{1, false, true}, {2, true, false}, {0, false, true}};
    for (const auto& r : rows) {
      listkit::Select(list, r.row);
      EXPECT_EQ(r.registerOffered, dialog.IsEnabled(IDC_REGISTER)) << r.row;
      EXPECT_EQ(r.unregisterOffered, dialog.IsEnabled(IDC_UNREGISTER)) << r.row;
    }
    dialog.Press(IDC_REMOVE);
  });
  answer("The certificate and related key pair will be permanently deleted.", IDYES);
  answer("The certificate is also registered with the system.", IDYES);
  OnDialog("after", [](ModalWindow& dialog) {
    HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ((Cells{"John Roe", "Example Corp"}), listkit::Column(list, 0));
    EXPECT_EQ((Cells{"<Yes>", "<No>"}), listkit::Column(list, 3));
    dialog.Press(IDC_MANAGE_CLOSE);
  });
  EXPECT_EQ(0, Manage());
  EXPECT_EQ("", KeyInfoInMy("jane-doe")) << "the removed certificate stayed registered";
  EXPECT_NE("", KeyInfoInMy("john-roe")) << "the certificate in the removed one's row was unregistered";
}

}  // namespace
