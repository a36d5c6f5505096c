#include "TokenCommands.h"

#include <cstdio>
#include <cstdlib>

#include "tokenkit/CryptokiText.h"

namespace {

const char* stateName(CK_ULONG state) {
  switch (state) {
    case Q_TOKEN_ABSENT: return "empty";
    case Q_TOKEN_PRESENT: return "token";
    case Q_TOKEN_CORRUPT: return "corrupt";
    case Q_TOKEN_REMOVED: return "removed";
    default: return "unknown";
  }
}

// A count option: absent gives 0 (the library's default), else 1..limit.
Outcome countOption(const Arguments& args, const char* name, unsigned long limit, CK_ULONG* value) {
  *value = 0;
  if (!args.has(name)) return Outcome::ok();
  const std::string text = args.value(name);
  char* end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || *end || text[0] == '-' || v < 1 || v > limit)
    return Outcome::fail(ExitCode::Usage, std::string("--") + name + " needs a number from 1 to " +
                                              std::to_string(limit) + ", not " + quoted(text));
  *value = v;
  return Outcome::ok();
}

Outcome whichPin(const Arguments& args, CK_ULONG* which, std::string* name) {
  *name = args.value("pin", "user");
  if (*name == "user" || *name == "password") *which = Q_PIN_USER;
  else if (*name == "so") *which = Q_PIN_SO;
  else if (*name == "device") *which = Q_PIN_DEVICE;
  else return Outcome::fail(ExitCode::Usage, "--pin must be user, so or device, not " + quoted(*name));
  return Outcome::ok();
}

CK_UTF8CHAR_PTR bytesOf(const std::string& s) {
  return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(s.data()));
}

}  // namespace

Outcome TokenCommands::list(ToolContext& ctx, const Arguments&) {
  std::vector<TokenSlot> slots;
  const CK_RV rv = ctx.library().listTokens(&slots);
  if (rv != CKR_OK) return ToolContext::refused("listing the tokens", rv);
  std::printf("store folder: %s\n", ctx.library().storeFolder().c_str());
  std::printf("%-5s %-8s %-17s %s\n", "slot", "state", "serial", "label");
  for (const TokenSlot& s : slots)
    std::printf("%-5lu %-8s %-17s %s\n", static_cast<unsigned long>(s.slot), stateName(s.state),
                s.state == Q_TOKEN_PRESENT ? s.serial.c_str() : "-", s.state == Q_TOKEN_PRESENT ? s.label.c_str() : "");
  return Outcome::ok();
}

Outcome TokenCommands::create(ToolContext& ctx, const Arguments& args) {
  const std::string serial = args.value("serial");
  const std::string label = args.value("label", serial);
  if (serial.empty() || serial.size() > 16)
    return Outcome::fail(ExitCode::Usage, "--serial needs 1 to 16 characters, not " + quoted(serial));
  for (unsigned char c : serial)
    if (c <= 0x20 || c >= 0x7F)
      return Outcome::fail(ExitCode::Usage, "the serial " + quoted(serial) + " may hold only printable ASCII without blanks");
  if (label.size() > 32) return Outcome::fail(ExitCode::Usage, "--label takes at most 32 bytes, not " + std::to_string(label.size()));
  if (!args.has("so-pin")) return Outcome::fail(ExitCode::Usage, "create needs --so-pin");

  Q_TOKEN_PARAMS p = {};
  Outcome r = countOption(args, "password-limit", 255, &p.ulUserPinLimit);
  if (!r.failed()) r = countOption(args, "so-pin-limit", 255, &p.ulSoPinLimit);
  if (!r.failed()) r = countOption(args, "device-pin-limit", 255, &p.ulDevicePinLimit);
  if (!r.failed()) r = countOption(args, "min-pin-len", 255, &p.ulMinPinLen);
  if (!r.failed()) r = countOption(args, "max-pin-len", 255, &p.ulMaxPinLen);
  if (r.failed()) return r;
  const unsigned long minLen = p.ulMinPinLen ? p.ulMinPinLen : Q_DEFAULT_MIN_PIN_LEN;
  const unsigned long maxLen = p.ulMaxPinLen ? p.ulMaxPinLen : Q_DEFAULT_MAX_PIN_LEN;
  if (minLen > maxLen) return Outcome::fail(ExitCode::Usage, "--min-pin-len is larger than --max-pin-len");
  const struct {
    const char* option;
    const char* what;
  } pins[] = {{"so-pin", "SO PIN"}, {"password", "password"}, {"device-pin", "device PIN"}};
  for (const auto& pin : pins) {
    if (!args.has(pin.option)) continue;
    const size_t n = args.value(pin.option).size();
    if (n < minLen || n > maxLen)
      return Outcome::fail(ExitCode::Usage, std::string("the ") + pin.what + " must have " + std::to_string(minLen) +
                                                " to " + std::to_string(maxLen) + " characters, not " + std::to_string(n));
  }
  if (args.has("device-puk") && !args.has("device-pin"))
    return Outcome::fail(ExitCode::Usage, "--device-puk needs --device-pin");

  std::vector<TokenSlot> slots;
  CK_RV rv = ctx.library().listTokens(&slots);
  if (rv != CKR_OK) return ToolContext::refused("listing the tokens", rv);
  for (const TokenSlot& s : slots)
    if (s.state == Q_TOKEN_PRESENT && s.serial == serial)
      return Outcome::fail(ExitCode::Conflict, "slot " + std::to_string(s.slot) + " already holds a token with the serial " + quoted(serial));
  CK_SLOT_ID slot = 0;
  if (args.has("slot")) {
    const std::string text = args.value("slot");
    char* end = nullptr;
    slot = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end || slot < 1 || slot > slots.size())
      return Outcome::fail(ExitCode::Usage, "--slot needs a slot from 1 to " + std::to_string(slots.size()) + ", not " + quoted(text));
    if (slots[slot - 1].state == Q_TOKEN_PRESENT || slots[slot - 1].state == Q_TOKEN_REMOVED)
      return Outcome::fail(ExitCode::Conflict, "slot " + text + " already holds the token " + quoted(slots[slot - 1].serial) +
                                                   "; delete it first");
  } else {
    for (const TokenSlot& s : slots) {
      if (s.state == Q_TOKEN_ABSENT) {
        slot = s.slot;
        break;
      }
    }
    if (!slot) return Outcome::fail(ExitCode::Conflict, "every slot holds a token; delete one or give --slot");
  }

  const std::string soPin = args.value("so-pin"), userPin = args.value("password");
  const std::string devicePin = args.value("device-pin"), devicePuk = args.value("device-puk");
  p.pSerial = bytesOf(serial), p.ulSerialLen = static_cast<CK_ULONG>(serial.size());
  p.pLabel = bytesOf(label), p.ulLabelLen = static_cast<CK_ULONG>(label.size());
  p.pSoPin = bytesOf(soPin), p.ulSoPinLen = static_cast<CK_ULONG>(soPin.size());
  if (args.has("password")) p.pUserPin = bytesOf(userPin), p.ulUserPinLen = static_cast<CK_ULONG>(userPin.size());
  if (args.has("device-pin"))
    p.pDevicePin = bytesOf(devicePin), p.ulDevicePinLen = static_cast<CK_ULONG>(devicePin.size());
  if (args.has("device-puk"))
    p.pDevicePuk = bytesOf(devicePuk), p.ulDevicePukLen = static_cast<CK_ULONG>(devicePuk.size());
  rv = ctx.vendor()->Q_CreateToken(slot, &p);
  if (rv != CKR_OK) return ToolContext::refused("creating the token " + quoted(serial), rv);
  for (const TokenSlot& s : slots) {
    // The page finds its token by a substring of the serial: say when that is ambiguous.
    if (s.state == Q_TOKEN_PRESENT && (s.serial.find(serial) != std::string::npos || serial.find(s.serial) != std::string::npos))
      std::fprintf(stderr, "zelt-token: note: the serials %s and %s contain one another\n", quoted(serial).c_str(),
                   quoted(s.serial).c_str());
  }
  std::printf("created token %s (label %s) in slot %lu\n", quoted(serial).c_str(), quoted(label).c_str(),
              static_cast<unsigned long>(slot));
  return Outcome::ok();
}

Outcome TokenCommands::remove(ToolContext& ctx, const Arguments& args) {
  TokenSlot token;
  Outcome r = ctx.findToken(args, &token);
  if (r.failed()) return r;
  const CK_RV rv = ctx.vendor()->Q_DeleteToken(token.slot);
  if (rv != CKR_OK) return ToolContext::refused("deleting the token " + quoted(token.serial), rv);
  std::printf("deleted token %s from slot %lu\n", quoted(token.serial).c_str(), static_cast<unsigned long>(token.slot));
  return Outcome::ok();
}

Outcome TokenCommands::lock(ToolContext& ctx, const Arguments& args) { return setLock(ctx, args, true); }
Outcome TokenCommands::unlock(ToolContext& ctx, const Arguments& args) { return setLock(ctx, args, false); }

Outcome TokenCommands::setLock(ToolContext& ctx, const Arguments& args, bool locked) {
  CK_ULONG which = 0;
  std::string name;
  Outcome r = whichPin(args, &which, &name);
  if (r.failed()) return r;
  TokenSlot token;
  r = ctx.findToken(args, &token);
  if (r.failed()) return r;
  const CK_RV rv = ctx.vendor()->Q_SetPinLock(token.slot, which, locked ? CK_TRUE : CK_FALSE);
  if (rv == CKR_USER_PIN_NOT_INITIALIZED)
    return Outcome::fail(ExitCode::Conflict, "token " + quoted(token.serial) + " has no " + name + " PIN");
  if (rv != CKR_OK) return ToolContext::refused(std::string(locked ? "locking" : "unlocking") + " the " + name + " PIN", rv);
  std::printf("%s the %s PIN of token %s\n", locked ? "locked" : "unlocked", name.c_str(), quoted(token.serial).c_str());
  return Outcome::ok();
}
