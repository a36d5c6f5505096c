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
#define SKIP_UNLESS_SOFT_TOKEN()                                                        \
  do {                                                                                  \
    if (!vendor) GTEST_SKIP() << "soft token behaviour: vendor entries, lockout, hooks"; \
  } while (0)

std::string rvText(CK_RV rv);

// Cryptoki result check with the actual code in the failure message.
#define EXPECT_RV(expected, call)                                 \
  do {                                                            \
    const CK_RV rv_ = (call);                                     \
    EXPECT_EQ(static_cast<CK_RV>(expected), rv_) << rvText(rv_);  \
  } while (0)
#define ASSERT_RV(expected, call)                                 \
  do {                                                            \
    const CK_RV rv_ = (call);                                     \
    ASSERT_EQ(static_cast<CK_RV>(expected), rv_) << rvText(rv_);  \
  } while (0)

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
  std::vector<CK_OBJECT_HANDLE> find(CK_SESSION_HANDLE session, Template &tmpl, CK_ULONG capacity = 100);
  // The attribute's bytes read as the page reads them: length first, then the value.
  std::string attribute(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type);
  CK_TOKEN_INFO tokenInfo();

  // Runs this executable again as a second process that does `action` on the token (see
  // ChildProcess.cpp); the extra variables go to its environment. Its exit code.
  long runChild(const std::string &action, const std::vector<std::string> &args = {},
                std::vector<std::pair<std::string, std::string>> env = {});

  static CK_UTF8CHAR_PTR text(const std::string &s) {
    return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char *>(s.data()));
  }

  std::string store_;
  CryptokiModule module_;
  CK_FUNCTION_LIST_PTR p11 = nullptr;
  Q_FUNCTION_LIST_PTR vendor = nullptr;  // null against SoftHSM2
  CK_SLOT_ID slot_ = 0;
};

}  // namespace conformance
