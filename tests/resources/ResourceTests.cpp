// The resources of the built ZeltUtilUserPage.dll as the code meets them: every string, dialog,
// control, image and script that the product sources name is in the DLL and loads.
// The DLL is mapped as a data file, so its imports need not resolve.
#include <windows.h>

#include <commctrl.h>

#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "UsedResourceIds.h"
#include "kit/Paths.h"
#include "model/ScopedHandle.h"
#include "model/ScopedLibrary.h"
#include "resource.h"

namespace {

struct WindowTraits {
  using Handle = HWND;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DestroyWindow(h); }
};
using ScopedWindow = ScopedHandle<WindowTraits>;

std::string Where(const UsedResourceId& used) {
  std::ostringstream s;
  s << used.name << " (" << used.id << "), used in " << used.usedIn;
  return s.str();
}

bool Found(HMODULE module, LPCWSTR type, int id) { return ::FindResourceW(module, MAKEINTRESOURCEW(id), type); }

INT_PTR CALLBACK NoHandling(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class DllResources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The product registers the list view class before it shows its dialogs.
    INITCOMMONCONTROLSEX init = {sizeof init, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&init);
    dll_.reset(::LoadLibraryExW((testkit::BinDir() + L"ZeltUtilUserPage.dll").c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE));
  }
  static void TearDownTestSuite() { dll_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(dll_) << "cannot map the page DLL";
    ASSERT_TRUE(owner_) << "no owner window (is DISPLAY set?), error " << ::GetLastError();
  }

  // The dialog made from the DLL's template; creation fails when a control's class is unknown.
  ScopedWindow Create(int id) {
    return ScopedWindow(::CreateDialogParamW(dll(), MAKEINTRESOURCEW(id), owner_.get(), NoHandling, 0));
  }

  static HMODULE dll() { return dll_.get(); }

 private:
  static ScopedLibrary dll_;
  ScopedWindow owner_{::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                        ::GetModuleHandleW(nullptr), nullptr)};
};

ScopedLibrary DllResources::dll_;

}  // namespace

TEST_F(DllResources, EveryStringTheCodeUsesLoadsWhole) {
  ASSERT_NE(nullptr, kUsedStringIds[0].name) << "the id scan found no IDS_ name";
  for (const UsedResourceId* used = kUsedStringIds; used->name; ++used) {
    wchar_t text[1024] = {};
    const int n = ::LoadStringW(dll(), used->id, text, 1024);
    EXPECT_GT(n, 0) << Where(*used) << ": no such string in the DLL";
    // The code reads strings into buffers of 500 and 512 bytes: longer texts would be cut.
    EXPECT_LE(n, 499) << Where(*used) << " is cut short when the code loads it";
    EXPECT_EQ(nullptr, ::wcsstr(text, L"\\n")) << Where(*used) << ": a backslash shows instead of a line break";
  }
}

// What the user would see broken: a dialog that does not open, a control the code talks to in vain,
// an empty icon frame.
TEST_F(DllResources, EveryDialogTheCodeUsesCreatesAndHoldsEveryControlTheCodeUses) {
  ASSERT_NE(nullptr, kUsedDialogIds[0].name) << "the id scan found no IDD_ name";
  std::set<int> controls;
  for (const UsedResourceId* used = kUsedDialogIds; used->name; ++used) {
    ScopedWindow dialog = Create(used->id);
    EXPECT_TRUE(dialog) << Where(*used) << ": missing or not creatable, error " << ::GetLastError();
    for (HWND child = ::GetWindow(dialog.get(), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
      controls.insert(::GetDlgCtrlID(child));
      wchar_t windowClass[16] = {};
      ::GetClassNameW(child, windowClass, 16);
      if (::lstrcmpiW(windowClass, L"Static") == 0 && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        EXPECT_TRUE(::SendMessageW(child, STM_GETICON, 0, 0)) << Where(*used) << ": an icon did not load";
      }
    }
  }
  for (const UsedResourceId* used = kUsedControlIds; used->name; ++used)
    EXPECT_EQ(1u, controls.count(used->id)) << Where(*used) << ": no dialog the code uses has such a control";
}

// Styles that the dialogs' code relies on and that no other check would miss.
TEST_F(DllResources, ControlsHaveTheStylesTheirDialogsRelyOn) {
  const LONG list = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
  const struct {
    int dialog, control;
    LONG mask, style;
    const char* why;
  } cases[] = {
      {IDD_IMPORT_CERTIFICATE, IDC_FILE_PASSWORD, ES_PASSWORD, ES_PASSWORD, "the file password shows as typed"},
      {IDD_MANAGE_CERTIFICATES, IDC_CERTIFICATE_LIST, LVS_TYPEMASK | list, list,
       "a report of one selection that stays visible while a button has the focus"},
      {IDD_AUTO_REGISTRATION, IDC_WARNING_DAYS, 3 | CBS_SORT, CBS_DROPDOWN,
       "the days can be typed as well as picked, in the order they are filled in"},
  };
  for (const auto& c : cases) {
    ScopedWindow dialog = Create(c.dialog);
    ASSERT_TRUE(dialog) << c.dialog << ", error " << ::GetLastError();
    const LONG style = ::GetWindowLongW(::GetDlgItem(dialog.get(), c.control), GWL_STYLE);
    EXPECT_EQ(c.style, style & c.mask) << c.why << ": style 0x" << std::hex << style;
  }
  ScopedWindow import = Create(IDD_IMPORT_CERTIFICATE);
  EXPECT_EQ(static_cast<LRESULT>(MAKELONG(IDC_IMPORT_OK, DC_HASDEFID)), ::SendMessageW(import.get(), DM_GETDEFID, 0, 0))
      << "Enter does not run the import";
}

TEST_F(DllResources, EveryImageAndScriptTheCodeUsesIsThere) {
  for (const UsedResourceId* used = kUsedBitmapIds; used->name; ++used)
    EXPECT_TRUE(::LoadImageW(dll(), MAKEINTRESOURCEW(used->id), IMAGE_BITMAP, 0, 0, LR_SHARED)) << Where(*used);
  for (const UsedResourceId* used = kUsedIconIds; used->name; ++used)
    EXPECT_TRUE(::LoadImageW(dll(), MAKEINTRESOURCEW(used->id), IMAGE_ICON, 16, 16, LR_SHARED)) << Where(*used);
  for (const UsedResourceId* used = kUsedCustomResourceIds; used->name; ++used) {
    EXPECT_TRUE(Found(dll(), L"REGISTRY", used->id) || Found(dll(), L"TYPELIB", used->id))
        << Where(*used) << ": neither a REGISTRY nor a TYPELIB resource";
  }
}

// An id defined next to the code rather than in resource.h escapes the checks above.
TEST(ResourceHeader, DefinesEveryResourceIdTheCodeUses) {
  ASSERT_GT(kScannedSourceFiles, 0) << "the id scan found no product sources";
  std::string missing;
  for (const char* const* name = kIdsNotInResourceHeader; *name; ++name) missing += std::string(" ") + *name;
  EXPECT_TRUE(missing.empty()) << "not defined in src/res/resource.h:" << missing;
}
