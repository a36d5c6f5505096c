// Auto Registration from the page's button: what the settings dialog shows, what
// reaches the expiration-warning key and what the host is told.
#include <windows.h>

#include <gtest/gtest.h>

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
const char kOutOfRange[] = "Please enter an integer between 1 and 180.";

void WriteValue(HKEY root, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
  ::RegCloseKey(key);
}

void WriteDword(HKEY root, const wchar_t* name, DWORD value) {
  WriteValue(root, name, REG_DWORD, &value, sizeof value);
}

std::string ComboItems(const ModalWindow& dialog) {
  std::string items;
  const HWND combo = dialog.Item(IDC_WARNING_DAYS);
  const LRESULT count = ::SendMessageA(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char text[32] = "";
    ::SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    items += std::string(i ? "," : "") + text;
  }
  return items;
}

}  // namespace

class AutoRegistrationTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    ClearKeys();
    OpenAndClear();
  }
  void TearDown() override { ClearKeys(); }

  static void ClearKeys() {
    testkit::DeleteKeyTree(HKEY_CURRENT_USER, kKey);
    testkit::DeleteKeyTree(HKEY_LOCAL_MACHINE, kKey);
  }

  // Presses Auto Registration; `driver` works the dialog. The handler's result.
  LRESULT Run(testkit::ModalDriver& driver) {
    const LRESULT result = harness.Click(IDC_AUTO_REGISTRATION);
    driver.Finish();
    return result;
  }

  static testkit::WindowMatcher Dialog() { return testkit::Titled(kTitle); }

  // A step: the days text refused with the range message, owned by the dialog.
  static testkit::StepAction Refused(HWND* dialog) {
    return [dialog](ModalWindow& box) {
      EXPECT_EQ(kOutOfRange, box.MessageText());
      EXPECT_EQ(kTitle, box.Title());
      EXPECT_EQ(BoxIcon::Warning, box.Icon()) << ToString(box.Icon());
      EXPECT_EQ(*dialog, box.Owner());
      box.Press(IDOK);
    };
  }

  static DWORD Stored(HKEY root, const wchar_t* name) {
    DWORD value = 0xDEAD;
    EXPECT_TRUE(testkit::ReadDword(root, kKey, name, &value)) << "no value " << name;
    return value;
  }
};

TEST_F(AutoRegistrationTest, WithoutKeyShowsDefaultsAndUncheckedRegistrationWritesNothing) {
  host().autoRegistrationEnabled = FALSE;
  testkit::ModalDriver driver;
  driver.Then("settings", Dialog(), [](ModalWindow& dialog) {
    EXPECT_EQ("1,5,10,15,20,25,30", ComboItems(dialog));
    EXPECT_EQ("30", dialog.ItemText(IDC_WARNING_DAYS));
    EXPECT_FALSE(dialog.IsChecked(IDC_ENABLE_AUTO_REGISTRATION));
    EXPECT_FALSE(dialog.IsChecked(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_FALSE(dialog.IsEnabled(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_FALSE(dialog.IsEnabled(IDC_WARNING_DAYS));
    // Not validated while registration is off.
    dialog.Type(IDC_WARNING_DAYS, "0");
    dialog.Press(IDOK);
  });
  EXPECT_EQ(S_OK, Run(driver));
  EXPECT_EQ((std::vector<std::string>{Call("GetAutoRegistration"), Call("SetAutoRegistration", 0)}), host().Trace());
  EXPECT_FALSE(testkit::KeyExists(HKEY_CURRENT_USER, kKey));

  // Cancel hands nothing back and stores nothing.
  host().Clear();
  host().autoRegistrationEnabled = TRUE;
  driver.Then("settings", Dialog(), [](ModalWindow& dialog) {
    EXPECT_TRUE(dialog.IsChecked(IDC_ENABLE_AUTO_REGISTRATION));
    EXPECT_TRUE(dialog.IsEnabled(IDC_ENABLE_EXPIRATION_WARNING));
    dialog.SetCheck(IDC_ENABLE_EXPIRATION_WARNING, true);
    dialog.Type(IDC_WARNING_DAYS, "12");
    dialog.Press(IDCANCEL);
  });
  EXPECT_EQ(S_OK, Run(driver));
  EXPECT_EQ(0u, host().Count("SetAutoRegistration"));
  EXPECT_FALSE(testkit::KeyExists(HKEY_CURRENT_USER, kKey));
}

TEST_F(AutoRegistrationTest, DaysOutsideOneTo180AreRefusedAndTheBoundsStored) {
  host().autoRegistrationEnabled = TRUE;
  HWND dialogWindow = nullptr;
  testkit::ModalDriver driver;
  driver.Then("settings", Dialog(), [&](ModalWindow& dialog) {
    dialogWindow = dialog.window();
    dialog.SetCheck(IDC_ENABLE_EXPIRATION_WARNING, true);
  });
  for (const char* text : {"0", "181", "-5", "ten"}) {
    driver.Then(std::string("type ") + text, Dialog(), [text](ModalWindow& dialog) {
      dialog.Type(IDC_WARNING_DAYS, text);
      dialog.Press(IDOK);
    });
    driver.Then(std::string("refused ") + text, testkit::AnyDialog(), Refused(&dialogWindow));
    driver.Then("focus after refusing " + std::string(text), Dialog(), [](ModalWindow& dialog) {
      const HWND focus = ::GetFocus();
      const HWND combo = dialog.Item(IDC_WARNING_DAYS);
      EXPECT_TRUE(focus == combo || ::IsChild(combo, focus)) << "focus on control " << ::GetDlgCtrlID(focus);
      EXPECT_FALSE(testkit::KeyExists(HKEY_CURRENT_USER, kKey)) << "stored before OK succeeded";
    });
  }
  driver.Then("accept 180", Dialog(), [](ModalWindow& dialog) {
    dialog.Type(IDC_WARNING_DAYS, "180");
    dialog.Press(IDOK);
  });
  EXPECT_EQ(S_OK, Run(driver));
  EXPECT_EQ(180u, Stored(HKEY_CURRENT_USER, L"Days"));
  EXPECT_EQ(0u, Stored(HKEY_CURRENT_USER, L"Off"));
  EXPECT_EQ((std::vector<std::string>{Call("GetAutoRegistration"), Call("SetAutoRegistration", 1)}), host().Trace());

  driver.Then("accept 1", Dialog(), [](ModalWindow& dialog) {
    EXPECT_EQ("180", dialog.ItemText(IDC_WARNING_DAYS));
    EXPECT_TRUE(dialog.IsChecked(IDC_ENABLE_EXPIRATION_WARNING));
    dialog.Type(IDC_WARNING_DAYS, "1");
    dialog.Press(IDOK);
  });
  EXPECT_EQ(S_OK, Run(driver));
  EXPECT_EQ(1u, Stored(HKEY_CURRENT_USER, L"Days"));
}

TEST_F(AutoRegistrationTest, MachineKeyIsReadAndWrittenBackForTheUserWithTheDaysItHeld) {
  WriteDword(HKEY_LOCAL_MACHINE, L"Days", 200);
  WriteDword(HKEY_LOCAL_MACHINE, L"Off", 1);
  host().autoRegistrationEnabled = TRUE;
  testkit::ModalDriver driver;
  driver.Then("settings", Dialog(), [](ModalWindow& dialog) {
    EXPECT_EQ("200", dialog.ItemText(IDC_WARNING_DAYS));
    EXPECT_FALSE(dialog.IsChecked(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_FALSE(dialog.IsEnabled(IDC_WARNING_DAYS));
    // With the warning off the shown text does not count.
    dialog.Type(IDC_WARNING_DAYS, "7");
    dialog.Press(IDOK);
  });
  EXPECT_EQ(S_OK, Run(driver));
  EXPECT_EQ(200u, Stored(HKEY_CURRENT_USER, L"Days"));
  EXPECT_EQ(1u, Stored(HKEY_CURRENT_USER, L"Off"));
  EXPECT_EQ(200u, Stored(HKEY_LOCAL_MACHINE, L"Days"));

  // The user's key now wins; 200 is refused only once the warning is switched on.
  WriteDword(HKEY_LOCAL_MACHINE, L"Days", 5);
  HWND dialogWindow = nullptr;
  driver.Then("warning on", Dialog(), [&](ModalWindow& dialog) {
    dialogWindow = dialog.window();
    EXPECT_EQ("200", dialog.ItemText(IDC_WARNING_DAYS));
    dialog.SetCheck(IDC_ENABLE_EXPIRATION_WARNING, true);
    dialog.Press(IDOK);
  });
  driver.Then("200 refused", testkit::AnyDialog(), Refused(&dialogWindow));
  driver.Then("cancel", Dialog(), [](ModalWindow& dialog) { dialog.Press(IDCANCEL); });
  EXPECT_EQ(S_OK, Run(driver));
  EXPECT_EQ(1u, Stored(HKEY_CURRENT_USER, L"Off"));
  EXPECT_EQ(1u, host().Count("SetAutoRegistration"));
}

TEST_F(AutoRegistrationTest, UnreadableValuesFallBackAndEnableRulesKeepStates) {
  // A user key whose Days is too large to read and whose Off is missing.
  const ULONGLONG wide = 12;
  WriteValue(HKEY_CURRENT_USER, L"Days", REG_QWORD, &wide, sizeof wide);
  host().autoRegistrationEnabled = TRUE;
  testkit::ModalDriver driver;
  driver.Then("settings", Dialog(), [](ModalWindow& dialog) {
    EXPECT_EQ("30", dialog.ItemText(IDC_WARNING_DAYS));
    EXPECT_TRUE(dialog.IsChecked(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_TRUE(dialog.IsEnabled(IDC_WARNING_DAYS));
    dialog.SetCheck(IDC_ENABLE_AUTO_REGISTRATION, false);
  });
  driver.Then("registration off", Dialog(), [](ModalWindow& dialog) {
    EXPECT_FALSE(dialog.IsEnabled(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_FALSE(dialog.IsEnabled(IDC_WARNING_DAYS));
    EXPECT_TRUE(dialog.IsChecked(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_EQ("30", dialog.ItemText(IDC_WARNING_DAYS));
    dialog.SetCheck(IDC_ENABLE_AUTO_REGISTRATION, true);
  });
  driver.Then("registration on", Dialog(), [](ModalWindow& dialog) {
    EXPECT_TRUE(dialog.IsEnabled(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_TRUE(dialog.IsEnabled(IDC_WARNING_DAYS));
    dialog.SetCheck(IDC_ENABLE_EXPIRATION_WARNING, false);
  });
  driver.Then("warning off", Dialog(), [](ModalWindow& dialog) {
    EXPECT_FALSE(dialog.IsEnabled(IDC_WARNING_DAYS));
    dialog.SetCheck(IDC_ENABLE_AUTO_REGISTRATION, false);
    dialog.SetCheck(IDC_ENABLE_AUTO_REGISTRATION, true);
  });
  driver.Then("combo follows the warning", Dialog(), [](ModalWindow& dialog) {
    EXPECT_TRUE(dialog.IsEnabled(IDC_ENABLE_EXPIRATION_WARNING));
    EXPECT_FALSE(dialog.IsEnabled(IDC_WARNING_DAYS));
    dialog.Press(IDOK);
  });
  EXPECT_EQ(S_OK, Run(driver));
  EXPECT_EQ(30u, Stored(HKEY_CURRENT_USER, L"Days"));
  EXPECT_EQ(1u, Stored(HKEY_CURRENT_USER, L"Off"));
}
