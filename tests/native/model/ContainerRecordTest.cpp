#include "model/ContainerRecord.h"

#include <gtest/gtest.h>

#include <string>

#include "model/Status.h"

namespace {

int32_t parse(ContainerRecord& record, const std::string& value) {
  return record.parse(reinterpret_cast<const uint8_t*>(value.data()), value.size());
}

}  // namespace

TEST(ContainerRecord, ValueShorterThanFourBytesIsRefusedAndChangesNothing) {
  ContainerRecord record;
  EXPECT_EQ(StatusFail, parse(record, std::string("\x02\0a", 3)));
  EXPECT_EQ(StatusFail, record.parse(nullptr, 8));
  EXPECT_EQ(2, record.version()) << "a new record is of version 2";
  EXPECT_TRUE(record.exchangeCertLabel().empty());
  EXPECT_TRUE(record.signatureCertLabel().empty());

  ASSERT_EQ(StatusOk, parse(record, std::string("\x02\0p\0q\0ex\0sig\0", 13)));
  EXPECT_EQ(StatusFail, parse(record, std::string("\x00\0\0", 3)));
  EXPECT_STREQ("ex", record.exchangeCertLabel().text());
  EXPECT_STREQ("sig", record.signatureCertLabel().text());
}

// One record parses every value in turn: each parse replaces what the one before left.
TEST(ContainerRecord, TheVersionDecidesWhichLabelsAreRead) {
  const struct {
    std::string value;
    int version, secondByte;
    const char *exchange, *signature;
  } cases[] = {
      {std::string("\x05\x01p\0q\0ex\0sig\0", 13), 5, 1, "ex", "sig"},
      {std::string("\x01\0p\0q\0exchange cert\0signature cert\0", 34), 1, 0, "exchange cert", ""},
      {std::string("\x05\0p\0q\0ex\0sig\0", 13), 5, 0, "ex", "sig"},
      {std::string("\x00\0p\0q\0ex\0sig\0", 13), 0, 0, "", ""},
      {std::string("\x02\0provider\0\0\0signature cert\0trailing bytes", 43), 2, 0, "", "signature cert"},
      // A string running past the end of the value is cut there; strings that would start
      // after the end are empty.
      {std::string("\x02\0p\0q\0exch", 10), 2, 0, "exch", ""},
      {std::string("\x02\0pq", 4), 2, 0, "", ""},
  };
  ContainerRecord record;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.value));
    ASSERT_EQ(StatusOk, parse(record, c.value));
    EXPECT_EQ(c.version, record.version());
    EXPECT_EQ(c.secondByte, record.secondByte());
    EXPECT_STREQ(c.exchange, record.exchangeCertLabel().text());
    EXPECT_STREQ(c.signature, record.signatureCertLabel().text());
  }
}
