#pragma once
// The certificate list of the Manage certificates dialog: one row per
// CertificateRecord in seven columns, an image telling whether the
// certificate has a key container, and the sort comparison. The list owns
// the records it shows, from AddRecord until Clear.
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <vector>

#include "dialogs/ListViewControl.h"
#include "model/CertificateRecord.h"
#include "model/ScopedImageList.h"

// Direction of the next sort, shared by every list of the process; true at
// start. The dialog flips it after each sort, so clicks alternate directions.
extern LONG SortAscending;

class CertificateListView : public ListViewControl {
 public:
  enum Column : int {
    IssuedTo,
    IssuedBy,
    ExpirationDate,
    Registered,
    Logon,
    SerialNumber,
    ContainerLabel,
    ColumnCount
  };
  // Images of bitmap IDB_CERTIFICATES.
  enum Image : int { WithContainer = 0, WithoutContainer = 1 };

  CertificateListView() = default;
  // Deletes the records; the image list goes after the control has gone.
  ~CertificateListView() override;

  // The two-image small icon list and full-row selection. E_FAIL when the bitmap does not load.
  HRESULT LoadImages();
  // The seven columns, sized in percent of the control's client width. Always S_OK.
  HRESULT CreateColumns();

  // Appends a row for the record and takes it over. E_POINTER for none,
  // E_FAIL (record deleted) when the control refuses the row.
  HRESULT AddRecord(std::unique_ptr<CertificateRecord> record);
  // The record of a row, or null; the list keeps owning it.
  CertificateRecord* RecordAt(int row) const;
  // The record of the first selected row, or null.
  CertificateRecord* SelectedRecord() const;
  // Rewrites the image and all cells of the record's row. E_POINTER for
  // none, E_FAIL for a record that is in no row.
  HRESULT UpdateRecord(CertificateRecord* record);
  // Deletes every row and every record.
  void Clear();
  // Gives every record its current row position; after every sort.
  void Renumber();
  // Clears isDefaultLogon wherever it is set and rewrites those rows. Always S_OK.
  HRESULT ClearDefaultLogon();
  // Selects and focuses the row, gives the control the focus and scrolls the row into view.
  void SelectRow(int row);
  // Sorts the rows by `column` in the direction SortAscending gives, then renumbers.
  BOOL SortByColumn(int column);

  // The list control's sort callback: `column` is the clicked column's index.
  // Negative when `first` goes first in the current direction.
  static int CALLBACK CompareRecords(LPARAM first, LPARAM second, LPARAM column);

  // The text of a record's cell as the list shows it: a field of the record,
  // or `buffer` filled with a date or a string of the module; "" for an unknown column.
  static const char* CellText(const CertificateRecord& record, int column, char (&buffer)[500]);

  // A UTC file time as the local calendar date "month/day/year", without leading zeros.
  static const char* DateText(const FILETIME& utc, char (&buffer)[500]);

  int RowCount() const { return rowCount_; }
  HIMAGELIST ImageList() const { return imageList_.get(); }

 private:
  int rowCount_ = 0;
  // The records of the rows, in the order they were added; each row's item
  // data points into this. Held here so that they go with the list even when
  // the control has been destroyed first.
  std::vector<std::unique_ptr<CertificateRecord>> records_;
  ScopedImageList imageList_;
};
