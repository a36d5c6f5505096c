#include "PromptDialog.h"

#include "HostResource.h"

namespace {

SecretText itemText(HWND dialog, int id) {
  wchar_t buffer[260] = {};
  const int n = ::GetDlgItemTextW(dialog, id, buffer, 260);
  SecretText text;
  text.assign(buffer, static_cast<size_t>(n));
  ::SecureZeroMemory(buffer, sizeof buffer);
  return text;
}

}  // namespace

void centreOverOwner(HWND window, HWND owner) {
  RECT area = {}, box = {};
  ::GetWindowRect(window, &box);
  if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner))
    ::GetWindowRect(owner, &area);
  else
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  const int w = box.right - box.left, h = box.bottom - box.top;
  const int x = area.left + ((area.right - area.left) - w) / 2;
  const int y = area.top + ((area.bottom - area.top) - h) / 2;
  ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

PromptDialog::PromptDialog(Mode mode, const std::wstring& tokenName, unsigned long minLength, unsigned long maxLength)
    : mode_(mode), tokenName_(tokenName), minLength_(minLength), maxLength_(maxLength) {}

INT_PTR PromptDialog::run(HWND owner) {
  accepted_ = false;
  const INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr),
                                           MAKEINTRESOURCEW(mode_ == Mode::Password ? IDD_PASSWORD : IDD_CHANGE),
                                           owner, proc, reinterpret_cast<LPARAM>(this));
  // A WM_QUIT that ended the loop has been posted again by the dialog manager, so the
  // application's own loop still sees it.
  if (result == IDOK && accepted_) return IDOK;
  first_.wipe();
  second_.wipe();
  return IDCANCEL;
}

INT_PTR CALLBACK PromptDialog::proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    reinterpret_cast<PromptDialog*>(lParam)->init(dialog);
    return TRUE;
  }
  auto* self = reinterpret_cast<PromptDialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  if (!self || message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:
      if (self->accept(dialog)) {
        self->accepted_ = true;
        ::EndDialog(dialog, IDOK);
      }
      return TRUE;
    case IDCANCEL:
      ::EndDialog(dialog, IDCANCEL);
      return TRUE;
  }
  return FALSE;
}

void PromptDialog::init(HWND dialog) {
  const std::wstring lengths = L" must have " + std::to_wstring(minLength_) + L" to " + std::to_wstring(maxLength_) +
                               L" characters.";
  switch (mode_) {
    case Mode::Password:
      ::SetWindowTextW(dialog, L"Enter Password");
      ::SetDlgItemTextW(dialog, IDC_PROMPT, (L"Enter the password of the PKI storage on the token " + tokenName_ + L".").c_str());
      break;
    case Mode::ChangePassword:
      ::SetWindowTextW(dialog, L"Change Password");
      ::SetDlgItemTextW(dialog, IDC_PROMPT,
                        (L"Enter the current password of the PKI storage on the token " + tokenName_ +
                         L", then the new password twice.").c_str());
      ::SetDlgItemTextW(dialog, IDC_LABEL1, L"&Current password:");
      ::SetDlgItemTextW(dialog, IDC_LABEL2, L"&New password:");
      ::SetDlgItemTextW(dialog, IDC_LABEL3, L"C&onfirm new password:");
      ::SetDlgItemTextW(dialog, IDC_HINT, (L"The new password" + lengths).c_str());
      break;
    case Mode::ChangePin:
      ::SetWindowTextW(dialog, L"Change User PIN");
      ::SetDlgItemTextW(dialog, IDC_PROMPT,
                        (L"Enter the current User PIN of the token " + tokenName_ + L", then the new User PIN twice.").c_str());
      ::SetDlgItemTextW(dialog, IDC_LABEL1, L"&Current PIN:");
      ::SetDlgItemTextW(dialog, IDC_LABEL2, L"&New PIN:");
      ::SetDlgItemTextW(dialog, IDC_LABEL3, L"C&onfirm new PIN:");
      ::SetDlgItemTextW(dialog, IDC_HINT, (L"The new PIN" + lengths).c_str());
      break;
  }
  if (!note_.empty()) {
    std::wstring hint = note_;
    if (mode_ != Mode::Password) {
      wchar_t rule[260] = {};
      ::GetDlgItemTextW(dialog, IDC_HINT, rule, 260);
      hint += L"\n" + std::wstring(rule);
    }
    ::SetDlgItemTextW(dialog, IDC_HINT, hint.c_str());
  }
  for (int id : {IDC_EDIT1, IDC_EDIT2, IDC_EDIT3})
    ::SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, 259, 0);
  centreOverOwner(dialog, ::GetWindow(dialog, GW_OWNER));
  ::SetFocus(::GetDlgItem(dialog, IDC_EDIT1));
}

bool PromptDialog::accept(HWND dialog) {
  first_ = itemText(dialog, IDC_EDIT1);
  if (mode_ == Mode::Password) {
    if (first_.get().empty()) {
      ::MessageBoxW(dialog, L"Please enter the password.", L"Enter Password", MB_OK | MB_ICONEXCLAMATION);
      return false;
    }
    return true;
  }
  const wchar_t* caption = mode_ == Mode::ChangePin ? L"Change User PIN" : L"Change Password";
  const wchar_t* what = mode_ == Mode::ChangePin ? L"PIN" : L"password";
  second_ = itemText(dialog, IDC_EDIT2);
  SecretText confirmation = itemText(dialog, IDC_EDIT3);
  std::wstring problem;
  int focus = IDC_EDIT2;
  if (first_.get().empty()) {
    problem = std::wstring(L"Please enter the current ") + what + L".";
    focus = IDC_EDIT1;
  } else if (second_.get() != confirmation.get()) {
    problem = std::wstring(L"The new ") + what + L" and its confirmation differ. Please enter them again.";
  } else if (second_.get().size() < minLength_ || second_.get().size() > maxLength_) {
    problem = std::wstring(L"The new ") + what + L" must have " + std::to_wstring(minLength_) + L" to " +
              std::to_wstring(maxLength_) + L" characters.";
  }
  if (problem.empty()) return true;
  ::MessageBoxW(dialog, problem.c_str(), caption, MB_OK | MB_ICONEXCLAMATION);
  if (focus == IDC_EDIT2) {
    ::SetDlgItemTextW(dialog, IDC_EDIT2, L"");
    ::SetDlgItemTextW(dialog, IDC_EDIT3, L"");
  }
  ::SetFocus(::GetDlgItem(dialog, focus));
  first_.wipe();
  second_.wipe();
  return false;
}
