#pragma once
// A ByteBuffer's blob view is handed to CryptoAPI calls as a CRYPT_DATA_BLOB; the layouts must match.
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>

#include "model/ByteBuffer.h"

static_assert(sizeof(DataBlob) == sizeof(CRYPT_DATA_BLOB), "DataBlob must match CRYPT_DATA_BLOB");
static_assert(offsetof(DataBlob, cbData) == offsetof(CRYPT_DATA_BLOB, cbData), "cbData offset");
static_assert(offsetof(DataBlob, pbData) == offsetof(CRYPT_DATA_BLOB, pbData), "pbData offset");
