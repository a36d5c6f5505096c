#pragma once
// The platform's view of a ByteBuffer, for CryptoAPI calls that take a blob.
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>

#include "model/ByteBuffer.h"

static_assert(sizeof(DataBlob) == sizeof(CRYPT_DATA_BLOB), "DataBlob must match CRYPT_DATA_BLOB");
static_assert(offsetof(DataBlob, cbData) == offsetof(CRYPT_DATA_BLOB, cbData), "cbData offset");
static_assert(offsetof(DataBlob, pbData) == offsetof(CRYPT_DATA_BLOB, pbData), "pbData offset");

// Points at the buffer's own bytes; valid until the buffer changes.
inline CRYPT_DATA_BLOB cryptBlob(ByteBuffer& buffer) {
  const DataBlob* view = buffer.blob();
  CRYPT_DATA_BLOB blob;
  blob.cbData = view->cbData;
  blob.pbData = view->pbData;
  return blob;
}
