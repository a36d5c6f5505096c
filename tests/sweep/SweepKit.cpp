#include "sweep/SweepKit.h"

#include <commctrl.h>
#include <wincrypt.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "dialogs/ListTestKit.h"
#include "model/CertificateFiles.h"
#include "model/CspRequests.h"
#include "model/ScopedCertContext.h"
#include "model/ScopedSystemStore.h"
#include "res/resource.h"
#include "TokenImage.h"
#include "tokenkit/ContainerFormat.h"
#include "tokenkit/HexText.h"

namespace sweep {

namespace {

Responder* g_responder = nullptr;
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string out;
  char two[3];
  for (uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

ScopedSystemStore OpenMy() {
  return ScopedSystemStore(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
}

ScopedCertContext FindInMy(HCERTSTORE my, const std::string& name) {
  std::vector<BYTE> sha1 = CertificateFiles::sha1Of(name);
  CRYPT_HASH_BLOB hash = {static_cast<DWORD>(sha1.size()), sha1.data()};
  return ScopedCertContext(::CertFindCertificateInStore(my, kEncoding, 0, CERT_FIND_SHA1_HASH, &hash, nullptr));
}

std::string Narrow(const wchar_t* text) { return std::string(text, text + ::lstrlenW(text)); }

std::string ReadFile(const std::wstring& path) {
  std::string bytes;
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char chunk[4096];
  DWORD read = 0;
  while (::ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read) bytes.append(chunk, read);
  ::CloseHandle(file);
  return bytes;
}

}  // namespace

std::string WithoutGuids(std::string text) {
  static const int kGroups[] = {8, 4, 4, 4, 12};
  for (size_t i = 0; i + 36 <= text.size(); ++i) {
    size_t at = i;
    bool guid = true;
    for (int g = 0; g < 5 && guid; ++g) {
      for (int d = 0; d < kGroups[g] && guid; ++d) guid = std::isxdigit(static_cast<unsigned char>(text[at++])) != 0;
      if (guid && g < 4) guid = text[at++] == '-';
    }
    if (guid) text.replace(i, 36, "{guid}");
  }
  return text;
}

Responder::Responder(HMODULE resources, const Script& script) : script_(script) {
  // Made once: each matcher makes its dialog from the template to learn it.
  static const testkit::WindowMatcher kManage = testkit::FromTemplate(resources, IDD_MANAGE_CERTIFICATES),
                                      kImport = testkit::FromTemplate(resources, IDD_IMPORT_CERTIFICATE),
                                      kDetails = testkit::FromTemplate(resources, IDD_CERTIFICATE_DETAILS),
                                      kAutoRegistration = testkit::FromTemplate(resources, IDD_AUTO_REGISTRATION);
  manage_ = kManage;
  import_ = kImport;
  details_ = kDetails;
  autoRegistration_ = kAutoRegistration;
  g_responder = this;
  timer_ = ::SetTimer(nullptr, 0, 10, &Responder::OnTimer);
}

Responder::~Responder() {
  ::KillTimer(nullptr, timer_);
  g_responder = nullptr;
}

void CALLBACK Responder::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (g_responder) g_responder->Tick();
}

// What the responder asks is posted: a window's posted messages come before the next timer
// tick, so the next tick finds the dialog that the answer led to.
void Responder::Tick() {
  HWND window = testkit::FrontModal();
  if (!window) return;
  testkit::ModalWindow dialog(window);
  if (manage_(window)) {
    OnManage(dialog);
  } else if (import_(window)) {
    OnImport(dialog);
  } else if (details_(window) || autoRegistration_(window)) {
    ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  } else if (dialog.Item(0xFFFF)) {  // a message box's text (the templates' group boxes share the id)
    OnBox(dialog);
  } else {
    seen_.unexpected.push_back(dialog.Title());
    ::EndDialog(window, IDCANCEL);
  }
}

void Responder::OnBox(testkit::ModalWindow& box) {
  const std::string text = box.MessageText();
  seen_.boxes.push_back(box.Title() + "|" + testkit::ToString(box.Icon()) + "|" + WithoutGuids(text));
  int answer = IDOK;
  if (box.Item(IDYES)) {
    answer = IDYES;
    for (const auto& a : script_.answers)
      if (text.compare(0, a.first.size(), a.first) == 0) {
        answer = a.second;
        break;
      }
  }
  if (script_.onBox && !script_.onBoxText.empty() && text.compare(0, script_.onBoxText.size(), script_.onBoxText) == 0)
    script_.onBox();
  // Hidden at once, so the next tick does not answer it twice.
  ::EndDialog(box.window(), answer);
}

void Responder::OnManage(testkit::ModalWindow& dialog) {
  HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
  if (++manageSightings_ == 1 && script_.manageButton) {
    // A list that a failure cut short may lack the row, and a button may not be offered: the
    // user cannot press it then.
    if (script_.manageRow < listkit::RowCount(list)) {
      listkit::Select(list, script_.manageRow);
      if (dialog.IsEnabled(script_.manageButton)) {
        dialog.Press(script_.manageButton);
        return;
      }
    }
  }
  seen_.list.clear();
  for (int row = 0; row < listkit::RowCount(list); ++row) {
    std::string line;
    for (int column = 0; column < 7; ++column) line += listkit::CellText(list, row, column) + "|";
    seen_.list.push_back(WithoutGuids(line + std::to_string(listkit::ImageAt(list, row))));
  }
  dialog.Press(IDC_MANAGE_CLOSE);
}

void Responder::OnImport(testkit::ModalWindow& dialog) {
  if (++importSightings_ > 1) {
    dialog.Press(IDCANCEL);
    return;
  }
  dialog.Type(IDC_FILE_PATH, script_.importPath);
  dialog.Type(IDC_FILE_PASSWORD, script_.importPassword);
  dialog.Press(IDC_IMPORT_OK);
}

std::string TokenDigest(const std::wstring& path) {
  const std::string bytes = ReadFile(path);
  softtoken::TokenImage image;
  if (!softtoken::TokenImage::decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), image))
    return "no token image";
  std::string digest = "password " + image.userPin.value + ", " + std::to_string(image.userPin.failures) +
                       " failures" + (image.userPin.locked ? ", locked" : "");
  std::vector<std::string> lines;
  for (const softtoken::StoredObject& object : image.objects) {
    std::string line;
    for (CK_ATTRIBUTE_TYPE type : {CKA_CLASS, CKA_LABEL, CKA_ID, CKA_VALUE}) {
      const softtoken::StoredAttribute* attribute = object.find(static_cast<uint32_t>(type));
      if (!attribute) {
        line += "- ";
        continue;
      }
      const std::string text = WithoutGuids(std::string(attribute->value.begin(), attribute->value.end()));
      line += Hex(std::vector<uint8_t>(text.begin(), text.end())) + " ";
    }
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  for (const std::string& line : lines) digest += "\n" + line;
  return digest;
}

std::vector<std::string> TokenProblems(const std::wstring& path) {
  const std::string bytes = ReadFile(path);
  softtoken::TokenImage image;
  if (!softtoken::TokenImage::decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), image))
    return {"the token file cannot be read"};
  auto text = [](const softtoken::StoredObject& object, CK_ATTRIBUTE_TYPE type) {
    const softtoken::StoredAttribute* attribute = object.find(static_cast<uint32_t>(type));
    std::string value = attribute ? std::string(attribute->value.begin(), attribute->value.end()) : "";
    return value.substr(0, value.find('\0'));
  };
  auto classOf = [](const softtoken::StoredObject& object) {
    const softtoken::StoredAttribute* attribute = object.find(CKA_CLASS);
    CK_OBJECT_CLASS value = ~0UL;
    if (attribute && attribute->value.size() == sizeof value) std::memcpy(&value, attribute->value.data(), sizeof value);
    return value;
  };
  std::map<std::string, std::vector<uint8_t>> data;  // label -> value
  std::set<std::string> certificateLabels;
  std::set<std::string> privateKeyIds, certificateIds;
  for (const softtoken::StoredObject& object : image.objects) {
    const softtoken::StoredAttribute* id = object.find(CKA_ID);
    const std::string idText = id ? std::string(id->value.begin(), id->value.end()) : "";
    if (classOf(object) == CKO_DATA) {
      const softtoken::StoredAttribute* value = object.find(CKA_VALUE);
      data[text(object, CKA_LABEL)] = value ? value->value : std::vector<uint8_t>();
    } else if (classOf(object) == CKO_CERTIFICATE) {
      certificateLabels.insert(text(object, CKA_LABEL));
      certificateIds.insert(idText);
    } else if (classOf(object) == CKO_PRIVATE_KEY) {
      privateKeyIds.insert(idText);
    }
  }
  std::vector<std::string> problems;
  for (const std::string& id : certificateIds)
    if (!privateKeyIds.count(id)) problems.push_back("a certificate without its key, id " + Hex({id.begin(), id.end()}));
  auto catalog = data.find(containerformat::kCatalogLabel);
  if (catalog == data.end()) return problems;
  uint8_t version = 0;
  std::vector<std::string> names;
  if (!containerformat::readCatalog(catalog->second, &version, &names)) return {"the catalog cannot be read"};
  for (const std::string& name : names) {
    auto record = data.find(name);
    if (record == data.end()) {
      problems.push_back("the catalog names a missing container: " + WithoutGuids(name));
      continue;
    }
    containerformat::RecordFields fields;
    if (!containerformat::readRecord(record->second, &fields)) {
      problems.push_back("a container record that cannot be read: " + WithoutGuids(name));
      continue;
    }
    std::vector<uint8_t> keyId;
    if (!fields.field1.empty() && hextext::decode(fields.field1, &keyId) &&
        !privateKeyIds.count(std::string(keyId.begin(), keyId.end())))
      problems.push_back("a container whose key is missing: " + WithoutGuids(name));
    if (!fields.exchangeCertLabel.empty() && !certificateLabels.count(fields.exchangeCertLabel))
      problems.push_back("a container whose certificate is missing: " + WithoutGuids(name));
  }
  return problems;
}

std::string StoreDigest(const std::vector<std::string>& certificates) {
  ScopedSystemStore my = OpenMy();
  std::string digest;
  for (const std::string& name : certificates) {
    ScopedCertContext found = my ? FindInMy(my.get(), name) : ScopedCertContext();
    digest += name + ": ";
    if (!found) {
      digest += "absent\n";
      continue;
    }
    BYTE buffer[1024];
    DWORD size = sizeof buffer;
    if (::CertGetCertificateContextProperty(found.get(), CERT_KEY_PROV_INFO_PROP_ID, buffer, &size)) {
      const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer);
      digest += Narrow(info->pwszProvName) + "/" + WithoutGuids(Narrow(info->pwszContainerName)) + "/" +
                std::to_string(info->dwKeySpec) + "/" + std::to_string(info->dwProvType) + "\n";
    } else {
      digest += "no key provider information\n";
    }
  }
  return digest;
}

void ResetStore(const std::vector<std::string>& certificates, const std::vector<std::string>& registered) {
  ScopedSystemStore my = OpenMy();
  if (!my) return;
  for (const std::string& name : certificates)
    if (ScopedCertContext found = FindInMy(my.get(), name)) ::CertDeleteCertificateFromStore(found.release());
  for (const std::string& entry : registered) {
    const size_t split = entry.find('=');
    const std::vector<BYTE> der = CertificateFiles::read(entry.substr(0, split) + ".der");
    ScopedCertContext context(::CertCreateCertificateContext(kEncoding, der.data(), static_cast<DWORD>(der.size())));
    const std::string container = entry.substr(split + 1);
    std::wstring wideContainer(container.begin(), container.end());
    const std::string provider = cspProviderName().text();
    std::wstring wideProvider(provider.begin(), provider.end());
    CRYPT_KEY_PROV_INFO info = {};
    info.pwszContainerName = &wideContainer[0];
    info.pwszProvName = &wideProvider[0];
    info.dwProvType = PROV_RSA_FULL;
    info.dwKeySpec = AT_KEYEXCHANGE;
    if (context && ::CertSetCertificateContextProperty(context.get(), CERT_KEY_PROV_INFO_PROP_ID, 0, &info))
      ::CertAddCertificateContextToStore(my.get(), context.get(), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  }
  // Wine keeps a system store's changes until they are committed.
  ::CertControlStore(my.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
}

TokenFileCopy::TokenFileCopy(testkit::SoftToken& soft, CK_SLOT_ID slot) {
  soft.EnsureInitialized();
  char path[MAX_PATH * 3] = "";
  CK_ULONG length = sizeof path;
  if (soft.vendor()->Q_GetTokenFilePath(slot, reinterpret_cast<CK_UTF8CHAR_PTR>(path), &length) != CKR_OK) return;
  wchar_t wide[MAX_PATH] = L"";
  ::MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, MAX_PATH);
  path_ = wide;
  bytes_ = ReadFile(path_);
}

bool TokenFileCopy::Restore() const {
  if (path_.empty()) return false;
  // A new file in its place: the library sees another file and reads it again.
  const std::wstring fresh = path_ + L".sweep";
  HANDLE file = ::CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = ::WriteFile(file, bytes_.data(), static_cast<DWORD>(bytes_.size()), &written, nullptr) &&
                  written == bytes_.size();
  ::CloseHandle(file);
  return ok && ::MoveFileExW(fresh.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace sweep
