// Every flow of the page under a token that fails at any call. Each flow is run once as it
// should go, with its Cryptoki calls recorded; then, for every call k of that run, once for each
// way a token fails there: the call answers an error, the token is pulled out after k calls, or
// the k-th write of the token file stops half-way. Every case must end (a watchdog ends the
// suite otherwise) with no session, provider context, key, certificate context or "MY" store
// handle left held, with the token and the store holding either what they held before or exactly
// what the clean run left, and with the user told: a run that ends otherwise than the clean one
// shows one of the flow's failure messages, with a code that the failure explains.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cryptoki/CkStatus.h"
#include "dialogs/AdvancedSettingsDialog.h"
#include "kit/CspHooks.h"
#include "kit/PageHarness.h"
#include "kit/SoftToken.h"
#include "kit/TokenContents.h"
#include "model/CertificateFiles.h"
#include "model/ScopedCertContext.h"
#include "model/ScopedCryptKey.h"
#include "model/ScopedCryptProv.h"
#include "model/ScopedSystemStore.h"
#include "page/UserPage.h"
#include "res/resource.h"
#include "server/Module.h"
#include "sweep/SweepKit.h"

namespace {

using sweep::Join;

const CK_SLOT_ID kSlot = 1;
const char kPassword[] = "pki-password";
const std::vector<std::string> kCertificates = {"jane-doe", "john-roe", "example-corp"};
const CK_RV kFaults[] = {CKR_DEVICE_REMOVED, CKR_TOKEN_NOT_PRESENT, CKR_SESSION_HANDLE_INVALID, CKR_FUNCTION_FAILED};
// Codes that a failure of the token may reach the user as, whatever failed: the page's own
// "not found" of a search, the CSP's "no token", "failed" and "cannot use the token library",
// and no token with the serial.
const uint32_t kAnyFailure[] = {0x80004005, 0x8010000C, 0x80090020, 0x8009001D, 0xB00100E1};

// How each entry of the CSP refuses: the token gone when a container is opened, a wrong password
// when the password is set, no key of that kind, and the provider's own failure otherwise.
uint32_t ProviderError(const std::string& entry) {
  if (entry == "CPAcquireContext") return 0x8010000C;  // SCARD_E_NO_SMARTCARD
  if (entry == "CPSetProvParam") return 0x8010006B;    // SCARD_W_WRONG_CHV
  if (entry == "CPGetUserKey") return 0x8009000D;      // NTE_NO_KEY
  return 0x80090020;                                   // NTE_FAIL
}

// Entries whose failure keeps a handle that the caller has given back: the provider's, not ours.
bool KeepsHandle(const std::string& entry) {
  return entry == "CPReleaseContext" || entry == "CPDestroyKey" || entry == "CPDestroyHash";
}

enum class Contents { Certificates, ForImport };

std::string LoadText(UINT id) {
  char text[512] = "";
  ::LoadStringA(::GetModuleHandleW(nullptr), id, text, sizeof text);
  return text;
}

// How a flow's user and host answer beyond the script: set on the fresh page before the flow.
using Setup = std::function<void(testkit::PageHarness&, sweep::Script&)>;

struct Flow {
  friend void PrintTo(const Flow& flow, std::ostream* out) { *out << flow.name; }
  const char* name;
  int button;  // the page's button; 0: the activation itself
  sweep::Script script;
  std::vector<UINT> failures;                // messages that tell a failure
  std::vector<std::string> registered = {};  // in "MY" before the flow: "file=container"
  Contents contents = Contents::Certificates;
  Setup setup = nullptr;
  // The conversion makes a new container, then binds the key pair to it; a binding that fails
  // leaves the container on the token, empty (nothing removes it), which is a third whole state.
  bool converts = false;
  bool quiet = false;  // failures may go untold (the activation's refresh)
};

sweep::Script Manage(int row, int button, std::vector<std::pair<std::string, int>> answers = {}) {
  sweep::Script s;
  s.manageRow = row;
  s.manageButton = button;
  s.answers = std::move(answers);
  return s;
}

sweep::Script Import() {
  sweep::Script s;
  const std::wstring path = CertificateFiles::path("example-corp.p12");
  s.importPath = std::string(path.begin(), path.end());
  s.importPassword = "p12-secret";
  return s;
}

const UINT kRead = IDS_READ_CERTIFICATES_FAILED;
const UINT kLibrary = IDS_CRYPTOKI_NOT_LOADED;
const std::vector<UINT> kRemoveFailures = {kLibrary, kRead, IDS_REMOVE_FAILED, IDS_UPDATE_LIST_FAILED,
                                           IDS_UNREGISTER_FAILED};

std::vector<Flow> Flows() {
  const std::string unregister = LoadText(IDS_ASK_UNREGISTER_REMOVED);
  const Contents certificates = Contents::Certificates;
  // The wrong old password first: after "incorrect password" the host is asked again and cancels.
  const Setup wrongFirst = [](testkit::PageHarness& harness, sweep::Script& script) {
    harness.host.oldPassword = L"wrong-password";
    script.onBoxText = LoadText(IDS_INCORRECT_PASSWORD);
    script.onBox = [&harness] { harness.host.askPasswordChangeResult = S_FALSE; };
  };
  // The host's new password is the fake host's own, "new-password".
  const Setup rightOld = [](testkit::PageHarness& harness, sweep::Script&) {
    harness.host.oldPassword = L"pki-password";
  };
  const Setup guidNames = [](testkit::PageHarness&, sweep::Script&) { ContainerNamingChoice = IDC_USE_GUID; };
  const std::vector<UINT> passwordFailures = {kLibrary, IDS_PASSWORD_CHANGE_FAILED};
  return {
      {"Activation", 0, {}, {kLibrary}, {}, certificates, nullptr, false, true},
      {"ChangePassword", IDC_CHANGE_PASSWORD, {}, passwordFailures, {}, certificates, rightOld},
      {"ChangePasswordWrongFirst", IDC_CHANGE_PASSWORD, {}, passwordFailures, {}, certificates, wrongFirst},
      {"ChangeUserPin", IDC_CHANGE_USER_PIN, {}, {}},
      {"ManageOpen", IDC_MANAGE, Manage(-1, 0), {kLibrary, kRead}},
      {"RegisterWithConversion", IDC_MANAGE, Manage(2, IDC_REGISTER),
       {kLibrary, kRead, IDS_CONVERT_FAILED, IDS_REGISTER_FAILED}, {}, certificates, nullptr, true},
      {"RegisterWithContainer", IDC_MANAGE, Manage(1, IDC_REGISTER), {kLibrary, kRead, IDS_REGISTER_FAILED}},
      {"Unregister", IDC_MANAGE, Manage(1, IDC_UNREGISTER), {kLibrary, kRead, IDS_UNREGISTER_FAILED},
       {"john-roe=John's keys"}},
      {"Convert", IDC_MANAGE, Manage(2, IDC_CONVERT), {kLibrary, kRead, IDS_CONVERT_FAILED}, {}, certificates,
       nullptr, true},
      {"RemoveWithContainerUnregistering", IDC_MANAGE, Manage(1, IDC_REMOVE, {{unregister, IDYES}}),
       kRemoveFailures, {"john-roe=John's keys"}},
      {"RemoveWithContainerKeepingRegistered", IDC_MANAGE, Manage(1, IDC_REMOVE, {{unregister, IDNO}}),
       kRemoveFailures, {"john-roe=John's keys"}},
      {"RemoveWithoutContainerUnregistering", IDC_MANAGE, Manage(2, IDC_REMOVE, {{unregister, IDYES}}),
       kRemoveFailures, {"example-corp="}},
      {"RemoveWithoutContainerKeepingRegistered", IDC_MANAGE, Manage(2, IDC_REMOVE, {{unregister, IDNO}}),
       kRemoveFailures, {"example-corp="}},
      {"SetAsDefault", IDC_MANAGE, Manage(1, IDC_SET_AS_DEFAULT), {kLibrary, kRead, IDS_SET_DEFAULT_FAILED}},
      {"ViewDetails", IDC_MANAGE, Manage(0, IDC_VIEW_DETAILS), {kLibrary, kRead}},
      {"ImportFileName", IDC_IMPORT, Import(), {kLibrary, IDS_IMPORT_FAILED}, {}, Contents::ForImport},
      {"ImportGuid", IDC_IMPORT, Import(), {kLibrary, IDS_IMPORT_FAILED}, {}, Contents::ForImport, guidNames},
      {"AutoRegistration", IDC_AUTO_REGISTRATION, {}, {}},
  };
}

// One way a token fails, at one call of the clean run.
struct Fault {
  enum Kind { Clean, Error, Removal, Write, Csp } kind = Clean;
  size_t call = 0;       // index into the clean run's calls (Error), calls before the removal
  CK_RV rv = CKR_OK;     // Error
  unsigned long write = 0;  // the write that stops half-way
  std::string function = "";  // Error: the function of that call
  std::string ToString(const std::vector<std::string>& calls) const {
    std::ostringstream s;
    if (kind == Error) s << "call " << call + 1 << " " << calls[call] << " answers 0x" << std::hex << rv;
    if (kind == Removal) s << "token removed after " << call << " calls";
    if (kind == Write) s << "write " << write << " stops half-way";
    if (kind == Csp) s << "CSP call " << call + 1 << " " << calls[call] << " fails with 0x" << std::hex << rv;
    return s.str();
  }
};

// What one run left: what the user saw, the list, the token and the store.
struct Outcome {
  sweep::Seen seen;
  std::string token;
  std::string store;
  std::vector<std::string> calls;     // the token library's calls, in order (function names)
  std::vector<std::string> cspCalls;  // the CSP's entries, in order
  std::vector<std::string> problems;  // what makes the token inconsistent
  int late = 0;                       // dialogs reached late (see sweep::Responder::late)
  bool operator==(const Outcome& o) const {
    return seen.boxes == o.seen.boxes && seen.list == o.seen.list && token == o.token && store == o.store;
  }
};

class FaultSweep : public ::testing::TestWithParam<Flow> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(soft.ready()) << "cannot load ZeltP11.dll, error " << ::GetLastError();
    ASSERT_TRUE(csp.ready()) << "cannot reach the CSP's test hooks";
    ASSERT_EQ(CKR_OK, soft.CreateToken(kSlot, "5EE9C0DE", kPassword));
    testkit::TokenContents(soft, kSlot, kPassword).AddJaneJohnAndCorp(true, GetParam().contents == Contents::Certificates);
    file = std::make_unique<sweep::TokenFileCopy>(soft, kSlot);
  }
  void TearDown() override {
    sweep::ResetStore(kCertificates, {});
    ContainerNamingChoice = IDC_USE_FILE_NAME;
  }

  // Runs the flow on a fresh page with `fault` armed once the page is up (before, for the
  // activation), then releases the page and puts the token back.
  Outcome Run(const Fault& fault, const Outcome& clean) {
    const Flow& flow = GetParam();
    Outcome outcome;
    sweep::ResetStore(kCertificates, flow.registered);
    soft.ResetHooks();
    const DWORD cspBefore = Handed(csp.Counts());
    ContainerNamingChoice = IDC_USE_FILE_NAME;  // a flow's setup may choose otherwise
    {
      testkit::PageHarness harness{&UserPage::CreateInstance};
      EXPECT_TRUE(harness.Ready());
      harness.host.serial = L"5EE9C0DE";
      harness.host.password = L"pki-password";
      sweep::Script script = flow.script;
      if (flow.setup) flow.setup(harness, script);
      // The responder's hook is in place only while the flow runs: under Wine every window made
      // or destroyed under a hook costs server round trips, and the page's own are many.
      if (flow.button != 0) {
        EXPECT_EQ(S_OK, harness.Open());
      }
      {
        sweep::Responder responder(::GetModuleHandleW(nullptr), script);
        soft.StartTrace();
        csp.StartTrace();
        Arm(fault, fault.kind == Fault::Csp ? clean.cspCalls : clean.calls);
        if (flow.button == 0) {
          harness.Open();
        } else {
          harness.Click(flow.button);
        }
        outcome.seen = responder.seen();
        outcome.late = responder.late();
      }
      harness.Release();
      // The host's access and status work, begun and ended in pairs.
      EXPECT_EQ(harness.host.Count("BeginTokenOperation"), harness.host.Count("EndTokenOperation"));
      EXPECT_FALSE(harness.host.statusShown) << "a status text was left up";
    }
    for (const std::string& line : soft.Trace()) outcome.calls.push_back(line.substr(0, line.find('(')));
    outcome.cspCalls = csp.Trace();
    soft.ResetHooks();
    csp.Reset();
    CheckNothingHeld(cspBefore, fault.kind == Fault::Csp && KeepsHandle(clean.cspCalls[fault.call]));
    sweep::TokenState token = sweep::ReadToken(file->path());
    outcome.token = std::move(token.digest);
    outcome.problems = std::move(token.problems);
    outcome.store = sweep::StoreDigest(kCertificates);
    EXPECT_TRUE(file->Restore()) << "the token file could not be put back, error " << ::GetLastError();
    return outcome;
  }

  void Arm(const Fault& fault, const std::vector<std::string>& clean) {
    // The k-th call of the run is the n-th call of its function.
    const CK_ULONG nth = fault.call < clean.size()
                             ? static_cast<CK_ULONG>(std::count(clean.begin(), clean.begin() + fault.call + 1, clean[fault.call]))
                             : 0;
    if (fault.kind == Fault::Error) {
      EXPECT_EQ(CKR_OK, soft.Inject(clean[fault.call], nth, fault.rv));
    } else if (fault.kind == Fault::Removal) {
      EXPECT_EQ(CKR_OK, soft.vendor()->Q_RemoveTokenAfter(kSlot, fault.call));
    } else if (fault.kind == Fault::Write) {
      EXPECT_EQ(CKR_OK, soft.vendor()->Q_FailWrite(fault.write, Q_WRITE_FAIL_HALFWAY));
    } else if (fault.kind == Fault::Csp) {
      char spec[96];
      std::snprintf(spec, sizeof spec, "%s:%lu:0x%lx", clean[fault.call].c_str(), nth, fault.rv);
      EXPECT_TRUE(csp.Inject(spec)) << spec;
    }
  }

  static DWORD Handed(const ZELT_CSP_COUNTS& open) { return open.contexts + open.keys + open.hashes; }

  // `providerKept`: the CSP refused to give back one handle that the page released (the stand-in
  // keeps such a handle for good, so the count is taken against the one before the case).
  void CheckNothingHeld(DWORD cspBefore, bool providerKept) {
    EXPECT_EQ(0u, soft.SessionCount(kSlot)) << "a Cryptoki session was left open";
    EXPECT_EQ(cspBefore + (providerKept ? 1u : 0u), Handed(csp.Counts()))
        << "contexts/keys/hashes the CSP handed out and did not get back: " << csp.Open();
    EXPECT_EQ(0, ScopedCryptProv::Live()) << "a provider context was left held";
    EXPECT_EQ(0, ScopedCryptKey::Live()) << "a key was left held";
    EXPECT_EQ(0, ScopedSystemStore::Live()) << "a store was left open";
    EXPECT_EQ(0, ScopedCertContext::Live()) << "a certificate context was left held";
    EXPECT_EQ(0, Module::LockCount()) << "the page was not released";
  }

  // Every code that the fault explains.
  static std::set<uint32_t> Explained(const Fault& fault) {
    std::set<uint32_t> codes(std::begin(kAnyFailure), std::end(kAnyFailure));
    std::vector<CK_RV> rvs;
    if (fault.kind == Fault::Error) rvs = {fault.rv};
    if (fault.kind == Fault::Removal)
      rvs = {CKR_DEVICE_REMOVED, CKR_TOKEN_NOT_PRESENT, CKR_SESSION_HANDLE_INVALID, CKR_SLOT_ID_INVALID};
    if (fault.kind == Fault::Write) rvs = {CKR_DEVICE_ERROR};
    // A search whose end failed is still active in the session: the next one cannot start.
    if (fault.kind == Fault::Error && fault.function == "C_FindObjectsFinal") rvs.push_back(CKR_OPERATION_ACTIVE);
    for (CK_RV rv : rvs) codes.insert(static_cast<uint32_t>(MapCkResult(rv)));
    // The import library's own code for a token library that it cannot use.
    if (fault.kind == Fault::Error && fault.function.find("GetFunctionList") != std::string::npos)
      codes.insert(0x8007007EU);
    if (fault.kind == Fault::Csp) codes.insert(static_cast<uint32_t>(fault.rv));
    return codes;
  }

  // The case against the clean run, as rows of a check and what it says when it fails; whether it
  // told the user of a failure.
  bool Judge(const Fault& fault, const Outcome& clean, const Outcome& got) {
    const Flow& flow = GetParam();
    const bool whole = got.token == clean.token || got.token == initial.token ||
                       (flow.converts && got.token == emptyContainer);
    // What cannot be undone: a token pulled out or a write cut off part-way, and the destroy loop,
    // which goes on past an object that will not go. Each object is then as it was or as the flow
    // leaves it, and the token stays consistent.
    const bool destroyFailed = fault.kind == Fault::Error && fault.function == "C_DestroyObject";
    const bool undoable = !(fault.kind == Fault::Removal || fault.kind == Fault::Write || destroyFailed);
    std::vector<std::pair<bool, std::string>> rows = {
        {got.seen.unexpected.empty(), "unexpected dialogs:" + Join(got.seen.unexpected)},
        {whole || (!undoable && sweep::Between(got.token, initial.token, clean.token,
                                               flow.converts ? emptyContainer : "")),
         "the token holds neither what it held nor what the flow meant to leave:\n" + got.token + "\nbefore:\n" +
             initial.token + "\nafter the clean run:\n" + clean.token},
        {got.store == clean.store || got.store == initial.store, "\"MY\" holds:\n" + got.store},
    };
    // The destroy loop goes on past a certificate that would not go (a failed call, or a write cut
    // off), and destroys its keys.
    for (const std::string& problem : got.problems)
      rows.push_back({(destroyFailed || fault.kind == Fault::Write) && problem.find("a certificate without its key") == 0,
                      "the token is left inconsistent: " + problem});
    const std::set<uint32_t> explained = Explained(fault);
    bool told = false;
    for (const std::string& box : got.seen.boxes) {
      bool failure = false;
      for (UINT id : flow.failures) failure = failure || box.find("|" + LoadText(id)) != std::string::npos;
      if (!failure) {
        const bool known = std::find(clean.seen.boxes.begin(), clean.seen.boxes.end(), box) != clean.seen.boxes.end();
        rows.push_back({known, "a box that tells no failure of this flow: " + box});
        continue;
      }
      told = true;
      rows.push_back({box.find("|error|") != std::string::npos, "a failure without the error icon: " + box});
      const size_t at = box.find("Error Code is  0x");
      if (at != std::string::npos)
        rows.push_back({explained.count(static_cast<uint32_t>(std::stoul(box.substr(at + 17), nullptr, 16))) != 0,
                        "a code that the failure does not explain: " + box});
    }
    rows.push_back({told || whole, "the token was left part-changed and nobody was told"});
    rows.push_back({told || flow.quiet || got == clean,
                    "the run ended otherwise than the clean one, and nobody was told:\n  boxes:" + Join(got.seen.boxes) +
                        "\n  list:" + Join(got.seen.list) + "\n  clean boxes:" + Join(clean.seen.boxes) +
                        "\n  clean list:" + Join(clean.seen.list) + "\n  token:\n" + got.token + "\n  store:\n" +
                        got.store});
    for (const auto& [holds, message] : rows) EXPECT_TRUE(holds) << message;
    return told;
  }

  testkit::SoftToken soft;
  testkit::CspHooks csp;
  std::unique_ptr<sweep::TokenFileCopy> file;
  Outcome initial;
  std::string emptyContainer;
};

TEST_P(FaultSweep, EveryCallFailingLeavesTheTokenWholeNothingHeldAndTheUserTold) {
  const Flow& flow = GetParam();
  sweep::Watchdog watchdog;
  const sweep::TokenState before = sweep::ReadToken(file->path());
  initial.token = before.digest;
  ASSERT_TRUE(before.problems.empty()) << "the token is inconsistent before the flow:" << Join(before.problems);
  if (flow.converts) emptyContainer = sweep::EmptyContainer(*file);
  sweep::ResetStore(kCertificates, flow.registered);
  initial.store = sweep::StoreDigest(kCertificates);

  watchdog.Arm(std::string(flow.name) + ": clean run");
  const Outcome clean = Run(Fault{}, Outcome{});
  ASSERT_FALSE(HasFailure()) << "the clean run of " << flow.name << " failed";
  ASSERT_TRUE(clean.problems.empty()) << "the clean run leaves the token inconsistent:" << Join(clean.problems);
  if (::GetEnvironmentVariableA("SWEEP_SHOW", nullptr, 0)) {
    std::printf("clean run:\n  boxes:%s\n  list:%s\n  token calls:%s\n  CSP calls:%s\n  token: %s\n  store: %s\n",
                Join(clean.seen.boxes).c_str(), Join(clean.seen.list).c_str(), Join(clean.calls).c_str(),
                Join(clean.cspCalls).c_str(), clean.token.substr(0, 200).c_str(), clean.store.c_str());
    return;
  }
  for (UINT id : flow.failures)
    for (const std::string& box : clean.seen.boxes)
      ASSERT_EQ(std::string::npos, box.find("|" + LoadText(id))) << "the clean run failed: " << box;

  std::vector<Fault> faults;
  for (size_t k = 0; k < clean.calls.size(); ++k) {
    for (CK_RV rv : kFaults) faults.push_back(Fault{Fault::Error, k, rv, 0, clean.calls[k]});
    faults.push_back(Fault{Fault::Removal, k});
  }
  for (size_t k = 0; k < clean.cspCalls.size(); ++k)
    faults.push_back(Fault{Fault::Csp, k, ProviderError(clean.cspCalls[k])});
  const sweep::Shard shard;
  // ZELT_SWEEP_CASE: only the cases whose description contains this text (to look at one case).
  char only[128] = "";
  ::GetEnvironmentVariableA("ZELT_SWEEP_CASE", only, sizeof only);
  size_t cases = 0, told = 0, number = 0, late = 0;
  // One case, unless another shard or ZELT_SWEEP_CASE takes it; what it left.
  auto run = [&](const Fault& fault, size_t index) -> std::optional<Outcome> {
    const std::string what =
        std::string(flow.name) + ": " + fault.ToString(fault.kind == Fault::Csp ? clean.cspCalls : clean.calls);
    if (!shard.Takes(index) || (only[0] && what.find(only) == std::string::npos)) return std::nullopt;
    SCOPED_TRACE(what);
    watchdog.Arm(what);
    Outcome got = Run(fault, clean);
    told += Judge(fault, clean, got);
    late += got.late;
    ++cases;
    return got;
  };
  for (const Fault& fault : faults) run(fault, number++);
  // Half-way writes, until a run has no such write left to fail.
  for (unsigned long n = 1; n <= 40; ++n) {
    const std::optional<Outcome> got = run(Fault{Fault::Write, 0, CKR_OK, n}, n - 1);
    if (got && *got == clean) break;
  }
  std::printf("[ sweep    ] %s: %zu token calls, %zu CSP calls, %zu cases, %zu told a failure, %zu dialogs reached late\n",
              flow.name, clean.calls.size(), clean.cspCalls.size(), cases, told, late);
}

INSTANTIATE_TEST_SUITE_P(Flows, FaultSweep, ::testing::ValuesIn(Flows()),
                         [](const ::testing::TestParamInfo<Flow>& info) { return std::string(info.param.name); });

}  // namespace
