// General-purpose functions: the function list, initialisation and library information.
#include <cstring>

#include "ConformanceTest.h"

namespace conformance {
namespace {

using CryptokiLibrary = ConformanceTest;

#define ZELT_STANDARD_ENTRIES(X)                                                                           \
  X(C_Initialize) X(C_Finalize) X(C_GetInfo) X(C_GetFunctionList) X(C_GetSlotList) X(C_GetSlotInfo)       \
  X(C_GetTokenInfo) X(C_GetMechanismList) X(C_GetMechanismInfo) X(C_InitToken) X(C_InitPIN) X(C_SetPIN)   \
  X(C_OpenSession) X(C_CloseSession) X(C_CloseAllSessions) X(C_GetSessionInfo) X(C_GetOperationState)     \
  X(C_SetOperationState) X(C_Login) X(C_Logout) X(C_CreateObject) X(C_CopyObject) X(C_DestroyObject)      \
  X(C_GetObjectSize) X(C_GetAttributeValue) X(C_SetAttributeValue) X(C_FindObjectsInit) X(C_FindObjects) \
  X(C_FindObjectsFinal) X(C_EncryptInit) X(C_Encrypt) X(C_EncryptUpdate) X(C_EncryptFinal)                \
  X(C_DecryptInit) X(C_Decrypt) X(C_DecryptUpdate) X(C_DecryptFinal) X(C_DigestInit) X(C_Digest)          \
  X(C_DigestUpdate) X(C_DigestKey) X(C_DigestFinal) X(C_SignInit) X(C_Sign) X(C_SignUpdate)               \
  X(C_SignFinal) X(C_SignRecoverInit) X(C_SignRecover) X(C_VerifyInit) X(C_Verify) X(C_VerifyUpdate)      \
  X(C_VerifyFinal) X(C_VerifyRecoverInit) X(C_VerifyRecover) X(C_DigestEncryptUpdate)                     \
  X(C_DecryptDigestUpdate) X(C_SignEncryptUpdate) X(C_DecryptVerifyUpdate) X(C_GenerateKey)               \
  X(C_GenerateKeyPair) X(C_WrapKey) X(C_UnwrapKey) X(C_DeriveKey) X(C_SeedRandom) X(C_GenerateRandom)     \
  X(C_GetFunctionStatus) X(C_CancelFunction) X(C_WaitForSlotEvent)

TEST_F(CryptokiLibrary, FunctionListAndInfoAreVersionTwoWithEveryEntryFilledAndBlankPaddedTexts) {
  EXPECT_EQ(2, p11->version.major);
  int entries = 0;
#define ZELT_CHECK_ENTRY(name)                                            \
  EXPECT_NE(nullptr, reinterpret_cast<void *>(p11->name)) << #name;     \
  ++entries;
  ZELT_STANDARD_ENTRIES(ZELT_CHECK_ENTRY)
#undef ZELT_CHECK_ENTRY
  EXPECT_EQ(68, entries);
  CK_FUNCTION_LIST_PTR again = nullptr;
  EXPECT_RV(CKR_OK, p11->C_GetFunctionList(&again));
  EXPECT_EQ(p11, again);
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_GetFunctionList(nullptr));

  CK_INFO info;
  std::memset(&info, 0, sizeof info);
  ASSERT_RV(CKR_OK, p11->C_GetInfo(&info));
  EXPECT_EQ(2, info.cryptokiVersion.major);
  EXPECT_EQ(0u, info.flags);
  for (CK_UTF8CHAR c : info.manufacturerID) EXPECT_NE(0, c) << "texts are blank-padded, not NUL-terminated";
  for (CK_UTF8CHAR c : info.libraryDescription) EXPECT_NE(0, c);
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_GetInfo(nullptr));
}

TEST_F(CryptokiLibrary, SecondInitializeAndBadFinalizeAreRefusedAndKeepTheLibraryUsable) {
  EXPECT_RV(CKR_CRYPTOKI_ALREADY_INITIALIZED, module_.initialize());
  EXPECT_RV(CKR_CRYPTOKI_ALREADY_INITIALIZED, p11->C_Initialize(nullptr));
  int reserved = 0;
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_Finalize(&reserved));
  CK_SESSION_INFO info;
  EXPECT_RV(CKR_OK, p11->C_GetSessionInfo(openSession(), &info));
}

TEST_F(CryptokiLibrary, AfterFinalizeEveryCallAnswersNotInitializedAndInitializeChecksItsArguments) {
  CK_SESSION_HANDLE session = openSession();
  ASSERT_RV(CKR_OK, p11->C_Finalize(nullptr));
  CK_INFO info;
  CK_ULONG count = 0;
  CK_SESSION_HANDLE another = 0;
  EXPECT_RV(CKR_CRYPTOKI_NOT_INITIALIZED, p11->C_GetInfo(&info));
  EXPECT_RV(CKR_CRYPTOKI_NOT_INITIALIZED, p11->C_GetSlotList(CK_TRUE, nullptr, &count));
  EXPECT_RV(CKR_CRYPTOKI_NOT_INITIALIZED,
            p11->C_OpenSession(slot_, CKF_SERIAL_SESSION, nullptr, nullptr, &another));
  EXPECT_RV(CKR_CRYPTOKI_NOT_INITIALIZED, p11->C_CloseSession(session));
  EXPECT_RV(CKR_CRYPTOKI_NOT_INITIALIZED, p11->C_Finalize(nullptr));

  CK_C_INITIALIZE_ARGS args;
  std::memset(&args, 0, sizeof args);
  args.flags = CKF_OS_LOCKING_OK;
  int reserved = 0;
  args.pReserved = &reserved;
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_Initialize(&args));
  args.pReserved = nullptr;
  args.CreateMutex = [](CK_VOID_PTR_PTR) -> CK_RV { return CKR_OK; };
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_Initialize(&args));
  args.CreateMutex = nullptr;
  ASSERT_RV(CKR_OK, p11->C_Initialize(&args));
  // A new initialisation starts without the old sessions.
  ASSERT_RV(CKR_OK, module_.findSlotByLabel(kLabel, slot_));
  CK_SESSION_INFO sessionInfo;
  EXPECT_RV(CKR_SESSION_HANDLE_INVALID, p11->C_GetSessionInfo(session, &sessionInfo));
}

TEST_F(CryptokiLibrary, EntriesWithoutImplementationAnswerFunctionNotSupported) {
  SKIP_UNLESS_SOFT_TOKEN();
  CK_SESSION_HANDLE session = openSession();
  CK_ULONG count = 0;
  CK_BYTE data[4] = {};
  CK_SLOT_ID slot = 0;
  EXPECT_RV(CKR_FUNCTION_NOT_SUPPORTED, p11->C_GetMechanismList(slot_, nullptr, &count));
  EXPECT_RV(CKR_FUNCTION_NOT_SUPPORTED, p11->C_InitToken(slot_, text(kSoPin), 8, text(paddedLabel("x"))));
  EXPECT_RV(CKR_FUNCTION_NOT_SUPPORTED, p11->C_EncryptInit(session, nullptr, 0));
  EXPECT_RV(CKR_FUNCTION_NOT_SUPPORTED, p11->C_Sign(session, data, 4, data, &count));
  EXPECT_RV(CKR_FUNCTION_NOT_SUPPORTED, p11->C_SeedRandom(session, data, 4));
  EXPECT_RV(CKR_FUNCTION_NOT_SUPPORTED, p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr));
  EXPECT_RV(CKR_FUNCTION_NOT_SUPPORTED, p11->C_CopyObject(session, 1, nullptr, 0, nullptr));
}

}  // namespace
}  // namespace conformance
