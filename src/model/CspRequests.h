#pragma once
// Requests made of the token's CSP outside any CspContext. They use the
// module-wide provider name, set while the module is loaded.
#include "model/ByteBuffer.h"
#include "model/Status.h"
#include "model/TextBuffer.h"

// The token's CSP, of type PROV_RSA_FULL.
extern const char kCspProviderName[];

// Set when the module is loaded, freed when it is unloaded. A suite that
// links the code statically loads it itself.
Status loadCspProviderName();
void freeCspProviderName();
const TextBuffer& cspProviderName();

// The CSP works with the token of that serial from now on; null or empty
// text makes it forget the choice.
Status selectToken(const char* serial);

// That container becomes the token's default logon container.
Status setDefaultContainer(const char* containerName);

// Creates a GUID-named container that takes over the key pair and
// certificate whose Cryptoki objects carry keyId. On success name holds the
// container's name (36 characters). A container created before a later step
// failed stays on the token.
Status createBoundContainer(const ByteBuffer& keyId, const char* password, TextBuffer& name);

// Deletes the container with its keys and certificates. E_POINTER when an
// argument is null.
Status deleteContainer(const char* containerName, const char* password);
