#include "model/SecretBuffer.h"

#include <climits>
#include <utility>

SecretBuffer& SecretBuffer::operator=(SecretBuffer&& o) noexcept {
  if (this != &o) {
    Clear();
    data_ = std::move(o.data_);
    length_ = std::exchange(o.length_, 0);
  }
  return *this;
}

void SecretBuffer::Clear() {
  if (data_) {
    const DWORD lastError = ::GetLastError();
    ::SecureZeroMemory(data_.get(), length_ + 1);
    data_.reset();
    ::SetLastError(lastError);
  }
  length_ = 0;
}

Status SecretBuffer::AssignWide(const wchar_t* text, size_t maxLength, Conversion conversion) {
  Clear();
  if (!text) return S_OK;
  return conversion == Conversion::Exact ? AssignExact(text, maxLength) : AssignShown(text, maxLength);
}

Status SecretBuffer::AssignExact(const wchar_t* text, size_t maxLength) {
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
  HeapArray<char> buffer = allocateArray<char>(static_cast<size_t>(bytes));
  if (!buffer) return E_OUTOFMEMORY;
  if (::WideCharToMultiByte(CP_ACP, flags, text, -1, buffer.get(), bytes, nullptr, nullptr) != bytes) {
    ::SecureZeroMemory(buffer.get(), static_cast<size_t>(bytes));
    return E_OUTOFMEMORY;
  }
  data_ = std::move(buffer);
  length_ = static_cast<size_t>(bytes) - 1;
  return S_OK;
}

Status SecretBuffer::AssignShown(const wchar_t* text, size_t maxLength) {
  const int room = maxLength < INT_MAX ? static_cast<int>(maxLength) : INT_MAX - 1;
  const int length = ::lstrlenW(text);
  // The most characters whose bytes fit, never half of a surrogate pair.
  int fit = length < room ? length : room;
  int bytes = 0;
  for (;;) {
    if (fit > 0 && IS_HIGH_SURROGATE(text[fit - 1])) --fit;
    bytes = fit > 0 ? ::WideCharToMultiByte(CP_ACP, 0, text, fit, nullptr, 0, nullptr, nullptr) : 0;
    if (bytes <= room) break;
    fit -= bytes - room;  // every character takes at least one byte
  }
  HeapArray<char> buffer = allocateArray<char>(static_cast<size_t>(bytes) + 1);
  if (!buffer) return E_OUTOFMEMORY;
  // Zero (an empty text) when the conversion fails.
  const int written =
      bytes > 0 ? ::WideCharToMultiByte(CP_ACP, 0, text, fit, buffer.get(), bytes, nullptr, nullptr) : 0;
  buffer[written] = '\0';
  data_ = std::move(buffer);
  length_ = static_cast<size_t>(written);
  return S_OK;
}
