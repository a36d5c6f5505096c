// The Manage dialog's certificate list on a real list control (template 201):
// the columns and cells the user reads, the image per record, sorting with
// the process-wide direction, and the records the list owns.
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ListTestKit.h"
#include "dialogs/CertificateListView.h"
#include "res/resource.h"
#include "server/Module.h"

using listkit::CellText;
using listkit::RecordOf;
using listkit::UtcTime;

namespace {

// Counts deletions, to see who deletes a record and when.
struct CountedRecord : CertificateRecord {
  ~CountedRecord() override { ++deleted; }
  static int deleted;
};
int CountedRecord::deleted = 0;

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class CertificateListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog_ = ::CreateDialogParamA(Module::Instance(), MAKEINTRESOURCEA(IDD_MANAGE_CERTIFICATES), nullptr,
                                   &PlainDialogProc, 0);
    ASSERT_NE(nullptr, dialog_) << "error " << ::GetLastError();
    ASSERT_TRUE(list_.Attach(dialog_, IDC_CERTIFICATE_LIST));
    ASSERT_EQ(S_OK, list_.LoadImages());
    ASSERT_EQ(S_OK, list_.CreateColumns());
    SortAscending = 1;  // as in a fresh process
    CountedRecord::deleted = 0;
  }
  void TearDown() override {
    if (dialog_) ::DestroyWindow(dialog_);
  }

  HWND control() const { return list_.Window(); }
  std::vector<std::string> Column(int column) const {
    std::vector<std::string> cells;
    for (int row = 0; row < listkit::RowCount(control()); ++row) cells.push_back(CellText(control(), row, column));
    return cells;
  }
  int ImageAt(int row) const {
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    ::SendMessageA(control(), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
  }
  CertificateRecord* Add(std::unique_ptr<CertificateRecord> record) {
    CertificateRecord* added = record.get();
    EXPECT_EQ(S_OK, list_.AddRecord(std::move(record)));
    return added;
  }
  // A column click as the Manage dialog handles it.
  void ClickColumn(int column) {
    ASSERT_TRUE(list_.SortByColumn(column));
    SortAscending = !SortAscending;
    for (int row = 0; row < listkit::RowCount(control()); ++row)
      ASSERT_EQ(row, list_.RecordAt(row)->rowIndex) << "record of row " << row;
  }

  HWND dialog_ = nullptr;
  CertificateListView list_;
};

TEST_F(CertificateListTest, ShowsSevenColumnsImagesAndCellTexts) {
  RECT client;
  ::GetClientRect(control(), &client);
  const std::pair<const char*, int> columns[] = {{"Issued To", 30}, {"Issued By", 30}, {"Expiration Date", 16},
                                                 {"Registered", 12}, {"Logon", 12},     {"Serial Number", 40},
                                                 {"Container Label", 40}};
  for (int column = 0; column < 7; ++column) {
    char text[64] = "";
    LVCOLUMNA info = {};
    info.mask = LVCF_TEXT, info.pszText = text, info.cchTextMax = sizeof text;
    ASSERT_TRUE(::SendMessageA(control(), LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&info))) << column;
    EXPECT_STREQ(columns[column].first, text);
    EXPECT_EQ(columns[column].second * client.right / 100, ::SendMessageA(control(), LVM_GETCOLUMNWIDTH, column, 0));
  }

  auto jane = RecordOf("jane-doe");
  jane->notAfter = UtcTime(2003, 1, 5, 12);
  jane->hasContainer = jane->registered = jane->logonCapable = jane->isDefaultLogon = true;
  jane->containerName.assign("Jane's Key");
  auto corp = RecordOf("example-corp");
  corp->notAfter = UtcTime(2031, 11, 23, 12);
  auto blank = std::make_unique<CertificateRecord>();
  blank->notAfter = UtcTime(2010, 10, 10, 12);
  blank->logonCapable = true;
  Add(std::move(jane));
  Add(std::move(corp));
  Add(std::move(blank));

  const std::vector<std::vector<std::string>> rows = {
      {"Jane Doe", "Zelt Test CA", "1/5/2003", "<Yes>", "<Yes>", "0A1B 2C3D 4E5F 6071 8293 A4B5 C6D7 E8F9 ",
       "Jane's Key"},
      {"Example Corp", "Zelt Test CA", "11/23/2031", "<No>", "<N/A>", "0A1B 2C", ""},
      {"", "", "10/10/2010", "<No>", "<No>", "", ""},
  };
  ASSERT_EQ(3, listkit::RowCount(control()));
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 7; ++column)
      EXPECT_EQ(rows[row][column], CellText(control(), row, column)) << "row " << row << " column " << column;
  EXPECT_EQ(0, ImageAt(0)) << "with container: the coloured certificate";
  EXPECT_EQ(1, ImageAt(1)) << "without container: the grey one";

  // The bitmap itself is the resources suite's; here, that the control shows the list's images.
  EXPECT_EQ(reinterpret_cast<LRESULT>(list_.ImageList()), ::SendMessageA(control(), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
  EXPECT_TRUE(::SendMessageA(control(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
}

TEST_F(CertificateListTest, EachClickReversesTheDirectionAndRowsFollowTheirRecords) {
  auto jane = RecordOf("jane-doe");
  jane->notAfter = UtcTime(2030, 6, 1, 14);
  jane->registered = jane->hasContainer = jane->logonCapable = jane->isDefaultLogon = true;
  auto corp = RecordOf("example-corp");
  corp->notAfter = UtcTime(2030, 6, 1, 12);  // same day, earlier
  corp->logonCapable = true;
  auto blank = std::make_unique<CertificateRecord>();
  blank->notAfter = UtcTime(2030, 5, 31, 23);
  Add(std::move(jane));
  Add(std::move(corp));
  CertificateRecord* blankRecord = Add(std::move(blank));

  using Cells = std::vector<std::string>;
  ClickColumn(CertificateListView::IssuedTo);
  EXPECT_EQ((Cells{"", "Example Corp", "Jane Doe"}), Column(0)) << "first sort of the process: ascending";
  ClickColumn(CertificateListView::IssuedTo);
  EXPECT_EQ((Cells{"Jane Doe", "Example Corp", ""}), Column(0));
  ClickColumn(CertificateListView::Registered);
  EXPECT_EQ((Cells{"<No>", "<No>", "<Yes>"}), Column(3));
  ClickColumn(CertificateListView::ExpirationDate);
  EXPECT_EQ((Cells{"Jane Doe", "Example Corp", ""}), Column(0)) << "descending by the exact expiry time";
  ClickColumn(CertificateListView::Logon);
  EXPECT_EQ((Cells{"<N/A>", "<No>", "<Yes>"}), Column(4));

  // Added as row 2, now row 0: the update goes to the row where it stands.
  blankRecord->registered = blankRecord->hasContainer = true;
  ASSERT_EQ(S_OK, list_.UpdateRecord(blankRecord));
  EXPECT_EQ((Cells{"<Yes>", "<No>", "<Yes>"}), Column(3));
  EXPECT_EQ(0, ImageAt(0));
  EXPECT_EQ(1, ImageAt(1));
}

TEST_F(CertificateListTest, OwnsItsRecordsAndRejectsWhatItDoesNotHold) {
  EXPECT_EQ(E_POINTER, list_.AddRecord(nullptr));
  EXPECT_EQ(E_POINTER, list_.UpdateRecord(nullptr));
  for (int i = 0; i < 3; ++i) {
    auto record = RecordOf<CountedRecord>("jane-doe");
    record->logonCapable = record->isDefaultLogon = (i != 1);
    Add(std::move(record));
  }
  CertificateRecord stray;
  stray.subject.assign("Stray");
  EXPECT_EQ(E_FAIL, list_.UpdateRecord(&stray)) << "a record that was never added";
  EXPECT_EQ((std::vector<std::string>(3, "Jane Doe")), Column(0));

  EXPECT_EQ(nullptr, list_.SelectedRecord()) << "no row selected";
  list_.SelectRow(1);
  EXPECT_EQ(list_.RecordAt(1), list_.SelectedRecord());
  EXPECT_EQ(static_cast<LRESULT>(LVIS_SELECTED | LVIS_FOCUSED),
            ::SendMessageA(control(), LVM_GETITEMSTATE, 1, LVIS_SELECTED | LVIS_FOCUSED));
  EXPECT_EQ(control(), ::GetFocus());

  EXPECT_EQ(S_OK, list_.ClearDefaultLogon());
  EXPECT_EQ((std::vector<std::string>{"<No>", "<N/A>", "<No>"}), Column(4));
  for (int row = 0; row < 3; ++row) EXPECT_FALSE(list_.RecordAt(row)->isDefaultLogon);

  list_.Clear();
  EXPECT_EQ(3, CountedRecord::deleted);
  EXPECT_EQ(0, listkit::RowCount(control()));
  EXPECT_EQ(0, list_.RowCount());

  // The list outlives its control, as in the dialog: the records go with the
  // list, the image list survives the control and goes with the list.
  {
    CertificateListView list;
    ASSERT_TRUE(list.Attach(dialog_, IDC_CERTIFICATE_LIST));
    ASSERT_EQ(S_OK, list.LoadImages());
    ASSERT_EQ(S_OK, list.AddRecord(RecordOf<CountedRecord>("unit")));
    ::DestroyWindow(dialog_);
    dialog_ = nullptr;
    EXPECT_EQ(2, ::ImageList_GetImageCount(list.ImageList())) << "the control destroyed the shared image list";
    EXPECT_EQ(3, CountedRecord::deleted);
  }
  EXPECT_EQ(4, CountedRecord::deleted);
}

}  // namespace
