#include "HostToken.h"

#include "ErrorText.h"
#include "PromptDialog.h"
#include "tokenkit/WideText.h"

namespace {

const HRESULT kCancelled = HRESULT_FROM_WIN32(ERROR_CANCELLED);

BSTR allocate(const std::wstring& text) { return ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

// The answer book holds UTF-8; the page takes wide strings and gives the token ANSI.
SecretText fromAnswer(const std::string& value) { return SecretText(widetext::fromUtf8(value)); }

std::string toPinBytes(const SecretText& text) { return widetext::toUtf8(text.get()); }

std::wstring withDescription(const std::wstring& text, HRESULT code) {
  const std::wstring words = errortext::describe(code);
  return words.empty() ? text : text + L"\n\n" + words;
}

}  // namespace

HRESULT HostToken::AttachPage(LONG) { return context_ ? S_OK : E_UNEXPECTED; }

HRESULT HostToken::CloseToken() {
  if (!context_) return E_UNEXPECTED;
  context_->token.close();
  return S_OK;
}

HRESULT HostToken::OpenToken(LONG, LONG) {
  if (!context_) return E_UNEXPECTED;
  if (!context_->token.selected()) context_->token.select(context_->serialFilter);
  return context_->token.open();
}

HRESULT HostToken::GetSerialNumber(BSTR* serial) {
  if (!serial) return E_POINTER;
  *serial = nullptr;
  if (!context_) return E_UNEXPECTED;
  if (!context_->token.selected()) return S_FALSE;
  // The whole 16-character field, blanks included: a page finds its token as the one whose
  // serial field contains this text, and only the full field cannot also be contained in
  // another token's serial ("ZT4A7C21" is contained in "ZT4A7C210").
  std::string field = context_->token.serial();
  if (field.size() < 16) field.resize(16, ' ');
  *serial = allocate(widetext::fromUtf8(field));
  return *serial ? S_OK : E_OUTOFMEMORY;
}

HRESULT HostToken::GetTokenId(LONG* id) {
  if (!id) return E_POINTER;
  if (!context_) return E_UNEXPECTED;
  *id = static_cast<LONG>(context_->token.slot());
  return S_OK;
}

HRESULT HostToken::UpdateTokenStatus() {
  if (!context_) return E_UNEXPECTED;
  context_->updateHeader();
  context_->postTokenState();
  return S_OK;
}

HRESULT HostToken::ReportResult(HRESULT openResult) {
  if (!context_) return E_UNEXPECTED;
  if (openResult == S_OK) return S_OK;
  context_->message(nullptr,
                    withDescription(L"The token " + context_->tokenName() + L" cannot be opened.", openResult),
                    MB_OK | MB_ICONERROR);
  return openResult;
}

HRESULT HostToken::GetPinState(LONG* first, LONG* second) {
  if (!first || !second) return E_POINTER;
  if (!context_) return E_UNEXPECTED;
  Q_PIN_INFO info = {};
  const HRESULT hr = context_->token.devicePinInfo(&info);
  if (hr != S_OK) return hr;
  // First: tries left; second: blocked. A token without a device PIN is never blocked.
  *first = (info.flags & Q_PIN_FLAG_SET) ? static_cast<LONG>(info.ulTriesLeft) : 0;
  *second = (info.flags & Q_PIN_FLAG_SET) && (info.flags & Q_PIN_FLAG_LOCKED) ? 1 : 0;
  return S_OK;
}

bool HostToken::askChange(bool pin, const std::wstring& note, SecretText* oldValue, SecretText* newValue) {
  AnswerBook& answers = context_->answers;
  const AnswerBook::Kind oldKind = pin ? AnswerBook::Kind::Pin : AnswerBook::Kind::OldPassword;
  const AnswerBook::Kind newKind = pin ? AnswerBook::Kind::NewPin : AnswerBook::Kind::NewPassword;
  if (answers.has(oldKind) || answers.has(newKind)) {
    std::string oldText, newText;
    bool oldCancel = false, newCancel = false;
    answers.take(oldKind, &oldText, &oldCancel);
    answers.take(newKind, &newText, &newCancel);
    if (oldCancel || newCancel) return false;
    *oldValue = fromAnswer(oldText);
    *newValue = fromAnswer(newText);
    return true;
  }
  unsigned long minimum = 0, maximum = 0;
  context_->token.pinLengths(&minimum, &maximum);
  PromptDialog dialog(pin ? PromptDialog::Mode::ChangePin : PromptDialog::Mode::ChangePassword, context_->tokenName(),
                      minimum, maximum);
  dialog.setNote(note);
  context_->status.hide();
  if (dialog.run(context_->ownerFor(nullptr)) != IDOK) return false;
  oldValue->assign(dialog.first().get().data(), dialog.first().get().size());
  newValue->assign(dialog.second().get().data(), dialog.second().get().size());
  return true;
}

bool HostToken::pinChangeFailed(unsigned long rv, std::wstring* note) {
  Q_PIN_INFO info = {};
  const bool known = context_->token.devicePinInfo(&info) == S_OK;
  if (rv == CKR_PIN_INCORRECT && known && !(info.flags & Q_PIN_FLAG_LOCKED)) {
    *note = L"The current PIN was wrong: " + std::to_wstring(info.ulTriesLeft) +
            (info.ulTriesLeft == 1 ? L" attempt is left." : L" attempts are left.");
    return true;
  }
  if (rv == CKR_PIN_LEN_RANGE) {
    *note = L"The new PIN has a length that the token does not accept.";
    return true;
  }
  if (rv == CKR_PIN_INCORRECT || rv == CKR_PIN_LOCKED) {
    context_->message(nullptr, L"The User PIN of the token " + context_->tokenName() +
                                   L" is blocked after too many wrong entries. It can be unblocked with the token's "
                                   L"unblock code.",
                      MB_OK | MB_ICONERROR);
  } else {
    context_->message(nullptr, withDescription(L"The User PIN could not be changed.", errortext::fromCryptoki(rv)),
                      MB_OK | MB_ICONERROR);
  }
  return false;
}

HRESULT HostToken::ChangeUserPin() {
  if (!context_) return E_UNEXPECTED;
  Q_PIN_INFO info = {};
  const HRESULT hr = context_->token.devicePinInfo(&info);
  if (hr != S_OK) {
    context_->message(nullptr, withDescription(L"The User PIN of the token cannot be read.", hr), MB_OK | MB_ICONERROR);
    return hr;
  }
  if (!(info.flags & Q_PIN_FLAG_SET)) {
    context_->message(nullptr, L"The token " + context_->tokenName() + L" has no User PIN.", MB_OK | MB_ICONINFORMATION);
    return E_FAIL;
  }
  if (info.flags & Q_PIN_FLAG_LOCKED) {
    pinChangeFailed(CKR_PIN_LOCKED, nullptr);
    return errortext::fromCryptoki(CKR_PIN_LOCKED);
  }
  std::wstring note;
  for (;;) {
    SecretText oldPin, newPin;
    if (!askChange(true, note, &oldPin, &newPin)) return kCancelled;
    std::string oldBytes = toPinBytes(oldPin), newBytes = toPinBytes(newPin);
    const unsigned long rv = context_->token.changeDevicePin(oldBytes, newBytes);
    ::SecureZeroMemory(&oldBytes[0], oldBytes.size());
    ::SecureZeroMemory(&newBytes[0], newBytes.size());
    if (rv == CKR_OK) return S_OK;
    if (!pinChangeFailed(rv, &note)) {
      context_->updateHeader();
      return errortext::fromCryptoki(rv);
    }
  }
}

HRESULT HostToken::AskPasswordChange(BSTR* oldPassword, BSTR* newPassword) {
  if (!oldPassword || !newPassword) return E_POINTER;
  *oldPassword = *newPassword = nullptr;
  if (!context_) return E_UNEXPECTED;
  SecretText oldValue, newValue;
  if (!askChange(false, std::wstring(), &oldValue, &newValue)) return kCancelled;
  *oldPassword = allocate(oldValue.get());
  *newPassword = allocate(newValue.get());
  if (*oldPassword && *newPassword) return S_OK;
  ::SysFreeString(*oldPassword);
  ::SysFreeString(*newPassword);
  *oldPassword = *newPassword = nullptr;
  return E_OUTOFMEMORY;
}

HRESULT HostToken::AskPassword(HWND owner, BSTR* password) {
  if (!password) return E_POINTER;
  *password = nullptr;
  if (!context_) return E_UNEXPECTED;
  std::string answer;
  bool cancel = false;
  SecretText value;
  if (context_->answers.take(AnswerBook::Kind::Password, &answer, &cancel)) {
    if (cancel) return kCancelled;
    value = fromAnswer(answer);
  } else {
    unsigned long minimum = 0, maximum = 0;
    context_->token.pinLengths(&minimum, &maximum);
    PromptDialog dialog(PromptDialog::Mode::Password, context_->tokenName(), minimum, maximum);
    context_->status.hide();
    if (dialog.run(context_->ownerFor(owner)) != IDOK) return kCancelled;
    value.assign(dialog.first().get().data(), dialog.first().get().size());
  }
  *password = allocate(value.get());
  return *password ? S_OK : E_OUTOFMEMORY;
}
