// The user PIN (the PKI storage password) locks after consecutive wrong logins. The soft
// token's own behaviour: SoftHSM2 has no lockout.
#include "ConformanceTest.h"

namespace conformance {
namespace {

using Lockout = ConformanceTest;

CK_RV wrongLogin(CK_FUNCTION_LIST_PTR p11, CK_SESSION_HANDLE session) {
  return p11->C_Login(session, CKU_USER, text(kWrongPin), 4);
}

TEST_F(Lockout, FifthWrongLoginLocksTheUserPinUntilTheSecurityOfficerInitialisesIt) {
  SKIP_UNLESS_SOFT_TOKEN();
  CK_SESSION_HANDLE session = openSession();
  for (int i = 1; i <= 3; ++i) EXPECT_RV(CKR_PIN_INCORRECT, wrongLogin(p11, session)) << "attempt " << i;
  EXPECT_TRUE(tokenInfo().flags & CKF_USER_PIN_COUNT_LOW);
  EXPECT_FALSE(tokenInfo().flags & CKF_USER_PIN_FINAL_TRY);
  EXPECT_RV(CKR_PIN_INCORRECT, wrongLogin(p11, session));
  EXPECT_TRUE(tokenInfo().flags & CKF_USER_PIN_FINAL_TRY);
  EXPECT_RV(CKR_OK, vendor->Q_GetPinStatus(slot_, Q_PIN_USER));
  EXPECT_RV(CKR_PIN_INCORRECT, wrongLogin(p11, session));

  EXPECT_TRUE(tokenInfo().flags & CKF_USER_PIN_LOCKED);
  EXPECT_RV(CKR_PIN_LOCKED, vendor->Q_GetPinStatus(slot_, Q_PIN_USER));
  EXPECT_RV(CKR_PIN_LOCKED, p11->C_Login(session, CKU_USER, text(kUserPin), 4)) << "the right PIN no longer helps";
  EXPECT_RV(CKR_PIN_LOCKED, p11->C_SetPIN(session, text(kUserPin), 4, text("5678"), 4));
  EXPECT_RV(CKR_OK, vendor->Q_GetPinStatus(slot_, Q_PIN_SO)) << "the SO PIN has its own count";

  // The security officer's C_InitPIN unlocks.
  ASSERT_RV(CKR_OK, p11->C_Login(session, CKU_SO, text(kSoPin), 8));
  ASSERT_RV(CKR_OK, p11->C_InitPIN(session, text("5678"), 4));
  ASSERT_RV(CKR_OK, p11->C_Logout(session));
  EXPECT_RV(CKR_OK, vendor->Q_GetPinStatus(slot_, Q_PIN_USER));
  EXPECT_FALSE(tokenInfo().flags & CKF_USER_PIN_LOCKED);
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text("5678"), 4));
}

TEST_F(Lockout, CorrectLoginResetsTheCountAndAWrongOldPinOfSetPinCountsToo) {
  SKIP_UNLESS_SOFT_TOKEN();
  CK_SESSION_HANDLE session = openSession();
  for (int i = 0; i < 4; ++i) EXPECT_RV(CKR_PIN_INCORRECT, wrongLogin(p11, session));
  ASSERT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
  EXPECT_FALSE(tokenInfo().flags & (CKF_USER_PIN_COUNT_LOW | CKF_USER_PIN_FINAL_TRY));
  ASSERT_RV(CKR_OK, p11->C_Logout(session));
  for (int i = 0; i < 4; ++i) EXPECT_RV(CKR_PIN_INCORRECT, wrongLogin(p11, session)) << "attempt " << i;
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_SetPIN(session, text(kWrongPin), 4, text("5678"), 4));
  EXPECT_RV(CKR_PIN_LOCKED, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
}

TEST_F(Lockout, WrongLoginsOfTwoProcessesAddUpAndTheLockSurvivesRestart) {
  SKIP_UNLESS_SOFT_TOKEN();
  ASSERT_EQ(0, runChild("wrong-logins", {"3"}));
  CK_SESSION_HANDLE session = openSession();
  EXPECT_TRUE(tokenInfo().flags & CKF_USER_PIN_COUNT_LOW);
  EXPECT_RV(CKR_PIN_INCORRECT, wrongLogin(p11, session));
  EXPECT_RV(CKR_PIN_INCORRECT, wrongLogin(p11, session));
  EXPECT_RV(CKR_PIN_LOCKED, vendor->Q_GetPinStatus(slot_, Q_PIN_USER));
  EXPECT_EQ(3, runChild("login", {kUserPin})) << "the other process sees the lock";
  restart();
  EXPECT_RV(CKR_PIN_LOCKED, vendor->Q_GetPinStatus(slot_, Q_PIN_USER));
  session = openSession();
  EXPECT_RV(CKR_PIN_LOCKED, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
}

TEST_F(Lockout, LimitIsConfigurablePerTokenAndPinStatusKnowsUnknownAndEmptySlots) {
  SKIP_UNLESS_SOFT_TOKEN();
  EXPECT_RV(CKR_SLOT_ID_INVALID, vendor->Q_GetPinStatus(0, Q_PIN_USER));
  EXPECT_RV(CKR_SLOT_ID_INVALID, vendor->Q_GetPinStatus(99, Q_PIN_USER));
  EXPECT_RV(CKR_TOKEN_NOT_PRESENT, vendor->Q_GetPinStatus(2, Q_PIN_USER));
  EXPECT_RV(CKR_ARGUMENTS_BAD, vendor->Q_GetPinStatus(slot_, 7));
  TokenSpec spec;
  spec.label = "Three tries";
  spec.serial = "ZC3";
  spec.userPinLimit = 3;
  CK_SLOT_ID slot = 0;
  ASSERT_RV(CKR_OK, module_.provision(2, spec, slot));
  CK_SESSION_HANDLE session = 0;
  ASSERT_RV(CKR_OK, p11->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session));
  for (int i = 0; i < 3; ++i) EXPECT_RV(CKR_PIN_INCORRECT, wrongLogin(p11, session));
  EXPECT_RV(CKR_PIN_LOCKED, vendor->Q_GetPinStatus(slot, Q_PIN_USER));
  EXPECT_RV(CKR_OK, vendor->Q_GetPinStatus(slot_, Q_PIN_USER)) << "the token in the other slot is untouched";

  // A lower limit applied later locks a PIN whose failures already reach it.
  CK_SESSION_HANDLE first = openSession();
  EXPECT_RV(CKR_PIN_INCORRECT, wrongLogin(p11, first));
  EXPECT_RV(CKR_PIN_INCORRECT, wrongLogin(p11, first));
  ASSERT_RV(CKR_OK, vendor->Q_SetPinLimit(slot_, Q_PIN_USER, 2));
  EXPECT_RV(CKR_PIN_LOCKED, vendor->Q_GetPinStatus(slot_, Q_PIN_USER));
}

}  // namespace
}  // namespace conformance
