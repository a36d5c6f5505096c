#include "ToolContext.h"

#include <cstdio>
#include <cstdlib>

#include "tokenkit/CryptokiText.h"

namespace {

std::string describeTokens(const std::vector<TokenSlot>& slots) {
  std::string list;
  for (const TokenSlot& s : slots) {
    if (s.state != Q_TOKEN_PRESENT) continue;
    list += (list.empty() ? "" : ", ") + quoted(s.serial) + " (slot " + std::to_string(s.slot) + ")";
  }
  return list.empty() ? "there are no tokens" : "tokens: " + list;
}

}  // namespace

Outcome ToolContext::findToken(const Arguments& args, TokenSlot* token) {
  std::vector<TokenSlot> slots;
  const CK_RV rv = library_.listTokens(&slots);
  if (rv != CKR_OK) return refused("listing the tokens", rv);
  const std::string where = library_.storeFolder();
  const std::string in = where.empty() ? std::string() : " in " + where;

  if (args.has("slot")) {
    char* end = nullptr;
    const std::string text = args.value("slot");
    const unsigned long slot = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end) return Outcome::fail(ExitCode::Usage, "--slot needs a slot number, not " + quoted(text));
    for (const TokenSlot& s : slots) {
      if (s.slot != slot) continue;
      if (s.state != Q_TOKEN_PRESENT)
        return Outcome::fail(ExitCode::UnknownToken, "slot " + text + " holds no usable token" + in);
      if (args.has("serial") && args.value("serial") != s.serial)
        return Outcome::fail(ExitCode::UnknownToken, "the token in slot " + text + " has the serial " +
                                                         quoted(s.serial) + ", not " + quoted(args.value("serial")));
      *token = s;
      return Outcome::ok();
    }
    return Outcome::fail(ExitCode::UnknownToken,
                         "there is no slot " + text + " (slots 1 to " + std::to_string(slots.size()) + ")");
  }
  if (!args.has("serial")) return Outcome::fail(ExitCode::Usage, "name the token with --serial (or --slot)");
  const std::string serial = args.value("serial");
  for (const TokenSlot& s : slots) {
    if (s.serial != serial) continue;
    if (s.state == Q_TOKEN_PRESENT) {
      *token = s;
      return Outcome::ok();
    }
  }
  return Outcome::fail(ExitCode::UnknownToken,
                       "no token with the serial " + quoted(serial) + in + "; " + describeTokens(slots));
}

Outcome ToolContext::openSession(const TokenSlot& token, const std::string* password, TokenSession* session) {
  CK_RV rv = session->open(token.slot);
  if (rv != CKR_OK) return refused("opening a session on token " + quoted(token.serial), rv);
  if (!password) return Outcome::ok();
  rv = session->login(*password);
  if (rv == CKR_OK || rv == CKR_USER_ALREADY_LOGGED_IN) return Outcome::ok();
  return loginFailure(token, rv);
}

Outcome ToolContext::loginFailure(const TokenSlot& token, CK_RV rv) {
  const std::string name = "token " + quoted(token.serial);
  if (rv == CKR_PIN_INCORRECT) {
    Q_PIN_INFO info = {};
    std::string left;
    if (vendor()->Q_GetPinInfo(token.slot, Q_PIN_USER, &info) == CKR_OK) {
      left = (info.flags & Q_PIN_FLAG_LOCKED) ? "; the password is now blocked"
                                              : "; " + std::to_string(info.ulTriesLeft) + " tries left";
    }
    return Outcome::fail(ExitCode::Password, "wrong password for " + name + left);
  }
  if (rv == CKR_PIN_LOCKED)
    return Outcome::fail(ExitCode::Password, "the password of " + name + " is blocked; unblock it with: zelt-token unlock --serial " +
                                                 token.serial + " --pin user");
  if (rv == CKR_USER_PIN_NOT_INITIALIZED)
    return Outcome::fail(ExitCode::Password, name + " has no password yet (create it with --password)");
  if (rv == CKR_PIN_LEN_RANGE || rv == CKR_PIN_INVALID)
    return Outcome::fail(ExitCode::Password, "the password given for " + name + " has an invalid length or characters");
  return refused("logging in to " + name, rv);
}
