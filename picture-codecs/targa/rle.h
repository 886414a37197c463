#pragma once
// Targa run-length packets: a header byte h and (h & 127) + 1 pixels; with
// bit 7 set one pixel follows and is repeated, else the pixels follow one by
// one. A packet holds at most 128 pixels.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace codecs {

constexpr std::size_t kRleTruncated = static_cast<std::size_t>(-1);

// Expands packets from source into dest (destSize bytes of pixelBytes-byte
// pixels) as one stream of pixels: a packet that crosses the end of a row
// goes on in the next one; one that runs past dest is cut. Returns the bytes
// of source used, kRleTruncated when source ends before dest is full.
std::size_t DecodeTargaRle(const std::uint8_t* source, std::size_t sourceSize, std::size_t pixelBytes,
                           std::uint8_t* dest, std::size_t destSize);

// Appends the packets of one row of 3-byte pixels: each run of two or more
// equal pixels is a repeat packet, the pixels between runs raw packets.
void EncodeTargaRleRow(const std::uint8_t* pixels, std::size_t count, std::vector<std::uint8_t>& out);

}  // namespace codecs
