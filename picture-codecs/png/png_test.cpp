// The PNG picture class: file bytes it writes (read back with zlib and a chunk
// walk of the test's own), the chunk list it keeps, its messages, and how it
// treats files that are odd or damaged. Files are built here byte by byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "picture-codecs/png/png.h"
#include "picture-codecs/png/png_coding.h"
#include "platform/test_support.h"

namespace {

using namespace codecs;
using platform::MemoryStream;
using platform::PixelFormat;
using platform::testkit::ErrorOf;
using Bytes = std::vector<std::uint8_t>;

const std::string kHeading = "Portable Network Graphics format handler error\r\n\r\n";

void Put32(Bytes& b, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<std::uint8_t>(v >> s));
}
std::uint32_t Get32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

Bytes Chunk(const std::string& type, const Bytes& data) {
  Bytes b;
  Put32(b, static_cast<std::uint32_t>(data.size()));
  b.insert(b.end(), type.begin(), type.end());
  b.insert(b.end(), data.begin(), data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
  if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
  Put32(b, static_cast<std::uint32_t>(crc));
  return b;
}

Bytes Ihdr(std::uint32_t w, std::uint32_t h, int depth, int type, int interlace = 0) {
  Bytes d;
  Put32(d, w);
  Put32(d, h);
  for (int v : {depth, type, 0, 0, interlace}) d.push_back(static_cast<std::uint8_t>(v));
  return Chunk("IHDR", d);
}

Bytes Zlib(const Bytes& raw) {
  uLongf n = compressBound(raw.size());
  Bytes out(n);
  compress(out.data(), &n, raw.data(), raw.size());
  out.resize(n);
  return out;
}

Bytes Unzlib(const Bytes& z, std::size_t size) {
  Bytes out(size + 1);
  uLongf n = out.size();
  EXPECT_EQ(uncompress(out.data(), &n, z.data(), z.size()), Z_OK);
  out.resize(n);
  return out;
}

const Bytes kSig = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

Bytes File(std::initializer_list<Bytes> chunks) {
  Bytes f = kSig;
  for (const Bytes& c : chunks) f.insert(f.end(), c.begin(), c.end());
  return f;
}
Bytes Iend() { return Chunk("IEND", {}); }

// An 8-bit grey picture w x h whose raw rows (filter byte 0) are given.
Bytes Grey8(std::uint32_t w, std::uint32_t h, const Bytes& pixels, std::initializer_list<Bytes> before = {}) {
  Bytes raw;
  for (std::uint32_t y = 0; y < h; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), pixels.begin() + y * w, pixels.begin() + (y + 1) * w);
  }
  Bytes f = kSig;
  const Bytes ih = Ihdr(w, h, 8, 0);
  f.insert(f.end(), ih.begin(), ih.end());
  for (const Bytes& c : before) f.insert(f.end(), c.begin(), c.end());
  const Bytes idat = Chunk("IDAT", Zlib(raw)), end = Iend();
  f.insert(f.end(), idat.begin(), idat.end());
  f.insert(f.end(), end.begin(), end.end());
  return f;
}

struct FileChunk {
  std::string type;
  Bytes data;
};

// The chunks of a file, each CRC checked with zlib's crc32.
std::vector<FileChunk> Walk(const Bytes& f) {
  std::vector<FileChunk> out;
  EXPECT_TRUE(f.size() >= 8 && std::equal(kSig.begin(), kSig.end(), f.begin()));
  std::size_t at = 8;
  while (at + 12 <= f.size()) {
    const std::uint32_t n = Get32(&f[at]);
    FileChunk c{std::string(f.begin() + at + 4, f.begin() + at + 8), Bytes(f.begin() + at + 8, f.begin() + at + 8 + n)};
    uLong crc = crc32(0, &f[at + 4], 4 + n);
    EXPECT_EQ(Get32(&f[at + 8 + n]), crc) << c.type;
    out.push_back(c);
    at += 12 + n;
  }
  EXPECT_EQ(at, f.size());
  return out;
}

std::string Types(const std::vector<FileChunk>& cs) {
  std::string s;
  for (const auto& c : cs) s += c.type + " ";
  return s;
}

Bytes Save(TPNGImage& image) {
  MemoryStream out;
  image.SaveToStream(out);
  return out.Bytes();
}

void Load(TPNGImage& image, const Bytes& f) {
  MemoryStream in(f);
  image.LoadFromStream(in);
}

std::string LoadError(const Bytes& f) {
  TPNGImage image;
  return ErrorOf([&] { Load(image, f); });
}

// --- bytes written ---

TEST(PngSave, NewPalettePictureGivesTheFormatsChunksInOrder) {
  TPNGImage image;
  image.SetPixelFormat(PixelFormat::Bit8);
  image.SetSize(3, 2);
  image.SetPalette({platform::RGBColor(1, 2, 3), platform::RGBColor(200, 100, 50)});
  image.SetPixelIndex(1, 0, 1);
  image.SetPixelIndex(2, 1, 1);
  const Bytes f = Save(image);
  const auto chunks = Walk(f);
  EXPECT_EQ(Types(chunks), "IHDR PLTE IDAT IEND ");
  EXPECT_EQ(chunks[0].data, (Bytes{0, 0, 0, 3, 0, 0, 0, 2, 8, 3, 0, 0, 0}));
  EXPECT_EQ(chunks[1].data, (Bytes{1, 2, 3, 200, 100, 50}));
  EXPECT_EQ(Unzlib(chunks[2].data, 8), (Bytes{0, 0, 1, 0, 0, 0, 0, 1}));
  EXPECT_EQ(Bytes(f.end() - 4, f.end()), (Bytes{0xAE, 0x42, 0x60, 0x82}));
  // The same picture saved again gives the same bytes.
  EXPECT_EQ(Save(image), f);
}

TEST(PngSave, PaletteIsValidForTheDepthAndWithoutPaletteAGreyRamp) {
  TPNGImage image;
  image.SetPixelFormat(PixelFormat::Bit4);
  image.SetSize(4, 1);
  image.SetPalette({});
  image.SetPixelIndex(3, 0, 15);
  auto chunks = Walk(Save(image));
  ASSERT_EQ(Types(chunks), "IHDR PLTE IDAT IEND ");
  EXPECT_EQ(chunks[0].data[8], 4);
  ASSERT_EQ(chunks[1].data.size(), 16u * 3);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(chunks[1].data[static_cast<std::size_t>(3 * k)], k * 17);

  // A palette shorter than the indices used gets entries for all of them.
  image.SetPalette({platform::clWhite, platform::clBlack});
  chunks = Walk(Save(image));
  EXPECT_EQ(chunks[1].data.size(), 16u * 3);
  // Loaded back: the colours of every pixel stay.
  TPNGImage back;
  Load(back, Save(image));
  EXPECT_EQ(back.Pixel(0, 0), platform::clWhite);
  EXPECT_EQ(back.Pixel(3, 0), platform::clBlack);
}

TEST(PngSave, TrueColourTransparencyAndConversion) {
  TPNGImage image;
  platform::Bitmap source = platform::testkit::RandomBitmap(5, 4, PixelFormat::Bit32, 1);
  image.Assign(source);
  image.SetTransparentColor(platform::RGBColor(10, 20, 30));
  image.SetTransparent(true);
  const Bytes f = Save(image);
  EXPECT_EQ(image.GetPixelFormat(), PixelFormat::Bit24);
  const auto chunks = Walk(f);
  ASSERT_EQ(Types(chunks), "IHDR tRNS IDAT IEND ");
  EXPECT_EQ(chunks[0].data[8], 8);
  EXPECT_EQ(chunks[0].data[9], 2);
  EXPECT_EQ(chunks[1].data, (Bytes{0, 10, 0, 20, 0, 30}));
  EXPECT_EQ(Save(image), f) << "never two tRNS chunks";
  TPNGImage back;
  Load(back, f);
  EXPECT_TRUE(back.Transparent());
  EXPECT_EQ(back.TransparentColor(), platform::RGBColor(10, 20, 30));
  EXPECT_TRUE(platform::SamePixels(back, source));
  // Not transparent any more: the chunk goes.
  back.SetTransparent(false);
  EXPECT_EQ(Types(Walk(Save(back))), "IHDR IDAT IEND ");
  // A transparent palette picture keeps the chunk in its list but writes none.
  TPNGImage pal;
  pal.Assign(platform::testkit::RandomBitmap(3, 3, PixelFormat::Bit8, 2));
  pal.SetTransparent(true);
  EXPECT_EQ(Types(Walk(Save(pal))), "IHDR PLTE IDAT IEND ");
  EXPECT_GE(pal.Chunks().IndexOfClass<TChunkTRNS>(), 0);
}

// Filter bytes of every row of a saved picture.
Bytes FilterTypes(TPNGImage& image) {
  const auto chunks = Walk(Save(image));
  const std::size_t stride = static_cast<std::size_t>(image.Width()) * 3 + 1;
  const Bytes raw = Unzlib(chunks[1].data, stride * static_cast<std::size_t>(image.Height()));
  Bytes types;
  for (std::size_t at = 0; at < raw.size(); at += stride) types.push_back(raw[at]);
  return types;
}

TEST(PngSave, FilterChoice) {
  TPNGImage image;
  platform::Bitmap gradient(40, 6, PixelFormat::Bit24);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 40; ++x) gradient.SetPixel(x, y, platform::RGBColor(x * 6, x * 6 + y * 20, x * 6 + 7));
  image.Assign(gradient);
  // Sub makes every row of a horizontal gradient constant.
  EXPECT_EQ(FilterTypes(image), Bytes(6, ftSub));
  image.SetFilters(FilterBit(ftNone));
  EXPECT_EQ(FilterTypes(image), Bytes(6, ftNone));
  image.SetFilters(0);
  EXPECT_EQ(image.Filters(), FilterBit(ftNone)) << "the empty set holds None";
  // Rows whose pixels repeat the row above: Up wins, but only when allowed.
  platform::Bitmap stripes(40, 6, PixelFormat::Bit24);
  std::mt19937 rng(4);
  for (int x = 0; x < 40; ++x) {
    const platform::Color c = rng() & 0xFFFFFF;
    for (int y = 0; y < 6; ++y) stripes.SetPixel(x, y, c);
  }
  image.Assign(stripes);
  image.SetFilters(kDefaultFilters);
  for (std::uint8_t t : FilterTypes(image)) EXPECT_NE(t, ftUp);
  image.SetFilters(kDefaultFilters | FilterBit(ftUp));
  const Bytes withUp = FilterTypes(image);
  for (std::size_t y = 1; y < withUp.size(); ++y) EXPECT_EQ(withUp[y], ftUp) << y;
  // Rows shorter than 5 bytes: always None.
  image.Assign(platform::testkit::RandomBitmap(1, 4, PixelFormat::Bit24, 5));
  EXPECT_EQ(FilterTypes(image), Bytes(4, ftNone));
  // Loaded back, every filter gives the pixels.
  image.Assign(gradient);
  for (TFilterSet set : {kDefaultFilters, TFilterSet{0x1F}, FilterBit(ftUp), FilterBit(ftAverage)}) {
    image.SetFilters(set);
    TPNGImage back;
    Load(back, Save(image));
    EXPECT_TRUE(platform::SamePixels(back, gradient)) << int(set);
  }
}

TEST(PngSave, EveryFilterUndoesItselfAtEveryPixelSize) {
  // Both the pixel-wise de-filtering and the byte-wise one of machines
  // without it; bytes drawn from a few values as well, so that Paeth's
  // distances tie and sums overflow a byte.
  std::mt19937 rng(6);
  const std::uint8_t few[] = {0, 1, 2, 127, 128, 129, 254, 255};
  for (std::size_t bpp : {1, 2, 3, 4, 6, 8}) {
    for (int type = 0; type < 5; ++type) {
      for (const std::size_t n : {std::size_t{1}, bpp - 1, bpp, bpp * 7 + 1, bpp * 64}) {
        if (n == 0) continue;
        for (const bool ties : {false, true}) {
          Bytes raw(n), prior(n), out(n);
          const auto draw = [&] { return ties ? few[rng() % 8] : static_cast<std::uint8_t>(rng()); };
          for (auto& v : raw) v = draw();
          for (auto& v : prior) v = draw();
          png_coding::Filter(type, raw.data(), prior.data(), out.data(), n, bpp);
          Bytes plain = out;
          png_coding::Unfilter(type, out.data(), prior.data(), n, bpp);
          png_coding::UnfilterPlain(type, plain.data(), prior.data(), n, bpp);
          EXPECT_EQ(out, raw) << "bpp " << bpp << " type " << type << " bytes " << n;
          EXPECT_EQ(plain, raw) << "plain, bpp " << bpp << " type " << type << " bytes " << n;
        }
      }
    }
  }
  // Paeth by hand: left 10, up 20, upper left 15 -> p = 15: pa 5, pb 5, pc 0.
  Bytes row = {10, 0}, up = {0, 20}, expected = {10, 15};
  png_coding::Unfilter(ftPaeth, row.data(), up.data(), 2, 1);
  // first byte: + up 0 = 10; second: left 10, up 20, upper left 0: p 30,
  // pa 20, pb 10, pc 30 -> up 20.
  EXPECT_EQ(row, (Bytes{10, 20}));
  Bytes row2 = {0, 0}, up2 = {15, 20};
  row2[0] = 10 - 15 + 256;  // so that after +up the left byte is 10
  png_coding::Unfilter(ftPaeth, row2.data(), up2.data(), 2, 1);
  EXPECT_EQ(row2, expected);
  EXPECT_EQ(ErrorOf([&] { png_coding::Unfilter(5, row.data(), up.data(), 2, 1); }),
            kHeading + png_text::kUnknownFilter);
}

TEST(PngSave, EmptyPictureAndFailedFileSaveKeepTheOldFile) {
  platform::testkit::TempDir dir("png_save");
  const std::string path = dir / "keep.png";
  TPNGImage good;
  good.Assign(platform::testkit::RandomBitmap(4, 4, PixelFormat::Bit24, 7));
  good.SaveToFile(path);
  const Bytes before = platform::testkit::ReadFile(path);
  Walk(before);
  TPNGImage empty;
  EXPECT_EQ(ErrorOf([&] { empty.SaveToFile(path); }), kHeading + png_text::kEmptySave);
  TPNGImage wide;
  wide.SetPixelFormat(PixelFormat::Bit24);
  wide.SetSize(5, 0);
  EXPECT_THROW(wide.SaveToFile(path), EPNGImageException);
  EXPECT_EQ(platform::testkit::ReadFile(path), before);
  // A folder in the way of the file: an error naming it, nothing left behind.
  std::filesystem::create_directory(dir / "sub.png");
  EXPECT_NE(ErrorOf([&] { good.SaveToFile(dir / "sub.png"); }).find("sub.png"), std::string::npos);
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
  // The old file's permissions carry over to the new one.
  chmod(path.c_str(), 0640);
  good.SaveToFile(path);
  struct stat st {};
  stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// --- loading ---

TEST(PngLoad, MessagesOfDamagedFiles) {
  Bytes f = Grey8(2, 2, {1, 2, 3, 4});
  Bytes sig = f;
  sig[1] = 'Q';
  EXPECT_EQ(LoadError(sig), kHeading + png_text::kInvalidHeader);
  EXPECT_EQ(LoadError(Bytes(kSig.begin(), kSig.begin() + 5)), kHeading + png_text::kInvalidHeader);
  // One flipped data byte of the IDAT chunk.
  Bytes flipped = f;
  flipped[8 + 25 + 8 + 3] ^= 0x01;
  EXPECT_EQ(LoadError(flipped), kHeading + "Can't read the PNG image, it has corrupted data. ");
  EXPECT_EQ(LoadError(File({Chunk("tEXt", {1, 2}), Ihdr(1, 1, 8, 0),
                             Chunk("IDAT", Zlib({0, 0})), Iend()})),
            kHeading + png_text::kNoIHDR);
  EXPECT_EQ(LoadError(File({Ihdr(1, 1, 8, 0), Iend()})), kHeading + png_text::kNoData);
  EXPECT_EQ(LoadError(File({Ihdr(1, 1, 8, 0), Chunk("ABCD", {}), Chunk("IDAT", Zlib({0, 0})), Iend()})),
            kHeading + png_text::kUnknownCritical);
  EXPECT_EQ(LoadError(File({Ihdr(1, 1, 8, 3), Chunk("IDAT", Zlib({0, 0})), Iend()})), kHeading + png_text::kNoPalette);
  EXPECT_EQ(LoadError(File({Ihdr(1, 1, 8, 3), Chunk("PLTE", {1, 2, 3, 4}), Chunk("IDAT", Zlib({0, 0})), Iend()})),
            kHeading + png_text::kInvalidPalette);
  EXPECT_EQ(LoadError(File({Ihdr(1, 1, 8, 5), Chunk("IDAT", Zlib({0, 0})), Iend()})),
            kHeading + png_text::kUnknownColorType);
  EXPECT_EQ(LoadError(File({Ihdr(1, 1, 8, 0, 2), Chunk("IDAT", Zlib({0, 0})), Iend()})),
            kHeading + png_text::kUnknownInterlace);
  EXPECT_EQ(LoadError(File({Ihdr(1, 1, 8, 0), Chunk("IDAT", Zlib({7, 0})), Iend()})), kHeading + png_text::kUnknownFilter);
  // Damaged compressed data: zlib's text.
  Bytes z = Zlib({0, 9});
  z[0] = 0x00;
  EXPECT_EQ(LoadError(File({Ihdr(1, 1, 8, 0), Chunk("IDAT", z), Iend()})), "data error");
}

TEST(PngLoad, HeaderChecksComeBeforeAnyAllocation) {
  const Bytes idat = Chunk("IDAT", Zlib({0, 0}));
  // Bit depths that do not fit the colour type.
  for (auto [depth, type] : {std::pair{4, 2}, {1, 4}, {16, 3}, {3, 0}, {0, 0}, {99, 2}, {2, 6}})
    EXPECT_EQ(LoadError(File({Ihdr(1, 1, depth, type), idat, Iend()})), kHeading + png_text::kInvalidDepth)
        << depth << "/" << type;
  for (auto [w, h] : {std::pair{0u, 1u}, {1u, 0u}, {0x80000000u, 1u}, {1u, 0xFFFFFFFFu}})
    EXPECT_EQ(LoadError(File({Ihdr(w, h, 8, 0), idat, Iend()})), kHeading + png_text::kInvalidSize);
  EXPECT_EQ(LoadError(File({Ihdr(100000, 100000, 8, 2), idat, Iend()})), kHeading + png_text::kTooLarge);
  EXPECT_EQ(LoadError(File({Ihdr(60000, 60000, 8, 2), idat, Iend()})), kHeading + png_text::kTooLarge)
      << "within the side cap, beyond the byte cap";
  Bytes d;
  Put32(d, 1);
  Put32(d, 1);
  d.insert(d.end(), {8, 0, 0, 0});  // 12 bytes
  EXPECT_EQ(LoadError(File({Chunk("IHDR", d), idat, Iend()})), kHeading + png_text::kInvalidIHDR);
  d.insert(d.end(), {0, 0});  // 14 bytes
  EXPECT_EQ(LoadError(File({Chunk("IHDR", d), idat, Iend()})), kHeading + png_text::kInvalidIHDR);
  EXPECT_EQ(LoadError(File({Ihdr(1, 1, 8, 0), Ihdr(1, 1, 8, 0), idat, Iend()})), kHeading + png_text::kNoIHDR);
  // Lengths above 2^31 - 1 or past the end of the file.
  Bytes huge = File({Ihdr(1, 1, 8, 0)});
  Put32(huge, 0xFFFFFFF0u);
  huge.insert(huge.end(), {'I', 'D', 'A', 'T', 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(LoadError(huge), kHeading + png_text::kCorrupted);
  Bytes past = File({Ihdr(1, 1, 8, 0)});
  Put32(past, 1000);
  past.insert(past.end(), {'I', 'D', 'A', 'T', 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(LoadError(past), kHeading + png_text::kCorrupted);
}

TEST(PngLoad, FailedLoadLeavesThePictureAsItWas) {
  TPNGImage image;
  Load(image, Grey8(2, 1, {10, 200}));
  const platform::Color a = image.Pixel(0, 0), b = image.Pixel(1, 0);
  for (const Bytes& bad : {Bytes(kSig.begin(), kSig.end()), File({Ihdr(100000, 100000, 8, 2), Iend()}),
                           File({Ihdr(1, 1, 4, 2), Chunk("IDAT", Zlib({0, 0})), Iend()})}) {
    EXPECT_THROW(Load(image, bad), platform::GraphicError);
    ASSERT_EQ(image.Width(), 2);
    EXPECT_EQ(image.Pixel(0, 0), a);
    EXPECT_EQ(image.Pixel(1, 0), b);
    EXPECT_EQ(image.Chunks().Count(), 3);
  }
}

// Three rows of 4 grey pixels (filter byte 0 before each row).
const Bytes kThreeRows = {0, 1, 2, 3, 4, 0, 5, 6, 7, 8, 0, 9, 10, 11, 12};

void ExpectThreeRows(const TPNGImage& image) {
  ASSERT_EQ(image.Width(), 4);
  ASSERT_EQ(image.Height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(image.PixelIndex(x, y), y * 4 + x + 1) << x << "," << y;
}

TEST(PngLoad, ImageDataThatEndsBeforeTheLastRowIsRefused) {
  Bytes half(kThreeRows.begin(), kThreeRows.begin() + 8);
  TPNGImage image;
  // Rows that could not be read are zero; none keeps a byte of another row.
  EXPECT_EQ(ErrorOf([&] { Load(image, File({Ihdr(4, 3, 8, 0), Chunk("IDAT", Zlib(half)), Iend()})); }),
            kHeading + png_text::kShortData);
  ASSERT_EQ(image.Width(), 4);
  EXPECT_EQ(image.PixelIndex(3, 0), 4);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(image.PixelIndex(x, 1), 0) << x;
  for (int x = 0; x < 4; ++x) EXPECT_EQ(image.PixelIndex(x, 2), 0) << x;
}

TEST(PngLoad, ImageDataLongerThanThePictureIsRead) {
  Bytes more = kThreeRows;
  more.insert(more.end(), {0, 1, 1, 1, 1});
  TPNGImage image;
  Load(image, File({Ihdr(4, 3, 8, 0), Chunk("IDAT", Zlib(more)), Iend()}));
  ExpectThreeRows(image);
}

TEST(PngLoad, BytesAfterTheZlibStreamAreIgnored) {
  Bytes trailing = Zlib(kThreeRows);
  trailing.insert(trailing.end(), 100, 0x5A);
  TPNGImage image;
  Load(image, File({Ihdr(4, 3, 8, 0), Chunk("IDAT", trailing), Iend()}));
  ExpectThreeRows(image);
}

TEST(PngLoad, ZlibStreamWithoutItsChecksumIsRead) {
  Bytes cut = Zlib(kThreeRows);
  cut.resize(cut.size() - 4);  // the Adler-32 checksum
  TPNGImage image;
  Load(image, File({Ihdr(4, 3, 8, 0), Chunk("IDAT", cut), Iend()}));
  ExpectThreeRows(image);
}

TEST(PngLoad, ChunkList) {
  const Bytes z = Zlib({0, 10, 20, 0, 30, 40});
  const Bytes a(z.begin(), z.begin() + 3), b(z.begin() + 3, z.begin() + 5), c(z.begin() + 5, z.end());
  TPNGImage image;
  Load(image, File({Ihdr(2, 2, 8, 0), Chunk("IDAT", a), Chunk("IDAT", b), Chunk("IDAT", c), Iend()}));
  ASSERT_EQ(image.Chunks().Count(), 3);
  EXPECT_EQ(image.Chunks().Items(1).Data.Bytes(), z);
  EXPECT_EQ(image.PixelIndex(1, 1), 40);
  // Ancillary chunks of unknown type are held as read; tIME too.
  Load(image, File({Ihdr(2, 2, 8, 0), Chunk("tIME", {7, 208, 1, 2, 3, 4, 5}), Chunk("zzZz", {1, 2, 3}),
                    Chunk("IDAT", z), Iend()}));
  ASSERT_EQ(image.Chunks().Count(), 5);
  EXPECT_EQ(ChunkTypeName(image.Chunks().Items(1).ChunkType), "tIME");
  const TChunk& unknown = image.Chunks().Items(2);
  EXPECT_EQ(typeid(unknown), typeid(TChunk));
  EXPECT_EQ(image.Chunks().Items(2).Data.Bytes(), (Bytes{1, 2, 3}));
  EXPECT_FALSE(image.Transparent());
  // The type is compared exactly: "idat" is an unknown ancillary chunk.
  Load(image, File({Ihdr(2, 2, 8, 0), Chunk("idat", {1}), Chunk("IDAT", z), Iend()}));
  const TChunk& lowerCase = image.Chunks().Items(1);
  EXPECT_EQ(typeid(lowerCase), typeid(TChunk));
  // No IEND: the file is read to its end.
  Load(image, File({Ihdr(2, 2, 8, 0), Chunk("IDAT", z)}));
  EXPECT_EQ(image.Chunks().Count(), 2);
  EXPECT_EQ(image.PixelIndex(0, 1), 30);
  // Bytes after IEND are not read.
  Bytes tail = File({Ihdr(2, 2, 8, 0), Chunk("IDAT", z), Iend()});
  tail.insert(tail.end(), {1, 2, 3});
  Load(image, tail);

  EXPECT_EQ(ErrorOf([&] { image.Chunks().Items(3); }), kHeading + png_text::kChunkIndex);
  EXPECT_EQ(ErrorOf([&] { image.Chunks().Move(-1, 0); }), kHeading + png_text::kChunkIndex);
  TPNGImage other;
  EXPECT_EQ(ErrorOf([&] { image.Chunks().Remove(other.Chunks().Items(0)); }), kHeading + png_text::kChunkNotInList);
  EXPECT_EQ(ErrorOf([&] { ChunkClasses().Get(ChunkClasses().Count()); }), kHeading + png_text::kClassIndex);
  EXPECT_EQ(ChunkTypeName(ChunkClasses().Get(0).type), "IEND");
  EXPECT_EQ(ChunkTypeName(ChunkClasses().Get(7).type), "tIME");
  EXPECT_EQ(ChunkClasses().IndexOfType(ChunkTypeOf("gAMA")), 2);
  EXPECT_EQ(ChunkClasses().IndexOfClass(typeid(TChunkTRNS)), 6);
  // A new chunk takes the type of its class; a new picture's list.
  EXPECT_EQ(ChunkTypeName(TChunkGAMA(&other.Chunks()).ChunkType), "gAMA");
  EXPECT_EQ(TChunkGAMA(&other.Chunks()).Value(), 1u);
  EXPECT_EQ(other.Chunks().Count(), 3);
  EXPECT_EQ(other.Filters(), 27);
}

TEST(PngSave, WhichChunksASaveKeeps) {
  TPNGImage image;
  Load(image, File({Ihdr(2, 1, 8, 2), Chunk("tEXt", {'a', 0, 'b'}), Chunk("tIME", {7, 208, 1, 2, 3, 4, 5}),
                    Chunk("prVt", {9}), Chunk("prVT", {8}), Chunk("IDAT", Zlib({0, 1, 2, 3, 4, 5, 6})), Iend()}));
  const auto chunks = Walk(Save(image));
  EXPECT_EQ(Types(chunks), "IHDR tEXt prVt IDAT IEND ");
  EXPECT_EQ(chunks[1].data, (Bytes{'a', 0, 'b'}));
  // Assign takes chunks and filters along.
  image.SetFilters(FilterBit(ftUp));
  TPNGImage copy;
  copy.Assign(image);
  EXPECT_EQ(copy.Filters(), FilterBit(ftUp) | FilterBit(ftNone));
  EXPECT_EQ(Types(Walk(Save(copy))), "IHDR tEXt prVt IDAT IEND ");
  EXPECT_TRUE(platform::SamePixels(copy, image));
}

TEST(PngLoad, TransparencyForms) {
  const Bytes z = Zlib({0, 1, 2, 3, 10, 20, 30});
  const auto colourOf = [&](const Bytes& trns, int depth = 8) -> std::optional<platform::Color> {
    TPNGImage image;
    Bytes zz = depth == 8 ? z : Zlib({0, 1, 0, 2, 0, 3, 0, 10, 0, 20, 0, 30, 0});
    Load(image, File({Ihdr(2, 1, depth, 2), Chunk("tRNS", trns), Chunk("IDAT", zz), Iend()}));
    if (!image.Transparent()) return std::nullopt;
    return image.TransparentColor();
  };
  EXPECT_EQ(colourOf({0, 10, 0, 20, 0, 30}), platform::RGBColor(10, 20, 30));
  EXPECT_EQ(colourOf({10, 0, 20, 0, 30, 0}, 16), platform::RGBColor(10, 20, 30)) << "the high bytes";
  EXPECT_EQ(colourOf({1, 2, 3}), platform::RGBColor(1, 2, 3)) << "earlier three-byte form";
  EXPECT_EQ(colourOf({1, 2}), std::nullopt);
  EXPECT_EQ(colourOf({}), std::nullopt);
  // Grey: the two-byte sample as the bitmap shows it.
  TPNGImage grey;
  Load(grey, File({Ihdr(2, 1, 8, 0), Chunk("tRNS", {0, 200}), Chunk("IDAT", Zlib({0, 200, 3})), Iend()}));
  EXPECT_TRUE(grey.Transparent());
  EXPECT_EQ(grey.TransparentColor(), platform::RGBColor(200, 200, 200));
}

// --- gamma ---

double Expected(int i, double g) { return std::nearbyint(255.0 * std::pow(i / 255.0, 1.0 / (g * 2.2))); }

TEST(PngGamma, Tables) {
  std::uint8_t gamma[256], inverse[256];
  png_coding::BuildGammaTables(100000, gamma, inverse);
  EXPECT_EQ(gamma[0], 0);
  EXPECT_EQ(gamma[1], 21);
  EXPECT_EQ(gamma[2], 28);
  EXPECT_EQ(gamma[64], 136);
  EXPECT_EQ(gamma[128], 186);
  EXPECT_EQ(gamma[200], 228);
  EXPECT_EQ(gamma[255], 255);
  for (std::uint32_t value : {45455u, 100000u, 250000u, 35000u}) {
    png_coding::BuildGammaTables(value, gamma, inverse);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(gamma[i], Expected(i, value / 100000.0)) << value << " " << i;
    for (int v = 0; v < 256; ++v) {
      // The inverse gives the sample whose gamma value comes nearest, and for
      // values that samples reach, the last of those samples.
      int nearest = 256;
      for (int i = 0; i < 256; ++i) nearest = std::min(nearest, std::abs(gamma[i] - v));
      EXPECT_EQ(std::abs(gamma[inverse[v]] - v), nearest) << value << " " << v;
      if (nearest == 0) {
        EXPECT_TRUE(inverse[v] == 255 || gamma[inverse[v] + 1] != v);
      }
    }
  }
  png_coding::BuildGammaTables(45455, gamma, inverse);
  for (int i = 0; i < 256; ++i) EXPECT_LE(std::abs(gamma[i] - i), 1);
}

Bytes Gama(std::uint32_t v) {
  Bytes d;
  Put32(d, v);
  return Chunk("gAMA", d);
}

TEST(PngGamma, WhereGammaCountsAndDrawnColoursKeepTheirBrightness) {
  const Bytes rgb = Zlib({0, 64, 128, 200});
  TPNGImage image;
  Load(image, File({Ihdr(1, 1, 8, 2), Gama(100000), Chunk("IDAT", rgb), Iend()}));
  EXPECT_EQ(image.Pixel(0, 0), platform::RGBColor(136, 186, 228));
  Load(image, File({Ihdr(1, 1, 8, 2), Gama(0), Chunk("IDAT", rgb), Iend()}));
  EXPECT_EQ(image.Pixel(0, 0), platform::RGBColor(64, 128, 200)) << "gamma 0 counts as none";
  Load(image, File({Ihdr(1, 1, 8, 2), Chunk("IDAT", rgb), Gama(100000), Iend()}));
  EXPECT_EQ(image.Pixel(0, 0), platform::RGBColor(64, 128, 200)) << "gamma after the data is ignored";
  EXPECT_EQ(Types(Walk(Save(image))), "IHDR IDAT IEND ");

  // Every colour drawn into a gamma picture comes back as it was drawn, or
  // as near as the table allows.
  Load(image, File({Ihdr(1, 1, 8, 2), Gama(100000), Chunk("IDAT", rgb), Iend()}));
  std::uint8_t gamma[256], inverse[256];
  png_coding::BuildGammaTables(100000, gamma, inverse);
  platform::Bitmap drawn(256, 1, PixelFormat::Bit24);
  for (int x = 0; x < 256; ++x) drawn.SetPixel(x, 0, platform::RGBColor(x, 255 - x, x / 2));
  image.platform::Bitmap::Assign(drawn);
  TPNGImage back;
  Load(back, Save(image));
  for (int x = 0; x < 256; ++x) {
    const platform::Color c = back.Pixel(x, 0);
    for (auto [got, want] : {std::pair{platform::GetRValue(c), x}, {platform::GetGValue(c), 255 - x},
                             {platform::GetBValue(c), x / 2}}) {
      int nearest = 256;
      for (int i = 0; i < 256; ++i) nearest = std::min(nearest, std::abs(gamma[i] - want));
      EXPECT_EQ(std::abs(got - want), nearest) << x;
    }
  }
}

// --- pixel formats ---

TEST(PngLoad, TwoBitGreyBecomesFourBits) {
  TPNGImage image;
  Load(image, File({Ihdr(4, 1, 2, 0), Chunk("IDAT", Zlib({0, 0x1B})), Iend()}));  // 0 1 2 3
  EXPECT_EQ(image.GetPixelFormat(), PixelFormat::Bit4);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(image.PixelIndex(x, 0), x * 5);
  const auto p = image.GetPalette();
  ASSERT_EQ(p.size(), 16u);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(p[static_cast<std::size_t>(k)] & 0xFF, (k % 4) * 85u) << k;
  // 16-bit grey with Sub uses a distance of two bytes: 0x1234, +0x0101.
  Load(image, File({Ihdr(2, 1, 16, 0), Chunk("IDAT", Zlib({1, 0x12, 0x34, 0x01, 0x01})), Iend()}));
  EXPECT_EQ(image.GetPixelFormat(), PixelFormat::Bit8);
  EXPECT_EQ(image.PixelIndex(0, 0), 0x12);
  EXPECT_EQ(image.PixelIndex(1, 0), 0x13);
  // Alpha never reaches the bitmap.
  Load(image, File({Ihdr(1, 1, 8, 6), Chunk("IDAT", Zlib({0, 1, 2, 3, 0})), Iend()}));
  EXPECT_EQ(image.Pixel(0, 0), platform::RGBColor(1, 2, 3));
  Load(image, File({Ihdr(1, 1, 8, 4), Chunk("IDAT", Zlib({0, 77, 0})), Iend()}));
  EXPECT_EQ(image.PixelIndex(0, 0), 77);
  // Interlaced width 1: passes 2, 4 and 6 hold nothing. Rows of passes 1, 3,
  // 5, 7 for a 1 x 8 picture: 1, 1, 2, 4 rows, each first row against zeros.
  Bytes raw;
  const int rows[] = {0, 4, 2, 6, 1, 3, 5, 7};
  for (int i = 0; i < 8; ++i) raw.insert(raw.end(), {2, static_cast<std::uint8_t>(10 + rows[i])});
  Load(image, File({Ihdr(1, 8, 8, 0, 1), Chunk("IDAT", Zlib(raw)), Iend()}));
  // Up adds the row before in the same pass; the first row of a pass adds 0.
  const int expected[] = {10, 11, 12, 13 + 11, 14, 15 + 13 + 11, 16 + 12, 17 + 15 + 13 + 11};
  for (int y = 0; y < 8; ++y) EXPECT_EQ(image.PixelIndex(0, y), expected[y]) << y;
}

TEST(PngLoad, ProgressPerRow) {
  TPNGImage image;
  std::vector<int> percents;
  image.SetOnProgress([&](platform::Graphic& sender, platform::ProgressStage stage, int percent, bool, const platform::Rect& r,
                          const std::string& message) {
    EXPECT_EQ(&sender, &image);
    EXPECT_EQ(stage, platform::ProgressStage::Running);
    EXPECT_EQ(message, "Drawing...");
    EXPECT_EQ(r.Width(), 4);
    percents.push_back(percent);
  });
  Load(image, Grey8(4, 4, Bytes(16, 1)));
  EXPECT_EQ(percents, (std::vector<int>{0, 25, 50, 75}));
}

}  // namespace
