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

// The serial text of a blob (least significant byte first) and its grouped form.
std::string serialOf(const std::string& blob) {
  TextBuffer digits, grouped;
  int32_t status = NameFormat::serialText(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(), digits);
  EXPECT_EQ(StatusOk, status) << std::hex << status;
  EXPECT_EQ(StatusOk, grouped.assign("stale"));
  status = NameFormat::groupSerial(digits, grouped);
  EXPECT_EQ(StatusOk, status) << std::hex << status;
  return std::string(digits.text()) + "|" + grouped.text();
}

}  // namespace

TEST(NameFormat, DisplayNameIsTheCommonNameElseTheOrganisationElseTheWholeString) {
  const struct {
    const char* converted;
    const char* expected;
  } cases[] = {
      {"C=US, O=Example, CN=Jane Doe", "Jane Doe"},
      {"c=de, o=example corp", "example corp"},  // lower-case keys
      {"OU=Unit, C=US", "OU=Unit, C=US"},
      {"", ""},
      // The key is searched at every position, so it may be found inside an attribute name
      // or a value; the first match wins.
      {"OU=Acn=x, CN=Jane", "x"},
      {"C=US, PO=Box 7, O=Example", "Box 7"},
      {"OU=Unit, C=US, CN=", ""},
      // A quoted value holding a comma ends at the comma; one without a comma at the first quote.
      {"C=US, CN=\"Doe, Jane\", O=Example", "\"Doe"},
      {"CN=\"Jane \"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, displayName(c.converted)) << c.converted;

  TextBuffer text;
  ASSERT_EQ(StatusOk, text.assign("before"));
  EXPECT_EQ(StatusPointer, NameFormat::displayNameValue(nullptr, text));
  EXPECT_STREQ("before", text.text()) << "a failure leaves the text as it was";
}

TEST(NameFormat, SerialIsPrintedWithItsLeadingZeroBytesAndASpaceAfterEveryFourthDigit) {
  const std::string sixteen("\xF9\xE8\xD7\xC6\xB5\xA4\x93\x82\x71\x60\x5F\x4E\x3D\x2C\x1B\x0A", 16);
  EXPECT_EQ("0A1B2C3D4E5F60718293A4B5C6D7E8F9|0A1B 2C3D 4E5F 6071 8293 A4B5 C6D7 E8F9 ", serialOf(sixteen));
  EXPECT_EQ("0A1B2C|0A1B 2C", serialOf(std::string("\x2C\x1B\x0A", 3)));
  EXPECT_EQ("008A1B2C|008A 1B2C ", serialOf(std::string("\x2C\x1B\x8A\x00", 4)));
  EXPECT_EQ("0A|0A", serialOf(std::string("\x0A", 1)));
  EXPECT_EQ("|", serialOf(std::string())) << "an empty serial empties both texts";
}
