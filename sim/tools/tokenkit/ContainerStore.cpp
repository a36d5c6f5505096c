#include "tokenkit/ContainerStore.h"

using containerformat::kCatalogLabel;

AttributeList ContainerStore::dataObject(const std::string& label, const std::vector<uint8_t>& value) {
  AttributeList t;
  t.ulong(CKA_CLASS, CKO_DATA).boolean(CKA_TOKEN, true).boolean(CKA_PRIVATE, false).label(label).bytes(CKA_VALUE, value);
  return t;
}

Outcome ContainerStore::findData(const std::string& label, std::vector<CK_OBJECT_HANDLE>* objects) {
  AttributeList t;
  t.ulong(CKA_CLASS, CKO_DATA).boolean(CKA_TOKEN, true).label(label);
  const CK_RV rv = session_.find(t, objects);
  return rv == CKR_OK ? Outcome::ok() : tokenRefused("searching the token's data objects", rv);
}

Outcome ContainerStore::findCertificates(const std::string& label, std::vector<CK_OBJECT_HANDLE>* objects) {
  AttributeList t;
  t.ulong(CKA_CLASS, CKO_CERTIFICATE).boolean(CKA_TOKEN, true).label(label);
  const CK_RV rv = session_.find(t, objects);
  return rv == CKR_OK ? Outcome::ok() : tokenRefused("searching the token's certificates", rv);
}

Outcome ContainerStore::readCatalog(Catalog* catalog) {
  *catalog = Catalog();
  std::vector<CK_OBJECT_HANDLE> found;
  Outcome r = findData(kCatalogLabel, &found);
  if (r.failed()) return r;
  if (found.empty()) return Outcome::ok();
  if (found.size() > 1)
    return Outcome::fail(ExitCode::Conflict, "the token has " + std::to_string(found.size()) +
                                                 " container catalogs; remove the extra ones with zelt-token remove --handle");
  std::vector<uint8_t> value;
  const CK_RV rv = session_.read(found[0], CKA_VALUE, &value);
  if (rv != CKR_OK) return tokenRefused("reading the container catalog", rv);
  catalog->object = found[0];
  catalog->value = value;
  if (!containerformat::readCatalog(value, &catalog->version, &catalog->names))
    return Outcome::fail(ExitCode::Conflict, "the container catalog on the token cannot be read; rewrite it with "
                                             "zelt-token catalog --name ... or remove it with zelt-token catalog --delete");
  return Outcome::ok();
}

CK_RV ContainerStore::writeData(Transaction& tx, CK_OBJECT_HANDLE object, const std::string& label,
                                const std::vector<uint8_t>& value) {
  if (object) return tx.replace(object, CKA_VALUE, value);
  CK_OBJECT_HANDLE created = 0;
  return tx.create(dataObject(label, value), &created);
}

Outcome ContainerStore::writeCatalog(Transaction& tx, const Catalog& current, uint8_t version,
                                     const std::vector<std::string>& names) {
  if (names.size() > containerformat::kMaxNames)
    return Outcome::fail(ExitCode::Conflict, "a catalog holds at most " + std::to_string(containerformat::kMaxNames) + " names");
  const CK_RV rv = writeData(tx, current.object, kCatalogLabel, containerformat::buildCatalog(version, names));
  return rv == CKR_OK ? Outcome::ok() : tokenRefused("writing the container catalog", rv);
}

Outcome ContainerStore::deleteCatalog(Transaction& tx, const Catalog& current) {
  if (!current.object) return Outcome::fail(ExitCode::BadInput, "the token has no container catalog");
  const CK_RV rv = tx.destroy(current.object, dataObject(kCatalogLabel, current.value));
  return rv == CKR_OK ? Outcome::ok() : tokenRefused("removing the container catalog", rv);
}

Outcome ContainerStore::addName(Transaction& tx, const std::string& name) {
  Catalog catalog;
  Outcome r = readCatalog(&catalog);
  if (r.failed()) return r;
  for (const std::string& n : catalog.names)
    if (n == name) return Outcome::ok();
  std::vector<std::string> names = catalog.names;
  names.push_back(name);
  return writeCatalog(tx, catalog, catalog.version, names);
}

Outcome ContainerStore::removeName(Transaction& tx, const std::string& name) {
  Catalog catalog;
  Outcome r = readCatalog(&catalog);
  if (r.failed() || !catalog.object) return r;
  std::vector<std::string> names;
  for (const std::string& n : catalog.names)
    if (n != name) names.push_back(n);
  if (names.size() == catalog.names.size()) return Outcome::ok();
  return writeCatalog(tx, catalog, catalog.version, names);
}

Outcome ContainerStore::readRecord(const std::string& name, Record* record) {
  *record = Record();
  std::vector<CK_OBJECT_HANDLE> found;
  Outcome r = findData(name, &found);
  if (r.failed()) return r;
  if (found.empty()) return Outcome::ok();
  if (found.size() > 1)
    return Outcome::fail(ExitCode::Conflict, "the token has " + std::to_string(found.size()) + " records of the container " +
                                                 quoted(name) + "; remove the extra ones with zelt-token remove --handle");
  std::vector<uint8_t> value;
  const CK_RV rv = session_.read(found[0], CKA_VALUE, &value);
  if (rv != CKR_OK) return tokenRefused("reading the record of the container " + quoted(name), rv);
  record->object = found[0];
  record->value = value;
  if (!containerformat::readRecord(value, &record->fields))
    return Outcome::fail(ExitCode::Conflict, "the record of the container " + quoted(name) + " cannot be read");
  return Outcome::ok();
}

Outcome ContainerStore::writeRecord(Transaction& tx, const std::string& name, const Record& current,
                                    const containerformat::RecordFields& fields) {
  const CK_RV rv = writeData(tx, current.object, name, containerformat::buildRecord(fields));
  return rv == CKR_OK ? Outcome::ok() : tokenRefused("writing the record of the container " + quoted(name), rv);
}

Outcome ContainerStore::deleteRecord(Transaction& tx, const std::string& name, const Record& current) {
  if (!current.object) return Outcome::ok();
  const CK_RV rv = tx.destroy(current.object, dataObject(name, current.value));
  return rv == CKR_OK ? Outcome::ok() : tokenRefused("removing the record of the container " + quoted(name), rv);
}
