#include "StoreCommands.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>

#include "tokenkit/CertificateFacts.h"
#include "tokenkit/CredentialLoader.h"
#include "ToolContext.h"
#include "tokenkit/HexText.h"
#include "tokenkit/ScopedCertStore.h"
#include "tokenkit/WideText.h"
#include "model/ScopedCertContext.h"

namespace {

const wchar_t kProviderName[] = L"Quillon Zelt RSA Cryptographic Service Provider";

Outcome systemFailure(const std::string& what) {
  return Outcome::fail(ExitCode::System, what + " failed (error " + hextext::code(::GetLastError()) + ")");
}

Outcome openMy(ScopedCertStore* store) {
  store->reset(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
  return *store ? Outcome::ok() : systemFailure("opening the \"MY\" store");
}

Outcome certificateOf(const Arguments& args, ScopedCertContext* context, CertificateFacts* facts) {
  if (!args.has("cert")) return Outcome::fail(ExitCode::Usage, "give the certificate file with --cert");
  const std::string pfxPassword = args.value("pfx-password");
  Credential credential;
  Outcome r = CredentialLoader::readCertificateFile(widetext::fromUtf8(args.value("cert")),
                                                    args.has("pfx-password") ? &pfxPassword : nullptr, &credential);
  if (r.failed()) return r;
  r = CertificateFacts::read(credential.certificate, facts);
  if (r.failed()) return r;
  context->reset(::CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, credential.certificate.data(),
                                                static_cast<DWORD>(credential.certificate.size())));
  return *context ? Outcome::ok() : systemFailure("decoding the certificate");
}

}  // namespace

Outcome StoreCommands::registerMy(const Arguments& args) {
  if (args.has("key-spec") && !args.has("container")) return Outcome::fail(ExitCode::Usage, "--key-spec needs --container");
  const std::string keySpec = args.value("key-spec", "exchange");
  if (keySpec != "exchange" && keySpec != "signature")
    return Outcome::fail(ExitCode::Usage, "--key-spec must be exchange or signature, not " + quoted(keySpec));
  ScopedCertContext context;
  CertificateFacts facts;
  Outcome r = certificateOf(args, &context, &facts);
  if (r.failed()) return r;
  if (args.has("container")) {
    // The key provider information that lets CryptoAPI applications find the key on the token.
    std::wstring container = widetext::fromUtf8(args.value("container"));
    CRYPT_KEY_PROV_INFO info = {};
    info.pwszContainerName = &container[0];
    info.pwszProvName = const_cast<wchar_t*>(kProviderName);
    info.dwProvType = PROV_RSA_FULL;
    info.dwKeySpec = keySpec == "exchange" ? AT_KEYEXCHANGE : AT_SIGNATURE;
    if (!::CertSetCertificateContextProperty(context.get(), CERT_KEY_PROV_INFO_PROP_ID, 0, &info))
      return systemFailure("setting the key provider information");
  }
  ScopedCertStore store;
  r = openMy(&store);
  if (r.failed()) return r;
  if (!::CertAddCertificateContextToStore(store.get(), context.get(), CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
    return systemFailure("adding the certificate to the \"MY\" store");
  // Wine keeps store changes in a cache until they are committed; Windows writes at once.
  ::CertControlStore(store.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
  std::printf("registered the certificate of %s in the \"MY\" store\n", facts.subjectText.c_str());
  return Outcome::ok();
}

Outcome StoreCommands::unregisterMy(const Arguments& args) {
  ScopedCertContext context;
  CertificateFacts facts;
  Outcome r = certificateOf(args, &context, &facts);
  if (r.failed()) return r;
  ScopedCertStore store;
  r = openMy(&store);
  if (r.failed()) return r;
  PCCERT_CONTEXT found = ::CertFindCertificateInStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                      CERT_FIND_EXISTING, context.get(), nullptr);
  if (!found) return Outcome::fail(ExitCode::BadInput, "the certificate of " + facts.subjectText + " is not in the \"MY\" store");
  // CertDeleteCertificateFromStore frees the context it is given, also on failure.
  if (!::CertDeleteCertificateFromStore(found)) return systemFailure("removing the certificate from the \"MY\" store");
  ::CertControlStore(store.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
  std::printf("removed the certificate of %s from the \"MY\" store\n", facts.subjectText.c_str());
  return Outcome::ok();
}
