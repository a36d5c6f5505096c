// Rules of the Manage certificates dialog beside its main flows: which commands and list changes
// it takes, Convert and the conversion before Register, the message of each failing operation
// with its code, removing the last certificate, and where the keyboard focus goes when its button
// is disabled.
#include "manage/ManageFixture.h"
#include "model/ScopedRegKey.h"

// Jane (container "Jane's keys", the default logon certificate), John (container "John's keys",
// logon-capable) and Example Corp (a key pair but no container), or Example Corp alone.
class ManageRules : public ManageTest {
 protected:
  ManageRules() : ManageTest(2, "52554C45") {}
};

class LastCertificate : public ManageTest {
 protected:
  LastCertificate() : ManageTest(2, "52554C45", false) {}
};

TEST_F(ManageRules, OnlyClicksAndRowsBecomingSelectedAndFocusedCountCloseTakesAnyCommand) {
  OnDialog("list changes and other codes", [](ModalWindow& dialog) {
    for (UINT state : {LVIS_SELECTED, LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED | LVIS_CUT}) {
      ListNotify(dialog, LVN_ITEMCHANGED, 1, state);
      EXPECT_TRUE(Enabled(dialog).empty()) << "new state " << state;
    }
    ListNotify(dialog, LVN_ITEMCHANGED, 1, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ((Ids{IDC_REGISTER, IDC_REMOVE, IDC_SET_AS_DEFAULT, IDC_VIEW_DETAILS}), Enabled(dialog));
    // With John selected each operation would act at once or ask something; Enter has no handler.
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 1);
    for (int id : kOperations)
      for (WORD code : {BN_DOUBLECLICKED, BN_SETFOCUS}) dialog.Command(id, code);
    dialog.Command(IDOK, BN_CLICKED);
  });
  OnDialog("nothing happened", [](ModalWindow& dialog) {
    const HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ((Cells{"<No>", "<No>", "<No>"}), Column(list, 3));
    EXPECT_EQ((Cells{"<Yes>", "<No>", "<N/A>"}), Column(list, 4));
    dialog.Command(IDC_MANAGE_CLOSE, BN_DOUBLECLICKED);
  });
  EXPECT_EQ(0, Click(IDC_MANAGE));
  EXPECT_EQ(0u, host().Count("AskPassword"));
}

// Register of a certificate without a container converts it first: the same questions, the same
// refusals and the same GUID-named container as Convert, then the registration Convert leaves out.
struct Conversion {
  const char* name;
  int button;
  const char* registered;  // column "Registered" of the converted row
  Ids enabled;             // the buttons offered for it then
};
void PrintTo(const Conversion& c, std::ostream* os) { *os << c.name; }

class ConvertFirst : public ManageRules, public testing::WithParamInterface<Conversion> {};

TEST_P(ConvertFirst, AsksThenGivesTheCertificateAGuidContainer) {
  const Conversion& c = GetParam();
  const bool registers = c.button == IDC_REGISTER;
  HWND manage = nullptr;
  OnDialog("declined", [&c, &manage](ModalWindow& dialog) {
    manage = dialog.window();
    Select(dialog.Item(IDC_CERTIFICATE_LIST), 2);
    EXPECT_TRUE(NoticeShown(dialog));
    dialog.Press(c.button);
  });
  // The warning belongs to the page, errors to the dialog.
  Warning(IDNO, [this, &manage](ModalWindow& box) {
    EXPECT_EQ(::GetAncestor(harness.PageWindow(), GA_ROOT), box.Owner());
    // A Close clicked meanwhile would delete the record the conversion goes on with.
    EXPECT_FALSE(::IsWindowEnabled(manage)) << "the dialog takes no clicks while the warning is up";
  });
  OnDialog("no password", [this, &c, &manage](ModalWindow& dialog) {
    EXPECT_TRUE(::IsWindowEnabled(manage));
    EXPECT_EQ(manage, ::GetActiveWindow()) << "the dialog is active again after the warning";
    EXPECT_EQ("", KeyInfoInMy("example-corp"));
    EXPECT_EQ(0u, host().Count("AskPassword")) << "No asks for nothing more";
    host().askPasswordResult = S_FALSE;
    dialog.Press(c.button);
  });
  Warning(IDYES);
  OnDialog("wrong password", [this, &c](ModalWindow& dialog) {
    EXPECT_EQ(1u, host().Count("AskPassword"));
    host().askPasswordResult = S_OK;
    host().password = L"wrong";
    dialog.Press(c.button);
  });
  Warning(IDYES);
  Failed("An error occurred while converting the certificate.\nError Code is  0x8010006b.");
  OnDialog("again", [this, &c](ModalWindow& dialog) {
    EXPECT_EQ("", KeyInfoInMy("example-corp")) << "a failed conversion registers nothing";
    EXPECT_EQ("", CellText(dialog.Item(IDC_CERTIFICATE_LIST), 2, 6));
    EXPECT_EQ(1, listkit::ImageAt(dialog.Item(IDC_CERTIFICATE_LIST), 2));
    host().password = L"pki-password";
    // The button the user pressed has the focus, and the conversion disables it.
    ::SetFocus(dialog.Item(c.button));
    dialog.Press(c.button);
  });
  Warning(IDYES);
  OnDialog("converted", [&c, registers](ModalWindow& dialog) {
    const HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ(36u, CellText(list, 2, 6).size()) << "a GUID-named container: " << CellText(list, 2, 6);
    EXPECT_EQ(registers ? kProvider + CellText(list, 2, 6) + "/1/1" : "", KeyInfoInMy("example-corp"));
    EXPECT_EQ(0, listkit::ImageAt(list, 2));
    EXPECT_EQ(c.registered, CellText(list, 2, 3));
    EXPECT_EQ(c.enabled, Enabled(dialog));
    EXPECT_FALSE(NoticeShown(dialog));
    EXPECT_EQ(list, ::GetFocus()) << "focus on control " << ::GetDlgCtrlID(::GetFocus());
    dialog.Press(IDC_MANAGE_CLOSE);
  });
  EXPECT_EQ(0, Click(IDC_MANAGE));
  EXPECT_EQ((std::vector<std::wstring>{L"Reading certificates from the token...", L"Converting certificate...",
                                       L"Converting certificate..."}),
            host().StatusTexts());
  EXPECT_FALSE(host().statusShown);
  EXPECT_EQ(registers, DropFromMy("example-corp")) << "converted, registered only by Register";
}

INSTANTIATE_TEST_SUITE_P(
    ManageRules, ConvertFirst,
    testing::Values(Conversion{"Convert", IDC_CONVERT, "<No>", {IDC_REGISTER, IDC_REMOVE, IDC_VIEW_DETAILS}},
                    Conversion{"Register", IDC_REGISTER, "<Yes>", {IDC_UNREGISTER, IDC_REMOVE, IDC_VIEW_DETAILS}}),
    [](const testing::TestParamInfo<Conversion>& info) { return std::string(info.param.name); });

TEST_F(ManageRules, EachFailingOperationShowsItsMessageWithTheCodeAndKeepsTheRows) {
  OnDialog("register john", [](ModalWindow& dialog) {
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 1);
    ::SetFocus(dialog.Item(IDC_REGISTER));
    dialog.Press(IDC_REGISTER);
  });
  OnDialog("unregister what the store lost", [](ModalWindow& dialog) {
    EXPECT_EQ(dialog.Item(IDC_CERTIFICATE_LIST), ::GetFocus()) << "Register is disabled now";
    EXPECT_TRUE(DropFromMy("john-roe"));
    dialog.Press(IDC_UNREGISTER);
  });
  Failed("Unable to unregister certificate.\nError Code is  0x80092004.");
  // The current user's registry is replaced by a volatile key, where the "MY" store cannot be made.
  // It is put back as soon as the box is up, and however the test ends: the later suites of this
  // process need the real one.
  ScopedRegKey scratch;
  struct PutBack {
    void operator()() const {
      ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
      ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\ZeltTestScratch");
    }
    ~PutBack() { (*this)(); }
  } putBack;
  OnDialog("register, no store", [&scratch](ModalWindow& dialog) {
    EXPECT_EQ("<Yes>", CellText(dialog.Item(IDC_CERTIFICATE_LIST), 1, 3));
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\ZeltTestScratch", 0, nullptr,
                                               REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, scratch.receive(),
                                               nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegOverridePredefKey(HKEY_CURRENT_USER, scratch.get()));
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 0);
    dialog.Press(IDC_REGISTER);
  });
  driver.Then("store back", testkit::AnyDialog(), [&putBack](ModalWindow& box) {
    putBack();
    EXPECT_EQ("Unable to register certificate.\nError Code is  0x80004005.", box.MessageText());
    box.Press(IDOK);
  });
  OnDialog("set as default, the CSP fails", [this](ModalWindow& dialog) {
    soft.Inject("C_OpenSession", 1, CKR_DEVICE_ERROR, true);
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 1);
    dialog.Press(IDC_SET_AS_DEFAULT);
  });
  Failed("An error occurred while setting the logon certificate.\nError Code is  0x80090020.");
  OnDialog("remove, the list cannot be read again", [this](ModalWindow& dialog) {
    soft.ResetHooks();
    EXPECT_EQ("<No>", CellText(dialog.Item(IDC_CERTIFICATE_LIST), 0, 3));
    EXPECT_EQ((Cells{"<Yes>", "<No>", "<N/A>"}), Column(dialog.Item(IDC_CERTIFICATE_LIST), 4));
    // The removal's own search is the first.
    soft.Inject("C_FindObjectsInit", 2, CKR_DEVICE_ERROR, true);
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 2);
    dialog.Press(IDC_REMOVE);
  });
  Asked(kRemoveQuestion, IDYES);
  Failed("An error occurred while updating the certificate list.\nError Code is  0xb0010030.");
  OnDialog("close", [this](ModalWindow& dialog) {
    soft.ResetHooks();
    EXPECT_EQ(0u, contents.CountWithId({'C'})) << "removed from the token";
    EXPECT_EQ((Cells{"Jane Doe", "John Roe", "Example Corp"}), Column(dialog.Item(IDC_CERTIFICATE_LIST), 0));
    // The rows are those of before the removal: they can be looked at, not acted on.
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 1);
    EXPECT_EQ(Ids{IDC_VIEW_DETAILS}, Enabled(dialog)) << "a button acts on rows the token no longer has";
    dialog.Press(IDC_MANAGE_CLOSE);
  });
  EXPECT_EQ(0, Click(IDC_MANAGE));
}

TEST_F(LastCertificate, RemovingItLeavesNothingToActOn) {
  OnDialog("remove", [](ModalWindow& dialog) {
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 0);
    ::SetFocus(dialog.Item(IDC_REMOVE));
    dialog.Press(IDC_REMOVE);
  });
  Asked(kRemoveQuestion, IDYES);
  OnDialog("empty", [](ModalWindow& dialog) {
    EXPECT_EQ(0, listkit::RowCount(dialog.Item(IDC_CERTIFICATE_LIST)));
    EXPECT_TRUE(Enabled(dialog).empty());
    EXPECT_FALSE(NoticeShown(dialog));
    EXPECT_EQ("", dialog.ItemText(IDC_INTENDED_PURPOSES));
    EXPECT_EQ(dialog.Item(IDC_CERTIFICATE_LIST), ::GetFocus());
    dialog.Press(IDC_MANAGE_CLOSE);
  });
  EXPECT_EQ(0, Click(IDC_MANAGE));
  EXPECT_EQ(0u, contents.CountWithId({'C'}));
}
