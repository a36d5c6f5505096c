// PIN management through the standard functions: C_SetPIN and C_InitPIN.
#include "ConformanceTest.h"

namespace conformance {
namespace {

using Pins = ConformanceTest;

TEST_F(Pins, SetPinRefusesReadOnlySessionWrongOldPinAndBadNewPinsAndChangesNothing) {
  EXPECT_RV(CKR_SESSION_READ_ONLY, p11->C_SetPIN(openSession(false), text(kUserPin), 4, text("5678"), 4));
  CK_SESSION_HANDLE session = openSession();
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_SetPIN(session, text(kWrongPin), 4, text("5678"), 4));
  loginUser(session);
  EXPECT_RV(CKR_PIN_LEN_RANGE, p11->C_SetPIN(session, text(kUserPin), 4, text("567"), 3));
  const std::string tooLong(300, '7');
  EXPECT_RV(CKR_PIN_LEN_RANGE, p11->C_SetPIN(session, text(kUserPin), 4, text(tooLong), tooLong.size()));
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_SetPIN(session, text(kUserPin), 4, nullptr, 0));
  ASSERT_RV(CKR_OK, p11->C_Logout(session));
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
}

TEST_F(Pins, SetPinReplacesTheUserPinInPublicAndInUserSessions) {
  CK_SESSION_HANDLE session = openSession();
  ASSERT_RV(CKR_OK, p11->C_SetPIN(session, text(kUserPin), 4, text("24680"), 5));
  ASSERT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text("24680"), 5));
  ASSERT_RV(CKR_OK, p11->C_SetPIN(session, text("24680"), 5, text("5678"), 4));
  ASSERT_RV(CKR_OK, p11->C_Logout(session));
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_Login(session, CKU_USER, text("24680"), 5));
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text("5678"), 4));
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

TEST_F(Pins, InitPinNeedsTheSecurityOfficerAndSetsANewUserPin) {
  CK_SESSION_HANDLE session = openSession();
  EXPECT_RV(CKR_USER_NOT_LOGGED_IN, p11->C_InitPIN(session, text("5678"), 4));
  loginUser(session);
  EXPECT_RV(CKR_USER_NOT_LOGGED_IN, p11->C_InitPIN(session, text("5678"), 4));
  ASSERT_RV(CKR_OK, p11->C_Logout(session));
  ASSERT_RV(CKR_OK, p11->C_Login(session, CKU_SO, text(kSoPin), 8));
  EXPECT_RV(CKR_PIN_LEN_RANGE, p11->C_InitPIN(session, text("567"), 3));
  ASSERT_RV(CKR_OK, p11->C_InitPIN(session, text("5678"), 4));
  ASSERT_RV(CKR_OK, p11->C_Logout(session));
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text("5678"), 4));
}

}  // namespace
}  // namespace conformance
