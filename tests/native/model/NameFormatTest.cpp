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
  EXPECT_EQ(StatusOk, out.assign("stale"));
  const int32_t status = NameFormat::groupSerial(digits, out);
  EXPECT_EQ(StatusOk, status) << std::hex << status;
  return out.text();
}

}  // namespace

TEST(NameFormat, DisplayNameIsTheCommonNameElseTheOrganisationElseTheWholeString) {
  const struct {
    const char* converted;
    const char* expected;
  } cases[] = {
      {"C=US, O=Example, CN=Jane Doe", "Jane Doe"},
      {"CN=Jane Doe, O=Example, C=US", "Jane Doe"},
      {"c=us, o=example, cn=jane doe", "jane doe"},  // lower-case keys
      {"c=de, o=example corp", "example corp"},
      {"C=DE, O=Example Corp", "Example Corp"},
      {"O=Example, OU=Unit, C=US", "Example"},
      {"OU=Unit, C=US", "OU=Unit, C=US"},
      {"", ""},
      // The key is searched at every position, so it may be found inside an attribute name
      // or a value; the first match wins.
      {"OU=Unit, C=US, CN=", ""},
      {"OU=Acn=x, CN=Jane", "x"},
      {"C=US, PO=Box 7, O=Example", "Box 7"},
      {"OU=Sales, O=Example", "Example"},
      // A quoted value holding a comma ends at the comma; one without a comma at the first quote.
      {"CN=\"Doe, Jane\"", "\"Doe"},
      {"C=US, CN=\"Doe, Jane\", O=Example", "\"Doe"},
      {"C=US, OU=\"team cn=Jane\"", "Jane"},
      {"CN=\"Jane \"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, displayName(c.converted)) << c.converted;
}

TEST(NameFormat, FailedDisplayNameLeavesTheTextAsItWas) {
  TextBuffer text;
  ASSERT_EQ(StatusOk, text.assign("before"));
  EXPECT_EQ(StatusPointer, NameFormat::displayNameValue(nullptr, text));
  EXPECT_STREQ("before", text.text());
}

TEST(NameFormat, SerialIsPrintedMostSignificantByteFirstWithItsLeadingZeroBytes) {
  // The blob holds the integer least significant byte first.
  const std::string sixteen("\xF9\xE8\xD7\xC6\xB5\xA4\x93\x82\x71\x60\x5F\x4E\x3D\x2C\x1B\x0A", 16);
  EXPECT_EQ("0A1B2C3D4E5F60718293A4B5C6D7E8F9", serialOf(sixteen));
  EXPECT_EQ("0A1B2C", serialOf(std::string("\x2C\x1B\x0A", 3)));
  EXPECT_EQ("008A1B2C", serialOf(std::string("\x2C\x1B\x8A\x00", 4)));
  EXPECT_EQ("0000", serialOf(std::string("\0\0", 2)));

  TextBuffer text;
  ASSERT_EQ(StatusOk, text.assign("old"));
  EXPECT_EQ(StatusOk, NameFormat::serialText(nullptr, 0, text));
  EXPECT_TRUE(text.empty()) << "an empty serial gives an empty text";
}

TEST(NameFormat, GroupedSerialHasASpaceAfterEveryFourthDigit) {
  EXPECT_EQ("0A1B 2C3D 4E5F 6071 8293 A4B5 C6D7 E8F9 ", grouped("0A1B2C3D4E5F60718293A4B5C6D7E8F9"));
  EXPECT_EQ("0A1B 2C3D ", grouped("0A1B2C3D"));
  EXPECT_EQ("0A1B 2C", grouped("0A1B2C"));
  EXPECT_EQ("0A", grouped("0A"));
  EXPECT_EQ("", grouped("")) << "grouping an empty serial empties the result";
}
