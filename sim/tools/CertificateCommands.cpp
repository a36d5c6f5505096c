#include "CertificateCommands.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>

#include "tokenkit/CertificateFacts.h"
#include "tokenkit/ContainerStore.h"
#include "tokenkit/CredentialLoader.h"
#include "tokenkit/CredentialObjects.h"
#include "tokenkit/HexText.h"
#include "tokenkit/WideText.h"

namespace {

// Objects of the three classes that already carry the identifier.
Outcome checkFree(TokenSession& session, const TokenSlot& token, const std::vector<uint8_t>& der,
                  const std::vector<uint8_t>& id, const std::string& label) {
  std::vector<CK_OBJECT_HANDLE> found;
  AttributeList sameValue;
  sameValue.ulong(CKA_CLASS, CKO_CERTIFICATE).bytes(CKA_VALUE, der);
  CK_RV rv = session.find(sameValue, &found);
  if (rv != CKR_OK) return ToolContext::refused("searching the token's certificates", rv);
  if (!found.empty())
    return Outcome::fail(ExitCode::Conflict, "this certificate is already on token " + quoted(token.serial) + " (object " +
                                                 hextext::code(found[0]) + ")");
  for (CK_OBJECT_CLASS cls : {CKO_CERTIFICATE, CKO_PUBLIC_KEY, CKO_PRIVATE_KEY}) {
    AttributeList sameId;
    sameId.ulong(CKA_CLASS, cls).bytes(CKA_ID, id);
    rv = session.find(sameId, &found);
    if (rv != CKR_OK) return ToolContext::refused("searching the token's objects", rv);
    if (!found.empty())
      return Outcome::fail(ExitCode::Conflict, "object " + hextext::code(found[0]) + " on token " + quoted(token.serial) +
                                                   " already has the identifier " + hextext::encode(id) + "; give another --id");
  }
  AttributeList sameLabel;
  sameLabel.ulong(CKA_CLASS, CKO_CERTIFICATE).label(label);
  rv = session.find(sameLabel, &found);
  if (rv != CKR_OK) return ToolContext::refused("searching the token's certificates", rv);
  if (!found.empty())
    return Outcome::fail(ExitCode::Conflict, "a certificate labelled " + quoted(label) + " is already on token " +
                                                 quoted(token.serial) + "; give another --label");
  return Outcome::ok();
}

}  // namespace

Outcome CertificateCommands::add(ToolContext& ctx, const Arguments& args) {
  if (!args.has("cert")) return Outcome::fail(ExitCode::Usage, "add-cert needs --cert with the certificate file");
  if (args.has("key") && args.has("no-key")) return Outcome::fail(ExitCode::Usage, "--key and --no-key exclude each other");
  if (args.has("key-spec") && !args.has("container"))
    return Outcome::fail(ExitCode::Usage, "--key-spec needs --container");
  const std::string keySpec = args.value("key-spec", "exchange");
  if (keySpec != "exchange" && keySpec != "signature")
    return Outcome::fail(ExitCode::Usage, "--key-spec must be exchange or signature, not " + quoted(keySpec));
  if (args.has("container") && args.value("container").empty())
    return Outcome::fail(ExitCode::Usage, "--container needs a container name");
  std::vector<uint8_t> id;
  if (args.has("id") && (!hextext::decode(args.value("id"), &id) || id.empty()))
    return Outcome::fail(ExitCode::Usage, "--id needs hex digits, not " + quoted(args.value("id")));

  // Every file is read and checked before the token is touched.
  const std::string pfxPassword = args.value("pfx-password");
  Credential credential;
  Outcome r = CredentialLoader::readCertificateFile(widetext::fromUtf8(args.value("cert")),
                                                    args.has("pfx-password") ? &pfxPassword : nullptr, &credential);
  if (r.failed()) return r;
  if (args.has("key")) {
    if (!credential.key.empty())
      return Outcome::fail(ExitCode::Usage, "the certificate file already holds a private key; leave out --key");
    r = CredentialLoader::readKeyFile(widetext::fromUtf8(args.value("key")), &credential.key);
    if (r.failed()) return r;
  }
  if (args.has("no-key")) credential.key = RsaKey();
  if (credential.key.empty() && !args.has("no-key"))
    return Outcome::fail(ExitCode::BadInput, "no private key was found with the certificate: give --key FILE, or --no-key "
                                             "to store the certificate alone");
  CertificateFacts facts;
  r = CertificateFacts::read(credential.certificate, &facts);
  if (r.failed()) return Outcome::fail(r.code(), "\"" + args.value("cert") + "\": " + r.message());
  const bool withKey = !credential.key.empty();
  if (withKey && !facts.rsa) return Outcome::fail(ExitCode::BadInput, "the certificate's key is not an RSA key");
  if (withKey && (facts.modulus != credential.key.modulus || facts.publicExponent != credential.key.publicExponent))
    return Outcome::fail(ExitCode::BadInput, "the private key does not belong to the certificate of " + facts.subjectText);
  if (id.empty()) id = credentialobjects::sha1(facts.rsa ? facts.modulus : credential.certificate);
  std::string label = args.value("label", facts.commonName.empty() ? facts.subjectText : facts.commonName);
  if (label.empty()) label = "certificate";
  if (withKey && !args.has("password"))
    return Outcome::fail(ExitCode::Usage, "storing the private key needs the token's password: give --password");

  TokenSlot token;
  r = ctx.findToken(args, &token);
  if (r.failed()) return r;
  const std::string password = args.value("password");
  TokenSession session(ctx.p11());
  r = ctx.openSession(token, args.has("password") ? &password : nullptr, &session);
  if (r.failed()) return r;
  r = checkFree(session, token, credential.certificate, id, label);
  if (r.failed()) return r;

  const std::string container = args.value("container");
  ContainerStore store(session);
  ContainerStore::Record record;
  if (!container.empty()) {
    r = store.readRecord(container, &record);
    if (r.failed()) return r;
    const std::string& taken =
        keySpec == "exchange" ? record.fields.exchangeCertLabel : record.fields.signatureCertLabel;
    if (record.object && !taken.empty())
      return Outcome::fail(ExitCode::Conflict, "the container " + quoted(container) + " already has a " + keySpec +
                                                   " certificate (" + quoted(taken) + ")");
    ContainerStore::Catalog catalog;
    r = store.readCatalog(&catalog);  // refuse an unreadable catalog before anything is written
    if (r.failed()) return r;
  }

  Transaction tx(session);
  CK_OBJECT_HANDLE certificate = 0, publicKey = 0, privateKey = 0;
  CK_RV rv = tx.create(credentialobjects::certificate(credential.certificate, facts, id, label), &certificate);
  if (rv != CKR_OK) return ToolContext::refused("storing the certificate", rv);
  if (withKey) {
    rv = tx.create(credentialobjects::publicKey(credential.key, facts, id, label), &publicKey);
    if (rv != CKR_OK) return ToolContext::refused("storing the public key", rv);
    rv = tx.create(credentialobjects::privateKey(credential.key, facts, id, label), &privateKey);
    if (rv != CKR_OK) return ToolContext::refused("storing the private key", rv);
  }
  if (!container.empty()) {
    containerformat::RecordFields fields = record.object ? record.fields : containerformat::RecordFields();
    if (keySpec == "exchange")
      fields.exchangeCertLabel = label;
    else
      fields.signatureCertLabel = label;
    if (fields.version < 2 && keySpec == "signature") fields.version = 2;
    r = store.writeRecord(tx, container, record, fields);
    if (!r.failed()) r = store.addName(tx, container);
    if (r.failed()) return r;
  }
  tx.commit();
  credential.key = RsaKey();

  std::printf("added the certificate %s (id %s) to token %s as object %s", quoted(label).c_str(), hextext::encode(id).c_str(),
              quoted(token.serial).c_str(), hextext::code(certificate).c_str());
  if (withKey)
    std::printf(", with public key %s and private key %s", hextext::code(publicKey).c_str(), hextext::code(privateKey).c_str());
  if (!container.empty()) std::printf(", in container %s as its %s certificate", quoted(container).c_str(), keySpec.c_str());
  std::printf("\n");
  return Outcome::ok();
}
