#pragma once
// Targa run-length packets: a header byte h and (h & 127) + 1 pixels; with
// bit 7 set one pixel follows and is repeated, else the pixels follow one by
// one. A packet holds at most 128 pixels.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/stream.h"

namespace codecs {

// Expands packets into pixels as one stream over the whole picture: a packet
// that crosses the end of a row goes on in the next one.
class TargaRleDecoder {
 public:
  // Packets held in memory.
  TargaRleDecoder(const std::uint8_t* source, std::size_t size, std::size_t pixelBytes)
      : source_(source), size_(size), pixelBytes_(pixelBytes) {}
  // Packets read from the stream's position as they are needed, in blocks.
  TargaRleDecoder(platform::Stream& stream, std::size_t pixelBytes);
  // The next count pixels into dest; false when the packets end first.
  bool Next(std::uint8_t* dest, std::size_t count);
  // Passes over what is left of an open packet (pixels past the picture),
  // as far as the source holds them; then the bytes of packets used. A
  // stream is left right after them.
  std::size_t Finish();

 private:
  // At least n bytes unread in the window (false when the source ends).
  bool Ensure(std::size_t n);

  const std::uint8_t* source_;
  std::size_t size_;
  std::size_t pixelBytes_;
  platform::Stream* stream_ = nullptr;
  std::int64_t streamStart_ = 0;
  std::size_t windowStart_ = 0;  // bytes of packets before the window
  std::vector<std::uint8_t> window_;
  std::size_t in_ = 0;
  std::size_t left_ = 0;  // pixels of the open packet not yet given
  bool repeat_ = false;
  const std::uint8_t* pixel_ = nullptr;
};

constexpr std::size_t kRleTruncated = static_cast<std::size_t>(-1);

// Expands packets from source into dest (destSize bytes of pixelBytes-byte
// pixels); a packet that runs past dest is cut. Returns the bytes of source
// used, kRleTruncated when source ends before dest is full.
std::size_t DecodeTargaRle(const std::uint8_t* source, std::size_t sourceSize, std::size_t pixelBytes,
                           std::uint8_t* dest, std::size_t destSize);

// The packets of one row of pixel values (blue, green, red in the low three
// bytes, the fourth byte 0): each run of two or more equal pixels is a repeat
// packet, the pixels between runs raw packets of 3-byte pixels. Written to
// out, which has room for TargaRleBound(count) bytes; returns the bytes of
// the packets.
std::size_t EncodeTargaRleValues(const std::uint32_t* values, std::size_t count, std::uint8_t* out);
// Every pixel takes at most its 3 bytes and one packet header; one byte more
// lets pixels be stored 4 bytes at a time.
constexpr std::size_t TargaRleBound(std::size_t count) { return count * 4 + 1; }

}  // namespace codecs
