#pragma once
// One operation of the CSP on the token: the token library loaded from beside the CSP, a
// session on the chosen token and the container catalog and records on it. Everything is
// given back when the object goes, so the library is only held while the CSP works.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

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
  // Logs in with the password set for the process, and checks it even when another session of
  // the process is logged in already. SCARD_W_CARD_NOT_AUTHENTICATED when none is set.
  DWORD login();
  // The CKM_RSA_PKCS signature of `data` with the private key whose CKA_ID is keyId; needs the
  // login. NTE_NO_KEY when the token has no such key.
  DWORD sign(const std::vector<uint8_t>& keyId, const std::vector<uint8_t>& data, std::vector<uint8_t>* signature);

  const std::string& serial() const { return serial_; }
  TokenSession& session() { return *session_; }
  ContainerStore& store() { return *store_; }

 private:
  // Keeps the thread's last error across the link's going: the entry that failed has set it,
  // and closing the session and unloading the library make calls that overwrite it. Declared
  // first, so that it is the last to go.
  class LastErrorKeeper {
   public:
    void save() { error_ = ::GetLastError(); }
    ~LastErrorKeeper() { ::SetLastError(error_); }

   private:
    DWORD error_ = 0;
  };
  LastErrorKeeper lastError_;
  CryptokiLibrary library_;
  std::unique_ptr<TokenSession> session_;
  std::unique_ptr<ContainerStore> store_;
  std::string serial_;
  CK_SLOT_ID slot_ = 0;
};

// The CSP's error code for a failed token step.
DWORD cspError(const Outcome& outcome);
DWORD cspError(CK_RV rv);
