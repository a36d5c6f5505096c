#pragma once
// Certificate Details: every field of one certificate as a "Field"/"Value"
// list, and the selected row's value below it, one piece per line. It only
// reads the record, which stays its owner's.
#include <windows.h>
#include <wincrypt.h>

#include "dialogs/DialogWindow.h"
#include "dialogs/ListViewControl.h"
#include "model/ByteBuffer.h"
#include "model/CertificateRecord.h"
#include "model/TextBuffer.h"

class CertificateDetailsDialog : public DialogWindow {
 public:
  explicit CertificateDetailsDialog(const CertificateRecord* record);
  ~CertificateDetailsDialog() override;

  // Shapes an extension's value into its row's text; 0 when the row is shown.
  // A formatter may hand over row data, which the dialog then owns.
  using Formatter = HRESULT (*)(const CERT_INFO& info, const BYTE* value, DWORD size, TextBuffer& text,
                                ByteBuffer*& data);

 private:
  static const MessageEntry kMessageMap[];
  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnCloseCommand(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnCloseBox(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnItemChanged(UINT message, WPARAM wParam, LPARAM lParam);

  void SetUpList();
  void Fill();
  // Adds a row; it takes over `data`. False when the row's data was to be kept but could not.
  bool AddRow(const char* label, const char* value, ByteBuffer* data = nullptr);
  bool AddRow(UINT label, const char* value, ByteBuffer* data = nullptr);
  // Deletes the rows' buffers, then the rows.
  void ReleaseRowData();
  void ShowValue(int row);

  const CertificateRecord* record_;
  ListViewControl list_;
  int nextRow_ = 0;
  HWND valuePane_ = nullptr;
};
