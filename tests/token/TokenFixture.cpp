#include "TokenFixture.h"


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

std::vector<std::unique_ptr<CertificateRecord>> TokenTest::ReadAll() {
  std::vector<std::unique_ptr<CertificateRecord>> records;
  std::unique_ptr<CertificateRecord> record;
  HRESULT hr = token->nextCertificate(true, record);
  for (; record; hr = token->nextCertificate(false, record)) records.push_back(std::move(record));
  EXPECT_EQ(Token::kNoMoreCertificates, hr) << std::hex << hr;
  return records;
}
