// The token file: what one process writes, a restarted or another process reads; a write cut
// short, by a failure or by the death of the process, leaves the previous content whole.
#include <filesystem>
#include <fstream>

#include "TokenStore.h"

namespace {

using TokenFile = SoftTokenTest;

TEST_F(TokenFile, ChangesSurviveARestartAndAnotherProcessSeesThemAndAddsItsOwn) {
  CK_SESSION_HANDLE session = open();
  CK_OBJECT_HANDLE kept = 0, dropped = 0;
  ASSERT_EQ(CKR_OK, createData(session, "kept", "old", &kept));
  ASSERT_EQ(CKR_OK, setValue(session, kept, "new"));
  ASSERT_EQ(CKR_OK, createData(session, "dropped", "x", &dropped));
  ASSERT_EQ(CKR_OK, p11->C_DestroyObject(session, dropped));
  const ToolRun r = store.tool(L"add-object --serial T1 --class data --label theirs --attr value=hex:0102ff");
  ASSERT_EQ(0, r.exitCode) << describe(r);
  ASSERT_EQ(1u, find(session, "theirs").size()) << "seen at the next call, without a restart";

  restart();
  session = open();
  ASSERT_EQ(1u, find(session, "kept").size());
  EXPECT_EQ("new", value(session, find(session, "kept")[0]));
  EXPECT_TRUE(find(session, "dropped").empty());
  ASSERT_EQ(1u, find(session, "theirs").size());
  EXPECT_EQ("\x01\x02\xff", value(session, find(session, "theirs")[0]));
}

TEST_F(TokenFile, AWriteCutShortByAFailureOrByTheDeathOfTheProcessLeavesThePreviousContent) {
  CK_SESSION_HANDLE session = open();
  CK_OBJECT_HANDLE record = 0;
  ASSERT_EQ(CKR_OK, createData(session, "record", "old", &record));
  ASSERT_EQ(CKR_OK, vendor->Q_FailWrite(1, Q_WRITE_FAIL_HALFWAY));
  EXPECT_EQ(CKR_DEVICE_ERROR, setValue(session, record, "new and longer"));
  EXPECT_EQ("old", value(session, record));
  ASSERT_EQ(CKR_OK, vendor->Q_FailWrite(1, Q_WRITE_FAIL_HALFWAY));
  EXPECT_EQ(CKR_DEVICE_ERROR, createData(session, "other", "v"));
  EXPECT_TRUE(find(session, "other").empty()) << "a failed create makes nothing";

  const ToolRun r = store.tool(L"add-object --serial T1 --class data --label other",
                               {{L"ZELT_SOFTTOKEN_FAIL_WRITE", L"1:crash"}});
  EXPECT_EQ(static_cast<long>(Q_CRASH_EXIT_CODE), r.exitCode) << describe(r);
  size_t halfFiles = 0;
  for (const auto& entry : std::filesystem::directory_iterator(store.folder()))
    halfFiles += entry.path().extension() == ".tmp" && std::filesystem::file_size(entry.path()) > 0;
  EXPECT_EQ(2u, halfFiles) << "this process and the dead one each got half way";

  restart();
  session = open();
  EXPECT_TRUE(find(session, "other").empty());
  ASSERT_EQ(1u, find(session, "record").size());
  EXPECT_EQ("old", value(session, find(session, "record")[0]));
  EXPECT_EQ(CKR_OK, setValue(session, find(session, "record")[0], "written")) << "the dead process's lock is free";
  EXPECT_EQ("written", value(session, find(session, "record")[0]));
}

TEST_F(TokenFile, DamagedFileMeansNoTokenUntilANewTokenReplacesIt) {
  CK_SESSION_HANDLE session = open();
  ASSERT_EQ(CKR_OK, createData(session, "record", "old value"));
  const std::vector<uint8_t> file = testkit::ReadWholeFile(store.tokenFile(1));
  std::string bytes(file.begin(), file.end());
  const size_t at = bytes.find("old value");
  ASSERT_NE(std::string::npos, at);
  bytes[at] = 'O';  // still a well-formed token: only the checksum tells
  std::ofstream(std::filesystem::path(store.tokenFile(1)), std::ios::binary) << bytes;
  CK_TOKEN_INFO info;
  EXPECT_EQ(CKR_TOKEN_NOT_PRESENT, p11->C_GetTokenInfo(1, &info));
  CK_SESSION_INFO sessionInfo;
  EXPECT_EQ(CKR_DEVICE_REMOVED, p11->C_GetSessionInfo(session, &sessionInfo));
  std::vector<TokenSlot> slots;
  ASSERT_EQ(CKR_OK, store.library().listTokens(&slots));
  EXPECT_EQ(static_cast<CK_ULONG>(Q_TOKEN_CORRUPT), slots.at(0).state);
  ASSERT_EQ(CKR_OK, store.createToken(1, "T1"));
  EXPECT_TRUE(tokenFlags() & CKF_TOKEN_INITIALIZED);
}

}  // namespace
