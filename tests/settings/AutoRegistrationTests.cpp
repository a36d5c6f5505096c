// Auto Registration from the page's button: what the settings dialog shows, what
// reaches the expiration-warning key and what the host is told.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kit/ModalDriver.h"
#include "kit/Registry.h"
#include "page/PageFixture.h"

using testkit::BoxIcon;
using testkit::Call;
using testkit::ModalWindow;

namespace {

const wchar_t kKey[] =
    L"Software\\Quillon Works\\Zelt\\Zelt Components\\Zelt Utilities\\Zelt Auto Certificate Registration\\CEW";
const char kTitle[] = "Auto Certificate Registration Settings";
// The key's parent: a test may make it volatile, and it goes with the key at the end.
const std::wstring kParent(kKey, std::wstring(kKey).rfind(L'\\'));

void WriteValue(HKEY root, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
  ::RegCloseKey(key);
}

void WriteDword(HKEY root, const wchar_t* name, DWORD value) {
  WriteValue(root, name, REG_DWORD, &value, sizeof value);
}

DWORD Stored(HKEY root, const wchar_t* name) {
  DWORD value = 0xDEAD;
  EXPECT_TRUE(testkit::ReadDword(root, kKey, name, &value)) << "no value " << name;
  return value;
}

}  // namespace

class AutoRegistrationTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    TearDown();  // no key left over
    OpenAndClear();
    host().autoRegistrationEnabled = TRUE;  // unless a test says otherwise
  }
  void TearDown() override {
    testkit::DeleteKeyTree(HKEY_CURRENT_USER, kParent);
    testkit::DeleteKeyTree(HKEY_LOCAL_MACHINE, kParent);
  }

  LRESULT Run() {
    const LRESULT result = harness.Click(IDC_AUTO_REGISTRATION);
    driver.Finish();
    return result;
  }
  void OnDialog(const std::string& what, testkit::StepAction action) {
    driver.Then(what, testkit::Titled(kTitle), std::move(action));
  }
  // OK with `days` typed, refused with the range message owned by the dialog, focus back on the days.
  void Refused(const std::string& days) {
    auto dialogWindow = std::make_shared<HWND>();
    OnDialog("type " + days, [days, dialogWindow](ModalWindow& dialog) {
      *dialogWindow = dialog.window();
      dialog.Type(IDC_WARNING_DAYS, days);
      dialog.Press(IDOK);
    });
    driver.Then("refused " + days, testkit::AnyDialog(), [dialogWindow](ModalWindow& box) {
      EXPECT_EQ("Please enter an integer between 1 and 180.", box.MessageText());
      EXPECT_EQ(kTitle, box.Title());
      EXPECT_EQ(BoxIcon::Warning, box.Icon()) << ToString(box.Icon());
      EXPECT_EQ(*dialogWindow, box.Owner());
      box.Press(IDOK);
    });
    OnDialog("focus after refusing " + days, [](ModalWindow& dialog) {
      const HWND focus = ::GetFocus();
      const HWND combo = dialog.Item(IDC_WARNING_DAYS);
      EXPECT_TRUE(focus == combo || ::IsChild(combo, focus)) << "focus on control " << ::GetDlgCtrlID(focus);
    });
  }

  testkit::ModalDriver driver;
};

TEST_F(AutoRegistrationTest, WithoutKeyShowsDefaultsAndUncheckedRegistrationWritesNothing) {
  host().autoRegistrationEnabled = FALSE;
  OnDialog("settings", [](ModalWindow& dialog) {
    EXPECT_EQ("30", dialog.ItemText(IDC_WARNING_DAYS));
    std::vector<std::string> offered;
    for (int i = 0; i < ::SendDlgItemMessageA(dialog.window(), IDC_WARNING_DAYS, CB_GETCOUNT, 0, 0); ++i) {
      char item[16] = "";
      ::SendDlgItemMessageA(dialog.window(), IDC_WARNING_DAYS, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      offered.push_back(item);
    }
    EXPECT_EQ((std::vector<std::string>{"1", "5", "10", "15", "20", "25", "30"}), offered);
    EXPECT_FALSE(dialog.IsChecked(IDC_ENABLE_AUTO_REGISTRATION));
    EXPECT_FALSE(dialog.IsChecked(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_FALSE(dialog.IsEnabled(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_FALSE(dialog.IsEnabled(IDC_WARNING_DAYS));
    // Not validated while registration is off.
    dialog.Type(IDC_WARNING_DAYS, "0");
    dialog.Press(IDOK);
  });
  EXPECT_EQ(S_OK, Run());
  EXPECT_EQ((std::vector<std::string>{Call("GetAutoRegistration"), Call("SetAutoRegistration", 0)}), host().Trace());
  EXPECT_FALSE(testkit::KeyExists(HKEY_CURRENT_USER, kKey));

  // The enable rules keep the states they disable; Cancel hands nothing back and stores nothing.
  host().Clear();
  host().autoRegistrationEnabled = TRUE;
  OnDialog("settings", [](ModalWindow& dialog) {
    EXPECT_TRUE(dialog.IsChecked(IDC_ENABLE_AUTO_REGISTRATION));
    EXPECT_TRUE(dialog.IsEnabled(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_FALSE(dialog.IsEnabled(IDC_WARNING_DAYS));
    dialog.SetCheck(IDC_ENABLE_EXPIRATION_WARNING, true);
  });
  OnDialog("warning on", [](ModalWindow& dialog) {
    EXPECT_TRUE(dialog.IsEnabled(IDC_WARNING_DAYS));
    dialog.SetCheck(IDC_ENABLE_AUTO_REGISTRATION, false);
  });
  OnDialog("registration off", [](ModalWindow& dialog) {
    EXPECT_FALSE(dialog.IsEnabled(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_FALSE(dialog.IsEnabled(IDC_WARNING_DAYS));
    EXPECT_TRUE(dialog.IsChecked(IDC_ENABLE_EXPIRATION_WARNING));
    dialog.Press(IDCANCEL);
  });
  EXPECT_EQ(S_OK, Run());
  EXPECT_EQ(0u, host().Count("SetAutoRegistration"));
  EXPECT_FALSE(testkit::KeyExists(HKEY_CURRENT_USER, kKey));
}

TEST_F(AutoRegistrationTest, UnreadableValuesFallBackAndDaysOutsideOneTo180AreRefused) {
  // A user key whose Days is too large to read and whose Off is missing.
  const ULONGLONG wide = 12;
  WriteValue(HKEY_CURRENT_USER, L"Days", REG_QWORD, &wide, sizeof wide);
  OnDialog("settings", [](ModalWindow& dialog) {
    EXPECT_EQ("30", dialog.ItemText(IDC_WARNING_DAYS));
    EXPECT_TRUE(dialog.IsChecked(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_TRUE(dialog.IsEnabled(IDC_WARNING_DAYS));
  });
  for (const char* days : {"0", "181", "-5", "ten"}) Refused(days);
  OnDialog("accept 180", [](ModalWindow& dialog) {
    DWORD off = 0;
    EXPECT_FALSE(testkit::ReadDword(HKEY_CURRENT_USER, kKey, L"Off", &off)) << "stored before OK succeeded";
    dialog.Type(IDC_WARNING_DAYS, "180");
    dialog.Press(IDOK);
  });
  EXPECT_EQ(S_OK, Run());
  EXPECT_EQ(180u, Stored(HKEY_CURRENT_USER, L"Days"));
  EXPECT_EQ(0u, Stored(HKEY_CURRENT_USER, L"Off"));
  EXPECT_EQ((std::vector<std::string>{Call("GetAutoRegistration"), Call("SetAutoRegistration", 1)}), host().Trace());

  OnDialog("accept 1", [](ModalWindow& dialog) {
    EXPECT_EQ("180", dialog.ItemText(IDC_WARNING_DAYS));
    EXPECT_TRUE(dialog.IsChecked(IDC_ENABLE_EXPIRATION_WARNING));
    dialog.Type(IDC_WARNING_DAYS, "1");
    dialog.Press(IDOK);
  });
  EXPECT_EQ(S_OK, Run());
  EXPECT_EQ(1u, Stored(HKEY_CURRENT_USER, L"Days"));
}

TEST_F(AutoRegistrationTest, MachineKeyIsReadAndWrittenBackForTheUserWithTheDaysItHeld) {
  WriteDword(HKEY_LOCAL_MACHINE, L"Days", 200);
  WriteDword(HKEY_LOCAL_MACHINE, L"Off", 1);
  OnDialog("settings", [](ModalWindow& dialog) {
    EXPECT_EQ("200", dialog.ItemText(IDC_WARNING_DAYS));
    EXPECT_FALSE(dialog.IsChecked(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_FALSE(dialog.IsEnabled(IDC_WARNING_DAYS));
    // With the warning off the shown text does not count.
    dialog.Type(IDC_WARNING_DAYS, "7");
    dialog.Press(IDOK);
  });
  EXPECT_EQ(S_OK, Run());
  EXPECT_EQ(200u, Stored(HKEY_CURRENT_USER, L"Days"));
  EXPECT_EQ(1u, Stored(HKEY_CURRENT_USER, L"Off"));
  EXPECT_EQ(200u, Stored(HKEY_LOCAL_MACHINE, L"Days"));

  // The user's key now wins.
  WriteDword(HKEY_LOCAL_MACHINE, L"Days", 5);
  OnDialog("user's key", [](ModalWindow& dialog) {
    EXPECT_EQ("200", dialog.ItemText(IDC_WARNING_DAYS));
    dialog.Press(IDCANCEL);
  });
  EXPECT_EQ(S_OK, Run());
}

TEST_F(AutoRegistrationTest, RefusedDaysAreNeverStoredAndAKeyThatCannotBeMadeStoresNothing) {
  WriteDword(HKEY_CURRENT_USER, L"Days", 45);
  WriteDword(HKEY_CURRENT_USER, L"Off", 0);
  Refused("0");
  OnDialog("warning off", [](ModalWindow& dialog) {
    dialog.SetCheck(IDC_ENABLE_EXPIRATION_WARNING, false);
    dialog.Press(IDOK);
  });
  EXPECT_EQ(S_OK, Run());
  EXPECT_EQ(45u, Stored(HKEY_CURRENT_USER, L"Days")) << "the days read at initialisation, not the refused 0";
  EXPECT_EQ(1u, Stored(HKEY_CURRENT_USER, L"Off"));

  // Under a volatile parent no lasting key can be created.
  TearDown();
  HKEY parent = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, kParent.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &parent, nullptr));
  ::RegCloseKey(parent);
  host().Clear();
  OnDialog("ok", [](ModalWindow& dialog) { dialog.Press(IDOK); });
  EXPECT_EQ(S_OK, Run());
  EXPECT_FALSE(testkit::KeyExists(HKEY_CURRENT_USER, kKey));
  EXPECT_EQ((std::vector<std::string>{Call("GetAutoRegistration"), Call("SetAutoRegistration", 1)}), host().Trace());
}

// A command that is no click: the check boxes ignore it, OK and Cancel take any.
TEST_F(AutoRegistrationTest, CheckBoxesActOnClicksOnlyOkAndCancelOnAnyCommand) {
  OnDialog("other codes", [](ModalWindow& dialog) {
    ::CheckDlgButton(dialog.window(), IDC_ENABLE_EXPIRATION_WARNING, BST_CHECKED);
    dialog.Command(IDC_ENABLE_EXPIRATION_WARNING, BN_DOUBLECLICKED);
    ::CheckDlgButton(dialog.window(), IDC_ENABLE_AUTO_REGISTRATION, BST_UNCHECKED);
    dialog.Command(IDC_ENABLE_AUTO_REGISTRATION, BN_DOUBLECLICKED);
  });
  OnDialog("rules not applied", [](ModalWindow& dialog) {
    EXPECT_TRUE(dialog.IsEnabled(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_FALSE(dialog.IsEnabled(IDC_WARNING_DAYS));
    dialog.Command(IDOK, BN_DOUBLECLICKED);
  });
  EXPECT_EQ(S_OK, Run());
  OnDialog("cancel", [](ModalWindow& dialog) { dialog.Command(IDCANCEL, 1); });
  EXPECT_EQ(S_OK, Run());
  EXPECT_EQ((std::vector<std::string>{Call("GetAutoRegistration"), Call("SetAutoRegistration", 0),
                                      Call("GetAutoRegistration")}),
            host().Trace());
}
