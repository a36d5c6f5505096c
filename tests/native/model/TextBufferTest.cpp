#include "model/TextBuffer.h"

#include <gtest/gtest.h>

#include <utility>

#include "model/Status.h"

TEST(TextBuffer, AssignAndAppendCopyTheSourceEvenFromTheirOwnText) {
  TextBuffer text;
  EXPECT_STREQ("", text.text());
  char source[] = "Jane Doe";
  ASSERT_EQ(StatusOk, text.assign(source));
  source[0] = 'X';
  EXPECT_STREQ("Jane Doe", text.text()) << "the buffer holds its own copy";
  EXPECT_EQ(9u, text.storedLength());
  ASSERT_EQ(StatusOk, text.assign("Jane Doe, Example", 4));
  EXPECT_STREQ("Jane", text.text());
  ASSERT_EQ(StatusOk, text.assign(text.text() + 1));
  EXPECT_STREQ("ane", text.text()) << "part of its own text";
  ASSERT_EQ(StatusOk, text.append(text.text()));
  EXPECT_STREQ("aneane", text.text()) << "its own text doubles it";
  EXPECT_EQ(StatusOk, text.append(nullptr));
  EXPECT_EQ(StatusOk, text.append(""));
  EXPECT_EQ(7u, text.storedLength());

  for (const char* nothing : {static_cast<const char*>(nullptr), ""}) {
    EXPECT_EQ(StatusOk, text.assign(nothing));
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(0u, text.storedLength());
    ASSERT_EQ(StatusOk, text.append("ab"));
    EXPECT_STREQ("ab", text.text()) << "appending to an empty buffer assigns";
  }
}

TEST(TextBuffer, MoveTakesTheTextAndLeavesTheSourceEmpty) {
  TextBuffer source;
  ASSERT_EQ(StatusOk, source.assign("container"));
  TextBuffer moved(std::move(source));
  EXPECT_TRUE(source.empty());  // NOLINT(bugprone-use-after-move): moved-from state is specified
  TextBuffer target;
  ASSERT_EQ(StatusOk, target.assign("old"));
  target = std::move(moved);
  EXPECT_STREQ("container", target.text());
  EXPECT_EQ(10u, target.storedLength());
  EXPECT_TRUE(moved.empty());  // NOLINT(bugprone-use-after-move)
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
