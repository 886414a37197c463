#include "picture-codecs/targa/rle.h"

#include <algorithm>
#include <cstring>

namespace codecs {

namespace {

constexpr std::uint8_t kRepeatBit = 0x80;
constexpr std::size_t kMaxPacketPixels = 128;
constexpr std::size_t kEncodedPixelBytes = 3;

bool Same(const std::uint8_t* a, const std::uint8_t* b) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; }

}  // namespace

std::size_t DecodeTargaRle(const std::uint8_t* source, std::size_t sourceSize, std::size_t pixelBytes,
                           std::uint8_t* dest, std::size_t destSize) {
  std::size_t in = 0, out = 0;
  while (out < destSize) {
    if (in >= sourceSize) return kRleTruncated;
    const std::uint8_t h = source[in++];
    const std::size_t bytes = ((h & 0x7F) + std::size_t{1}) * pixelBytes;
    // destSize holds whole pixels, so a cut packet keeps whole pixels too.
    const std::size_t fit = std::min(bytes, destSize - out);
    if (h & kRepeatBit) {
      if (sourceSize - in < pixelBytes) return kRleTruncated;
      const std::uint8_t* pixel = source + in;
      in += pixelBytes;
      std::uint8_t* d = dest + out;
      if (pixelBytes == 1) {
        std::memset(d, *pixel, fit);
      } else {
        for (std::size_t k = 0; k < fit; k += pixelBytes) std::memcpy(d + k, pixel, pixelBytes);
      }
    } else {
      if (sourceSize - in < fit) return kRleTruncated;
      std::memcpy(dest + out, source + in, fit);
      // The pixels of a packet beyond the picture are passed over as far
      // as they are there.
      in += std::min(bytes, sourceSize - in);
    }
    out += fit;
  }
  return in;
}

void EncodeTargaRleRow(const std::uint8_t* pixels, std::size_t count, std::vector<std::uint8_t>& out) {
  const auto at = [pixels](std::size_t i) { return pixels + i * kEncodedPixelBytes; };
  std::size_t i = 0;
  while (i < count) {
    std::size_t run = 1;
    while (i + run < count && run < kMaxPacketPixels && Same(at(i + run), at(i))) ++run;
    if (run >= 2) {
      out.push_back(static_cast<std::uint8_t>(kRepeatBit | (run - 1)));
      out.insert(out.end(), at(i), at(i) + kEncodedPixelBytes);
      i += run;
      continue;
    }
    // Raw pixels up to the next pair of equal neighbours, which starts a run.
    const std::size_t first = i;
    while (i < count && i - first < kMaxPacketPixels && !(i + 1 < count && Same(at(i), at(i + 1)))) ++i;
    out.push_back(static_cast<std::uint8_t>(i - first - 1));
    out.insert(out.end(), at(first), at(i));
  }
}

}  // namespace codecs
