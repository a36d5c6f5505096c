// The page's life through IPropertyPage as a host drives it: activation with
// the host's objects, the dialog and its controls, the Auto Registration
// layout, the property-page contract and the release of everything.
#include "page/PageFixture.h"

#include <objbase.h>

using testkit::Arg;
using testkit::Call;

namespace {

std::string Wide(const wchar_t* text) {
  std::string s;
  for (; text && *text; ++text) s.push_back(static_cast<char>(*text));
  return s;
}

std::string ClassName(HWND window) {
  char name[64] = "";
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

}  // namespace

TEST_F(PageTest, ActivationCreatesThePageDialogAsAChildWithTheStringTableTexts) {
  const HRESULT hr = harness.Open();
  ASSERT_EQ(S_OK, hr) << std::hex << hr;

  HWND window = harness.PageWindow();
  ASSERT_NE(nullptr, window) << "no dialog below the parent window";
  EXPECT_EQ(harness.parent(), ::GetParent(window));
  EXPECT_EQ("#32770", ClassName(window));
  EXPECT_TRUE(::GetWindowLongA(window, GWL_STYLE) & WS_CHILD);
  EXPECT_FALSE(::GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) << "the host shows the page, not Activate";

  // The group and the two labels read "Cetificate", "PIN Blocked!" and "Password Blocked!" in the template.
  std::string texts;
  for (int id : kTableIds) texts += harness.ItemText(id) + "|";
  EXPECT_EQ("Change User PIN|Certificates|Manage|Import|PKI Storage|Change Password|PIN is blocked!|"
            "Password is blocked!|Auto Registration|",
            texts);

  EXPECT_EQ("SE SE SE SE SE SE hE hE SE", States());
}

TEST_F(PageTest, ActivationPlacesThePageAtTheGivenRectangleAndShowAndMoveNeedADialog) {
  ASSERT_EQ(S_OK, harness.Create());
  const RECT rect = {0, 0, 100, 100};
  EXPECT_EQ(E_UNEXPECTED, page()->Show(SW_SHOW));
  EXPECT_EQ(E_UNEXPECTED, page()->Move(&rect));
  ASSERT_EQ(S_OK, harness.Connect());
  const RECT where = {7, 9, 407, 309};
  ASSERT_EQ(S_OK, harness.Activate(where));
  RECT placed = {};
  ::GetWindowRect(harness.PageWindow(), &placed);
  ::MapWindowPoints(nullptr, harness.parent(), reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_TRUE(SameRect(where, placed)) << Describe(placed);

  const RECT moved = {20, 30, 320, 230};
  ASSERT_EQ(S_OK, page()->Move(&moved));
  ::GetWindowRect(harness.PageWindow(), &placed);
  ::MapWindowPoints(nullptr, harness.parent(), reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_TRUE(SameRect(moved, placed)) << Describe(placed);
  EXPECT_EQ(E_POINTER, page()->Move(nullptr));

  ASSERT_EQ(S_OK, page()->Show(SW_SHOW));
  EXPECT_TRUE(::IsWindowVisible(harness.PageWindow()));
  ASSERT_EQ(S_OK, page()->Show(SW_HIDE));
  EXPECT_FALSE(::IsWindowVisible(harness.PageWindow()));
  ASSERT_EQ(S_OK, page()->Deactivate());
  EXPECT_EQ(E_UNEXPECTED, page()->Show(SW_SHOW));
  EXPECT_EQ(E_UNEXPECTED, page()->Move(&rect));
}

TEST_F(PageTest, ActivationConnectsTheHostThenRefreshesQuietlyAndAsksForAutoRegistration) {
  ASSERT_EQ(S_OK, harness.Open());
  // The host connection, then the quiet password-state refresh inside its
  // guard, then the Auto Registration question with the flag preset to 0.
  const std::vector<std::string> expected = {
      Call("SetPageFrame", Arg(harness.frame()), 0),
      Call("AttachPage", 0),
      Call("PageActivated", 0),
      Call("BeginTokenOperation"),
      Call("QueryRefreshNeeded", 0),
      Call("OpenToken", 0, 1),
      Call("UpdateTokenStatus"),
      Call("GetSerialNumber"),
      Call("CloseToken"),
      Call("CloseToken"),
      Call("EndTokenOperation"),
      Call("Refresh", 0),
      Call("IsAutoRegistrationOffered", 0),
  };
  EXPECT_EQ(expected, host().Trace());
  EXPECT_EQ(0u, host().Count("ReportResult")) << "the activation refresh is quiet";
}

TEST_F(PageTest, ActivationFailsWithPointerErrorWhenAHostObjectOrItsInterfaceIsMissing) {
  const RECT where = {0, 0, 400, 300};
  {
    ASSERT_EQ(S_OK, harness.Create());
    ASSERT_EQ(S_OK, harness.Connect(1));  // without the second object
    const HRESULT hr = harness.Activate(where);
    EXPECT_EQ(E_POINTER, hr) << std::hex << hr;
    EXPECT_NE(nullptr, harness.PageWindow()) << "the dialog stays until Deactivate";
    EXPECT_EQ(std::vector<std::string>{Call("SetPageFrame", Arg(harness.frame()), 0)}, host().Trace());
    EXPECT_EQ(S_OK, page()->Deactivate());
    EXPECT_EQ(nullptr, harness.PageWindow());
    harness.Release();
  }
  {
    host().Clear();
    host().answersToken = false;
    ASSERT_EQ(S_OK, harness.Create());
    ASSERT_EQ(S_OK, harness.Connect());
    HRESULT hr = harness.Activate(where);
    EXPECT_EQ(E_POINTER, hr) << std::hex << hr;
    EXPECT_EQ(std::vector<std::string>{Call("SetPageFrame", Arg(harness.frame()), 0)}, host().Trace());
    harness.Release();
  }
  {
    host().Clear();
    host().answersToken = true;
    host().answersStatus = false;
    ASSERT_EQ(S_OK, harness.Create());
    ASSERT_EQ(S_OK, harness.Connect());
    HRESULT hr = harness.Activate(where);
    EXPECT_EQ(E_POINTER, hr) << std::hex << hr;
    EXPECT_TRUE(host().calls.empty()) << "the host saw " << host().calls.front().ToString();
    harness.Release();
  }
  {
    ASSERT_EQ(S_OK, harness.Create());
    HRESULT hr = harness.Activate(where);
    EXPECT_EQ(E_POINTER, hr) << "no objects at all: " << std::hex << hr;
    EXPECT_EQ(E_POINTER, page()->Activate(harness.parent(), nullptr, FALSE));
  }
  EXPECT_EQ(1, host().status.refs());
  EXPECT_EQ(1, host().token.refs());
}

TEST_F(PageTest, AFailedAttachIsTheActivationResultAndSkipsTheRefresh) {
  host().attachPageResult = E_ACCESSDENIED;
  host().autoRegistrationOffered = 0;
  ASSERT_EQ(S_OK, harness.Create());
  ASSERT_EQ(S_OK, harness.Connect());
  const HRESULT hr = harness.Activate();
  EXPECT_EQ(E_ACCESSDENIED, hr) << std::hex << hr;
  const std::vector<std::string> expected = {
      Call("SetPageFrame", Arg(harness.frame()), 0),
      Call("AttachPage", 0),
      Call("PageActivated", 0),
  };
  EXPECT_EQ(expected, host().Trace());
  EXPECT_TRUE(harness.ItemShown(IDC_AUTO_REGISTRATION)) << "the layout is settled only after a connection";
}

TEST_F(PageTest, WithoutAutoRegistrationImportAndManageMoveOnePlaceRight) {
  host().autoRegistrationOffered = 0;
  ASSERT_EQ(S_OK, harness.Open());

  EXPECT_FALSE(harness.ItemShown(IDC_AUTO_REGISTRATION));
  const RECT importRect = harness.ItemRect(IDC_IMPORT);
  const RECT manageRect = harness.ItemRect(IDC_MANAGE);
  EXPECT_TRUE(SameRect(harness.DialogUnits(188, 100, 70, 14), importRect))
      << "Import is at " << Describe(importRect) << ", 208's place is " << Describe(harness.DialogUnits(188, 100, 70, 14));
  EXPECT_TRUE(SameRect(harness.DialogUnits(112, 100, 70, 14), manageRect))
      << "Manage is at " << Describe(manageRect) << ", 204's place is " << Describe(harness.DialogUnits(112, 100, 70, 14));

  // The left place stays empty: no visible push button covers it.
  const RECT left = harness.DialogUnits(36, 100, 70, 14);
  for (HWND child = ::GetWindow(harness.PageWindow(), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    const LONG style = ::GetWindowLongA(child, GWL_STYLE);
    if (!(style & WS_VISIBLE) || ClassName(child) != "Button" || (style & BS_TYPEMASK) == BS_GROUPBOX) continue;
    RECT rect = {}, overlap = {};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, harness.PageWindow(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_FALSE(::IntersectRect(&overlap, &rect, &left)) << "button " << ::GetDlgCtrlID(child) << " is there";
  }
}

TEST_F(PageTest, WithAutoRegistrationOfferedTheButtonsKeepTheirTemplatePlaces) {
  host().autoRegistrationOffered = 7;
  ASSERT_EQ(S_OK, harness.Open());
  EXPECT_TRUE(harness.ItemShown(IDC_AUTO_REGISTRATION));
  EXPECT_TRUE(SameRect(harness.DialogUnits(188, 100, 70, 14), harness.ItemRect(IDC_AUTO_REGISTRATION)));
  EXPECT_TRUE(SameRect(harness.DialogUnits(112, 100, 70, 14), harness.ItemRect(IDC_IMPORT)));
  EXPECT_TRUE(SameRect(harness.DialogUnits(36, 100, 70, 14), harness.ItemRect(IDC_MANAGE)));
}

TEST_F(PageTest, SetPageSiteKeepsTheFirstSiteUntilClearedAndSetObjectsOneReferencePerObject) {
  ASSERT_EQ(S_OK, harness.Create());
  EXPECT_EQ(E_POINTER, page()->SetObjects(2, nullptr));
  IUnknown* objects[2] = {host().StatusObject(), host().TokenObject()};
  ASSERT_EQ(S_OK, page()->SetObjects(2, objects));
  ASSERT_EQ(S_OK, page()->SetObjects(2, objects));
  EXPECT_EQ(2, host().status.refs());
  EXPECT_EQ(2, host().token.refs());
  ASSERT_EQ(S_OK, page()->SetObjects(1, objects));
  EXPECT_EQ(2, host().status.refs()) << "the old objects are replaced";
  EXPECT_EQ(1, host().token.refs());
  ASSERT_EQ(S_OK, page()->SetObjects(0, objects));
  EXPECT_EQ(1, host().status.refs());

  testkit::FakePageSite first, second;
  ASSERT_EQ(S_OK, page()->SetPageSite(&first));
  EXPECT_EQ(2, first.refs());
  HRESULT hr = page()->SetPageSite(&second);
  EXPECT_EQ(E_UNEXPECTED, hr) << std::hex << hr;
  EXPECT_EQ(2, first.refs()) << "the old site was released";
  EXPECT_EQ(1, second.refs()) << "the refused site was kept";
  EXPECT_EQ(S_OK, page()->SetPageSite(nullptr));
  EXPECT_EQ(1, first.refs());
  EXPECT_EQ(S_OK, page()->SetPageSite(&second));
  EXPECT_EQ(2, second.refs());
  harness.Release();
  EXPECT_EQ(1, second.refs());
}

TEST_F(PageTest, ThePageIsNeverDirtyAndApplySucceeds) {
  ASSERT_EQ(S_OK, harness.Create());
  EXPECT_EQ(S_FALSE, page()->IsPageDirty());
  ASSERT_EQ(S_OK, harness.Connect());
  ASSERT_EQ(S_OK, harness.Activate());
  EXPECT_EQ(S_FALSE, page()->IsPageDirty());
  harness.Notify(TPN_DISABLE, 1);
  harness.Notify(TPN_ENABLE, 2);
  testkit::ModalDriver driver;
  driver.Then("settings", testkit::AnyDialog(), [](testkit::ModalWindow& dialog) { dialog.Press(IDCANCEL); });
  harness.Click(IDC_AUTO_REGISTRATION);
  driver.Finish();
  EXPECT_EQ(S_FALSE, page()->IsPageDirty());
  EXPECT_EQ(S_OK, page()->Apply());
  EXPECT_EQ(S_FALSE, page()->IsPageDirty());
  EXPECT_EQ(S_OK, page()->Deactivate());
  EXPECT_EQ(S_FALSE, page()->IsPageDirty());
  EXPECT_EQ(S_OK, page()->Apply());
}

TEST_F(PageTest, DeactivateDestroysOnlyTheDialogAndASecondActivateConnectsAgain) {
  ASSERT_EQ(S_OK, harness.Open());
  HWND first = harness.PageWindow();
  ASSERT_EQ(S_OK, page()->Deactivate());
  EXPECT_FALSE(::IsWindow(first));
  EXPECT_EQ(nullptr, harness.PageWindow());
  EXPECT_EQ(3, host().status.refs()) << "the host interfaces stay with the page";
  EXPECT_EQ(3, host().token.refs());
  EXPECT_EQ(S_OK, page()->Deactivate()) << "a second Deactivate";

  host().Clear();
  host().pinFirst = 0;
  host().pinSecond = 1;
  host().autoRegistrationOffered = 0;
  const HRESULT hr = harness.Activate();
  ASSERT_EQ(S_OK, hr) << std::hex << hr;
  ASSERT_NE(nullptr, harness.PageWindow());
  // The dialog's initialisation already has the host token interface.
  const std::vector<std::string> trace = host().Trace();
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(Call("GetPinState", 0, 0), trace[0]);
  EXPECT_EQ(Call("SetPageFrame", Arg(harness.frame()), 0), trace[1]);
  EXPECT_TRUE(harness.ItemShown(IDC_PIN_BLOCKED));
  EXPECT_FALSE(harness.ItemShown(IDC_PASSWORD_BLOCKED));
  EXPECT_FALSE(harness.ItemShown(IDC_AUTO_REGISTRATION));
  EXPECT_TRUE(SameRect(harness.DialogUnits(188, 100, 70, 14), harness.ItemRect(IDC_IMPORT)));
  EXPECT_EQ(3, host().status.refs()) << "the second connection replaced the first";
  EXPECT_EQ(3, host().token.refs());
}

TEST_F(PageTest, GetPageInfoGivesTheTitleStringsAndTheTemplateSizeInPixels) {
  ASSERT_EQ(S_OK, harness.Create());
  EXPECT_EQ(E_POINTER, page()->GetPageInfo(nullptr));
  PROPPAGEINFO info = {};
  HRESULT hr = page()->GetPageInfo(&info);
  ASSERT_EQ(S_OK, hr) << std::hex << hr;
  EXPECT_EQ(sizeof(PROPPAGEINFO), info.cb);
  EXPECT_EQ("User Tools", Wide(info.pszTitle));
  EXPECT_EQ("Your Help String", Wide(info.pszDocString));
  EXPECT_EQ("Help File Name", Wide(info.pszHelpFile));
  EXPECT_EQ(0u, info.dwHelpContext);
  ::CoTaskMemFree(info.pszTitle);
  ::CoTaskMemFree(info.pszDocString);
  ::CoTaskMemFree(info.pszHelpFile);

  // The dialog manager's own conversion of 270 x 180 dialog units, with the template's font.
  ASSERT_EQ(S_OK, harness.Connect());
  ASSERT_EQ(S_OK, harness.Activate());
  const RECT pixels = harness.DialogUnits(0, 0, 270, 180);
  EXPECT_EQ(pixels.right, info.size.cx);
  EXPECT_EQ(pixels.bottom, info.size.cy);
  EXPECT_GT(info.size.cx, 270) << "dialog units were not converted";
}

TEST_F(PageTest, ReleasingTheLastReferenceFreesTheHostObjectsSiteAndModuleLock) {
  ASSERT_EQ(S_OK, module.CanUnloadNow());
  ASSERT_EQ(S_OK, harness.Open());
  EXPECT_EQ(S_FALSE, module.CanUnloadNow()) << "a live page holds the module";
  // One reference for the object given to SetObjects, one for the interface obtained from it.
  EXPECT_EQ(3, host().status.refs());
  EXPECT_EQ(3, host().token.refs());
  EXPECT_EQ(2, harness.site.refs());
  HWND window = harness.PageWindow();

  // An extra reference keeps the page alive through the host's release.
  page()->AddRef();
  IPropertyPage* extra = page();
  harness.Release();
  EXPECT_EQ(S_FALSE, module.CanUnloadNow());
  EXPECT_EQ(3, host().status.refs()) << "the host interfaces live as long as the page";

  extra->Release();
  EXPECT_EQ(S_OK, module.CanUnloadNow()) << "the module lock was not dropped";
  EXPECT_EQ(1, host().status.refs());
  EXPECT_EQ(1, host().token.refs());
  EXPECT_EQ(1, harness.site.refs());
  EXPECT_FALSE(::IsWindow(window));
}

TEST_F(PageTest, ReleasingAnActivePageDestroysItsDialog) {
  ASSERT_EQ(S_OK, harness.Open());
  IPropertyPage* raw = page();
  raw->AddRef();
  harness.Release();  // deactivates and drops the harness's reference
  // Active again, and released without a Deactivate.
  const RECT rect = {0, 0, 300, 200};
  ASSERT_EQ(S_OK, raw->Activate(harness.parent(), &rect, FALSE));
  HWND window = harness.PageWindow();
  ASSERT_NE(nullptr, window);
  raw->Release();
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(S_OK, module.CanUnloadNow());
  EXPECT_EQ(1, host().status.refs());
  EXPECT_EQ(1, host().token.refs());
}
