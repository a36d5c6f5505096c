#pragma once
// Reads a certificate and its RSA key pair from the files a user gives: PEM (certificate and
// key blocks, in one file or two), DER (certificate; PKCS #1 or PKCS #8 key) or PKCS #12.
#include <string>
#include <vector>

#include "tokenkit/Outcome.h"
#include "tokenkit/RsaKey.h"

struct Credential {
  std::vector<uint8_t> certificate;  // DER
  RsaKey key;                        // empty when the files held none
};

class CredentialLoader {
 public:
  // The certificate file; a key found in it (a PEM key block, the key of a PKCS #12 file)
  // comes along. `pfxPassword` null: the file must not be PKCS #12.
  static Outcome readCertificateFile(const std::wstring& path, const std::string* pfxPassword, Credential* out);
  // A PKCS #12 file and nothing else: BadInput for any other form, Password for a wrong password.
  static Outcome readPkcs12File(const std::wstring& path, const std::string& password, Credential* out);
  // A separate key file: PEM or DER, PKCS #1 or PKCS #8, unencrypted.
  static Outcome readKeyFile(const std::wstring& path, RsaKey* key);
  // The whole file; BadInput for a missing, empty or oversized file.
  static Outcome readFile(const std::wstring& path, std::vector<uint8_t>* bytes);

 private:
  static Outcome readPkcs12(const std::wstring& path, const std::vector<uint8_t>& bytes, const std::string& password,
                            Credential* out);
};
