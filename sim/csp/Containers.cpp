#include "Containers.h"

#include <algorithm>

#include "tokenkit/HexText.h"

namespace containers {

namespace {

using containerformat::RecordFields;

bool contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string& keyIdField(RecordFields& fields, bool exchange) { return exchange ? fields.field1 : fields.field2; }
std::string& labelField(RecordFields& fields, bool exchange) {
  return exchange ? fields.exchangeCertLabel : fields.signatureCertLabel;
}

// Objects of the class (any class when 0) that carry the identifier.
DWORD findById(TokenLink& link, CK_OBJECT_CLASS cls, bool anyClass, const std::vector<uint8_t>& id,
               std::vector<CK_OBJECT_HANDLE>* found) {
  AttributeList t;
  if (!anyClass) t.ulong(CKA_CLASS, cls);
  t.boolean(CKA_TOKEN, true).bytes(CKA_ID, id);
  return cspError(link.session().find(t, found));
}

DWORD readKey(TokenLink& link, RecordFields& fields, bool exchange, Key* key) {
  const std::string& label = labelField(fields, exchange);
  if (!label.empty()) {
    std::vector<CK_OBJECT_HANDLE> certificates;
    const Outcome r = link.store().findCertificates(label, &certificates);
    if (r.failed()) return cspError(r);
    if (!certificates.empty()) {
      CK_RV rv = link.session().read(certificates[0], CKA_VALUE, &key->certificate);
      if (rv != CKR_OK) return cspError(rv);
      key->present = true;
      key->publicKey = RsaPublicKey::ofCertificate(key->certificate);
      rv = link.session().read(certificates[0], CKA_ID, &key->id);
      if (rv != CKR_OK && rv != CKR_ATTRIBUTE_TYPE_INVALID) return cspError(rv);
    }
  }
  std::vector<uint8_t> id;
  if (key->id.empty() && hextext::decode(keyIdField(fields, exchange), &id)) key->id = id;
  if (key->id.empty() || (key->present && !key->publicKey.empty())) return 0;
  std::vector<CK_OBJECT_HANDLE> publicKeys;
  const DWORD error = findById(link, CKO_PUBLIC_KEY, false, key->id, &publicKeys);
  if (error) return error;
  if (publicKeys.empty()) return 0;
  key->present = true;
  std::vector<uint8_t> modulus, exponent;
  if (link.session().read(publicKeys[0], CKA_MODULUS, &modulus) == CKR_OK &&
      link.session().read(publicKeys[0], CKA_PUBLIC_EXPONENT, &exponent) == CKR_OK)
    key->publicKey = RsaPublicKey::ofComponents(modulus, exponent);
  return 0;
}

// The record of a container in the catalog; NTE_BAD_KEYSET when either is missing.
DWORD readRecord(TokenLink& link, const std::string& name, ContainerStore::Record* record) {
  std::vector<std::string> names;
  const DWORD error = listNames(link, &names);
  if (error) return error;
  if (!contains(names, name)) return static_cast<DWORD>(NTE_BAD_KEYSET);
  const Outcome r = link.store().readRecord(name, record);
  if (r.failed()) return cspError(r);
  return record->object ? 0 : static_cast<DWORD>(NTE_BAD_KEYSET);
}

std::string labelText(const std::vector<uint8_t>& value) {
  std::string text(value.begin(), value.end());
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

}  // namespace

DWORD listNames(TokenLink& link, std::vector<std::string>* names) {
  ContainerStore::Catalog catalog;
  const Outcome r = link.store().readCatalog(&catalog);
  if (r.failed()) return cspError(r);
  *names = catalog.names;
  return 0;
}

DWORD read(TokenLink& link, const std::string& name, Contents* contents) {
  *contents = Contents();
  contents->name = name;
  if (name.empty()) {
    std::vector<std::string> names;
    const DWORD error = listNames(link, &names);
    if (error) return error;
    if (names.empty()) return static_cast<DWORD>(NTE_BAD_KEYSET);
    contents->name = names.front();
  }
  ContainerStore::Record record;
  DWORD error = readRecord(link, contents->name, &record);
  if (!error) error = readKey(link, record.fields, true, &contents->exchange);
  if (!error) error = readKey(link, record.fields, false, &contents->signature);
  return error;
}

DWORD create(TokenLink& link, const std::string& name) {
  if (name.empty()) return static_cast<DWORD>(NTE_BAD_KEYSET_PARAM);
  std::vector<std::string> names;
  DWORD error = listNames(link, &names);
  if (error) return error;
  ContainerStore::Record record;
  const Outcome found = link.store().readRecord(name, &record);
  if (found.failed()) return cspError(found);
  if (record.object || contains(names, name)) return static_cast<DWORD>(NTE_EXISTS);
  if (names.size() >= containerformat::kMaxNames) return static_cast<DWORD>(NTE_NO_MEMORY);
  Transaction tx(link.session());
  Outcome r = link.store().writeRecord(tx, name, record, RecordFields());
  if (!r.failed()) r = link.store().addName(tx, name);
  if (r.failed()) return cspError(r);
  tx.commit();
  return 0;
}

DWORD bindKeyId(TokenLink& link, const std::string& name, const std::vector<uint8_t>& keyId) {
  ContainerStore::Record record;
  DWORD error = readRecord(link, name, &record);
  if (error) return error;
  if (!record.fields.field1.empty() || !record.fields.exchangeCertLabel.empty()) return static_cast<DWORD>(NTE_EXISTS);
  std::vector<CK_OBJECT_HANDLE> certificates, privateKeys;
  error = findById(link, CKO_CERTIFICATE, false, keyId, &certificates);
  if (!error) error = findById(link, CKO_PRIVATE_KEY, false, keyId, &privateKeys);
  if (error) return error;
  if (certificates.empty() || privateKeys.empty()) return static_cast<DWORD>(NTE_NO_KEY);

  // The record finds the certificate by its label, so the label must be the certificate's alone.
  std::vector<uint8_t> labelValue;
  CK_RV rv = link.session().read(certificates[0], CKA_LABEL, &labelValue);
  if (rv != CKR_OK) return cspError(rv);
  std::string label = labelText(labelValue);
  std::vector<CK_OBJECT_HANDLE> sameLabel;
  if (!label.empty()) {
    const Outcome r = link.store().findCertificates(label, &sameLabel);
    if (r.failed()) return cspError(r);
  }
  Transaction tx(link.session());
  if (label.empty() || sameLabel.size() != 1) {
    label = name;
    std::vector<uint8_t> stored(label.begin(), label.end());
    stored.push_back('\0');
    rv = tx.replace(certificates[0], CKA_LABEL, stored);
    if (rv != CKR_OK) return cspError(rv);
  }
  RecordFields fields = record.fields;
  fields.version = containerformat::kRecordVersion;
  fields.field1 = hextext::encode(keyId);
  fields.exchangeCertLabel = label;
  const Outcome r = link.store().writeRecord(tx, name, record, fields);
  if (r.failed()) return cspError(r);
  tx.commit();
  return 0;
}

DWORD remove(TokenLink& link, const std::string& name) {
  ContainerStore::Record record;
  DWORD error = readRecord(link, name, &record);
  if (error) return error;
  // Everything the container names: its certificates and the key pairs with their identifiers.
  std::vector<CK_OBJECT_HANDLE> doomed, keys;
  for (bool exchange : {true, false}) {
    std::vector<std::vector<uint8_t>> ids;
    std::vector<uint8_t> id;
    if (hextext::decode(keyIdField(record.fields, exchange), &id) && !id.empty()) ids.push_back(id);
    const std::string& label = labelField(record.fields, exchange);
    std::vector<CK_OBJECT_HANDLE> certificates;
    if (!label.empty()) {
      const Outcome r = link.store().findCertificates(label, &certificates);
      if (r.failed()) return cspError(r);
    }
    for (CK_OBJECT_HANDLE certificate : certificates) {
      doomed.push_back(certificate);
      if (link.session().read(certificate, CKA_ID, &id) == CKR_OK && !id.empty()) ids.push_back(id);
    }
    for (const std::vector<uint8_t>& keyId : ids) {
      std::vector<CK_OBJECT_HANDLE> objects;
      error = findById(link, 0, true, keyId, &objects);
      if (error) return error;
      keys.insert(keys.end(), objects.begin(), objects.end());
    }
  }
  // Certificates before keys, each once: a removal cut short leaves keys that nothing names,
  // never a certificate without its key.
  std::vector<CK_OBJECT_HANDLE> order;
  doomed.insert(doomed.end(), keys.begin(), keys.end());
  for (CK_OBJECT_HANDLE object : doomed)
    if (std::find(order.begin(), order.end(), object) == order.end()) order.push_back(object);
  doomed.swap(order);

  // The catalog lets go of the name before the record goes, so that it never names a missing one.
  Transaction tx(link.session());
  Outcome r = link.store().removeName(tx, name);
  if (!r.failed()) r = link.store().deleteRecord(tx, name, record);
  if (r.failed()) return cspError(r);
  // Objects cannot be put back once destroyed, so they go last, after the catalog is written, and
  // the container stays gone whatever happens to them: putting its name back after its
  // certificate went would name a container without one.
  tx.commit();
  for (CK_OBJECT_HANDLE object : doomed) {
    const CK_RV rv = link.session().destroy(object);
    if (rv != CKR_OK) return cspError(rv);
  }
  return 0;
}

DWORD makeDefault(TokenLink& link, const std::string& name) {
  ContainerStore::Catalog catalog;
  Outcome r = link.store().readCatalog(&catalog);
  if (r.failed()) return cspError(r);
  auto it = std::find(catalog.names.begin(), catalog.names.end(), name);
  if (it == catalog.names.end()) return static_cast<DWORD>(NTE_BAD_KEYSET);
  std::vector<std::string> names = catalog.names;
  names.erase(names.begin() + (it - catalog.names.begin()));
  names.insert(names.begin(), name);
  Transaction tx(link.session());
  r = link.store().writeCatalog(tx, catalog, catalog.version, names);
  if (r.failed()) return cspError(r);
  tx.commit();
  return 0;
}

}  // namespace containers
