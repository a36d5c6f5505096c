// The user PIN (the PKI storage password) locks after consecutive wrong entries; its count
// lives in the token file, so processes share it and a restart keeps it. The device PIN is
// the host's own.
#include "TokenStore.h"

namespace {

using PinLockout = SoftTokenTest;
using DevicePin = SoftTokenTest;

TEST_F(PinLockout, FifthWrongEntryLocksThePasswordUntilTheSecurityOfficerSetsANewOne) {
  CK_SESSION_HANDLE session = open();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(CKR_PIN_INCORRECT, login(session, "9999")) << "attempt " << i;
  ASSERT_EQ(CKR_OK, login(session, TokenStore::kPassword));
  ASSERT_EQ(CKR_OK, p11->C_Logout(session));
  EXPECT_FALSE(tokenFlags() & (CKF_USER_PIN_COUNT_LOW | CKF_USER_PIN_FINAL_TRY)) << "a right entry resets the count";
  for (int i = 0; i < 3; ++i) EXPECT_EQ(CKR_PIN_INCORRECT, login(session, "9999")) << "attempt " << i;
  EXPECT_EQ(CKF_USER_PIN_COUNT_LOW, tokenFlags() & (CKF_USER_PIN_COUNT_LOW | CKF_USER_PIN_FINAL_TRY));
  EXPECT_EQ(CKR_PIN_INCORRECT, login(session, "9999"));
  EXPECT_TRUE(tokenFlags() & CKF_USER_PIN_FINAL_TRY);
  EXPECT_EQ(CKR_OK, vendor->Q_GetPinStatus(1, Q_PIN_USER));
  // A wrong old PIN of C_SetPIN counts too.
  EXPECT_EQ(CKR_PIN_INCORRECT, p11->C_SetPIN(session, utf8("9999"), 4, utf8("5678"), 4));
  EXPECT_TRUE(tokenFlags() & CKF_USER_PIN_LOCKED);
  EXPECT_EQ(CKR_PIN_LOCKED, vendor->Q_GetPinStatus(1, Q_PIN_USER));
  EXPECT_EQ(CKR_PIN_LOCKED, login(session, TokenStore::kPassword)) << "the right PIN no longer helps";

  ASSERT_EQ(CKR_OK, login(session, TokenStore::kSoPin, CKU_SO)) << "the SO PIN has a count of its own";
  ASSERT_EQ(CKR_OK, p11->C_InitPIN(session, utf8("5678"), 4));
  ASSERT_EQ(CKR_OK, p11->C_Logout(session));
  EXPECT_FALSE(tokenFlags() & CKF_USER_PIN_LOCKED);
  EXPECT_EQ(CKR_OK, login(session, "5678"));
}

TEST_F(PinLockout, WrongEntriesOfTwoProcessesAddUpAndTheLockSurvivesARestart) {
  CK_SESSION_HANDLE session = open();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(CKR_PIN_INCORRECT, login(session, "9999")) << "attempt " << i;
  const ToolRun r =
      store.tool(L"add-cert --serial T1 --password wrong-pin --cert \"" + dataPath(L"jane-doe.pem") + L"\"");
  EXPECT_EQ(4, r.exitCode) << describe(r);
  EXPECT_THAT(r.output, HasSubstr("wrong password for token \"T1\"; the password is now blocked"));
  EXPECT_EQ(CKR_PIN_LOCKED, vendor->Q_GetPinStatus(1, Q_PIN_USER));
  restart();
  EXPECT_EQ(CKR_PIN_LOCKED, login(open(), TokenStore::kPassword));
}

TEST_F(DevicePin, ChangeNeedsTheOldPinCountsWrongOnesAndSurvivesARestart) {
  EXPECT_EQ(CKR_PIN_INCORRECT, vendor->Q_ChangeDevicePin(1, utf8("0000"), 4, utf8("654321"), 6));
  EXPECT_EQ(4u, pinInfo(Q_PIN_DEVICE).ulTriesLeft);
  ASSERT_EQ(CKR_OK, vendor->Q_ChangeDevicePin(1, utf8(TokenStore::kDevicePin), 4, utf8("654321"), 6));
  restart();
  EXPECT_EQ(CKR_PIN_INCORRECT, vendor->Q_VerifyDevicePin(1, utf8(TokenStore::kDevicePin), 4));
  EXPECT_EQ(CKR_OK, vendor->Q_VerifyDevicePin(1, utf8("654321"), 6));
  EXPECT_EQ(CKR_PIN_INCORRECT, login(open(), "654321")) << "the device PIN is not the password";
}

}  // namespace
