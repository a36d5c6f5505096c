#include "CommandTable.h"

#include "CertificateCommands.h"
#include "ContainerCommands.h"
#include "ObjectCommands.h"
#include "StoreCommands.h"
#include "TokenCommands.h"

namespace commandtable {

namespace {

const CommandSpec kCommands[] = {
    {"tokens", "tokens", "list the slots and their tokens",
     "Lists every slot of the token library with its state (empty, token, corrupt, removed),\n"
     "the token's serial and label.\n",
     {}, true, TokenCommands::list, nullptr},
    {"create",
     "create --serial TEXT --so-pin PIN [--password PIN] [--label TEXT] [--slot N]\n"
     "       [--device-pin PIN [--device-puk CODE]] [--password-limit N] [--so-pin-limit N]\n"
     "       [--device-pin-limit N] [--min-pin-len N] [--max-pin-len N]",
     "create a token in an empty slot",
     "Creates a token in the first empty slot, or in --slot N.\n"
     "  --serial TEXT        1 to 16 printable characters; the host and the page find the token by it\n"
     "  --label TEXT         up to 32 bytes (default: the serial)\n"
     "  --so-pin PIN         the security officer's PIN (required)\n"
     "  --password PIN       the password of the PKI storage (the Cryptoki user PIN); without it\n"
     "                       the token has no password yet\n"
     "  --device-pin PIN     the device PIN that the host's \"Change User PIN\" changes\n"
     "  --device-puk CODE    the code that unblocks the device PIN\n"
     "  --password-limit N, --so-pin-limit N, --device-pin-limit N\n"
     "                       wrong entries in a row that block the PIN (1..255, default 5)\n"
     "  --min-pin-len N, --max-pin-len N\n"
     "                       length limits of all three PINs (default 4 and 64)\n"
     "Refused when a token with the same serial exists or the slot is taken.\n",
     {"serial", "so-pin", "password", "label", "slot", "device-pin", "device-puk", "password-limit", "so-pin-limit",
      "device-pin-limit", "min-pin-len", "max-pin-len"},
     true, TokenCommands::create, nullptr},
    {"delete", "delete --serial TEXT | --slot N", "delete a token",
     "Deletes the token and its file; sessions on it end.\n", {"serial", "slot"}, true, TokenCommands::remove, nullptr},
    {"objects", "objects --serial TEXT [--password PIN] [--raw]", "list a token's objects with their attributes",
     "Lists every object in the token's order with its attributes. Without --password only the\n"
     "public objects are seen. Values longer than 32 bytes are cut unless --raw is given.\n"
     "Certificates, the container catalog and container records are also shown decoded.\n",
     {"serial", "slot", "password", "raw"}, true, ObjectCommands::list, nullptr},
    {"add-cert",
     "add-cert --serial TEXT --password PIN --cert FILE [--key FILE | --no-key]\n"
     "       [--pfx-password TEXT] [--id HEX] [--label TEXT]\n"
     "       [--container NAME [--key-spec exchange|signature]]",
     "store a certificate and its key pair (PEM, DER or PKCS #12)",
     "Stores a certificate (public, CKA_TOKEN true) with its RSA key pair: a public key and a\n"
     "private key (private, sensitive), all three with the same CKA_ID and CKA_LABEL.\n"
     "  --cert FILE          PEM (may also hold the key), DER, or PKCS #12 (.p12, .pfx)\n"
     "  --pfx-password TEXT  the password of a PKCS #12 file\n"
     "  --key FILE           the private key: PEM or DER, PKCS #1 or PKCS #8, not encrypted\n"
     "  --no-key             store the certificate alone\n"
     "  --id HEX             the CKA_ID (default: SHA-1 of the key's modulus)\n"
     "  --label TEXT         the CKA_LABEL (default: the subject's common name)\n"
     "  --container NAME     also bind the certificate to this CSP container: the container's\n"
     "                       record names the certificate's label, and the catalog lists the\n"
     "                       container\n"
     "  --key-spec KIND      exchange (default) or signature: which key of the container\n"
     "Refused, with nothing written, when a file cannot be read, the key does not belong to the\n"
     "certificate, the password is wrong, or the certificate, identifier or label is taken.\n",
     {"serial", "slot", "password", "cert", "key", "no-key", "pfx-password", "id", "label", "container", "key-spec"},
     true, CertificateCommands::add, nullptr},
    {"add-object",
     "add-object --serial TEXT --class CLASS [--label TEXT] [--attr TYPE=VALUE]... [--password PIN]",
     "store an object made of raw attributes",
     "Stores one object exactly as given; CKA_TOKEN is true unless given.\n"
     "  --class CLASS        data, certificate, public-key, private-key, secret-key or a number\n"
     "  --label TEXT         CKA_LABEL with a terminating NUL\n"
     "  --attr TYPE=VALUE    TYPE is a name (CKA_VALUE, value) or a number; VALUE is true/false\n"
     "                       for flags, a number for numbers, else hex:0A1B, text:abc (no NUL),\n"
     "                       nul:abc (with NUL) or file:PATH\n"
     "  --password PIN       needed for private objects\n",
     {"serial", "slot", "password", "class", "label", "attr"}, true, ObjectCommands::add, nullptr},
    {"remove", "remove --serial TEXT (--handle H | --label TEXT | --id HEX) [--class CLASS] [--password PIN]",
     "remove one object",
     "Removes the one object that matches; refused when none or several match.\n"
     "A label matches with or without its terminating NUL. Private objects need --password.\n",
     {"serial", "slot", "password", "handle", "label", "id", "class"}, true, ObjectCommands::remove, nullptr},
    {"catalog", "catalog --serial TEXT [--name NAME]... [--empty] [--version N] [--delete]",
     "show or write the container catalog",
     "Without options shows the catalog. --name (repeatable, in order) or --empty writes the\n"
     "catalog with exactly those names; --version sets its version byte (default: kept, else 1).\n"
     "--delete removes the catalog object.\n",
     {"serial", "slot", "name", "empty", "version", "delete"}, true, ContainerCommands::catalog, nullptr},
    {"container",
     "container --serial TEXT --name NAME [--exchange-cert LABEL] [--signature-cert LABEL]\n"
     "       [--version N] [--field1 TEXT] [--field2 TEXT] [--no-catalog] [--allow-missing] [--delete]",
     "show, write or remove a container record",
     "Without field options shows the record of the container NAME. With them writes it (fields\n"
     "not given keep their values) and adds NAME to the catalog unless --no-catalog.\n"
     "  --exchange-cert LABEL, --signature-cert LABEL\n"
     "                       labels of the certificates of the container's two keys; each must\n"
     "                       name a certificate on the token unless --allow-missing\n"
     "  --version N          the record's version byte (default 2)\n"
     "  --field1, --field2   the record's first two strings, which the page does not read\n"
     "  --delete             removes the record and its name from the catalog\n",
     {"serial", "slot", "name", "exchange-cert", "signature-cert", "version", "field1", "field2", "no-catalog",
      "allow-missing", "delete"},
     true, ContainerCommands::container, nullptr},
    {"lock", "lock --serial TEXT [--pin user|so|device]", "lock a PIN",
     "Locks the PIN (default: user, the password) as too many wrong entries would.\n", {"serial", "slot", "pin"}, true,
     TokenCommands::lock, nullptr},
    {"unlock", "unlock --serial TEXT [--pin user|so|device]", "unlock a PIN",
     "Unlocks the PIN (default: user, the password) and clears its count of wrong entries.\n",
     {"serial", "slot", "pin"}, true, TokenCommands::unlock, nullptr},
    {"register-my",
     "register-my --cert FILE [--pfx-password TEXT] [--container NAME [--key-spec exchange|signature]]",
     "add a certificate to the current user's \"MY\" store",
     "Adds the certificate to the current user's \"MY\" store (replacing an equal one). With\n"
     "--container its key provider information names that container of the token's CSP.\n",
     {"cert", "pfx-password", "container", "key-spec"}, false, nullptr, StoreCommands::registerMy},
    {"unregister-my", "unregister-my --cert FILE [--pfx-password TEXT]", "remove a certificate from the \"MY\" store",
     "Removes the certificate from the current user's \"MY\" store.\n", {"cert", "pfx-password"}, false, nullptr,
     StoreCommands::unregisterMy},
    {"batch", "batch FILE [--keep-going]", "run commands from a file, one a line",
     "Runs the commands of FILE, one a line, as if each were given to zelt-token with the\n"
     "global options of the batch command. Blank lines and lines starting with # are skipped;\n"
     "words are separated by blanks and grouped by double quotes. Each line is one command: its\n"
     "changes are all made or none. Stops at the first failure, with that command's exit code;\n"
     "with --keep-going runs every line, prints \"batch: line N: exit code C\" after each, and\n"
     "ends with the exit code of the first line that failed.\n",
     {"keep-going"}, true, nullptr, nullptr},
};

}  // namespace

const CommandSpec* find(const std::string& name) {
  for (const CommandSpec& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

const std::set<std::string>& flags() {
  static const std::set<std::string> f = {"help",   "no-key",     "raw",           "empty",
                                          "delete", "no-catalog", "allow-missing", "keep-going"};
  return f;
}

const std::set<std::string>& globalOptions() {
  static const std::set<std::string> g = {"help", "dir", "library"};
  return g;
}

std::string overview() {
  std::string text =
      "zelt-token: provisioning tool for the Zelt software token (ZeltP11.dll)\n"
      "\n"
      "Creates and deletes tokens, lists their objects, stores certificates with their key pairs,\n"
      "writes the container catalog and container records of the token's CSP, and locks or unlocks\n"
      "PINs. It works only through the token library, so the Token Utility and every other program\n"
      "that uses the same store folder see the changes at their next call.\n"
      "\n"
      "Usage: zelt-token [--dir FOLDER] [--library DLL] COMMAND [OPTIONS]\n"
      "       zelt-token COMMAND --help     (the command's options)\n"
      "\n"
      "Commands:\n";
  for (const CommandSpec& c : kCommands) {
    std::string name = c.name;
    name.resize(15, ' ');
    text += "  " + name + c.summary + "\n";
  }
  text +=
      "\n"
      "Global options:\n"
      "  --dir FOLDER     the token store folder (default: ZELT_SOFTTOKEN_DIR, else\n"
      "                   %LOCALAPPDATA%\\Zelt\\SoftToken)\n"
      "  --library DLL    the token library (default: ZeltP11.dll beside zelt-token.exe)\n"
      "\n"
      "A token is named by --serial TEXT (its serial, exactly) or --slot N. Labels that this tool\n"
      "writes are stored with a terminating NUL, as the token's CSP stores them. A command makes\n"
      "all of its changes or none: after a failure half-way it undoes what it wrote.\n"
      "\n"
      "Exit codes: 0 done, 1 wrong usage, 2 bad file or value, 3 unknown token, 4 wrong or blocked\n"
      "password, 5 refused by the token, 6 token library not loadable, 7 conflict with what is on\n"
      "the token, 8 system failure.\n";
  return text;
}

std::string details(const CommandSpec& spec) {
  return std::string("Usage: zelt-token [--dir FOLDER] [--library DLL] ") + spec.synopsis + "\n\n" + spec.summary +
         ".\n\n" + spec.details;
}

}  // namespace commandtable
