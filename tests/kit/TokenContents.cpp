#include "kit/TokenContents.h"

#include <gtest/gtest.h>

#include "model/CertificateFiles.h"
#include "tokenkit/HexText.h"
#include "tokenkit/TokenSession.h"

namespace testkit {

// A session of its own each time: the code under test may close every session of the process on the slot.
void TokenContents::Create(const AttributeList& object, bool login) {
  TokenSession session(soft_.standard());
  ASSERT_EQ(CKR_OK, session.open(slot_));
  if (login) {
    ASSERT_EQ(CKR_OK, session.login(password_));
  }
  CK_OBJECT_HANDLE created = 0;
  const CK_RV rv = session.create(object.has(CKA_TOKEN) ? object : AttributeList(object).boolean(CKA_TOKEN, true),
                                  &created);
  ASSERT_EQ(CKR_OK, rv) << std::hex << rv;
}

void TokenContents::AddCertificate(const std::string& file, const std::string& label,
                                   const std::vector<uint8_t>& id) {
  const std::vector<BYTE> der = CertificateFiles::read(file + ".der");
  ASSERT_FALSE(der.empty()) << file;
  AddEncodedCertificate(std::vector<uint8_t>(der.begin(), der.end()), label, id);
}

void TokenContents::AddEncodedCertificate(const std::vector<uint8_t>& der, const std::string& label,
                                          const std::vector<uint8_t>& id) {
  Create(AttributeList()
             .ulong(CKA_CLASS, CKO_CERTIFICATE)
             .ulong(CKA_CERTIFICATE_TYPE, CKC_X_509)
             .bytes(CKA_SUBJECT, {0x30, 0x00})
             .bytes(CKA_VALUE, der)
             .bytes(CKA_ID, id)
             .label(label),
         false);
}

void TokenContents::AddKeyPair(const std::vector<uint8_t>& id) {
  for (CK_OBJECT_CLASS cls : {CKO_PUBLIC_KEY, CKO_PRIVATE_KEY})
    Create(AttributeList().ulong(CKA_CLASS, cls).ulong(CKA_KEY_TYPE, CKK_RSA).bytes(CKA_ID, id),
           cls == CKO_PRIVATE_KEY);
}

void TokenContents::AddData(const std::string& label, const std::vector<uint8_t>& value) {
  Create(AttributeList().ulong(CKA_CLASS, CKO_DATA).text(CKA_LABEL, label).bytes(CKA_VALUE, value), false);
}

void TokenContents::AddRecord(const std::string& container, const std::string& exchange,
                              const std::string& signature, uint8_t version, const std::vector<uint8_t>& keyId) {
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

void TokenContents::AddJaneJohnAndCorp(bool janeAndJohn, bool corp) {
  const struct {
    const char* file;
    const char* label;
    uint8_t id;
    bool wanted;
  } holders[] = {{"jane-doe", "jane", 'J', janeAndJohn}, {"john-roe", "john", 'R', janeAndJohn},
                 {"example-corp", "corp", 'C', corp}};
  for (const auto& h : holders) {
    if (!h.wanted) continue;
    AddCertificate(h.file, h.label, {h.id});
    AddKeyPair({h.id});
  }
  if (!janeAndJohn) return;
  AddCatalog({"Jane's keys", "John's keys"});
  AddRecord("Jane's keys", "jane", "", 2, {'J'});
  AddRecord("John's keys", "john", "", 2, {'R'});
}

size_t TokenContents::CountWithId(const std::vector<uint8_t>& id) {
  // Logged in to see the private key; the session undoes its own login when it goes.
  TokenSession session(soft_.standard());
  std::vector<CK_OBJECT_HANDLE> found;
  if (session.open(slot_) != CKR_OK) return 99;
  session.login(password_);
  return session.find(AttributeList().bytes(CKA_ID, id), &found) == CKR_OK ? found.size() : 99;
}

}  // namespace testkit
