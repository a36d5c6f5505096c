// PIN management through the standard functions: C_SetPIN and C_InitPIN.
#include "ConformanceTest.h"

namespace conformance {
namespace {

using Pins = ConformanceTest;

TEST_F(Pins, SetPinInReadOnlySessionIsRefused) {
  CK_SESSION_HANDLE session = openSession(false);
  EXPECT_RV(CKR_SESSION_READ_ONLY, p11->C_SetPIN(session, text(kUserPin), 4, text("5678"), 4));
}

TEST_F(Pins, SetPinWithWrongOldPinChangesNothing) {
  CK_SESSION_HANDLE session = openSession();
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_SetPIN(session, text(kWrongPin), 4, text("5678"), 4));
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
}

TEST_F(Pins, SetPinOutsideTheLengthRangeIsRefused) {
  CK_SESSION_HANDLE session = openSession();
  loginUser(session);
  EXPECT_RV(CKR_PIN_LEN_RANGE, p11->C_SetPIN(session, text(kUserPin), 4, text("567"), 3));
  const std::string tooLong(300, '7');
  EXPECT_RV(CKR_PIN_LEN_RANGE, p11->C_SetPIN(session, text(kUserPin), 4, text(tooLong), tooLong.size()));
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_SetPIN(session, text(kUserPin), 4, nullptr, 0));
}

TEST_F(Pins, SetPinReplacesTheUserPin) {
  CK_SESSION_HANDLE session = openSession();
  loginUser(session);
  ASSERT_RV(CKR_OK, p11->C_SetPIN(session, text(kUserPin), 4, text("5678"), 4));
  ASSERT_RV(CKR_OK, p11->C_Logout(session));
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text("5678"), 4));
}

TEST_F(Pins, SetPinInPublicSessionChangesTheUserPin) {
  CK_SESSION_HANDLE session = openSession();
  ASSERT_RV(CKR_OK, p11->C_SetPIN(session, text(kUserPin), 4, text("24680"), 5));
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text("24680"), 5));
}

TEST_F(Pins, SecurityOfficerSetPinReplacesTheSoPin) {
  CK_SESSION_HANDLE session = openSession();
  ASSERT_RV(CKR_OK, p11->C_Login(session, CKU_SO, text(kSoPin), 8));
  ASSERT_RV(CKR_OK, p11->C_SetPIN(session, text(kSoPin), 8, text("13572468"), 8));
  ASSERT_RV(CKR_OK, p11->C_Logout(session));
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_Login(session, CKU_SO, text(kSoPin), 8));
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_SO, text("13572468"), 8));
  ASSERT_RV(CKR_OK, p11->C_Logout(session));
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text(kUserPin), 4)) << "user PIN unchanged";
}

TEST_F(Pins, InitPinNeedsTheSecurityOfficer) {
  CK_SESSION_HANDLE session = openSession();
  EXPECT_RV(CKR_USER_NOT_LOGGED_IN, p11->C_InitPIN(session, text("5678"), 4));
  loginUser(session);
  EXPECT_RV(CKR_USER_NOT_LOGGED_IN, p11->C_InitPIN(session, text("5678"), 4));
}

TEST_F(Pins, InitPinBySecurityOfficerSetsANewUserPin) {
  CK_SESSION_HANDLE session = openSession();
  ASSERT_RV(CKR_OK, p11->C_Login(session, CKU_SO, text(kSoPin), 8));
  EXPECT_RV(CKR_PIN_LEN_RANGE, p11->C_InitPIN(session, text("567"), 3));
  ASSERT_RV(CKR_OK, p11->C_InitPIN(session, text("5678"), 4));
  ASSERT_RV(CKR_OK, p11->C_Logout(session));
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text("5678"), 4));
}

}  // namespace
}  // namespace conformance
