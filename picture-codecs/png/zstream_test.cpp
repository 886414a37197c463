// The zlib streams against zlib itself: exact bytes of empty streams, round
// trips through buffers of every size, the seek rules, progress per buffer and
// how damaged or odd compressed data ends a read.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "picture-codecs/png/zstream.h"
#include "platform/test_support.h"

namespace {

using codecs::EZCompressionError;
using codecs::EZDecompressionError;
using codecs::TCompressionLevel;
using codecs::TZCompressionStream;
using codecs::TZDecompressionStream;
using platform::MemoryStream;
using platform::SeekOrigin;
using platform::testkit::ErrorOf;
using Bytes = std::vector<std::uint8_t>;

Bytes Noise(std::size_t n, unsigned seed, int alphabet = 256) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& v : b) v = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(alphabet));
  return b;
}

Bytes Deflate(const Bytes& data, TCompressionLevel level = TCompressionLevel::clDefault) {
  MemoryStream out;
  TZCompressionStream z(out, level);
  if (!data.empty()) z.WriteBuffer(data.data(), data.size());
  z.Finish();
  return out.Bytes();
}

Bytes ZlibCompress(const Bytes& data, int level) {
  uLongf size = compressBound(data.size());
  Bytes out(size);
  EXPECT_EQ(compress2(out.data(), &size, data.data(), data.size(), level), Z_OK);
  out.resize(size);
  return out;
}

TEST(ZStream, EmptyStreamsAtEveryLevelAreCompleteZlibStreams) {
  EXPECT_EQ(Deflate({}), (Bytes{0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
  const int levels[] = {0, 1, -1, 9};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(codecs::ZLibLevel(static_cast<TCompressionLevel>(i)), levels[i]);
    EXPECT_EQ(Deflate({}, static_cast<TCompressionLevel>(i)), ZlibCompress({}, levels[i])) << "index " << i;
  }
  // Destroying without Finish also ends the stream.
  MemoryStream out;
  { TZCompressionStream z(out); }
  EXPECT_EQ(out.Bytes().size(), 8u);
}

TEST(ZStream, RoundTripsAndMatchesZlib) {
  for (std::size_t size : {std::size_t{1}, std::size_t{1000}, std::size_t{65536}, std::size_t{300000}}) {
    const Bytes data = Noise(size, static_cast<unsigned>(size), 7);
    const Bytes packed = Deflate(data);
    // zlib's one-call compression at the same level gives the same bytes.
    EXPECT_EQ(packed, ZlibCompress(data, Z_DEFAULT_COMPRESSION)) << size;
    MemoryStream in(packed);
    TZDecompressionStream z(in);
    Bytes back(size + 10);
    EXPECT_EQ(z.Read(back.data(), back.size()), size) << "short count at the end";
    back.resize(size);
    EXPECT_EQ(back, data);
    EXPECT_TRUE(z.AtStreamEnd());
  }
}

TEST(ZStream, ProgressOncePerFullBufferAndOnlyCurrentSeekOnCompression) {
  const Bytes data = Noise(400000, 3);  // incompressible: more than six buffers
  MemoryStream out;
  int calls = 0;
  std::size_t written;
  {
    TZCompressionStream z(out);
    z.SetOnProgress([&](codecs::TCustomZStream&) { ++calls; });
    z.WriteBuffer(data.data(), data.size());
    EXPECT_EQ(z.Position(), 400000);
    EXPECT_EQ(ErrorOf([&] { z.Seek(1, SeekOrigin::Current); }), "Invalid ZStream operation!");
    EXPECT_EQ(ErrorOf([&] { z.Seek(0, SeekOrigin::Begin); }), "Invalid ZStream operation!");
    std::uint8_t b;
    EXPECT_THROW(z.Read(&b, 1), EZCompressionError);
    written = out.Bytes().size();
    EXPECT_EQ(written, static_cast<std::size_t>(calls) * TZCompressionStream::kBufferSize);
    z.Finish();
    EXPECT_EQ(calls, static_cast<int>(written / TZCompressionStream::kBufferSize)) << "no progress while finishing";
  }
  EXPECT_GE(calls, 6);
  EXPECT_GT(out.Bytes().size(), written) << "the rest comes with the finish";
}

// A stream that takes no bytes (a full disk).
class FullStream : public MemoryStream {
 public:
  std::size_t Write(const void*, std::size_t) override { return 0; }
};

TEST(ZStream, FailuresOfTheFinishReachTheCallerNeverTheDestructor) {
  const Bytes data = Noise(1000, 12);
  FullStream full;
  {
    TZCompressionStream z(full);
    z.WriteBuffer(data.data(), data.size());  // still within the buffer
    EXPECT_THROW(z.Finish(), platform::StreamError);
  }
  // Without Finish the destructor swallows the same failure.
  EXPECT_NO_THROW({
    TZCompressionStream z(full);
    z.WriteBuffer(data.data(), data.size());
  });
  // Writing after the finish is a wrong-direction operation.
  MemoryStream out;
  TZCompressionStream z(out);
  z.Finish();
  EXPECT_THROW(z.Write(data.data(), 1), EZCompressionError);
  z.Finish();  // again: nothing more
  EXPECT_EQ(out.Bytes().size(), 8u);
}

TEST(ZStream, DecompressionSeeks) {
  const Bytes data = Noise(20000, 5, 3);
  MemoryStream in;
  in.Write("junk", 4);  // the zlib stream starts behind other bytes
  const Bytes packed = Deflate(data);
  in.Write(packed.data(), packed.size());
  in.SetPosition(4);
  TZDecompressionStream z(in);
  std::uint8_t buf[100];
  z.ReadBuffer(buf, 100);
  EXPECT_EQ(z.Seek(0, SeekOrigin::Current), 100);
  EXPECT_EQ(z.Seek(5000, SeekOrigin::Current), 5100);
  z.ReadBuffer(buf, 1);
  EXPECT_EQ(buf[0], data[5100]);
  EXPECT_EQ(z.Seek(6000, SeekOrigin::Begin), 6000);
  z.ReadBuffer(buf, 1);
  EXPECT_EQ(buf[0], data[6000]);
  EXPECT_EQ(ErrorOf([&] { z.Seek(10, SeekOrigin::Begin); }), "Invalid ZStream operation!");
  EXPECT_THROW(z.Seek(-1, SeekOrigin::Current), EZDecompressionError);
  EXPECT_THROW(z.Seek(0, SeekOrigin::End), EZDecompressionError);
  EXPECT_THROW(z.Write(buf, 1), EZDecompressionError);
  // Back to the start of the data, where the object began.
  EXPECT_EQ(z.Seek(0, SeekOrigin::Begin), 0);
  z.ReadBuffer(buf, 100);
  EXPECT_TRUE(std::equal(buf, buf + 100, data.begin()));
  // Skipping past the end is a read error of the stream.
  EXPECT_THROW(z.Seek(100000, SeekOrigin::Current), platform::StreamError);
}

TEST(ZStream, SharedUnderlyingStream) {
  // Two compression streams into one memory stream, each with its own part:
  // one writes, the other moves the position in between.
  const Bytes a = Noise(200000, 8), b = Noise(100, 9);
  MemoryStream shared;
  {
    TZCompressionStream first(shared);
    first.WriteBuffer(a.data(), a.size());
    first.Finish();
  }
  const std::int64_t split = shared.Size();
  {
    TZCompressionStream second(shared);
    second.WriteBuffer(b.data(), b.size());
    second.Finish();
  }
  shared.SetPosition(0);
  TZDecompressionStream one(shared);
  shared.SetPosition(split);
  TZDecompressionStream two(shared);
  Bytes x(50), y(100);
  one.ReadBuffer(x.data(), x.size());  // takes shared back to its own place
  two.ReadBuffer(y.data(), y.size());
  EXPECT_TRUE(std::equal(x.begin(), x.end(), a.begin()));
  EXPECT_EQ(y, b);
  Bytes rest(a.size() - 50);
  one.ReadBuffer(rest.data(), rest.size());
  EXPECT_TRUE(std::equal(rest.begin(), rest.end(), a.begin() + 50));
}

TEST(ZStream, OddAndDamagedData) {
  const Bytes data = Noise(5000, 11, 4);
  // Bytes behind the end of the zlib stream are never data, and never hang.
  Bytes trailing = Deflate(data);
  trailing.insert(trailing.end(), 70000, 0xAB);
  {
    MemoryStream in(trailing);
    TZDecompressionStream z(in);
    Bytes out(10000);
    EXPECT_EQ(z.Read(out.data(), out.size()), data.size());
    EXPECT_EQ(z.Read(out.data(), out.size()), 0u);
    EXPECT_TRUE(z.AtStreamEnd());
    EXPECT_GT(z.UnusedInput(), 0u);
  }
  // Cut short: a short count, no error.
  {
    Bytes cut = Deflate(data);
    cut.resize(cut.size() / 2);
    MemoryStream in(cut);
    TZDecompressionStream z(in);
    Bytes out(10000);
    const std::size_t n = z.Read(out.data(), out.size());
    EXPECT_LT(n, data.size());
    EXPECT_FALSE(z.AtStreamEnd());
  }
  // A flipped header byte: zlib's text.
  {
    Bytes bad = Deflate(data);
    bad[0] ^= 0xFF;
    MemoryStream in(bad);
    TZDecompressionStream z(in);
    std::uint8_t b[10];
    EXPECT_EQ(ErrorOf([&] { z.Read(b, 10); }), "data error");
  }
  // A stream that asks for a preset dictionary.
  {
    z_stream s{};
    ASSERT_EQ(deflateInit(&s, 6), Z_OK);
    const Bytef dict[] = "dictionary";
    ASSERT_EQ(deflateSetDictionary(&s, dict, sizeof dict), Z_OK);
    Bytes out(200);
    s.next_in = const_cast<Bytef*>(data.data());
    s.avail_in = 100;
    s.next_out = out.data();
    s.avail_out = 200;
    ASSERT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(s.total_out);
    deflateEnd(&s);
    MemoryStream in(out);
    TZDecompressionStream z(in);
    std::uint8_t b[10];
    EXPECT_EQ(ErrorOf([&] { z.Read(b, 10); }), "need dictionary");
  }
  EXPECT_STREQ(codecs::ZLibResultText(Z_MEM_ERROR), "insufficient memory");
  EXPECT_STREQ(codecs::ZLibResultText(Z_VERSION_ERROR), "incompatible version");
}

}  // namespace
