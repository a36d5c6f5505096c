#include "dialogs/ImportCertificateDialog.h"

#include <commdlg.h>
#include <rpc.h>

#include <cstdio>
#include <memory>

#include "dialogs/ZeltUtilImportCert.h"
#include "model/ByteBufferBlob.h"
#include "model/CertificateRecord.h"
#include "model/ScopedFileHandle.h"
#include "model/ScopedRpcString.h"
#include "model/SecretBuffer.h"
#include "model/Token.h"
#include "model/WaitCursor.h"
#include "page/UserPage.h"
#include "res/resource.h"

const DialogWindow::MessageEntry ImportCertificateDialog::kMessageMap[] = {
    OnMessage(WM_INITDIALOG, &ImportCertificateDialog::OnInitDialog),
    OnCommand(IDC_BROWSE, BN_CLICKED, &ImportCertificateDialog::OnBrowse),
    OnCommand(IDC_ADVANCED, BN_CLICKED, &ImportCertificateDialog::OnAdvanced),
    OnCommand(IDC_IMPORT_OK, BN_CLICKED, &ImportCertificateDialog::OnOk),
    OnCommand(IDCANCEL, AnyCode, &ImportCertificateDialog::OnCancel),
};

namespace {

const int kTextSize = 260;
// Room for 49 certificates and the terminating null; the token lists at most 20.
const int kMaxExisting = 50;

// The last component of `path`, extension included: what follows its drive and
// its last "\" or "/". Double-byte characters are stepped over whole, so a
// trail byte is never taken for a separator.
void FileNameOf(const char* path, char* name, size_t capacity) {
  const char* start = path;
  if (path[0] && path[1] == ':') start = path + 2;
  for (const char* p = start; *p; p = ::CharNextA(p)) {
    if (*p == '\\' || *p == '/') start = p + 1;
  }
  std::snprintf(name, capacity, "%s", start);
}

}  // namespace

ImportCertificateDialog::ImportCertificateDialog(UserPage* page, Token* token)
    : DialogWindow(IDD_IMPORT_CERTIFICATE, kMessageMap), page_(page), token_(token) {}

LRESULT ImportCertificateDialog::OnInitDialog(UINT, WPARAM, LPARAM) { return TRUE; }

LRESULT ImportCertificateDialog::OnBrowse(UINT, WPARAM, LPARAM) {
  char file[kTextSize] = "";
  char title[kTextSize] = "";
  OPENFILENAMEA request = {};
  // The form without the members that Windows 2000 added.
  request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  request.hwndOwner = Window();
  request.lpstrFilter = "PKCS #12 Certificates: *.p12;*.pfx\0*.p12;*.pfx\0All Files (*.*)\0*.*\0";
  request.nFilterIndex = 0;
  request.lpstrFile = file;
  request.nMaxFile = sizeof file;
  request.lpstrFileTitle = title;
  request.nMaxFileTitle = sizeof title;
  request.lpstrTitle = "Open";
  request.Flags = OFN_EXPLORER;
  if (::GetOpenFileNameA(&request)) ::SetDlgItemTextA(Window(), IDC_FILE_PATH, file);
  return 0;
}

LRESULT ImportCertificateDialog::OnAdvanced(UINT, WPARAM, LPARAM) {
  advanced_.Run(::GetActiveWindow());
  return 0;
}

LRESULT ImportCertificateDialog::OnOk(UINT, WPARAM, LPARAM) {
  if (!page_ || !page_->HostToken() || !token_) return 0;
  SecretBuffer path;  // not secret; the module's one conversion to the ANSI code page
  HRESULT converted = ReadItemText(IDC_FILE_PATH, path);
  if (converted == S_OK && path.length() == 0) {
    page_->ShowErrorMessage(IDS_SELECT_FILE, 0, Window());
    return -1;
  }
  if (converted != S_OK) {
    page_->ShowTextRefused(converted, Window(), TokenPropertyPage::RefusedText::Path);
    return -1;
  }
  // The file dialog does not check that the file exists; a file that cannot be read counts as missing.
  ScopedFileHandle file(::CreateFileA(path.data(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  if (!file) {
    page_->ShowErrorMessage(IDS_FILE_NOT_FOUND, 0, Window());
    return -1;
  }
  file.reset();

  SecretBuffer filePassword;
  converted = ReadItemText(IDC_FILE_PASSWORD, filePassword);
  if (converted != S_OK) {
    page_->ShowTextRefused(converted, Window());
    return -1;
  }
  LONG result = ZeltUtilImportCert_QReadP12File(path.data(), filePassword.data());
  if (result != 0) {
    page_->ShowErrorMessage(IDS_IMPORT_FAILED, result, Window());
    return -1;
  }
  SecretBuffer password;
  const HRESULT asked = page_->AskPassword(Window(), password);
  if (asked == S_FALSE) return 0;
  if (asked != S_OK) return -1;

  WaitCursor wait;
  page_->ShowStatus(IDS_IMPORTING, Window());
  if (!ImportOntoToken(path.data(), password, &result)) return -1;
  page_->HideStatus();
  if (result == 0) {
    page_->ShowMessage(IDS_IMPORT_SUCCEEDED, Window(), MB_ICONINFORMATION);
    ::EndDialog(Window(), IDC_IMPORT_OK);
    return 0;
  }
  if (result == 1) {
    page_->ShowMessage(IDS_CERTIFICATE_EXISTS, Window(), MB_ICONEXCLAMATION);
  } else {
    page_->ShowErrorMessage(IDS_IMPORT_FAILED, result, Window());
  }
  return -1;
}

LRESULT ImportCertificateDialog::OnCancel(UINT, WPARAM, LPARAM) {
  ::EndDialog(Window(), IDCANCEL);
  return 0;
}

HRESULT ImportCertificateDialog::ReadItemText(int id, SecretBuffer& text) {
  wchar_t typed[kTextSize] = L"";
  ::GetDlgItemTextW(Window(), id, typed, kTextSize);
  const HRESULT converted = text.AssignWide(typed, SecretBuffer::kTextLimit);
  ::SecureZeroMemory(typed, sizeof typed);
  return converted;
}

bool ImportCertificateDialog::ImportOntoToken(const char* path, const SecretBuffer& password, LONG* result) {
  *result = page_->ReadCertificates();
  if (*result != S_OK) return true;

  // The list points into the records, which live until the library has returned.
  std::unique_ptr<CertificateRecord> records[kMaxExisting];
  CRYPT_DATA_BLOB* existing[kMaxExisting] = {};
  int count = 0;
  HRESULT ended = Token::kNoMoreCertificates;
  for (bool restart = true; count < kMaxExisting - 1; restart = false) {
    std::unique_ptr<CertificateRecord> record;
    ended = token_->nextCertificate(restart, record);
    if (!record) break;
    // DataBlob has the layout of CRYPT_DATA_BLOB (checked in ByteBufferBlob.h).
    existing[count] = reinterpret_cast<CRYPT_DATA_BLOB*>(record->encoded.blob());
    records[count++] = std::move(record);
  }
  // A list cut short by a failed read could let the library add a certificate that the token
  // already holds: the read's failure is the import's.
  if (ended != Token::kNoMoreCertificates && FAILED(ended)) {
    *result = ended;
    return true;
  }

  char container[kTextSize] = "";
  ScopedRpcString uuidText;
  if (ContainerNamingChoice == IDC_USE_FILE_NAME) {
    FileNameOf(path, container, sizeof container);
  } else {
    UUID uuid;
    ::UuidCreate(&uuid);
    ::UuidToStringA(&uuid, uuidText.receive());
    if (!uuidText) {
      page_->HideStatus();
      page_->ShowErrorMessage(0, E_OUTOFMEMORY, nullptr);
      return false;
    }
    std::snprintf(container, sizeof container, "%s", reinterpret_cast<const char*>(uuidText.get()));
  }

  *result = ZeltUtilImportCert_QImportCertificate(container, password.data(), existing);
  uuidText.reset();
  for (int i = 0; i < count; ++i) records[i].reset();
  return true;
}
