#pragma once
// Provider parameters of the token's CSP beyond the standard ones, set with
// CryptSetProvParam (flags 0).
#include <cstdint>

// NUL-terminated container name: that container becomes the token's default.
constexpr uint32_t VENDOR_PP_DEFAULT_CONTAINER = 1001;
// Data blob with a CKA_ID, on a container just created: the container takes
// over the key pair and certificate with that identifier.
constexpr uint32_t VENDOR_PP_BIND_KEY_ID = 1002;
// Data blob with the token serial and its NUL, or null to forget the choice.
constexpr uint32_t VENDOR_PP_SELECT_TOKEN = 1003;
