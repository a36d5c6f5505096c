#include "model/ContainerCatalog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/Status.h"

namespace {

// A catalog value: version 1, second byte 0, the count, then the name area.
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

TEST(ContainerCatalog, NewCatalogHasVersionZeroAndNoNames) {
  ContainerCatalog catalog;
  EXPECT_EQ(0, catalog.version());
  EXPECT_EQ(0, catalog.count());
  EXPECT_EQ(nullptr, catalog.nextName(true));
}

TEST(ContainerCatalog, ValueShorterThanFourBytesIsRefusedAndChangesNothing) {
  const uint8_t three[] = {1, 0, 0};
  ContainerCatalog catalog;
  EXPECT_EQ(StatusFail, catalog.parse(three, sizeof three)) << std::hex << catalog.parse(three, 3);
  EXPECT_EQ(0, catalog.version());
  EXPECT_EQ(nullptr, catalog.nextName(true));

  const auto good = catalogValue(1, std::string("c1\0", 3));
  ASSERT_EQ(StatusOk, catalog.parse(good.data(), good.size()));
  EXPECT_EQ(StatusFail, catalog.parse(three, sizeof three));
  EXPECT_EQ(1, catalog.version());
  EXPECT_EQ(Names({"c1"}), allNames(catalog));
}

TEST(ContainerCatalog, MissingValueIsRefused) {
  ContainerCatalog catalog;
  EXPECT_EQ(StatusFail, catalog.parse(nullptr, 10));
  EXPECT_EQ(0, catalog.version());
}

TEST(ContainerCatalog, CountZeroGivesNoNames) {
  const auto value = catalogValue(0, std::string("ignored\0", 8));
  ContainerCatalog catalog;
  EXPECT_EQ(StatusOk, catalog.parse(value.data(), value.size()));
  EXPECT_EQ(1, catalog.version());
  EXPECT_EQ(0, catalog.count());
  EXPECT_EQ(nullptr, catalog.nextName(true));
}

TEST(ContainerCatalog, CountAboveHundredIsRefusedWithHeaderKeptAndNoNames) {
  std::string names;
  for (int i = 0; i < 101; ++i) names += std::string("n\0", 2);
  const auto value = catalogValue(101, names);
  ContainerCatalog catalog;
  EXPECT_EQ(StatusFail, catalog.parse(value.data(), value.size()));
  EXPECT_EQ(1, catalog.version());
  EXPECT_EQ(101, catalog.count());
  EXPECT_EQ(nullptr, catalog.nextName(true));

  // A hundred is still accepted.
  const auto hundred = catalogValue(100, names);
  EXPECT_EQ(StatusOk, catalog.parse(hundred.data(), hundred.size()));
  EXPECT_EQ(100u, allNames(catalog).size());
}

TEST(ContainerCatalog, CountIsLittleEndian) {
  std::string names;
  for (int i = 0; i < 0x0102; ++i) names += std::string("n\0", 2);
  const auto value = catalogValue(0x0102, names);  // 258: above the limit
  ContainerCatalog catalog;
  EXPECT_EQ(StatusFail, catalog.parse(value.data(), value.size()));
  EXPECT_EQ(0x0102, catalog.count());
}

TEST(ContainerCatalog, EmptyNameBetweenTwoTakesOneByte) {
  const auto value = catalogValue(3, std::string("a\0\0b\0", 5));
  ContainerCatalog catalog;
  ASSERT_EQ(StatusOk, catalog.parse(value.data(), value.size()));
  EXPECT_EQ(Names({"a", "", "b"}), allNames(catalog));
}

TEST(ContainerCatalog, KeepsVersionAndSecondByteWhateverTheyAre) {
  auto value = catalogValue(1, std::string("x\0", 2), 2);
  value[1] = 0x7F;
  ContainerCatalog catalog;
  ASSERT_EQ(StatusOk, catalog.parse(value.data(), value.size()));
  EXPECT_EQ(2, catalog.version());
  EXPECT_EQ(0x7F, catalog.secondByte());
  EXPECT_EQ(Names({"x"}), allNames(catalog));
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

TEST(ContainerCatalog, SecondParseReplacesTheNames) {
  const auto first = catalogValue(2, std::string("a\0b\0", 4));
  const auto second = catalogValue(1, std::string("c\0", 2));
  ContainerCatalog catalog;
  ASSERT_EQ(StatusOk, catalog.parse(first.data(), first.size()));
  ASSERT_EQ(StatusOk, catalog.parse(second.data(), second.size()));
  EXPECT_EQ(Names({"c"}), allNames(catalog));
}

// A name running past the end of the value is cut there; names that would
// start after the end are empty, so the catalog still holds the declared count.
TEST(ContainerCatalog, NamePastTheEndIsCutAndMissingNamesAreEmpty) {
  const auto value = catalogValue(3, std::string("first\0sec", 9));
  ContainerCatalog catalog;
  ASSERT_EQ(StatusOk, catalog.parse(value.data(), value.size()));
  EXPECT_EQ(Names({"first", "sec", ""}), allNames(catalog));
}
