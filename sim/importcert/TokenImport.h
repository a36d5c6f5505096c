#pragma once
// Writes a certificate with its RSA key pair onto the first token of the software token
// library, as a CryptoAPI key container: certificate, public and private key objects labelled
// with the container's name, a container record that names the certificate as the container's
// key-exchange certificate, and the container's name in the catalog.
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "tokenkit/CredentialLoader.h"
#include "tokenkit/Outcome.h"
#include "cryptoki/Pkcs11.h"

class TokenImport {
 public:
  // Results besides 0. Cryptoki refusals come as 0xB0010000 | CK_RV.
  static constexpr LONG kAlreadyOnToken = 1;
  static constexpr LONG kContainerExists = static_cast<LONG>(NTE_EXISTS);
  static constexpr LONG kWrongFilePassword = static_cast<LONG>(0x80070056);  // ERROR_INVALID_PASSWORD
  static constexpr LONG kUnusableFile = static_cast<LONG>(0x8007000D);       // ERROR_INVALID_DATA
  static constexpr LONG kNoTokenLibrary = static_cast<LONG>(0x8007007E);     // ERROR_MOD_NOT_FOUND
  static constexpr LONG kNothingRead = static_cast<LONG>(E_UNEXPECTED);

  // The result for a failed read or store step.
  static LONG codeOf(const Outcome& outcome);
  static LONG codeOf(CK_RV rv);

  // `existing` holds encodings of certificates already on the token, ended by null; the
  // token itself is searched as well. `password` null: the key cannot be stored.
  static LONG write(const Credential& credential, const std::string& container, const char* password,
                    CRYPT_DATA_BLOB* const* existing);
};
