#pragma once
// A page of the real DLL in a host-like window, with the fake host.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/FakeHost.h"
#include "kit/ModalDriver.h"
#include "kit/ModuleUnderTest.h"
#include "kit/PageHarness.h"
#include "page/HostInterfaces.h"
#include "res/resource.h"

using ::testing::MatchesRegex;

class PageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module.loaded()) << "cannot load the page DLL, error " << ::GetLastError();
    ASSERT_TRUE(harness.Ready());
  }

  // Opens the page the way the host does and forgets what the host saw so far.
  void OpenAndClear() {
    const HRESULT hr = harness.Open();
    ASSERT_EQ(S_OK, hr) << std::hex << hr;
    ASSERT_NE(nullptr, harness.PageWindow());
    host().Clear();
  }

  testkit::FakeHost& host() { return harness.host; }
  IPropertyPage* page() { return harness.page(); }

  // The controls of the page's table, in table order.
  static constexpr int kTableIds[] = {IDC_CHANGE_USER_PIN, IDC_CERTIFICATE_GROUP, IDC_MANAGE,
                                      IDC_IMPORT,          IDC_PKI_STORAGE_GROUP, IDC_CHANGE_PASSWORD,
                                      IDC_PIN_BLOCKED,     IDC_PASSWORD_BLOCKED,  IDC_AUTO_REGISTRATION};

  // The table's controls, each "S" or "h" (shown, hidden) followed by "E" or "d" (enabled,
  // disabled). Compare with MatchesRegex, where ".." leaves a control unchecked.
  std::string States() const {
    std::string states;
    for (int id : kTableIds)
      states += std::string(states.empty() ? "" : " ") + (harness.ItemShown(id) ? "S" : "h") +
                (harness.ItemEnabled(id) ? "E" : "d");
    return states;
  }

  testkit::ModuleUnderTest module;
  testkit::PageHarness harness{module};
};

inline bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline std::string Describe(const RECT& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
}
