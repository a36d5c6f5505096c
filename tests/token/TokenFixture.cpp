#include "TokenFixture.h"

#include "tokenkit/HexText.h"

namespace {

CK_BBOOL kTrue = CK_TRUE;

CK_ATTRIBUTE Attr(CK_ATTRIBUTE_TYPE type, const void* value, size_t length) {
  return CK_ATTRIBUTE{type, const_cast<void*>(value), static_cast<CK_ULONG>(length)};
}

}  // namespace

std::vector<uint8_t> Der(const std::string& file) {
  const std::vector<BYTE> bytes = CertificateFiles::read(file + ".der");
  EXPECT_FALSE(bytes.empty()) << file;
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

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

CK_OBJECT_HANDLE TokenTest::Create(std::vector<CK_ATTRIBUTE> attributes, bool login) {
  // A session of its own: the token under test closes every session of the process on its slot.
  CK_FUNCTION_LIST* ck = soft.standard();
  CK_SESSION_HANDLE session = 0;
  EXPECT_EQ(CKR_OK, ck->C_OpenSession(kSlot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session));
  if (login) {
    EXPECT_EQ(CKR_OK, ck->C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(kPassword)),
                                  static_cast<CK_ULONG>(strlen(kPassword))));
  }
  CK_OBJECT_HANDLE object = 0;
  const CK_RV rv = ck->C_CreateObject(session, attributes.data(), static_cast<CK_ULONG>(attributes.size()), &object);
  EXPECT_EQ(CKR_OK, rv) << std::hex << rv;
  ck->C_CloseSession(session);
  return object;
}

CK_OBJECT_HANDLE TokenTest::AddCertificate(const std::string& file, const std::string& label,
                                           std::vector<uint8_t> id) {
  CK_OBJECT_CLASS cls = CKO_CERTIFICATE;
  CK_CERTIFICATE_TYPE type = CKC_X_509;
  static const uint8_t kSubject[] = {0x30, 0x00};
  const std::vector<uint8_t> der = Der(file);
  const std::string stored = label + '\0';
  return Create({Attr(CKA_CLASS, &cls, sizeof cls), Attr(CKA_TOKEN, &kTrue, 1),
                 Attr(CKA_CERTIFICATE_TYPE, &type, sizeof type), Attr(CKA_SUBJECT, kSubject, sizeof kSubject),
                 Attr(CKA_VALUE, der.data(), der.size()), Attr(CKA_ID, id.data(), id.size()),
                 Attr(CKA_LABEL, stored.data(), stored.size())},
                false);
}

void TokenTest::AddKeyPair(std::vector<uint8_t> id) {
  CK_KEY_TYPE rsa = CKK_RSA;
  for (CK_OBJECT_CLASS cls : {CKO_PUBLIC_KEY, CKO_PRIVATE_KEY}) {
    Create({Attr(CKA_CLASS, &cls, sizeof cls), Attr(CKA_TOKEN, &kTrue, 1), Attr(CKA_KEY_TYPE, &rsa, sizeof rsa),
            Attr(CKA_ID, id.data(), id.size())},
           cls == CKO_PRIVATE_KEY);
  }
}

void TokenTest::AddData(const std::string& label, std::vector<uint8_t> value) {
  CK_OBJECT_CLASS cls = CKO_DATA;
  Create({Attr(CKA_CLASS, &cls, sizeof cls), Attr(CKA_TOKEN, &kTrue, 1), Attr(CKA_LABEL, label.data(), label.size()),
          Attr(CKA_VALUE, value.data(), value.size())},
         false);
}

void TokenTest::AddRecord(const std::string& container, const std::string& exchange, const std::string& signature,
                          uint8_t version, std::vector<uint8_t> keyId) {
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

CK_ULONG TokenTest::CountWithId(const std::vector<uint8_t>& id) {
  CK_FUNCTION_LIST* ck = soft.standard();
  CK_SESSION_HANDLE session = 0;
  if (ck->C_OpenSession(kSlot, CKF_SERIAL_SESSION, nullptr, nullptr, &session) != CKR_OK) return 99;
  // The login is the whole application's: it is undone before the token under test goes on.
  const CK_RV login = ck->C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(kPassword)),
                                  static_cast<CK_ULONG>(strlen(kPassword)));
  CK_ATTRIBUTE search = Attr(CKA_ID, id.data(), id.size());
  CK_OBJECT_HANDLE found[10];
  CK_ULONG count = 99;
  ck->C_FindObjectsInit(session, &search, 1);
  ck->C_FindObjects(session, found, 10, &count);
  ck->C_FindObjectsFinal(session);
  if (login == CKR_OK) ck->C_Logout(session);
  ck->C_CloseSession(session);
  return count;
}

std::vector<std::unique_ptr<CertificateRecord>> TokenTest::ReadAll() {
  std::vector<std::unique_ptr<CertificateRecord>> records;
  std::unique_ptr<CertificateRecord> record;
  HRESULT hr = token->nextCertificate(true, record);
  while (record) {
    records.push_back(std::move(record));
    hr = token->nextCertificate(false, record);
  }
  EXPECT_EQ(Token::kNoMoreCertificates, hr) << std::hex << hr;
  return records;
}
