#include "model/StringResource.h"

#include <gtest/gtest.h>

#include "resource.h"

// The test executable carries the module's string table.
TEST(StringResource, LoadsAStringOfTheModule) {
  TextBuffer text;
  EXPECT_TRUE(StringResource::load(::GetModuleHandleW(nullptr), IDS_COLUMN_ISSUED_TO, text));
  EXPECT_STREQ("Issued To", text.text());
  EXPECT_EQ(10u, text.storedLength());
}

TEST(StringResource, MissingStringKeepsWhatTheBufferHeld) {
  TextBuffer text;
  ASSERT_EQ(S_OK, text.assign("before"));
  EXPECT_FALSE(StringResource::load(::GetModuleHandleW(nullptr), 0xFFF0, text));
  EXPECT_STREQ("before", text.text());
}
