#include "dialogs/CertificateDetailsDialog.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "dialogs/CertificateListView.h"
#include "dialogs/FieldFormat.h"
#include "model/CryptoApi.h"
#include "model/HeapArray.h"
#include "model/SecretBuffer.h"
#include "res/resource.h"
#include "server/Module.h"

const DialogWindow::MessageEntry CertificateDetailsDialog::kMessageMap[] = {
    OnMessage(WM_INITDIALOG, &CertificateDetailsDialog::OnInitDialog),
    OnCommand(IDOK, AnyCode, &CertificateDetailsDialog::OnCloseCommand),
    OnCommand(IDCANCEL, AnyCode, &CertificateDetailsDialog::OnCloseCommand),
    OnMessage(WM_CLOSE, &CertificateDetailsDialog::OnCloseBox),
    OnMessage(WM_DESTROY, &CertificateDetailsDialog::OnDestroy),
    OnNotify(IDC_FIELD_LIST, LVN_ITEMCHANGED, &CertificateDetailsDialog::OnItemChanged),
};

namespace {

// X.500 form, most significant attribute first.
constexpr DWORD kNameForm = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG;

const ListViewControl::Column kColumns[] = {{IDS_COLUMN_FIELD, 40}, {IDS_COLUMN_VALUE, 60}, {0, 0}};

struct KeyUsageName {
  BYTE bit;
  UINT name;
};
const KeyUsageName kKeyUsages[] = {
    {CERT_DATA_ENCIPHERMENT_KEY_USAGE, IDS_KEY_USAGE_DATA_ENCIPHERMENT},
    {CERT_DIGITAL_SIGNATURE_KEY_USAGE, IDS_KEY_USAGE_DIGITAL_SIGNATURE},
    {CERT_KEY_AGREEMENT_KEY_USAGE, IDS_KEY_USAGE_KEY_AGREEMENT},
    {CERT_KEY_CERT_SIGN_KEY_USAGE, IDS_KEY_USAGE_CERT_SIGNING},
    {CERT_KEY_ENCIPHERMENT_KEY_USAGE, IDS_KEY_USAGE_KEY_ENCIPHERMENT},
    {CERT_NON_REPUDIATION_KEY_USAGE, IDS_KEY_USAGE_NON_REPUDIATION},
    {CERT_OFFLINE_CRL_SIGN_KEY_USAGE, IDS_KEY_USAGE_OFFLINE_CRL_SIGNING},
    {0, 0},
};

// A wide text of the system in the ANSI code page, at most 511 bytes of whole characters (a lead
// byte without its trail byte would swallow what follows).
std::string ShownText(const wchar_t* wide) {
  SecretBuffer text;
  text.AssignWide(wide, 511, SecretBuffer::Conversion::Shown);
  return text.text();
}

// The distinguished name in X.500 form; false when the conversion gives no length.
bool NameText(const CERT_NAME_BLOB& name, std::string& text) {
  CERT_NAME_BLOB blob = name;  // the platform's prototype takes a non-const pointer
  const DWORD length = ::CertNameToStrA(kCertEncoding, &blob, kNameForm, nullptr, 0);
  if (length == 0) return false;
  std::vector<char> buffer(length + 1, '\0');
  ::CertNameToStrA(kCertEncoding, &blob, kNameForm, buffer.data(), length + 1);
  text = buffer.data();
  return true;
}

// The display name of an identifier in the system's table; false when it is not there.
bool OidName(const char* oid, std::string& name) {
  if (!oid) return false;
  PCCRYPT_OID_INFO info = ::CryptFindOIDInfo(CRYPT_OID_INFO_OID_KEY, const_cast<char*>(oid), 0);
  if (!info) return false;
  name = ShownText(info->pwszName);
  return true;
}

// The decoded structure in one heap block; null when it does not decode.
HeapArray<BYTE> Decode(const char* structure, const BYTE* value, DWORD size) {
  DWORD needed = 0;
  if (!::CryptDecodeObject(X509_ASN_ENCODING, structure, value, size, CRYPT_DECODE_NOCOPY_FLAG, nullptr, &needed) ||
      needed == 0)
    return nullptr;
  HeapArray<BYTE> decoded = allocateArray<BYTE>(needed);
  if (!decoded) return nullptr;
  if (!::CryptDecodeObject(X509_ASN_ENCODING, structure, value, size, CRYPT_DECODE_NOCOPY_FLAG, decoded.get(),
                           &needed))
    return nullptr;
  return decoded;
}

std::string GroupedHex(const BYTE* bytes, DWORD size, bool lastFirst = false) {
  TextBuffer text;
  FieldFormat::groupedHex(bytes, size, lastFirst, text);
  return text.text();
}

HRESULT FormatAuthorityKeyId(const CERT_INFO&, const BYTE* value, DWORD size, TextBuffer& text, ByteBuffer*& data) {
  data = nullptr;
  // 2.5.29.35 values are read with the structure of 2.5.29.1 as well. Key identifier and
  // serial number read alike; an issuer given as a list of general names is no distinguished
  // name, converts to nothing and is left out, so such a value shows KeyID and serial number.
  HeapArray<BYTE> decoded = Decode(szOID_AUTHORITY_KEY_IDENTIFIER, value, size);
  if (!decoded) return E_FAIL;
  const auto* key = reinterpret_cast<const CERT_AUTHORITY_KEY_ID_INFO*>(decoded.get());
  std::string out = "KeyID=" + GroupedHex(key->KeyId.pbData, key->KeyId.cbData);
  std::string issuer;
  if (key->CertIssuer.cbData != 0 && NameText(key->CertIssuer, issuer) && !issuer.empty()) out += "," + issuer;
  const std::string serial = GroupedHex(key->CertSerialNumber.pbData, key->CertSerialNumber.cbData, true);
  if (!serial.empty()) out += ",Certificate Serial Number=" + serial;
  return text.assign(out.c_str());
}

HRESULT FormatSubjectKeyId(const CERT_INFO&, const BYTE* value, DWORD size, TextBuffer& text, ByteBuffer*& data) {
  data = nullptr;
  HeapArray<BYTE> decoded = Decode(szOID_SUBJECT_KEY_IDENTIFIER, value, size);
  if (!decoded) return E_FAIL;
  const auto* id = reinterpret_cast<const CRYPT_DATA_BLOB*>(decoded.get());
  return text.assign(GroupedHex(id->pbData, id->cbData).c_str());
}

HRESULT FormatCrlDistributionPoints(const CERT_INFO&, const BYTE* value, DWORD size, TextBuffer& text,
                                    ByteBuffer*& data) {
  data = nullptr;
  HeapArray<BYTE> decoded = Decode(szOID_CRL_DIST_POINTS, value, size);
  if (!decoded) return E_FAIL;
  const auto* points = reinterpret_cast<const CRL_DIST_POINTS_INFO*>(decoded.get());
  std::string out;
  for (DWORD i = 0; i < points->cDistPoint; ++i) {
    if (i != 0) out += ",";
    char number[32];
    std::snprintf(number, sizeof number, "[%lu]", static_cast<unsigned long>(i + 1));
    out += number;
    out += "CRL Distribution Point,";
    const CRL_DIST_POINT_NAME& name = points->rgDistPoint[i].DistPointName;
    if (name.dwDistPointNameChoice != CRL_DIST_POINT_FULL_NAME) continue;
    out += "Distribution Point Name:,";
    for (DWORD j = 0; j < name.FullName.cAltEntry; ++j) {
      const CERT_ALT_NAME_ENTRY& entry = name.FullName.rgAltEntry[j];
      std::string directory;
      switch (entry.dwAltNameChoice) {
        case CERT_ALT_NAME_RFC822_NAME:
          out += ", E-mail=" + ShownText(entry.pwszRfc822Name);
          break;
        case CERT_ALT_NAME_DNS_NAME:
          out += ", DNS=" + ShownText(entry.pwszDNSName);
          break;
        case CERT_ALT_NAME_DIRECTORY_NAME:
          if (NameText(entry.DirectoryName, directory)) out += ", Directory Address:," + directory;
          break;
        case CERT_ALT_NAME_URL:
          out += ", URL=" + ShownText(entry.pwszURL);
          break;
        case CERT_ALT_NAME_IP_ADDRESS:
          // The address bytes go through the name conversion; what it makes of them is shown.
          NameText(entry.IPAddress, directory);
          out += ", IP Address:," + directory;
          break;
        case CERT_ALT_NAME_REGISTERED_ID:
          if (entry.pszRegisteredID) out += std::string(", OID=") + entry.pszRegisteredID;
          break;
        default:
          break;
      }
    }
  }
  return text.assign(out.c_str());
}

HRESULT FormatCertificatePolicies(const CERT_INFO&, const BYTE*, DWORD, TextBuffer& text, ByteBuffer*& data) {
  data = nullptr;
  text.clear();
  return S_OK;
}

HRESULT FormatKeyUsage(const CERT_INFO& info, const BYTE*, DWORD, TextBuffer& text, ByteBuffer*& data) {
  data = nullptr;
  BYTE usage = 0;
  if (!::CertGetIntendedKeyUsage(X509_ASN_ENCODING, const_cast<CERT_INFO*>(&info), &usage, 1)) return E_FAIL;
  std::string out;
  for (const KeyUsageName* entry = kKeyUsages; entry->bit != 0; ++entry) {
    if (!(usage & entry->bit)) continue;
    if (!out.empty()) out += ", ";
    char name[512];
    out += Module::LoadText(entry->name, name);
  }
  return text.assign(out.c_str());
}

struct ExtensionFormat {
  const char* oid;
  CertificateDetailsDialog::Formatter format;
};
const ExtensionFormat kExtensions[] = {
    {szOID_AUTHORITY_KEY_IDENTIFIER, &FormatAuthorityKeyId},
    {szOID_AUTHORITY_KEY_IDENTIFIER2, &FormatAuthorityKeyId},
    {szOID_SUBJECT_KEY_IDENTIFIER, &FormatSubjectKeyId},
    {szOID_CRL_DIST_POINTS, &FormatCrlDistributionPoints},
    {szOID_CERT_POLICIES, &FormatCertificatePolicies},
    {szOID_KEY_USAGE, &FormatKeyUsage},
    {szOID_KEY_ATTRIBUTES, &FormatKeyUsage},
    {nullptr, nullptr},
};

CertificateDetailsDialog::Formatter FormatterOf(const char* oid) {
  for (const ExtensionFormat* entry = kExtensions; entry->oid; ++entry) {
    if (std::strcmp(entry->oid, oid) == 0) return entry->format;
  }
  return nullptr;
}

// A heap copy of the bytes as row data; null when it cannot be made.
ByteBuffer* RowData(const BYTE* bytes, DWORD size) {
  std::unique_ptr<ByteBuffer> data(new (std::nothrow) ByteBuffer);
  if (!data) return nullptr;
  if (size != 0 && FAILED(data->assign(bytes, size))) return nullptr;
  return data.release();
}

}  // namespace

CertificateDetailsDialog::CertificateDetailsDialog(const CertificateRecord* record)
    : DialogWindow(IDD_CERTIFICATE_DETAILS, kMessageMap), record_(record) {
  // The template's list control needs its class before the dialog is made.
  ListViewControl::InitControls();
}

CertificateDetailsDialog::~CertificateDetailsDialog() = default;

LRESULT CertificateDetailsDialog::OnInitDialog(UINT, WPARAM, LPARAM) {
  SetUpList();
  Fill();
  return TRUE;
}

LRESULT CertificateDetailsDialog::OnCloseCommand(UINT, WPARAM wParam, LPARAM) {
  ReleaseRowData();
  ::EndDialog(Window(), LOWORD(wParam));
  return 0;
}

LRESULT CertificateDetailsDialog::OnCloseBox(UINT, WPARAM, LPARAM) {
  ReleaseRowData();
  ::EndDialog(Window(), 0);
  return 0;
}

LRESULT CertificateDetailsDialog::OnDestroy(UINT, WPARAM, LPARAM) {
  // Nothing is left when the dialog ended through its own handlers; this covers the others.
  ReleaseRowData();
  return 0;
}

LRESULT CertificateDetailsDialog::OnItemChanged(UINT, WPARAM, LPARAM lParam) {
  const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
  // Only a row becoming selected and focused; a row losing its selection leaves the pane as it is.
  if (change->iItem >= 0 && change->uNewState == (LVIS_SELECTED | LVIS_FOCUSED)) ShowValue(change->iItem);
  return 0;
}

void CertificateDetailsDialog::SetUpList() {
  list_.Attach(Window(), IDC_FIELD_LIST);
  list_.InsertColumns(kColumns);
  list_.ModifyExtendedStyle(0, LVS_EX_FULLROWSELECT);
  nextRow_ = 0;
  valuePane_ = Item(IDC_VALUE_PANE);
}

bool CertificateDetailsDialog::AddRow(const char* label, const char* value, ByteBuffer* data) {
  const int row = list_.InsertOrSetItemText(nextRow_, 0, label);
  list_.InsertOrSetItemText(row, 1, value);
  if (data && !list_.SetItem(row, 0, LVIF_PARAM, nullptr, 0, 0, 0, reinterpret_cast<LPARAM>(data))) {
    delete data;
    return false;
  }
  ++nextRow_;
  return true;
}

bool CertificateDetailsDialog::AddRow(UINT label, const char* value, ByteBuffer* data) {
  char text[512];
  return AddRow(Module::LoadText(label, text), value, data);
}

void CertificateDetailsDialog::ReleaseRowData() {
  if (!list_.Window()) return;
  const int rows = static_cast<int>(::SendMessageA(list_.Window(), LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows; ++row) {
    delete reinterpret_cast<ByteBuffer*>(list_.GetItemData(row));
    list_.SetItem(row, 0, LVIF_PARAM, nullptr, 0, 0, 0, 0);
  }
  list_.DeleteAllItems();
  nextRow_ = 0;
}

void CertificateDetailsDialog::Fill() {
  if (!record_ || !record_->context || !record_->context.get()->pCertInfo) return;
  const CERT_INFO& info = *record_->context.get()->pCertInfo;
  ReleaseRowData();

  char text[512];
  std::snprintf(text, sizeof text, "V%lu", static_cast<unsigned long>(info.dwVersion + 1));
  AddRow(IDS_FIELD_VERSION, text);
  AddRow(IDS_FIELD_SERIAL_NUMBER, record_->serialNumberGrouped.text());

  std::string value;
  if (OidName(info.SignatureAlgorithm.pszObjId, value)) AddRow(IDS_FIELD_SIGNATURE_ALGORITHM, value.c_str());
  if (NameText(info.Issuer, value)) AddRow(IDS_FIELD_ISSUER, value.c_str());
  char date[500];
  AddRow(IDS_FIELD_VALID_FROM, CertificateListView::DateText(record_->notBefore, date));
  AddRow(IDS_FIELD_VALID_TO, CertificateListView::DateText(record_->notAfter, date));
  if (NameText(info.Subject, value)) AddRow(IDS_FIELD_SUBJECT, value.c_str());

  const CERT_PUBLIC_KEY_INFO& key = info.SubjectPublicKeyInfo;
  if (OidName(key.Algorithm.pszObjId, value)) {
    const DWORD bits = ::CertGetPublicKeyLength(kCertEncoding, const_cast<CERT_PUBLIC_KEY_INFO*>(&key));
    std::snprintf(text, sizeof text, "%s(%lu Bits)", value.c_str(), static_cast<unsigned long>(bits));
    ByteBuffer* data = RowData(key.PublicKey.pbData, key.PublicKey.cbData);
    if (!data || !AddRow(IDS_FIELD_PUBLIC_KEY, text, data)) return;
  }

  for (DWORD i = 0; i < info.cExtension; ++i) {
    const CERT_EXTENSION& extension = info.rgExtension[i];
    std::string name;
    if (!OidName(extension.pszObjId, name)) continue;
    const Formatter format = FormatterOf(extension.pszObjId);
    if (!format) continue;
    TextBuffer formatted;
    ByteBuffer* data = nullptr;
    if (format(info, extension.Value.pbData, extension.Value.cbData, formatted, data) != S_OK) continue;
    AddRow(name.c_str(), formatted.text(), data);
  }

  char algorithm[512];
  AddRow(IDS_FIELD_THUMBPRINT_ALGORITHM, Module::LoadText(IDS_THUMBPRINT_ALGORITHM_SHA1, algorithm));
  const ByteBuffer& thumbprint = record_->thumbprint;
  ByteBuffer* data = RowData(thumbprint.data(), thumbprint.size());
  if (!data || !AddRow(IDS_FIELD_THUMBPRINT, GroupedHex(thumbprint.data(), thumbprint.size()).c_str(), data))
    return;
  // The rows may have taken a scroll bar's width from the client area.
  list_.SizeColumns(kColumns);
}

void CertificateDetailsDialog::ShowValue(int row) {
  if (!valuePane_) return;
  const int lines = static_cast<int>(::SendMessageA(valuePane_, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < lines; ++i) ::SendMessageA(valuePane_, LB_DELETESTRING, 0, 0);

  std::vector<std::string> pieces;
  if (const ByteBuffer* data = reinterpret_cast<const ByteBuffer*>(list_.GetItemData(row))) {
    pieces = FieldFormat::hexDumpLines(data->data(), data->size());
  } else {
    char value[513] = "";
    LVITEMA item = {};
    item.iSubItem = 1;
    item.pszText = value;
    item.cchTextMax = 512;
    ::SendMessageA(list_.Window(), LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    // At most 511 characters; Wine's control may fill all 512 bytes without a terminator.
    value[511] = '\0';
    pieces = FieldFormat::paneLines(value);
  }
  for (const std::string& piece : pieces)
    ::SendMessageA(valuePane_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(piece.c_str()));
}
