#include "model/ByteBufferBlob.h"

#include <gtest/gtest.h>

#include "CertificateFiles.h"

// The blob view hands the buffer's own bytes to CryptoAPI: a name kept in a
// ByteBuffer compares equal to the certificate's subject and not to its issuer.
TEST(ByteBufferBlob, CryptoApiReadsTheBufferThroughItsBlob) {
  ScopedCertContext context = CertificateFiles::load("jane-doe");
  ASSERT_TRUE(context) << std::hex << ::GetLastError();
  const CERT_INFO* info = context.get()->pCertInfo;
  ByteBuffer name;
  ASSERT_EQ(S_OK, name.assign(info->Subject.pbData, info->Subject.cbData));

  CRYPT_DATA_BLOB blob = cryptBlob(name);
  EXPECT_EQ(name.size(), blob.cbData);
  EXPECT_EQ(name.data(), blob.pbData);
  CERT_NAME_BLOB subject = info->Subject;
  CERT_NAME_BLOB issuer = info->Issuer;
  EXPECT_TRUE(::CertCompareCertificateName(X509_ASN_ENCODING, &blob, &subject));
  EXPECT_FALSE(::CertCompareCertificateName(X509_ASN_ENCODING, &blob, &issuer));
}
