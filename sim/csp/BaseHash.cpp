#include "BaseHash.h"

DWORD BaseHash::create(ALG_ID algorithm) {
  if (!::CryptAcquireContextW(provider_.receive(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    provider_.release();  // nothing was acquired
    return ::GetLastError();
  }
  if (!::CryptCreateHash(provider_.get(), algorithm, 0, 0, hash_.receive())) {
    hash_.release();
    return ::GetLastError();
  }
  algorithm_ = algorithm;
  return 0;
}

DWORD BaseHash::value(std::vector<uint8_t>* out) const {
  DWORD size = 0;
  if (!::CryptGetHashParam(hash_.get(), HP_HASHVAL, nullptr, &size, 0)) return ::GetLastError();
  out->assign(size, 0);
  if (!::CryptGetHashParam(hash_.get(), HP_HASHVAL, out->data(), &size, 0)) return ::GetLastError();
  out->resize(size);
  return 0;
}
