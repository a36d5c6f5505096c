#include "dialogs/ListViewControl.h"

#include "model/ScopedMemoryDC.h"
#include "server/Module.h"

namespace {

int ClientWidth(HWND window) {
  RECT client = {};
  ::GetClientRect(window, &client);
  return client.right - client.left;
}

}  // namespace

ListViewControl::~ListViewControl() = default;

void ListViewControl::InitControls() {
  INITCOMMONCONTROLSEX init = {sizeof init, ICC_LISTVIEW_CLASSES};
  ::InitCommonControlsEx(&init);
}

bool ListViewControl::Attach(HWND dialog, int id) {
  if (!::IsWindow(dialog)) return false;
  window_ = ::GetDlgItem(dialog, id);
  return window_ != nullptr;
}

void ListViewControl::InsertColumns(const Column* table) {
  const int width = ClientWidth(window_);
  for (int column = 0; table[column].heading != 0; ++column) {
    char heading[512];
    if (!*Module::LoadText(table[column].heading, heading)) continue;
    InsertColumn(column, heading, table[column].percent * width / 100);
  }
}

void ListViewControl::SizeColumns(const Column* table) {
  const int width = ClientWidth(window_);
  for (int column = 0; table[column].heading != 0; ++column)
    ::SendMessageA(window_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column),
                   MAKELPARAM(table[column].percent * width / 100, 0));
}

int ListViewControl::InsertColumn(int column, const char* heading, int width, int subItem) {
  LVCOLUMNA info = {};
  info.mask = LVCF_FMT | LVCF_TEXT;
  info.fmt = LVCFMT_LEFT;
  info.pszText = const_cast<char*>(heading);
  if (width != -1) {
    info.mask |= LVCF_WIDTH;
    info.cx = width;
  }
  if (subItem != -1) {
    info.mask |= LVCF_SUBITEM;
    info.iSubItem = subItem;
  }
  return static_cast<int>(::SendMessageA(window_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(column),
                                         reinterpret_cast<LPARAM>(&info)));
}

int ListViewControl::InsertOrSetItemText(int row, int column, const char* text, int image) {
  LVITEMA item = {};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.iSubItem = column;
  item.pszText = const_cast<char*>(text);
  if (image != -1) {
    item.mask |= LVIF_IMAGE;
    item.iImage = image;
  }
  const UINT message = column == 0 ? LVM_INSERTITEMA : LVM_SETITEMA;
  return static_cast<int>(::SendMessageA(window_, message, 0, reinterpret_cast<LPARAM>(&item)));
}

BOOL ListViewControl::SetItem(int row, int column, UINT mask, const char* text, int image, UINT state,
                              UINT stateMask, LPARAM data) {
  if (!::IsWindow(window_)) return FALSE;
  LVITEMA item = {};
  item.mask = mask;
  item.iItem = row;
  item.iSubItem = column;
  item.pszText = const_cast<char*>(text);
  item.iImage = image;
  item.state = state;
  item.stateMask = stateMask;
  item.lParam = data;
  return static_cast<BOOL>(::SendMessageA(window_, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

LPARAM ListViewControl::GetItemData(int row) const {
  LVITEMA item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!::SendMessageA(window_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return 0;
  return item.lParam;
}

bool ListViewControl::ModifyExtendedStyle(DWORD remove, DWORD add) {
  if (!::IsWindow(window_)) return false;
  const DWORD style = static_cast<DWORD>(::SendMessageA(window_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  const DWORD changed = (style & ~remove) | add;
  if (changed == style) return false;
  ::SendMessageA(window_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(changed));
  return true;
}

BOOL ListViewControl::DeleteAllItems() {
  if (!::IsWindow(window_)) return FALSE;
  return static_cast<BOOL>(::SendMessageA(window_, LVM_DELETEALLITEMS, 0, 0));
}

void ListViewControl::PaintOffScreen() {
  if (!::IsWindow(window_)) return;
  ScopedMemoryDC memory(::CreateCompatibleDC(nullptr));
  if (memory) ::SendMessageA(window_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory.get()), PRF_CLIENT);
}
