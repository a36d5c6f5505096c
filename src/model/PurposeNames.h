#pragma once
// The names that CryptoAPI's object identifier table gives enhanced key usages, looked up once per
// process. The table does not change while the module runs, and the platform searches it whole on
// every look-up (under Wine about 0.2 ms a usage, and the certificate list shows two usages a row).
#include "model/Status.h"
#include "model/TextBuffer.h"

class PurposeNames {
 public:
  // Appends the usage as the intended purposes show it: the table's name in the ANSI code page,
  // nothing for an entry without a name, the dotted identifier for one the table lacks. S_OK,
  // E_POINTER for no identifier, or E_OUTOFMEMORY with text as it was.
  static Status Append(const char* oid, TextBuffer& text);

  // How many usages are remembered; the ones after that are looked up every time.
  static constexpr size_t kRemembered = 32;
};
