#pragma once
// A PIN or password the user typed, wiped from memory when it goes.
#include <windows.h>

#include <string>

class SecretText {
 public:
  SecretText() = default;
  explicit SecretText(std::wstring text) : text_(std::move(text)) {}
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;
  SecretText(SecretText&& other) noexcept : text_(std::move(other.text_)) { other.wipe(); }
  SecretText& operator=(SecretText&& other) noexcept {
    if (this != &other) {
      wipe();
      text_ = std::move(other.text_);
      other.wipe();
    }
    return *this;
  }
  ~SecretText() { wipe(); }

  const std::wstring& get() const { return text_; }
  void assign(const wchar_t* text, size_t length) {
    wipe();
    text_.assign(text, length);
  }
  void wipe() {
    if (!text_.empty()) ::SecureZeroMemory(&text_[0], text_.size() * sizeof(wchar_t));
    text_.clear();
  }

 private:
  std::wstring text_;
};
