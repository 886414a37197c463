#include "picture-codecs/gif/lzw.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "picture-codecs/gif/stream_util.h"
#include "platform/bitmap.h"

namespace gif {

std::vector<int> InterlacedRows(int height) {
  std::vector<int> rows;
  rows.reserve(static_cast<std::size_t>(std::max(height, 0)));
  static constexpr int kStart[4] = {0, 4, 2, 1};
  static constexpr int kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = kStart[pass]; y < height; y += kStep[pass]) rows.push_back(y);
  return rows;
}

namespace {

// All sub-blocks of the data, read up to and including the terminator (or
// the end of the stream), with eight zero bytes behind them so that a code
// can be taken with one 64-bit load.
struct CodeData {
  std::vector<std::uint8_t> bytes;
  std::uint64_t bitEnd = 0;
  bool terminated = false;
};

CodeData ReadSubBlocks(Stream& stream, const WarnFn& warn) {
  CodeData data;
  for (;;) {
    const auto length = ReadByte(stream);
    if (!length) break;
    if (*length == 0) {
      data.terminated = true;
      break;
    }
    std::int64_t n = *length;
    const std::int64_t remaining = stream.Remaining();
    if (remaining < n) {
      warn(kSeverityWarning, msg::kPrematureEnd);
      n = remaining;
    }
    if (n > 0) {
      const std::size_t old = data.bytes.size();
      data.bytes.resize(old + static_cast<std::size_t>(n));
      ReadExact(stream, data.bytes.data() + old, static_cast<std::size_t>(n));
    }
    if (n < *length) break;
  }
  data.bitEnd = static_cast<std::uint64_t>(data.bytes.size()) * 8;
  data.bytes.resize(data.bytes.size() + 8, 0);
  return data;
}

inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

// The string table: every code knows its prefix code, its last value, its
// first value and its length. A code's prefix is always a lower code, so a
// string expands in at most 4096 steps and can never loop.
struct Table {
  std::uint16_t prefix[kMaxCodes];
  std::uint16_t suffix[kMaxCodes];
  std::uint16_t first[kMaxCodes];
  std::uint16_t length[kMaxCodes];
};

// Decodes codes into out (total values); returns how many values were
// produced.
std::int64_t Expand(const CodeData& data, int codeSize, std::uint8_t* out, std::int64_t total, const WarnFn& warn) {
  Table t;
  const int clear = 1 << codeSize;
  const int end = clear + 1;
  // With code sizes above 8 the codes below the clear code reach past what
  // a pixel byte holds: those are damaged data, not values to cut short.
  const int values = std::min(clear, 256);
  for (int i = 0; i < clear; ++i) {
    t.prefix[i] = 0;
    t.suffix[i] = static_cast<std::uint16_t>(i);
    t.first[i] = static_cast<std::uint16_t>(i);
    t.length[i] = 1;
  }
  int width = codeSize + 1;
  int limit = 2 * clear;
  int next = clear + 2;
  int prev = -1;  // no code since the last clear
  std::uint64_t bitPos = 0;
  const std::uint64_t bitEnd = data.bitEnd;
  const std::uint8_t* bytes = data.bytes.data();
  std::int64_t pos = 0;

  while (pos < total) {
    if (bitPos + static_cast<unsigned>(width) > bitEnd) {
      if (data.terminated && bitPos >= bitEnd) warn(kSeverityWarning, msg::kUnderrun);
      break;
    }
    const int code = static_cast<int>((Load64(bytes + (bitPos >> 3)) >> (bitPos & 7)) & ((1u << width) - 1));
    bitPos += static_cast<unsigned>(width);
    if (code == clear) {
      width = codeSize + 1;
      limit = 2 * clear;
      next = clear + 2;
      prev = -1;
      continue;
    }
    if (code == end) break;
    if (prev < 0) {
      // The first code after a clear must stand for a single value.
      if (code >= values) {
        warn(kSeverityWarning, msg::kBadData);
        break;
      }
      out[pos++] = static_cast<std::uint8_t>(code);
      prev = code;
      continue;
    }
    if (code > next || (code >= values && code < clear)) {
      warn(kSeverityWarning, msg::kBadData);
      break;
    }
    if (next < kMaxCodes) {
      t.prefix[next] = static_cast<std::uint16_t>(prev);
      t.first[next] = t.first[prev];
      t.suffix[next] = code < next ? t.first[code] : t.first[prev];
      t.length[next] = static_cast<std::uint16_t>(t.length[prev] + 1);
      ++next;
      // Code sizes 0 and 1 start with the first free code already at the
      // limit; the width then catches up one step per new code, as other
      // readers do.
      if (next >= limit && limit < kMaxCodes) {
        limit *= 2;
        ++width;
      }
    }
    // Write the string backwards from its last value; values beyond the
    // frame are dropped.
    int c = code;
    const std::int64_t len = t.length[c];
    std::int64_t skip = std::max<std::int64_t>(0, pos + len - total);  // values past the end
    std::uint8_t* p = out + pos + (len - skip) - 1;
    for (; skip > 0; --skip) c = t.prefix[c];
    while (c >= clear) {
      *p-- = static_cast<std::uint8_t>(t.suffix[c]);
      c = t.prefix[c];
    }
    *p = static_cast<std::uint8_t>(c);
    pos = std::min(pos + len, total);
    prev = code;
  }
  return pos;
}

}  // namespace

void DecodeLZW(Stream& stream, std::uint8_t* pixels, int width, int height, bool interlaced, std::uint8_t fill,
               const WarnFn& warn) {
  const std::int64_t total = static_cast<std::int64_t>(width) * height;
  // The pixels start zero; those the data does not reach get the fill.
  auto fillFrom = [&](std::int64_t from) {
    if (fill != 0 && pixels && from < total)
      std::memset(pixels + from, fill, static_cast<std::size_t>(total - from));
  };
  const auto codeSize = ReadByte(stream);
  if (!codeSize) {
    fillFrom(0);
    return;
  }
  if (*codeSize > kMaxCodeSize) {
    SkipSubBlocks(stream);
    RaiseGIFError(msg::kBadData);
  }
  const CodeData data = ReadSubBlocks(stream, warn);
  if (total <= 0 || pixels == nullptr) return;
  if (!interlaced) {
    fillFrom(Expand(data, *codeSize, pixels, total, warn));
    return;
  }
  // Interlaced rows arrive in pass order: decode in arrival order, then put
  // every row that was reached (the last one maybe in part) in its place.
  // The j-th code after a clear stands for at most j values, so data that
  // ends early needs only a small part of the frame in between: such a
  // frame costs no more than its own pixels.
  const std::int64_t codes = static_cast<std::int64_t>(data.bitEnd / static_cast<std::uint64_t>(*codeSize + 1));
  const std::int64_t reach = codes < (std::int64_t{1} << 31) ? std::min(total, codes * (codes + 1) / 2) : total;
  platform::PixelBuffer linear(static_cast<std::size_t>(reach));
  const std::int64_t produced = Expand(data, *codeSize, linear.data(), reach, warn);
  const std::vector<int> rows = InterlacedRows(height);
  std::int64_t r = 0;
  for (std::int64_t i = 0; i < total; i += width, ++r) {
    std::uint8_t* dest = pixels + static_cast<std::int64_t>(rows[static_cast<std::size_t>(r)]) * width;
    const std::int64_t n = std::clamp<std::int64_t>(produced - i, 0, width);
    if (n > 0) std::memcpy(dest, linear.data() + i, static_cast<std::size_t>(n));
    if (fill != 0 && n < width) std::memset(dest + n, fill, static_cast<std::size_t>(width - n));
  }
}

// ---- encoders ------------------------------------------------------------------

void TGIFEncoder::EncodeFrame(Stream& stream, int pixelBits, int colourCount, const std::uint8_t* pixels,
                              bool interlaced, int height, int width) {
  ColourCount = colourCount;
  PixelBits = std::clamp(pixelBits, 2, 8);
  FrameWidth = width;
  FrameHeight = height;
  Interlaced = interlaced;
  Pixels = pixels;
  StartWidth = PixelBits + 1;
  WriteByte(stream, static_cast<std::uint8_t>(PixelBits));
  CodeWidth = StartWidth;
  CodeLimit = (1 << CodeWidth) - 1;
  ClearCodeValue = 1 << PixelBits;
  EndCodeValue = ClearCodeValue + 1;
  FirstFree = ClearCodeValue + 2;
  Accumulator = 0;
  PendingBits = 0;
  Out.clear();
  Out.reserve(static_cast<std::size_t>(std::max(0, width)) * static_cast<std::size_t>(std::max(0, height)) / 2 + 16);
  auto flush = [&] {
    std::uint8_t block[256];
    for (std::size_t i = 0; i < Out.size(); i += 255) {
      const std::size_t n = std::min<std::size_t>(255, Out.size() - i);
      block[0] = static_cast<std::uint8_t>(n);
      std::memcpy(block + 1, Out.data() + i, n);
      stream.WriteBuffer(block, n + 1);
    }
    Out.clear();
  };
  try {
    if (pixels != nullptr && height > 0 && width > 0) Pack();
    PutCode(EndCodeValue);
  } catch (...) {
    flush();  // what was coded goes out; the terminator does not
    throw;
  }
  flush();
  WriteByte(stream, 0);
}

inline void TGIFEncoder::PackCode(int code) {
  Accumulator |= static_cast<std::uint64_t>(code) << PendingBits;
  PendingBits += CodeWidth;
  while (PendingBits >= 8) {
    Out.push_back(static_cast<std::uint8_t>(Accumulator));
    Accumulator >>= 8;
    PendingBits -= 8;
  }
  if (code == EndCodeValue && PendingBits > 0) {
    Out.push_back(static_cast<std::uint8_t>(Accumulator));
    Accumulator = 0;
    PendingBits = 0;
  }
}

void TGIFEncoder::PutCode(int code) { PackCode(code); }

void TGIFEncoder::Restart() {
  JustCleared = true;
  PutCode(ClearCodeValue);
}

void TGIFEncoder::CheckPixel(std::uint8_t p) const {
  if (p >= ColourCount) RaiseGIFError(msg::kColourNotInTable);
}

template <class Fn>
void TGIFEncoder::ForEachPixel(Fn&& fn) {
  if (!Interlaced) {
    const std::size_t n = static_cast<std::size_t>(FrameWidth) * static_cast<std::size_t>(FrameHeight);
    for (std::size_t i = 0; i < n; ++i) fn(Pixels[i]);
    return;
  }
  for (int y : InterlacedRows(FrameHeight)) {
    const std::uint8_t* row = Pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(FrameWidth);
    for (int x = 0; x < FrameWidth; ++x) fn(row[x]);
  }
}

TLZWEncoder::TLZWEncoder() = default;
TLZWEncoder::~TLZWEncoder() = default;

// A row of the child table per code, as wide as the frame's colours (rounded
// up to a power of two), and only as many codes as the frame's pixels can
// make: an image of many small frames of few colours, one encoder each,
// zeroes small tables instead of 2 MB per frame.
void TLZWEncoder::SizeDictionary() {
  childShift_ = 0;
  while (childShift_ < 8 && (1 << childShift_) < ColourCount) ++childShift_;
  const std::size_t pixels = static_cast<std::size_t>(FrameWidth) * static_cast<std::size_t>(FrameHeight);
  const std::size_t codes = std::min(static_cast<std::size_t>(kMaxCodes), static_cast<std::size_t>(ClearCodeValue) + 2 + pixels);
  child_ = std::make_unique<std::uint16_t[]>(codes << childShift_);
  used_.clear();
  used_.reserve(codes);
}

void TLZWEncoder::ResetDictionary() {
  for (std::uint32_t slot : used_) child_[slot] = 0;
  used_.clear();
}

void TLZWEncoder::PutCode(int code) { PutLZW(code); }

inline void TLZWEncoder::PutLZW(int code) {
  PackCode(code);
  if (NextFree > CodeLimit || JustCleared) {
    if (JustCleared) {
      CodeWidth = StartWidth;
      CodeLimit = (1 << CodeWidth) - 1;
      JustCleared = false;
    } else {
      ++CodeWidth;
      CodeLimit = CodeWidth == 12 ? kMaxCodes : (1 << CodeWidth) - 1;
    }
  }
}

void TLZWEncoder::Restart() {
  TGIFEncoder::Restart();
  ResetDictionary();
  NextFree = ClearCodeValue + 2;
}

void TLZWEncoder::Pack() {
  SizeDictionary();
  Restart();
  // The encoder sends a clear code instead of giving out code 4095, so no
  // code ever needs more than 12 bits.
  constexpr int kLastFree = kMaxCodes - 1;
  int current = -1;
  std::uint16_t* child = child_.get();
  const int shift = childShift_;
  auto run = [&](const std::uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    if (current < 0) {
      CheckPixel(p[0]);
      current = p[0];
      i = 1;
    }
    for (; i < n; ++i) {
      const std::uint8_t v = p[i];
      if (v >= ColourCount) RaiseGIFError(msg::kColourNotInTable);
      const std::uint32_t slot = (static_cast<std::uint32_t>(current) << shift) + v;
      const std::uint16_t found = child[slot];
      if (found != 0) {
        current = found;
        continue;
      }
      PutLZW(current);
      current = v;
      if (NextFree >= kLastFree) {
        Restart();
      } else {
        child[slot] = static_cast<std::uint16_t>(NextFree);
        used_.push_back(slot);
        ++NextFree;
      }
    }
  };
  if (!Interlaced) {
    run(Pixels, static_cast<std::size_t>(FrameWidth) * static_cast<std::size_t>(FrameHeight));
  } else {
    for (int y : InterlacedRows(FrameHeight))
      run(Pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(FrameWidth),
          static_cast<std::size_t>(FrameWidth));
  }
  PutCode(current);
}

// ---- run-length encoder -----------------------------------------------------

int IntSqrt(int x) {
  if (x < 2) return x;
  int r = 1;
  for (int t = x; t > 0; t /= 4) r *= 2;
  for (;;) {
    const int v = (x / r + r) / 2;
    if (v == r || v == r + 1) return r;
    r = v;
  }
}

int TriangleCost(int count, int limit) {
  const std::int64_t per = static_cast<std::int64_t>(limit) * (limit + 1) / 2;
  std::int64_t left = count;
  int cost = 0;
  while (per > 0 && left >= per) {
    cost += limit;
    left -= per;
  }
  if (left > 0) {
    std::int64_t n = IntSqrt(static_cast<int>(left));
    while (n > 0 && n * (n + 1) >= 2 * left) --n;
    while (n * (n + 1) < 2 * left) ++n;
    cost += static_cast<int>(n);
  }
  return cost;
}

void TRLEEncoder::Restart() {
  BumpLimit = BumpStart;
  ClearLimit = ClearStart;
  SentCount = 0;
  TableMax = 0;
  TGIFEncoder::Restart();
  CodeWidth = StartWidth;
}

void TRLEEncoder::Pack() {
  BumpStart = ClearCodeValue - 1;
  ClearStart = PixelBits <= 3 ? 9 : ClearCodeValue - 2;
  CodesPerClear = (kMaxCodes - 1) - FirstFree;
  Restart();
  RunPixel = -1;
  int length = 0;
  ForEachPixel([&](std::uint8_t p) {
    CheckPixel(p);
    if (length > 0 && p != RunPixel) {
      FlushRun(length);
      length = 0;
    }
    if (p == RunPixel) {
      ++length;
    } else {
      RunPixel = p;
      length = 1;
    }
  });
  if (length > 0) FlushRun(length);
}

void TRLEEncoder::SendPlain(int code) {
  JustCleared = false;
  PutCode(code);
  ++SentCount;
  if (SentCount >= BumpLimit) {
    ++CodeWidth;
    BumpLimit += 1 << (CodeWidth - 1);
  }
  if (SentCount >= ClearLimit) Restart();
}

void TRLEEncoder::FlushRun(int n) {
  if (n == 1) {
    SendPlain(RunPixel);
  } else if (JustCleared) {
    SendTriangle(n);
  } else if (TableMax > 1 && TablePixel == RunPixel) {
    SendWithKnownRun(n);
  } else {
    SendRunOrRestart(n);
  }
}

void TRLEEncoder::SendTriangle(int n) {
  ClearLimit = CodesPerClear;
  TablePixel = RunPixel;
  int k = 1;
  while (n > 0) {
    if (k == 1) {
      TableMax = 1;
      SendPlain(RunPixel);
      n -= 1;
    } else if (k <= n) {
      TableMax = k;
      SendPlain(FirstFree + k - 2);
      n -= k;
    } else {
      ++TableMax;
      SendPlain(n == 1 ? RunPixel : FirstFree + n - 2);
      n = 0;
    }
    k = SentCount == 0 ? 1 : k + 1;
  }
  ClearLimit = ClearStart;
  if (SentCount >= ClearLimit) Restart();
}

void TRLEEncoder::SendRunOrRestart(int n) {
  if (1 + TriangleCost(n, CodesPerClear) < n) {
    Restart();
    SendTriangle(n);
  } else {
    for (int i = 0; i < n; ++i) SendPlain(RunPixel);
  }
}

void TRLEEncoder::SendWithKnownRun(int n) {
  int full = n / TableMax;
  int rest = n % TableMax;
  int restCost = rest > 0 ? 1 : 0;
  if (SentCount + full + restCost > CodesPerClear) {
    full = CodesPerClear - SentCount;
    rest = n - full * TableMax;
    restCost = 1 + TriangleCost(rest, CodesPerClear);
  }
  if (1 + TriangleCost(n, CodesPerClear) < full + restCost) {
    Restart();
    SendTriangle(n);
    return;
  }
  ClearLimit = CodesPerClear;
  const int runCode = FirstFree + TableMax - 2;
  for (int i = 0; i < full; ++i) SendPlain(runCode);
  if (rest > 0) {
    if (JustCleared)
      SendTriangle(rest);
    else
      SendPlain(rest == 1 ? RunPixel : FirstFree + rest - 2);
  }
  ClearLimit = ClearStart;
  if (SentCount >= ClearLimit) Restart();
}

}  // namespace gif
