#pragma once
// The stand-ins as the other suites and the demo use them: the software token ZeltP11.dll on a
// store folder of the test's own, reached through its function lists in this process, and
// zelt-token.exe run as a second process on the same store.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kit/ChildProcess.h"
#include "kit/Paths.h"
#include "tokenkit/CryptokiLibrary.h"

using ::testing::HasSubstr;

using ToolRun = testkit::ChildRun;
// For failure messages: the exit code and the output.
std::string describe(const ToolRun& run);

CK_UTF8CHAR_PTR utf8(const char* s);
inline CK_UTF8CHAR_PTR utf8(const std::string& s) { return utf8(s.c_str()); }
// A file of tests/standins/data, or of tests/data/certs for a name starting with "certs/".
std::wstring dataPath(const std::wstring& name);

class TokenStore {
 public:
  static const char kPassword[];  // the user PIN of every token made here
  static const char kSoPin[];
  static const char kDevicePin[];

  // The library initialised on a fresh store folder with `slots` slots.
  explicit TokenStore(unsigned slots);
  ~TokenStore();

  // Empty when the library is ready.
  const std::string& error() const { return error_; }
  const std::wstring& folder() const { return folder_; }
  CK_FUNCTION_LIST_PTR p11() const { return library_.p11(); }
  Q_FUNCTION_LIST_PTR vendor() const { return library_.vendor(); }
  CryptokiLibrary& library() { return library_; }
  CK_RV createToken(CK_SLOT_ID slot, const std::string& serial);
  std::wstring tokenFile(CK_SLOT_ID slot);
  // zelt-token.exe (or another program beside the tests) on this store; `environment` goes to
  // the child only.
  ToolRun tool(const std::wstring& arguments, const testkit::Environment& environment = {},
               const std::wstring& program = L"zelt-token.exe");

 private:
  std::wstring folder_;
  std::string error_;
  CryptokiLibrary library_;
};

// One token, "T1" in slot 1, on a store of the test's own.
class SoftTokenTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // C_Finalize and C_Initialize, as after a restart of this process.
  void restart();

  CK_SESSION_HANDLE open();
  CK_RV login(CK_SESSION_HANDLE session, const std::string& pin, CK_USER_TYPE user = CKU_USER);
  CK_RV createData(CK_SESSION_HANDLE session, const std::string& label, const std::string& value,
                   CK_OBJECT_HANDLE* object = nullptr);
  CK_RV setValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, const std::string& value);
  // The data objects labelled `label` (searched with its NUL, as the CSP stores labels).
  std::vector<CK_OBJECT_HANDLE> find(CK_SESSION_HANDLE session, const std::string& label);
  std::string value(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object);
  CK_FLAGS tokenFlags();
  // Q_PIN_USER, Q_PIN_SO or Q_PIN_DEVICE of the token in slot 1.
  Q_PIN_INFO pinInfo(CK_ULONG pin);

  TokenStore store{4};
  CK_FUNCTION_LIST_PTR p11 = nullptr;
  Q_FUNCTION_LIST_PTR vendor = nullptr;
};
