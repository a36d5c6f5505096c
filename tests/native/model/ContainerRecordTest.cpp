#include "model/ContainerRecord.h"

#include <gtest/gtest.h>

#include <string>

#include "model/Status.h"

namespace {

int32_t parse(ContainerRecord& record, const std::string& value) {
  return record.parse(reinterpret_cast<const uint8_t*>(value.data()), value.size());
}

}  // namespace

TEST(ContainerRecord, NewRecordHasVersionTwoAndNoLabels) {
  ContainerRecord record;
  EXPECT_EQ(2, record.version());
  EXPECT_TRUE(record.exchangeCertLabel().empty());
  EXPECT_TRUE(record.signatureCertLabel().empty());
}

TEST(ContainerRecord, ValueShorterThanFourBytesIsRefusedAndChangesNothing) {
  ContainerRecord record;
  EXPECT_EQ(StatusFail, parse(record, std::string("\x02\0a", 3)));
  EXPECT_EQ(StatusFail, record.parse(nullptr, 8));
  EXPECT_EQ(2, record.version());

  ASSERT_EQ(StatusOk, parse(record, std::string("\x02\0p\0q\0ex\0sig\0", 13)));
  EXPECT_EQ(StatusFail, parse(record, std::string("\x00\0\0", 3)));
  EXPECT_STREQ("ex", record.exchangeCertLabel().text());
  EXPECT_STREQ("sig", record.signatureCertLabel().text());
}

TEST(ContainerRecord, VersionZeroHasNoLabels) {
  ContainerRecord record;
  ASSERT_EQ(StatusOk, parse(record, std::string("\x00\0p\0q\0ex\0sig\0", 13)));
  EXPECT_EQ(0, record.version());
  EXPECT_TRUE(record.exchangeCertLabel().empty());
  EXPECT_TRUE(record.signatureCertLabel().empty());
}

TEST(ContainerRecord, VersionOneHasOnlyTheExchangeLabel) {
  ContainerRecord record;
  ASSERT_EQ(StatusOk, parse(record, std::string("\x01\0p\0q\0exchange cert\0signature cert\0", 34)));
  EXPECT_STREQ("exchange cert", record.exchangeCertLabel().text());
  EXPECT_TRUE(record.signatureCertLabel().empty());
}

TEST(ContainerRecord, VersionTwoWithEmptyExchangeAndSetSignatureLabel) {
  ContainerRecord record;
  const std::string value("\x02\0provider\0\0\0signature cert\0trailing bytes", 43);
  ASSERT_EQ(StatusOk, parse(record, value));
  EXPECT_TRUE(record.exchangeCertLabel().empty());
  EXPECT_STREQ("signature cert", record.signatureCertLabel().text());
}

TEST(ContainerRecord, LaterVersionsReadBothLabels) {
  ContainerRecord record;
  ASSERT_EQ(StatusOk, parse(record, std::string("\x05\x01p\0q\0ex\0sig\0", 13)));
  EXPECT_EQ(5, record.version());
  EXPECT_EQ(1, record.secondByte());
  EXPECT_STREQ("ex", record.exchangeCertLabel().text());
  EXPECT_STREQ("sig", record.signatureCertLabel().text());
}

TEST(ContainerRecord, SecondParseReplacesTheLabels) {
  ContainerRecord record;
  ASSERT_EQ(StatusOk, parse(record, std::string("\x02\0p\0q\0ex\0sig\0", 13)));
  ASSERT_EQ(StatusOk, parse(record, std::string("\x01\0p\0q\0new\0", 11)));
  EXPECT_STREQ("new", record.exchangeCertLabel().text());
  EXPECT_TRUE(record.signatureCertLabel().empty());
}

// A string running past the end of the value is cut there; strings that
// would start after the end are empty.
TEST(ContainerRecord, LabelPastTheEndIsCutAndMissingLabelsAreEmpty) {
  ContainerRecord record;
  ASSERT_EQ(StatusOk, parse(record, std::string("\x02\0p\0q\0exch", 10)));
  EXPECT_STREQ("exch", record.exchangeCertLabel().text());
  EXPECT_TRUE(record.signatureCertLabel().empty());

  ASSERT_EQ(StatusOk, parse(record, std::string("\x02\0pq", 4)));
  EXPECT_TRUE(record.exchangeCertLabel().empty());
  EXPECT_TRUE(record.signatureCertLabel().empty());
}
