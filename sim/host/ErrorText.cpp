#include "ErrorText.h"

#include <cstdio>

#include "tokenkit/CryptokiText.h"
#include "tokenkit/WideText.h"

namespace errortext {

namespace {

std::wstring codeText(HRESULT code) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(code));
  return text;
}

std::wstring systemMessage(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                       FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer ? buffer : L"", n);
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
  return text;
}

}  // namespace

HRESULT fromCryptoki(unsigned long rv) {
  if (rv == 0) return S_OK;
  if (rv & 0x08000000) return static_cast<HRESULT>(rv);
  return static_cast<HRESULT>(rv | kCryptokiMark);
}

std::wstring describe(HRESULT code) {
  const DWORD value = static_cast<DWORD>(code);
  if ((value & 0xFFFF0000) == kCryptokiMark) {
    const unsigned long rv = value & 0xFFFF;
    std::wstring words = widetext::fromUtf8(cryptokitext::returnValueDescription(rv));
    if (words.empty()) words = L"The token reported an error.";
    return words + L"\n(Token error " + widetext::fromUtf8(cryptokitext::returnValueName(rv)) + L", code " +
           codeText(code) + L")";
  }
  std::wstring words = systemMessage(value);
  // Win32 errors reach the page also as HRESULTs of FACILITY_WIN32.
  if (words.empty() && HRESULT_FACILITY(code) == FACILITY_WIN32) words = systemMessage(HRESULT_CODE(code));
  if (words.empty()) return std::wstring();
  return words + L"\n(Error code " + codeText(code) + L")";
}

}  // namespace errortext
