#include "model/StringResource.h"

#include <gtest/gtest.h>

#include "resource.h"

// The test executable carries the module's string table.
TEST(StringResource, LoadsAStringOfTheModuleAndAMissingOneKeepsWhatTheBufferHeld) {
  TextBuffer text;
  EXPECT_TRUE(StringResource::load(::GetModuleHandleW(nullptr), IDS_COLUMN_ISSUED_TO, text));
  EXPECT_STREQ("Issued To", text.text());
  EXPECT_EQ(10u, text.storedLength());
  EXPECT_FALSE(StringResource::load(::GetModuleHandleW(nullptr), 0xFFF0, text));
  EXPECT_STREQ("Issued To", text.text());
}
