#include "model/SecretBuffer.h"

#include <cstdlib>

SecretBuffer& SecretBuffer::operator=(SecretBuffer&& o) noexcept {
  if (this != &o) {
    Clear();
    data_ = o.data_;
    length_ = o.length_;
    null_ = o.null_;
    o.data_ = nullptr;
    o.length_ = 0;
    o.null_ = true;
  }
  return *this;
}

void SecretBuffer::Clear() {
  if (data_) {
    const DWORD lastError = ::GetLastError();
    ::SecureZeroMemory(data_, length_ + 1);
    std::free(data_);
    ::SetLastError(lastError);
  }
  data_ = nullptr;
  length_ = 0;
  null_ = true;
}

HRESULT SecretBuffer::AssignWide(const wchar_t* text, size_t maxLength) {
  Clear();
  if (!text) return S_OK;
  // UTF-8 holds every character, and the conversion refuses both the flag and the default-character
  // report for it.
  const bool utf8 = ::GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* reportDefault = utf8 ? nullptr : &usedDefault;
  const int bytes = ::WideCharToMultiByte(CP_ACP, flags, text, -1, nullptr, 0, nullptr, reportDefault);
  if (bytes <= 0) return E_OUTOFMEMORY;
  if (usedDefault) return kNotRepresentable;
  if (static_cast<size_t>(bytes) - 1 > maxLength) return kTooLong;
  char* buffer = static_cast<char*>(std::malloc(static_cast<size_t>(bytes)));
  if (!buffer) return E_OUTOFMEMORY;
  if (::WideCharToMultiByte(CP_ACP, flags, text, -1, buffer, bytes, nullptr, nullptr) != bytes) {
    ::SecureZeroMemory(buffer, static_cast<size_t>(bytes));
    std::free(buffer);
    return E_OUTOFMEMORY;
  }
  data_ = buffer;
  length_ = static_cast<size_t>(bytes) - 1;
  null_ = false;
  return S_OK;
}
