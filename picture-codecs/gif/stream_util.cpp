// The small stream and error routines that the whole GIF codec uses.
#include <algorithm>

#include "picture-codecs/gif/stream_util.h"

namespace gif {

void RaiseGIFError(const std::string& message) { throw GIFException(message); }

void WriteByte(Stream& stream, std::uint8_t value) { stream.WriteBuffer(&value, 1); }

std::optional<std::uint8_t> ReadByte(Stream& stream) {
  std::uint8_t b;
  if (stream.Read(&b, 1) != 1) return std::nullopt;
  return b;
}

void ReadExact(Stream& stream, void* buffer, std::size_t count) {
  if (count == 0) return;
  if (stream.Read(buffer, count) != count) RaiseGIFError(msg::kPrematureEnd);
}

void WriteStringBlocks(Stream& stream, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    for (std::size_t i = 0; i < line.size(); i += 255) {
      const std::size_t n = std::min<std::size_t>(255, line.size() - i);
      WriteByte(stream, static_cast<std::uint8_t>(n));
      stream.WriteBuffer(line.data() + i, n);
    }
  }
  WriteByte(stream, 0);
}

void ReadStringBlocks(Stream& stream, std::vector<std::string>& lines) {
  lines.clear();
  for (;;) {
    const auto length = ReadByte(stream);
    if (!length || *length == 0) return;
    char buffer[255];
    ReadExact(stream, buffer, *length);
    const char* zero = std::find(buffer, buffer + *length, '\0');
    lines.emplace_back(static_cast<const char*>(buffer), zero);
  }
}

void SkipSubBlocks(Stream& stream) {
  for (;;) {
    const auto length = ReadByte(stream);
    if (!length || *length == 0) return;
    const std::int64_t n = std::min<std::int64_t>(*length, stream.Remaining());
    stream.Seek(n, platform::SeekOrigin::Current);
    if (n < *length) return;
  }
}

int BitsForColours(int count) {
  if (count <= 0) return 0;
  int bits = 1;
  while ((1 << bits) < count) ++bits;
  return bits;
}

int RowBytes(int width, int bitsPerPixel, int alignment) {
  const std::int64_t bits = static_cast<std::int64_t>(width) * bitsPerPixel + alignment - 1;
  return static_cast<int>((bits - bits % alignment) / 8);
}

int MulDiv(std::int64_t a, std::int64_t b, std::int64_t c) {
  const std::int64_t p = a * b;
  const std::int64_t half = (c < 0 ? -c : c) / 2;
  return static_cast<int>((p >= 0) == (c > 0) ? (p + (p >= 0 ? half : -half)) / c : (p - (p >= 0 ? half : -half)) / c);
}

}  // namespace gif
