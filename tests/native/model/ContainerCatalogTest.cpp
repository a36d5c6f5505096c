#include "model/ContainerCatalog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/Status.h"

namespace {

// A catalog value: the version, second byte 0, the count, then the name area.
std::vector<uint8_t> catalogValue(uint16_t count, const std::string& names, uint8_t version = 1) {
  std::vector<uint8_t> value = {version, 0, static_cast<uint8_t>(count & 0xFF),
                                static_cast<uint8_t>(count >> 8)};
  value.insert(value.end(), names.begin(), names.end());
  return value;
}

std::vector<std::string> allNames(ContainerCatalog& catalog) {
  std::vector<std::string> names;
  for (const TextBuffer* name = catalog.nextName(true); name; name = catalog.nextName(false))
    names.emplace_back(name->text());
  return names;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(ContainerCatalog, MissingOrShortValueIsRefusedAndChangesNothing) {
  const uint8_t three[] = {1, 0, 0};
  ContainerCatalog catalog;
  EXPECT_EQ(StatusFail, catalog.parse(nullptr, 10));
  EXPECT_EQ(StatusFail, catalog.parse(three, sizeof three));
  EXPECT_EQ(0, catalog.version()) << "a new catalog is of version 0 without names";
  EXPECT_EQ(0, catalog.count());
  EXPECT_EQ(nullptr, catalog.nextName(true));

  const auto good = catalogValue(1, std::string("c1\0", 3));
  ASSERT_EQ(StatusOk, catalog.parse(good.data(), good.size()));
  EXPECT_EQ(StatusFail, catalog.parse(three, sizeof three));
  EXPECT_EQ(1, catalog.version());
  EXPECT_EQ(Names({"c1"}), allNames(catalog));
}

TEST(ContainerCatalog, CountIsLittleEndianAndAtMostAHundred) {
  std::string names;
  for (int i = 0; i < 0x0102; ++i) names += std::string("n\0", 2);
  ContainerCatalog catalog;
  const auto zero = catalogValue(0, std::string("ignored\0", 8));
  EXPECT_EQ(StatusOk, catalog.parse(zero.data(), zero.size()));
  EXPECT_EQ(1, catalog.version());
  EXPECT_EQ(0, catalog.count());
  EXPECT_EQ(nullptr, catalog.nextName(true));

  const auto hundred = catalogValue(100, names);
  EXPECT_EQ(StatusOk, catalog.parse(hundred.data(), hundred.size()));
  EXPECT_EQ(100u, allNames(catalog).size());

  // Above the limit: refused with the header kept and no names.
  for (uint16_t count : {101, 0x0102}) {
    const auto value = catalogValue(count, names);
    EXPECT_EQ(StatusFail, catalog.parse(value.data(), value.size())) << count;
    EXPECT_EQ(1, catalog.version());
    EXPECT_EQ(count, catalog.count());
    EXPECT_EQ(nullptr, catalog.nextName(true));
  }
}

// One catalog parses every value in turn: each parse replaces the names of the one before.
TEST(ContainerCatalog, NamesAreReadInOrderWhateverTheVersionAndSecondByte) {
  auto odd = catalogValue(1, std::string("x\0", 2), 2);
  odd[1] = 0x7F;
  const struct {
    std::vector<uint8_t> value;
    Names names;
  } cases[] = {
      {catalogValue(2, std::string("a\0b\0", 4)), {"a", "b"}},
      {catalogValue(3, std::string("a\0\0b\0", 5)), {"a", "", "b"}},  // an empty name takes one byte
      {odd, {"x"}},
      // A name running past the end of the value is cut there; names that would start after
      // the end are empty, so the catalog still holds the declared count.
      {catalogValue(3, std::string("first\0sec", 9)), {"first", "sec", ""}},
  };
  ContainerCatalog catalog;
  for (const auto& c : cases) {
    ASSERT_EQ(StatusOk, catalog.parse(c.value.data(), c.value.size()));
    EXPECT_EQ(c.value[0], catalog.version());
    EXPECT_EQ(c.value[1], catalog.secondByte());
    EXPECT_EQ(c.names, allNames(catalog));
  }
}

TEST(ContainerCatalog, NextNameWalksInCatalogOrderAndRestarts) {
  const auto value = catalogValue(2, std::string("first\0second\0", 13));
  ContainerCatalog catalog;
  ASSERT_EQ(StatusOk, catalog.parse(value.data(), value.size()));
  const TextBuffer* name = catalog.nextName(false);  // the parse put the cursor on the first name
  ASSERT_NE(nullptr, name);
  EXPECT_STREQ("first", name->text());
  name = catalog.nextName(false);
  ASSERT_NE(nullptr, name);
  EXPECT_STREQ("second", name->text());
  EXPECT_EQ(nullptr, catalog.nextName(false));
  EXPECT_EQ(nullptr, catalog.nextName(false));
  name = catalog.nextName(true);
  ASSERT_NE(nullptr, name);
  EXPECT_STREQ("first", name->text());
}
