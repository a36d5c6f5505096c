// The Manage dialog's certificate list on a real list control (template 201): sorting by each
// kind of column with the process-wide direction, and rows that follow their records. What the
// columns show is checked in the manage suite on a token's certificates.
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

using listkit::UtcTime;
using Cells = std::vector<std::string>;

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(CertificateList, EachClickReversesTheDirectionAndRowsFollowTheirRecords) {
  HWND dialog = ::CreateDialogParamA(Module::Instance(), MAKEINTRESOURCEA(IDD_MANAGE_CERTIFICATES), nullptr,
                                     &PlainDialogProc, 0);
  ASSERT_NE(nullptr, dialog) << "error " << ::GetLastError();
  CertificateListView list;
  ASSERT_TRUE(list.Attach(dialog, IDC_CERTIFICATE_LIST));
  ASSERT_EQ(S_OK, list.LoadImages());
  ASSERT_EQ(S_OK, list.CreateColumns());
  const HWND control = list.Window();
  RECT client = {};
  ::GetClientRect(control, &client);
  std::vector<int> widths, shares;
  for (int column = 0; column < 7; ++column)
    widths.push_back(static_cast<int>(::SendMessageA(control, LVM_GETCOLUMNWIDTH, column, 0)));
  for (int percent : {30, 30, 16, 12, 12, 40, 40}) shares.push_back(percent * client.right / 100);
  EXPECT_EQ(shares, widths) << "shares of the client width " << client.right;
  auto jane = std::make_unique<CertificateRecord>();
  jane->subject.assign("Jane Doe");
  // Text columns compare without case; the serial number by its digits, not the grouped cell.
  jane->issuer.assign("Beta");
  jane->serialNumber.assign("0b");
  jane->serialNumberGrouped.assign("9");
  jane->containerName.assign("b");
  jane->notAfter = UtcTime(2030, 6, 1, 14);
  jane->registered = jane->hasContainer = jane->logonCapable = jane->isDefaultLogon = true;
  auto corp = std::make_unique<CertificateRecord>();
  corp->subject.assign("Example Corp");
  corp->issuer.assign("alpha");
  corp->serialNumber.assign("0C");
  corp->serialNumberGrouped.assign("1");
  corp->containerName.assign("C");
  corp->notAfter = UtcTime(2030, 6, 1, 12);  // same day, earlier
  corp->logonCapable = true;
  auto blank = std::make_unique<CertificateRecord>();
  blank->notAfter = UtcTime(2030, 5, 31, 12);
  CertificateRecord* blankRecord = blank.get();
  for (auto* record : {&jane, &corp, &blank}) ASSERT_EQ(S_OK, list.AddRecord(std::move(*record)));

  // A column click as the Manage dialog handles it (the first sort of the process is ascending),
  // then the cells of column `shown` from the top.
  SortAscending = 1;
  int clicks = 0;
  const auto click = [&list, &clicks, control](int column, int shown, const Cells& cells) {
    EXPECT_TRUE(list.SortByColumn(column));
    SortAscending = !SortAscending;
    ++clicks;
    EXPECT_EQ(cells, listkit::Column(control, shown)) << "click " << clicks << ", on column " << column;
  };
  click(CertificateListView::IssuedTo, 0, {"", "Example Corp", "Jane Doe"});
  click(CertificateListView::IssuedTo, 0, {"Jane Doe", "Example Corp", ""});
  click(CertificateListView::Registered, 3, {"<No>", "<No>", "<Yes>"});
  click(CertificateListView::ExpirationDate, 2, {"6/1/2030", "6/1/2030", "5/31/2030"});
  EXPECT_EQ((Cells{"Jane Doe", "Example Corp", ""}), listkit::Column(control, 0)) << "by the exact expiry time";
  click(CertificateListView::Logon, 4, {"<N/A>", "<No>", "<Yes>"});

  // Added as row 2, now row 0: the update goes to the row where it stands.
  blankRecord->registered = blankRecord->hasContainer = true;
  ASSERT_EQ(S_OK, list.UpdateRecord(blankRecord));
  EXPECT_EQ((Cells{"<Yes>", "<No>", "<Yes>"}), listkit::Column(control, 3));
  EXPECT_EQ(0, listkit::ImageAt(control, 0));
  EXPECT_EQ(1, listkit::ImageAt(control, 1));

  click(CertificateListView::IssuedBy, 1, {"Beta", "alpha", ""});
  click(CertificateListView::SerialNumber, 0, {"", "Jane Doe", "Example Corp"});
  click(CertificateListView::ContainerLabel, 6, {"C", "b", ""});
  ::DestroyWindow(dialog);
}

}  // namespace
