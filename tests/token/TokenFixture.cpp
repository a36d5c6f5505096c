#include "TokenFixture.h"

#include "tokenkit/HexText.h"
#include "tokenkit/TokenSession.h"

std::string IdOf(const CertificateRecord& record) {
  return std::string(reinterpret_cast<const char*>(record.keyId.data()), record.keyId.size());
}

const CertificateRecord* WithId(const std::vector<std::unique_ptr<CertificateRecord>>& records,
                                const std::string& id) {
  for (const auto& record : records)
    if (IdOf(*record) == id) return record.get();
  ADD_FAILURE() << "no record with id " << id;
  static CertificateRecord none;
  return &none;
}

// A session of its own each time: the token under test closes every session of the process on its slot.
void TokenTest::Create(const AttributeList& object, bool login) {
  TokenSession session(soft.standard());
  ASSERT_EQ(CKR_OK, session.open(kSlot));
  if (login) {
    ASSERT_EQ(CKR_OK, session.login(kPassword));
  }
  CK_OBJECT_HANDLE created = 0;
  const CK_RV rv = session.create(AttributeList(object).boolean(CKA_TOKEN, true), &created);
  ASSERT_EQ(CKR_OK, rv) << std::hex << rv;
}

void TokenTest::AddCertificate(const std::string& file, const std::string& label, const std::vector<uint8_t>& id) {
  const std::vector<BYTE> der = CertificateFiles::read(file + ".der");
  ASSERT_FALSE(der.empty()) << file;
  Create(AttributeList()
             .ulong(CKA_CLASS, CKO_CERTIFICATE)
             .ulong(CKA_CERTIFICATE_TYPE, CKC_X_509)
             .bytes(CKA_SUBJECT, {0x30, 0x00})
             .bytes(CKA_VALUE, std::vector<uint8_t>(der.begin(), der.end()))
             .bytes(CKA_ID, id)
             .label(label),
         false);
}

void TokenTest::AddKeyPair(const std::vector<uint8_t>& id) {
  for (CK_OBJECT_CLASS cls : {CKO_PUBLIC_KEY, CKO_PRIVATE_KEY})
    Create(AttributeList().ulong(CKA_CLASS, cls).ulong(CKA_KEY_TYPE, CKK_RSA).bytes(CKA_ID, id),
           cls == CKO_PRIVATE_KEY);
}

void TokenTest::AddData(const std::string& label, const std::vector<uint8_t>& value) {
  Create(AttributeList()
             .ulong(CKA_CLASS, CKO_DATA)
             .text(CKA_LABEL, label)
             .bytes(CKA_VALUE, value),
         false);
}

void TokenTest::AddRecord(const std::string& container, const std::string& exchange, const std::string& signature,
                          uint8_t version, const std::vector<uint8_t>& keyId) {
  containerformat::RecordFields fields;
  fields.version = version;
  fields.field1 = hextext::encode(keyId);
  fields.exchangeCertLabel = exchange;
  fields.signatureCertLabel = signature;
  std::vector<uint8_t> value = containerformat::buildRecord(fields);
  // An older record carries no signature label; anything after its third string is not one.
  if (version < 2) value.insert(value.end(), signature.c_str(), signature.c_str() + signature.size() + 1);
  AddData(container + '\0', value);
}

size_t TokenTest::CountWithId(const std::vector<uint8_t>& id) {
  // Logged in to see the private key; the session undoes its own login when it goes.
  TokenSession session(soft.standard());
  std::vector<CK_OBJECT_HANDLE> found;
  if (session.open(kSlot) != CKR_OK) return 99;
  session.login(kPassword);
  return session.find(AttributeList().bytes(CKA_ID, id), &found) == CKR_OK ? found.size() : 99;
}

std::vector<std::unique_ptr<CertificateRecord>> TokenTest::ReadAll() {
  std::vector<std::unique_ptr<CertificateRecord>> records;
  std::unique_ptr<CertificateRecord> record;
  HRESULT hr = token->nextCertificate(true, record);
  for (; record; hr = token->nextCertificate(false, record)) records.push_back(std::move(record));
  EXPECT_EQ(Token::kNoMoreCertificates, hr) << std::hex << hr;
  return records;
}
