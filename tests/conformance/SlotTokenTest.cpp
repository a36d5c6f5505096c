// Slot and token management: slot lists, slot and token information.
#include <algorithm>
#include <cstring>
#include <vector>

#include "ConformanceTest.h"

namespace conformance {
namespace {

class SlotsAndTokens : public ConformanceTest {
 protected:
  std::vector<CK_SLOT_ID> slotList(CK_BBOOL tokenPresent) {
    std::vector<CK_SLOT_ID> slots;
    EXPECT_RV(CKR_OK, module_.slotList(tokenPresent, slots));
    return slots;
  }
  // A slot id that the module does not have.
  CK_SLOT_ID unknownSlot() {
    std::vector<CK_SLOT_ID> slots = slotList(CK_FALSE);
    CK_SLOT_ID id = 0x7FFF0000;
    while (std::find(slots.begin(), slots.end(), id) != slots.end()) ++id;
    return id;
  }
};

TEST_F(SlotsAndTokens, SlotListAnswersCountThenFillsAndRefusesShortBuffer) {
  CK_ULONG count = 0;
  ASSERT_RV(CKR_OK, p11->C_GetSlotList(CK_TRUE, nullptr, &count));
  ASSERT_GE(count, 1u);
  std::vector<CK_SLOT_ID> slots(count + 2, 0);
  CK_ULONG capacity = count - 1;
  EXPECT_RV(CKR_BUFFER_TOO_SMALL, p11->C_GetSlotList(CK_TRUE, slots.data(), &capacity));
  EXPECT_EQ(count, capacity) << "a short buffer learns the count it needs";
  capacity = slots.size();
  EXPECT_RV(CKR_OK, p11->C_GetSlotList(CK_TRUE, slots.data(), &capacity));
  EXPECT_EQ(count, capacity);
  slots.resize(capacity);
  EXPECT_NE(slots.end(), std::find(slots.begin(), slots.end(), slot_));
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_GetSlotList(CK_TRUE, nullptr, nullptr));
}

TEST_F(SlotsAndTokens, SlotAndTokenInfoShowThePresentTokenAndRefuseUnknownSlots) {
  CK_SLOT_INFO info;
  std::memset(&info, 0, sizeof info);
  ASSERT_RV(CKR_OK, p11->C_GetSlotInfo(slot_, &info));
  EXPECT_TRUE(info.flags & CKF_TOKEN_PRESENT);
  for (CK_UTF8CHAR c : info.slotDescription) EXPECT_NE(0, c);
  EXPECT_RV(CKR_SLOT_ID_INVALID, p11->C_GetSlotInfo(unknownSlot(), &info));
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_GetSlotInfo(slot_, nullptr));
  CK_TOKEN_INFO token;
  EXPECT_RV(CKR_SLOT_ID_INVALID, p11->C_GetTokenInfo(unknownSlot(), &token));
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_GetTokenInfo(slot_, nullptr));
}

TEST_F(SlotsAndTokens, TokenInfoCarriesBlankPaddedSerialAndLabelAndTheFlagsOfAReadyToken) {
  CK_TOKEN_INFO info = tokenInfo();
  const std::string serial(reinterpret_cast<const char *>(info.serialNumber), 16);
  const size_t end = serial.find_last_not_of(' ');
  ASSERT_NE(std::string::npos, end) << "serial is all blanks";
  for (size_t i = 0; i <= end; ++i) EXPECT_TRUE(serial[i] > 0x20 && serial[i] < 0x7F) << "serial: " << serial;
  EXPECT_EQ(paddedLabel(kLabel), std::string(reinterpret_cast<const char *>(info.label), 32));
  if (vendor) {
    EXPECT_EQ("ZC00001234      ", serial);
  }
  EXPECT_TRUE(info.flags & CKF_TOKEN_INITIALIZED);
  EXPECT_TRUE(info.flags & CKF_USER_PIN_INITIALIZED);
  EXPECT_TRUE(info.flags & CKF_LOGIN_REQUIRED);
  EXPECT_TRUE(info.flags & CKF_RNG);
  EXPECT_FALSE(info.flags & (CKF_USER_PIN_LOCKED | CKF_USER_PIN_COUNT_LOW | CKF_USER_PIN_FINAL_TRY));
  EXPECT_LE(info.ulMinPinLen, 4u);
  EXPECT_GE(info.ulMaxPinLen, 8u);
}

TEST_F(SlotsAndTokens, SoftTokenCountsSessionsAndShowsEmptySlotsWithoutAToken) {
  SKIP_UNLESS_SOFT_TOKEN();
  openSession(true);
  openSession(false);
  CK_TOKEN_INFO info = tokenInfo();
  EXPECT_EQ(2u, info.ulSessionCount);
  EXPECT_EQ(1u, info.ulRwSessionCount);

  CK_SLOT_INFO slotInfo;
  ASSERT_RV(CKR_OK, p11->C_GetSlotInfo(2, &slotInfo));
  EXPECT_FALSE(slotInfo.flags & CKF_TOKEN_PRESENT);
  EXPECT_TRUE(slotInfo.flags & CKF_REMOVABLE_DEVICE);
  CK_SESSION_HANDLE session = 0;
  EXPECT_RV(CKR_TOKEN_NOT_PRESENT, p11->C_GetTokenInfo(2, &info));
  EXPECT_RV(CKR_TOKEN_NOT_PRESENT, p11->C_OpenSession(2, CKF_SERIAL_SESSION, nullptr, nullptr, &session));
  EXPECT_RV(CKR_SLOT_ID_INVALID, p11->C_GetTokenInfo(0, &info)) << "slot ids start at 1";

  EXPECT_EQ((std::vector<CK_SLOT_ID>{1, 2, 3, 4}), slotList(CK_FALSE));
  EXPECT_EQ(std::vector<CK_SLOT_ID>{1}, slotList(CK_TRUE));
  CK_SLOT_ID third = 0;
  ASSERT_RV(CKR_OK, module_.provision(3, TokenSpec(), third));
  EXPECT_EQ((std::vector<CK_SLOT_ID>{1, 3}), slotList(CK_TRUE));
}

}  // namespace
}  // namespace conformance
