#pragma once
// What a list control shows, read back through its own messages (the manage suite uses them too).
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>


namespace listkit {

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

// The cells of one column, in row order.
inline std::vector<std::string> Column(HWND list, int column) {
  std::vector<std::string> cells;
  for (int row = 0; row < RowCount(list); ++row) cells.push_back(CellText(list, row, column));
  return cells;
}

inline int ImageAt(HWND list, int row) {
  LVITEMA item = {};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  ::SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return item.iImage;
}

// Selects and focuses a row as a click or the arrow keys do; the control tells its dialog.
inline void Select(HWND list, int row, UINT state = LVIS_SELECTED | LVIS_FOCUSED) {
  LVITEMA item = {};
  item.state = state;
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// A UTC time of the given day as a file time.
inline FILETIME UtcTime(WORD year, WORD month, WORD day, WORD hour) {
  SYSTEMTIME time = {year, month, 0, day, hour, 0, 0, 0};
  FILETIME result = {};
  EXPECT_TRUE(::SystemTimeToFileTime(&time, &result));
  return result;
}

}  // namespace listkit
