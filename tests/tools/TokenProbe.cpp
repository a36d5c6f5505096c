#include "TokenProbe.h"

#include <windows.h>

#include "kit/Paths.h"
#include "model/ScopedFileHandle.h"
#include "tokenkit/WideText.h"

const char TokenProbe::kPassword[] = "user-pin-1";
const char TokenProbe::kSoPin[] = "so-pin-1";
const char TokenProbe::kDevicePin[] = "2468";

namespace {

std::vector<uint8_t> readFile(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return bytes;
  uint8_t buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read) bytes.insert(bytes.end(), buffer, buffer + read);
  return bytes;
}

CK_UTF8CHAR_PTR text(const char* s) { return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(s)); }

std::vector<uint8_t> attribute(CK_FUNCTION_LIST_PTR p11, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                               CK_ATTRIBUTE_TYPE type) {
  CK_ATTRIBUTE a = {type, nullptr, 0};
  if (p11->C_GetAttributeValue(session, object, &a, 1) != CKR_OK || a.ulValueLen == CK_UNAVAILABLE_INFORMATION) return {};
  std::vector<uint8_t> value(a.ulValueLen);
  a.pValue = value.data();
  if (p11->C_GetAttributeValue(session, object, &a, 1) != CKR_OK) return {};
  return value;
}

}  // namespace

std::wstring dataPath(const std::wstring& name) { return testkit::SourcePath(L"tests/tools/data/" + name); }
std::vector<uint8_t> dataFile(const std::wstring& name) { return readFile(dataPath(name)); }

TokenProbe::TokenProbe(unsigned slots) : folder_(testkit::MakeTempDir(L"tool")) {
  // The library reads both at C_Initialize; the tool's processes inherit them.
  ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_DIR", folder_.c_str());
  ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_SLOTS", std::to_wstring(slots).c_str());
  if (!library_.load(testkit::BinDir() + L"ZeltP11.dll", &error_)) return;
  const CK_RV rv = library_.initialize();
  if (rv != CKR_OK) error_ = "C_Initialize answered " + std::to_string(rv);
}

bool TokenProbe::createToken(CK_SLOT_ID slot, const std::string& serial) {
  Q_TOKEN_PARAMS p = {};
  p.pSerial = text(serial.c_str()), p.ulSerialLen = static_cast<CK_ULONG>(serial.size());
  p.pLabel = text("Test token"), p.ulLabelLen = 10;
  p.pSoPin = text(kSoPin), p.ulSoPinLen = 8;
  p.pUserPin = text(kPassword), p.ulUserPinLen = 10;
  p.pDevicePin = text(kDevicePin), p.ulDevicePinLen = 4;
  const CK_RV rv = library_.vendor()->Q_CreateToken(slot, &p);
  if (rv != CKR_OK) error_ = "Q_CreateToken(" + serial + ") answered " + std::to_string(rv);
  return rv == CKR_OK;
}

TokenProbe::~TokenProbe() {
  library_.finalize();
  ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_DIR", nullptr);
  ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_SLOTS", nullptr);
  testkit::RemoveTree(folder_);
}

std::vector<ObjectView> TokenProbe::objects(CK_SLOT_ID slot, bool withPrivate) {
  std::vector<ObjectView> views;
  CK_FUNCTION_LIST_PTR p11 = library_.p11();
  CK_SESSION_HANDLE session = 0;
  if (p11->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &session) != CKR_OK) return views;
  if (withPrivate) p11->C_Login(session, CKU_USER, text(kPassword), 10);
  CK_OBJECT_HANDLE handles[64];
  CK_ULONG count = 0;
  p11->C_FindObjectsInit(session, nullptr, 0);
  p11->C_FindObjects(session, handles, 64, &count);
  p11->C_FindObjectsFinal(session);
  for (CK_ULONG i = 0; i < count; ++i) {
    ObjectView v;
    const std::vector<uint8_t> cls = attribute(p11, session, handles[i], CKA_CLASS);
    if (cls.size() == sizeof(CK_OBJECT_CLASS)) memcpy(&v.cls, cls.data(), sizeof v.cls);
    v.label = attribute(p11, session, handles[i], CKA_LABEL);
    v.id = attribute(p11, session, handles[i], CKA_ID);
    if (v.cls == CKO_DATA || v.cls == CKO_CERTIFICATE) v.value = attribute(p11, session, handles[i], CKA_VALUE);
    if (v.cls == CKO_PUBLIC_KEY || v.cls == CKO_PRIVATE_KEY) v.modulus = attribute(p11, session, handles[i], CKA_MODULUS);
    v.isPrivate = attribute(p11, session, handles[i], CKA_PRIVATE) == std::vector<uint8_t>{CK_TRUE};
    v.onToken = attribute(p11, session, handles[i], CKA_TOKEN) == std::vector<uint8_t>{CK_TRUE};
    views.push_back(v);
  }
  if (withPrivate) p11->C_Logout(session);
  p11->C_CloseSession(session);
  return views;
}

std::vector<uint8_t> TokenProbe::fileBytes(CK_SLOT_ID slot) {
  CK_ULONG length = 0;
  if (library_.vendor()->Q_GetTokenFilePath(slot, nullptr, &length) != CKR_OK) return {};
  std::string path(length, '\0');
  library_.vendor()->Q_GetTokenFilePath(slot, reinterpret_cast<CK_UTF8CHAR_PTR>(&path[0]), &length);
  path.resize(path.find('\0') == std::string::npos ? path.size() : path.find('\0'));
  return readFile(widetext::fromUtf8(path));
}

CK_RV TokenProbe::create(CK_SLOT_ID slot, std::vector<CK_ATTRIBUTE> attributes) {
  CK_FUNCTION_LIST_PTR p11 = library_.p11();
  CK_SESSION_HANDLE session = 0;
  CK_RV rv = p11->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session);
  if (rv != CKR_OK) return rv;
  CK_OBJECT_HANDLE object = 0;
  rv = p11->C_CreateObject(session, attributes.data(), static_cast<CK_ULONG>(attributes.size()), &object);
  p11->C_CloseSession(session);
  return rv;
}
