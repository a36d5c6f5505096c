#pragma once
// One certificate of the token as the rest of the system sees it: its
// encoding and context, the texts the dialogs show, and the flags that decide
// what can be done with it. The token fills a record with the derivations
// below; the one who asked for the record deletes it.
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>

#include "model/ByteBuffer.h"
#include "model/ScopedCertContext.h"
#include "model/Status.h"
#include "model/TextBuffer.h"

class CertificateRecord {
 public:
  CertificateRecord() = default;
  virtual ~CertificateRecord();
  CertificateRecord(const CertificateRecord&) = delete;
  CertificateRecord& operator=(const CertificateRecord&) = delete;

  // Short display form of an encoded name: the common name, else the
  // organisation, else the whole converted name. On failure text is left as it was.
  static Status displayName(const CERT_NAME_BLOB& name, TextBuffer& text);
  // Upper-case hex of the serial number, most significant byte first.
  static Status serialText(const CRYPT_INTEGER_BLOB& serial, TextBuffer& text);
  // The enhanced key usages' names, in the certificate's order, joined by
  // ", "; identifiers without a name in the platform's table appear dotted.
  // logon becomes true when smart card logon is among them. When the usages
  // cannot be read at all, text is "<All>" and logon is left as it was.
  static Status describePurposes(PCCERT_CONTEXT context, TextBuffer& text, bool& logon);
  // The context's SHA-1 hash; left empty when the platform gives none.
  static Status readThumbprint(PCCERT_CONTEXT context, ByteBuffer& thumbprint);

  // serialNumberGrouped from serialNumber: a space after every fourth digit.
  Status groupSerial();

  ScopedCertContext context;
  TextBuffer subject;
  TextBuffer issuer;
  FILETIME notBefore = {0, 0};
  FILETIME notAfter = {0, 0};
  TextBuffer serialNumber;
  TextBuffer serialNumberGrouped;
  TextBuffer intendedPurposes;
  TextBuffer containerName;
  ByteBuffer encoded;
  ByteBuffer thumbprint;
  ByteBuffer keyId;
  bool hasContainer = false;
  bool registered = false;
  bool logonCapable = false;
  bool isDefaultLogon = false;
  uint32_t keySpec = AT_KEYEXCHANGE;
  int32_t rowIndex = -1;
  int32_t inventoryIndex = -1;
};
