#pragma once
// The pieces of the fault sweep: a responder that plays the user through every dialog a flow
// opens, and the digests that tell whether the token and the "MY" store hold what they held
// before the flow or exactly what the flow meant to leave.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "kit/ModalDriver.h"
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

// Answers the dialogs of this thread from a 10 ms timer, as a user following the script would.
class Responder {
 public:
  Responder(HMODULE resources, const Script& script);
  ~Responder();
  Responder(const Responder&) = delete;
  Responder& operator=(const Responder&) = delete;
  const Seen& seen() const { return seen_; }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
  void Tick();
  void OnManage(testkit::ModalWindow& dialog);
  void OnImport(testkit::ModalWindow& dialog);
  void OnBox(testkit::ModalWindow& box);

  const Script& script_;
  testkit::WindowMatcher manage_, import_, details_, autoRegistration_;
  Seen seen_;
  int manageSightings_ = 0;
  int importSightings_ = 0;
  UINT_PTR timer_ = 0;
};

// The token's state as its file holds it, as far as a flow may change it: the password with its
// failures, and every object (class, label, identifier and value). GUIDs, which a conversion or
// an import makes anew each time, read as "{guid}". Read from the file, so that looking changes
// nothing and costs no calls.
std::string TokenDigest(const std::wstring& tokenFile);
// What makes a token inconsistent, read from its file: a certificate without a private key of
// its identifier, a catalog naming a container record that is not there, a container naming a key
// or a certificate that is not there. Empty when the token is whole.
std::vector<std::string> TokenProblems(const std::wstring& tokenFile);
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
  std::string bytes_;
};

std::string WithoutGuids(std::string text);

}  // namespace sweep
