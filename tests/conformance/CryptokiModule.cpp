#include "CryptokiModule.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace conformance {

const char kSoPin[] = "87654321";
const char kUserPin[] = "1234";
const char kWrongPin[] = "9999";
const char kLabel[] = "Conformance token";
const char kSerial[] = "ZC00001234";
const char kDevicePin[] = "112233";
const char kDevicePuk[] = "99887766";

CK_UTF8CHAR_PTR text(const std::string &s) {
  return s.empty() ? nullptr : reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char *>(s.data()));
}

std::string paddedLabel(const std::string &label) {
  std::string padded = label.substr(0, 32);
  padded.resize(32, ' ');
  return padded;
}

bool CryptokiModule::configureStore(const std::string &folder, std::string &error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path root = fs::u8path(folder);
  fs::create_directories(root / "softtoken", ec);
  fs::create_directories(root / "softhsm", ec);
  if (ec) {
    error = "cannot create " + folder + ": " + ec.message();
    return false;
  }
  const fs::path conf = root / "softhsm2.conf";
  std::ofstream out(conf);
  out << "directories.tokendir = " << (root / "softhsm").u8string() << "\n"
      << "objectstore.backend = file\n"
      << "log.level = ERROR\n"
      << "slots.removable = false\n";
  if (!out) {
    error = "cannot write " + conf.u8string();
    return false;
  }
  setEnvironment("SOFTHSM2_CONF", conf.u8string());
  setEnvironment("ZELT_SOFTTOKEN_DIR", (root / "softtoken").u8string());
  return true;
}

bool CryptokiModule::load(std::string &error) {
  std::string path = environment("ZELT_CONFORMANCE_MODULE");
  if (path.empty()) path = defaultModulePath();
  loader_ = Loader::load(path, error);
  if (!loader_) return false;
  auto getList = reinterpret_cast<CK_C_GetFunctionList>(loader_->symbol("C_GetFunctionList"));
  if (!getList) {
    error = path + " does not export C_GetFunctionList";
    return false;
  }
  CK_RV rv = getList(&p11_);
  if (rv != CKR_OK || !p11_) {
    error = "C_GetFunctionList answered " + std::to_string(rv);
    return false;
  }
  if (auto getVendor = reinterpret_cast<CK_Q_GetFunctionList>(loader_->symbol("Q_GetFunctionList")))
    if (getVendor(&vendor_) != CKR_OK) vendor_ = nullptr;
  return true;
}

void CryptokiModule::unload() {
  p11_ = nullptr;
  vendor_ = nullptr;
  loader_.reset();
}

CK_RV CryptokiModule::initialize() {
  CK_C_INITIALIZE_ARGS args;
  std::memset(&args, 0, sizeof args);
  args.flags = CKF_OS_LOCKING_OK;
  return p11_->C_Initialize(&args);
}

CK_RV CryptokiModule::finalize() { return p11_->C_Finalize(nullptr); }

CK_RV CryptokiModule::slotList(CK_BBOOL tokenPresent, std::vector<CK_SLOT_ID> &slots) {
  CK_ULONG count = 0;
  CK_RV rv = p11_->C_GetSlotList(tokenPresent, nullptr, &count);
  slots.resize(rv == CKR_OK ? count : 0);
  if (rv == CKR_OK && count) rv = p11_->C_GetSlotList(tokenPresent, slots.data(), &count);
  slots.resize(rv == CKR_OK ? count : 0);
  return rv;
}

CK_RV CryptokiModule::findSlotByLabel(const std::string &label, CK_SLOT_ID &slot) {
  std::vector<CK_SLOT_ID> slots;
  if (CK_RV rv = slotList(CK_TRUE, slots); rv != CKR_OK) return rv;
  const std::string wanted = paddedLabel(label);
  for (CK_SLOT_ID candidate : slots) {
    CK_TOKEN_INFO info;
    if (p11_->C_GetTokenInfo(candidate, &info) != CKR_OK) continue;
    if ((info.flags & CKF_TOKEN_INITIALIZED) && std::memcmp(info.label, wanted.data(), 32) == 0) {
      slot = candidate;
      return CKR_OK;
    }
  }
  return CKR_TOKEN_NOT_PRESENT;
}

CK_RV CryptokiModule::provision(CK_SLOT_ID wanted, const TokenSpec &spec, CK_SLOT_ID &slot) {
  if (vendor_) {
    Q_TOKEN_PARAMS p;
    std::memset(&p, 0, sizeof p);
    p.pSerial = text(spec.serial);
    p.ulSerialLen = spec.serial.size();
    p.pLabel = text(spec.label);
    p.ulLabelLen = spec.label.size();
    p.pSoPin = text(spec.soPin);
    p.ulSoPinLen = spec.soPin.size();
    p.pUserPin = text(spec.userPin);
    p.ulUserPinLen = spec.userPin.size();
    p.pDevicePin = text(spec.devicePin);
    p.ulDevicePinLen = spec.devicePin.size();
    p.pDevicePuk = text(spec.devicePuk);
    p.ulDevicePukLen = spec.devicePuk.size();
    p.ulUserPinLimit = spec.userPinLimit;
    CK_RV rv = vendor_->Q_CreateToken(wanted, &p);
    if (rv == CKR_OK) slot = wanted;
    return rv;
  }

  // The standard way: initialise the first uninitialised token, then set its user PIN as SO.
  std::vector<CK_SLOT_ID> slots;
  CK_RV rv = slotList(CK_TRUE, slots);
  if (rv != CKR_OK) return rv;
  CK_SLOT_ID blank = 0;
  bool found = false;
  for (size_t i = 0; i < slots.size() && !found; ++i) {
    CK_TOKEN_INFO info;
    found = p11_->C_GetTokenInfo(slots[i], &info) == CKR_OK && !(info.flags & CKF_TOKEN_INITIALIZED);
    if (found) blank = slots[i];
  }
  if (!found) return CKR_TOKEN_NOT_PRESENT;
  std::string label = paddedLabel(spec.label);
  rv = p11_->C_InitToken(blank, text(spec.soPin), spec.soPin.size(), text(label));
  if (rv != CKR_OK) return rv;
  if ((rv = findSlotByLabel(spec.label, slot)) != CKR_OK) return rv;
  CK_SESSION_HANDLE session = 0;
  rv = p11_->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session);
  if (rv != CKR_OK) return rv;
  rv = p11_->C_Login(session, CKU_SO, text(spec.soPin), spec.soPin.size());
  if (rv == CKR_OK && !spec.userPin.empty()) rv = p11_->C_InitPIN(session, text(spec.userPin), spec.userPin.size());
  p11_->C_Logout(session);
  p11_->C_CloseSession(session);
  return rv;
}

}  // namespace conformance
