// The token file: a damaged file means no token and no crash; a write cut short, by a failure
// or by the death of the process, leaves the previous content whole.
#include <filesystem>
#include <fstream>

#include "ConformanceTest.h"

namespace conformance {
namespace {

namespace fs = std::filesystem;

class TokenFile : public ConformanceTest {
 protected:
  std::string tokenPath() {
    CK_ULONG length = 0;
    EXPECT_RV(CKR_OK, vendor->Q_GetTokenFilePath(slot_, nullptr, &length));
    std::string path(length, '\0');
    EXPECT_RV(CKR_OK, vendor->Q_GetTokenFilePath(slot_, reinterpret_cast<CK_UTF8CHAR_PTR>(&path[0]), &length));
    path.resize(length ? length - 1 : 0);
    return path;
  }

  // Leftovers of interrupted writes beside the token file.
  std::vector<fs::path> temporaryFiles() {
    std::vector<fs::path> found;
    for (const auto &entry : fs::directory_iterator(fs::u8path(tokenPath()).parent_path()))
      if (entry.path().extension() == ".tmp") found.push_back(entry.path());
    return found;
  }

  CK_OBJECT_HANDLE record(CK_SESSION_HANDLE session) {
    std::vector<CK_OBJECT_HANDLE> found = find(session, Template().ulong(CKA_CLASS, CKO_DATA).label("record"));
    return found.size() == 1 ? found[0] : CK_INVALID_HANDLE;
  }

  void expectNoToken() {
    CK_TOKEN_INFO info;
    EXPECT_RV(CKR_TOKEN_NOT_PRESENT, p11->C_GetTokenInfo(slot_, &info));
    CK_ULONG count = 9;
    EXPECT_RV(CKR_OK, p11->C_GetSlotList(CK_TRUE, nullptr, &count));
    EXPECT_EQ(0u, count);
    Q_TOKEN_ENTRY entries[4];
    count = 4;
    ASSERT_RV(CKR_OK, vendor->Q_ListTokens(entries, &count));
    EXPECT_EQ(Q_TOKEN_CORRUPT, entries[0].ulState);
  }
};

TEST_F(TokenFile, TruncatedFileMeansNoTokenAndItsSessionsEnd) {
  SKIP_UNLESS_SOFT_TOKEN();
  CK_SESSION_HANDLE session = openSession();
  createData(session, "record", "old");
  const fs::path path = fs::u8path(tokenPath());
  fs::resize_file(path, fs::file_size(path) / 2);
  expectNoToken();
  CK_SESSION_INFO info;
  EXPECT_RV(CKR_DEVICE_REMOVED, p11->C_GetSessionInfo(session, &info));
  ASSERT_RV(CKR_OK, module_.finalize());
  ASSERT_RV(CKR_OK, module_.initialize());
  expectNoToken();
  fs::resize_file(path, 0);
  expectNoToken();
}

TEST_F(TokenFile, FlippedByteMeansNoTokenUntilANewTokenReplacesIt) {
  SKIP_UNLESS_SOFT_TOKEN();
  CK_SESSION_HANDLE session = openSession();
  createData(session, "record", "old");
  const fs::path path = fs::u8path(tokenPath());
  ASSERT_RV(CKR_OK, module_.finalize());
  {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(40);
    char c = 0;
    file.get(c);
    file.seekp(40);
    file.put(static_cast<char>(c ^ 0x20));
  }
  ASSERT_RV(CKR_OK, module_.initialize());
  expectNoToken();
  CK_SLOT_ID slot = 0;
  ASSERT_RV(CKR_OK, module_.provision(slot_, TokenSpec(), slot));
  EXPECT_TRUE(tokenInfo().flags & CKF_TOKEN_INITIALIZED);
}

TEST_F(TokenFile, FailedWriteHalfWayLeavesThePreviousContentOrCreatesNothing) {
  SKIP_UNLESS_SOFT_TOKEN();
  CK_SESSION_HANDLE session = openSession();
  CK_OBJECT_HANDLE object = createData(session, "record", "old");
  const uintmax_t size = fs::file_size(fs::u8path(tokenPath()));
  ASSERT_RV(CKR_OK, vendor->Q_FailWrite(1, Q_WRITE_FAIL_HALFWAY));
  Template change;
  change.bytes(CKA_VALUE, "new and longer");
  EXPECT_RV(CKR_DEVICE_ERROR, p11->C_SetAttributeValue(session, object, change.data(), change.size()));
  EXPECT_EQ("old", attribute(session, object, CKA_VALUE));

  std::vector<fs::path> temporary = temporaryFiles();
  ASSERT_EQ(1u, temporary.size()) << "the cut-short write left its half file";
  EXPECT_GT(fs::file_size(temporary[0]), 0u);
  EXPECT_LT(fs::file_size(temporary[0]), size);

  restart();
  session = openSession();
  object = record(session);
  EXPECT_EQ("old", attribute(session, object, CKA_VALUE));
  EXPECT_RV(CKR_OK, p11->C_SetAttributeValue(session, object, change.data(), change.size())) << "next write works";
  EXPECT_EQ("new and longer", attribute(session, object, CKA_VALUE));

  // A failed write of a new object creates nothing.
  ASSERT_RV(CKR_OK, vendor->Q_FailWrite(1, Q_WRITE_FAIL_HALFWAY));
  CK_OBJECT_HANDLE created = 0;
  Template t;
  t.ulong(CKA_CLASS, CKO_DATA).boolean(CKA_TOKEN, true).boolean(CKA_PRIVATE, false).label("record");
  EXPECT_RV(CKR_DEVICE_ERROR, create(session, t, &created));
  EXPECT_EQ(object, record(session));
}

TEST_F(TokenFile, ProcessKilledHalfWayThroughAWriteLeavesThePreviousContent) {
  SKIP_UNLESS_SOFT_TOKEN();
  CK_SESSION_HANDLE session = openSession();
  createData(session, "record", "old");
  EXPECT_EQ(static_cast<long>(Q_CRASH_EXIT_CODE),
            runChild("set-value", {"record", "written by a process that dies"}, {{"ZELT_SOFTTOKEN_FAIL_WRITE", "1:crash"}}));
  EXPECT_EQ(1u, temporaryFiles().size()) << "the dead process got half way";
  EXPECT_EQ("old", attribute(session, record(session), CKA_VALUE)) << "seen live";
  restart();
  session = openSession();
  EXPECT_EQ("old", attribute(session, record(session), CKA_VALUE)) << "seen after a restart";
  EXPECT_EQ(0, runChild("set-value", {"record", "written"})) << "the store lock of the dead process is free";
  EXPECT_EQ("written", attribute(session, record(session), CKA_VALUE));
}

}  // namespace
}  // namespace conformance
