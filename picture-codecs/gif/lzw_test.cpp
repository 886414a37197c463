// The pixel coding: byte vectors worked out by hand from the format, both
// encoders against our decoder over many shapes, and damaged code streams
// made by a code writer of the test's own.
#include "picture-codecs/gif/lzw.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "picture-codecs/gif/stream_util.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Warnings {
  std::vector<std::string> list;
  gif::WarnFn Fn() {
    return [this](int, const std::string& m) { list.push_back(m); };
  }
};

Bytes Encode(gif::TGIFEncoder&& encoder, const Bytes& pixels, int w, int h, int bits, bool interlaced = false) {
  platform::MemoryStream out;
  encoder.EncodeFrame(out, bits, 1 << bits, pixels.empty() ? nullptr : pixels.data(), interlaced, h, w);
  return out.Bytes();
}

Bytes Decode(const Bytes& data, int w, int h, bool interlaced = false, Warnings* warnings = nullptr,
             std::uint8_t fill = 0) {
  platform::MemoryStream in(data);
  Bytes pixels(static_cast<std::size_t>(w) * h, 0);
  Warnings none;
  gif::DecodeLZW(in, pixels.data(), w, h, interlaced, fill, (warnings ? warnings : &none)->Fn());
  return pixels;
}

// Packs codes least significant bit first, each at the width given with it,
// into sub-blocks of blockSize bytes, behind the code size byte.
Bytes WriteCodes(int codeSize, const std::vector<std::pair<int, int>>& codes, int blockSize = 255,
                 bool terminator = true) {
  Bytes bits;
  std::uint64_t acc = 0;
  int n = 0;
  for (auto [code, width] : codes) {
    acc |= static_cast<std::uint64_t>(code) << n;
    n += width;
    while (n >= 8) {
      bits.push_back(static_cast<std::uint8_t>(acc));
      acc >>= 8;
      n -= 8;
    }
  }
  if (n > 0) bits.push_back(static_cast<std::uint8_t>(acc));
  Bytes out{static_cast<std::uint8_t>(codeSize)};
  for (std::size_t i = 0; i < bits.size(); i += static_cast<std::size_t>(blockSize)) {
    const std::size_t len = std::min(bits.size() - i, static_cast<std::size_t>(blockSize));
    out.push_back(static_cast<std::uint8_t>(len));
    out.insert(out.end(), bits.begin() + static_cast<long>(i), bits.begin() + static_cast<long>(i + len));
  }
  if (terminator) out.push_back(0);
  return out;
}

// Reads the codes back the way a decoder sees them (the width grows when the
// decoder's next free code reaches the width's limit), for looking at what an
// encoder chose.
std::vector<int> ReadCodes(const Bytes& data) {
  const int codeSize = data[0];
  Bytes bits;
  for (std::size_t i = 1; i < data.size() && data[i] != 0; i += data[i] + 1u)
    bits.insert(bits.end(), data.begin() + static_cast<long>(i) + 1, data.begin() + static_cast<long>(i + 1 + data[i]));
  const int clear = 1 << codeSize;
  int width = codeSize + 1, next = clear + 2;
  bool first = true;
  std::vector<int> codes;
  std::size_t pos = 0;
  while (pos + static_cast<std::size_t>(width) <= bits.size() * 8) {
    int code = 0;
    for (int b = 0; b < width; ++b, ++pos) code |= ((bits[pos / 8] >> (pos % 8)) & 1) << b;
    codes.push_back(code);
    if (code == clear + 1) break;
    if (code == clear) {
      width = codeSize + 1;
      next = clear + 2;
      first = true;
      continue;
    }
    if (!first && next < 4096) {
      ++next;
      if (next == (1 << width) && width < 12) ++width;
    }
    first = false;
  }
  return codes;
}

TEST(LzwCoding, ByteVectorsOfTheFormat) {
  // 2 x 2 pixels of index 0, 4 colours: clear 4, 0, 6, 0 at 3 bits and the
  // end code 5 at 4 bits.
  const Bytes zero(4, 0);
  EXPECT_EQ(Encode(gif::TLZWEncoder(), zero, 2, 2, 2), (Bytes{0x02, 0x02, 0x84, 0x51, 0x00}));
  EXPECT_EQ(Decode({0x02, 0x02, 0x84, 0x51, 0x00}, 2, 2), zero);
  // No pixels: the code size, a sub-block with the end code alone (no
  // clear code), the terminator.
  EXPECT_EQ(Encode(gif::TLZWEncoder(), {}, 0, 0, 2), (Bytes{0x02, 0x01, 0x05, 0x00}));
  EXPECT_EQ(Encode(gif::TRLEEncoder(), {}, 0, 0, 2), (Bytes{0x02, 0x01, 0x05, 0x00}));
  // One bit per pixel goes out as code size 2.
  EXPECT_EQ(Encode(gif::TLZWEncoder(), {0, 1}, 2, 1, 1)[0], 2);
}

TEST(LzwCoding, RunLengthCodesAndCosts) {
  // After a clear, six equal pixels are the pixel, the run-of-2 code and
  // the run-of-3 code (first free code 6 with 4 colours).
  const Bytes run(6, 3);
  const Bytes data = Encode(gif::TRLEEncoder(), run, 6, 1, 2);
  EXPECT_EQ(ReadCodes(data), (std::vector<int>{4, 3, 6, 7, 5}));
  EXPECT_EQ(Decode(data, 6, 1), run);

  EXPECT_EQ(gif::TriangleCost(10, 3837), 4);
  EXPECT_EQ(gif::TriangleCost(11, 3837), 5);
  EXPECT_EQ(gif::TriangleCost(1, 3837), 1);
  const int roots[][2] = {{0, 0}, {1, 1}, {2, 1}, {3, 1}, {4, 2}, {15, 3}, {16, 4}, {17, 4}, {1000000, 1000}};
  for (auto [x, r] : roots) EXPECT_EQ(gif::IntSqrt(x), r) << x;
}

TEST(LzwCoding, BothEncodersRoundTripEveryShape) {
  std::mt19937 rng(15);
  const int sizes[][2] = {{1, 1}, {2, 1}, {1, 5}, {3, 2}, {5, 3}, {17, 4}, {64, 64}, {255, 7}, {640, 480}};
  for (int bits : {1, 2, 4, 8}) {
    for (auto [w, h] : sizes) {
      for (int style = 0; style < 3; ++style) {
        Bytes px(static_cast<std::size_t>(w) * h);
        // noise, long runs, and a gradient of short runs
        for (std::size_t i = 0; i < px.size(); ++i)
          px[i] = static_cast<std::uint8_t>(style == 0   ? rng() % (1u << bits)
                                            : style == 1 ? (i / 997) % (1u << bits)
                                                         : ((i / (1 + rng() % 9)) % (1u << bits)));
        for (bool interlaced : {false, true}) {
          const std::string what = std::to_string(w) + "x" + std::to_string(h) + " bits " + std::to_string(bits) +
                                   " style " + std::to_string(style) + (interlaced ? " interlaced" : "");
          Warnings lw, rw;
          EXPECT_EQ(Decode(Encode(gif::TLZWEncoder(), px, w, h, bits, interlaced), w, h, interlaced, &lw), px)
              << "LZW " << what;
          EXPECT_EQ(Decode(Encode(gif::TRLEEncoder(), px, w, h, bits, interlaced), w, h, interlaced, &rw), px)
              << "RLE " << what;
          EXPECT_TRUE(lw.list.empty() && rw.list.empty()) << what;
        }
      }
    }
  }
}

TEST(LzwCoding, EncodersRefusePixelsOutsideTheTable) {
  platform::MemoryStream out;
  const Bytes px{0, 1, 4};
  gif::TLZWEncoder lzw;
  EXPECT_THROW(lzw.EncodeFrame(out, 2, 4, px.data(), false, 1, 3), gif::GIFException);
  gif::TRLEEncoder rle;
  EXPECT_THROW(rle.EncodeFrame(out, 2, 3, Bytes{0, 3, 1}.data(), false, 1, 3), gif::GIFException);
}

TEST(LzwCoding, EncoderNeverNeedsThirteenBits) {
  // Noise of 256 colours fills the table again and again: every code the
  // LZW encoder writes stays at 12 bits or below, and a clear comes before
  // code 4095 would be given out.
  std::mt19937 rng(3);
  Bytes px(200000);
  for (auto& p : px) p = static_cast<std::uint8_t>(rng());
  const Bytes data = Encode(gif::TLZWEncoder(), px, 500, 400, 8);
  for (int code : ReadCodes(data)) ASSERT_LT(code, 4095);
  EXPECT_EQ(Decode(data, 500, 400), px);
}

TEST(LzwDecoding, DamagedAndUnusualStreams) {
  // Codes spanning sub-blocks of one byte each decode exactly.
  {
    std::vector<std::pair<int, int>> codes{{4, 3}, {1, 3}, {2, 3}, {3, 3}, {6, 4}, {1, 4}, {5, 4}};
    const Bytes expect{1, 2, 3, 1, 2, 1};
    EXPECT_EQ(Decode(WriteCodes(2, codes, 1), 6, 1), expect);
    EXPECT_EQ(Decode(WriteCodes(2, codes, 2), 6, 1), expect);
  }
  // No leading clear code: the table starts reset anyway. A code equal to
  // the next free code is the previous string and its own first value.
  EXPECT_EQ(Decode(WriteCodes(2, {{1, 3}, {6, 3}, {6, 3}, {5, 4}}), 5, 1), (Bytes{1, 1, 1, 1, 1}));
  // Clear then end: no pixels, the fill stays, no warning.
  {
    Warnings w;
    EXPECT_EQ(Decode(WriteCodes(2, {{4, 3}, {5, 3}}), 2, 2, false, &w, 3), Bytes(4, 3));
    EXPECT_TRUE(w.list.empty());
  }
  // A code above the next free code: warned, decoding stops, the rest keeps
  // the fill.
  {
    Warnings w;
    EXPECT_EQ(Decode(WriteCodes(2, {{4, 3}, {1, 3}, {7, 3}, {5, 3}}), 4, 1, false, &w, 3), (Bytes{1, 3, 3, 3}));
    EXPECT_FALSE(w.list.empty());
  }
  // A first code after a clear that is not a single value is corrupt.
  {
    Warnings w;
    EXPECT_EQ(Decode(WriteCodes(2, {{4, 3}, {6, 3}, {5, 3}}), 2, 1, false, &w), Bytes(2, 0));
    EXPECT_FALSE(w.list.empty());
  }
  // Code sizes above 8: codes below the clear code that no pixel byte can
  // hold are damaged data, first after a clear or later; values up to 255
  // decode as they are.
  {
    Warnings w;
    EXPECT_EQ(Decode(WriteCodes(9, {{512, 10}, {255, 10}, {7, 10}, {513, 10}}), 2, 1, false, &w), (Bytes{255, 7}));
    EXPECT_TRUE(w.list.empty());
  }
  for (const auto& codes : {std::vector<std::pair<int, int>>{{512, 10}, {300, 10}, {513, 10}},
                            std::vector<std::pair<int, int>>{{512, 10}, {7, 10}, {256, 10}, {513, 10}}}) {
    Warnings w;
    const Bytes px = Decode(WriteCodes(9, codes), 3, 1, false, &w, 9);
    EXPECT_NE(std::find(w.list.begin(), w.list.end(), gif::msg::kBadData), w.list.end());
    EXPECT_NE(px[0], 300 & 0xFF);
    EXPECT_EQ(px[2], 9) << "nothing past the bad code";
  }
  // Truncated: the sub-block claims more bytes than the stream has.
  {
    Bytes data = WriteCodes(2, {{4, 3}, {1, 3}, {2, 3}, {3, 3}, {1, 3}, {2, 3}, {3, 3}, {5, 3}});
    data.resize(3);
    Warnings w;
    const Bytes px = Decode(data, 6, 1, false, &w, 0);
    EXPECT_EQ(px[0], 1);
    EXPECT_NE(std::find(w.list.begin(), w.list.end(), gif::msg::kPrematureEnd), w.list.end());
  }
  // Data that stops without an end code runs dry with the under-run warning.
  {
    Warnings w;
    Decode(WriteCodes(2, {{4, 3}, {1, 3}, {2, 3}, {3, 3}}), 8, 1, false, &w);
    EXPECT_NE(std::find(w.list.begin(), w.list.end(), gif::msg::kUnderrun), w.list.end());
  }
  // Code size 12 leaves no room in the table.
  for (int size : {12, 255}) {
    platform::MemoryStream in(Bytes{static_cast<std::uint8_t>(size), 1, 0, 0});
    Bytes px(4);
    EXPECT_THROW(gif::DecodeLZW(in, px.data(), 2, 2, false, 0, [](int, const std::string&) {}), gif::GIFException)
        << size;
  }
  // Sub-blocks after the end code are passed over: the stream ends up after
  // the terminator.
  {
    Bytes data = WriteCodes(2, {{4, 3}, {1, 3}, {5, 3}}, 255, false);
    data.insert(data.end(), {3, 9, 9, 9, 2, 7, 7, 0, 0x3B});
    platform::MemoryStream in(data);
    Bytes px(1);
    gif::DecodeLZW(in, px.data(), 1, 1, false, 0, [](int, const std::string&) {});
    EXPECT_EQ(px[0], 1);
    EXPECT_EQ(in.Position(), static_cast<std::int64_t>(data.size()) - 1);
  }
}

TEST(LzwDecoding, DeferredClearKeepsReadingTwelveBitCodes) {
  // Only single-value codes: the decoder's table fills to 4096 entries, the
  // writer keeps sending 12-bit codes without a clear, then clears and goes
  // on at the starting width.
  const int codeSize = 8, clear = 256;
  std::vector<std::pair<int, int>> codes{{clear, 9}};
  Bytes expect;
  int width = 9, next = clear + 2;
  bool first = true;
  for (int i = 0; i < 6000; ++i) {
    const int v = (i * 7) % 256;
    codes.push_back({v, width});
    expect.push_back(static_cast<std::uint8_t>(v));
    if (!first && next < 4096) {
      ++next;
      if (next == (1 << width) && width < 12) ++width;
    }
    first = false;
  }
  EXPECT_EQ(width, 12);
  codes.push_back({clear, 12});
  for (int v : {5, 6, 7}) {
    codes.push_back({v, 9});
    expect.push_back(static_cast<std::uint8_t>(v));
  }
  codes.push_back({clear + 1, 9});
  EXPECT_EQ(Decode(WriteCodes(codeSize, codes), static_cast<int>(expect.size()), 1), expect);
}

TEST(LzwDecoding, CodeSizesBelowTwo) {
  // Sizes 0 and 1 are below the format's least, yet other readers take them
  // with the clear and end codes of that size. A 2 x 1 picture at size 1:
  // clear 2, 0 and 1 at 2 bits; the first new code brings the width to 3
  // for the end code 3.
  Warnings w;
  EXPECT_EQ(Decode(WriteCodes(1, {{2, 2}, {0, 2}, {1, 2}, {3, 3}}), 2, 1, false, &w, 9), (Bytes{0, 1}));
  // The width keeps pace with the table one step per new code, so new
  // codes are read as ImageMagick reads them: 4 is "0 1", 8 is "1 1".
  EXPECT_EQ(Decode(WriteCodes(1, {{2, 2}, {0, 2}, {1, 2}, {4, 3}, {4, 3}, {1, 3}, {8, 4}, {0, 4}, {3, 4}}), 10, 1,
                   false, &w, 9),
            (Bytes{0, 1, 0, 1, 0, 1, 1, 1, 1, 0}));
  // Size 0: one value, clear 1 and end 2; 5 is "0 0", 6 is "0 0 0".
  EXPECT_EQ(
      Decode(WriteCodes(0, {{1, 1}, {0, 1}, {0, 1}, {0, 2}, {5, 3}, {6, 3}, {5, 3}, {2, 4}}), 10, 1, false, &w, 9),
      Bytes(10, 0));
  // Single values with a clear before each, which every reader takes alike.
  EXPECT_EQ(Decode(WriteCodes(1, {{2, 2}, {1, 2}, {2, 2}, {0, 2}, {2, 2}, {1, 2}, {3, 2}}), 3, 1, false, &w, 9),
            (Bytes{1, 0, 1}));
  EXPECT_TRUE(w.list.empty());
}

TEST(LzwCoding, InterlacedRowOrder) {
  EXPECT_EQ(gif::InterlacedRows(1), (std::vector<int>{0}));
  EXPECT_EQ(gif::InterlacedRows(2), (std::vector<int>{0, 1}));
  EXPECT_EQ(gif::InterlacedRows(3), (std::vector<int>{0, 2, 1}));
  EXPECT_EQ(gif::InterlacedRows(5), (std::vector<int>{0, 4, 2, 1, 3}));
  EXPECT_EQ(gif::InterlacedRows(10), (std::vector<int>{0, 8, 4, 2, 6, 1, 3, 5, 7, 9}));
}

}  // namespace
