#pragma once
// The CSP's key containers on one token. A container is a record (a public data object
// labelled with its name) listed in the catalog; the record names, per key, the certificate
// object's label and (in the first two strings) the hex CKA_ID of the key pair. Each
// operation returns 0 or the CSP's error code.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "RsaPublicKey.h"
#include "TokenLink.h"

namespace containers {

struct Key {
  bool present = false;
  std::vector<uint8_t> certificate;  // empty: no certificate stored with the key
  std::vector<uint8_t> id;           // CKA_ID of the key pair: the certificate's, else the record's
  RsaPublicKey publicKey;            // the certificate's key, else the public key object's
};

struct Contents {
  std::string name;
  Key exchange;
  Key signature;
};

// The catalog's names, in catalog order.
DWORD listNames(TokenLink& link, std::vector<std::string>* names);
// The container's keys and certificates; an empty name is the default container (the first
// in the catalog). NTE_BAD_KEYSET when there is no such container.
DWORD read(TokenLink& link, const std::string& name, Contents* contents);
// An empty container; NTE_EXISTS when the name is taken.
DWORD create(TokenLink& link, const std::string& name);
// The container's key-exchange key becomes the key pair whose objects carry keyId, with its
// certificate. Needs the login.
DWORD bindKeyId(TokenLink& link, const std::string& name, const std::vector<uint8_t>& keyId);
// The container's record and catalog entry go, with the key pairs and certificates it names.
// Needs the login.
DWORD remove(TokenLink& link, const std::string& name);
// Moves the container to the front of the catalog.
DWORD makeDefault(TokenLink& link, const std::string& name);

}  // namespace containers
