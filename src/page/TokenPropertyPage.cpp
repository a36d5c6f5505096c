#include "page/TokenPropertyPage.h"

#include <cstdarg>
#include <cstdio>
#include <new>

#include "model/ScopedBstr.h"
#include "model/ScopedGdiObject.h"
#include "model/ScopedMemoryDC.h"
#include "model/SecretBuffer.h"
#include "res/resource.h"
#include "server/Module.h"

const DialogWindow::MessageEntry TokenPropertyPage::kMessageMap[] = {
    OnMessage(WM_STYLECHANGING, &TokenPropertyPage::OnStyleChanging),
    OnMessage(WM_TOKENPAGE_NOTIFY, &TokenPropertyPage::OnTokenPageNotify),
    OnMessage(WM_INITDIALOG, &TokenPropertyPage::OnInitDialog),
};

namespace {

constexpr int kTextSize = 512;       // message, label, caption and control texts
constexpr int kComposedSize = 1536;  // the text of an error box
constexpr int kPathSize = 260;

// snprintf that always terminates and never writes past `capacity`.
void FormatBounded(char* out, size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(out, capacity, format, args);
  va_end(args);
  if (n < 0) out[0] = '\0';
  out[capacity - 1] = '\0';
}

// `text` in the ANSI code page in a fixed buffer, cut at a character boundary where it does not
// fit; null gives an empty text.
void ShownText(const wchar_t* text, char* out, int capacity) {
  SecretBuffer converted;
  converted.AssignWide(text, static_cast<size_t>(capacity) - 1, SecretBuffer::Conversion::Shown);
  FormatBounded(out, static_cast<size_t>(capacity), "%s", converted.text());
}

// String `id` of the module in wide characters ("" when it does not load); the length of the
// text with its NUL, or 0 when it does not convert.
int LoadWideText(UINT id, wchar_t (&wide)[kTextSize]) {
  char text[kTextSize];
  Module::LoadText(id, text);
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kTextSize);
  if (length <= 0) wide[0] = L'\0';
  return length;
}

// String `id` of the module as a wide string in task memory; null when it cannot be made.
LPOLESTR TaskMemText(UINT id) {
  wchar_t text[kTextSize];
  const int length = LoadWideText(id, text);
  if (length <= 0) return nullptr;
  const SIZE_T size = static_cast<SIZE_T>(length) * sizeof(OLECHAR);
  LPOLESTR wide = static_cast<LPOLESTR>(::CoTaskMemAlloc(size));
  if (wide) ::CopyMemory(wide, text, size);
  return wide;
}

// What GetPageInfo needs of a dialog template: its size and its font.
struct TemplateFacts {
  short cx = 0;
  short cy = 0;
  bool hasFont = false;
  WORD pointSize = 0;
  WORD weight = FW_DONTCARE;
  BYTE italic = FALSE;
  BYTE charset = DEFAULT_CHARSET;
  const wchar_t* faceName = nullptr;
};

class TemplateReader {
 public:
  TemplateReader(const BYTE* data, DWORD size) : data_(data), size_(size) {}
  bool Word(WORD& value) { return Read(&value, sizeof value); }
  bool Dword(DWORD& value) { return Read(&value, sizeof value); }
  bool Byte(BYTE& value) { return Read(&value, sizeof value); }
  bool Skip(DWORD bytes) {
    if (size_ - offset_ < bytes) return false;
    offset_ += bytes;
    return true;
  }
  // A zero-terminated wide string in place; null when it runs past the end.
  const wchar_t* String() {
    const DWORD start = offset_;
    WORD c;
    do {
      if (!Word(c)) return nullptr;
    } while (c != 0);
    return reinterpret_cast<const wchar_t*>(data_ + start);
  }
  // A name-or-ordinal field.
  bool NameOrOrdinal() {
    WORD first;
    if (!Word(first)) return false;
    if (first == 0) return true;
    if (first == 0xFFFF) return Skip(sizeof(WORD));
    offset_ -= sizeof(WORD);
    return String() != nullptr;
  }

 private:
  bool Read(void* out, DWORD bytes) {
    if (size_ - offset_ < bytes) return false;
    ::CopyMemory(out, data_ + offset_, bytes);
    offset_ += bytes;
    return true;
  }

  const BYTE* data_;
  DWORD size_;
  DWORD offset_ = 0;
};

bool ReadTemplate(const BYTE* data, DWORD size, TemplateFacts& facts) {
  TemplateReader reader(data, size);
  WORD version = 0, signature = 0;
  if (!reader.Word(version) || !reader.Word(signature)) return false;
  const bool extended = version == 1 && signature == 0xFFFF;
  DWORD style = 0, exStyle = 0, helpId = 0;
  WORD items = 0, x = 0, y = 0, cx = 0, cy = 0;
  if (extended) {
    if (!reader.Dword(helpId) || !reader.Dword(exStyle) || !reader.Dword(style)) return false;
  } else {
    style = MAKELONG(version, signature);
    if (!reader.Dword(exStyle)) return false;
  }
  if (!reader.Word(items) || !reader.Word(x) || !reader.Word(y) || !reader.Word(cx) || !reader.Word(cy)) return false;
  facts.cx = static_cast<short>(cx);
  facts.cy = static_cast<short>(cy);
  if (!reader.NameOrOrdinal() || !reader.NameOrOrdinal() || !reader.String()) return false;
  if (!(style & DS_SETFONT)) return true;
  if (!reader.Word(facts.pointSize)) return false;
  if (extended && (!reader.Word(facts.weight) || !reader.Byte(facts.italic) || !reader.Byte(facts.charset)))
    return false;
  facts.faceName = reader.String();
  facts.hasFont = facts.faceName != nullptr;
  return facts.hasFont;
}

// Dialog base units of a template's font, computed as the dialog manager does.
bool FontBaseUnits(const TemplateFacts& facts, LONG& baseX, LONG& baseY) {
  ScopedMemoryDC dc(::CreateCompatibleDC(nullptr));
  if (!dc) return false;
  const int height = -::MulDiv(facts.pointSize, ::GetDeviceCaps(dc.get(), LOGPIXELSY), 72);
  ScopedGdiObject font(::CreateFontW(height, 0, 0, 0, facts.weight, facts.italic, FALSE, FALSE, DEFAULT_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FF_DONTCARE,
                                     facts.faceName));
  if (!font) return false;
  HGDIOBJ previous = ::SelectObject(dc.get(), font.get());
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  TEXTMETRICA metrics = {};
  SIZE extent = {};
  const bool measured = ::GetTextMetricsA(dc.get(), &metrics) &&
                        ::GetTextExtentPoint32A(dc.get(), kAlphabet, sizeof kAlphabet - 1, &extent);
  ::SelectObject(dc.get(), previous);
  if (!measured) return false;
  baseX = (extent.cx / 26 + 1) / 2;
  baseY = metrics.tmHeight;
  return true;
}

}  // namespace

TokenPropertyPage::TokenPropertyPage(IUnknown* outer, UINT templateId, UINT titleId, UINT helpFileId,
                                     UINT docStringId)
    : DialogWindow(templateId, kMessageMap),
      ComObjectRoot(outer),
      titleId_(titleId),
      helpFileId_(helpFileId),
      docStringId_(docStringId) {}

TokenPropertyPage::~TokenPropertyPage() {
  // The derived page is gone: no message may reach its handlers any more.
  DestroyDetached();
  hostToken_.Reset();
  hostStatus_.Reset();
  site_.Reset();
  objects_.reset();
  objectCount_ = 0;
}

HRESULT TokenPropertyPage::InternalQueryInterface(REFIID iid, void** out) {
  if (IsEqualIID(iid, IID_IPropertyPage)) {
    *out = static_cast<IPropertyPage*>(this);
    OuterAddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

LRESULT TokenPropertyPage::OnStyleChanging(UINT, WPARAM wParam, LPARAM lParam) {
  // Tab and mnemonics of the host's sheet reach into the page's controls.
  if (static_cast<int>(wParam) == GWL_EXSTYLE && lParam)
    reinterpret_cast<STYLESTRUCT*>(lParam)->styleNew |= WS_EX_CONTROLPARENT;
  return 0;
}

LRESULT TokenPropertyPage::OnTokenPageNotify(UINT, WPARAM wParam, LPARAM lParam) {
  OnNotify(wParam, lParam);
  return 0;
}

LRESULT TokenPropertyPage::OnInitDialog(UINT, WPARAM, LPARAM) {
  InitControls();
  UpdatePinBlockedLabel();
  HidePasswordBlocked();
  return FALSE;  // the host places the focus
}

void TokenPropertyPage::UpdatePinBlockedLabel() {}

void TokenPropertyPage::SetState(UINT state, BOOL enable) {
  for (int i = 0;; ++i) {
    PageControl* control = GetControl(i);
    if (!control || control->id == 0) break;
    bool matches = false;
    for (UINT32 code : control->states) matches = matches || code == state;
    const bool active = matches && !control->alwaysDisabled;
    if (!control->keepVisibility) ::ShowWindow(control->window, active ? SW_SHOW : SW_HIDE);
    ::EnableWindow(control->window, active);
  }
  EnableTokenButtons(enable);
  UpdatePinBlockedLabel();
}

void TokenPropertyPage::ResetControls() { EnableControls(); }

void TokenPropertyPage::ShowPasswordBlocked() {}

void TokenPropertyPage::HidePasswordBlocked() {}

void TokenPropertyPage::RefreshTokenState() {}

void TokenPropertyPage::InitControls() {
  for (int i = 0;; ++i) {
    PageControl* control = GetControl(i);
    if (!control || control->id == 0) break;
    control->window = Item(control->id);
    if (!::IsWindow(control->window)) continue;
    char text[kTextSize];
    ::SetWindowTextA(control->window, Module::LoadText(control->stringId, text));
    if (!control->alwaysDisabled) ::EnableWindow(control->window, TRUE);
  }
}

void TokenPropertyPage::EnableControls() {
  for (int i = 0;; ++i) {
    PageControl* control = GetControl(i);
    if (!control || control->id == 0) break;
    if (!control->alwaysDisabled) ::EnableWindow(control->window, TRUE);
  }
}

void TokenPropertyPage::ShowItem(int id, bool show) {
  HWND item = Item(id);
  if (::IsWindow(item)) ::ShowWindow(item, show ? SW_SHOW : SW_HIDE);
}

void TokenPropertyPage::OnNotify(WPARAM code, LPARAM value) {
  switch (code) {
    case TPN_ENABLE:
      SetState(static_cast<UINT>(value), TRUE);
      break;
    case TPN_DISABLE:
      SetState(static_cast<UINT>(value), FALSE);
      break;
    case TPN_RESET:
      ResetControls();
      break;
    case TPN_PASSWORD_BLOCKED:
      ShowPasswordBlocked();
      break;
    case TPN_PASSWORD_UNBLOCKED:
      HidePasswordBlocked();
      break;
    case TPN_REFRESH:
      RefreshTokenState();
      break;
    default:
      break;
  }
}

HRESULT TokenPropertyPage::OnActivate(HWND parent) {
  IUnknown* first = objectCount_ > 0 ? objects_[0].Get() : nullptr;
  ComPtr<IHostStatus> status;
  if (first) first->QueryInterface(IID_IHostStatus, status.ReceiveVoid());
  if (!status) return E_POINTER;
  hostStatus_ = std::move(status);
  hostStatus_->SetPageFrame(::GetParent(parent), 0);

  IUnknown* second = objectCount_ > 1 ? objects_[1].Get() : nullptr;
  ComPtr<IHostToken> token;
  HRESULT result = second ? second->QueryInterface(IID_IHostToken, token.ReceiveVoid()) : E_POINTER;
  if (!token) return E_POINTER;
  hostToken_ = std::move(token);
  if (SUCCEEDED(result)) result = hostToken_->AttachPage(0);

  hostStatus_->PageActivated(0);
  return result;
}

HRESULT TokenPropertyPage::SetPageSite(IPropertyPageSite* site) {
  if (site) {
    if (site_) return E_UNEXPECTED;
    site_ = ComPtr<IPropertyPageSite>::Share(site);
  } else {
    site_.Reset();
  }
  return S_OK;
}

HRESULT TokenPropertyPage::Activate(HWND parent, LPCRECT rect, BOOL) {
  if (!rect) return E_POINTER;
  Destroy();
  HWND window = DialogWindow::Create(parent);
  if (!window) {
    const DWORD error = ::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  const LONG width = rect->right - rect->left;
  const LONG height = rect->bottom - rect->top;
  ::MoveWindow(window, rect->left, rect->top, width, height, TRUE);
  pageSize_.cx = width;
  pageSize_.cy = height;
  return OnActivate(parent);
}

HRESULT TokenPropertyPage::Deactivate() {
  Destroy();
  return S_OK;
}

HRESULT TokenPropertyPage::GetPageInfo(PROPPAGEINFO* info) {
  if (!info) return E_POINTER;
  HINSTANCE instance = Module::Instance();
  HRSRC found = ::FindResourceA(instance, MAKEINTRESOURCEA(TemplateId()), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
  HGLOBAL loaded = found ? ::LoadResource(instance, found) : nullptr;
  const BYTE* data = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
  TemplateFacts facts;
  if (!data || !ReadTemplate(data, ::SizeofResource(instance, found), facts)) return E_UNEXPECTED;

  LONG baseX = 0, baseY = 0;
  if (!facts.hasFont || !FontBaseUnits(facts, baseX, baseY)) {
    const LONG units = ::GetDialogBaseUnits();
    baseX = LOWORD(units);
    baseY = HIWORD(units);
  }

  info->cb = sizeof(PROPPAGEINFO);
  info->size.cx = ::MulDiv(facts.cx, baseX, 4);
  info->size.cy = ::MulDiv(facts.cy, baseY, 8);
  info->pszTitle = TaskMemText(titleId_);
  info->pszDocString = TaskMemText(docStringId_);
  info->pszHelpFile = TaskMemText(helpFileId_);
  info->dwHelpContext = helpContext_;
  if (!info->pszTitle || !info->pszDocString || !info->pszHelpFile) {
    ::CoTaskMemFree(info->pszTitle);
    ::CoTaskMemFree(info->pszDocString);
    ::CoTaskMemFree(info->pszHelpFile);
    info->pszTitle = info->pszDocString = info->pszHelpFile = nullptr;
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT TokenPropertyPage::SetObjects(ULONG count, IUnknown** objects) {
  if (!objects) return E_POINTER;
  objects_.reset();
  objectCount_ = 0;
  if (count == 0) return S_OK;
  std::unique_ptr<ComPtr<IUnknown>[]> kept(new (std::nothrow) ComPtr<IUnknown>[count]);
  if (!kept) return E_OUTOFMEMORY;
  for (ULONG i = 0; i < count; ++i) kept[i] = ComPtr<IUnknown>::Share(objects[i]);
  objects_ = std::move(kept);
  objectCount_ = count;
  return S_OK;
}

HRESULT TokenPropertyPage::Show(UINT cmd) {
  if (!Window()) return E_UNEXPECTED;
  ::ShowWindow(Window(), static_cast<int>(cmd));
  return S_OK;
}

HRESULT TokenPropertyPage::Move(LPCRECT rect) {
  if (!Window()) return E_UNEXPECTED;
  if (!rect) return E_POINTER;
  ::MoveWindow(Window(), rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
  return S_OK;
}

HRESULT TokenPropertyPage::IsPageDirty() { return S_FALSE; }

HRESULT TokenPropertyPage::Apply() {
  dirty_ = FALSE;
  return S_OK;
}

HRESULT TokenPropertyPage::Help(LPCOLESTR dir) {
  char folder[kPathSize];
  ShownText(dir, folder, kPathSize);
  char file[kTextSize];
  Module::LoadText(helpFileId_, file);
  char path[kPathSize];
  FormatBounded(path, sizeof path, "%s\\%s", folder, file);
  ::WinHelpA(Window(), path, HELP_CONTEXTPOPUP, 0);
  return S_OK;
}

HRESULT TokenPropertyPage::TranslateAccelerator(MSG* msg) {
  if (!msg) return E_POINTER;
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
    // Enter presses the focused button.
    if (::IsWindow(msg->hwnd)) {
      LRESULT ignored = 0;
      ProcessWindowMessage(Window(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(msg->hwnd), BN_CLICKED),
                           reinterpret_cast<LPARAM>(msg->hwnd), ignored);
    }
    return S_OK;
  }
  if ((msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) && msg->wParam == VK_F5) {
    if (hostStatus_) hostStatus_->Refresh(TRUE);
    return S_OK;
  }
  if ((msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) ||
      (msg->message >= WM_MOUSEFIRST && msg->message <= WM_MOUSELAST))
    return ::IsDialogMessageA(Window(), msg) ? S_OK : S_FALSE;
  return S_FALSE;
}

HWND TokenPropertyPage::BoxOwnerAndCaption(HWND owner, char* caption, int capacity) {
  caption[0] = '\0';
  if (owner) {
    ::GetWindowTextA(owner, caption, capacity);
    return owner;
  }
  Module::LoadText(titleId_, caption, capacity);
  return Window();
}

void TokenPropertyPage::ShowStatus(UINT id, HWND owner) {
  if (!hostStatus_) return;
  wchar_t wide[kTextSize];
  LoadWideText(id, wide);
  ScopedBstr text = ScopedBstr::FromWide(wide);
  hostStatus_->ShowStatus(owner, text.Get(), 0);
}

void TokenPropertyPage::HideStatus() {
  if (hostStatus_) hostStatus_->HideStatus();
}

HRESULT TokenPropertyPage::AskPassword(HWND owner, SecretBuffer& password) {
  password.Clear();
  if (!hostToken_) return S_FALSE;
  ScopedBstr typed(ScopedBstr::Kind::Secret);
  if (hostToken_->AskPassword(owner, typed.Receive()) != S_OK) return S_FALSE;
  const HRESULT converted = password.AssignWide(typed.Get(), SecretBuffer::kTextLimit);
  if (converted != S_OK) ShowTextRefused(converted, owner);
  return converted;
}

int TokenPropertyPage::ShowMessage(UINT id, HWND owner, UINT flags) {
  HideStatus();
  char text[kTextSize];
  Module::LoadText(id, text);
  char caption[kTextSize];
  HWND boxOwner = BoxOwnerAndCaption(owner, caption, kTextSize);
  return ::MessageBoxA(boxOwner, text, caption, flags);
}

int TokenPropertyPage::ShowErrorMessage(UINT id, HRESULT code, HWND owner) {
  if (code == 0) return ShowMessage(id, owner, MB_OK | MB_ICONHAND);

  char description[kComposedSize] = "";
  if (hostStatus_) {
    ScopedBstr answer;
    if (hostStatus_->GetErrorText(code, answer.Receive()) == S_OK) ShownText(answer.Get(), description, kComposedSize);
  }
  char message[kTextSize] = "";
  if (id != 0) Module::LoadText(id, message);
  char label[kTextSize];
  Module::LoadText(IDS_ERROR_CODE_LABEL, label);

  char text[kComposedSize];
  if (description[0])
    FormatBounded(text, sizeof text, "%s\n\n%s", message, description);
  else
    FormatBounded(text, sizeof text, "%s\n%s 0x%x.", message, label, static_cast<unsigned>(code));

  HideStatus();
  char caption[kTextSize];
  HWND boxOwner = BoxOwnerAndCaption(owner, caption, kTextSize);
  return ::MessageBoxA(boxOwner, text, caption, MB_OK | MB_ICONHAND);
}

int TokenPropertyPage::ShowTextRefused(HRESULT status, HWND owner, RefusedText kind) {
  const bool path = kind == RefusedText::Path;
  if (status == SecretBuffer::kNotRepresentable)
    return ShowErrorMessage(path ? IDS_PATH_NOT_REPRESENTABLE : IDS_PASSWORD_NOT_REPRESENTABLE, 0, owner);
  // A path longer than the file functions take names no file this module can open.
  if (status == SecretBuffer::kTooLong) return ShowErrorMessage(path ? IDS_FILE_NOT_FOUND : IDS_PASSWORD_TOO_LONG, 0, owner);
  return ShowErrorMessage(0, status, owner);
}
