#include "picture-codecs/targa/rle.h"

#include <algorithm>
#include <cstring>

namespace codecs {

namespace {

constexpr std::uint8_t kRepeatBit = 0x80;
constexpr std::size_t kMaxPacketPixels = 128;
constexpr std::size_t kEncodedPixelBytes = 3;

// n copies of one pixel, with the common sizes unrolled.
void Fill(std::uint8_t* dest, const std::uint8_t* pixel, std::size_t n, std::size_t pixelBytes) {
  switch (pixelBytes) {
    case 1: std::memset(dest, *pixel, n); break;
    case 3: {
      const std::uint8_t a = pixel[0], b = pixel[1], c = pixel[2];
      for (std::size_t k = 0; k < n; ++k, dest += 3) {
        dest[0] = a;
        dest[1] = b;
        dest[2] = c;
      }
      break;
    }
    case 4: {
      std::uint32_t v;
      std::memcpy(&v, pixel, 4);
      for (std::size_t k = 0; k < n; ++k, dest += 4) std::memcpy(dest, &v, 4);
      break;
    }
    default:
      for (std::size_t k = 0; k < n; ++k, dest += pixelBytes) std::memcpy(dest, pixel, pixelBytes);
      break;
  }
}

}  // namespace

constexpr std::size_t kWindow = std::size_t{1} << 18;

TargaRleDecoder::TargaRleDecoder(platform::Stream& stream, std::size_t pixelBytes)
    : source_(nullptr), size_(0), pixelBytes_(pixelBytes), stream_(&stream), streamStart_(stream.Position()) {
  window_.resize(kWindow);
  source_ = window_.data();
}

bool TargaRleDecoder::Ensure(std::size_t n) {
  if (size_ - in_ >= n) return true;
  if (!stream_) return false;
  // Keep the unread tail, fill up behind it.
  const std::size_t tail = size_ - in_;
  std::memmove(window_.data(), window_.data() + in_, tail);
  windowStart_ += in_;
  in_ = 0;
  size_ = tail;
  while (size_ < window_.size()) {
    const std::size_t got = stream_->Read(window_.data() + size_, window_.size() - size_);
    if (got == 0) break;
    size_ += got;
  }
  return size_ >= n;
}

bool TargaRleDecoder::Next(std::uint8_t* dest, std::size_t count) {
  while (count > 0) {
    if (left_ == 0) {
      if (!Ensure(1)) return false;
      const std::uint8_t h = source_[in_++];
      left_ = (h & 0x7F) + std::size_t{1};
      repeat_ = (h & kRepeatBit) != 0;
      if (repeat_) {
        if (!Ensure(pixelBytes_)) return false;
        pixel_ = source_ + in_;
        in_ += pixelBytes_;
      }
    }
    const std::size_t n = left_ < count ? left_ : count;
    const std::size_t bytes = n * pixelBytes_;
    if (repeat_) {
      Fill(dest, pixel_, n, pixelBytes_);
    } else {
      if (!Ensure(bytes)) return false;
      std::memcpy(dest, source_ + in_, bytes);
      in_ += bytes;
    }
    dest += bytes;
    left_ -= n;
    count -= n;
  }
  return true;
}

std::size_t TargaRleDecoder::Finish() {
  if (!repeat_ && left_ > 0) {
    Ensure(left_ * pixelBytes_);
    in_ += std::min(left_ * pixelBytes_, size_ - in_);
  }
  left_ = 0;
  const std::size_t used = windowStart_ + in_;
  if (stream_) stream_->SetPosition(streamStart_ + static_cast<std::int64_t>(used));
  return used;
}

std::size_t DecodeTargaRle(const std::uint8_t* source, std::size_t sourceSize, std::size_t pixelBytes,
                           std::uint8_t* dest, std::size_t destSize) {
  TargaRleDecoder decoder(source, sourceSize, pixelBytes);
  if (!decoder.Next(dest, destSize / pixelBytes)) return kRleTruncated;
  return decoder.Finish();
}

std::size_t EncodeTargaRleValues(const std::uint32_t* values, std::size_t count, std::uint8_t* out) {
  std::uint8_t* o = out;
  // Stores a pixel's three bytes; the fourth lands on the next byte to be
  // written (or on the bound's spare byte).
  const auto put = [&o](std::uint32_t v) {
    std::memcpy(o, &v, 4);
    o += kEncodedPixelBytes;
  };
  std::size_t i = 0;
  while (i < count) {
    const std::uint32_t v = values[i];
    const std::size_t most = std::min(kMaxPacketPixels, count - i);
    std::size_t run = 1;
    while (run < most && values[i + run] == v) ++run;
    if (run >= 2) {
      *o++ = static_cast<std::uint8_t>(kRepeatBit | (run - 1));
      put(v);
      i += run;
      continue;
    }
    // Raw pixels up to the next pair of equal neighbours, which starts a run;
    // stored as they are passed, the count filled in behind them.
    const std::size_t first = i;
    const std::size_t end = first + most;
    std::uint8_t* head = o++;
    put(values[i++]);
    while (i < end && !(i + 1 < count && values[i] == values[i + 1])) put(values[i++]);
    *head = static_cast<std::uint8_t>(i - first - 1);
  }
  return static_cast<std::size_t>(o - out);
}

}  // namespace codecs
