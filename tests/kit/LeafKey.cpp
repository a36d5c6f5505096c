#include "kit/LeafKey.h"

#include <gtest/gtest.h>

#include "kit/Paths.h"
#include "kit/TokenContents.h"
#include "tokenkit/CredentialLoader.h"
#include "tokenkit/CredentialObjects.h"

namespace testkit {

void AddLeafKeyPair(SoftToken& soft, CK_SLOT_ID slot, const std::string& password, const std::vector<uint8_t>& id) {
  RsaKey key;
  const Outcome read = CredentialLoader::readKeyFile(SourcePath(L"tests/data/certs/keys/leaf.key.pem"), &key);
  ASSERT_FALSE(read.failed()) << read.message();
  TokenContents contents(soft, slot, password);
  const CertificateFacts none;
  contents.Create(credentialobjects::publicKey(key, none, id, "leaf"), true);
  contents.Create(credentialobjects::privateKey(key, none, id, "leaf"), true);
}

}  // namespace testkit
