// Cryptoki declarations for the product and the stand-ins. The declarations come from
// p11-kit's header, never typed by hand; under _WIN32 that header packs its structures
// to 1 byte, which is the layout every Windows Cryptoki library uses.
#pragma once

#include <cstddef>

#include <p11-kit/pkcs11.h>

#ifdef _WIN32
// A header that lost its packing still compiles and even works against a stand-in built
// from the same header; only these checks catch it before a real library does.
static_assert(sizeof(CK_ULONG) == 4, "CK_ULONG must be 32 bits on Win32");
static_assert(offsetof(CK_FUNCTION_LIST, C_Initialize) == 2,
              "CK_FUNCTION_LIST must be packed to 1 byte (entry n at 2 + 4n)");
static_assert(sizeof(CK_INFO) == 72, "CK_INFO must be packed to 1 byte");
#endif
