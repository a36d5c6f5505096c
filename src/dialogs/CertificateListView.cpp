#include "dialogs/CertificateListView.h"

#include <cstdio>
#include <new>

#include "res/resource.h"
#include "server/Module.h"

LONG SortAscending = 1;

namespace {

// Wider than the control in total: the list scrolls sideways.
const ListViewControl::Column kColumns[] = {
    {IDS_COLUMN_ISSUED_TO, 30},     {IDS_COLUMN_ISSUED_BY, 30},     {IDS_COLUMN_EXPIRATION_DATE, 16},
    {IDS_COLUMN_REGISTERED, 12},    {IDS_COLUMN_LOGON, 12},         {IDS_COLUMN_SERIAL_NUMBER, 40},
    {IDS_COLUMN_CONTAINER_LABEL, 40}, {0, 0},
};

int ImageOf(const CertificateRecord& record) {
  return record.hasContainer ? CertificateListView::WithContainer : CertificateListView::WithoutContainer;
}

}  // namespace

const char* CertificateListView::DateText(const FILETIME& utc, char (&buffer)[500]) {
  FILETIME local;
  SYSTEMTIME date;
  buffer[0] = '\0';
  if (::FileTimeToLocalFileTime(&utc, &local) && ::FileTimeToSystemTime(&local, &date))
    std::snprintf(buffer, sizeof buffer, "%d/%d/%d", date.wMonth, date.wDay, date.wYear);
  return buffer;
}

CertificateListView::~CertificateListView() {
  Clear();
  // The control shares its image lists (LoadImages), so imageList_ is their only owner.
}

HRESULT CertificateListView::LoadImages() {
  InitControls();
  ScopedImageList images(::ImageList_LoadImageA(Module::Instance(), MAKEINTRESOURCEA(IDB_CERTIFICATES), 16, 2,
                                                CLR_NONE, IMAGE_BITMAP, LR_DEFAULTCOLOR));
  if (!images) return E_FAIL;
  imageList_ = std::move(images);
  // Without this style the control would destroy the list with itself, and then the destructor again.
  const LONG_PTR style = ::GetWindowLongPtrA(window_, GWL_STYLE);
  ::SetWindowLongPtrA(window_, GWL_STYLE, style | LVS_SHAREIMAGELISTS);
  ::SendMessageA(window_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(imageList_.get()));
  ModifyExtendedStyle(0, LVS_EX_FULLROWSELECT);
  return S_OK;
}

HRESULT CertificateListView::CreateColumns() {
  InsertColumns(kColumns);
  return S_OK;
}

const char* CertificateListView::CellText(const CertificateRecord& record, int column, char (&buffer)[500]) {
  switch (column) {
    case IssuedTo:
      return record.subject.text();
    case IssuedBy:
      return record.issuer.text();
    case ExpirationDate:
      return DateText(record.notAfter, buffer);
    case Registered:
      return Module::LoadText(record.registered ? IDS_REGISTERED_YES : IDS_REGISTERED_NO, buffer);
    case Logon:
      if (!record.logonCapable) return Module::LoadText(IDS_LOGON_NOT_APPLICABLE, buffer);
      return Module::LoadText(record.isDefaultLogon ? IDS_LOGON_YES : IDS_LOGON_NO, buffer);
    case SerialNumber:
      return record.serialNumberGrouped.text();
    case ContainerLabel:
      return record.containerName.text();
    default:
      return "";
  }
}

HRESULT CertificateListView::AddRecord(std::unique_ptr<CertificateRecord> record) {
  if (!record) return E_POINTER;
  char buffer[500];
  const int row = InsertOrSetItemText(rowCount_, IssuedTo, CellText(*record, IssuedTo, buffer), ImageOf(*record));
  if (row < 0) return E_FAIL;
  for (int column = IssuedBy; column < ColumnCount; ++column)
    InsertOrSetItemText(row, column, CellText(*record, column, buffer));
  try {
    records_.push_back(std::move(record));
  } catch (const std::bad_alloc&) {
    ::SendMessageA(window_, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
    return E_FAIL;
  }
  records_.back()->rowIndex = rowCount_;
  SetItem(row, 0, LVIF_PARAM, nullptr, 0, 0, 0, reinterpret_cast<LPARAM>(records_.back().get()));
  ++rowCount_;
  return S_OK;
}

CertificateRecord* CertificateListView::RecordAt(int row) const {
  return reinterpret_cast<CertificateRecord*>(GetItemData(row));
}

CertificateRecord* CertificateListView::SelectedRecord() const {
  const int row = static_cast<int>(::SendMessageA(window_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                  MAKELPARAM(LVNI_SELECTED, 0)));
  return row < 0 ? nullptr : RecordAt(row);
}

HRESULT CertificateListView::UpdateRecord(CertificateRecord* record) {
  if (!record) return E_POINTER;
  if (record->rowIndex < 0) return E_FAIL;
  ::SendMessageA(window_, WM_SETREDRAW, FALSE, 0);
  const int row = record->rowIndex;
  SetItem(row, IssuedTo, LVIF_IMAGE, nullptr, ImageOf(*record), 0, 0, 0);
  char buffer[500];
  // Column 0 of InsertOrSetItemText would insert a row, so its text goes through SetItem.
  SetItem(row, IssuedTo, LVIF_TEXT, CellText(*record, IssuedTo, buffer), 0, 0, 0, 0);
  for (int column = IssuedBy; column < ColumnCount; ++column)
    InsertOrSetItemText(row, column, CellText(*record, column, buffer));
  ::SendMessageA(window_, WM_SETREDRAW, TRUE, 0);
  return S_OK;
}

void CertificateListView::Clear() {
  if (rowCount_ == 0 && records_.empty()) return;
  rowCount_ = 0;
  // The rows go first, so no row is left pointing at a deleted record.
  DeleteAllItems();
  records_.clear();
}

void CertificateListView::Renumber() {
  rowCount_ = 0;
  const int rows = static_cast<int>(::SendMessageA(window_, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows; ++row) {
    CertificateRecord* record = RecordAt(row);
    if (record) record->rowIndex = rowCount_++;
  }
}

HRESULT CertificateListView::ClearDefaultLogon() {
  const int rows = static_cast<int>(::SendMessageA(window_, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows; ++row) {
    CertificateRecord* record = RecordAt(row);
    if (!record || !record->isDefaultLogon) continue;
    record->isDefaultLogon = false;
    UpdateRecord(record);
  }
  return S_OK;
}

void CertificateListView::SelectRow(int row) {
  const UINT lowStates = LVIS_FOCUSED | LVIS_SELECTED | LVIS_CUT | LVIS_DROPHILITED;
  SetItem(row, 0, LVIF_STATE, nullptr, 0, LVIS_SELECTED | LVIS_FOCUSED, lowStates, 0);
  ::SetFocus(window_);
  ::SendMessageA(window_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

BOOL CertificateListView::SortByColumn(int column) {
  const BOOL sorted = static_cast<BOOL>(::SendMessageA(window_, LVM_SORTITEMS, static_cast<WPARAM>(column),
                                                       reinterpret_cast<LPARAM>(&CompareRecords)));
  Renumber();
  return sorted;
}

int CALLBACK CertificateListView::CompareRecords(LPARAM first, LPARAM second, LPARAM column) {
  const CertificateRecord* a = reinterpret_cast<const CertificateRecord*>(SortAscending ? first : second);
  const CertificateRecord* b = reinterpret_cast<const CertificateRecord*>(SortAscending ? second : first);
  if (!a || !b) return 0;
  char left[500], right[500];
  switch (column) {
    case IssuedTo:
      return ::lstrcmpiA(a->subject.text(), b->subject.text());
    case IssuedBy:
      return ::lstrcmpiA(a->issuer.text(), b->issuer.text());
    case ExpirationDate:
      return ::CompareFileTime(&a->notAfter, &b->notAfter);
    case Registered:
    case Logon:
      return ::lstrcmpiA(CellText(*a, static_cast<int>(column), left), CellText(*b, static_cast<int>(column), right));
    case SerialNumber:
      return ::lstrcmpiA(a->serialNumber.text(), b->serialNumber.text());
    case ContainerLabel:
      return ::lstrcmpiA(a->containerName.text(), b->containerName.text());
    default:
      return 0;
  }
}
