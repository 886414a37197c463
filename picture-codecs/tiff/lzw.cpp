#include "picture-codecs/tiff/lzw.h"

#include <cstring>

namespace codecs {

namespace {

inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return __builtin_bswap64(v);
}

// Copies a string of n bytes from an earlier place in the buffer, eight
// bytes at a time; the caller leaves room for up to 7 bytes written past n.
// The string lies wholly before dest, so every byte read is final.
inline void CopyString(std::uint8_t* dest, const std::uint8_t* from, std::size_t n) {
  for (std::size_t k = 0; k < n; k += 8) {
    std::uint64_t v;
    std::memcpy(&v, from + k, sizeof v);
    std::memcpy(dest + k, &v, sizeof v);
  }
}

}  // namespace

std::size_t TLZW::Decode(const std::uint8_t* source, std::size_t sourceSize, std::uint8_t* dest, std::size_t destSize) {
  // Bits not yet consumed sit at the top of the accumulator.
  std::uint64_t bits = 0;
  int bitCount = 0;
  std::size_t in = 0;
  std::size_t out = 0;
  int width = kMinBits;
  int next = kFirstFree;
  int previous = -1;  // none: right after the start or a Clear
  std::size_t previousPos = 0;
  std::uint32_t previousLength = 0;

  while (out < destSize) {
    if (bitCount < width) {
      if (sourceSize - in >= 8) {
        // Whole bytes up to a full accumulator in one load.
        bits |= LoadBigEndian64(source + in) >> bitCount;
        in += static_cast<std::size_t>((63 - bitCount) >> 3);
        bitCount |= 56;
      } else {
        while (bitCount <= 56 && in < sourceSize) {
          bits |= static_cast<std::uint64_t>(source[in++]) << (56 - bitCount);
          bitCount += 8;
        }
      }
    }
    if (bitCount < width) break;  // no whole code left
    const int code = static_cast<int>(bits >> (64 - width));
    bits <<= width;
    bitCount -= width;

    if (code == kClear) {
      width = kMinBits;
      next = kFirstFree;
      previous = -1;
      continue;
    }
    if (code == kEndOfInformation) break;

    const std::size_t pos = out;
    std::uint32_t length;
    if (previous < 0) {
      if (code >= kClear) break;  // only a single byte can follow a Clear
      dest[out++] = static_cast<std::uint8_t>(code);
      previous = code;
      previousPos = pos;
      previousLength = 1;
      continue;
    }
    if (code < kClear) {
      dest[out++] = static_cast<std::uint8_t>(code);
      length = 1;
    } else if (code < next) {
      length = length_[code];
      // The string lies wholly before pos: it was written, and the byte
      // after it too, before this code was assigned.
      if (destSize - out >= std::size_t{length} + 8) {
        CopyString(dest + out, dest + offset_[code], length);
        out += length;
      } else {
        const std::size_t n = length <= destSize - out ? length : destSize - out;
        std::memcpy(dest + out, dest + offset_[code], n);
        out += n;
      }
    } else if (code == next) {
      // The string being defined: the previous one and its own first byte.
      length = previousLength + 1;
      std::size_t n = previousLength <= destSize - out ? previousLength : destSize - out;
      std::memcpy(dest + out, dest + previousPos, n);
      out += n;
      if (out < destSize) dest[out++] = dest[previousPos];
    } else {
      break;  // a code never assigned: the data ends here
    }

    if (next < kTableSize) {
      offset_[next] = static_cast<std::uint32_t>(previousPos);
      length_[next] = static_cast<std::uint16_t>(previousLength + 1);
      ++next;
      if (next + 1 == (1 << width) && width < kMaxBits) ++width;
    }
    previous = code;
    previousPos = pos;
    previousLength = length;
  }
  return out;
}

}  // namespace codecs
