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

bool SecretBuffer::AssignWide(const wchar_t* text) {
  Clear();
  if (!text) return true;
  const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  char* buffer = static_cast<char*>(std::malloc(static_cast<size_t>(bytes)));
  if (!buffer) return false;
  if (::WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, bytes, nullptr, nullptr) != bytes) {
    ::SecureZeroMemory(buffer, static_cast<size_t>(bytes));
    std::free(buffer);
    return false;
  }
  data_ = buffer;
  length_ = static_cast<size_t>(bytes) - 1;
  null_ = false;
  return true;
}
