#pragma once
// The current user's "MY" store as the tests look at it: certificates of tests/data/certs found
// by their SHA-1, their key provider information, and added or deleted with the change committed
// (Wine keeps a system store's changes in a cache until then, where another handle misses them).
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "model/ScopedCertContext.h"
#include "model/ScopedSystemStore.h"

namespace testkit {

// A fresh handle on "MY": it sees what was committed.
ScopedSystemStore OpenMy();
// The certificate of `my` with the SHA-1 of tests/data/certs/<name>.der.
ScopedCertContext FindInMy(HCERTSTORE my, const std::string& name);
// Its key provider information as "provider/container/key spec/provider type", "no key provider
// information" when it has none, "" when the store does not hold it.
std::string KeyInfoIn(HCERTSTORE my, const std::string& name);
std::string KeyInfoInMy(const std::string& name);
// tests/data/certs/<name>.der added without properties; whether "MY" holds it then.
bool AddToMy(const std::string& name);
// Deletes it; whether "MY" held it.
bool DropFromMy(const std::string& name);

}  // namespace testkit
