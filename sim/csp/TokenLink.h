#pragma once
// One operation of the CSP on the token: the token library loaded from beside the CSP, a
// session on the chosen token and the container catalog and records on it. Everything is
// given back when the object goes, so the library is only held while the CSP works.
#include <windows.h>

#include <memory>
#include <string>

#include "tokenkit/ContainerStore.h"
#include "tokenkit/CryptokiLibrary.h"
#include "tokenkit/TokenSession.h"

class TokenLink {
 public:
  TokenLink() = default;
  ~TokenLink();
  TokenLink(const TokenLink&) = delete;
  TokenLink& operator=(const TokenLink&) = delete;

  // A session on the token with the selected serial, or on the first token present when
  // none is selected. 0; SCARD_E_NO_SMARTCARD when there is no such token; NTE_PROVIDER_DLL_FAIL
  // when the token library cannot be used.
  DWORD open();
  // Logs in with the password set for the process. SCARD_W_CARD_NOT_AUTHENTICATED when none is set.
  DWORD login();

  const std::string& serial() const { return serial_; }
  TokenSession& session() { return *session_; }
  ContainerStore& store() { return *store_; }

 private:
  CryptokiLibrary library_;
  std::unique_ptr<TokenSession> session_;
  std::unique_ptr<ContainerStore> store_;
  std::string serial_;
};

// The CSP's error code for a failed token step.
DWORD cspError(const Outcome& outcome);
DWORD cspError(CK_RV rv);
