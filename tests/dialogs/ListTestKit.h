#pragma once
// Records made from the test certificates as the token's fill makes them,
// and what a list control shows, read back through its own messages.
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "model/CertificateFiles.h"
#include "model/CertificateRecord.h"

namespace listkit {

// The record of tests/data/certs/NAME.der with its context, names, dates, serial texts and thumbprint.
template <typename Record = CertificateRecord>
std::unique_ptr<Record> RecordOf(const char* name) {
  std::unique_ptr<Record> record(new Record);
  record->context = CertificateFiles::load(name);
  if (!record->context) {
    ADD_FAILURE() << name << ".der: error 0x" << std::hex << ::GetLastError();
    return record;
  }
  const CERT_INFO& info = *record->context.get()->pCertInfo;
  CertificateRecord::displayName(info.Subject, record->subject);
  CertificateRecord::displayName(info.Issuer, record->issuer);
  record->notBefore = info.NotBefore;
  record->notAfter = info.NotAfter;
  CertificateRecord::serialText(info.SerialNumber, record->serialNumber);
  record->groupSerial();
  CertificateRecord::readThumbprint(record->context.get(), record->thumbprint);
  return record;
}

// A UTC time of the given day as a file time.
inline FILETIME UtcTime(WORD year, WORD month, WORD day, WORD hour, WORD minute = 0) {
  SYSTEMTIME time = {year, month, 0, day, hour, minute, 0, 0};
  FILETIME result = {};
  EXPECT_TRUE(::SystemTimeToFileTime(&time, &result));
  return result;
}

inline std::string CellText(HWND list, int row, int column) {
  char text[1024] = "";
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  ::SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return text;
}

inline int RowCount(HWND list) { return static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

// Selects and focuses a row as a click or the arrow keys do.
inline void Select(HWND list, int row, UINT state = LVIS_SELECTED | LVIS_FOCUSED) {
  LVITEMA item = {};
  item.state = state;
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

}  // namespace listkit
