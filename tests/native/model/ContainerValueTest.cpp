// The catalog and container record values as the token stores them, including damaged ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/ContainerCatalog.h"
#include "model/ContainerRecord.h"
#include "model/Status.h"

namespace {

using Names = std::vector<std::string>;

// A catalog value: the version, a second byte, the count (little-endian), then the name area.
std::string catalogValue(uint16_t count, const std::string& names, char version = 1, char second = 0) {
  return std::string{version, second, static_cast<char>(count & 0xFF), static_cast<char>(count >> 8)} + names;
}

// A catalog or a record parsing the bytes of `value`.
template <class Parsed>
int32_t parse(Parsed& parsed, const std::string& value) {
  return parsed.parse(reinterpret_cast<const uint8_t*>(value.data()), value.size());
}

Names allNames(ContainerCatalog& catalog) {
  Names names;
  for (const TextBuffer* name = catalog.nextName(true); name; name = catalog.nextName(false))
    names.emplace_back(name->text());
  return names;
}

}  // namespace

TEST(ContainerCatalog, ShortValueIsRefusedAndKeepsTheCatalogAsItWas) {
  ContainerCatalog catalog;
  EXPECT_EQ(StatusFail, catalog.parse(nullptr, 10));
  EXPECT_EQ(nullptr, catalog.nextName(true));
  ASSERT_EQ(StatusOk, parse(catalog, catalogValue(1, std::string("c1\0", 3))));
  EXPECT_EQ(StatusFail, parse(catalog, std::string("\x02\0\0", 3)));
  EXPECT_EQ(1, catalog.version());
  EXPECT_EQ(Names({"c1"}), allNames(catalog));
}

TEST(ContainerCatalog, CountAboveAHundredIsRefusedWithNoNames) {
  std::string names;
  for (int i = 0; i < 0x0102; ++i) names += std::string("n\0", 2);
  ContainerCatalog catalog;
  ASSERT_EQ(StatusOk, parse(catalog, catalogValue(100, names)));
  EXPECT_EQ(100u, allNames(catalog).size());
  // 0x0102 reads as 258 only when the count is little-endian.
  for (uint16_t count : {101, 0x0102}) {
    EXPECT_EQ(StatusFail, parse(catalog, catalogValue(count, names))) << count;
    EXPECT_EQ(count, catalog.count());
    EXPECT_EQ(nullptr, catalog.nextName(true));
  }
}

// One catalog parses every value in turn: each parse replaces the names of the one before.
TEST(ContainerCatalog, NamesAreReadInOrderAndCutAtTheEndOfTheValue) {
  const struct {
    std::string value;
    Names names;
  } cases[] = {
      {catalogValue(0, std::string("ignored\0", 8)), {}},
      {catalogValue(3, std::string("a\0\0b\0", 5)), {"a", "", "b"}},  // an empty name takes one byte
      {catalogValue(1, std::string("x\0", 2), 2, 0x7F), {"x"}},
      // Names that would start after the end are empty, so the catalog holds the declared count.
      {catalogValue(3, std::string("first\0sec", 9)), {"first", "sec", ""}},
  };
  ContainerCatalog catalog;
  for (const auto& c : cases) {
    ASSERT_EQ(StatusOk, parse(catalog, c.value));
    EXPECT_EQ(c.value[0], catalog.version());
    EXPECT_EQ(c.value[1], catalog.secondByte());
    EXPECT_EQ(c.names, allNames(catalog));
    EXPECT_EQ(nullptr, catalog.nextName(false)) << "the walk ends after the last name";
  }
}

TEST(ContainerRecord, ShortValueIsRefusedAndKeepsTheRecordAsItWas) {
  ContainerRecord record;
  EXPECT_EQ(StatusFail, record.parse(nullptr, 8));
  EXPECT_EQ(2, record.version()) << "a new record is of version 2";
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
      {std::string("\x00\0p\0q\0ex\0sig\0", 13), 0, 0, "", ""},
      {std::string("\x02\0provider\0\0\0signature cert\0trailing bytes", 43), 2, 0, "", "signature cert"},
      // A string running past the end of the value is cut there; those after it are empty.
      {std::string("\x02\0p\0q\0exch", 10), 2, 0, "exch", ""},
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
