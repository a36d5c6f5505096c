// Session management: opening, closing, session information, login and logout.
#include <cstring>

#include "ConformanceTest.h"

namespace conformance {
namespace {

using Sessions = ConformanceTest;
using Login = ConformanceTest;

CK_SESSION_INFO sessionInfo(CK_FUNCTION_LIST_PTR p11, CK_SESSION_HANDLE session) {
  CK_SESSION_INFO info;
  std::memset(&info, 0xFF, sizeof info);
  EXPECT_RV(CKR_OK, p11->C_GetSessionInfo(session, &info));
  return info;
}

TEST_F(Sessions, StateAndFlagsFollowTheOpenFlagsAndBadOpensAreRefused) {
  CK_SESSION_HANDLE ro = openSession(false);
  CK_SESSION_HANDLE rw = openSession(true);
  EXPECT_NE(ro, rw);
  CK_SESSION_INFO info = sessionInfo(p11, ro);
  EXPECT_EQ(slot_, info.slotID);
  EXPECT_EQ(static_cast<CK_STATE>(CKS_RO_PUBLIC_SESSION), info.state);
  EXPECT_EQ(static_cast<CK_FLAGS>(CKF_SERIAL_SESSION), info.flags);
  info = sessionInfo(p11, rw);
  EXPECT_EQ(static_cast<CK_STATE>(CKS_RW_PUBLIC_SESSION), info.state);
  EXPECT_EQ(static_cast<CK_FLAGS>(CKF_SERIAL_SESSION | CKF_RW_SESSION), info.flags);
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_GetSessionInfo(rw, nullptr));

  CK_SESSION_HANDLE session = 0;
  EXPECT_RV(CKR_SESSION_PARALLEL_NOT_SUPPORTED, p11->C_OpenSession(slot_, CKF_RW_SESSION, nullptr, nullptr, &session));
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_OpenSession(slot_, CKF_SERIAL_SESSION, nullptr, nullptr, nullptr));
  EXPECT_RV(CKR_SLOT_ID_INVALID, p11->C_OpenSession(0x7FFF1234, CKF_SERIAL_SESSION, nullptr, nullptr, &session));
}

TEST_F(Sessions, ClosedSessionsAreInvalidForEveryCallAndCloseAllClosesTheSlotsSessions) {
  CK_SESSION_HANDLE session = openSession();
  ASSERT_RV(CKR_OK, p11->C_CloseSession(session));
  CK_SESSION_INFO info;
  CK_BYTE random[8];
  Template t;
  t.ulong(CKA_CLASS, CKO_DATA);
  EXPECT_RV(CKR_SESSION_HANDLE_INVALID, p11->C_GetSessionInfo(session, &info));
  EXPECT_RV(CKR_SESSION_HANDLE_INVALID, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
  EXPECT_RV(CKR_SESSION_HANDLE_INVALID, p11->C_Logout(session));
  EXPECT_RV(CKR_SESSION_HANDLE_INVALID, p11->C_FindObjectsInit(session, t.data(), t.size()));
  EXPECT_RV(CKR_SESSION_HANDLE_INVALID, p11->C_GenerateRandom(session, random, sizeof random));
  EXPECT_RV(CKR_SESSION_HANDLE_INVALID, p11->C_SetPIN(session, text(kUserPin), 4, text(kUserPin), 4));
  EXPECT_RV(CKR_SESSION_HANDLE_INVALID, p11->C_CloseSession(session));

  CK_SESSION_HANDLE a = openSession(true);
  CK_SESSION_HANDLE b = openSession(false);
  ASSERT_RV(CKR_OK, p11->C_CloseAllSessions(slot_));
  EXPECT_RV(CKR_SESSION_HANDLE_INVALID, p11->C_GetSessionInfo(a, &info));
  EXPECT_RV(CKR_SESSION_HANDLE_INVALID, p11->C_GetSessionInfo(b, &info));
  EXPECT_RV(CKR_SLOT_ID_INVALID, p11->C_CloseAllSessions(0x7FFF1234));
  EXPECT_RV(CKR_OK, p11->C_GetSessionInfo(openSession(true), &info)) << "the slot stays usable";
}

TEST_F(Login, UserLoginMovesEverySessionOfTheTokenToUserFunctionsUntilLogoutOrTheLastClose) {
  CK_SESSION_HANDLE rw = openSession(true);
  CK_SESSION_HANDLE ro = openSession(false);
  ASSERT_RV(CKR_OK, p11->C_Login(rw, CKU_USER, text(kUserPin), 4));
  EXPECT_EQ(static_cast<CK_STATE>(CKS_RW_USER_FUNCTIONS), sessionInfo(p11, rw).state);
  EXPECT_EQ(static_cast<CK_STATE>(CKS_RO_USER_FUNCTIONS), sessionInfo(p11, ro).state);
  CK_SESSION_HANDLE later = openSession(true);
  EXPECT_EQ(static_cast<CK_STATE>(CKS_RW_USER_FUNCTIONS), sessionInfo(p11, later).state);
  ASSERT_RV(CKR_OK, p11->C_Logout(ro));
  EXPECT_EQ(static_cast<CK_STATE>(CKS_RW_PUBLIC_SESSION), sessionInfo(p11, rw).state);

  ASSERT_RV(CKR_OK, p11->C_Login(rw, CKU_USER, text(kUserPin), 4));
  for (CK_SESSION_HANDLE session : {rw, ro, later}) ASSERT_RV(CKR_OK, p11->C_CloseSession(session));
  EXPECT_EQ(static_cast<CK_STATE>(CKS_RW_PUBLIC_SESSION), sessionInfo(p11, openSession()).state);
}

TEST_F(Login, WrongPinsUnknownUsersAndSecondLoginsAreRefused) {
  CK_SESSION_HANDLE session = openSession();
  if (vendor) {  // SoftHSM2 answers CKR_OK where the standard asks for CKR_USER_NOT_LOGGED_IN
    EXPECT_RV(CKR_USER_NOT_LOGGED_IN, p11->C_Logout(session));
  }
  EXPECT_RV(CKR_USER_TYPE_INVALID, p11->C_Login(session, 5, text(kUserPin), 4));
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_Login(session, CKU_USER, nullptr, 4));
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_Login(session, CKU_USER, text(kWrongPin), 4));
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_Login(session, CKU_USER, text(kUserPin), 3)) << "a prefix of the PIN";
  EXPECT_EQ(static_cast<CK_STATE>(CKS_RW_PUBLIC_SESSION), sessionInfo(p11, session).state);
  ASSERT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
  EXPECT_RV(CKR_USER_ALREADY_LOGGED_IN, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
  EXPECT_RV(CKR_USER_ANOTHER_ALREADY_LOGGED_IN, p11->C_Login(session, CKU_SO, text(kSoPin), 8));
}

TEST_F(Login, SecurityOfficerNeedsReadWriteSessionsOnly) {
  CK_SESSION_HANDLE rw = openSession(true);
  CK_SESSION_HANDLE ro = openSession(false);
  EXPECT_RV(CKR_SESSION_READ_ONLY_EXISTS, p11->C_Login(rw, CKU_SO, text(kSoPin), 8));
  ASSERT_RV(CKR_OK, p11->C_CloseSession(ro));
  ASSERT_RV(CKR_OK, p11->C_Login(rw, CKU_SO, text(kSoPin), 8));
  EXPECT_EQ(static_cast<CK_STATE>(CKS_RW_SO_FUNCTIONS), sessionInfo(p11, rw).state);
  CK_SESSION_HANDLE another = 0;
  EXPECT_RV(CKR_SESSION_READ_WRITE_SO_EXISTS,
            p11->C_OpenSession(slot_, CKF_SERIAL_SESSION, nullptr, nullptr, &another));
}

}  // namespace
}  // namespace conformance
