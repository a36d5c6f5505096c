// The page's life through IPropertyPage as a host drives it: activation with
// the host's objects, the dialog and its controls, the Auto Registration
// layout, the property-page contract and the release of everything.
#include "page/PageFixture.h"

#include <objbase.h>

TEST_F(PageTest, ActivationMakesAHiddenChildDialogWithItsTextsAndConnectsTheHostQuietly) {
  const HRESULT hr = harness.Open();
  ASSERT_EQ(S_OK, hr) << std::hex << hr;
  HWND window = harness.PageWindow();
  ASSERT_NE(nullptr, window) << "no dialog below the parent window";
  EXPECT_TRUE(::GetWindowLongA(window, GWL_STYLE) & WS_CHILD);
  EXPECT_FALSE(::GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) << "the host shows the page, not Activate";

  // The group and the two labels read "Cetificate", "PIN Blocked!" and "Password Blocked!" in the template.
  std::string texts;
  for (int id : kTable) texts += harness.ItemText(id) + "|";
  EXPECT_EQ("Change User PIN|Certificates|Manage|Import|PKI Storage|Change Password|PIN is blocked!|"
            "Password is blocked!|Auto Registration|",
            texts);
  EXPECT_EQ("SE SE SE SE SE SE hE hE SE", States());

  // The host connection, then the quiet password-state refresh (no ReportResult) inside its
  // guard, then the Auto Registration question with the flag preset to 0.
  const std::vector<std::string> expected = {
      Call("SetPageFrame", Arg(harness.frame()), 0), Call("AttachPage", 0), Call("PageActivated", 0),
      Call("BeginTokenOperation"), Call("QueryRefreshNeeded", 0), Call("OpenToken", 0, 1),
      Call("UpdateTokenStatus"), Call("GetSerialNumber"), Call("CloseToken"), Call("CloseToken"),
      Call("EndTokenOperation"), Call("Refresh", 0), Call("IsAutoRegistrationOffered", 0),
  };
  EXPECT_EQ(expected, host().Trace());

  // A token that does not open ends the quiet refresh: no serial number without it.
  host().Clear();
  host().openTokenResult = 0x80100001;
  ASSERT_EQ(S_OK, harness.Activate());
  EXPECT_EQ(0u, host().Count("GetSerialNumber"));
  EXPECT_EQ(0u, host().Count("ReportResult"));
  EXPECT_EQ(1u, host().Count("EndTokenOperation"));
}

TEST_F(PageTest, ActivateMoveAndShowPlaceTheDialog) {
  ASSERT_EQ(S_OK, harness.Create());
  ASSERT_EQ(S_OK, harness.Connect());
  ASSERT_EQ(S_OK, harness.Activate(RECT{7, 9, 407, 309}));
  EXPECT_EQ((RECT{7, 9, 407, 309}), harness.RectIn(harness.PageWindow(), harness.parent()));
  const RECT rect = {20, 30, 320, 230};
  ASSERT_EQ(S_OK, page()->Move(&rect));
  EXPECT_EQ(rect, harness.RectIn(harness.PageWindow(), harness.parent()));
  EXPECT_EQ(E_POINTER, page()->Move(nullptr));
  for (bool shown : {true, false}) {
    ASSERT_EQ(S_OK, page()->Show(shown ? SW_SHOW : SW_HIDE));
    EXPECT_EQ(shown, !!::IsWindowVisible(harness.PageWindow()));
  }
  ASSERT_EQ(S_OK, page()->Deactivate());
  EXPECT_EQ(E_UNEXPECTED, page()->Show(SW_SHOW)) << "no dialog to show";
}

// A missing host object or interface fails with E_POINTER, a failed attach with its own result and
// no refresh or Auto Registration question; either way the dialog stays until Deactivate.
TEST_F(PageTest, ActivationFailsWhenAHostObjectOrItsInterfaceIsMissingOrTheAttachFails) {
  const std::string frame = Call("SetPageFrame", Arg(harness.frame()), 0);
  const char kMissing[] = "ActivationFailsWithPointerErrorWhenAHostObjectOrItsInterfaceIsMissing";
  const struct {
    const char* name;
    ULONG objects;
    bool status, token;
    HRESULT attach, result;
    std::vector<std::string> trace;  // only a status interface is told the frame
  } cases[] = {
      {kMissing, 1, true, true, S_OK, E_POINTER, {frame}},
      {kMissing, 2, true, false, S_OK, E_POINTER, {frame}},
      {kMissing, 2, false, true, S_OK, E_POINTER, {}},
      {kMissing, 0, true, true, S_OK, E_POINTER, {}},
      {"AFailedAttachIsTheActivationResultAndSkipsTheRefresh", 2, true, true, E_ACCESSDENIED, E_ACCESSDENIED,
       {frame, Call("AttachPage", 0), Call("PageActivated", 0)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.name << ": " << c.objects << " objects, status " << c.status << ", token "
                                      << c.token);
    host().Clear();
    host().answersStatus = c.status;
    host().answersToken = c.token;
    host().attachPageResult = c.attach;
    ASSERT_EQ(S_OK, harness.Create());
    ASSERT_EQ(S_OK, harness.Connect(c.objects));
    const HRESULT hr = harness.Activate();
    EXPECT_EQ(c.result, hr) << std::hex << hr;
    EXPECT_NE(nullptr, harness.PageWindow()) << "the dialog stays until Deactivate";
    EXPECT_EQ(c.trace, host().Trace());
    harness.Release();
  }
  EXPECT_EQ(1, host().status.refs);
  EXPECT_EQ(1, host().token.refs);
}

TEST_F(PageTest, WithoutAutoRegistrationImportAndManageMoveOnePlaceRight) {
  ASSERT_EQ(S_OK, harness.Create());
  ASSERT_EQ(S_OK, harness.Connect());
  for (LONG offered : {7, 0}) {
    SCOPED_TRACE(offered);
    host().autoRegistrationOffered = offered;
    ASSERT_EQ(S_OK, harness.Activate());
    EXPECT_EQ(offered != 0, harness.ItemShown(IDC_AUTO_REGISTRATION));
    EXPECT_EQ(harness.DialogUnits(188, 100, 70, 14), At(IDC_AUTO_REGISTRATION)) << "hidden in its place";
    EXPECT_EQ(harness.DialogUnits(offered ? 112 : 188, 100, 70, 14), At(IDC_IMPORT));
    EXPECT_EQ(harness.DialogUnits(offered ? 36 : 112, 100, 70, 14), At(IDC_MANAGE));
  }
}

TEST_F(PageTest, SetObjectsHoldsOneReferencePerObjectAndReplacesTheOldOnes) {
  ASSERT_EQ(S_OK, harness.Create());
  IUnknown* objects[2] = {host().StatusObject(), host().TokenObject()};
  ASSERT_EQ(S_OK, page()->SetObjects(2, objects));
  ASSERT_EQ(S_OK, page()->SetObjects(1, objects));
  EXPECT_EQ(2, host().status.refs);
  EXPECT_EQ(1, host().token.refs);
  ASSERT_EQ(S_OK, page()->SetObjects(0, objects));
  EXPECT_EQ(1, host().status.refs);
}

TEST_F(PageTest, GetPageInfoGivesTheTitleStringsAndTheTemplateSizeInPixelsAndThePageIsNeverDirty) {
  ASSERT_EQ(S_OK, harness.Open());
  PROPPAGEINFO info = {};
  const HRESULT hr = page()->GetPageInfo(&info);
  ASSERT_EQ(S_OK, hr) << std::hex << hr;
  EXPECT_STREQ(L"User Tools", info.pszTitle);
  EXPECT_STREQ(L"Help File Name", info.pszHelpFile);
  EXPECT_STREQ(L"Your Help String", info.pszDocString);
  for (LPOLESTR text : {info.pszTitle, info.pszDocString, info.pszHelpFile}) ::CoTaskMemFree(text);
  // The dialog manager's own conversion of 270 x 180 dialog units, with the template's font.
  EXPECT_EQ(harness.DialogUnits(0, 0, 270, 180), (RECT{0, 0, info.size.cx, info.size.cy}));
  EXPECT_GT(info.size.cx, 270) << "dialog units were not converted";
  // Nothing on the page is for the host's sheet to apply.
  EXPECT_EQ(S_FALSE, page()->IsPageDirty());
  EXPECT_EQ(S_OK, page()->Apply());
}

TEST_F(PageTest, DeactivateAndReleaseFreeTheDialogAndReleaseTheHostObjectsSiteAndModuleLock) {
  ASSERT_EQ(S_OK, module.CanUnloadNow());
  ASSERT_EQ(S_OK, harness.Open());
  // One reference for the object given to SetObjects, one for the interface obtained from it.
  EXPECT_EQ(3, host().status.refs);
  EXPECT_EQ(3, host().token.refs);
  EXPECT_EQ(2, host().site.refs);
  // An extra reference keeps the page alive through the host's deactivation and release.
  HWND first = harness.PageWindow();
  IPropertyPage* extra = page();
  extra->AddRef();
  harness.Release();
  EXPECT_FALSE(::IsWindow(first));
  EXPECT_EQ(S_FALSE, module.CanUnloadNow()) << "a live page holds the module";
  EXPECT_EQ(3, host().status.refs) << "the host interfaces live as long as the page";

  // Active again: the dialog's initialisation already has the host token interface.
  host().Clear();
  host().pinFirst = 0;
  host().pinSecond = 1;
  const RECT rect = {0, 0, 300, 200};
  ASSERT_EQ(S_OK, extra->Activate(harness.parent(), &rect, FALSE));
  const std::vector<std::string> trace = host().Trace();
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(Call("GetPinState", 0, 0), trace[0]);
  EXPECT_EQ(Call("SetPageFrame", Arg(harness.frame()), 0), trace[1]);
  EXPECT_TRUE(harness.ItemShown(IDC_PIN_BLOCKED));
  EXPECT_EQ(3, host().token.refs) << "the second connection replaced the first";
  // Released without a Deactivate.
  HWND window = harness.PageWindow();
  extra->Release();
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(S_OK, module.CanUnloadNow()) << "the module lock was not dropped";
  EXPECT_EQ(1, host().status.refs);
  EXPECT_EQ(1, host().token.refs);
  EXPECT_EQ(1, host().site.refs);
}
