#include "kit/LeafKey.h"

#include <gtest/gtest.h>

#include "kit/Paths.h"
#include "tokenkit/CredentialLoader.h"
#include "tokenkit/CredentialObjects.h"
#include "tokenkit/TokenSession.h"

namespace testkit {

void AddLeafKeyPair(SoftToken& soft, CK_SLOT_ID slot, const std::string& password, const std::vector<uint8_t>& id) {
  RsaKey key;
  const Outcome read = CredentialLoader::readKeyFile(SourcePath(L"tests/data/certs/keys/leaf.key.pem"), &key);
  ASSERT_FALSE(read.failed()) << read.message();
  TokenSession session(soft.standard());
  ASSERT_EQ(CKR_OK, session.open(slot));
  ASSERT_EQ(CKR_OK, session.login(password));
  const CertificateFacts none;
  for (const AttributeList& object : {credentialobjects::publicKey(key, none, id, "leaf"),
                                      credentialobjects::privateKey(key, none, id, "leaf")}) {
    CK_OBJECT_HANDLE created = 0;
    const CK_RV rv = session.create(object, &created);
    ASSERT_EQ(CKR_OK, rv) << std::hex << rv;
  }
}

}  // namespace testkit
