#pragma once
// The CSP's container catalog and container records on one token: public data objects
// labelled with the catalog's label and with each container's name (labels stored with
// their NUL, as the CSP stores them). Every change goes through the caller's transaction.
#include <string>
#include <vector>

#include "tokenkit/ContainerFormat.h"
#include "tokenkit/Outcome.h"
#include "tokenkit/Transaction.h"

class ContainerStore {
 public:
  explicit ContainerStore(TokenSession& session) : session_(session) {}

  struct Catalog {
    CK_OBJECT_HANDLE object = 0;  // 0: the token has no catalog
    uint8_t version = containerformat::kCatalogVersion;
    std::vector<std::string> names;
    std::vector<uint8_t> value;  // as stored, to put back exactly
  };
  struct Record {
    CK_OBJECT_HANDLE object = 0;  // 0: the token has no record of that name
    containerformat::RecordFields fields;
    std::vector<uint8_t> value;  // as stored, to put back exactly
  };

  // Conflict when several catalogs exist or the catalog cannot be read.
  Outcome readCatalog(Catalog* catalog);
  Outcome writeCatalog(Transaction& tx, const Catalog& current, uint8_t version, const std::vector<std::string>& names);
  Outcome deleteCatalog(Transaction& tx, const Catalog& current);
  // Appends the name unless it is there; makes a version-1 catalog when there is none.
  Outcome addName(Transaction& tx, const std::string& name);
  Outcome removeName(Transaction& tx, const std::string& name);

  Outcome readRecord(const std::string& name, Record* record);
  Outcome writeRecord(Transaction& tx, const std::string& name, const Record& current,
                      const containerformat::RecordFields& fields);
  Outcome deleteRecord(Transaction& tx, const std::string& name, const Record& current);

  // Certificate objects whose label is `label` with its NUL.
  Outcome findCertificates(const std::string& label, std::vector<CK_OBJECT_HANDLE>* objects);

 private:
  Outcome findData(const std::string& label, std::vector<CK_OBJECT_HANDLE>* objects);
  static AttributeList dataObject(const std::string& label, const std::vector<uint8_t>& value);
  // Replaces the value of an existing data object, or creates the object when there is none.
  static CK_RV writeData(Transaction& tx, CK_OBJECT_HANDLE object, const std::string& label,
                         const std::vector<uint8_t>& value);

  TokenSession& session_;
};
