#pragma once
// What the tool needs to know of an X.509 certificate to store it on the token.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tokenkit/Outcome.h"

class CertificateFacts {
 public:
  // Decodes a DER certificate; BadInput when CryptoAPI does not take it or bytes trail it.
  static Outcome read(const std::vector<uint8_t>& der, CertificateFacts* facts);

  std::vector<uint8_t> subject;       // DER Name
  std::vector<uint8_t> issuer;        // DER Name
  std::vector<uint8_t> serialNumber;  // DER INTEGER, as CKA_SERIAL_NUMBER holds it
  bool rsa = false;
  std::vector<uint8_t> modulus;        // big-endian, only for RSA
  std::vector<uint8_t> publicExponent;
  std::string commonName;   // UTF-8, empty when the subject has none
  std::string subjectText;  // the subject in one line, for messages
  FILETIME notAfter = {};
};
