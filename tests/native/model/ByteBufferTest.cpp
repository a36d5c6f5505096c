#include "model/ByteBuffer.h"

#include <gtest/gtest.h>

#include "model/Status.h"

namespace {
const uint8_t kBytes[] = {0x30, 0x82, 0x01, 0x0A, 0x00};
}

TEST(ByteBuffer, AssignKeepsItsOwnCopyAndNullOrZeroLengthEmpties) {
  uint8_t source[] = {1, 2, 3};
  ByteBuffer buffer;
  ASSERT_EQ(StatusOk, buffer.assign(kBytes, sizeof kBytes));
  ASSERT_EQ(StatusOk, buffer.assign(source, 3));
  source[0] = 9;
  ASSERT_EQ(3u, buffer.size());
  EXPECT_EQ(1, buffer.data()[0]);
  EXPECT_EQ(StatusOk, buffer.assign(nullptr, 4));
  EXPECT_EQ(nullptr, buffer.data());
  ASSERT_EQ(StatusOk, buffer.assign(kBytes, sizeof kBytes));
  EXPECT_EQ(StatusOk, buffer.assign(kBytes, 0));
  EXPECT_TRUE(buffer.empty());

  // From another buffer, and from itself.
  ByteBuffer original;
  ASSERT_EQ(StatusOk, original.assign(kBytes, sizeof kBytes));
  ASSERT_EQ(StatusOk, buffer.assign(original));
  EXPECT_NE(original.data(), buffer.data());
  const uint8_t* before = buffer.data();
  ASSERT_EQ(StatusOk, buffer.assign(buffer));
  EXPECT_EQ(before, buffer.data());
  EXPECT_TRUE(buffer == original);
}

TEST(ByteBuffer, EqualOnlyWhenBothHoldTheSameBytes) {
  ByteBuffer a, b;
  EXPECT_FALSE(a == b) << "two empty buffers are not equal";
  ASSERT_EQ(StatusOk, a.assign(kBytes, sizeof kBytes));
  ASSERT_EQ(StatusOk, b.assign(kBytes, sizeof kBytes - 1));
  EXPECT_TRUE(a != b);
  const uint8_t other[] = {0x30, 0x82, 0x01, 0x0A, 0x01};
  ASSERT_EQ(StatusOk, b.assign(other, sizeof other));
  EXPECT_TRUE(a != b);
  ASSERT_EQ(StatusOk, b.assign(kBytes, sizeof kBytes));
  EXPECT_TRUE(a == b);
}
