#pragma once
// The suite's own view of the software token: a token store folder for the test, a token in
// it, and what is on that token, read through ZeltP11.dll in this process.
#include <cstdint>
#include <string>
#include <vector>

#include "tokenkit/CryptokiLibrary.h"

struct ObjectView {
  CK_OBJECT_CLASS cls = 0;
  std::vector<uint8_t> label;
  std::vector<uint8_t> id;
  std::vector<uint8_t> value;  // empty for keys
  std::vector<uint8_t> modulus;  // keys only
  bool isPrivate = false;
  bool onToken = false;
};

class TokenProbe {
 public:
  static const char kPassword[];
  static const char kSoPin[];
  static const char kDevicePin[];

  // A store folder of its own with `slots` slots, and the library initialised on it.
  explicit TokenProbe(unsigned slots);
  ~TokenProbe();

  // Makes a token with kSoPin, kPassword and kDevicePin; false with the reason in error().
  bool createToken(CK_SLOT_ID slot, const std::string& serial);

  // False (with the reason in error()) when the library or the token could not be set up.
  bool ready() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::wstring& folder() const { return folder_; }
  CryptokiLibrary& library() { return library_; }

  // Every object of the token, private ones too when logged in with kPassword.
  std::vector<ObjectView> objects(CK_SLOT_ID slot, bool withPrivate);
  // The token file's bytes: equal bytes mean an unchanged token.
  std::vector<uint8_t> fileBytes(CK_SLOT_ID slot);
  // Stores a public object directly (not through the tool).
  CK_RV create(CK_SLOT_ID slot, std::vector<CK_ATTRIBUTE> attributes);

 private:
  std::wstring folder_;
  std::string error_;
  CryptokiLibrary library_;
};

// Bytes of a file of tests/tools/data, and its path as the child sees it.
std::vector<uint8_t> dataFile(const std::wstring& name);
std::wstring dataPath(const std::wstring& name);
