#include "sweep/SweepKit.h"

#include <commctrl.h>
#include <wincrypt.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "dialogs/ListTestKit.h"
#include "kit/MyStore.h"
#include "kit/Paths.h"
#include "model/CertificateFiles.h"
#include "model/CspRequests.h"
#include "model/ScopedCryptProv.h"
#include "model/ScopedFileHandle.h"
#include "res/resource.h"
#include "TokenImage.h"
#include "tokenkit/ContainerFormat.h"
#include "tokenkit/HexText.h"

namespace sweep {

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

std::string Hex(const std::string& bytes) {
  return hextext::encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

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

std::string Digest(const softtoken::TokenImage& image) {
  std::string digest = "password " + image.userPin.value + ", " + std::to_string(image.userPin.failures) +
                       " failures" + (image.userPin.locked ? ", locked" : "");
  std::vector<std::string> lines;
  for (const softtoken::StoredObject& object : image.objects) {
    std::string line;
    for (CK_ATTRIBUTE_TYPE type : {CKA_CLASS, CKA_LABEL, CKA_ID, CKA_VALUE}) {
      const softtoken::StoredAttribute* attribute = object.find(static_cast<uint32_t>(type));
      const std::string text = attribute ? WithoutGuids(std::string(attribute->value.begin(), attribute->value.end())) : "";
      line += attribute ? Hex(text) + " " : "- ";
    }
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  for (const std::string& line : lines) digest += "\n" + line;
  return digest;
}

std::vector<std::string> Problems(const softtoken::TokenImage& image) {
  auto text = [](const softtoken::StoredObject& object, CK_ATTRIBUTE_TYPE type) {
    const softtoken::StoredAttribute* attribute = object.find(static_cast<uint32_t>(type));
    std::string value = attribute ? std::string(attribute->value.begin(), attribute->value.end()) : "";
    return type == CKA_LABEL ? value.substr(0, value.find('\0')) : value;
  };
  auto classOf = [](const softtoken::StoredObject& object) {
    const softtoken::StoredAttribute* attribute = object.find(CKA_CLASS);
    CK_OBJECT_CLASS value = ~0UL;
    if (attribute && attribute->value.size() == sizeof value) std::memcpy(&value, attribute->value.data(), sizeof value);
    return value;
  };
  std::map<std::string, std::vector<uint8_t>> data;  // label -> value
  std::set<std::string> certificateLabels, privateKeyIds, certificateIds;
  for (const softtoken::StoredObject& object : image.objects) {
    const CK_OBJECT_CLASS kind = classOf(object);
    if (kind == CKO_DATA) {
      const softtoken::StoredAttribute* value = object.find(CKA_VALUE);
      data[text(object, CKA_LABEL)] = value ? value->value : std::vector<uint8_t>();
    } else if (kind == CKO_CERTIFICATE) {
      certificateLabels.insert(text(object, CKA_LABEL));
      certificateIds.insert(text(object, CKA_ID));
    } else if (kind == CKO_PRIVATE_KEY) {
      privateKeyIds.insert(text(object, CKA_ID));
    }
  }
  std::vector<std::string> problems;
  for (const std::string& id : certificateIds)
    if (!privateKeyIds.count(id)) problems.push_back("a certificate without its key, id " + Hex(id));
  auto catalog = data.find(containerformat::kCatalogLabel);
  if (catalog == data.end()) return problems;
  uint8_t version = 0;
  std::vector<std::string> names;
  if (!containerformat::readCatalog(catalog->second, &version, &names)) return {"the catalog cannot be read"};
  for (const std::string& name : names) {
    auto record = data.find(name);
    containerformat::RecordFields fields;
    if (record == data.end() || !containerformat::readRecord(record->second, &fields)) {
      problems.push_back((record == data.end() ? "the catalog names a missing container: "
                                               : "a container record that cannot be read: ") + WithoutGuids(name));
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

std::set<std::string> Lines(const std::string& digest) {
  std::set<std::string> lines;
  std::istringstream in(digest);
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

}  // namespace

Responder::Responder(HMODULE resources, const Script& script) : script_(script), pilot_(*this) {
  // Made once: each matcher makes its dialog from the template to learn it.
  static const testkit::WindowMatcher kManage = testkit::FromTemplate(resources, IDD_MANAGE_CERTIFICATES),
                                      kImport = testkit::FromTemplate(resources, IDD_IMPORT_CERTIFICATE),
                                      kDetails = testkit::FromTemplate(resources, IDD_CERTIFICATE_DETAILS),
                                      kAutoRegistration = testkit::FromTemplate(resources, IDD_AUTO_REGISTRATION);
  manage_ = kManage;
  import_ = kImport;
  details_ = kDetails;
  autoRegistration_ = kAutoRegistration;
  if (!pilot_.ready()) seen_.unexpected.push_back("the dialog pilot could not be set up");
}

void Responder::OnIdle(HWND window) {
  testkit::ModalWindow dialog(window);
  if (manage_(window)) {
    OnManage(dialog);
  } else if (import_(window)) {
    OnImport(dialog);
  } else if (details_(window) || autoRegistration_(window)) {
    dialog.Press(IDOK);
  } else {
    seen_.unexpected.push_back(dialog.Title());
    ::EndDialog(window, IDCANCEL);
  }
}

void Responder::OnBox(HWND window) {
  testkit::ModalWindow box(window);
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
  testkit::DialogPilot::Press(window, answer);
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


TokenState ReadToken(const std::wstring& path) {
  const std::vector<unsigned char> bytes = testkit::ReadWholeFile(path);
  softtoken::TokenImage image;
  if (!softtoken::TokenImage::decode(bytes.data(), bytes.size(), image))
    return {"no token image", {"the token file cannot be read"}};
  return {Digest(image), Problems(image)};
}

std::string StoreDigest(const std::vector<std::string>& certificates) {
  ScopedSystemStore my = testkit::OpenMy();
  std::string digest;
  for (const std::string& name : certificates) {
    const std::string info = testkit::KeyInfoIn(my.get(), name);
    digest += name + ": " + (info.empty() ? "absent" : WithoutGuids(info)) + "\n";
  }
  return digest;
}

void ResetStore(const std::vector<std::string>& certificates, const std::vector<std::string>& registered) {
  ScopedSystemStore my = testkit::OpenMy();
  if (!my) return;
  for (const std::string& name : certificates)
    if (ScopedCertContext found = testkit::FindInMy(my.get(), name)) ::CertDeleteCertificateFromStore(found.release());
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
  bytes_ = testkit::ReadWholeFile(path_);
}

bool TokenFileCopy::Restore() const {
  if (path_.empty()) return false;
  // A new file in its place: the library sees another file and reads it again.
  const std::wstring fresh = path_ + L".sweep";
  bool ok;
  {
    ScopedFileHandle file(::CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) return false;
    DWORD written = 0;
    ok = ::WriteFile(file.get(), bytes_.data(), static_cast<DWORD>(bytes_.size()), &written, nullptr) &&
         written == bytes_.size();
  }  // closed before the move
  return ok && ::MoveFileExW(fresh.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool Between(const std::string& got, const std::string& before, const std::string& after, const std::string& made) {
  const std::set<std::string> now = Lines(got), was = Lines(before), will = Lines(after), extra = Lines(made);
  for (const std::string& line : now)
    if (!was.count(line) && !will.count(line) && !extra.count(line)) return false;
  for (const std::string& line : was)
    if (will.count(line) && !now.count(line)) return false;
  return true;
}

std::string EmptyContainer(const TokenFileCopy& file) {
  const std::string provider = cspProviderName().text();
  {
    ScopedCryptProv made;
    EXPECT_TRUE(::CryptAcquireContextA(made.receive(), "00000000-0000-0000-0000-000000000000", provider.c_str(),
                                       PROV_RSA_FULL, CRYPT_NEWKEYSET | CRYPT_SILENT))
        << std::hex << ::GetLastError();
  }
  const std::string digest = ReadToken(file.path()).digest;
  EXPECT_TRUE(file.Restore());
  return digest;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "\n    " + line;
  return text;
}

}  // namespace sweep
