// The soft token's test hooks: call trace, injected failures, simulated removal, latency.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ConformanceTest.h"

namespace conformance {
namespace {

using CallTrace = ConformanceTest;
using InjectedFailures = ConformanceTest;
using TokenRemoval = ConformanceTest;
using Latency = ConformanceTest;

std::string traceText(Q_FUNCTION_LIST_PTR vendor) {
  CK_ULONG length = 0;
  EXPECT_RV(CKR_OK, vendor->Q_TraceRead(nullptr, &length));
  std::string text(length, '\0');
  EXPECT_RV(CKR_OK, vendor->Q_TraceRead(reinterpret_cast<CK_UTF8CHAR_PTR>(&text[0]), &length));
  text.resize(length ? length - 1 : 0);
  return text;
}

std::string fileText(const std::string &path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST_F(CallTrace, RecordsEveryCallWithArgumentsAndResult) {
  SKIP_UNLESS_SOFT_TOKEN();
  ASSERT_RV(CKR_OK, vendor->Q_TraceControl(Q_TRACE_ON | Q_TRACE_CLEAR));
  CK_SESSION_HANDLE session = openSession();
  EXPECT_RV(CKR_PIN_INCORRECT, p11->C_Login(session, CKU_USER, text(kWrongPin), 4));
  find(session, Template().ulong(CKA_CLASS, CKO_CERTIFICATE).boolean(CKA_TOKEN, true), 20);
  ASSERT_RV(CKR_OK, vendor->Q_TraceControl(Q_TRACE_OFF));
  p11->C_CloseSession(session);

  const std::string trace = traceText(vendor);
  const std::string handle = std::to_string(session);
  EXPECT_NE(std::string::npos, trace.find("C_OpenSession(slotID=1, flags=0x6, pApplication=NULL, Notify=NULL, "
                                          "phSession=&) -> CKR_OK {*phSession=" + handle + "}\n"))
      << trace;
  EXPECT_NE(std::string::npos, trace.find("C_Login(hSession=" + handle +
                                          ", userType=CKU_USER, pPin=\"9999\", ulPinLen=4) -> CKR_PIN_INCORRECT\n"))
      << trace;
  EXPECT_NE(std::string::npos,
            trace.find("C_FindObjectsInit(hSession=" + handle +
                       ", pTemplate=[CKA_CLASS(4)=01000000, CKA_TOKEN(1)=01], ulCount=2) -> CKR_OK\n"))
      << trace;
  EXPECT_NE(std::string::npos, trace.find("C_FindObjects(hSession=" + handle +
                                          ", phObject=&, ulMaxObjectCount=20, pulObjectCount=&) -> CKR_OK "
                                          "{*pulObjectCount=0, handles=[]}\n"))
      << trace;
  EXPECT_EQ(std::string::npos, trace.find("C_CloseSession")) << "nothing recorded while off";

  CK_ULONG length = 5;
  CK_UTF8CHAR small[5];
  EXPECT_RV(CKR_BUFFER_TOO_SMALL, vendor->Q_TraceRead(small, &length));
  EXPECT_EQ(trace.size() + 1, length);

  const std::string dump = store_ + "/trace.txt";
  ASSERT_RV(CKR_OK, vendor->Q_TraceDump(text(dump), dump.size()));
  EXPECT_EQ(trace, fileText(dump));

  ASSERT_RV(CKR_OK, vendor->Q_TraceControl(Q_TRACE_CLEAR));
  EXPECT_EQ("", traceText(vendor));
}

TEST_F(InjectedFailures, NthCallOnlyOrFromTheNthCallOnUntilReset) {
  SKIP_UNLESS_SOFT_TOKEN();
  CK_SESSION_HANDLE session = openSession();
  const std::string login = "C_Login";
  ASSERT_RV(CKR_OK, vendor->Q_InjectFailure(text(login), login.size(), 2, Q_INJECT_ONCE, CKR_DEVICE_ERROR));
  ASSERT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
  ASSERT_RV(CKR_OK, p11->C_Logout(session));
  EXPECT_RV(CKR_DEVICE_ERROR, p11->C_Login(session, CKU_USER, text(kUserPin), 4));
  CK_SESSION_INFO info;
  ASSERT_RV(CKR_OK, p11->C_GetSessionInfo(session, &info));
  EXPECT_EQ(static_cast<CK_STATE>(CKS_RW_PUBLIC_SESSION), info.state) << "an injected failure does nothing";
  EXPECT_RV(CKR_OK, p11->C_Login(session, CKU_USER, text(kUserPin), 4));

  const std::string random = "C_GenerateRandom";
  ASSERT_RV(CKR_OK, vendor->Q_InjectFailure(text(random), random.size(), 2, Q_INJECT_FROM_ON, CKR_DEVICE_MEMORY));
  CK_BYTE bytes[4];
  EXPECT_RV(CKR_OK, p11->C_GenerateRandom(session, bytes, 4));
  EXPECT_RV(CKR_DEVICE_MEMORY, p11->C_GenerateRandom(session, bytes, 4));
  EXPECT_RV(CKR_DEVICE_MEMORY, p11->C_GenerateRandom(session, bytes, 4));
  ASSERT_RV(CKR_OK, vendor->Q_ResetTestHooks());
  EXPECT_RV(CKR_OK, p11->C_GenerateRandom(session, bytes, 4));
}

TEST_F(InjectedFailures, EnvironmentTracesAnotherProcessToAFileAndInjectsIntoIt) {
  SKIP_UNLESS_SOFT_TOKEN();
  const std::string file = store_ + "/child-trace.txt";
  // The child's second login answers CKR_DEVICE_ERROR, which it reports as a failed call.
  EXPECT_EQ(3, runChild("wrong-logins", {"2"},
                        {{"ZELT_SOFTTOKEN_FAIL", "C_Login:2:0x30"}, {"ZELT_SOFTTOKEN_TRACE", file}}));
  const std::string trace = fileText(file);
  EXPECT_NE(std::string::npos, trace.find("] C_Initialize(pInitArgs=&, flags=0x2) -> CKR_OK\n")) << trace;
  EXPECT_NE(std::string::npos,
            trace.find("C_Login(hSession=1, userType=CKU_USER, pPin=\"9999\", ulPinLen=4) -> CKR_PIN_INCORRECT\n"))
      << trace;
  EXPECT_NE(std::string::npos, trace.find("-> CKR_DEVICE_ERROR [injected]\n")) << trace;
  EXPECT_EQ('[', trace.empty() ? ' ' : trace[0]) << "each line names its process";
  Q_PIN_INFO info;
  ASSERT_RV(CKR_OK, vendor->Q_GetPinInfo(slot_, Q_PIN_USER, &info));
  EXPECT_EQ(1u, info.ulFailures) << "only the login that ran counted";
}

TEST_F(TokenRemoval, AfterTheCountSessionsAnswerDeviceRemovedAndTheSlotIsEmpty) {
  SKIP_UNLESS_SOFT_TOKEN();
  CK_SESSION_HANDLE session = openSession();
  CK_OBJECT_HANDLE object = createData(session, "survivor", "v");
  ASSERT_RV(CKR_OK, vendor->Q_RemoveTokenAfter(slot_, 2));
  CK_SESSION_INFO info;
  EXPECT_RV(CKR_OK, p11->C_GetSessionInfo(session, &info));
  EXPECT_RV(CKR_OK, p11->C_GetSessionInfo(session, &info));
  EXPECT_RV(CKR_DEVICE_REMOVED, p11->C_GetSessionInfo(session, &info));
  CK_TOKEN_INFO token;
  EXPECT_RV(CKR_TOKEN_NOT_PRESENT, p11->C_GetTokenInfo(slot_, &token));
  CK_SLOT_INFO slotInfo;
  ASSERT_RV(CKR_OK, p11->C_GetSlotInfo(slot_, &slotInfo));
  EXPECT_FALSE(slotInfo.flags & CKF_TOKEN_PRESENT);
  CK_ULONG count = 9;
  ASSERT_RV(CKR_OK, p11->C_GetSlotList(CK_TRUE, nullptr, &count));
  EXPECT_EQ(0u, count);
  CK_SESSION_HANDLE another = 0;
  EXPECT_RV(CKR_TOKEN_NOT_PRESENT, p11->C_OpenSession(slot_, CKF_SERIAL_SESSION, nullptr, nullptr, &another));
  EXPECT_RV(CKR_TOKEN_NOT_PRESENT, vendor->Q_GetPinStatus(slot_, Q_PIN_USER));

  ASSERT_RV(CKR_OK, vendor->Q_InsertToken(slot_));
  EXPECT_RV(CKR_DEVICE_REMOVED, p11->C_GetSessionInfo(session, &info)) << "old sessions stay gone";
  CK_SESSION_HANDLE fresh = openSession();
  EXPECT_EQ("v", attribute(fresh, object, CKA_VALUE)) << "the token comes back whole";
}

TEST_F(Latency, EveryCallTakesAtLeastTheSimulatedRoundTrip) {
  SKIP_UNLESS_SOFT_TOKEN();
  // A lower bound only: sleeping is never shorter than asked (timer granularity aside).
  ASSERT_RV(CKR_OK, vendor->Q_SetLatency(60));
  Q_VENDOR_INFO vendorInfo;
  ASSERT_RV(CKR_OK, vendor->Q_GetVendorInfo(&vendorInfo));
  EXPECT_EQ(60u, vendorInfo.ulLatencyMs);
  CK_INFO info;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i) ASSERT_RV(CKR_OK, p11->C_GetInfo(&info));
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_GE(elapsed.count(), 5 * 60 * 9 / 10);
  ASSERT_RV(CKR_OK, vendor->Q_SetLatency(0));
}

}  // namespace
}  // namespace conformance
