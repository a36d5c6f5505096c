// The vendor function list: its layout, the device PIN and token administration.
#include <cstring>

#include "ConformanceTest.h"

namespace conformance {
namespace {

using VendorList = ConformanceTest;
using DevicePin = ConformanceTest;
using TokenAdministration = ConformanceTest;

Q_PIN_INFO pinInfo(Q_FUNCTION_LIST_PTR vendor, CK_SLOT_ID slot, CK_ULONG which) {
  Q_PIN_INFO info;
  std::memset(&info, 0xFF, sizeof info);
  EXPECT_RV(CKR_OK, vendor->Q_GetPinInfo(slot, which, &info));
  return info;
}

TEST_F(VendorList, VendorInfoDescribesTheListWhoseEntriesAreFilledAndReachedByPosition) {
  SKIP_UNLESS_SOFT_TOKEN();
  Q_VENDOR_INFO info;
  ASSERT_RV(CKR_OK, vendor->Q_GetVendorInfo(&info));
  EXPECT_EQ(Q_VENDOR_VERSION_MAJOR, info.version.major);
  EXPECT_EQ(Q_FUNCTION_LIST_ENTRIES, info.ulEntryCount);
  EXPECT_EQ(4u, info.ulSlotCount);
  // The page reaches Q_GetPinStatus as the fourth pointer after the 2-byte version.
  std::vector<void *> entries(info.ulEntryCount);
  std::memcpy(entries.data(), reinterpret_cast<const unsigned char *>(vendor) + 2, entries.size() * sizeof(void *));
  for (CK_ULONG i = 0; i < info.ulEntryCount; ++i) EXPECT_NE(nullptr, entries[i]) << "entry " << i;
  ASSERT_GT(entries.size(), 3u);
  CK_RV (*entry3)(CK_SLOT_ID, CK_ULONG) = nullptr;
  std::memcpy(&entry3, &entries[3], sizeof entry3);
  EXPECT_RV(CKR_OK, entry3(slot_, 1));
  ASSERT_RV(CKR_OK, vendor->Q_SetPinLock(slot_, Q_PIN_USER, CK_TRUE));
  EXPECT_RV(CKR_PIN_LOCKED, entry3(slot_, 1));
  EXPECT_RV(CKR_FUNCTION_NOT_SUPPORTED, vendor->Q_Reserved());
  EXPECT_RV(CKR_ARGUMENTS_BAD, vendor->Q_GetVendorInfo(nullptr));
}

TEST_F(VendorList, TokenEntriesNeedInitialize) {
  SKIP_UNLESS_SOFT_TOKEN();
  ASSERT_RV(CKR_OK, p11->C_Finalize(nullptr));
  EXPECT_RV(CKR_CRYPTOKI_NOT_INITIALIZED, vendor->Q_GetPinStatus(slot_, Q_PIN_USER));
  CK_ULONG count = 0;
  EXPECT_RV(CKR_CRYPTOKI_NOT_INITIALIZED, vendor->Q_ListTokens(nullptr, &count));
  EXPECT_RV(CKR_OK, vendor->Q_TraceControl(Q_TRACE_OFF)) << "test hooks work at any time";
}

TEST_F(DevicePin, VerifyCountsFailuresLocksAndUnblocksWithTheCode) {
  SKIP_UNLESS_SOFT_TOKEN();
  EXPECT_RV(CKR_OK, vendor->Q_VerifyDevicePin(slot_, text(kDevicePin), 6));
  for (int i = 0; i < 4; ++i) EXPECT_RV(CKR_PIN_INCORRECT, vendor->Q_VerifyDevicePin(slot_, text("000000"), 6));
  Q_PIN_INFO info = pinInfo(vendor, slot_, Q_PIN_DEVICE);
  EXPECT_EQ(4u, info.ulFailures);
  EXPECT_EQ(1u, info.ulTriesLeft);
  EXPECT_RV(CKR_PIN_INCORRECT, vendor->Q_VerifyDevicePin(slot_, text("000000"), 6));
  EXPECT_RV(CKR_PIN_LOCKED, vendor->Q_GetPinStatus(slot_, Q_PIN_DEVICE));
  EXPECT_RV(CKR_PIN_LOCKED, vendor->Q_VerifyDevicePin(slot_, text(kDevicePin), 6));
  EXPECT_RV(CKR_OK, vendor->Q_GetPinStatus(slot_, Q_PIN_USER)) << "the Cryptoki user PIN is separate";

  EXPECT_RV(CKR_PIN_INCORRECT, vendor->Q_UnblockDevicePin(slot_, text("11111111"), 8, text("445566"), 6));
  ASSERT_RV(CKR_OK, vendor->Q_UnblockDevicePin(slot_, text(kDevicePuk), 8, text("445566"), 6));
  info = pinInfo(vendor, slot_, Q_PIN_DEVICE);
  EXPECT_EQ(0u, info.ulFailures);
  EXPECT_EQ(Q_PIN_FLAG_SET, info.flags);
  EXPECT_RV(CKR_OK, vendor->Q_VerifyDevicePin(slot_, text("445566"), 6));
}

TEST_F(DevicePin, AdministrativeLockAndUnlockAndAChangeThatNeedsTheOldPinAndSurvivesRestart) {
  SKIP_UNLESS_SOFT_TOKEN();
  ASSERT_RV(CKR_OK, vendor->Q_SetPinLock(slot_, Q_PIN_DEVICE, CK_TRUE));
  EXPECT_RV(CKR_PIN_LOCKED, vendor->Q_VerifyDevicePin(slot_, text(kDevicePin), 6));
  EXPECT_EQ(0u, pinInfo(vendor, slot_, Q_PIN_DEVICE).ulTriesLeft);
  ASSERT_RV(CKR_OK, vendor->Q_SetPinLock(slot_, Q_PIN_DEVICE, CK_FALSE));
  EXPECT_RV(CKR_OK, vendor->Q_VerifyDevicePin(slot_, text(kDevicePin), 6));
  ASSERT_RV(CKR_OK, vendor->Q_SetPinLock(slot_, Q_PIN_USER, CK_TRUE));
  CK_SESSION_HANDLE session = openSession();
  EXPECT_RV(CKR_PIN_LOCKED, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
  ASSERT_RV(CKR_OK, vendor->Q_SetPinLock(slot_, Q_PIN_USER, CK_FALSE));
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text(kUserPin), 4));

  EXPECT_RV(CKR_PIN_INCORRECT, vendor->Q_ChangeDevicePin(slot_, text("000000"), 6, text("654321"), 6));
  EXPECT_RV(CKR_PIN_LEN_RANGE, vendor->Q_ChangeDevicePin(slot_, text(kDevicePin), 6, text("12"), 2));
  ASSERT_RV(CKR_OK, vendor->Q_ChangeDevicePin(slot_, text(kDevicePin), 6, text("654321"), 6));
  restart();
  EXPECT_RV(CKR_PIN_INCORRECT, vendor->Q_VerifyDevicePin(slot_, text(kDevicePin), 6));
  EXPECT_RV(CKR_OK, vendor->Q_VerifyDevicePin(slot_, text("654321"), 6));
  session = openSession();
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_Login(session, CKU_USER, text("654321"), 6)) << "never the Cryptoki PIN";
}

TEST_F(TokenAdministration, CreateRefusesOccupiedSlotAndBadParametersAndMayLeaveTheUserPinUnset) {
  SKIP_UNLESS_SOFT_TOKEN();
  CK_SLOT_ID slot = 0;
  EXPECT_RV(CKR_FUNCTION_FAILED, module_.provision(slot_, TokenSpec(), slot));
  TokenSpec longSerial;
  longSerial.serial = "12345678901234567";
  EXPECT_RV(CKR_ARGUMENTS_BAD, module_.provision(2, longSerial, slot));
  TokenSpec shortPin;
  shortPin.userPin = "12";
  EXPECT_RV(CKR_PIN_LEN_RANGE, module_.provision(2, shortPin, slot));
  EXPECT_RV(CKR_SLOT_ID_INVALID, module_.provision(9, TokenSpec(), slot));
  EXPECT_RV(CKR_ARGUMENTS_BAD, vendor->Q_CreateToken(2, nullptr));
  CK_TOKEN_INFO info;
  EXPECT_RV(CKR_TOKEN_NOT_PRESENT, p11->C_GetTokenInfo(2, &info)) << "nothing half-made";

  // A token made without a user PIN needs C_InitPIN first.
  TokenSpec spec;
  spec.label = "Blank";
  spec.userPin.clear();
  ASSERT_RV(CKR_OK, module_.provision(2, spec, slot));
  ASSERT_RV(CKR_OK, p11->C_GetTokenInfo(2, &info));
  EXPECT_FALSE(info.flags & CKF_USER_PIN_INITIALIZED);
  CK_SESSION_HANDLE session = 0;
  ASSERT_RV(CKR_OK, p11->C_OpenSession(2, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session));
  EXPECT_RV(CKR_USER_PIN_NOT_INITIALIZED, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
}

TEST_F(TokenAdministration, DeleteEmptiesTheSlotAndItsSessionsAnswerDeviceRemoved) {
  SKIP_UNLESS_SOFT_TOKEN();
  CK_SESSION_HANDLE session = openSession();
  ASSERT_RV(CKR_OK, vendor->Q_DeleteToken(slot_));
  CK_SESSION_INFO info;
  EXPECT_RV(CKR_DEVICE_REMOVED, p11->C_GetSessionInfo(session, &info));
  CK_TOKEN_INFO tokenInfo;
  EXPECT_RV(CKR_TOKEN_NOT_PRESENT, p11->C_GetTokenInfo(slot_, &tokenInfo));
  EXPECT_RV(CKR_TOKEN_NOT_PRESENT, vendor->Q_DeleteToken(slot_));
  EXPECT_RV(CKR_OK, p11->C_CloseSession(session)) << "a dead session can still be closed";
  CK_SLOT_ID slot = 0;
  ASSERT_RV(CKR_OK, module_.provision(slot_, TokenSpec(), slot));
  session = openSession();
  Template all;
  EXPECT_TRUE(find(session, all).empty()) << "a new token starts empty";
}

TEST_F(TokenAdministration, ListTokensReportsEverySlotAndTwoTokensKeepTheirObjectsApart) {
  SKIP_UNLESS_SOFT_TOKEN();
  TokenSpec spec;
  spec.label = "Second";
  spec.serial = "ZC2";
  CK_SLOT_ID second = 0;
  ASSERT_RV(CKR_OK, module_.provision(3, spec, second));
  CK_ULONG count = 0;
  ASSERT_RV(CKR_OK, vendor->Q_ListTokens(nullptr, &count));
  ASSERT_EQ(4u, count);
  std::vector<Q_TOKEN_ENTRY> entries(count);
  CK_ULONG shortCount = 2;
  EXPECT_RV(CKR_BUFFER_TOO_SMALL, vendor->Q_ListTokens(entries.data(), &shortCount));
  EXPECT_EQ(4u, shortCount);
  ASSERT_RV(CKR_OK, vendor->Q_ListTokens(entries.data(), &count));
  EXPECT_EQ(Q_TOKEN_PRESENT, entries[0].ulState);
  EXPECT_EQ("ZC00001234      ", std::string(reinterpret_cast<char *>(entries[0].serialNumber), 16));
  EXPECT_EQ(Q_TOKEN_ABSENT, entries[1].ulState);
  EXPECT_EQ(Q_TOKEN_PRESENT, entries[2].ulState);
  EXPECT_EQ(paddedLabel("Second"), std::string(reinterpret_cast<char *>(entries[2].label), 32));
  EXPECT_EQ(3u, entries[2].slotID);

  CK_SESSION_HANDLE one = openSession();
  CK_SESSION_HANDLE two = 0;
  ASSERT_RV(CKR_OK, p11->C_OpenSession(second, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &two));
  CK_OBJECT_HANDLE mine = createData(one, "mine", "1");
  createData(two, "theirs", "2");
  Template all;
  EXPECT_EQ(std::vector<CK_OBJECT_HANDLE>{mine}, find(one, all));
  EXPECT_EQ(1u, find(two, all).size());
  CK_ATTRIBUTE a = {CKA_VALUE, nullptr, 0};
  EXPECT_RV(CKR_OBJECT_HANDLE_INVALID, p11->C_GetAttributeValue(two, mine, &a, 1)) << "handles belong to their token";
}

}  // namespace
}  // namespace conformance
