#include "TokenStore.h"

#include <windows.h>

#include "tokenkit/AttributeList.h"
#include "tokenkit/WideText.h"

const char TokenStore::kPassword[] = "user-pin-1";
const char TokenStore::kSoPin[] = "so-pin-1";
const char TokenStore::kDevicePin[] = "2468";

std::string describe(const ToolRun& run) {
  return "exit code " + std::to_string(run.exitCode) + ", output:\n" + run.output;
}

CK_UTF8CHAR_PTR utf8(const char* s) { return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(s)); }

std::wstring dataPath(const std::wstring& name) {
  return testkit::SourcePath(name.rfind(L"certs/", 0) == 0 ? L"tests/data/" + name : L"tests/standins/data/" + name);
}

TokenStore::TokenStore(unsigned slots) : folder_(testkit::MakeTempDir(L"store")) {
  // The library reads both at C_Initialize; the tool's processes inherit them.
  ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_DIR", folder_.c_str());
  ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_SLOTS", std::to_wstring(slots).c_str());
  if (!library_.load(testkit::BinDir() + L"ZeltP11.dll", &error_)) return;
  const CK_RV rv = library_.initialize();
  if (rv != CKR_OK) error_ = "C_Initialize answered " + std::to_string(rv);
}

TokenStore::~TokenStore() {
  library_.finalize();
  ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_DIR", nullptr);
  ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_SLOTS", nullptr);
  testkit::RemoveTree(folder_);
}

CK_RV TokenStore::createToken(CK_SLOT_ID slot, const std::string& serial) {
  Q_TOKEN_PARAMS p = {};
  p.pSerial = utf8(serial), p.ulSerialLen = static_cast<CK_ULONG>(serial.size());
  p.pLabel = utf8("Test token"), p.ulLabelLen = 10;
  p.pSoPin = utf8(kSoPin), p.ulSoPinLen = 8;
  p.pUserPin = utf8(kPassword), p.ulUserPinLen = 10;
  p.pDevicePin = utf8(kDevicePin), p.ulDevicePinLen = 4;
  return vendor()->Q_CreateToken(slot, &p);
}

std::wstring TokenStore::tokenFile(CK_SLOT_ID slot) {
  CK_ULONG length = 0;
  if (vendor()->Q_GetTokenFilePath(slot, nullptr, &length) != CKR_OK || length == 0) return std::wstring();
  std::string path(length, '\0');
  vendor()->Q_GetTokenFilePath(slot, utf8(path), &length);
  return widetext::fromUtf8(path.c_str());
}

ToolRun TokenStore::tool(const std::wstring& arguments, const testkit::Environment& environment,
                         const std::wstring& program) {
  // Processes start slowly where Wine runs i386 code emulated; allow for it.
  return testkit::RunChild(L"\"" + testkit::BinDir() + program + L"\" " + arguments, 300000, environment);
}

void SoftTokenTest::SetUp() {
  ASSERT_EQ("", store.error());
  p11 = store.p11();
  vendor = store.vendor();
  ASSERT_EQ(CKR_OK, store.createToken(1, "T1"));
}

void SoftTokenTest::TearDown() {
  // Test hooks outlive C_Finalize; the library may stay loaded for the next case.
  if (vendor) vendor->Q_ResetTestHooks();
  if (vendor) vendor->Q_TraceControl(Q_TRACE_OFF | Q_TRACE_CLEAR);
}

void SoftTokenTest::restart() {
  ASSERT_EQ(CKR_OK, p11->C_Finalize(nullptr));
  ASSERT_EQ(CKR_OK, store.library().initialize());
}

CK_SESSION_HANDLE SoftTokenTest::open() {
  CK_SESSION_HANDLE session = CK_INVALID_HANDLE;
  EXPECT_EQ(CKR_OK, p11->C_OpenSession(1, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session));
  return session;
}

CK_RV SoftTokenTest::login(CK_SESSION_HANDLE session, const std::string& pin, CK_USER_TYPE user) {
  return p11->C_Login(session, user, utf8(pin), static_cast<CK_ULONG>(pin.size()));
}

CK_RV SoftTokenTest::createData(CK_SESSION_HANDLE session, const std::string& label, const std::string& value,
                                CK_OBJECT_HANDLE* object) {
  const AttributeList data =
      AttributeList().ulong(CKA_CLASS, CKO_DATA).boolean(CKA_TOKEN, true).label(label).text(CKA_VALUE, value);
  std::vector<CK_ATTRIBUTE> t = data.view();
  CK_OBJECT_HANDLE created = CK_INVALID_HANDLE;
  return p11->C_CreateObject(session, t.data(), static_cast<CK_ULONG>(t.size()), object ? object : &created);
}

CK_RV SoftTokenTest::setValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, const std::string& value) {
  CK_ATTRIBUTE a = {CKA_VALUE, utf8(value), static_cast<CK_ULONG>(value.size())};
  return p11->C_SetAttributeValue(session, object, &a, 1);
}

std::vector<CK_OBJECT_HANDLE> SoftTokenTest::find(CK_SESSION_HANDLE session, const std::string& label) {
  const AttributeList labelled = AttributeList().ulong(CKA_CLASS, CKO_DATA).label(label);
  std::vector<CK_ATTRIBUTE> t = labelled.view();
  std::vector<CK_OBJECT_HANDLE> found(16);
  CK_ULONG count = 0;
  EXPECT_EQ(CKR_OK, p11->C_FindObjectsInit(session, t.data(), static_cast<CK_ULONG>(t.size())));
  EXPECT_EQ(CKR_OK, p11->C_FindObjects(session, found.data(), 16, &count));
  EXPECT_EQ(CKR_OK, p11->C_FindObjectsFinal(session));
  found.resize(count <= 16 ? count : 0);
  return found;
}

std::string SoftTokenTest::value(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object) {
  char buffer[256];
  CK_ATTRIBUTE a = {CKA_VALUE, buffer, sizeof buffer};
  const CK_RV rv = p11->C_GetAttributeValue(session, object, &a, 1);
  return rv == CKR_OK ? std::string(buffer, a.ulValueLen) : "rv=" + std::to_string(rv);
}

CK_FLAGS SoftTokenTest::tokenFlags() {
  CK_TOKEN_INFO info = {};
  EXPECT_EQ(CKR_OK, p11->C_GetTokenInfo(1, &info));
  return info.flags;
}

Q_PIN_INFO SoftTokenTest::pinInfo(CK_ULONG pin) {
  Q_PIN_INFO info = {};
  EXPECT_EQ(CKR_OK, vendor->Q_GetPinInfo(1, pin, &info));
  return info;
}
