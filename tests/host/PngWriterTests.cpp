// The screenshot encoder: files that any PNG reader takes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "PngWriter.h"

namespace {

uint32_t be32(const std::vector<uint8_t>& v, size_t at) {
  return static_cast<uint32_t>(v[at]) << 24 | static_cast<uint32_t>(v[at + 1]) << 16 | v[at + 2] << 8 | v[at + 3];
}

TEST(PngWriter, ChecksumsMatchTheirStandardValues) {
  const char text[] = "123456789";
  EXPECT_EQ(0xCBF43926u, pngwriter::crc32(reinterpret_cast<const uint8_t*>(text), 9));
  const char wiki[] = "Wikipedia";
  EXPECT_EQ(0x11E60398u, pngwriter::adler32(reinterpret_cast<const uint8_t*>(wiki), 9));
}

TEST(PngWriter, ImageHasHeaderChunksAndStoredPixelRows) {
  // 2 x 2: red, green / blue, white.
  const std::vector<uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  const std::vector<uint8_t> png = pngwriter::encode(2, 2, rgb);
  ASSERT_GT(png.size(), 8u + 25u + 12u + 12u);
  EXPECT_EQ(0, std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(13u, be32(png, 8));
  EXPECT_EQ(0, std::memcmp(png.data() + 12, "IHDR", 4));
  EXPECT_EQ(2u, be32(png, 16));
  EXPECT_EQ(2u, be32(png, 20));
  EXPECT_EQ(8, png[24]) << "bit depth";
  EXPECT_EQ(2, png[25]) << "RGB";
  EXPECT_EQ(pngwriter::crc32(png.data() + 12, 17), be32(png, 29));

  const size_t idat = 33;
  const uint32_t length = be32(png, idat);
  EXPECT_EQ(0, std::memcmp(png.data() + idat + 4, "IDAT", 4));
  const uint8_t* z = png.data() + idat + 8;
  EXPECT_EQ(0x78, z[0]);
  EXPECT_EQ(1, z[2]) << "one final stored block";
  const uint16_t stored = static_cast<uint16_t>(z[3] | z[4] << 8);
  EXPECT_EQ(2u * (1 + 6), stored) << "two rows of a filter byte and six colour bytes";
  const std::vector<uint8_t> rows(z + 7, z + 7 + stored);
  const std::vector<uint8_t> expected = {0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255};
  EXPECT_EQ(expected, rows);
  EXPECT_EQ(pngwriter::adler32(rows.data(), rows.size()), be32(png, idat + 8 + 7 + stored));
  EXPECT_EQ(2u + 5u + stored + 4u, length);
  EXPECT_EQ(0, std::memcmp(png.data() + png.size() - 8, "IEND", 4));
  EXPECT_EQ(0xAE426082u, be32(png, png.size() - 4));
}

}  // namespace
