// The property-page contract beyond a normal activation: missing arguments, a missing
// dialog template and the help request.
#include <functional>

#include "page/PageFixture.h"
#include "page/UserPage.h"
#include "server/Module.h"

TEST_F(PageTest, MissingArgumentsAreRefusedWithPointerErrorAndChangeNothing) {
  ASSERT_EQ(S_OK, harness.Create());
  ASSERT_EQ(S_OK, harness.Connect());
  const struct {
    const char* call;
    std::function<HRESULT()> run;
  } cases[] = {
      {"GetPageInfo", [&] { return page()->GetPageInfo(nullptr); }},
      {"SetObjects", [&] { return page()->SetObjects(2, nullptr); }},
      {"Activate", [&] { return page()->Activate(harness.parent(), nullptr, FALSE); }},
  };
  for (const auto& c : cases) {
    const HRESULT hr = c.run();
    EXPECT_EQ(E_POINTER, hr) << c.call << ": 0x" << std::hex << hr;
  }
  EXPECT_EQ(nullptr, harness.PageWindow()) << "Activate made a dialog without a rectangle";
  EXPECT_EQ(2, host().status.refs) << "SetObjects dropped the objects it held";
  EXPECT_EQ(std::vector<std::string>{}, host().Trace());
}

// The page linked into this executable takes its resources from whichever module the
// module state names; one without dialog 105 stands for a template that is not there.
TEST(PageWithoutTemplate, GetPageInfoFailsWithUnexpectedAndFillsNothing) {
  testkit::PageHarness harness{&UserPage::CreateInstance};
  ASSERT_TRUE(harness.Ready());
  ASSERT_EQ(S_OK, harness.Create());
  PROPPAGEINFO info = {};
  info.cb = 7;
  Module::SetInstance(::GetModuleHandleW(L"kernel32.dll"));
  const HRESULT hr = harness.page()->GetPageInfo(&info);
  Module::SetInstance(::GetModuleHandleW(nullptr));
  EXPECT_EQ(E_UNEXPECTED, hr) << std::hex << hr;
  EXPECT_EQ(7u, info.cb);
  EXPECT_EQ(nullptr, info.pszTitle);
}

namespace {

// What a help request carried. Wine's WinHelp hands each request to the window of class
// MS_WINHELP (its help viewer) as WM_COPYDATA with this block; Windows' viewer protocol
// is its own, so there the test stands in for nothing and fails at the missing request.
struct HelpRequest {
  HWND from = nullptr;
  UINT command = 0;
  LONG data = -1;
  std::string file;
};
HelpRequest g_help;

LRESULT CALLBACK HelpViewer(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) return ::DefWindowProcA(window, message, wParam, lParam);
  struct Block {
    WORD size, command;
    LONG data, reserved;
    WORD ofsFilename, ofsData;
  };
  const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  const auto* block = static_cast<const Block*>(copy->lpData);
  g_help.from = reinterpret_cast<HWND>(wParam);
  g_help.command = block->command;
  g_help.data = block->data;
  g_help.file = block->ofsFilename ? reinterpret_cast<const char*>(block) + block->ofsFilename : "";
  return TRUE;
}

}  // namespace

TEST_F(OpenPageTest, HelpAsksForTheHelpFileInTheGivenFolderAsAPopupOfContextZero) {
  WNDCLASSA viewerClass = {};
  viewerClass.lpfnWndProc = &HelpViewer;
  viewerClass.hInstance = ::GetModuleHandleA(nullptr);
  viewerClass.lpszClassName = "MS_WINHELP";
  ASSERT_TRUE(::RegisterClassA(&viewerClass) || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS);
  // A hidden top-level window: FindWindow does not see message-only windows.
  HWND viewer =
      ::CreateWindowA("MS_WINHELP", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, viewerClass.hInstance, nullptr);
  ASSERT_NE(nullptr, viewer);
  EXPECT_EQ(S_OK, page()->Help(L"C:\\Zelt\\Help"));
  ::DestroyWindow(viewer);
  EXPECT_EQ(harness.PageWindow(), g_help.from);
  EXPECT_EQ(static_cast<UINT>(HELP_CONTEXTPOPUP), g_help.command);
  EXPECT_EQ(0, g_help.data);
  EXPECT_EQ("C:\\Zelt\\Help\\Help File Name", g_help.file);
}
