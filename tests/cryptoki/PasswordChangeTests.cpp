// One password change attempt against the software token: what reaches Cryptoki,
// what the token holds afterwards, and that no session outlives the attempt.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "cryptoki/CryptokiBinding.h"
#include "cryptoki/PasswordChange.h"
#include "kit/SoftToken.h"

using testkit::SoftToken;

namespace {

const char kSerial[] = "0a1b2c3d";
const CK_SLOT_ID kSlot = 2;

class PasswordChangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(token.ready());
    ASSERT_EQ(CKR_OK, token.CreateToken(kSlot, kSerial, "old-password"));
    ASSERT_TRUE(binding.Load());
  }

  HRESULT Change(const char* oldPw, const char* newPw, const char* serial = "0A1B2C3D") {
    return ChangeTokenPassword(&binding, serial, oldPw, oldPw ? strlen(oldPw) : 0, newPw, newPw ? strlen(newPw) : 0,
                               &slot);
  }

  SoftToken token;
  CryptokiBinding binding;
  CK_SLOT_ID slot = 0;
};

}  // namespace

TEST_F(PasswordChangeTest, RightOldPasswordChangesTheUserPinAndClosesEverySession) {
  token.StartTrace();
  EXPECT_EQ(S_OK, Change("old-password", "new-password"));
  EXPECT_EQ(kSlot, slot);
  const auto opens = token.Calls("C_OpenSession");
  const auto logins = token.Calls("C_Login");
  ASSERT_EQ(1u, opens.size());
  EXPECT_NE(std::string::npos, opens[0].find("flags=0x6")) << opens[0];
  ASSERT_EQ(1u, logins.size());
  EXPECT_NE(std::string::npos, logins[0].find("userType=CKU_USER")) << logins[0];
  EXPECT_NE(std::string::npos, logins[0].find("ulPinLen=12")) << "the length excludes the NUL: " << logins[0];
  EXPECT_EQ(1u, token.Calls("C_SetPIN").size());
  EXPECT_EQ(1u, token.Calls("C_Logout").size());
  EXPECT_EQ(1u, token.Calls("C_CloseSession").size());
  EXPECT_EQ(1u, token.Calls("C_CloseAllSessions").size());

  EXPECT_EQ(0u, token.SessionCount(kSlot));
  EXPECT_TRUE(token.UserPinIs(kSlot, "new-password"));
  EXPECT_FALSE(token.UserPinIs(kSlot, "old-password"));
}

TEST_F(PasswordChangeTest, WrongOldPasswordUnknownSerialAndLockedPasswordChangeNothing) {
  EXPECT_EQ(static_cast<HRESULT>(0xB00100A0), Change("wrong", "new-password"));
  EXPECT_EQ(0u, token.SessionCount(kSlot));
  // An unknown serial uses slot 0 and gets the library's answer.
  EXPECT_EQ(static_cast<HRESULT>(0xB0010000 | CKR_SLOT_ID_INVALID), Change("old-password", "x1234", "FFFF"));
  EXPECT_EQ(0u, slot);
  EXPECT_TRUE(token.UserPinIs(kSlot, "old-password"));
  ASSERT_EQ(CKR_OK, token.vendor()->Q_SetPinLock(kSlot, Q_PIN_USER, CK_TRUE));
  EXPECT_EQ(static_cast<HRESULT>(0xB00100A4), Change("old-password", "new-password"));
  EXPECT_EQ(0u, token.SessionCount(kSlot));
}

TEST_F(PasswordChangeTest, NullNewPasswordReachesSetPinWithLengthZero) {
  token.StartTrace();
  const HRESULT hr = Change("old-password", nullptr);
  const auto setPin = token.Calls("C_SetPIN");
  ASSERT_EQ(1u, setPin.size());
  EXPECT_NE(std::string::npos, setPin[0].find("pNewPin=NULL")) << setPin[0];
  EXPECT_NE(std::string::npos, setPin[0].find("ulNewLen=0")) << setPin[0];
  // The token refuses a null PIN pointer; its answer comes back mapped.
  EXPECT_EQ(static_cast<HRESULT>(0xB0010000 | CKR_ARGUMENTS_BAD), hr) << std::hex << hr;
  EXPECT_EQ(0u, token.SessionCount(kSlot));
}

TEST_F(PasswordChangeTest, NoBindingListIsEPointer) {
  CryptokiBinding unloaded;
  EXPECT_EQ(E_POINTER, ChangeTokenPassword(&unloaded, "", "a", 1, "b", 1, &slot));
  EXPECT_EQ(E_POINTER, ChangeTokenPassword(nullptr, "", "a", 1, "b", 1, &slot));
}

// Every Cryptoki call of an attempt fails in turn: the attempt ends with that
// call's mapped code where the call matters, never crashes, and leaves no session.
TEST_F(PasswordChangeTest, FailureAtEachCryptokiCallEndsCleanly) {
  struct Case {
    const char* function;
    HRESULT expected;
    bool changed;
  };
  const Case cases[] = {
      {"C_GetSlotList", static_cast<HRESULT>(0xB0010030), false},
      {"C_GetTokenInfo", static_cast<HRESULT>(0xB0010030), false},
      {"C_OpenSession", static_cast<HRESULT>(0xB0010030), false},
      {"C_Login", static_cast<HRESULT>(0xB0010030), false},
      {"C_SetPIN", static_cast<HRESULT>(0xB0010030), false},
      {"C_Logout", S_OK, true},
      {"C_CloseSession", S_OK, true},
      {"C_CloseAllSessions", S_OK, true},
  };
  std::string current = "old-password";
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    const std::string next = "password-" + std::to_string(++n);
    // Only the slot's token exists, so a failing token-info read ends the search.
    ASSERT_EQ(CKR_OK, token.Inject(c.function, 1, CKR_DEVICE_ERROR));
    const HRESULT hr = Change(current.c_str(), next.c_str());
    token.ResetHooks();
    EXPECT_EQ(c.expected, hr) << std::hex << hr;
    EXPECT_EQ(0u, token.SessionCount(kSlot));
    if (c.changed) current = next;
    EXPECT_TRUE(token.UserPinIs(kSlot, current));
  }
}
