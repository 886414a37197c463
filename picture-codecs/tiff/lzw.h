#pragma once
// The LZW coding of TIFF strips: codes written most significant bit first,
// 9 to 12 bits wide, 256 clears the table, 257 ends the data. The width grows
// one step before the table reaches the next power of two (after code 510,
// 1022 and 2046 are assigned), as TIFF writers have always done.
#include <cstddef>
#include <cstdint>

namespace codecs {

class TLZW {
 public:
  static constexpr int kClear = 256;
  static constexpr int kEndOfInformation = 257;
  static constexpr int kFirstFree = 258;
  static constexpr int kTableSize = 4096;
  static constexpr int kMinBits = 9;
  static constexpr int kMaxBits = 12;

  // Decodes one strip from source into dest. Stops at the end code, at a code
  // that was never assigned, when the source has no whole code left or when
  // dest is full (a string that would overflow it is cut). Returns the number
  // of bytes decoded. Strings are copied in blocks of 8 bytes, so up to 7
  // bytes of dest after the decoded ones may be overwritten; nothing past
  // destSize is.
  std::size_t Decode(const std::uint8_t* source, std::size_t sourceSize, std::uint8_t* dest, std::size_t destSize);

 private:
  // Where each code's string was first written in dest, and its length: a
  // new string is always an earlier one plus the byte that followed it.
  std::uint32_t offset_[kTableSize];
  std::uint16_t length_[kTableSize];
};

}  // namespace codecs
