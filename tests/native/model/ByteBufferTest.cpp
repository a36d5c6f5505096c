#include "model/ByteBuffer.h"

#include <gtest/gtest.h>

#include "model/Status.h"

namespace {
const uint8_t kBytes[] = {0x30, 0x82, 0x01, 0x0A, 0x00};
}

TEST(ByteBuffer, AssignKeepsItsOwnCopyReplacesAndNullOrZeroLengthEmpties) {
  uint8_t source[] = {1, 2, 3};
  ByteBuffer buffer;
  ASSERT_EQ(StatusOk, buffer.assign(kBytes, sizeof kBytes));
  ASSERT_EQ(StatusOk, buffer.assign(source, 3));
  source[0] = 9;
  ASSERT_EQ(3u, buffer.size());
  EXPECT_EQ(1, buffer.data()[0]);
  EXPECT_EQ(StatusOk, buffer.assign(nullptr, 4));
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(nullptr, buffer.data());
  ASSERT_EQ(StatusOk, buffer.assign(kBytes, sizeof kBytes));
  EXPECT_EQ(StatusOk, buffer.assign(kBytes, 0));
  EXPECT_TRUE(buffer.empty());
}

TEST(ByteBuffer, CopyFromAnotherBufferAndFromItself) {
  ByteBuffer source;
  ASSERT_EQ(StatusOk, source.assign(kBytes, sizeof kBytes));
  ByteBuffer copy;
  ASSERT_EQ(StatusOk, copy.assign(source));
  EXPECT_TRUE(copy == source);
  EXPECT_NE(source.data(), copy.data());

  const uint8_t* before = copy.data();
  ASSERT_EQ(StatusOk, copy.assign(copy));
  EXPECT_EQ(before, copy.data());
  EXPECT_EQ(sizeof kBytes, copy.size());
}

TEST(ByteBuffer, EqualOnlyWhenBothHoldTheSameBytes) {
  ByteBuffer a, b;
  // Two empty buffers hold no data and are not equal.
  EXPECT_FALSE(a == b);
  ASSERT_EQ(StatusOk, a.assign(kBytes, sizeof kBytes));
  EXPECT_FALSE(a == b);
  EXPECT_FALSE(b == a);
  ASSERT_EQ(StatusOk, b.assign(kBytes, sizeof kBytes));
  EXPECT_TRUE(a == b);
  ASSERT_EQ(StatusOk, b.assign(kBytes, sizeof kBytes - 1));
  EXPECT_TRUE(a != b);
  const uint8_t other[] = {0x30, 0x82, 0x01, 0x0A, 0x01};
  ASSERT_EQ(StatusOk, b.assign(other, sizeof other));
  EXPECT_TRUE(a != b);
}

TEST(ByteBuffer, BlobViewShowsTheCurrentBytes) {
  ByteBuffer buffer;
  ASSERT_EQ(StatusOk, buffer.assign(kBytes, sizeof kBytes));
  DataBlob* blob = buffer.blob();
  EXPECT_EQ(sizeof kBytes, blob->cbData);
  EXPECT_EQ(buffer.data(), blob->pbData);
  buffer.clear();
  blob = buffer.blob();
  EXPECT_EQ(0u, blob->cbData);
  EXPECT_EQ(nullptr, blob->pbData);
}
