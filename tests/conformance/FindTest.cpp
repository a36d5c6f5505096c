// Object search as the page does it, and random numbers.
#include <algorithm>

#include "ConformanceTest.h"

namespace conformance {
namespace {

using FindObjects = ConformanceTest;
using Random = ConformanceTest;

// The catalog label: 23 characters and the byte 0x07, searched with its NUL (25 bytes).
const std::string kCatalogLabel = std::string("QCspRSAContainerCatalog") + '\x07';

TEST_F(FindObjects, ClassTokenAndLabelWithItsNulMatchByteForByte) {
  CK_SESSION_HANDLE session = openSession();
  CK_OBJECT_HANDLE catalog = createData(session, kCatalogLabel, std::string("\x01\x00\x00\x00", 4));
  createData(session, "QCspRSAContainerCatalog", "no 0x07");
  createCertificate(session, kCatalogLabel, "id", "certificate with the catalog's label");

  Template exact;
  exact.ulong(CKA_CLASS, CKO_DATA).boolean(CKA_TOKEN, true).label(kCatalogLabel);
  ASSERT_EQ(25u, exact[2].ulValueLen);
  EXPECT_EQ(std::vector<CK_OBJECT_HANDLE>{catalog}, find(session, exact));

  Template withoutNul, extraNul, sessionOnly;
  withoutNul.ulong(CKA_CLASS, CKO_DATA).boolean(CKA_TOKEN, true).bytes(CKA_LABEL, kCatalogLabel);
  extraNul.ulong(CKA_CLASS, CKO_DATA).bytes(CKA_LABEL, kCatalogLabel + std::string(2, '\0'));
  sessionOnly.ulong(CKA_CLASS, CKO_DATA).boolean(CKA_TOKEN, false).label(kCatalogLabel);
  EXPECT_TRUE(find(session, withoutNul).empty()) << "a label is found only with the NUL it was stored with";
  EXPECT_TRUE(find(session, extraNul).empty());
  EXPECT_TRUE(find(session, sessionOnly).empty());
}

TEST_F(FindObjects, CertificateSearchReturnsAtMostTheCapacityPerCall) {
  CK_SESSION_HANDLE session = openSession();
  std::vector<CK_OBJECT_HANDLE> created;
  for (int i = 0; i < 25; ++i)
    created.push_back(createCertificate(session, "cert" + std::to_string(i), "id" + std::to_string(i),
                                        "der" + std::to_string(i)));
  createData(session, "not a certificate", "v");

  Template t;
  t.ulong(CKA_CLASS, CKO_CERTIFICATE).boolean(CKA_TOKEN, true);
  ASSERT_RV(CKR_OK, p11->C_FindObjectsInit(session, t.data(), t.size()));
  std::vector<CK_OBJECT_HANDLE> handles(20);
  CK_ULONG count = 0;
  ASSERT_RV(CKR_OK, p11->C_FindObjects(session, handles.data(), 20, &count));
  EXPECT_EQ(20u, count);
  std::vector<CK_OBJECT_HANDLE> all(handles.begin(), handles.begin() + count);
  ASSERT_RV(CKR_OK, p11->C_FindObjects(session, handles.data(), 20, &count));
  EXPECT_EQ(5u, count);
  all.insert(all.end(), handles.begin(), handles.begin() + count);
  ASSERT_RV(CKR_OK, p11->C_FindObjects(session, handles.data(), 20, &count));
  EXPECT_EQ(0u, count);
  ASSERT_RV(CKR_OK, p11->C_FindObjectsFinal(session));
  std::sort(all.begin(), all.end());
  std::sort(created.begin(), created.end());
  EXPECT_EQ(created, all);
}

TEST_F(FindObjects, EmptyTemplateFindsEveryVisibleObjectAndAnIdOnlyTheObjectsSharingIt) {
  CK_SESSION_HANDLE session = openSession();
  const std::string id("\x0A\x0B", 2);
  std::vector<CK_OBJECT_HANDLE> created = {createCertificate(session, "mine", id, "der"), createData(session, "a", "1"),
                                           createCertificate(session, "other", std::string("\x0A\x0C", 2), "der2")};
  EXPECT_EQ(std::vector<CK_OBJECT_HANDLE>{created[0]},
            find(session, Template().bytes(CKA_ID, id).boolean(CKA_TOKEN, true), 5));
  Template none;
  std::vector<CK_OBJECT_HANDLE> found = find(session, none);
  std::sort(found.begin(), found.end());
  std::sort(created.begin(), created.end());
  EXPECT_EQ(created, found);
}

TEST_F(FindObjects, OperationsOutOfOrderAreRefused) {
  CK_SESSION_HANDLE session = openSession();
  CK_OBJECT_HANDLE handles[4];
  CK_ULONG count = 0;
  EXPECT_RV(CKR_OPERATION_NOT_INITIALIZED, p11->C_FindObjects(session, handles, 4, &count));
  EXPECT_RV(CKR_OPERATION_NOT_INITIALIZED, p11->C_FindObjectsFinal(session));
  Template t;
  t.ulong(CKA_CLASS, CKO_DATA);
  ASSERT_RV(CKR_OK, p11->C_FindObjectsInit(session, t.data(), t.size()));
  EXPECT_RV(CKR_OPERATION_ACTIVE, p11->C_FindObjectsInit(session, t.data(), t.size()));
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_FindObjects(session, handles, 4, nullptr));
  EXPECT_RV(CKR_OK, p11->C_FindObjectsFinal(session));
  EXPECT_RV(CKR_OPERATION_NOT_INITIALIZED, p11->C_FindObjectsFinal(session));
}

TEST_F(Random, FillsTheBufferWithFreshBytes) {
  CK_SESSION_HANDLE session = openSession(false);
  std::vector<CK_BYTE> a(32, 0), b(32, 0);
  ASSERT_RV(CKR_OK, p11->C_GenerateRandom(session, a.data(), a.size()));
  ASSERT_RV(CKR_OK, p11->C_GenerateRandom(session, b.data(), b.size()));
  EXPECT_NE(a, b);
  EXPECT_NE(std::vector<CK_BYTE>(32, 0), a);
  EXPECT_RV(CKR_ARGUMENTS_BAD, p11->C_GenerateRandom(session, nullptr, 16));
}

}  // namespace
}  // namespace conformance
