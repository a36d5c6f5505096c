#pragma once
// Brackets one token operation of a page with the host: Begin opens the
// host's access to the token and marks the host busy; the end, run by the
// destructor whatever Begin answered, closes what Begin had taken.
#include <windows.h>

#include "page/HostInterfaces.h"

class TokenPropertyPage;

class TokenAccessGuard {
 public:
  explicit TokenAccessGuard(TokenPropertyPage* page) : page_(page) {}
  ~TokenAccessGuard();
  TokenAccessGuard(const TokenAccessGuard&) = delete;
  TokenAccessGuard& operator=(const TokenAccessGuard&) = delete;

  // Quiet: the result of opening the token. Otherwise what the host makes of
  // that result (its own report to the user included).
  HRESULT Begin(BOOL quiet);

 private:
  TokenPropertyPage* page_;
  // Borrowed from the page, which keeps them for its whole life.
  IHostStatus* status_ = nullptr;
  IHostToken* token_ = nullptr;
};
