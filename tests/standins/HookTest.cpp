// The software token's test hooks, on which the other suites build: call trace, injected
// failures (in this process and, through the environment, in another), removal and latency.
#include <chrono>
#include <regex>

#include "TokenStore.h"

namespace {

using TestHooks = SoftTokenTest;

TEST_F(TestHooks, CallTraceRecordsEveryCallWithItsArgumentsAndResultWhileOn) {
  ASSERT_EQ(CKR_OK, vendor->Q_TraceControl(Q_TRACE_ON | Q_TRACE_CLEAR));
  CK_SESSION_HANDLE session = open();
  EXPECT_EQ(CKR_PIN_INCORRECT, login(session, "9999"));
  find(session, "x");
  ASSERT_EQ(CKR_OK, vendor->Q_TraceControl(Q_TRACE_OFF));
  p11->C_CloseSession(session);
  auto traceText = [this] {
    CK_ULONG length = 0;
    EXPECT_EQ(CKR_OK, vendor->Q_TraceRead(nullptr, &length));
    std::string text(length, '\0');
    EXPECT_EQ(CKR_OK, vendor->Q_TraceRead(utf8(text), &length));
    return text.substr(0, text.find('\0'));
  };
  const std::string trace = traceText(), handle = std::to_string(session);
  EXPECT_THAT(trace, HasSubstr("C_OpenSession(slotID=1, flags=0x6, pApplication=NULL, Notify=NULL, phSession=&) -> "
                               "CKR_OK {*phSession=" + handle + "}\n"));
  EXPECT_THAT(trace, HasSubstr("C_Login(hSession=" + handle +
                               ", userType=CKU_USER, pPin=\"9999\", ulPinLen=4) -> CKR_PIN_INCORRECT\n"));
  EXPECT_THAT(trace, HasSubstr("C_FindObjectsInit(hSession=" + handle +
                               ", pTemplate=[CKA_CLASS(4)=00000000, CKA_LABEL(2)=7800], ulCount=2) -> CKR_OK\n"));
  EXPECT_EQ(std::string::npos, trace.find("C_CloseSession")) << "nothing is recorded while off";
  ASSERT_EQ(CKR_OK, vendor->Q_TraceControl(Q_TRACE_CLEAR));
  EXPECT_EQ("", traceText());
}

TEST_F(TestHooks, InjectedFailureAnswersTheNthCallOrEveryCallFromItOnAndDoesNothing) {
  CK_SESSION_HANDLE session = open();
  ASSERT_EQ(CKR_OK, vendor->Q_InjectFailure(utf8("C_Login"), 7, 2, Q_INJECT_ONCE, CKR_DEVICE_ERROR));
  EXPECT_EQ(CKR_PIN_INCORRECT, login(session, "9999"));
  EXPECT_EQ(CKR_DEVICE_ERROR, login(session, "9999"));
  EXPECT_EQ(1u, pinInfo(Q_PIN_USER).ulFailures) << "the injected call did not count as a wrong PIN";
  EXPECT_EQ(CKR_OK, login(session, TokenStore::kPassword)) << "the third call runs";

  ASSERT_EQ(CKR_OK, vendor->Q_InjectFailure(utf8("C_GenerateRandom"), 16, 2, Q_INJECT_FROM_ON, CKR_DEVICE_MEMORY));
  CK_BYTE bytes[4];
  EXPECT_EQ(CKR_OK, p11->C_GenerateRandom(session, bytes, 4));
  EXPECT_EQ(CKR_DEVICE_MEMORY, p11->C_GenerateRandom(session, bytes, 4));
  EXPECT_EQ(CKR_DEVICE_MEMORY, p11->C_GenerateRandom(session, bytes, 4));
  ASSERT_EQ(CKR_OK, vendor->Q_ResetTestHooks());
  EXPECT_EQ(CKR_OK, p11->C_GenerateRandom(session, bytes, 4));
}

TEST_F(TestHooks, EnvironmentTracesAnotherProcessToAFileAndInjectsFailuresIntoIt) {
  const std::wstring file = store.folder() + L"\\trace.txt";
  const ToolRun r = store.tool(L"add-object --serial T1 --class data --label x",
                               {{L"ZELT_SOFTTOKEN_TRACE", file}, {L"ZELT_SOFTTOKEN_FAIL", L"C_CreateObject:1:0x30"}});
  EXPECT_EQ(5, r.exitCode) << describe(r);
  const std::vector<uint8_t> bytes = testkit::ReadWholeFile(file);
  const std::string trace(bytes.begin(), bytes.end());
  EXPECT_EQ('[', trace.empty() ? ' ' : trace[0]) << "each line names its process: " << trace;
  EXPECT_THAT(trace, HasSubstr("] C_Initialize(pInitArgs=&, flags=0x2) -> CKR_OK\n"));
  EXPECT_TRUE(std::regex_search(trace, std::regex(R"(\] C_CreateObject\(.*\) -> CKR_DEVICE_ERROR \[injected\]\n)")))
      << trace;
  EXPECT_TRUE(find(open(), "x").empty());
}

TEST_F(TestHooks, RemovedTokenEndsItsSessionsAndComesBackWholeWhenInserted) {
  CK_SESSION_HANDLE session = open();
  CK_OBJECT_HANDLE object = 0;
  ASSERT_EQ(CKR_OK, createData(session, "survivor", "v", &object));
  ASSERT_EQ(CKR_OK, vendor->Q_RemoveTokenAfter(1, 2));
  CK_SESSION_INFO info;
  EXPECT_EQ(CKR_OK, p11->C_GetSessionInfo(session, &info));
  EXPECT_EQ(CKR_OK, p11->C_GetSessionInfo(session, &info));
  EXPECT_EQ(CKR_DEVICE_REMOVED, p11->C_GetSessionInfo(session, &info));
  CK_SLOT_INFO slot;
  ASSERT_EQ(CKR_OK, p11->C_GetSlotInfo(1, &slot));
  EXPECT_FALSE(slot.flags & CKF_TOKEN_PRESENT);
  CK_SESSION_HANDLE another = 0;
  EXPECT_EQ(CKR_TOKEN_NOT_PRESENT, p11->C_OpenSession(1, CKF_SERIAL_SESSION, nullptr, nullptr, &another));

  ASSERT_EQ(CKR_OK, vendor->Q_InsertToken(1));
  EXPECT_EQ(CKR_DEVICE_REMOVED, p11->C_GetSessionInfo(session, &info)) << "old sessions stay gone";
  EXPECT_EQ("v", value(open(), object));
}

TEST_F(TestHooks, LatencyDelaysEveryCall) {
  ASSERT_EQ(CKR_OK, vendor->Q_SetLatency(60));
  CK_INFO info;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i) ASSERT_EQ(CKR_OK, p11->C_GetInfo(&info));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // A lower bound only, with room for timer granularity.
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 5 * 60 * 9 / 10);
}

}  // namespace
