// The exports of ZeltP11.dll and the two function lists. Every entry goes through a Call,
// which serialises the library, applies the test hooks and writes the trace line.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "CallTrace.h"
#include "CkNames.h"
#include "SoftLibrary.h"
#include "TestHooks.h"
#include "ZeltVendor.h"
#include "model/ScopedHandle.h"

using softtoken::CallTrace;
using softtoken::SoftLibrary;
using softtoken::TestHooks;

namespace {

std::mutex gMutex;
TestHooks gHooks;
CallTrace gTrace;
SoftLibrary gLibrary(gHooks);
bool gEnvironmentRead = false;

std::wstring widen(const char *utf8, size_t len) {
  if (len == 0) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(len), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(len), &w[0], n);
  return w;
}

std::string environment(const wchar_t *name) {
  wchar_t buffer[1024];
  DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
  if (n == 0 || n >= 1024) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), &s[0], size, nullptr, nullptr);
  return s;
}

struct FileTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};

bool writeFile(const std::wstring &path, const std::string &text, bool append) {
  ScopedHandle<FileTraits> file(CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

// Hooks named in the environment apply from the first call of the process on.
void readEnvironmentOnce() {
  if (gEnvironmentRead) return;
  gEnvironmentRead = true;
  TestHooks::Settings settings;
  settings.trace = environment(L"ZELT_SOFTTOKEN_TRACE");
  settings.latency = environment(L"ZELT_SOFTTOKEN_LATENCY_MS");
  settings.fail = environment(L"ZELT_SOFTTOKEN_FAIL");
  settings.removeAfter = environment(L"ZELT_SOFTTOKEN_REMOVE_AFTER");
  settings.failWrite = environment(L"ZELT_SOFTTOKEN_FAIL_WRITE");
  gHooks.apply(settings);
  if (!settings.trace.empty()) {
    // Host and provisioning tool may share one file: each line names its process.
    const std::wstring path = widen(settings.trace.data(), settings.trace.size());
    const std::string prefix = "[" + std::to_string(GetCurrentProcessId()) + "] ";
    gTrace.setSink([path, prefix](const std::string &line) { writeFile(path, prefix + line + "\n", true); });
  }
}

std::string hexBytes(const void *p, unsigned long n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  const auto *b = static_cast<const unsigned char *>(p);
  for (unsigned long i = 0; i < n; ++i) {
    s += digits[b[i] >> 4];
    s += digits[b[i] & 15];
  }
  return s;
}

std::string quoted(const void *p, unsigned long n) {
  std::string s = "\"";
  const auto *b = static_cast<const unsigned char *>(p);
  for (unsigned long i = 0; i < n; ++i) {
    if (b[i] >= 0x20 && b[i] < 0x7F && b[i] != '"' && b[i] != '\\') {
      s += static_cast<char>(b[i]);
    } else {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", b[i]);
      s += esc;
    }
  }
  return s + "\"";
}

std::string hexNumber(unsigned long v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%lX", v);
  return text;
}

std::string userTypeName(CK_USER_TYPE u) {
  switch (u) {
    case CKU_SO:
      return "CKU_SO";
    case CKU_USER:
      return "CKU_USER";
    case CKU_CONTEXT_SPECIFIC:
      return "CKU_CONTEXT_SPECIFIC";
    default:
      return std::to_string(u);
  }
}

enum class Kind { Counted, Hook };

// One call into the library: holds the library lock for its whole life.
class Call {
 public:
  Call(const char *name, Kind kind = Kind::Counted, bool needsInit = true)
      : name_(name), kind_(kind), needsInit_(needsInit), lock_(gMutex) {
    readEnvironmentOnce();
    tracing_ = kind_ == Kind::Counted && gTrace.enabled();
  }

  // Latency, due removals, injected failures and the initialisation check, in that order.
  // True when the call is answered without running; result() then holds the answer.
  bool preempted() {
    if (kind_ == Kind::Hook) return false;
    if (unsigned long ms = gHooks.latency()) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    for (CK_SLOT_ID slot : gHooks.tick()) gLibrary.simulateRemoval(slot);
    if (gHooks.shouldFail(name_, result_)) {
      injected_ = true;
      return true;
    }
    if (needsInit_ && !gLibrary.initialized()) {
      result_ = CKR_CRYPTOKI_NOT_INITIALIZED;
      return true;
    }
    return false;
  }
  CK_RV result() { return finish(result_); }

  Call &num(const char *n, unsigned long v) { return add(n, std::to_string(v)); }
  Call &hex(const char *n, unsigned long v) { return add(n, hexNumber(v)); }
  Call &text(const char *n, const std::string &v) { return add(n, v); }
  Call &ptr(const char *n, const void *p) { return add(n, p ? "&" : "NULL"); }
  Call &bytes(const char *n, const void *p, unsigned long len) {
    return add(n, p ? quoted(p, len) : std::string("NULL"));
  }
  Call &inCount(const char *n, const CK_ULONG *p) { return add(n, p ? "&" + std::to_string(*p) : "NULL"); }
  Call &tmpl(const char *n, const CK_ATTRIBUTE *t, CK_ULONG count, bool values) {
    if (!tracing_) return *this;
    if (!t) return add(n, "NULL");
    std::string s = "[";
    for (CK_ULONG i = 0; i < count; ++i) {
      if (i) s += ", ";
      s += softtoken::attributeName(t[i].type);
      if (values && t[i].pValue) {
        s += "(" + std::to_string(t[i].ulValueLen) + ")=" + hexBytes(t[i].pValue, t[i].ulValueLen);
      } else {
        s += t[i].pValue ? "(" + std::to_string(t[i].ulValueLen) + ")" : std::string("(NULL)");
      }
    }
    return add(n, s + "]");
  }
  // Values the call hands back, shown after the result.
  Call &out(const std::string &v) {
    if (tracing_) outputs_ += (outputs_.empty() ? "" : ", ") + v;
    return *this;
  }
  Call &outTmpl(const CK_ATTRIBUTE *t, CK_ULONG count) {
    if (!tracing_ || !t) return *this;
    for (CK_ULONG i = 0; i < count; ++i) {
      std::string v = softtoken::attributeName(t[i].type) + ".ulValueLen=";
      v += t[i].ulValueLen == CK_UNAVAILABLE_INFORMATION ? "-1" : std::to_string(t[i].ulValueLen);
      out(v);
    }
    return *this;
  }
  bool tracing() const { return tracing_; }

  CK_RV finish(CK_RV rv) {
    if (tracing_) {
      std::string line = std::string(name_) + "(" + args_ + ") -> " + softtoken::rvName(rv);
      if (injected_) line += " [injected]";
      if (!outputs_.empty()) line += " {" + outputs_ + "}";
      gTrace.record(line);
    }
    return rv;
  }

 private:
  Call &add(const char *n, const std::string &v) {
    if (tracing_) args_ += (args_.empty() ? "" : ", ") + std::string(n) + "=" + v;
    return *this;
  }

  const char *name_;
  Kind kind_;
  bool needsInit_;
  std::lock_guard<std::mutex> lock_;
  bool tracing_ = false;
  bool injected_ = false;
  CK_RV result_ = CKR_OK;
  std::string args_;
  std::string outputs_;
};

// ---- standard entries ----

CK_RV e_C_Initialize(CK_VOID_PTR pInitArgs) {
  Call call("C_Initialize", Kind::Counted, false);
  call.ptr("pInitArgs", pInitArgs);
  if (pInitArgs && call.tracing())
    call.hex("flags", static_cast<CK_C_INITIALIZE_ARGS *>(pInitArgs)->flags);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.initialize(pInitArgs));
}

CK_RV e_C_Finalize(CK_VOID_PTR pReserved) {
  Call call("C_Finalize");
  call.ptr("pReserved", pReserved);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.finalize(pReserved));
}

CK_RV e_C_GetInfo(CK_INFO_PTR pInfo) {
  Call call("C_GetInfo");
  call.ptr("pInfo", pInfo);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.getInfo(pInfo));
}

CK_RV e_C_GetSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID_PTR pSlotList, CK_ULONG_PTR pulCount) {
  Call call("C_GetSlotList");
  call.num("tokenPresent", tokenPresent).ptr("pSlotList", pSlotList).inCount("pulCount", pulCount);
  if (call.preempted()) return call.result();
  CK_RV rv = gLibrary.getSlotList(tokenPresent, pSlotList, pulCount);
  if (pulCount) {
    call.out("*pulCount=" + std::to_string(*pulCount));
    if (rv == CKR_OK && pSlotList) {
      std::string ids;
      for (CK_ULONG i = 0; i < *pulCount; ++i) ids += (i ? " " : "") + std::to_string(pSlotList[i]);
      call.out("slots=[" + ids + "]");
    }
  }
  return call.finish(rv);
}

CK_RV e_C_GetSlotInfo(CK_SLOT_ID slotID, CK_SLOT_INFO_PTR pInfo) {
  Call call("C_GetSlotInfo");
  call.num("slotID", slotID).ptr("pInfo", pInfo);
  if (call.preempted()) return call.result();
  CK_RV rv = gLibrary.getSlotInfo(slotID, pInfo);
  if (rv == CKR_OK) call.out("flags=" + hexNumber(pInfo->flags));
  return call.finish(rv);
}

CK_RV e_C_GetTokenInfo(CK_SLOT_ID slotID, CK_TOKEN_INFO_PTR pInfo) {
  Call call("C_GetTokenInfo");
  call.num("slotID", slotID).ptr("pInfo", pInfo);
  if (call.preempted()) return call.result();
  CK_RV rv = gLibrary.getTokenInfo(slotID, pInfo);
  if (rv == CKR_OK)
    call.out("serialNumber=" + quoted(pInfo->serialNumber, sizeof pInfo->serialNumber))
        .out("flags=" + hexNumber(pInfo->flags));
  return call.finish(rv);
}

CK_RV e_C_InitPIN(CK_SESSION_HANDLE hSession, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen) {
  Call call("C_InitPIN");
  call.num("hSession", hSession).bytes("pPin", pPin, ulPinLen).num("ulPinLen", ulPinLen);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.initPin(hSession, pPin, ulPinLen));
}

CK_RV e_C_SetPIN(CK_SESSION_HANDLE hSession, CK_UTF8CHAR_PTR pOldPin, CK_ULONG ulOldLen, CK_UTF8CHAR_PTR pNewPin,
                 CK_ULONG ulNewLen) {
  Call call("C_SetPIN");
  call.num("hSession", hSession)
      .bytes("pOldPin", pOldPin, ulOldLen)
      .num("ulOldLen", ulOldLen)
      .bytes("pNewPin", pNewPin, ulNewLen)
      .num("ulNewLen", ulNewLen);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.setPin(hSession, pOldPin, ulOldLen, pNewPin, ulNewLen));
}

CK_RV e_C_OpenSession(CK_SLOT_ID slotID, CK_FLAGS flags, CK_VOID_PTR pApplication, CK_NOTIFY Notify,
                      CK_SESSION_HANDLE_PTR phSession) {
  Call call("C_OpenSession");
  call.num("slotID", slotID)
      .hex("flags", flags)
      .ptr("pApplication", pApplication)
      .ptr("Notify", reinterpret_cast<const void *>(Notify))
      .ptr("phSession", phSession);
  if (call.preempted()) return call.result();
  CK_RV rv = gLibrary.openSession(slotID, flags, phSession);
  if (rv == CKR_OK) call.out("*phSession=" + std::to_string(*phSession));
  return call.finish(rv);
}

CK_RV e_C_CloseSession(CK_SESSION_HANDLE hSession) {
  Call call("C_CloseSession");
  call.num("hSession", hSession);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.closeSession(hSession));
}

CK_RV e_C_CloseAllSessions(CK_SLOT_ID slotID) {
  Call call("C_CloseAllSessions");
  call.num("slotID", slotID);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.closeAllSessions(slotID));
}

CK_RV e_C_GetSessionInfo(CK_SESSION_HANDLE hSession, CK_SESSION_INFO_PTR pInfo) {
  Call call("C_GetSessionInfo");
  call.num("hSession", hSession).ptr("pInfo", pInfo);
  if (call.preempted()) return call.result();
  CK_RV rv = gLibrary.getSessionInfo(hSession, pInfo);
  if (rv == CKR_OK) call.out("state=" + std::to_string(pInfo->state)).out("flags=" + hexNumber(pInfo->flags));
  return call.finish(rv);
}

CK_RV e_C_Login(CK_SESSION_HANDLE hSession, CK_USER_TYPE userType, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen) {
  Call call("C_Login");
  call.num("hSession", hSession)
      .text("userType", userTypeName(userType))
      .bytes("pPin", pPin, ulPinLen)
      .num("ulPinLen", ulPinLen);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.login(hSession, userType, pPin, ulPinLen));
}

CK_RV e_C_Logout(CK_SESSION_HANDLE hSession) {
  Call call("C_Logout");
  call.num("hSession", hSession);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.logout(hSession));
}

CK_RV e_C_CreateObject(CK_SESSION_HANDLE hSession, CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount,
                       CK_OBJECT_HANDLE_PTR phObject) {
  Call call("C_CreateObject");
  call.num("hSession", hSession)
      .tmpl("pTemplate", pTemplate, ulCount, true)
      .num("ulCount", ulCount)
      .ptr("phObject", phObject);
  if (call.preempted()) return call.result();
  CK_RV rv = gLibrary.createObject(hSession, pTemplate, ulCount, phObject);
  if (rv == CKR_OK) call.out("*phObject=" + hexNumber(*phObject));
  return call.finish(rv);
}

CK_RV e_C_DestroyObject(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject) {
  Call call("C_DestroyObject");
  call.num("hSession", hSession).hex("hObject", hObject);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.destroyObject(hSession, hObject));
}

CK_RV e_C_GetAttributeValue(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject, CK_ATTRIBUTE_PTR pTemplate,
                            CK_ULONG ulCount) {
  Call call("C_GetAttributeValue");
  call.num("hSession", hSession)
      .hex("hObject", hObject)
      .tmpl("pTemplate", pTemplate, ulCount, false)
      .num("ulCount", ulCount);
  if (call.preempted()) return call.result();
  CK_RV rv = gLibrary.getAttributeValue(hSession, hObject, pTemplate, ulCount);
  call.outTmpl(pTemplate, ulCount);
  return call.finish(rv);
}

CK_RV e_C_SetAttributeValue(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject, CK_ATTRIBUTE_PTR pTemplate,
                            CK_ULONG ulCount) {
  Call call("C_SetAttributeValue");
  call.num("hSession", hSession)
      .hex("hObject", hObject)
      .tmpl("pTemplate", pTemplate, ulCount, true)
      .num("ulCount", ulCount);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.setAttributeValue(hSession, hObject, pTemplate, ulCount));
}

CK_RV e_C_FindObjectsInit(CK_SESSION_HANDLE hSession, CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount) {
  Call call("C_FindObjectsInit");
  call.num("hSession", hSession).tmpl("pTemplate", pTemplate, ulCount, true).num("ulCount", ulCount);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.findObjectsInit(hSession, pTemplate, ulCount));
}

CK_RV e_C_FindObjects(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE_PTR phObject, CK_ULONG ulMaxObjectCount,
                      CK_ULONG_PTR pulObjectCount) {
  Call call("C_FindObjects");
  call.num("hSession", hSession)
      .ptr("phObject", phObject)
      .num("ulMaxObjectCount", ulMaxObjectCount)
      .ptr("pulObjectCount", pulObjectCount);
  if (call.preempted()) return call.result();
  CK_RV rv = gLibrary.findObjects(hSession, phObject, ulMaxObjectCount, pulObjectCount);
  if (rv == CKR_OK) {
    std::string handles;
    for (CK_ULONG i = 0; i < *pulObjectCount; ++i) handles += (i ? " " : "") + hexNumber(phObject[i]);
    call.out("*pulObjectCount=" + std::to_string(*pulObjectCount)).out("handles=[" + handles + "]");
  }
  return call.finish(rv);
}

CK_RV e_C_FindObjectsFinal(CK_SESSION_HANDLE hSession) {
  Call call("C_FindObjectsFinal");
  call.num("hSession", hSession);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.findObjectsFinal(hSession));
}

CK_RV e_C_GenerateRandom(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pRandomData, CK_ULONG ulRandomLen) {
  Call call("C_GenerateRandom");
  call.num("hSession", hSession).ptr("pRandomData", pRandomData).num("ulRandomLen", ulRandomLen);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.generateRandom(hSession, pRandomData, ulRandomLen));
}

std::string mechanismText(const CK_MECHANISM *m) {
  if (!m) return "NULL";
  return (m->mechanism == CKM_RSA_PKCS ? std::string("CKM_RSA_PKCS") : hexNumber(m->mechanism)) +
         (m->pParameter ? "+parameter" : "");
}

CK_RV e_C_SignInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey) {
  Call call("C_SignInit");
  call.num("hSession", hSession).text("pMechanism", mechanismText(pMechanism)).hex("hKey", hKey);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.signInit(hSession, pMechanism, hKey));
}

// The data to sign is shown in full: it is a hash (a DigestInfo), not a secret.
CK_RV e_C_Sign(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen, CK_BYTE_PTR pSignature,
               CK_ULONG_PTR pulSignatureLen) {
  Call call("C_Sign");
  call.num("hSession", hSession)
      .text("pData", pData ? hexBytes(pData, ulDataLen) : "NULL")
      .num("ulDataLen", ulDataLen)
      .ptr("pSignature", pSignature)
      .inCount("pulSignatureLen", pulSignatureLen);
  if (call.preempted()) return call.result();
  CK_RV rv = gLibrary.sign(hSession, pData, ulDataLen, pSignature, pulSignatureLen);
  if (pulSignatureLen) call.out("*pulSignatureLen=" + std::to_string(*pulSignatureLen));
  return call.finish(rv);
}

CK_RV e_C_SignUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen) {
  Call call("C_SignUpdate");
  call.num("hSession", hSession).text("pPart", pPart ? hexBytes(pPart, ulPartLen) : "NULL").num("ulPartLen", ulPartLen);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.signUpdate(hSession, pPart, ulPartLen));
}

CK_RV e_C_SignFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pSignature, CK_ULONG_PTR pulSignatureLen) {
  Call call("C_SignFinal");
  call.num("hSession", hSession).ptr("pSignature", pSignature).inCount("pulSignatureLen", pulSignatureLen);
  if (call.preempted()) return call.result();
  CK_RV rv = gLibrary.signFinal(hSession, pSignature, pulSignatureLen);
  if (pulSignatureLen) call.out("*pulSignatureLen=" + std::to_string(*pulSignatureLen));
  return call.finish(rv);
}

// The entries this library does not offer: traced with their name only.
template <typename Name, typename Fn>
struct Unsupported;

template <typename Name, typename... Args>
struct Unsupported<Name, CK_RV (*)(Args...)> {
  static CK_RV entry(Args...) {
    Call call(Name::get());
    if (call.preempted()) return call.result();
    return call.finish(gLibrary.unsupported());
  }
};

// ---- vendor entries ----

CK_RV e_Q_GetVendorInfo(Q_VENDOR_INFO *pInfo) {
  Call call("Q_GetVendorInfo");
  call.ptr("pInfo", pInfo);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.getVendorInfo(pInfo));
}

CK_RV e_Q_GetTokenFilePath(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPath, CK_ULONG_PTR pulLen) {
  Call call("Q_GetTokenFilePath");
  call.num("slotID", slotID).ptr("pPath", pPath).inCount("pulLen", pulLen);
  if (call.preempted()) return call.result();
  CK_RV rv = gLibrary.getTokenFilePath(slotID, pPath, pulLen);
  if (pulLen) call.out("*pulLen=" + std::to_string(*pulLen));
  return call.finish(rv);
}

CK_RV e_Q_Reserved() {
  Call call("Q_Reserved");
  if (call.preempted()) return call.result();
  return call.finish(CKR_FUNCTION_NOT_SUPPORTED);
}

CK_RV e_Q_GetPinStatus(CK_SLOT_ID slotID, CK_ULONG which) {
  Call call("Q_GetPinStatus");
  call.num("slotID", slotID).num("which", which);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.getPinStatus(slotID, which));
}

CK_RV e_Q_GetPinInfo(CK_SLOT_ID slotID, CK_ULONG which, Q_PIN_INFO *pInfo) {
  Call call("Q_GetPinInfo");
  call.num("slotID", slotID).num("which", which).ptr("pInfo", pInfo);
  if (call.preempted()) return call.result();
  CK_RV rv = gLibrary.getPinInfo(slotID, which, pInfo);
  if (rv == CKR_OK)
    call.out("ulFailures=" + std::to_string(pInfo->ulFailures)).out("flags=" + hexNumber(pInfo->flags));
  return call.finish(rv);
}

CK_RV e_Q_VerifyDevicePin(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen) {
  Call call("Q_VerifyDevicePin");
  call.num("slotID", slotID).bytes("pPin", pPin, ulPinLen).num("ulPinLen", ulPinLen);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.verifyDevicePin(slotID, pPin, ulPinLen));
}

CK_RV e_Q_ChangeDevicePin(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pOldPin, CK_ULONG ulOldLen, CK_UTF8CHAR_PTR pNewPin,
                          CK_ULONG ulNewLen) {
  Call call("Q_ChangeDevicePin");
  call.num("slotID", slotID)
      .bytes("pOldPin", pOldPin, ulOldLen)
      .num("ulOldLen", ulOldLen)
      .bytes("pNewPin", pNewPin, ulNewLen)
      .num("ulNewLen", ulNewLen);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.changeDevicePin(slotID, pOldPin, ulOldLen, pNewPin, ulNewLen));
}

CK_RV e_Q_UnblockDevicePin(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPuk, CK_ULONG ulPukLen, CK_UTF8CHAR_PTR pNewPin,
                           CK_ULONG ulNewLen) {
  Call call("Q_UnblockDevicePin");
  call.num("slotID", slotID)
      .bytes("pPuk", pPuk, ulPukLen)
      .num("ulPukLen", ulPukLen)
      .bytes("pNewPin", pNewPin, ulNewLen)
      .num("ulNewLen", ulNewLen);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.unblockDevicePin(slotID, pPuk, ulPukLen, pNewPin, ulNewLen));
}

CK_RV e_Q_CreateToken(CK_SLOT_ID slotID, const Q_TOKEN_PARAMS *pParams) {
  Call call("Q_CreateToken");
  call.num("slotID", slotID).ptr("pParams", pParams);
  if (pParams && call.tracing())
    call.bytes("serial", pParams->pSerial, pParams->ulSerialLen).bytes("label", pParams->pLabel, pParams->ulLabelLen);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.createToken(slotID, pParams));
}

CK_RV e_Q_DeleteToken(CK_SLOT_ID slotID) {
  Call call("Q_DeleteToken");
  call.num("slotID", slotID);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.deleteToken(slotID));
}

CK_RV e_Q_SetPinLock(CK_SLOT_ID slotID, CK_ULONG which, CK_BBOOL locked) {
  Call call("Q_SetPinLock");
  call.num("slotID", slotID).num("which", which).num("locked", locked);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.setPinLock(slotID, which, locked));
}

CK_RV e_Q_ListTokens(Q_TOKEN_ENTRY *pEntries, CK_ULONG_PTR pulCount) {
  Call call("Q_ListTokens");
  call.ptr("pEntries", pEntries).inCount("pulCount", pulCount);
  if (call.preempted()) return call.result();
  CK_RV rv = gLibrary.listTokens(pEntries, pulCount);
  if (pulCount) call.out("*pulCount=" + std::to_string(*pulCount));
  return call.finish(rv);
}

CK_RV e_Q_SetPinLimit(CK_SLOT_ID slotID, CK_ULONG which, CK_ULONG ulLimit) {
  Call call("Q_SetPinLimit");
  call.num("slotID", slotID).num("which", which).num("ulLimit", ulLimit);
  if (call.preempted()) return call.result();
  return call.finish(gLibrary.setPinLimit(slotID, which, ulLimit));
}

// Test hooks: neither traced nor counted, and usable before C_Initialize.

CK_RV e_Q_TraceControl(CK_FLAGS flags) {
  Call call("Q_TraceControl", Kind::Hook, false);
  if (flags & ~(Q_TRACE_ON | Q_TRACE_CLEAR)) return CKR_ARGUMENTS_BAD;
  if (flags & Q_TRACE_CLEAR) gTrace.clear();
  gTrace.setEnabled((flags & Q_TRACE_ON) != 0);
  return CKR_OK;
}

CK_RV e_Q_TraceRead(CK_UTF8CHAR_PTR pText, CK_ULONG_PTR pulLen) {
  Call call("Q_TraceRead", Kind::Hook, false);
  if (!pulLen) return CKR_ARGUMENTS_BAD;
  const std::string text = gTrace.text();
  const CK_ULONG needed = text.size() + 1;
  if (!pText) {
    *pulLen = needed;
    return CKR_OK;
  }
  if (*pulLen < needed) {
    *pulLen = needed;
    return CKR_BUFFER_TOO_SMALL;
  }
  std::memcpy(pText, text.c_str(), needed);
  *pulLen = needed;
  return CKR_OK;
}

CK_RV e_Q_TraceDump(CK_UTF8CHAR_PTR pPath, CK_ULONG ulPathLen) {
  Call call("Q_TraceDump", Kind::Hook, false);
  if (!pPath || ulPathLen == 0) return CKR_ARGUMENTS_BAD;
  const std::wstring path = widen(reinterpret_cast<const char *>(pPath), ulPathLen);
  return writeFile(path, gTrace.text(), false) ? CKR_OK : CKR_FUNCTION_FAILED;
}

CK_RV e_Q_InjectFailure(CK_UTF8CHAR_PTR pFunction, CK_ULONG ulFunctionLen, CK_ULONG ulNth, CK_FLAGS flags,
                        CK_RV rv) {
  Call call("Q_InjectFailure", Kind::Hook, false);
  if (!pFunction || ulFunctionLen == 0 || ulNth == 0 || (flags & ~Q_INJECT_FROM_ON)) return CKR_ARGUMENTS_BAD;
  gHooks.injectFailure(std::string(reinterpret_cast<const char *>(pFunction), ulFunctionLen), ulNth,
                       (flags & Q_INJECT_FROM_ON) != 0, rv);
  return CKR_OK;
}

CK_RV e_Q_ResetTestHooks() {
  Call call("Q_ResetTestHooks", Kind::Hook, false);
  gHooks.reset();
  return CKR_OK;
}

CK_RV e_Q_RemoveTokenAfter(CK_SLOT_ID slotID, CK_ULONG ulCalls) {
  Call call("Q_RemoveTokenAfter", Kind::Hook, false);
  if (ulCalls == 0)
    gLibrary.simulateRemoval(slotID);
  else
    gHooks.removeAfter(slotID, ulCalls);
  return CKR_OK;
}

CK_RV e_Q_InsertToken(CK_SLOT_ID slotID) {
  Call call("Q_InsertToken", Kind::Hook, false);
  gLibrary.simulateInsertion(slotID);
  return CKR_OK;
}

CK_RV e_Q_SetLatency(CK_ULONG ulMilliseconds) {
  Call call("Q_SetLatency", Kind::Hook, false);
  gHooks.setLatency(ulMilliseconds);
  return CKR_OK;
}

CK_RV e_Q_FailWrite(CK_ULONG ulNth, CK_ULONG mode) {
  Call call("Q_FailWrite", Kind::Hook, false);
  if (ulNth != 0 && mode != Q_WRITE_FAIL_HALFWAY && mode != Q_WRITE_CRASH_HALFWAY) return CKR_ARGUMENTS_BAD;
  gHooks.failWrite(ulNth, mode == Q_WRITE_CRASH_HALFWAY ? softtoken::WriteFault::CrashHalfway
                                                        : softtoken::WriteFault::FailHalfway);
  return CKR_OK;
}

#define ZELT_UNSUPPORTED(fn)                            \
  struct fn##_name {                                    \
    static const char *get() { return #fn; }            \
  };                                                    \
  list.fn = Unsupported<fn##_name, CK_##fn>::entry

CK_FUNCTION_LIST makeStandardList() {
  CK_FUNCTION_LIST list{};
  list.version.major = 2;
  list.version.minor = 20;
  list.C_Initialize = e_C_Initialize;
  list.C_Finalize = e_C_Finalize;
  list.C_GetInfo = e_C_GetInfo;
  list.C_GetFunctionList = C_GetFunctionList;
  list.C_GetSlotList = e_C_GetSlotList;
  list.C_GetSlotInfo = e_C_GetSlotInfo;
  list.C_GetTokenInfo = e_C_GetTokenInfo;
  ZELT_UNSUPPORTED(C_GetMechanismList);
  ZELT_UNSUPPORTED(C_GetMechanismInfo);
  ZELT_UNSUPPORTED(C_InitToken);
  list.C_InitPIN = e_C_InitPIN;
  list.C_SetPIN = e_C_SetPIN;
  list.C_OpenSession = e_C_OpenSession;
  list.C_CloseSession = e_C_CloseSession;
  list.C_CloseAllSessions = e_C_CloseAllSessions;
  list.C_GetSessionInfo = e_C_GetSessionInfo;
  ZELT_UNSUPPORTED(C_GetOperationState);
  ZELT_UNSUPPORTED(C_SetOperationState);
  list.C_Login = e_C_Login;
  list.C_Logout = e_C_Logout;
  list.C_CreateObject = e_C_CreateObject;
  ZELT_UNSUPPORTED(C_CopyObject);
  list.C_DestroyObject = e_C_DestroyObject;
  ZELT_UNSUPPORTED(C_GetObjectSize);
  list.C_GetAttributeValue = e_C_GetAttributeValue;
  list.C_SetAttributeValue = e_C_SetAttributeValue;
  list.C_FindObjectsInit = e_C_FindObjectsInit;
  list.C_FindObjects = e_C_FindObjects;
  list.C_FindObjectsFinal = e_C_FindObjectsFinal;
  ZELT_UNSUPPORTED(C_EncryptInit);
  ZELT_UNSUPPORTED(C_Encrypt);
  ZELT_UNSUPPORTED(C_EncryptUpdate);
  ZELT_UNSUPPORTED(C_EncryptFinal);
  ZELT_UNSUPPORTED(C_DecryptInit);
  ZELT_UNSUPPORTED(C_Decrypt);
  ZELT_UNSUPPORTED(C_DecryptUpdate);
  ZELT_UNSUPPORTED(C_DecryptFinal);
  ZELT_UNSUPPORTED(C_DigestInit);
  ZELT_UNSUPPORTED(C_Digest);
  ZELT_UNSUPPORTED(C_DigestUpdate);
  ZELT_UNSUPPORTED(C_DigestKey);
  ZELT_UNSUPPORTED(C_DigestFinal);
  list.C_SignInit = e_C_SignInit;
  list.C_Sign = e_C_Sign;
  list.C_SignUpdate = e_C_SignUpdate;
  list.C_SignFinal = e_C_SignFinal;
  ZELT_UNSUPPORTED(C_SignRecoverInit);
  ZELT_UNSUPPORTED(C_SignRecover);
  ZELT_UNSUPPORTED(C_VerifyInit);
  ZELT_UNSUPPORTED(C_Verify);
  ZELT_UNSUPPORTED(C_VerifyUpdate);
  ZELT_UNSUPPORTED(C_VerifyFinal);
  ZELT_UNSUPPORTED(C_VerifyRecoverInit);
  ZELT_UNSUPPORTED(C_VerifyRecover);
  ZELT_UNSUPPORTED(C_DigestEncryptUpdate);
  ZELT_UNSUPPORTED(C_DecryptDigestUpdate);
  ZELT_UNSUPPORTED(C_SignEncryptUpdate);
  ZELT_UNSUPPORTED(C_DecryptVerifyUpdate);
  ZELT_UNSUPPORTED(C_GenerateKey);
  ZELT_UNSUPPORTED(C_GenerateKeyPair);
  ZELT_UNSUPPORTED(C_WrapKey);
  ZELT_UNSUPPORTED(C_UnwrapKey);
  ZELT_UNSUPPORTED(C_DeriveKey);
  ZELT_UNSUPPORTED(C_SeedRandom);
  list.C_GenerateRandom = e_C_GenerateRandom;
  ZELT_UNSUPPORTED(C_GetFunctionStatus);
  ZELT_UNSUPPORTED(C_CancelFunction);
  ZELT_UNSUPPORTED(C_WaitForSlotEvent);
  return list;
}

Q_FUNCTION_LIST makeVendorList() {
  Q_FUNCTION_LIST list{};
  list.version.major = Q_VENDOR_VERSION_MAJOR;
  list.version.minor = Q_VENDOR_VERSION_MINOR;
  list.Q_GetVendorInfo = e_Q_GetVendorInfo;
  list.Q_GetTokenFilePath = e_Q_GetTokenFilePath;
  list.Q_Reserved = e_Q_Reserved;
  list.Q_GetPinStatus = e_Q_GetPinStatus;
  list.Q_GetPinInfo = e_Q_GetPinInfo;
  list.Q_VerifyDevicePin = e_Q_VerifyDevicePin;
  list.Q_ChangeDevicePin = e_Q_ChangeDevicePin;
  list.Q_UnblockDevicePin = e_Q_UnblockDevicePin;
  list.Q_CreateToken = e_Q_CreateToken;
  list.Q_DeleteToken = e_Q_DeleteToken;
  list.Q_SetPinLock = e_Q_SetPinLock;
  list.Q_ListTokens = e_Q_ListTokens;
  list.Q_SetPinLimit = e_Q_SetPinLimit;
  list.Q_TraceControl = e_Q_TraceControl;
  list.Q_TraceRead = e_Q_TraceRead;
  list.Q_TraceDump = e_Q_TraceDump;
  list.Q_InjectFailure = e_Q_InjectFailure;
  list.Q_ResetTestHooks = e_Q_ResetTestHooks;
  list.Q_RemoveTokenAfter = e_Q_RemoveTokenAfter;
  list.Q_InsertToken = e_Q_InsertToken;
  list.Q_SetLatency = e_Q_SetLatency;
  list.Q_FailWrite = e_Q_FailWrite;
  return list;
}

CK_FUNCTION_LIST gStandardList = makeStandardList();
Q_FUNCTION_LIST gVendorList = makeVendorList();

}  // namespace

extern "C" {

CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR ppFunctionList) {
  Call call("C_GetFunctionList", Kind::Counted, false);
  call.ptr("ppFunctionList", ppFunctionList);
  if (call.preempted()) return call.result();
  if (!ppFunctionList) return call.finish(CKR_ARGUMENTS_BAD);
  *ppFunctionList = &gStandardList;
  return call.finish(CKR_OK);
}

CK_RV Q_GetFunctionList(Q_FUNCTION_LIST_PTR_PTR ppList) {
  Call call("Q_GetFunctionList", Kind::Counted, false);
  call.ptr("ppList", ppList);
  if (call.preempted()) return call.result();
  if (!ppList) return call.finish(CKR_ARGUMENTS_BAD);
  *ppList = &gVendorList;
  return call.finish(CKR_OK);
}

}  // extern "C"

// ZELT_SOFTTOKEN_REFUSE_LOAD=1 makes loading the library fail, as for a missing
// or broken installation, without taking the file away from other processes.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t value[8];
    const DWORD n = GetEnvironmentVariableW(L"ZELT_SOFTTOKEN_REFUSE_LOAD", value, 8);
    if (n > 0 && n < 8 && value[0] == L'1') return FALSE;
  }
  return TRUE;
}
