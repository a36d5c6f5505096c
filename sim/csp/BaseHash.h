#pragma once
// A hash of the CSP's handed to the system's own provider: the CSP computes no hash itself.
// The default provider of type PROV_RSA_AES does it, which knows SHA-1 and SHA-256.
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <vector>

#include "model/ScopedCryptProv.h"

struct CryptHashTraits {
  using Handle = HCRYPTHASH;
  static Handle Invalid() { return 0; }
  static void Close(Handle h) { ::CryptDestroyHash(h); }
};

class BaseHash {
 public:
  // The hashes the CSP serves.
  static bool supported(ALG_ID algorithm) { return algorithm == CALG_SHA1 || algorithm == CALG_SHA_256; }

  // 0, or the base provider's error.
  DWORD create(ALG_ID algorithm);
  ALG_ID algorithm() const { return algorithm_; }
  HCRYPTHASH get() const { return hash_.get(); }
  // The hash value (the hash is finished from then on); 0 or the base provider's error.
  DWORD value(std::vector<uint8_t>* out) const;

 private:
  ScopedCryptProv provider_;
  ScopedHandle<CryptHashTraits> hash_;  // declared after the provider: destroyed before it
  ALG_ID algorithm_ = 0;
};
