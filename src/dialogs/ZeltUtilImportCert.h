#pragma once
// The two entry points of ZeltUtilImportCert.dll, which the module imports at
// load time: reading a PKCS #12 file, then writing what it held onto the token.
#include <windows.h>
#include <wincrypt.h>

extern "C" {

// 0 when the file was read and opened with `password` (ANSI, possibly empty);
// otherwise a failure code. The library keeps what it read for the next import.
LONG WINAPI ZeltUtilImportCert_QReadP12File(const char* path, const char* password);

// Writes the certificate and key pair of the last file read onto the token
// under the key container `containerName`. `tokenPassword` is the token's PKI
// storage password or null; `existing` lists the encodings of the certificates
// already on the token, ended by a null entry. 0 when imported, 1 when the
// certificate is already on the token, otherwise a failure code.
LONG WINAPI ZeltUtilImportCert_QImportCertificate(const char* containerName, const char* tokenPassword,
                                                  CRYPT_DATA_BLOB** existing);
}
