// The speed and growth benchmark of the user page: zelt-bench.exe <folder of the bench certificates> [trace folder]
// Loads the page through its class factory into a host of its own, serves the host interfaces
// with the test kit's fake host, and measures with QueryPerformanceCounter. Prints one table and
// the growth figures; exits non-zero when a call count, a bound or a growth check fails.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <ole2.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "BenchToken.h"
#include "CallFormula.h"
#include "DialogQueue.h"
#include "HandleCounters.h"
#include "ImportProfile.h"
#include "LibraryClock.h"
#include "PaintProfile.h"
#include "kit/CspHooks.h"
#include "kit/ModuleUnderTest.h"
#include "kit/PageHarness.h"
#include "kit/Paths.h"
#include "kit/SoftToken.h"
#include "model/CertificateFiles.h"
#include "res/resource.h"


namespace {

const int kRuns = 7;  // ZELT_BENCH_RUNS=<n> measures n runs instead
const int kCycles = 1000;
const int kLatencies[] = {0, 2, 5};
const int kListed = 20;  // the page lists at most this many certificates
// Our own time allowed (ms, median): Manage on 20 certificates, and activation.
const double kManageBound = 50.0;
const double kActivationBound = 25.0;
// A step may cost at most this much more per row shown than the smaller token's did (noise).
const double kGrowthSlack = 1.25;

struct Mark {
  int64_t tick = 0;
  LibraryTime library;
};
Mark Now() { return Mark{TickNow(), LibraryClock::Now()}; }

struct Sample {
  double total = 0, library = 0;
  uint64_t calls = 0;
  double own() const { return total - library; }
};
Sample Between(const Mark& start, const Mark& end) {
  return Sample{Milliseconds(end.tick - start.tick), Milliseconds(end.library.ticks - start.library.ticks),
                end.library.calls - start.library.calls};
}

struct Row {
  std::string step;
  TokenLayout layout;
  int rows = 0;  // rows the dialog shows
  int latency = 0;
  CallFormula formula;
  uint64_t traced = 0;  // calls in the library's trace of one run
  std::vector<Sample> runs;
  std::string problem;

  static double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
  }
  std::vector<double> Values(double (*of)(const Sample&)) const {
    std::vector<double> v;
    for (const Sample& s : runs) v.push_back(of(s));
    return v;
  }
  double TotalMin() const { auto v = Values([](const Sample& s) { return s.total; }); return *std::min_element(v.begin(), v.end()); }
  double TotalMedian() const { return Median(Values([](const Sample& s) { return s.total; })); }
  double LibraryMedian() const { return Median(Values([](const Sample& s) { return s.library; })); }
  double OwnMin() const { auto v = Values([](const Sample& s) { return s.own(); }); return *std::min_element(v.begin(), v.end()); }
  double OwnMedian() const { return Median(Values([](const Sample& s) { return s.own(); })); }
};

// The process's anonymous resident memory in KiB (the heap and everything else allocated), -1 when unknown.
long AnonymousKiB() {
  const std::vector<unsigned char> bytes = testkit::ReadWholeFile(L"Z:\\proc\\self\\status");
  if (bytes.empty()) return -1;
  const std::string text(bytes.begin(), bytes.end());
  const size_t at = text.find("RssAnon:");
  return at == std::string::npos ? -1 : std::strtol(text.c_str() + at + 8, nullptr, 10);
}

// The bytes in use in every heap of the process, in KiB (what the allocators hand out, whatever
// the memory they keep in reserve), -1 when a heap cannot be walked.
long HeapInUseKiB() {
  HANDLE heaps[64];
  const DWORD count = ::GetProcessHeaps(64, heaps);
  if (count == 0 || count > 64) return -1;
  unsigned long long used = 0;
  for (DWORD i = 0; i < count; ++i) {
    if (!::HeapLock(heaps[i])) return -1;
    PROCESS_HEAP_ENTRY entry = {};
    while (::HeapWalk(heaps[i], &entry))
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) used += entry.cbData;
    ::HeapUnlock(heaps[i]);
  }
  return static_cast<long>(used / 1024);
}

// A number from the environment, or `otherwise`.
int EnvNumber(const char* name, int otherwise) {
  char text[16] = "";
  return ::GetEnvironmentVariableA(name, text, sizeof text) ? std::atoi(text) : otherwise;
}

// Delivers what is queued for the thread's windows, paints included.
void Pump() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

int ListRows(HWND dialog) {
  return static_cast<int>(::SendDlgItemMessageA(dialog, IDC_CERTIFICATE_LIST, LVM_GETITEMCOUNT, 0, 0));
}

void SelectRow(HWND dialog, int row) {
  LVITEMA item = {};
  item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendDlgItemMessageA(dialog, IDC_CERTIFICATE_LIST, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(&item));
}

// Whether the current user's "MY" store holds the certificate; deleted when `remove`.
bool InMyStore(const std::vector<uint8_t>& der, bool remove) {
  HCERTSTORE my = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
  if (!my) return false;
  PCCERT_CONTEXT wanted = ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
  PCCERT_CONTEXT found =
      wanted ? ::CertFindCertificateInStore(my, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted, nullptr) : nullptr;
  if (found && remove) {
    ::CertDeleteCertificateFromStore(found);
    ::CertControlStore(my, 0, CERT_STORE_CTRL_COMMIT, nullptr);
  } else if (found) {
    ::CertFreeCertificateContext(found);
  }
  if (wanted) ::CertFreeCertificateContext(wanted);
  ::CertCloseStore(my, 0);
  return found != nullptr;
}

class Bench {
 public:
  Bench(std::wstring certificates, std::wstring traces) : token_(soft_, std::move(certificates)), traces_(std::move(traces)) {}

  std::string Start() {
    if (!soft_.ready()) return "cannot load ZeltP11.dll";
    if (!module_.loaded()) return "cannot load ZeltUtilUserPage.dll";
    if (!harness_.Ready()) return "cannot create the host windows (no display?)";
    if (!csp_.ready()) return "cannot load ZeltCsp.dll";
    // The profile sees the windows made through the pilot's hook.
    if (!dialogs_.Attach(harness_.frame(), profile_)) return "cannot watch the dialogs of the host's frame";
    if (!LibraryClock::Install(::GetModuleHandleA("ZeltP11.dll"))) return "cannot wrap the token library";
    if (!HandleCounters::Install(module_.handle())) return "cannot count the page's store and certificate handles";
    if (profile_ && !ImportProfile::Install(module_.handle())) return "cannot time the page's imports";
    if (profile_) PaintProfile::Install();
    harness_.host.serial = L"BE0C4A11";
    harness_.host.password = L"bench-password";
    return "";
  }

  // Runs one step `runs_` times after a warm-up and a traced run, each on a token made by `prepare`.
  Row Measure(const std::string& step, const TokenLayout& layout, int rows, int latency, const CallFormula& formula,
              const std::function<void()>& prepare, const std::function<Sample(std::string&)>& run) {
    // The dialogs' owner is the active window: the host's frame, as when the user clicks in it.
    ::SetActiveWindow(harness_.frame());
    Row row;
    row.step = step;
    row.layout = layout;
    row.rows = rows;
    row.latency = latency;
    row.formula = formula;
    for (int i = -2; i < runs_ && row.problem.empty(); ++i) {
      prepare();
      if (row.problem.empty() && ::testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed())
        row.problem = "the token could not be prepared";
      tracing_ = i == -1;
      soft_.vendor()->Q_SetLatency(static_cast<CK_ULONG>(latency));
      const Sample sample = run(row.problem);
      soft_.vendor()->Q_SetLatency(0);
      if (tracing_) {
        tracing_ = false;
        const std::vector<std::string> trace = soft_.Trace();
        soft_.vendor()->Q_TraceControl(Q_TRACE_OFF | Q_TRACE_CLEAR);
        row.traced = trace.size();
        if (!traces_.empty()) Dump(step, layout, trace);
        if (sample.calls != row.traced)
          row.problem = "the clock saw " + std::to_string(sample.calls) + " calls, the trace " + std::to_string(row.traced);
      } else if (i >= 0) {
        if (sample.calls != row.traced)
          row.problem = "run " + std::to_string(i + 1) + " made " + std::to_string(sample.calls) + " calls";
        row.runs.push_back(sample);
      }
    }
    return row;
  }

  void MakeToken(const TokenLayout& layout) {
    const std::string made = token_.Make(layout);
    if (!made.empty()) ADD_FAILURE() << made;
  }

  // From the click on Manage until the dialog shows its filled list.
  Sample Manage(std::string& problem, int rows) {
    Mark start, end;
    dialogs_.Then([&](HWND dialog) {
      end = EndMark();
      if (ListRows(dialog) != rows) problem = "the list showed " + std::to_string(ListRows(dialog)) + " rows";
      testkit::DialogPilot::Press(dialog, IDC_MANAGE_CLOSE);
    });
    start = StartMark();
    harness_.Click(IDC_MANAGE);
    Finish(problem);
    return Between(start, end);
  }

  // SetObjects and Activate until the page shows (its site first, as a host does).
  Sample Activation(std::string& problem) {
    if (harness_.Create() != S_OK) problem = "the class factory made no page";
    const Mark start = StartMark();
    HRESULT hr = harness_.Connect();
    if (SUCCEEDED(hr)) hr = harness_.Activate();
    if (SUCCEEDED(hr)) hr = harness_.page()->Show(SW_SHOW);
    Pump();
    ::RedrawWindow(harness_.frame(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    const Mark end = EndMark();
    if (hr != S_OK || !harness_.PageWindow()) problem = "activation failed";
    harness_.Release();
    harness_.host.calls.clear();
    return Between(start, end);
  }

  // In the Manage dialog: select `row`, press `button`, answer the boxes; until the dialog shows the result.
  Sample Operate(std::string& problem, int row, int button, const std::vector<int>& answers, int rowsAfter) {
    Mark start, end;
    dialogs_.Then([&](HWND dialog) {
      SelectRow(dialog, row);
      start = StartMark();
      testkit::DialogPilot::Press(dialog, button);
    });
    for (int answer : answers) dialogs_.Answer(answer);
    dialogs_.Then([&](HWND dialog) {
      end = EndMark();
      if (ListRows(dialog) != rowsAfter) problem = "the list showed " + std::to_string(ListRows(dialog)) + " rows after";
      testkit::DialogPilot::Press(dialog, IDC_MANAGE_CLOSE);
    });
    harness_.Click(IDC_MANAGE);
    Finish(problem);
    return Between(start, end);
  }

  // From OK in the Import Certificate dialog until the dialog has closed.
  Sample Import(std::string& problem, const std::string& file) {
    Mark start;
    dialogs_.Then([&](HWND dialog) {
      ::SetDlgItemTextA(dialog, IDC_FILE_PATH, file.c_str());
      ::SetDlgItemTextA(dialog, IDC_FILE_PASSWORD, "p12-secret");
      start = StartMark();
      testkit::DialogPilot::Press(dialog, IDC_IMPORT_OK);
    });
    dialogs_.Answer(IDOK);
    harness_.Click(IDC_IMPORT);
    const Mark end = EndMark();
    const std::vector<std::string> boxes = dialogs_.Boxes();
    Finish(problem);
    if (problem.empty() && (boxes.size() != 1 || boxes[0] != "The certificate has been successfully imported."))
      problem = "the import did not succeed: " + (boxes.empty() ? std::string("no message") : boxes[0]);
    return Between(start, end);
  }

  struct Counts {
    long heapKiB, anonymousKiB, sessions, cspContexts, stores, records;
  };
  Counts Held() {
    return Counts{HeapInUseKiB(), AnonymousKiB(), static_cast<long>(soft_.SessionCount(BenchToken::kSlot)),
                  static_cast<long>(csp_.Counts().contexts), HandleCounters::OpenStores(), HandleCounters::LiveRecords()};
  }

  testkit::PageHarness& harness() { return harness_; }
  BenchToken& token() { return token_; }
  void Finish(std::string& problem) {
    harness_.host.calls.clear();  // the fake host's log of calls, which would grow with every cycle
    const std::string found = dialogs_.Finish();
    if (problem.empty()) problem = found;
  }

 private:
  // The marks of a measured interval; in the traced run the library's trace covers that interval.
  Mark StartMark() {
    if (tracing_) soft_.StartTrace();
    if (profile_) ImportProfile::Begin(), PaintProfile::Begin();
    return Now();
  }
  Mark EndMark() {
    const Mark end = Now();
    if (profile_) ImportProfile::Mark("end"), PaintProfile::End();
    if (tracing_) soft_.vendor()->Q_TraceControl(Q_TRACE_OFF);
    return end;
  }

  void Dump(const std::string& step, const TokenLayout& layout, const std::vector<std::string>& trace) {
    std::string name = step + "-" + std::to_string(layout.certificates);
    std::replace(name.begin(), name.end(), ' ', '-');
    FILE* out = _wfopen((traces_ + L"\\" + std::wstring(name.begin(), name.end()) + L".txt").c_str(), L"w");
    if (!out) return;
    for (const std::string& line : trace) std::fprintf(out, "%s\n", line.c_str());
    std::fclose(out);
  }

  testkit::SoftToken soft_;
  testkit::CspHooks csp_;
  testkit::ModuleUnderTest module_;
  testkit::PageHarness harness_{module_};
  DialogQueue dialogs_;
  BenchToken token_;
  std::wstring traces_;
  bool tracing_ = false;
  bool profile_ = ::GetEnvironmentVariableA("ZELT_BENCH_PROFILE", nullptr, 0) != 0;
  int runs_ = std::max(1, EnvNumber("ZELT_BENCH_RUNS", kRuns));
};

void PrintRow(const Row& row) {
  char ratio[16] = "-";
  if (row.latency > 0 && !row.runs.empty())
    std::snprintf(ratio, sizeof ratio, "%.2f", row.TotalMedian() / (static_cast<double>(row.traced) * row.latency));
  const uint64_t predicted = row.formula.Predict();
  std::printf("%-22s %5d %4d %3d | %5llu %5llu %-4s | %8.1f %8.1f | %8.1f | %7.1f %7.1f | %5s\n", row.step.c_str(),
              row.layout.certificates, row.rows, row.latency, static_cast<unsigned long long>(row.traced),
              static_cast<unsigned long long>(predicted), predicted == row.traced ? "ok" : "FAIL",
              row.runs.empty() ? 0 : row.TotalMin(), row.runs.empty() ? 0 : row.TotalMedian(),
              row.runs.empty() ? 0 : row.LibraryMedian(), row.runs.empty() ? 0 : row.OwnMin(),
              row.runs.empty() ? 0 : row.OwnMedian(), ratio);
  if (!row.problem.empty()) std::printf("    problem: %s\n", row.problem.c_str());
  if (::GetEnvironmentVariableA("ZELT_BENCH_PROFILE", nullptr, 0)) {
    std::printf("    own ms of each run:");
    for (const Sample& s : row.runs) std::printf(" %.1f", s.own());
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: zelt-bench <folder of bench-NN.der> [trace folder]\n");
    return 2;
  }
  for (const wchar_t* name : {L"bcrypt.dll", L"shell32.dll", L"crypt32.dll"}) ::LoadLibraryW(name);
  if (FAILED(::OleInitialize(nullptr))) return 2;
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&icc);
  const auto widen = [](const char* s) { return std::wstring(s, s + std::strlen(s)); };

  bool failed = false;
  {
    Bench bench(widen(argv[1]), argc > 2 ? widen(argv[2]) : std::wstring());
    const std::string started = bench.Start();
    if (!started.empty()) {
      std::printf("bench: %s\n", started.c_str());
      return 1;
    }
    std::printf("%-22s %5s %4s %3s | %5s %5s %-4s | %8s %8s | %8s | %7s %7s | %5s\n", "step", "certs", "rows", "lat",
                "calls", "pred", "", "total", "total", "library", "own", "own", "ratio");
    std::printf("%-22s %5s %4s %3s | %5s %5s %-4s | %8s %8s | %8s | %7s %7s | %5s\n", "", "", "", "ms", "trace",
                "formula", "", "min ms", "med ms", "med ms", "min ms", "med ms", "");
    std::vector<Row> table;
    // ZELT_BENCH_ONLY=<step> runs only the rows of that step (and "growth" only the growth cycles).
    char only[64] = "";
    ::GetEnvironmentVariableA("ZELT_BENCH_ONLY", only, sizeof only);
    const auto skip = [&](const char* step) { return only[0] && std::strcmp(only, step) != 0; };
    // ZELT_BENCH_LATENCY=<ms> runs only the rows at that latency.
    std::vector<int> latencies(std::begin(kLatencies), std::end(kLatencies));
    if (const int latency = EnvNumber("ZELT_BENCH_LATENCY", -1); latency >= 0) latencies = {latency};
    const auto add = [&](Row row) {
      PrintRow(row);
      if (::GetEnvironmentVariableA("ZELT_BENCH_PROFILE", nullptr, 0)) {
        ImportProfile::Print(row.layout.certificates <= 20 && row.latency == 0);
        PaintProfile::Print();
      }
      if (!row.problem.empty() || row.formula.Predict() != row.traced) failed = true;
      table.push_back(std::move(row));
    };

    const TokenLayout twenty{20, 0};
    bench.MakeToken(twenty);
    for (int latency : latencies)
      if (!skip("activation")) add(bench.Measure("activation", twenty, 0, latency, CallFormula::Activation(twenty), [] {},
                        [&](std::string& problem) { return bench.Activation(problem); }));

    if (bench.harness().Open() != S_OK) {
      std::printf("bench: the page cannot be opened\n");
      return 1;
    }
    for (int certificates : {5, 20, 50}) {
      const TokenLayout layout{certificates, certificates % 2};
      const int rows = std::min(certificates, kListed);
      bench.MakeToken(layout);
      for (int latency : latencies)
        if (!skip("manage")) add(bench.Measure("manage", layout, rows, latency, CallFormula::Manage(layout, kListed), [] {},
                          [&](std::string& problem) { return bench.Manage(problem, rows); }));
    }

    // Operations on 20 certificates, two of them without a container.
    const TokenLayout mixed{20, 2};
    const std::vector<uint8_t> converted = bench.token().Certificate(0);
    for (int latency : latencies)
      if (!skip("register+convert")) add(bench.Measure("register+convert", mixed, 20, latency, CallFormula::RegisterConverting(mixed, kListed),
                        [&] {
                          bench.MakeToken(mixed);
                          InMyStore(converted, true);
                        },
                        [&](std::string& problem) {
                          const Sample s = bench.Operate(problem, 0, IDC_REGISTER, {IDYES}, 20);
                          if (problem.empty() && !InMyStore(converted, true)) problem = "not registered";
                          return s;
                        }));
    for (int latency : latencies)
      if (!skip("remove")) add(bench.Measure("remove", mixed, 20, latency, CallFormula::RemoveContainer(mixed, kListed),
                        [&] { bench.MakeToken(mixed); },
                        [&](std::string& problem) { return bench.Operate(problem, mixed.loose, IDC_REMOVE, {IDYES}, 18); }));
    const std::wstring p12 = CertificateFiles::path("jane-doe.p12");
    const std::string p12Path(p12.begin(), p12.end());
    for (int latency : latencies)
      if (!skip("import")) add(bench.Measure("import", twenty, 0, latency, CallFormula::Import(twenty, kListed),
                        [&] { bench.MakeToken(twenty); },
                        [&](std::string& problem) { return bench.Import(problem, p12Path); }));

    // Bounds.
    std::printf("\nbounds (median own time):\n");
    const auto find = [&](const std::string& step, int certificates, int latency) -> const Row* {
      for (const Row& row : table)
        if (row.step == step && row.layout.certificates == certificates && row.latency == latency && !row.runs.empty())
          return &row;
      return nullptr;
    };
    const auto check = [&](bool ok, const std::string& what) {
      std::printf("  %-4s %s\n", ok ? "ok" : "FAIL", what.c_str());
      if (!ok) failed = true;
    };
    char text[256];
    for (int latency : latencies) {
      const Row* manage = find("manage", 20, latency);
      const Row* activation = find("activation", 20, latency);
      std::snprintf(text, sizeof text, "Manage on 20 certificates at %d ms: %.1f ms <= %.0f ms", latency,
                    manage ? manage->OwnMedian() : -1.0, kManageBound);
      check(manage && manage->OwnMedian() <= kManageBound, text);
      std::snprintf(text, sizeof text, "activation at %d ms: %.1f ms <= %.0f ms", latency,
                    activation ? activation->OwnMedian() : -1.0, kActivationBound);
      check(activation && activation->OwnMedian() <= kActivationBound, text);
      for (auto sizes : {std::pair<int, int>{5, 20}, std::pair<int, int>{20, 50}}) {
        const Row* small = find("manage", sizes.first, latency);
        const Row* large = find("manage", sizes.second, latency);
        if (!small || !large) continue;
        const double allowed = small->OwnMedian() * large->rows / small->rows * kGrowthSlack;
        std::snprintf(text, sizeof text, "Manage own time from %d to %d certificates (%d to %d rows) at %d ms: "
                      "%.1f -> %.1f ms <= %.1f ms", sizes.first, sizes.second, small->rows, large->rows, latency,
                      small->OwnMedian(), large->OwnMedian(), allowed);
        check(large->OwnMedian() <= allowed, text);
      }
    }

    // Growth.
    std::printf("\ngrowth over %d cycles (heap in use, anonymous resident KiB; sessions, CSP contexts, \"MY\" stores, records):\n",
                kCycles);
    const auto growth = [&](const char* what, const std::function<void(std::string&)>& cycle) {
      std::string problem;
      for (int i = 0; i < 20 && problem.empty(); ++i) cycle(problem);  // caches filled
      const Bench::Counts before = bench.Held();
      for (int i = 0; i < kCycles && problem.empty(); ++i) cycle(problem);
      const Bench::Counts after = bench.Held();
      // The heap may move by a few pages; a leak of 256 bytes a cycle would show as 250 KiB.
      const bool ok = problem.empty() && after.heapKiB >= 0 && after.heapKiB - before.heapKiB < 256 &&
                      after.anonymousKiB >= 0 && after.anonymousKiB - before.anonymousKiB < 256 &&
                      after.sessions == before.sessions && after.cspContexts == before.cspContexts &&
                      after.stores == before.stores && after.records == before.records;
      std::printf("  %-4s %-29s before %6ld %6ld KiB %ld %ld %ld %ld  after %6ld %6ld KiB %ld %ld %ld %ld%s%s\n",
                  ok ? "ok" : "FAIL", what, before.heapKiB, before.anonymousKiB, before.sessions, before.cspContexts,
                  before.stores, before.records, after.heapKiB, after.anonymousKiB, after.sessions, after.cspContexts,
                  after.stores, after.records,
                  problem.empty() ? "" : "  problem: ", problem.c_str());
      if (!ok) failed = true;
    };
    if (skip("growth")) {
      std::printf("\nbench: %s\n", failed ? "FAILED" : "passed");
      return failed ? 1 : 0;
    }
    bench.MakeToken(twenty);
    growth("Manage open/close", [&](std::string& problem) { bench.Manage(problem, 20); });
    bench.harness().Release();
    growth("page create/activate/release", [&](std::string& problem) { bench.Activation(problem); });
  }
  ::OleUninitialize();
  std::printf("\nbench: %s\n", failed ? "FAILED" : "passed");
  return failed ? 1 : 0;
}
