#include "model/ByteBufferBlob.h"

#include <gtest/gtest.h>

#include <vector>

#include "CertificateFiles.h"

// The blob view hands the buffer's own bytes to CryptoAPI.
TEST(ByteBufferBlob, CryptoApiDecodesTheBufferThroughItsBlob) {
  const std::vector<BYTE> der = CertificateFiles::read("jane-doe.der");
  ASSERT_FALSE(der.empty());
  ByteBuffer encoded;
  ASSERT_EQ(S_OK, encoded.assign(der.data(), static_cast<uint32_t>(der.size())));

  CRYPT_DATA_BLOB blob = cryptBlob(encoded);
  EXPECT_EQ(encoded.size(), blob.cbData);
  EXPECT_EQ(encoded.data(), blob.pbData);
  ScopedCertContext context(::CertCreateCertificateContext(X509_ASN_ENCODING, blob.pbData, blob.cbData));
  ASSERT_TRUE(context) << std::hex << ::GetLastError();

  // The same bytes as a property value of the context come back unchanged.
  ASSERT_TRUE(::CertSetCertificateContextProperty(context.get(), CERT_FIRST_USER_PROP_ID, 0, &blob))
      << std::hex << ::GetLastError();
  DWORD size = 0;
  ASSERT_TRUE(::CertGetCertificateContextProperty(context.get(), CERT_FIRST_USER_PROP_ID, nullptr, &size));
  std::vector<BYTE> back(size);
  ASSERT_TRUE(::CertGetCertificateContextProperty(context.get(), CERT_FIRST_USER_PROP_ID, back.data(), &size));
  back.resize(size);
  EXPECT_EQ(der, back);
}
