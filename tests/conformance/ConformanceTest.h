// Fixture of every conformance case: a fresh store folder, the module loaded and initialised
// as the page does it, and one token (label kLabel, PINs kSoPin and kUserPin) in slot_.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "CryptokiModule.h"
#include "Template.h"

namespace conformance {

// Cases that test what only the soft token promises (vendor entries, lockout, test hooks).
#define SKIP_UNLESS_SOFT_TOKEN()                                                         \
  do {                                                                                   \
    if (!vendor) GTEST_SKIP() << "soft token behaviour: vendor entries, lockout, hooks"; \
  } while (0)

std::string rvText(CK_RV rv);

// Cryptoki result check with the actual code in the failure message; more text may be
// streamed after it. The call is evaluated once.
#define ZELT_CHECK_RV(check, expected, call)                   \
  switch (0)                                                    \
  case 0:                                                       \
  default:                                                      \
    if (const CK_RV rv_ = (call); false) {                      \
    } else                                                      \
      check(static_cast<CK_RV>(expected), rv_) << rvText(rv_)
#define EXPECT_RV(expected, call) ZELT_CHECK_RV(EXPECT_EQ, expected, call)
#define ASSERT_RV(expected, call) ZELT_CHECK_RV(ASSERT_EQ, expected, call)

class ConformanceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // C_Finalize and C_Initialize again, as after a restart of the same process.
  void restart();

  CK_SESSION_HANDLE openSession(bool readWrite = true);
  void loginUser(CK_SESSION_HANDLE session);
  // A data object with the label (stored with its NUL) and value.
  CK_OBJECT_HANDLE createData(CK_SESSION_HANDLE session, const std::string &label, const std::string &value,
                              bool onToken = true, bool isPrivate = false);
  // An X.509 certificate object; `value` stands in for the DER encoding.
  CK_OBJECT_HANDLE createCertificate(CK_SESSION_HANDLE session, const std::string &label, const std::string &id,
                                     const std::string &value);
  // C_CreateObject and C_SetAttributeValue with the template's attributes.
  CK_RV create(CK_SESSION_HANDLE session, Template &tmpl, CK_OBJECT_HANDLE *object) {
    return p11->C_CreateObject(session, tmpl.data(), tmpl.size(), object);
  }
  CK_RV set(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, Template &tmpl) {
    return p11->C_SetAttributeValue(session, object, tmpl.data(), tmpl.size());
  }
  std::vector<CK_OBJECT_HANDLE> find(CK_SESSION_HANDLE session, Template &tmpl, CK_ULONG capacity = 100);
  // The attribute's bytes read as the page reads them: length first, then the value.
  std::string attribute(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type);
  CK_TOKEN_INFO tokenInfo();

  // Runs this executable again as a second process that does `action` on the token (see
  // ChildProcess.cpp); the extra variables go to its environment. Its exit code.
  long runChild(const std::string &action, const std::vector<std::string> &args = {},
                std::vector<std::pair<std::string, std::string>> env = {});

  std::string store_;
  CryptokiModule module_;
  CK_FUNCTION_LIST_PTR p11 = nullptr;
  Q_FUNCTION_LIST_PTR vendor = nullptr;  // null against SoftHSM2
  CK_SLOT_ID slot_ = 0;
};

}  // namespace conformance
