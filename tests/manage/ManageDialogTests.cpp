// The Manage button and the Manage certificates dialog on a software token with
// known contents: what the dialog shows, which buttons it offers, what it asks,
// and what reaches the token, the CSP and the current user's "MY" store, also for
// certificates that "MY" already holds when it opens.
#include "manage/ManageFixture.h"

// Jane (container "Jane's keys", the default logon certificate), John (container
// "John's keys", logon-capable) and Example Corp (a key pair but no container),
// in that order on the token.
class ManageDialog : public ManageTest {
 protected:
  ManageDialog() : ManageTest(1, "4D414E47") {}
};

TEST_F(ManageDialog, ShowsTheTokensCertificatesButtonsFollowTheSelectionAndSetAsDefaultSticks) {
  OnDialog("list", [](ModalWindow& dialog) {
    HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    Cells headings;
    for (int column = 0; column < 8; ++column) {
      char text[64] = "";
      LVCOLUMNA info = {};
      info.mask = LVCF_TEXT, info.pszText = text, info.cchTextMax = sizeof text;
      if (::SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&info))) headings.push_back(text);
    }
    EXPECT_EQ((Cells{"Issued To", "Issued By", "Expiration Date", "Registered", "Logon", "Serial Number",
                     "Container Label"}),
              headings);
    EXPECT_EQ((Cells{"Jane Doe", "John Roe", "Example Corp"}), listkit::Column(list, 0));
    EXPECT_EQ((Cells{"<Yes>", "<No>", "<N/A>"}), listkit::Column(list, 4)) << "Jane's is the default logon; "
                                                                            "without a container no logon";
    Cells john;
    for (int column : {1, 3, 5, 6}) john.push_back(CellText(list, 1, column));
    EXPECT_EQ((Cells{"Zelt Test CA", "<No>", "0F", "John's keys"}), john);
    EXPECT_EQ(0, listkit::ImageAt(list, 1));
    EXPECT_EQ(1, listkit::ImageAt(list, 2)) << "without a container the grey image";
    EXPECT_TRUE(Enabled(dialog).empty()) << "nothing selected yet";
    EXPECT_EQ("", dialog.ItemText(IDC_INTENDED_PURPOSES));
    EXPECT_FALSE(NoticeShown(dialog));

    Select(list, 1);
    EXPECT_EQ((Ids{IDC_REGISTER, IDC_REMOVE, IDC_SET_AS_DEFAULT, IDC_VIEW_DETAILS}), Enabled(dialog));
    EXPECT_NE(std::string::npos, dialog.ItemText(IDC_INTENDED_PURPOSES).find("Client Authentication"))
        << dialog.ItemText(IDC_INTENDED_PURPOSES);
    EXPECT_FALSE(NoticeShown(dialog));
    Select(list, 0);
    EXPECT_FALSE(dialog.IsEnabled(IDC_SET_AS_DEFAULT)) << "already the default";
    Select(list, 2);
    EXPECT_EQ((Ids{IDC_REGISTER, IDC_CONVERT, IDC_REMOVE, IDC_VIEW_DETAILS}), Enabled(dialog));
    EXPECT_TRUE(NoticeShown(dialog));

    // A click on an empty part of the list: the control drops the selection, then notifies.
    Select(list, -1, 0);
    ListNotify(dialog, NM_RCLICK);
    EXPECT_TRUE(Enabled(dialog).empty()) << "a click that leaves no row selected disables everything";
    EXPECT_FALSE(NoticeShown(dialog));
    EXPECT_EQ("", dialog.ItemText(IDC_INTENDED_PURPOSES));

    // The first sort of the process is ascending, each further one reverses.
    ListNotify(dialog, LVN_COLUMNCLICK);
    EXPECT_EQ((Cells{"Example Corp", "Jane Doe", "John Roe"}), listkit::Column(list, 0));
    ListNotify(dialog, LVN_COLUMNCLICK);
    EXPECT_EQ((Cells{"John Roe", "Jane Doe", "Example Corp"}), listkit::Column(list, 0));

    Select(list, 0);
    dialog.Press(IDC_SET_AS_DEFAULT);
  });
  OnDialog("set as default", [](ModalWindow& dialog) {
    EXPECT_EQ((Cells{"<Yes>", "<No>", "<N/A>"}), listkit::Column(dialog.Item(IDC_CERTIFICATE_LIST), 4));
    EXPECT_FALSE(dialog.IsEnabled(IDC_SET_AS_DEFAULT));
    dialog.Press(IDC_VIEW_DETAILS);
  });
  OnTemplate("details", IDD_CERTIFICATE_DETAILS, [](ModalWindow& details) { details.Press(IDOK); });
  OnDialog("close", [](ModalWindow& dialog) { dialog.Press(IDC_MANAGE_CLOSE); });

  EXPECT_EQ(0, Click(IDC_MANAGE));
  EXPECT_EQ(std::vector<std::wstring>({L"Reading certificates from the token...", L"Setting default certificate..."}),
            host().StatusTexts());
  EXPECT_FALSE(host().statusShown) << "the dialog hides the status text once its list is full";
  EXPECT_GE(host().Count("ReportPasswordState"), 1u) << "the password state is reported after the dialog";

  // A second Manage reads the token again: the CSP made John's container the default.
  OnDialog("reopened", [](ModalWindow& dialog) {
    EXPECT_EQ((Cells{"<No>", "<Yes>", "<N/A>"}), listkit::Column(dialog.Item(IDC_CERTIFICATE_LIST), 4));
    dialog.Press(IDC_MANAGE_CLOSE);
  });
  EXPECT_EQ(0, Click(IDC_MANAGE));
}

TEST_F(ManageDialog, UnregisterFailedAndCancelledRemovesAndRemovesWithAndWithoutContainer) {
  OnDialog("register john", [](ModalWindow& dialog) {
    Select(dialog.Item(IDC_CERTIFICATE_LIST), 1);
    dialog.Press(IDC_REGISTER);
  });
  OnDialog("unregister", [](ModalWindow& dialog) {
    EXPECT_EQ("<Yes>", CellText(dialog.Item(IDC_CERTIFICATE_LIST), 1, 3));
    EXPECT_EQ(kProvider + "John's keys/1/1", KeyInfoInMy("john-roe"));
    dialog.Press(IDC_UNREGISTER);
  });
  OnDialog("remove example corp with a wrong password", [this](ModalWindow& dialog) {
    EXPECT_EQ("", KeyInfoInMy("john-roe"));
    EXPECT_EQ("<No>", CellText(dialog.Item(IDC_CERTIFICATE_LIST), 1, 3));
    EXPECT_TRUE(dialog.IsEnabled(IDC_REGISTER));
    host().password = L"wrong";
    Select(dialog.Item(IDC_CERTIFICATE_LIST), 2);
    dialog.Press(IDC_REMOVE);
  });
  Asked(kRemoveQuestion, IDYES);
  Failed("An error occurred while removing the certificate.", true);
  OnDialog("remove, password cancelled", [this](ModalWindow& dialog) {
    host().askPasswordResult = S_FALSE;
    dialog.Press(IDC_REMOVE);
  });
  Asked(kRemoveQuestion, IDYES);
  OnDialog("remove", [this](ModalWindow& dialog) {
    EXPECT_EQ(3, listkit::RowCount(dialog.Item(IDC_CERTIFICATE_LIST))) << "nothing removed";
    EXPECT_EQ(3u, contents.CountWithId({'C'})) << "certificate and key pair still on the token";
    host().askPasswordResult = S_OK;
    host().password = L"pki-password";
    dialog.Press(IDC_REMOVE);
  });
  Asked(kRemoveQuestion, IDYES);
  OnDialog("register jane", [this](ModalWindow& dialog) {
    EXPECT_EQ((Cells{"Jane Doe", "John Roe"}), listkit::Column(dialog.Item(IDC_CERTIFICATE_LIST), 0));
    EXPECT_EQ(0u, contents.CountWithId({'C'})) << "every object of its identifier gone from the token";
    Select(dialog.Item(IDC_CERTIFICATE_LIST), 0);
    dialog.Press(IDC_REGISTER);
  });
  OnDialog("remove jane", [](ModalWindow& dialog) { dialog.Press(IDC_REMOVE); });
  Asked(kRemoveQuestion, IDYES);
  Asked(kUnregisterQuestion, IDNO, [this](ModalWindow& box) {
    HWND list = ::GetDlgItem(box.Owner(), IDC_CERTIFICATE_LIST);
    EXPECT_EQ((Cells{"John Roe"}), listkit::Column(list, 0)) << "refreshed before asking";
    EXPECT_EQ(0u, contents.CountWithId({'J'})) << "the CSP removed the container with the certificate and key pair";
  });
  OnDialog("after", [](ModalWindow& dialog) {
    HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ(0, static_cast<int>(::SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)))
        << "the first row is selected";
    EXPECT_TRUE(dialog.IsEnabled(IDC_REMOVE));
    dialog.Press(IDC_MANAGE_CLOSE);
  });

  EXPECT_EQ(0, Click(IDC_MANAGE));
  EXPECT_EQ(kProvider + "Jane's keys/1/1", KeyInfoInMy("jane-doe")) << "No leaves the certificate in the MY store";
}

// A read that fails part-way is told, over the rows that could be read: a list cut short, or a
// container that the catalog names but that could not be mapped, is never shown as if it were whole.
TEST_F(ManageDialog, AReadThatFailsPartWayIsReportedOverWhatCouldBeRead) {
  const struct {
    const char* function;
    CK_ULONG nth;  // the call that fails, counted from the Manage click
    CK_RV rv;
    Cells logon;  // column "Logon" of the rows shown
    const char* code;
  } cases[] = {
      // Values are read twice (length, then bytes): catalog 1-2; Jane's record 3-4 and certificate
      // 5-6; John's record 7-8 and certificate 9-10; then value and identifier of each listed one.
      {"C_GetAttributeValue", 15, CKR_FUNCTION_FAILED, {"<Yes>"}, "b0010006"},
      {"C_GetAttributeValue", 5, CKR_DEVICE_ERROR, {"<N/A>", "<Yes>", "<N/A>"}, "b0010030"},
      // Searches: the certificates, the catalog, Jane's record and certificate, John's record.
      {"C_FindObjectsInit", 5, CKR_SESSION_HANDLE_INVALID, {"<Yes>", "<N/A>", "<N/A>"}, "b00100b3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.function << " #" << c.nth);
    soft.ResetHooks();
    ASSERT_EQ(CKR_OK, soft.Inject(c.function, c.nth, c.rv));
    Failed(std::string("An error occurred while reading certificates from the Zelt.\nError Code is  0x") + c.code + ".");
    OnDialog("rows read", [this, &c](ModalWindow& dialog) {
      EXPECT_EQ(c.logon, listkit::Column(dialog.Item(IDC_CERTIFICATE_LIST), 4));
      // Such a list can only be looked at: a row may lack the container that holds its key.
      listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 0);
      EXPECT_EQ(Ids{IDC_VIEW_DETAILS}, Enabled(dialog)) << "a button acts on a list read in part";
      // Nor does a click that a program sends past the disabled buttons: no question, no call.
      soft.StartTrace();
      for (int id : {IDC_REGISTER, IDC_UNREGISTER, IDC_REMOVE, IDC_SET_AS_DEFAULT, IDC_CONVERT})
        dialog.Command(id, BN_CLICKED);
    });
    OnDialog("after the clicks", [this](ModalWindow& dialog) {
      EXPECT_TRUE(soft.Trace().empty()) << "the token was called: " << soft.Trace().front();
      dialog.Press(IDC_MANAGE_CLOSE);
    });
    EXPECT_EQ(0, Click(IDC_MANAGE));
  }
}

// Jane (default container), John (container) and Example Corp (no container), the first two
// already registered.
class ManageRegistered : public ManageTest {
 protected:
  ManageRegistered() : ManageTest(1, "4D414E47", true, {"jane-doe", "john-roe"}) {}
};

TEST_F(ManageRegistered, ShowsThemRegisteredAndRemoveUnregistersTheRemovedOneByItsThumbprint) {
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
  Asked(kRemoveQuestion, IDYES);
  Asked(kUnregisterQuestion, IDYES);
  OnDialog("after", [](ModalWindow& dialog) {
    HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ((Cells{"John Roe", "Example Corp"}), listkit::Column(list, 0));
    EXPECT_EQ((Cells{"<Yes>", "<No>"}), listkit::Column(list, 3));
    dialog.Press(IDC_MANAGE_CLOSE);
  });
  EXPECT_EQ(0, Click(IDC_MANAGE));
  EXPECT_EQ("", KeyInfoInMy("jane-doe")) << "the removed certificate stayed registered";
  EXPECT_NE("", KeyInfoInMy("john-roe")) << "the certificate in the removed one's row was unregistered";
}
