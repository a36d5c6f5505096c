// The screenshot encoder: files that any PNG reader takes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "PngWriter.h"

namespace {

uint32_t be32(const std::vector<uint8_t>& v, size_t at) {
  return static_cast<uint32_t>(v[at]) << 24 | static_cast<uint32_t>(v[at + 1]) << 16 | v[at + 2] << 8 | v[at + 3];
}

TEST(PngWriter, ChecksumsMatchTheirStandardValues) {
  EXPECT_EQ(0xCBF43926u, pngwriter::crc32(reinterpret_cast<const uint8_t*>("123456789"), 9));
  EXPECT_EQ(0x11E60398u, pngwriter::adler32(reinterpret_cast<const uint8_t*>("Wikipedia"), 9));
}

// 2 x 2 pixels: red, green / blue, white; each chunk is length, type, data and the CRC of type and data.
TEST(PngWriter, ImageHasHeaderChunksAndStoredPixelRows) {
  const std::vector<uint8_t> png = pngwriter::encode(2, 2, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255});
  ASSERT_EQ(8u + 25u + 37u + 12u, png.size());
  EXPECT_EQ(0, std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8));
  size_t at = 8;
  for (const char* type : {"IHDR", "IDAT", "IEND"}) {
    const uint32_t length = be32(png, at);
    EXPECT_EQ(type, std::string(png.begin() + at + 4, png.begin() + at + 8));
    EXPECT_EQ(pngwriter::crc32(png.data() + at + 4, 4 + length), be32(png, at + 8 + length)) << type;
    at += 12 + length;
  }
  // Width, height, 8 bits, RGB; then a zlib stream of one final stored block of the filtered rows.
  EXPECT_EQ(2u, be32(png, 16));
  EXPECT_EQ(2u, be32(png, 20));
  EXPECT_EQ(0x0802, png[24] << 8 | png[25]);
  const uint8_t* z = png.data() + 33 + 8;
  EXPECT_EQ(0x78, z[0]);
  EXPECT_EQ(1, z[2]) << "one final stored block";
  const std::vector<uint8_t> rows(z + 7, z + 7 + 14);
  EXPECT_EQ((std::vector<uint8_t>{0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255}), rows);
  EXPECT_EQ(14, z[3] | z[4] << 8);
  EXPECT_EQ(pngwriter::adler32(rows.data(), rows.size()), be32(png, 33 + 8 + 7 + 14));
}

}  // namespace
