#include "model/TextBuffer.h"

#include <gtest/gtest.h>

#include <utility>

#include "model/Status.h"

TEST(TextBuffer, AssignCopiesTheSourceAndStoresLengthPlusOne) {
  TextBuffer text;
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(0u, text.storedLength());
  EXPECT_STREQ("", text.text());

  char source[] = "Jane Doe";
  ASSERT_EQ(StatusOk, text.assign(source));
  source[0] = 'X';  // the buffer holds its own copy
  EXPECT_STREQ("Jane Doe", text.text());
  EXPECT_EQ(9u, text.storedLength());
  EXPECT_EQ(8u, text.length());

  ASSERT_EQ(StatusOk, text.assign("Jane Doe, Example", 8));
  EXPECT_STREQ("Jane Doe", text.text()) << "with a length, that many bytes";
  EXPECT_EQ(9u, text.storedLength());

  ASSERT_EQ(StatusOk, text.assign("CN=Jane"));
  ASSERT_EQ(StatusOk, text.assign(text.text() + 3));
  EXPECT_STREQ("Jane", text.text()) << "part of its own text";

  for (const char* nothing : {static_cast<const char*>(nullptr), ""}) {
    ASSERT_EQ(StatusOk, text.assign("old"));
    EXPECT_EQ(StatusOk, text.assign(nothing));
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(0u, text.storedLength());
  }
}

TEST(TextBuffer, AppendAssignsToAnEmptyBufferConcatenatesOtherwiseAndIgnoresNothing) {
  TextBuffer text;
  EXPECT_EQ(StatusOk, text.append(""));
  EXPECT_TRUE(text.empty());
  ASSERT_EQ(StatusOk, text.append("Client Authentication"));
  EXPECT_STREQ("Client Authentication", text.text());
  EXPECT_EQ(StatusOk, text.append(nullptr));
  EXPECT_EQ(StatusOk, text.append(""));
  EXPECT_STREQ("Client Authentication", text.text());
  EXPECT_EQ(22u, text.storedLength());
  ASSERT_EQ(StatusOk, text.append(", "));
  ASSERT_EQ(StatusOk, text.append("Smart Card Logon"));
  EXPECT_STREQ("Client Authentication, Smart Card Logon", text.text());
  EXPECT_EQ(40u, text.storedLength());

  ASSERT_EQ(StatusOk, text.assign("ab"));
  ASSERT_EQ(StatusOk, text.append(text.text()));
  EXPECT_STREQ("abab", text.text()) << "its own text doubles it";
}

TEST(TextBuffer, MoveTakesTheTextAndLeavesTheSourceEmpty) {
  TextBuffer source;
  ASSERT_EQ(StatusOk, source.assign("container"));
  TextBuffer moved(std::move(source));
  EXPECT_STREQ("container", moved.text());
  EXPECT_TRUE(source.empty());  // NOLINT(bugprone-use-after-move): moved-from state is specified

  TextBuffer target;
  ASSERT_EQ(StatusOk, target.assign("old"));
  target = std::move(moved);
  EXPECT_STREQ("container", target.text());
  EXPECT_EQ(10u, target.storedLength());
}

// The stored length is 32 bits wide: a longer text cannot be held and is
// reported as an allocation failure, with the usual effect of each operation.
TEST(TextBuffer, TextTooLongForItsLengthFailsLikeAFailedAllocation) {
  TextBuffer text;
  ASSERT_EQ(StatusOk, text.assign("old"));
  EXPECT_EQ(StatusOutOfMemory, text.append("x", UINT32_MAX));
  EXPECT_STREQ("old", text.text());  // a failed append keeps the text
  EXPECT_EQ(StatusOutOfMemory, text.assign("x", SIZE_MAX));
  EXPECT_TRUE(text.empty());  // a failed assignment has already let the old text go
}
