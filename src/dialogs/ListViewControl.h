#pragma once
// One report-view list control inside a dialog, and the few list-view
// messages the dialogs send it. Every operation is a direct use of one of the
// control's own messages; none owns anything the control holds.
#include <windows.h>

#include <commctrl.h>

class ListViewControl {
 public:
  ListViewControl() = default;
  virtual ~ListViewControl();
  ListViewControl(const ListViewControl&) = delete;
  ListViewControl& operator=(const ListViewControl&) = delete;

  // Registers the list-view window class; a dialog whose template holds a list
  // control calls it before the dialog is made.
  static void InitControls();

  // Takes item `id` of `dialog` as the control; false (handle unchanged) when
  // `dialog` is no window, false (handle null) when it has no such item.
  bool Attach(HWND dialog, int id);
  HWND Window() const { return window_; }

  // One row of a list's column table: the heading's string id and the width in percent of the
  // control's client width. A heading of 0 ends the table.
  struct Column {
    UINT heading;
    int percent;
  };
  // The table's columns, left-aligned and sized by InsertColumn, each at the table's index. A
  // heading that does not load leaves its column out; the next keeps its own index.
  void InsertColumns(const Column* table);
  // Sizes the table's columns again to the client width as it is now.
  void SizeColumns(const Column* table);

  // A left-aligned column; width and sub-item are set only when not -1. The new index or -1.
  int InsertColumn(int column, const char* heading, int width = -1, int subItem = -1);
  // Column 0 inserts a row at `row`; any other column sets that cell. The
  // image is set too when not -1. Column 0 gives the new row's index, else TRUE; -1 or FALSE on failure.
  int InsertOrSetItemText(int row, int column, const char* text, int image = -1);
  // The members of the row's item that `mask` selects (LVIF_*).
  BOOL SetItem(int row, int column, UINT mask, const char* text, int image, UINT state, UINT stateMask,
               LPARAM data);
  // The row's item data; 0 when the row does not exist.
  LPARAM GetItemData(int row) const;
  // Style = (style & ~remove) | add; written only when it changes. True when it changed.
  bool ModifyExtendedStyle(DWORD remove, DWORD add);
  BOOL DeleteAllItems();
  // Has the control paint its client area once into a memory device context (WM_PRINTCLIENT),
  // which shows nothing; the control works out the size of its rows and its scroll ranges as it
  // does at its first paint.
  void PaintOffScreen();

 protected:
  HWND window_ = nullptr;
};
