#include "model/NameFormat.h"

#include <gtest/gtest.h>

#include <string>

#include "model/Status.h"

namespace {

std::string displayName(const char* converted) {
  TextBuffer text;
  const int32_t status = NameFormat::displayNameValue(converted, text);
  EXPECT_EQ(StatusOk, status) << std::hex << status;
  return text.text();
}

std::string serialOf(const std::string& blob) {
  TextBuffer text;
  const int32_t status =
      NameFormat::serialText(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(), text);
  EXPECT_EQ(StatusOk, status) << std::hex << status;
  return text.text();
}

std::string grouped(const char* serial) {
  TextBuffer digits, out;
  EXPECT_EQ(StatusOk, digits.assign(serial));
  const int32_t status = NameFormat::groupSerial(digits, out);
  EXPECT_EQ(StatusOk, status) << std::hex << status;
  return out.text();
}

}  // namespace

TEST(NameFormat, DisplayNameIsTheCommonName) {
  EXPECT_EQ("Jane Doe", displayName("C=US, O=Example, CN=Jane Doe"));
  EXPECT_EQ("Jane Doe", displayName("CN=Jane Doe, O=Example, C=US"));
}

TEST(NameFormat, DisplayNameFindsLowerCaseKeys) {
  EXPECT_EQ("jane doe", displayName("c=us, o=example, cn=jane doe"));
  EXPECT_EQ("example corp", displayName("c=de, o=example corp"));
}

TEST(NameFormat, DisplayNameWithoutCommonNameIsTheOrganisation) {
  EXPECT_EQ("Example Corp", displayName("C=DE, O=Example Corp"));
  EXPECT_EQ("Example", displayName("O=Example, OU=Unit, C=US"));
}

TEST(NameFormat, DisplayNameWithNeitherIsTheWholeString) {
  EXPECT_EQ("OU=Unit, C=US", displayName("OU=Unit, C=US"));
  EXPECT_EQ("", displayName(""));
}

// The key is searched at every position, so it may be found inside an
// attribute name or a value; the first match wins.
TEST(NameFormat, DisplayNameTakesTheFirstMatchAnywhere) {
  EXPECT_EQ("", displayName("OU=Unit, C=US, CN="));
  EXPECT_EQ("x", displayName("OU=Acn=x, CN=Jane"));
  EXPECT_EQ("Box 7", displayName("C=US, PO=Box 7, O=Example"));
  EXPECT_EQ("Example", displayName("OU=Sales, O=Example"));
}

TEST(NameFormat, QuotedCommonNameWithCommaGivesTextUpToTheComma) {
  EXPECT_EQ("\"Doe", displayName("CN=\"Doe, Jane\""));
  EXPECT_EQ("\"Doe", displayName("C=US, CN=\"Doe, Jane\", O=Example"));
}

TEST(NameFormat, ValueWithoutCommaEndsAtTheFirstQuote) {
  EXPECT_EQ("Jane", displayName("C=US, OU=\"team cn=Jane\""));
  EXPECT_EQ("", displayName("CN=\"Jane \""));
}

TEST(NameFormat, FailedDisplayNameLeavesTheTextAsItWas) {
  TextBuffer text;
  ASSERT_EQ(StatusOk, text.assign("before"));
  EXPECT_EQ(StatusPointer, NameFormat::displayNameValue(nullptr, text));
  EXPECT_STREQ("before", text.text());
}

TEST(NameFormat, SerialIsPrintedMostSignificantByteFirst) {
  // The blob holds the integer least significant byte first.
  const std::string sixteen("\xF9\xE8\xD7\xC6\xB5\xA4\x93\x82\x71\x60\x5F\x4E\x3D\x2C\x1B\x0A", 16);
  EXPECT_EQ("0A1B2C3D4E5F60718293A4B5C6D7E8F9", serialOf(sixteen));
  EXPECT_EQ("0A1B2C", serialOf(std::string("\x2C\x1B\x0A", 3)));
}

TEST(NameFormat, SerialKeepsLeadingZeroBytes) {
  EXPECT_EQ("008A1B2C", serialOf(std::string("\x2C\x1B\x8A\x00", 4)));
  EXPECT_EQ("0000", serialOf(std::string("\0\0", 2)));
}

TEST(NameFormat, EmptySerialGivesEmptyText) {
  TextBuffer text;
  ASSERT_EQ(StatusOk, text.assign("old"));
  EXPECT_EQ(StatusOk, NameFormat::serialText(nullptr, 0, text));
  EXPECT_TRUE(text.empty());
}

TEST(NameFormat, GroupedSerialHasASpaceAfterEveryFourthDigit) {
  EXPECT_EQ("0A1B 2C3D 4E5F 6071 8293 A4B5 C6D7 E8F9 ", grouped("0A1B2C3D4E5F60718293A4B5C6D7E8F9"));
  EXPECT_EQ("0A1B 2C3D ", grouped("0A1B2C3D"));
  EXPECT_EQ("0A1B 2C", grouped("0A1B2C"));
  EXPECT_EQ("0A", grouped("0A"));
}

TEST(NameFormat, GroupingAnEmptySerialEmptiesTheResult) {
  TextBuffer digits, out;
  ASSERT_EQ(StatusOk, out.assign("stale"));
  EXPECT_EQ(StatusOk, NameFormat::groupSerial(digits, out));
  EXPECT_TRUE(out.empty());
}
