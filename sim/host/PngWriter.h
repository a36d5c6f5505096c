#pragma once
// Encodes 24-bit RGB pixels as a PNG file: one IDAT of stored (uncompressed) deflate blocks.
// Screenshots are small enough that compression does not matter.
#include <cstdint>
#include <vector>

namespace pngwriter {

// `rgb` holds height rows of width pixels, top row first, 3 bytes (R, G, B) per pixel.
std::vector<uint8_t> encode(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb);

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t adler32(const uint8_t* data, size_t size);

}  // namespace pngwriter
