// The Cryptoki module under test, loaded and driven only through its function lists: the
// soft token under Wine, SoftHSM2 natively. Also knows how each one is given a private store
// and a token, since the standard calls for making a token differ between them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Loader.h"
#include "ZeltVendor.h"
#include "cryptoki/Pkcs11.h"

namespace conformance {

extern const char kSoPin[];
extern const char kUserPin[];
extern const char kWrongPin[];
extern const char kLabel[];
extern const char kSerial[];
extern const char kDevicePin[];
extern const char kDevicePuk[];

struct TokenSpec {
  std::string label = kLabel;
  std::string serial = kSerial;  // the soft token only: SoftHSM2 makes up its own
  std::string soPin = kSoPin;
  std::string userPin = kUserPin;
  std::string devicePin = kDevicePin;
  std::string devicePuk = kDevicePuk;
  CK_ULONG userPinLimit = 0;  // 0: the library's default
};

class CryptokiModule {
 public:
  // Makes `folder` the store of both kinds of module: ZELT_SOFTTOKEN_DIR for the soft token,
  // a SoftHSM2 configuration with its token folder inside for SoftHSM2.
  static bool configureStore(const std::string &folder, std::string &error);

  CryptokiModule() = default;
  CryptokiModule(const CryptokiModule &) = delete;
  CryptokiModule &operator=(const CryptokiModule &) = delete;
  ~CryptokiModule() { unload(); }

  bool load(std::string &error);
  void unload();

  CK_FUNCTION_LIST_PTR p11() const { return p11_; }
  // Null when the module has no vendor list, i.e. it is not the soft token.
  Q_FUNCTION_LIST_PTR vendor() const { return vendor_; }

  // C_Initialize as the page calls it: CKF_OS_LOCKING_OK, no mutex functions.
  CK_RV initialize();
  CK_RV finalize();

  CK_RV slotList(CK_BBOOL tokenPresent, std::vector<CK_SLOT_ID> &slots);
  CK_RV findSlotByLabel(const std::string &label, CK_SLOT_ID &slot);
  // Makes a token with the given label, PINs and limits; `wanted` is the slot on the soft
  // token, while SoftHSM2 takes its first free slot. `slot` receives where the token is.
  CK_RV provision(CK_SLOT_ID wanted, const TokenSpec &spec, CK_SLOT_ID &slot);

 private:
  std::unique_ptr<Loader> loader_;
  CK_FUNCTION_LIST_PTR p11_ = nullptr;
  Q_FUNCTION_LIST_PTR vendor_ = nullptr;
};

// A string's bytes as Cryptoki takes a PIN or a label; null for an empty string.
CK_UTF8CHAR_PTR text(const std::string &s);

// The label as CK_TOKEN_INFO carries it: blank-padded to 32 bytes.
std::string paddedLabel(const std::string &label);

}  // namespace conformance
