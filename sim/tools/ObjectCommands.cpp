#include "ObjectCommands.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tokenkit/CertificateFacts.h"
#include "tokenkit/ContainerFormat.h"
#include "tokenkit/CredentialLoader.h"
#include "tokenkit/CryptokiText.h"
#include "tokenkit/HexText.h"
#include "tokenkit/WideText.h"

using cryptokitext::AttributeKind;

namespace {

const CK_ATTRIBUTE_TYPE kCommon[] = {CKA_TOKEN, CKA_PRIVATE, CKA_MODIFIABLE, CKA_LABEL};
const CK_ATTRIBUTE_TYPE kData[] = {CKA_APPLICATION, CKA_OBJECT_ID, CKA_VALUE};
const CK_ATTRIBUTE_TYPE kCertificate[] = {CKA_CERTIFICATE_TYPE, CKA_ID, CKA_SUBJECT, CKA_ISSUER,
                                          CKA_SERIAL_NUMBER, CKA_TRUSTED, CKA_CERTIFICATE_CATEGORY, CKA_VALUE};
const CK_ATTRIBUTE_TYPE kPublicKey[] = {CKA_KEY_TYPE, CKA_ID, CKA_SUBJECT, CKA_ENCRYPT, CKA_VERIFY, CKA_WRAP,
                                        CKA_MODULUS_BITS, CKA_MODULUS, CKA_PUBLIC_EXPONENT};
const CK_ATTRIBUTE_TYPE kPrivateKey[] = {CKA_KEY_TYPE, CKA_ID, CKA_SUBJECT, CKA_SENSITIVE, CKA_EXTRACTABLE,
                                         CKA_DECRYPT, CKA_SIGN, CKA_UNWRAP, CKA_MODULUS, CKA_PUBLIC_EXPONENT,
                                         CKA_PRIVATE_EXPONENT};
const CK_ATTRIBUTE_TYPE kSecretKey[] = {CKA_KEY_TYPE, CKA_ID, CKA_SENSITIVE, CKA_EXTRACTABLE, CKA_VALUE_LEN,
                                        CKA_VALUE};

CK_ULONG ulongOf(const std::vector<uint8_t>& v) {
  CK_ULONG u = 0;
  if (v.size() == sizeof u) std::memcpy(&u, v.data(), sizeof u);
  return u;
}

std::string nameText(const std::vector<uint8_t>& der) {
  CERT_NAME_BLOB blob = {static_cast<DWORD>(der.size()), const_cast<BYTE*>(der.data())};
  const DWORD flags = CERT_X500_NAME_STR;
  const DWORD n = ::CertNameToStrW(X509_ASN_ENCODING, &blob, flags, nullptr, 0);
  if (n <= 1) return std::string();
  std::wstring text(n, L'\0');
  ::CertNameToStrW(X509_ASN_ENCODING, &blob, flags, &text[0], n);
  text.resize(n - 1);
  return widetext::toUtf8(text);
}

std::string bytesText(const std::vector<uint8_t>& v, bool raw) {
  if (v.empty()) return "(empty)";
  const size_t shown = raw ? v.size() : std::min<size_t>(v.size(), 32);
  std::string text = hextext::encode(v.data(), shown);
  if (shown < v.size()) text += "...";
  return text + " (" + std::to_string(v.size()) + " bytes)";
}

std::string valueText(CK_ATTRIBUTE_TYPE type, const std::vector<uint8_t>& v, bool raw) {
  switch (cryptokitext::attributeKind(type)) {
    case AttributeKind::Bool:
      return v.size() == 1 ? (v[0] ? "true" : "false") : bytesText(v, raw);
    case AttributeKind::Ulong: {
      if (v.size() != sizeof(CK_ULONG)) return bytesText(v, raw);
      const CK_ULONG u = ulongOf(v);
      if (type == CKA_CLASS) return cryptokitext::className(u);
      if (type == CKA_KEY_TYPE) return cryptokitext::keyTypeName(u);
      if (type == CKA_CERTIFICATE_TYPE) return cryptokitext::certificateTypeName(u);
      return std::to_string(u);
    }
    case AttributeKind::Text:
      return quoted(std::string(v.begin(), v.end()));
    case AttributeKind::Bytes:
      if ((type == CKA_SUBJECT || type == CKA_ISSUER) && !v.empty()) {
        const std::string name = nameText(v);
        if (!name.empty()) return name;
      }
      return bytesText(v, raw);
  }
  return bytesText(v, raw);
}

std::string withoutNul(const std::vector<uint8_t>& label) {
  std::string s(label.begin(), label.end());
  if (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

// What the value means to the page, for certificates and the CSP's data objects.
void printMeaning(TokenSession& session, CK_OBJECT_HANDLE object, CK_OBJECT_CLASS cls,
                  const std::vector<std::string>& containerNames) {
  std::vector<uint8_t> value, label;
  if (session.read(object, CKA_VALUE, &value) != CKR_OK) return;
  session.read(object, CKA_LABEL, &label);
  if (cls == CKO_CERTIFICATE) {
    CertificateFacts facts;
    if (CertificateFacts::read(value, &facts).failed()) {
      std::printf("  = not a certificate CryptoAPI can read\n");
      return;
    }
    SYSTEMTIME t = {};
    ::FileTimeToSystemTime(&facts.notAfter, &t);
    std::printf("  = certificate of %s, valid until %04u-%02u-%02u\n", facts.subjectText.c_str(), t.wYear, t.wMonth, t.wDay);
    return;
  }
  if (cls != CKO_DATA) return;
  const std::string name = withoutNul(label);
  if (label.size() == std::strlen(containerformat::kCatalogLabel) + 1 && name == containerformat::kCatalogLabel) {
    uint8_t version = 0;
    std::vector<std::string> names;
    if (!containerformat::readCatalog(value, &version, &names)) {
      std::printf("  = container catalog that cannot be read\n");
      return;
    }
    std::string list;
    for (const std::string& n : names) list += (list.empty() ? "" : ", ") + quoted(n);
    std::printf("  = container catalog, version %u, %u names: %s\n", version, static_cast<unsigned>(names.size()),
                list.c_str());
    return;
  }
  for (const std::string& n : containerNames) {
    if (n != name) continue;
    containerformat::RecordFields f;
    if (!containerformat::readRecord(value, &f)) {
      std::printf("  = container record that cannot be read\n");
      return;
    }
    std::printf("  = container record, version %u, key exchange certificate %s, signature certificate %s\n", f.version,
                quoted(f.exchangeCertLabel).c_str(), quoted(f.signatureCertLabel).c_str());
    return;
  }
}

std::vector<std::string> catalogNames(TokenSession& session) {
  AttributeList t;
  t.ulong(CKA_CLASS, CKO_DATA).label(containerformat::kCatalogLabel);
  std::vector<CK_OBJECT_HANDLE> found;
  std::vector<uint8_t> value;
  std::vector<std::string> names;
  uint8_t version = 0;
  if (session.find(t, &found) == CKR_OK && !found.empty() && session.read(found[0], CKA_VALUE, &value) == CKR_OK)
    containerformat::readCatalog(value, &version, &names);
  return names;
}

// One --attr TYPE=VALUE into the template.
Outcome parseAttribute(const std::string& text, AttributeList* tmpl) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos) return Outcome::fail(ExitCode::Usage, "--attr needs TYPE=VALUE, not " + quoted(text));
  CK_ATTRIBUTE_TYPE type = 0;
  const std::string typeText = text.substr(0, eq), value = text.substr(eq + 1);
  if (!cryptokitext::parseAttribute(typeText, &type))
    return Outcome::fail(ExitCode::Usage, "unknown attribute " + quoted(typeText));
  const std::string name = cryptokitext::attributeName(type);
  auto prefixed = [&](const char* prefix, std::string* rest) {
    const size_t n = std::strlen(prefix);
    if (value.compare(0, n, prefix) != 0) return false;
    *rest = value.substr(n);
    return true;
  };
  std::string rest;
  if (prefixed("hex:", &rest)) {
    std::vector<uint8_t> bytes;
    if (!hextext::decode(rest, &bytes)) return Outcome::fail(ExitCode::Usage, name + ": " + quoted(rest) + " is not hex");
    tmpl->bytes(type, bytes);
  } else if (prefixed("text:", &rest)) {
    tmpl->text(type, rest);
  } else if (prefixed("nul:", &rest)) {
    std::vector<uint8_t> bytes(rest.begin(), rest.end());
    bytes.push_back(0);
    tmpl->bytes(type, bytes);
  } else if (prefixed("file:", &rest)) {
    std::vector<uint8_t> bytes;
    Outcome r = CredentialLoader::readFile(widetext::fromUtf8(rest), &bytes);
    if (r.failed()) return r;
    tmpl->bytes(type, bytes);
  } else if (cryptokitext::attributeKind(type) == AttributeKind::Bool) {
    if (value == "true" || value == "1") tmpl->boolean(type, true);
    else if (value == "false" || value == "0") tmpl->boolean(type, false);
    else return Outcome::fail(ExitCode::Usage, name + " takes true or false, not " + quoted(value));
  } else if (cryptokitext::attributeKind(type) == AttributeKind::Ulong) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(value.c_str(), &end, 0);
    if (value.empty() || *end) return Outcome::fail(ExitCode::Usage, name + " takes a number, not " + quoted(value));
    tmpl->ulong(type, v);
  } else {
    return Outcome::fail(ExitCode::Usage, name + " takes hex:, text:, nul: or file: before its value");
  }
  return Outcome::ok();
}

}  // namespace

Outcome ObjectCommands::list(ToolContext& ctx, const Arguments& args) {
  TokenSlot token;
  Outcome r = ctx.findToken(args, &token);
  if (r.failed()) return r;
  const std::string password = args.value("password");
  TokenSession session(ctx.p11());
  r = ctx.openSession(token, args.has("password") ? &password : nullptr, &session);
  if (r.failed()) return r;
  std::vector<CK_OBJECT_HANDLE> objects;
  CK_RV rv = session.find(AttributeList(), &objects);
  if (rv != CKR_OK) return ToolContext::refused("listing the objects", rv);
  const bool raw = args.has("raw");
  const std::vector<std::string> names = catalogNames(session);
  std::printf("token %s in slot %lu: %u objects%s\n", quoted(token.serial).c_str(), static_cast<unsigned long>(token.slot),
              static_cast<unsigned>(objects.size()), session.loggedIn() ? "" : " (public ones; give --password for all)");
  for (CK_OBJECT_HANDLE object : objects) {
    std::vector<uint8_t> value;
    rv = session.read(object, CKA_CLASS, &value);
    if (rv != CKR_OK) return ToolContext::refused("reading an object's class", rv);
    const CK_OBJECT_CLASS cls = ulongOf(value);
    std::printf("object 0x%08lX  %s\n", static_cast<unsigned long>(object), cryptokitext::className(cls).c_str());
    std::vector<CK_ATTRIBUTE_TYPE> types(std::begin(kCommon), std::end(kCommon));
    switch (cls) {
      case CKO_DATA: types.insert(types.end(), std::begin(kData), std::end(kData)); break;
      case CKO_CERTIFICATE: types.insert(types.end(), std::begin(kCertificate), std::end(kCertificate)); break;
      case CKO_PUBLIC_KEY: types.insert(types.end(), std::begin(kPublicKey), std::end(kPublicKey)); break;
      case CKO_PRIVATE_KEY: types.insert(types.end(), std::begin(kPrivateKey), std::end(kPrivateKey)); break;
      case CKO_SECRET_KEY: types.insert(types.end(), std::begin(kSecretKey), std::end(kSecretKey)); break;
      default: break;
    }
    for (CK_ATTRIBUTE_TYPE type : types) {
      rv = session.read(object, type, &value);
      if (rv == CKR_ATTRIBUTE_TYPE_INVALID) continue;
      const std::string text = rv == CKR_OK ? valueText(type, value, raw)
                               : rv == CKR_ATTRIBUTE_SENSITIVE ? "(secret)"
                                                               : "(" + cryptokitext::returnValueName(rv) + ")";
      std::printf("  %-22s %s\n", cryptokitext::attributeName(type).c_str(), text.c_str());
    }
    printMeaning(session, object, cls, names);
  }
  return Outcome::ok();
}

Outcome ObjectCommands::add(ToolContext& ctx, const Arguments& args) {
  if (!args.has("class")) return Outcome::fail(ExitCode::Usage, "add-object needs --class");
  CK_OBJECT_CLASS cls = 0;
  if (!cryptokitext::parseClass(args.value("class"), &cls))
    return Outcome::fail(ExitCode::Usage, "unknown class " + quoted(args.value("class")) +
                                              " (data, certificate, public-key, private-key, secret-key or a number)");
  AttributeList tmpl;
  tmpl.ulong(CKA_CLASS, cls);
  AttributeList given;
  if (args.has("label")) given.label(args.value("label"));
  for (const std::string& a : args.values("attr")) {
    Outcome r = parseAttribute(a, &given);
    if (r.failed()) return r;
  }
  for (const CK_ATTRIBUTE& a : given.view()) {
    if (a.type == CKA_CLASS) return Outcome::fail(ExitCode::Usage, "give the class with --class, not --attr");
    if (tmpl.has(a.type))
      return Outcome::fail(ExitCode::Usage, cryptokitext::attributeName(a.type) + " is given twice");
    std::vector<uint8_t> bytes(static_cast<const uint8_t*>(a.pValue), static_cast<const uint8_t*>(a.pValue) + a.ulValueLen);
    tmpl.bytes(a.type, bytes);
  }
  if (!tmpl.has(CKA_TOKEN)) tmpl.boolean(CKA_TOKEN, true);

  TokenSlot token;
  Outcome r = ctx.findToken(args, &token);
  if (r.failed()) return r;
  const std::string password = args.value("password");
  TokenSession session(ctx.p11());
  r = ctx.openSession(token, args.has("password") ? &password : nullptr, &session);
  if (r.failed()) return r;
  CK_OBJECT_HANDLE object = 0;
  const CK_RV rv = session.create(tmpl, &object);
  if (rv == CKR_USER_NOT_LOGGED_IN)
    return Outcome::fail(ExitCode::Password, "a private object needs the token's password: give --password");
  if (rv != CKR_OK) return ToolContext::refused("creating the object", rv);
  std::printf("added %s object 0x%08lX to token %s\n", cryptokitext::className(cls).c_str(),
              static_cast<unsigned long>(object), quoted(token.serial).c_str());
  return Outcome::ok();
}

Outcome ObjectCommands::remove(ToolContext& ctx, const Arguments& args) {
  const int ways = args.has("handle") + args.has("label") + args.has("id");
  if (ways != 1) return Outcome::fail(ExitCode::Usage, "remove needs exactly one of --handle, --label or --id");
  CK_OBJECT_HANDLE handle = 0;
  std::vector<uint8_t> id;
  if (args.has("handle")) {
    char* end = nullptr;
    const std::string text = args.value("handle");
    handle = std::strtoul(text.c_str(), &end, 0);
    if (text.empty() || *end || !handle) return Outcome::fail(ExitCode::Usage, "--handle needs an object handle, not " + quoted(text));
  }
  if (args.has("id") && !hextext::decode(args.value("id"), &id))
    return Outcome::fail(ExitCode::Usage, "--id needs hex digits, not " + quoted(args.value("id")));
  CK_OBJECT_CLASS cls = 0;
  const bool byClass = args.has("class");
  if (byClass && !cryptokitext::parseClass(args.value("class"), &cls))
    return Outcome::fail(ExitCode::Usage, "unknown class " + quoted(args.value("class")));

  TokenSlot token;
  Outcome r = ctx.findToken(args, &token);
  if (r.failed()) return r;
  const std::string password = args.value("password");
  TokenSession session(ctx.p11());
  r = ctx.openSession(token, args.has("password") ? &password : nullptr, &session);
  if (r.failed()) return r;

  std::vector<CK_OBJECT_HANDLE> matches;
  std::vector<CK_OBJECT_HANDLE> all;
  CK_RV rv = session.find(AttributeList(), &all);
  if (rv != CKR_OK) return ToolContext::refused("listing the objects", rv);
  for (CK_OBJECT_HANDLE o : all) {
    std::vector<uint8_t> v;
    if (byClass && (session.read(o, CKA_CLASS, &v) != CKR_OK || ulongOf(v) != cls)) continue;
    if (args.has("handle") && o != handle) continue;
    // A label matches stored with or without its NUL.
    if (args.has("label") && (session.read(o, CKA_LABEL, &v) != CKR_OK || withoutNul(v) != args.value("label")))
      continue;
    if (args.has("id") && (session.read(o, CKA_ID, &v) != CKR_OK || v != id)) continue;
    matches.push_back(o);
  }
  const std::string hint = session.loggedIn() ? "" : " (private objects are seen only with --password)";
  if (matches.empty()) return Outcome::fail(ExitCode::BadInput, "no object on token " + quoted(token.serial) + " matches" + hint);
  if (matches.size() > 1) {
    std::string list;
    for (CK_OBJECT_HANDLE o : matches) list += (list.empty() ? "" : ", ") + hextext::code(o);
    return Outcome::fail(ExitCode::Conflict, std::to_string(matches.size()) + " objects match (" + list +
                                                 "); name one with --handle");
  }
  rv = session.destroy(matches[0]);
  if (rv == CKR_USER_NOT_LOGGED_IN) return Outcome::fail(ExitCode::Password, "removing a private object needs --password");
  if (rv != CKR_OK) return ToolContext::refused("removing the object", rv);
  std::printf("removed object 0x%08lX from token %s\n", static_cast<unsigned long>(matches[0]), quoted(token.serial).c_str());
  return Outcome::ok();
}
