#include "ConformanceTest.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace conformance {

std::string rvText(CK_RV rv) {
  char text[32];
  std::snprintf(text, sizeof text, "rv=0x%08lX", static_cast<unsigned long>(rv));
  return text;
}

namespace {

std::string freshFolder() {
  std::random_device random;
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  char name[64];
  std::snprintf(name, sizeof name, "zelt-conformance-%08x%08x", random(), static_cast<unsigned>(now));
  return (std::filesystem::temp_directory_path() / name).u8string();
}

}  // namespace

void ConformanceTest::SetUp() {
  store_ = freshFolder();
  std::string error;
  ASSERT_TRUE(CryptokiModule::configureStore(store_, error)) << error;
  ASSERT_TRUE(module_.load(error)) << error;
  p11 = module_.p11();
  vendor = module_.vendor();
  ASSERT_RV(CKR_OK, module_.initialize());
  ASSERT_RV(CKR_OK, module_.provision(1, TokenSpec(), slot_));
}

void ConformanceTest::TearDown() {
  if (p11) p11->C_Finalize(nullptr);
  module_.unload();
  std::error_code ec;
  if (!store_.empty()) std::filesystem::remove_all(std::filesystem::u8path(store_), ec);
}

void ConformanceTest::restart() {
  ASSERT_RV(CKR_OK, module_.finalize());
  ASSERT_RV(CKR_OK, module_.initialize());
  ASSERT_RV(CKR_OK, module_.findSlotByLabel(kLabel, slot_));
}

CK_SESSION_HANDLE ConformanceTest::openSession(bool readWrite) {
  CK_SESSION_HANDLE session = CK_INVALID_HANDLE;
  CK_FLAGS flags = CKF_SERIAL_SESSION | (readWrite ? CKF_RW_SESSION : 0);
  EXPECT_RV(CKR_OK, p11->C_OpenSession(slot_, flags, nullptr, nullptr, &session));
  return session;
}

void ConformanceTest::loginUser(CK_SESSION_HANDLE session) {
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
}

CK_OBJECT_HANDLE ConformanceTest::createData(CK_SESSION_HANDLE session, const std::string &label,
                                             const std::string &value, bool onToken, bool isPrivate) {
  Template t;
  t.ulong(CKA_CLASS, CKO_DATA)
      .boolean(CKA_TOKEN, onToken)
      .boolean(CKA_PRIVATE, isPrivate)
      .label(label)
      .bytes(CKA_VALUE, value);
  CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
  EXPECT_RV(CKR_OK, p11->C_CreateObject(session, t.data(), t.size(), &object));
  return object;
}

CK_OBJECT_HANDLE ConformanceTest::createCertificate(CK_SESSION_HANDLE session, const std::string &label,
                                                    const std::string &id, const std::string &value) {
  Template t;
  t.ulong(CKA_CLASS, CKO_CERTIFICATE)
      .ulong(CKA_CERTIFICATE_TYPE, CKC_X_509)
      .boolean(CKA_TOKEN, true)
      .boolean(CKA_PRIVATE, false)
      .label(label)
      .bytes(CKA_ID, id)
      .bytes(CKA_SUBJECT, "subject of " + label)
      .bytes(CKA_VALUE, value);
  CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
  EXPECT_RV(CKR_OK, p11->C_CreateObject(session, t.data(), t.size(), &object));
  return object;
}

std::vector<CK_OBJECT_HANDLE> ConformanceTest::find(CK_SESSION_HANDLE session, Template &tmpl, CK_ULONG capacity) {
  std::vector<CK_OBJECT_HANDLE> found(capacity);
  CK_ULONG count = 0;
  EXPECT_RV(CKR_OK, p11->C_FindObjectsInit(session, tmpl.data(), tmpl.size()));
  EXPECT_RV(CKR_OK, p11->C_FindObjects(session, found.data(), capacity, &count));
  EXPECT_RV(CKR_OK, p11->C_FindObjectsFinal(session));
  found.resize(count <= capacity ? count : 0);
  return found;
}

std::string ConformanceTest::attribute(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) {
  CK_ATTRIBUTE a = {type, nullptr, 0};
  const CK_RV rv = p11->C_GetAttributeValue(session, object, &a, 1);
  EXPECT_RV(CKR_OK, rv);
  if (rv != CKR_OK || a.ulValueLen == CK_UNAVAILABLE_INFORMATION || a.ulValueLen == 0) return std::string();
  std::string value(a.ulValueLen, '\0');
  a.pValue = &value[0];
  EXPECT_RV(CKR_OK, p11->C_GetAttributeValue(session, object, &a, 1));
  value.resize(a.ulValueLen == CK_UNAVAILABLE_INFORMATION ? 0 : a.ulValueLen);
  return value;
}

CK_TOKEN_INFO ConformanceTest::tokenInfo() {
  CK_TOKEN_INFO info;
  std::memset(&info, 0, sizeof info);
  EXPECT_RV(CKR_OK, p11->C_GetTokenInfo(slot_, &info));
  return info;
}

long ConformanceTest::runChild(const std::string &action, const std::vector<std::string> &args,
                               std::vector<std::pair<std::string, std::string>> env) {
  env.emplace_back("ZELT_CONFORMANCE_CHILD", action);
  for (size_t i = 0; i < args.size(); ++i) env.emplace_back("ZELT_CONFORMANCE_ARG" + std::to_string(i + 1), args[i]);
  return runSelf(env);
}

}  // namespace conformance
