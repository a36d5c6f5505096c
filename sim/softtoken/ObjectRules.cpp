#include "ObjectRules.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace softtoken {

namespace {

enum class Kind { Bytes, Bool, Ulong };

bool among(CK_ATTRIBUTE_TYPE t, std::initializer_list<CK_ATTRIBUTE_TYPE> set) {
  return std::find(set.begin(), set.end(), t) != set.end();
}

Kind kindOf(CK_ATTRIBUTE_TYPE t) {
  if (among(t, {CKA_TOKEN, CKA_PRIVATE, CKA_MODIFIABLE, CKA_COPYABLE, CKA_DESTROYABLE, CKA_TRUSTED,
                CKA_SENSITIVE, CKA_EXTRACTABLE, CKA_ENCRYPT, CKA_DECRYPT, CKA_SIGN, CKA_SIGN_RECOVER,
                CKA_VERIFY, CKA_VERIFY_RECOVER, CKA_WRAP, CKA_UNWRAP, CKA_DERIVE, CKA_LOCAL,
                CKA_ALWAYS_SENSITIVE, CKA_NEVER_EXTRACTABLE, CKA_WRAP_WITH_TRUSTED,
                CKA_ALWAYS_AUTHENTICATE}))
    return Kind::Bool;
  if (among(t, {CKA_CLASS, CKA_CERTIFICATE_TYPE, CKA_CERTIFICATE_CATEGORY, CKA_KEY_TYPE,
                CKA_MODULUS_BITS, CKA_VALUE_LEN, CKA_KEY_GEN_MECHANISM,
                CKA_JAVA_MIDP_SECURITY_DOMAIN, CKA_NAME_HASH_ALGORITHM}))
    return Kind::Ulong;
  return Kind::Bytes;
}

bool allowedFor(CK_OBJECT_CLASS cls, CK_ATTRIBUTE_TYPE t) {
  if (t & CKA_VENDOR_DEFINED) return true;
  if (among(t, {CKA_CLASS, CKA_TOKEN, CKA_PRIVATE, CKA_MODIFIABLE, CKA_LABEL, CKA_COPYABLE,
                CKA_DESTROYABLE}))
    return true;
  switch (cls) {
    case CKO_DATA:
      return among(t, {CKA_APPLICATION, CKA_OBJECT_ID, CKA_VALUE});
    case CKO_CERTIFICATE:
      return among(t, {CKA_CERTIFICATE_TYPE, CKA_TRUSTED, CKA_CERTIFICATE_CATEGORY,
                       CKA_CHECK_VALUE, CKA_START_DATE, CKA_END_DATE, CKA_SUBJECT, CKA_ID,
                       CKA_ISSUER, CKA_SERIAL_NUMBER, CKA_VALUE, CKA_URL,
                       CKA_HASH_OF_SUBJECT_PUBLIC_KEY, CKA_HASH_OF_ISSUER_PUBLIC_KEY,
                       CKA_JAVA_MIDP_SECURITY_DOMAIN, CKA_NAME_HASH_ALGORITHM});
    case CKO_PUBLIC_KEY:
    case CKO_PRIVATE_KEY:
    case CKO_SECRET_KEY:
      if (among(t, {CKA_KEY_TYPE, CKA_ID, CKA_START_DATE, CKA_END_DATE, CKA_DERIVE, CKA_LOCAL,
                    CKA_KEY_GEN_MECHANISM, CKA_ALLOWED_MECHANISMS}))
        return true;
      if (cls == CKO_PUBLIC_KEY)
        return among(t, {CKA_SUBJECT, CKA_ENCRYPT, CKA_VERIFY, CKA_VERIFY_RECOVER, CKA_WRAP,
                         CKA_TRUSTED, CKA_WRAP_TEMPLATE, CKA_PUBLIC_KEY_INFO, CKA_MODULUS,
                         CKA_MODULUS_BITS, CKA_PUBLIC_EXPONENT, CKA_EC_PARAMS, CKA_EC_POINT});
      if (cls == CKO_PRIVATE_KEY)
        return among(t, {CKA_SUBJECT, CKA_SENSITIVE, CKA_DECRYPT, CKA_SIGN, CKA_SIGN_RECOVER,
                         CKA_UNWRAP, CKA_EXTRACTABLE, CKA_ALWAYS_SENSITIVE, CKA_NEVER_EXTRACTABLE,
                         CKA_WRAP_WITH_TRUSTED, CKA_UNWRAP_TEMPLATE, CKA_ALWAYS_AUTHENTICATE,
                         CKA_PUBLIC_KEY_INFO, CKA_MODULUS, CKA_PUBLIC_EXPONENT,
                         CKA_PRIVATE_EXPONENT, CKA_PRIME_1, CKA_PRIME_2, CKA_EXPONENT_1,
                         CKA_EXPONENT_2, CKA_COEFFICIENT, CKA_EC_PARAMS, CKA_VALUE});
      return among(t, {CKA_SENSITIVE, CKA_ENCRYPT, CKA_DECRYPT, CKA_SIGN, CKA_VERIFY, CKA_WRAP,
                       CKA_UNWRAP, CKA_EXTRACTABLE, CKA_ALWAYS_SENSITIVE, CKA_NEVER_EXTRACTABLE,
                       CKA_CHECK_VALUE, CKA_WRAP_WITH_TRUSTED, CKA_TRUSTED, CKA_WRAP_TEMPLATE,
                       CKA_UNWRAP_TEMPLATE, CKA_VALUE, CKA_VALUE_LEN});
    default:
      return false;
  }
}

// Set by the token itself, never by a template.
bool tokenOwned(CK_ATTRIBUTE_TYPE t) {
  return among(t, {CKA_LOCAL, CKA_ALWAYS_SENSITIVE, CKA_NEVER_EXTRACTABLE, CKA_KEY_GEN_MECHANISM});
}

// Fixed once the object exists.
bool fixedAfterCreation(CK_ATTRIBUTE_TYPE t) {
  return among(t, {CKA_CLASS, CKA_TOKEN, CKA_PRIVATE, CKA_MODIFIABLE, CKA_COPYABLE,
                   CKA_DESTROYABLE, CKA_CERTIFICATE_TYPE, CKA_KEY_TYPE, CKA_CERTIFICATE_CATEGORY,
                   CKA_MODULUS, CKA_MODULUS_BITS, CKA_PUBLIC_EXPONENT, CKA_PRIVATE_EXPONENT,
                   CKA_PRIME_1, CKA_PRIME_2, CKA_EXPONENT_1, CKA_EXPONENT_2, CKA_COEFFICIENT,
                   CKA_EC_PARAMS, CKA_EC_POINT, CKA_VALUE_LEN}) ||
         tokenOwned(t);
}

std::vector<uint8_t> boolValue(bool b) { return {static_cast<uint8_t>(b ? CK_TRUE : CK_FALSE)}; }

std::vector<uint8_t> ulongValue(CK_ULONG v) {
  std::vector<uint8_t> bytes(sizeof v);
  std::memcpy(bytes.data(), &v, sizeof v);
  return bytes;
}

bool readUlong(const StoredObject &o, CK_ATTRIBUTE_TYPE t, CK_ULONG &v) {
  const StoredAttribute *a = o.find(static_cast<uint32_t>(t));
  if (!a || a->value.size() != sizeof v) return false;
  std::memcpy(&v, a->value.data(), sizeof v);
  return true;
}

CK_RV checkValueShape(const CK_ATTRIBUTE &a) {
  if (!a.pValue && a.ulValueLen != 0) return CKR_ARGUMENTS_BAD;
  const auto *p = static_cast<const uint8_t *>(a.pValue);
  switch (kindOf(a.type)) {
    case Kind::Bool:
      if (a.ulValueLen != sizeof(CK_BBOOL) || (p[0] != CK_TRUE && p[0] != CK_FALSE))
        return CKR_ATTRIBUTE_VALUE_INVALID;
      break;
    case Kind::Ulong:
      if (a.ulValueLen != sizeof(CK_ULONG)) return CKR_ATTRIBUTE_VALUE_INVALID;
      break;
    case Kind::Bytes:
      break;
  }
  return CKR_OK;
}

void setDefault(StoredObject &o, CK_ATTRIBUTE_TYPE t, std::vector<uint8_t> v) {
  if (!o.find(static_cast<uint32_t>(t))) o.set(static_cast<uint32_t>(t), std::move(v));
}

}  // namespace

CK_RV buildObject(const CK_ATTRIBUTE *tmpl, CK_ULONG count, StoredObject &out) {
  if (!tmpl || count == 0) return CKR_ARGUMENTS_BAD;
  StoredObject o;
  for (CK_ULONG i = 0; i < count; ++i) {
    const CK_ATTRIBUTE &a = tmpl[i];
    CK_RV rv = checkValueShape(a);
    if (rv != CKR_OK) return rv;
    if (o.find(static_cast<uint32_t>(a.type))) return CKR_TEMPLATE_INCONSISTENT;
    const auto *p = static_cast<const uint8_t *>(a.pValue);
    o.set(static_cast<uint32_t>(a.type), std::vector<uint8_t>(p, p + a.ulValueLen));
  }
  CK_OBJECT_CLASS cls = 0;
  if (!readUlong(o, CKA_CLASS, cls)) return CKR_TEMPLATE_INCOMPLETE;
  if (cls > CKO_SECRET_KEY) return CKR_ATTRIBUTE_VALUE_INVALID;
  for (const auto &a : o.attributes) {
    if (!allowedFor(cls, a.type)) return CKR_ATTRIBUTE_TYPE_INVALID;
    if (tokenOwned(a.type)) return CKR_ATTRIBUTE_READ_ONLY;
  }

  setDefault(o, CKA_TOKEN, boolValue(false));
  const bool secretByNature = cls == CKO_PRIVATE_KEY || cls == CKO_SECRET_KEY;
  setDefault(o, CKA_PRIVATE, boolValue(secretByNature));
  setDefault(o, CKA_MODIFIABLE, boolValue(true));
  setDefault(o, CKA_LABEL, {});
  switch (cls) {
    case CKO_DATA:
      setDefault(o, CKA_APPLICATION, {});
      setDefault(o, CKA_OBJECT_ID, {});
      setDefault(o, CKA_VALUE, {});
      break;
    case CKO_CERTIFICATE: {
      CK_CERTIFICATE_TYPE type = 0;
      if (!readUlong(o, CKA_CERTIFICATE_TYPE, type)) return CKR_TEMPLATE_INCOMPLETE;
      if (type == CKC_X_509 && (!o.find(CKA_SUBJECT) || !o.find(CKA_VALUE)))
        return CKR_TEMPLATE_INCOMPLETE;
      setDefault(o, CKA_TRUSTED, boolValue(false));
      setDefault(o, CKA_CERTIFICATE_CATEGORY, ulongValue(0));
      setDefault(o, CKA_ID, {});
      setDefault(o, CKA_ISSUER, {});
      setDefault(o, CKA_SERIAL_NUMBER, {});
      break;
    }
    default: {
      CK_KEY_TYPE type = 0;
      if (!readUlong(o, CKA_KEY_TYPE, type)) return CKR_TEMPLATE_INCOMPLETE;
      setDefault(o, CKA_ID, {});
      setDefault(o, CKA_LOCAL, boolValue(false));
      if (secretByNature) {
        setDefault(o, CKA_SENSITIVE, boolValue(true));
        setDefault(o, CKA_EXTRACTABLE, boolValue(false));
        const bool sensitive = boolAttribute(o, CKA_SENSITIVE, true);
        const bool extractable = boolAttribute(o, CKA_EXTRACTABLE, false);
        setDefault(o, CKA_ALWAYS_SENSITIVE, boolValue(sensitive));
        setDefault(o, CKA_NEVER_EXTRACTABLE, boolValue(!extractable));
      }
      break;
    }
  }
  out = std::move(o);
  return CKR_OK;
}

CK_RV checkUpdate(const StoredObject &object, const CK_ATTRIBUTE *tmpl, CK_ULONG count) {
  if (!tmpl || count == 0) return CKR_ARGUMENTS_BAD;
  CK_OBJECT_CLASS cls = 0;
  readUlong(object, CKA_CLASS, cls);
  if (!boolAttribute(object, CKA_MODIFIABLE, true)) return CKR_ATTRIBUTE_READ_ONLY;
  for (CK_ULONG i = 0; i < count; ++i) {
    const CK_ATTRIBUTE &a = tmpl[i];
    CK_RV rv = checkValueShape(a);
    if (rv != CKR_OK) return rv;
    if (!allowedFor(cls, a.type)) return CKR_ATTRIBUTE_TYPE_INVALID;
    if (fixedAfterCreation(a.type)) return CKR_ATTRIBUTE_READ_ONLY;
    // Of a certificate's own attributes only the identifier, issuer and serial number change.
    if (cls == CKO_CERTIFICATE && among(a.type, {CKA_SUBJECT, CKA_VALUE, CKA_URL, CKA_CHECK_VALUE,
                                                 CKA_HASH_OF_SUBJECT_PUBLIC_KEY,
                                                 CKA_HASH_OF_ISSUER_PUBLIC_KEY}))
      return CKR_ATTRIBUTE_READ_ONLY;
    const bool newValue = a.ulValueLen == 1 && static_cast<const uint8_t *>(a.pValue)[0] == CK_TRUE;
    // Protection may only grow: a sensitive key stays sensitive, an unextractable one stays so.
    if (a.type == CKA_SENSITIVE && boolAttribute(object, CKA_SENSITIVE, false) && !newValue)
      return CKR_ATTRIBUTE_READ_ONLY;
    if (a.type == CKA_EXTRACTABLE && !boolAttribute(object, CKA_EXTRACTABLE, true) && newValue)
      return CKR_ATTRIBUTE_READ_ONLY;
  }
  return CKR_OK;
}

bool isSensitive(const StoredObject &object, CK_ATTRIBUTE_TYPE type) {
  CK_OBJECT_CLASS cls = 0;
  readUlong(object, CKA_CLASS, cls);
  if (cls != CKO_PRIVATE_KEY && cls != CKO_SECRET_KEY) return false;
  if (!among(type, {CKA_VALUE, CKA_PRIVATE_EXPONENT, CKA_PRIME_1, CKA_PRIME_2, CKA_EXPONENT_1,
                    CKA_EXPONENT_2, CKA_COEFFICIENT}))
    return false;
  return boolAttribute(object, CKA_SENSITIVE, true) || !boolAttribute(object, CKA_EXTRACTABLE, false);
}

bool boolAttribute(const StoredObject &object, CK_ATTRIBUTE_TYPE type, bool fallback) {
  const StoredAttribute *a = object.find(static_cast<uint32_t>(type));
  if (!a || a->value.size() != 1) return fallback;
  return a->value[0] == CK_TRUE;
}

bool matches(const StoredObject &object, const CK_ATTRIBUTE *tmpl, CK_ULONG count) {
  for (CK_ULONG i = 0; i < count; ++i) {
    const StoredAttribute *a = object.find(static_cast<uint32_t>(tmpl[i].type));
    if (!a || a->value.size() != tmpl[i].ulValueLen) return false;
    if (tmpl[i].ulValueLen && std::memcmp(a->value.data(), tmpl[i].pValue, tmpl[i].ulValueLen) != 0)
      return false;
  }
  return true;
}

}  // namespace softtoken
