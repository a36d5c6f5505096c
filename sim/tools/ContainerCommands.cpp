#include "ContainerCommands.h"

#include <cstdio>
#include <cstdlib>

#include "tokenkit/ContainerStore.h"

namespace {

std::string nameList(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& n : names) list += (list.empty() ? "" : ", ") + quoted(n);
  return list.empty() ? "(none)" : list;
}

Outcome requireCertificate(ContainerStore& store, const std::string& label, bool allowMissing) {
  if (label.empty() || allowMissing) return Outcome::ok();
  std::vector<CK_OBJECT_HANDLE> found;
  Outcome r = store.findCertificates(label, &found);
  if (r.failed()) return r;
  if (found.empty())
    return Outcome::fail(ExitCode::BadInput, "no certificate labelled " + quoted(label) +
                                                 " is on the token (--allow-missing writes the record anyway)");
  return Outcome::ok();
}

}  // namespace

Outcome versionOption(const Arguments& args, uint8_t fallback, uint8_t* version) {
  *version = fallback;
  if (!args.has("version")) return Outcome::ok();
  const std::string text = args.value("version");
  char* end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || *end || text[0] == '-' || v > 255)
    return Outcome::fail(ExitCode::Usage, "--version needs a number from 0 to 255, not " + quoted(text));
  *version = static_cast<uint8_t>(v);
  return Outcome::ok();
}

Outcome ContainerCommands::catalog(ToolContext& ctx, const Arguments& args) {
  const bool write = args.has("name") || args.has("empty");
  if (write && args.has("delete")) return Outcome::fail(ExitCode::Usage, "--delete does not go with --name or --empty");
  if (args.has("name") && args.has("empty")) return Outcome::fail(ExitCode::Usage, "--empty does not go with --name");
  const std::vector<std::string> names = args.values("name");
  if (names.size() > containerformat::kMaxNames)
    return Outcome::fail(ExitCode::Usage, "a catalog holds at most " + std::to_string(containerformat::kMaxNames) + " names");
  TokenSlot token;
  Outcome r = ctx.findToken(args, &token);
  if (r.failed()) return r;
  TokenSession session(ctx.p11());
  r = ctx.openSession(token, nullptr, &session);
  if (r.failed()) return r;
  ContainerStore store(session);
  ContainerStore::Catalog current;
  r = store.readCatalog(&current);
  if (r.failed() && !(current.object && (write || args.has("delete")))) return r;
  uint8_t version = 0;
  r = versionOption(args, current.object ? current.version : containerformat::kCatalogVersion, &version);
  if (r.failed()) return r;

  if (args.has("delete")) {
    Transaction tx(session);
    r = store.deleteCatalog(tx, current);
    if (r.failed()) return r;
    tx.commit();
    std::printf("removed the container catalog of token %s\n", quoted(token.serial).c_str());
    return Outcome::ok();
  }
  if (!write) {
    if (!current.object) {
      std::printf("token %s has no container catalog\n", quoted(token.serial).c_str());
      return Outcome::ok();
    }
    std::printf("container catalog of token %s: version %u, %u names: %s\n", quoted(token.serial).c_str(),
                current.version, static_cast<unsigned>(current.names.size()), nameList(current.names).c_str());
    return Outcome::ok();
  }
  Transaction tx(session);
  r = store.writeCatalog(tx, current, version, names);
  if (r.failed()) return r;
  tx.commit();
  std::printf("wrote the container catalog of token %s: version %u, names: %s\n", quoted(token.serial).c_str(), version,
              nameList(names).c_str());
  return Outcome::ok();
}

Outcome ContainerCommands::container(ToolContext& ctx, const Arguments& args) {
  const std::string name = args.value("name");
  if (!args.has("name") || name.empty()) return Outcome::fail(ExitCode::Usage, "container needs --name with the container's name");
  const bool change = args.has("exchange-cert") || args.has("signature-cert") || args.has("version") ||
                      args.has("field1") || args.has("field2");
  if (change && args.has("delete")) return Outcome::fail(ExitCode::Usage, "--delete does not go with the record's fields");

  TokenSlot token;
  Outcome r = ctx.findToken(args, &token);
  if (r.failed()) return r;
  TokenSession session(ctx.p11());
  r = ctx.openSession(token, nullptr, &session);
  if (r.failed()) return r;
  ContainerStore store(session);
  ContainerStore::Record current;
  r = store.readRecord(name, &current);
  if (r.failed()) return r;

  if (args.has("delete")) {
    if (!current.object) return Outcome::fail(ExitCode::BadInput, "token " + quoted(token.serial) + " has no container " + quoted(name));
    Transaction tx(session);
    r = store.deleteRecord(tx, name, current);
    if (!r.failed() && !args.has("no-catalog")) r = store.removeName(tx, name);
    if (r.failed()) return r;
    tx.commit();
    std::printf("removed the container %s from token %s\n", quoted(name).c_str(), quoted(token.serial).c_str());
    return Outcome::ok();
  }
  if (!change) {
    if (!current.object) {
      std::printf("token %s has no record of the container %s\n", quoted(token.serial).c_str(), quoted(name).c_str());
      return Outcome::ok();
    }
    const containerformat::RecordFields& f = current.fields;
    std::printf("container %s: version %u, key exchange certificate %s, signature certificate %s\n", quoted(name).c_str(),
                f.version, quoted(f.exchangeCertLabel).c_str(), quoted(f.signatureCertLabel).c_str());
    return Outcome::ok();
  }

  containerformat::RecordFields fields = current.object ? current.fields : containerformat::RecordFields();
  r = versionOption(args, current.object ? fields.version : containerformat::kRecordVersion, &fields.version);
  if (r.failed()) return r;
  if (args.has("exchange-cert")) fields.exchangeCertLabel = args.value("exchange-cert");
  if (args.has("signature-cert")) fields.signatureCertLabel = args.value("signature-cert");
  if (args.has("field1")) fields.field1 = args.value("field1");
  if (args.has("field2")) fields.field2 = args.value("field2");
  const bool allowMissing = args.has("allow-missing");
  r = requireCertificate(store, fields.exchangeCertLabel, allowMissing);
  if (!r.failed()) r = requireCertificate(store, fields.signatureCertLabel, allowMissing);
  if (r.failed()) return r;

  Transaction tx(session);
  r = store.writeRecord(tx, name, current, fields);
  if (!r.failed() && !args.has("no-catalog")) r = store.addName(tx, name);
  if (r.failed()) return r;
  tx.commit();
  std::printf("wrote the container %s on token %s: version %u, key exchange certificate %s, signature certificate %s\n",
              quoted(name).c_str(), quoted(token.serial).c_str(), fields.version, quoted(fields.exchangeCertLabel).c_str(),
              quoted(fields.signatureCertLabel).c_str());
  return Outcome::ok();
}
