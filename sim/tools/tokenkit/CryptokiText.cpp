#include "tokenkit/CryptokiText.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace cryptokitext {

namespace {

struct ReturnValueText {
  CK_RV rv;
  const char* name;
  const char* description;
};

#define RV(name, text) {name, #name, text}
// The password of the PKI storage is the Cryptoki user PIN: the sentences speak of a
// password, as the user knows it.
const ReturnValueText kReturnValues[] = {
    RV(CKR_OK, "The operation succeeded."),
    RV(CKR_CANCEL, "The operation was cancelled."),
    RV(CKR_HOST_MEMORY, "The computer ran out of memory."),
    RV(CKR_SLOT_ID_INVALID, "The token's reader slot does not exist."),
    RV(CKR_GENERAL_ERROR, "The token library met an unrecoverable error."),
    RV(CKR_FUNCTION_FAILED, "The token could not carry out the request."),
    RV(CKR_ARGUMENTS_BAD, "The token library was called with invalid arguments."),
    RV(CKR_NO_EVENT, "No token event has occurred."),
    RV(CKR_NEED_TO_CREATE_THREADS, "The token library needs to create threads."),
    RV(CKR_CANT_LOCK, "The token library cannot lock as requested."),
    RV(CKR_ATTRIBUTE_READ_ONLY, "A property of the object cannot be changed."),
    RV(CKR_ATTRIBUTE_SENSITIVE, "A property of the object is secret and cannot be read."),
    RV(CKR_ATTRIBUTE_TYPE_INVALID, "The object has no such property."),
    RV(CKR_ATTRIBUTE_VALUE_INVALID, "A property of the object has an invalid value."),
    RV(CKR_ACTION_PROHIBITED, "The action is prohibited by the token."),
    RV(CKR_DATA_INVALID, "The data is invalid."),
    RV(CKR_DATA_LEN_RANGE, "The data has an invalid length."),
    RV(CKR_DEVICE_ERROR, "The token reported a device error."),
    RV(CKR_DEVICE_MEMORY, "The token has no memory left."),
    RV(CKR_DEVICE_REMOVED, "The token was removed while it was in use."),
    RV(CKR_ENCRYPTED_DATA_INVALID, "The encrypted data is invalid."),
    RV(CKR_ENCRYPTED_DATA_LEN_RANGE, "The encrypted data has an invalid length."),
    RV(CKR_FUNCTION_CANCELED, "The operation was cancelled."),
    RV(CKR_FUNCTION_NOT_PARALLEL, "The operation cannot run in parallel."),
    RV(CKR_FUNCTION_NOT_SUPPORTED, "The token does not support this operation."),
    RV(CKR_KEY_HANDLE_INVALID, "The key does not exist."),
    RV(CKR_KEY_SIZE_RANGE, "The key size is not supported."),
    RV(CKR_KEY_TYPE_INCONSISTENT, "The key does not fit the operation."),
    RV(CKR_MECHANISM_INVALID, "The token does not support this algorithm."),
    RV(CKR_MECHANISM_PARAM_INVALID, "The algorithm parameters are invalid."),
    RV(CKR_OBJECT_HANDLE_INVALID, "The object does not exist on the token."),
    RV(CKR_OPERATION_ACTIVE, "Another operation is still running on the token."),
    RV(CKR_OPERATION_NOT_INITIALIZED, "The operation was not started."),
    RV(CKR_PIN_INCORRECT, "The password is incorrect."),
    RV(CKR_PIN_INVALID, "The password contains characters that are not allowed."),
    RV(CKR_PIN_LEN_RANGE, "The password is too short or too long."),
    RV(CKR_PIN_EXPIRED, "The password has expired."),
    RV(CKR_PIN_LOCKED, "The password is blocked after too many wrong attempts."),
    RV(CKR_SESSION_CLOSED, "The connection to the token was closed."),
    RV(CKR_SESSION_COUNT, "Too many connections to the token are open."),
    RV(CKR_SESSION_HANDLE_INVALID, "The connection to the token is no longer valid."),
    RV(CKR_SESSION_PARALLEL_NOT_SUPPORTED, "The token does not support parallel connections."),
    RV(CKR_SESSION_READ_ONLY, "The connection to the token is read-only."),
    RV(CKR_SESSION_EXISTS, "A connection to the token is already open."),
    RV(CKR_SESSION_READ_ONLY_EXISTS, "A read-only connection to the token is open."),
    RV(CKR_SESSION_READ_WRITE_SO_EXISTS, "The security officer is connected to the token."),
    RV(CKR_SIGNATURE_INVALID, "The signature is invalid."),
    RV(CKR_SIGNATURE_LEN_RANGE, "The signature has an invalid length."),
    RV(CKR_TEMPLATE_INCOMPLETE, "The object lacks a required property."),
    RV(CKR_TEMPLATE_INCONSISTENT, "The object's properties contradict each other."),
    RV(CKR_TOKEN_NOT_PRESENT, "The token is not connected."),
    RV(CKR_TOKEN_NOT_RECOGNIZED, "The token is not recognised."),
    RV(CKR_TOKEN_WRITE_PROTECTED, "The token is write-protected."),
    RV(CKR_USER_ALREADY_LOGGED_IN, "The password has already been given."),
    RV(CKR_USER_NOT_LOGGED_IN, "The password must be given first."),
    RV(CKR_USER_PIN_NOT_INITIALIZED, "No password has been set on the token."),
    RV(CKR_USER_TYPE_INVALID, "The kind of user is invalid."),
    RV(CKR_USER_ANOTHER_ALREADY_LOGGED_IN, "Another user is logged in to the token."),
    RV(CKR_USER_TOO_MANY_TYPES, "Too many users are logged in to the token."),
    RV(CKR_RANDOM_NO_RNG, "The token has no random number generator."),
    RV(CKR_BUFFER_TOO_SMALL, "The answer does not fit the space reserved for it."),
    RV(CKR_SAVED_STATE_INVALID, "The saved state is invalid."),
    RV(CKR_INFORMATION_SENSITIVE, "The information is secret."),
    RV(CKR_STATE_UNSAVEABLE, "The state cannot be saved."),
    RV(CKR_CRYPTOKI_NOT_INITIALIZED, "The token library was not initialised."),
    RV(CKR_CRYPTOKI_ALREADY_INITIALIZED, "The token library was already initialised."),
    RV(CKR_MUTEX_BAD, "The token library met an invalid lock."),
    RV(CKR_MUTEX_NOT_LOCKED, "The token library met a lock that was not held."),
    RV(CKR_FUNCTION_REJECTED, "The token rejected the request."),
};
#undef RV

struct NamedValue {
  unsigned long value;
  const char* name;
};

#define NV(name) {name, #name}
const NamedValue kAttributes[] = {
    NV(CKA_CLASS), NV(CKA_TOKEN), NV(CKA_PRIVATE), NV(CKA_LABEL), NV(CKA_APPLICATION), NV(CKA_VALUE),
    NV(CKA_OBJECT_ID), NV(CKA_CERTIFICATE_TYPE), NV(CKA_ISSUER), NV(CKA_SERIAL_NUMBER), NV(CKA_TRUSTED),
    NV(CKA_CERTIFICATE_CATEGORY), NV(CKA_CHECK_VALUE), NV(CKA_KEY_TYPE), NV(CKA_SUBJECT), NV(CKA_ID),
    NV(CKA_SENSITIVE), NV(CKA_ENCRYPT), NV(CKA_DECRYPT), NV(CKA_WRAP), NV(CKA_UNWRAP), NV(CKA_SIGN),
    NV(CKA_SIGN_RECOVER), NV(CKA_VERIFY), NV(CKA_VERIFY_RECOVER), NV(CKA_DERIVE), NV(CKA_START_DATE),
    NV(CKA_END_DATE), NV(CKA_MODULUS), NV(CKA_MODULUS_BITS), NV(CKA_PUBLIC_EXPONENT),
    NV(CKA_PRIVATE_EXPONENT), NV(CKA_PRIME_1), NV(CKA_PRIME_2), NV(CKA_EXPONENT_1), NV(CKA_EXPONENT_2),
    NV(CKA_COEFFICIENT), NV(CKA_VALUE_LEN), NV(CKA_EXTRACTABLE), NV(CKA_LOCAL), NV(CKA_NEVER_EXTRACTABLE),
    NV(CKA_ALWAYS_SENSITIVE), NV(CKA_KEY_GEN_MECHANISM), NV(CKA_MODIFIABLE), NV(CKA_COPYABLE),
    NV(CKA_DESTROYABLE), NV(CKA_EC_PARAMS), NV(CKA_EC_POINT), NV(CKA_ALWAYS_AUTHENTICATE),
    NV(CKA_WRAP_WITH_TRUSTED), NV(CKA_URL), NV(CKA_HASH_OF_SUBJECT_PUBLIC_KEY),
    NV(CKA_HASH_OF_ISSUER_PUBLIC_KEY), NV(CKA_PUBLIC_KEY_INFO),
};

const NamedValue kKeyTypes[] = {NV(CKK_RSA), NV(CKK_DSA), NV(CKK_DH), NV(CKK_EC), NV(CKK_GENERIC_SECRET),
                                NV(CKK_DES3), NV(CKK_AES)};
const NamedValue kCertificateTypes[] = {NV(CKC_X_509), NV(CKC_X_509_ATTR_CERT), NV(CKC_WTLS)};
#undef NV

const NamedValue kClasses[] = {{CKO_DATA, "data"},
                               {CKO_CERTIFICATE, "certificate"},
                               {CKO_PUBLIC_KEY, "public-key"},
                               {CKO_PRIVATE_KEY, "private-key"},
                               {CKO_SECRET_KEY, "secret-key"}};

std::string hexNumber(unsigned long v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", v);
  return text;
}

std::string upper(const std::string& s) {
  std::string u = s;
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// Decimal or 0x-prefixed hexadecimal, the whole text.
bool parseNumber(const std::string& text, unsigned long* value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  char* end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 0);
  if (!end || *end != '\0') return false;
  *value = v;
  return true;
}

template <size_t N>
const char* nameOf(const NamedValue (&table)[N], unsigned long value) {
  for (const NamedValue& e : table)
    if (e.value == value) return e.name;
  return nullptr;
}

}  // namespace

std::string returnValueName(CK_RV rv) {
  for (const ReturnValueText& e : kReturnValues)
    if (e.rv == rv) return e.name;
  return "CKR_" + hexNumber(rv);
}

std::string returnValueDescription(CK_RV rv) {
  for (const ReturnValueText& e : kReturnValues)
    if (e.rv == rv) return e.description;
  if (rv & CKR_VENDOR_DEFINED) return "The token reported an error of its own.";
  return std::string();
}

std::string attributeName(CK_ATTRIBUTE_TYPE type) {
  const char* name = nameOf(kAttributes, type);
  return name ? name : hexNumber(type);
}

bool parseAttribute(const std::string& text, CK_ATTRIBUTE_TYPE* type) {
  unsigned long number = 0;
  if (parseNumber(text, &number)) {
    *type = number;
    return true;
  }
  std::string wanted = upper(text);
  if (wanted.compare(0, 4, "CKA_") != 0) wanted = "CKA_" + wanted;
  for (char& c : wanted)
    if (c == '-') c = '_';
  for (const NamedValue& e : kAttributes) {
    if (wanted == e.name) {
      *type = e.value;
      return true;
    }
  }
  return false;
}

std::string className(CK_OBJECT_CLASS cls) {
  const char* name = nameOf(kClasses, cls);
  return name ? name : hexNumber(cls);
}

bool parseClass(const std::string& text, CK_OBJECT_CLASS* cls) {
  for (const NamedValue& e : kClasses) {
    if (text == e.name) {
      *cls = e.value;
      return true;
    }
  }
  unsigned long number = 0;
  if (!parseNumber(text, &number)) return false;
  *cls = number;
  return true;
}

std::string keyTypeName(CK_KEY_TYPE type) {
  const char* name = nameOf(kKeyTypes, type);
  return name ? name : hexNumber(type);
}

std::string certificateTypeName(CK_CERTIFICATE_TYPE type) {
  const char* name = nameOf(kCertificateTypes, type);
  return name ? name : hexNumber(type);
}

AttributeKind attributeKind(CK_ATTRIBUTE_TYPE type) {
  switch (type) {
    case CKA_TOKEN: case CKA_PRIVATE: case CKA_MODIFIABLE: case CKA_COPYABLE: case CKA_DESTROYABLE:
    case CKA_TRUSTED: case CKA_SENSITIVE: case CKA_EXTRACTABLE: case CKA_ENCRYPT: case CKA_DECRYPT:
    case CKA_SIGN: case CKA_SIGN_RECOVER: case CKA_VERIFY: case CKA_VERIFY_RECOVER: case CKA_WRAP:
    case CKA_UNWRAP: case CKA_DERIVE: case CKA_LOCAL: case CKA_ALWAYS_SENSITIVE:
    case CKA_NEVER_EXTRACTABLE: case CKA_WRAP_WITH_TRUSTED: case CKA_ALWAYS_AUTHENTICATE:
      return AttributeKind::Bool;
    case CKA_CLASS: case CKA_CERTIFICATE_TYPE: case CKA_CERTIFICATE_CATEGORY: case CKA_KEY_TYPE:
    case CKA_MODULUS_BITS: case CKA_VALUE_LEN: case CKA_KEY_GEN_MECHANISM:
      return AttributeKind::Ulong;
    case CKA_LABEL: case CKA_APPLICATION: case CKA_URL:
      return AttributeKind::Text;
    default:
      return AttributeKind::Bytes;
  }
}

}  // namespace cryptokitext
