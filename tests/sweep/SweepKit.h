#pragma once
// The pieces of the fault sweep: a responder that plays the user through every dialog a flow
// opens, and the digests that tell whether the token and the "MY" store hold what they held
// before the flow or exactly what the flow meant to leave.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "kit/DialogPilot.h"
#include "kit/ModalDriver.h"
#include "kit/ScopedKernelHandle.h"
#include "kit/SoftToken.h"

namespace sweep {

// What the user did in the dialogs of one flow.
struct Script {
  int manageRow = -1;     // the row the Manage dialog's action selects
  int manageButton = 0;   // the button it presses then (0: none, the list is only looked at)
  std::string importPath;  // the import dialog's file, typed with the password below
  std::string importPassword;
  // Answers to questions: the first entry whose text starts the box's text; Yes otherwise.
  std::vector<std::pair<std::string, int>> answers;
  // Run when a box with this text is answered (the host's next answer, say).
  std::string onBoxText;
  std::function<void()> onBox;
};

// Every message box and dialog that a run showed, and the Manage list as it was last seen.
struct Seen {
  std::vector<std::string> boxes;  // "title|icon|text"
  std::vector<std::string> list;   // one line per row: the seven cells and the image
  std::vector<std::string> unexpected;
};

// Answers the dialogs of this thread as a user following the script would, each as soon as it
// is ready (see testkit::DialogPilot).
class Responder : private testkit::DialogPilot::Handler {
 public:
  Responder(HMODULE resources, const Script& script);
  Responder(const Responder&) = delete;
  Responder& operator=(const Responder&) = delete;
  const Seen& seen() const { return seen_; }
  // Dialogs that nobody heard idle, reached late by the pilot's watch.
  int late() const { return pilot_.missed(); }

 private:
  void OnIdle(HWND dialog) override;
  void OnBox(HWND box) override;
  void OnManage(testkit::ModalWindow& dialog);
  void OnImport(testkit::ModalWindow& dialog);

  const Script& script_;
  testkit::WindowMatcher manage_, import_, details_, autoRegistration_;
  Seen seen_;
  int manageSightings_ = 0;
  int importSightings_ = 0;
  testkit::DialogPilot pilot_;
};

// The token as its file holds it, read without a call, so that looking changes nothing.
struct TokenState {
  // As far as a flow may change it: the password with its failures, and every object (class,
  // label, identifier and value). GUIDs, which a conversion or an import makes anew each time,
  // read as "{guid}".
  std::string digest;
  // What makes the token inconsistent: a certificate without a private key of its identifier, a
  // catalog naming a container record that is not there, a container naming a key or a
  // certificate that is not there. Empty when the token is whole.
  std::vector<std::string> problems;
};
TokenState ReadToken(const std::wstring& tokenFile);
// The certificates of tests/data/certs named here as the current user's "MY" store holds
// them: absent, or present with their key provider information.
std::string StoreDigest(const std::vector<std::string>& certificates);
// Empties "MY" of those certificates, then registers `registered` with the key provider
// information of the container named with it ("file=container").
void ResetStore(const std::vector<std::string>& certificates, const std::vector<std::string>& registered);

// The token file of a slot, kept and put back whole (the library reloads a file that changed).
class TokenFileCopy {
 public:
  TokenFileCopy(testkit::SoftToken& soft, CK_SLOT_ID slot);
  bool Restore() const;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  std::vector<unsigned char> bytes_;
};

// Whether each object (line) of the digest `got` is as `before` or `after` a flow has it, or as
// `made` (a new key set) has it, and each object that the flow leaves alone is still there.
bool Between(const std::string& got, const std::string& before, const std::string& after, const std::string& made);
// The token of `file` with one more container, as a new key set leaves it before anything is bound;
// the file is put back after.
std::string EmptyContainer(const TokenFileCopy& file);
// The lines, each on a line of its own and indented, for a failure message.
std::string Join(const std::vector<std::string>& lines);

// This process's share of the cases, from ZELT_SHARD ("index/count"): every count-th case.
struct Shard {
  unsigned index = 0, count = 1;
  Shard() {
    char text[32] = "";
    if (::GetEnvironmentVariableA("ZELT_SHARD", text, sizeof text) &&
        (std::sscanf(text, "%u/%u", &index, &count) != 2 || count == 0 || index >= count)) {
      index = 0;
      count = 1;
    }
  }
  bool Takes(size_t number) const { return number % count == index; }
};

// Ends the process when a case runs past its time: a hang fails the suite with its name.
class Watchdog {
 public:
  Watchdog()
      : event_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
        thread_(::CreateThread(nullptr, 0, &Watchdog::Run, this, 0, nullptr)) {}
  ~Watchdog() {
    stop_ = true;
    ::SetEvent(event_.get());
    ::WaitForSingleObject(thread_.get(), INFINITE);
  }
  void Arm(const std::string& what) {
    what_ = what;
    ::SetEvent(event_.get());
  }

 private:
  static DWORD WINAPI Run(void* self) {
    auto* dog = static_cast<Watchdog*>(self);
    while (!dog->stop_) {
      if (::WaitForSingleObject(dog->event_.get(), 60000) == WAIT_TIMEOUT) {
        std::fprintf(stderr, "\nFAULT SWEEP HUNG: %s\n", dog->what_.c_str());
        ::ExitProcess(3);
      }
    }
    return 0;
  }
  volatile bool stop_ = false;
  std::string what_;
  ScopedKernelHandle event_;
  ScopedKernelHandle thread_;  // made last: it reads the members above
};

}  // namespace sweep
