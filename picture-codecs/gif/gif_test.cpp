// The GIF object tree: stream layout byte for byte, extensions and their
// registries, frames, colour maps and the picture class, with the damaged
// and unusual inputs they must survive.
#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/stream_util.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMimeData>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "picture-codecs/codecs.h"
#include "picture-codecs/gif/palettes.h"
#include "platform/canvas.h"
#include "platform/picture.h"
#include "platform/test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::RGBColor;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct Loaded {
  std::unique_ptr<gif::TGIFImage> image = std::make_unique<gif::TGIFImage>();
  std::vector<std::string> warnings;
  std::string error;
};

Loaded Load(const Bytes& bytes) {
  Loaded l;
  l.image->SetOnWarning([&w = l.warnings](const gif::GIFObject*, int, const std::string& m) { w.push_back(m); });
  platform::MemoryStream in(bytes);
  try {
    l.image->LoadFromStream(in);
  } catch (const std::exception& e) {
    l.error = e.what();
  }
  return l;
}

Bytes Save(gif::TGIFImage& image) {
  platform::MemoryStream out;
  image.SaveToStream(out);
  return out.Bytes();
}

bool Has(const std::vector<std::string>& list, const char* m) {
  return std::find(list.begin(), list.end(), m) != list.end();
}

// A screen of w x h with a global map of the colours and one frame of the
// pixels covering it.
std::unique_ptr<gif::TGIFImage> MakeImage(int w, int h, const std::vector<platform::Color>& colours,
                                          const Bytes& pixels) {
  auto image = std::make_unique<gif::TGIFImage>();
  for (auto c : colours) image->GlobalMapOf().AddColour(c);
  auto* frame = new gif::TGIFSubImage(image.get());
  frame->SetFrameBounds(0, 0, w, h);
  std::memcpy(frame->Pixels(), pixels.data(), pixels.size());
  image->AddFrame(frame);
  return image;
}

// The smallest frame data: code size 2, clear, 0, end.
const Bytes kOnePixelData{0x02, 0x02, 0x44, 0x01, 0x00};
Bytes Descriptor(int l, int t, int w, int h, std::uint8_t flags = 0) {
  return {0x2C, static_cast<std::uint8_t>(l), static_cast<std::uint8_t>(l >> 8), static_cast<std::uint8_t>(t),
          static_cast<std::uint8_t>(t >> 8), static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8),
          static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(h >> 8), flags};
}
const Bytes kHeader1x1 = Cat({Text("GIF89a"), {1, 0, 1, 0, 0x80, 0, 0}, {0, 0, 0, 255, 255, 255}});
const Bytes kFrame1x1 = Cat({Descriptor(0, 0, 1, 1), kOnePixelData});

TEST(GifStream, RedBlueFileByteForByte) {
  auto image = MakeImage(2, 1, {RGBColor(255, 0, 0), RGBColor(0, 0, 255)}, {0, 1});
  // Worked out from the format: 87a (no extension), flags 0x80 (a table of
  // 2 entries, resolution 0), codes clear 4, 0, 1, end 5 at 3 bits.
  const Bytes expect = Cat({Text("GIF87a"), {2, 0, 1, 0, 0x80, 0, 0}, {255, 0, 0, 0, 0, 255},
                            Descriptor(0, 0, 2, 1), {0x02, 0x02, 0x44, 0x0A, 0x00, 0x3B}});
  EXPECT_EQ(Save(*image), expect);
  Loaded back = Load(expect);
  ASSERT_EQ(back.error, "");
  ASSERT_EQ(back.image->FrameCount(), 1);
  EXPECT_EQ(back.image->Frame(0)->PixelAt(0, 0), 0);
  EXPECT_EQ(back.image->Frame(0)->PixelAt(1, 0), 1);
  EXPECT_EQ(back.image->GlobalMapOf().ColourAt(1), RGBColor(0, 0, 255));
  EXPECT_TRUE(back.warnings.empty());
}

TEST(GifStream, ColourTableSizes) {
  // 3 colours: 4 entries written, the fourth zero, size field 1.
  auto three = MakeImage(1, 1, {1, 2, 3}, {0});
  const Bytes b3 = Save(*three);
  EXPECT_EQ(b3[10] & 7, 1);
  EXPECT_EQ(Bytes(b3.begin() + 13, b3.begin() + 25), (Bytes{1, 0, 0, 2, 0, 0, 3, 0, 0, 0, 0, 0}));
  auto one = MakeImage(1, 1, {RGBColor(9, 8, 7)}, {0});
  const Bytes b1 = Save(*one);
  EXPECT_EQ(b1[10] & 7, 0);
  EXPECT_EQ(b1[19], 0x2C) << "two entries, then the descriptor";
  // Reading: size field 0 reads 2 entries, 7 reads 256.
  for (int field : {0, 7}) {
    Bytes file = Cat({Text("GIF89a"), {1, 0, 1, 0, static_cast<std::uint8_t>(0x80 | field), 0, 0}});
    file.resize(file.size() + 3u * (2u << field), 5);
    file = Cat({file, kFrame1x1, {0x3B}});
    Loaded l = Load(file);
    ASSERT_EQ(l.error, "") << field;
    EXPECT_EQ(l.image->GlobalMapOf().EntryCount(), 2 << field);
    EXPECT_TRUE(l.warnings.empty());
  }
  // A global table cut short.
  EXPECT_EQ(Load(Cat({Text("GIF89a"), {1, 0, 1, 0, 0x81, 0, 0}, {1, 2, 3}})).error, gif::msg::kPrematureEnd);
}

TEST(GifStream, SignatureVersionAndBlockLoop) {
  const Bytes good = Cat({kHeader1x1, kFrame1x1, {0x3B}});
  // Four bytes of something else before the signature; lower case; any
  // version bytes.
  EXPECT_EQ(Load(Cat({{1, 2, 3, 4}, good})).error, "");
  Bytes lower = good;
  std::memcpy(lower.data(), "gif", 3);
  EXPECT_EQ(Load(lower).error, "");
  Bytes version = good;
  std::memcpy(version.data() + 3, "XYZ", 3);
  EXPECT_EQ(Load(version).error, "");
  Bytes bad = good;
  bad[1] = 'X';
  EXPECT_EQ(Load(bad).error, gif::msg::kBadSignature);
  EXPECT_EQ(Load(Bytes(good.begin(), good.begin() + 8)).error, gif::msg::kPrematureEnd);

  // Zero bytes between blocks are skipped; 00 3B ends normally.
  Loaded zeros = Load(Cat({kHeader1x1, {0, 0}, kFrame1x1, {0, 0}, kFrame1x1, {0, 0x3B}}));
  EXPECT_EQ(zeros.error, "");
  EXPECT_EQ(zeros.image->FrameCount(), 2);
  EXPECT_TRUE(zeros.warnings.empty());
  // No trailer: no warning.
  Loaded noTrailer = Load(Cat({kHeader1x1, kFrame1x1}));
  EXPECT_EQ(noTrailer.image->FrameCount(), 1);
  EXPECT_TRUE(noTrailer.warnings.empty());
  // An unknown block: a warning, the frames so far stay.
  Loaded unknown = Load(Cat({kHeader1x1, kFrame1x1, {0x99, 1, 2}}));
  EXPECT_EQ(unknown.error, "");
  EXPECT_EQ(unknown.image->FrameCount(), 1);
  EXPECT_TRUE(Has(unknown.warnings, gif::msg::kUnknownBlock));
}

TEST(GifStream, VersionFromTheFrames) {
  auto image = MakeImage(1, 1, {0, 1}, {0});
  EXPECT_EQ(image->ImageVersion(), gif::kVersion87a);
  image->Frame(0)->Extensions().AddItem(new gif::TGIFCommentExtension(image->Frame(0)));
  EXPECT_EQ(image->ImageVersion(), gif::kVersion89a);
  const Bytes saved = Save(*image);
  EXPECT_EQ(std::string(saved.begin(), saved.begin() + 6), "GIF89a");
  gif::TGIFImage empty;
  platform::MemoryStream out;
  EXPECT_THROW(
      {
        try {
          empty.SaveToStream(out);
        } catch (const gif::GIFException& e) {
          EXPECT_STREQ(e.what(), gif::msg::kBadVersion);
          throw;
        }
      },
      gif::GIFException);
  EXPECT_EQ(out.Size(), 0);
  // A sorted local map needs 89a by itself.
  auto sorted = MakeImage(1, 1, {0, 1}, {0});
  sorted->Frame(0)->LocalMap().AddColour(5);
  sorted->Frame(0)->LocalMap().SetSorted(true);
  EXPECT_EQ(sorted->ImageVersion(), gif::kVersion89a);
}

TEST(GifExtensions, LoopingExtensionBytes) {
  auto image = MakeImage(1, 1, {0, 1}, {0});
  auto* loop = new gif::TGIFAppExtNSLoop(image->Frame(0));
  loop->LoopCount = 0x1234;
  image->Frame(0)->Extensions().AddItem(loop);
  platform::MemoryStream out;
  loop->SaveToStream(out);
  const Bytes expect19 = Cat({{0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x03, 0x01, 0x34, 0x12, 0x00}});
  EXPECT_EQ(out.Bytes(), expect19);
  EXPECT_EQ(out.Bytes().size(), 19u);
  loop->BufferSize = 0x01020304;
  platform::MemoryStream out2;
  loop->SaveToStream(out2);
  EXPECT_EQ(out2.Bytes(), Cat({{0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"),
                                {0x03, 0x01, 0x34, 0x12, 0x05, 0x02, 0x04, 0x03, 0x02, 0x01, 0x00}}));

  // Reading: "ANIMEXTS1.0" is a looping extension too and keeps its name; an
  // id of 0x09 counts as 1; a sub-block too short for its id is refused.
  const Bytes anim = Cat({{0x21, 0xFF, 0x0B}, Text("ANIMEXTS1.0"), {0x03, 0x09, 0x05, 0x00, 0x00}});
  Loaded l = Load(Cat({kHeader1x1, anim, kFrame1x1, {0x3B}}));
  ASSERT_EQ(l.error, "");
  auto* read = dynamic_cast<gif::TGIFAppExtNSLoop*>(l.image->Frame(0)->Extensions().Extension(0));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->LoopCount, 5);
  platform::MemoryStream again;
  read->SaveToStream(again);
  EXPECT_EQ(again.Bytes(), Cat({{0x21, 0xFF, 0x0B}, Text("ANIMEXTS1.0"), {0x03, 0x01, 0x05, 0x00, 0x00}}));
  EXPECT_EQ(Load(Cat({kHeader1x1, {0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x02, 0x01, 0x05, 0x00}, kFrame1x1}))
                .error,
            gif::msg::kBadData);
}

TEST(GifExtensions, ApplicationBlockSizes) {
  // Unknown identifiers keep their data blocks and write them back.
  const Bytes xmp = Cat({{0x21, 0xFF, 0x0B}, Text("XMP DataXMP"), {0x02, 'a', 'b', 0x01, 'c', 0x00}});
  Loaded l = Load(Cat({kHeader1x1, xmp, kFrame1x1}));
  ASSERT_EQ(l.error, "");
  auto* unknown = dynamic_cast<gif::TGIFUnknownAppExtension*>(l.image->Frame(0)->Extensions().Extension(0));
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(unknown->Blocks.size(), 2u);
  platform::MemoryStream out;
  unknown->SaveToStream(out);
  EXPECT_EQ(out.Bytes(), xmp);
  // A block of 10 identifier bytes reads 10 and starts its data right after.
  Loaded ten = Load(Cat({kHeader1x1, {0x21, 0xFF, 0x0A}, Text("ABCDEFGHIJ"), {0x01, 'z', 0x00}, kFrame1x1}));
  ASSERT_EQ(ten.error, "");
  auto* t = dynamic_cast<gif::TGIFUnknownAppExtension*>(ten.image->Frame(0)->Extensions().Extension(0));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Identifier[9], 'J');
  EXPECT_EQ(t->Identifier[10], 0);
  ASSERT_EQ(t->Blocks.size(), 1u);
  EXPECT_EQ(t->Blocks[0].BlockData[0], 'z');
  EXPECT_EQ(ten.image->Frame(0)->PixelCount(), 1);
  // Below 10: refused, whatever the class.
  EXPECT_EQ(Load(Cat({kHeader1x1, {0x21, 0xFF, 0x05}, Text("ABCDE"), {0x00}, kFrame1x1})).error,
            gif::msg::kBadAppBlockSize);
  // 12 bytes: resolved by the first 11.
  Loaded twelve = Load(Cat({kHeader1x1, {0x21, 0xFF, 0x0C}, Text("NETSCAPE2.0!"), {0x03, 0x01, 0x07, 0x00, 0x00},
                            kFrame1x1}));
  ASSERT_EQ(twelve.error, "");
  auto* loop = dynamic_cast<gif::TGIFAppExtNSLoop*>(twelve.image->Frame(0)->Extensions().Extension(0));
  ASSERT_NE(loop, nullptr);
  EXPECT_EQ(loop->LoopCount, 7);
}

TEST(GifExtensions, GraphicControlAndTransparency) {
  const Bytes gce{0x21, 0xF9, 0x04, 0x09, 0x0A, 0x00, 0x05, 0x00};
  const Bytes header16 = Cat({Text("GIF89a"), {1, 0, 1, 0, 0x83, 0, 0}, Bytes(48, 7)});
  Loaded l = Load(Cat({header16, gce, kFrame1x1, {0x3B}}));
  ASSERT_EQ(l.error, "");
  gif::TGIFSubImage* frame = l.image->Frame(0);
  gif::TGIFGraphicControlExtension* c = frame->ControlExtension();
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->IsTransparent());
  EXPECT_EQ(c->DisposalMethod(), 2);
  EXPECT_EQ(c->DelayTime(), 10);
  EXPECT_EQ(c->TransparentIndex(), 5);
  EXPECT_FALSE(c->WaitsForInput());
  EXPECT_TRUE(frame->HasTransparency());
  platform::MemoryStream out;
  c->SaveToStream(out);
  EXPECT_EQ(out.Bytes(), gce);
  c->SetDisposalMethod(3);
  EXPECT_EQ(c->Data()[1], 0x0D);

  // The active map has 16 entries: index 200 warns and stores 0.
  c->SetTransparentIndex(200);
  EXPECT_EQ(c->TransparentIndex(), 0);
  EXPECT_TRUE(Has(l.warnings, gif::msg::kBadColourIndex));
  gif::TGIFImage bare;
  auto* f2 = new gif::TGIFSubImage(&bare);
  bare.AddFrame(f2);
  auto* c2 = new gif::TGIFGraphicControlExtension(f2);
  f2->Extensions().AddItem(c2);
  c2->SetTransparentIndex(200);
  EXPECT_EQ(c2->TransparentIndex(), 200);

  // A second control extension never makes the frame transparent; only the
  // first one counts, and destroying it clears the transparency.
  auto* second = new gif::TGIFGraphicControlExtension(f2);
  f2->Extensions().AddItem(second);
  second->SetTransparency(true);
  EXPECT_EQ(f2->ControlExtension(), c2);
  EXPECT_FALSE(f2->HasTransparency());
  c2->SetTransparency(true);
  EXPECT_TRUE(f2->HasTransparency());
  delete c2;
  EXPECT_EQ(f2->ControlExtension(), nullptr);
  EXPECT_FALSE(f2->HasTransparency());
  EXPECT_EQ(f2->Extensions().ItemCount(), 1);

  // A control extension cut short is only a warning.
  Loaded cut = Load(Cat({kHeader1x1, {0x21, 0xF9, 0x04, 0x01}}));
  EXPECT_EQ(cut.error, "");
  EXPECT_TRUE(Has(cut.warnings, gif::msg::kPrematureEnd));
}

TEST(GifExtensions, TextInSubBlocks) {
  auto image = MakeImage(1, 1, {0, 1}, {0});
  auto* comment = new gif::TGIFCommentExtension(image->Frame(0));
  image->Frame(0)->Extensions().AddItem(comment);
  comment->CommentLines = {std::string(300, 'x')};
  platform::MemoryStream out;
  comment->SaveToStream(out);
  const Bytes& b = out.Bytes();
  ASSERT_EQ(b.size(), 2u + 1 + 255 + 1 + 45 + 1);
  EXPECT_EQ(b[2], 255);
  EXPECT_EQ(b[258], 45);
  EXPECT_EQ(b.back(), 0);
  Loaded l = Load(Cat({kHeader1x1, b, {0x21, 0xFE, 0x04, 'a', 0, 'b', 'c', 0x00}, kFrame1x1}));
  ASSERT_EQ(l.error, "");
  auto* c1 = dynamic_cast<gif::TGIFCommentExtension*>(l.image->Frame(0)->Extensions().Extension(0));
  auto* c2 = dynamic_cast<gif::TGIFCommentExtension*>(l.image->Frame(0)->Extensions().Extension(1));
  ASSERT_TRUE(c1 && c2);
  EXPECT_EQ(c1->CommentLines, (std::vector<std::string>{std::string(255, 'x'), std::string(45, 'x')}));
  EXPECT_EQ(c2->CommentLines, (std::vector<std::string>{"a"}));
  comment->CommentLines.clear();
  platform::MemoryStream empty;
  comment->SaveToStream(empty);
  EXPECT_EQ(empty.Bytes(), (Bytes{0x21, 0xFE, 0x00}));

  // Plain text: 13 bytes as they stand, then the text.
  const Bytes text = Cat({{0x21, 0x01, 0x0C}, Bytes(12, 3), {0x02, 'h', 'i', 0x00}});
  Loaded t = Load(Cat({kHeader1x1, text, kFrame1x1}));
  auto* plain = dynamic_cast<gif::TGIFTextExtension*>(t.image->Frame(0)->Extensions().Extension(0));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->TextLines, (std::vector<std::string>{"hi"}));
  platform::MemoryStream tout;
  plain->SaveToStream(tout);
  EXPECT_EQ(tout.Bytes(), text);
}

TEST(GifExtensions, UnknownLabelsAndTheRegistries) {
  // An unknown label: warned, its sub-blocks passed over, the frame loads.
  Loaded l = Load(Cat({kHeader1x1, {0x21, 0x55, 0x02, 1, 2, 0x00}, kFrame1x1, {0x3B}}));
  EXPECT_EQ(l.error, "");
  ASSERT_EQ(l.image->FrameCount(), 1);
  EXPECT_EQ(l.image->Frame(0)->PixelCount(), 1);
  EXPECT_TRUE(Has(l.warnings, gif::msg::kUnknownExtension));
  // Garbage after the extensions is not read as a descriptor.
  Loaded g = Load(Cat({kHeader1x1, {0x21, 0xFE, 0x01, 'a', 0x00, 0x47, 0x47}}));
  EXPECT_EQ(g.error, "");
  ASSERT_EQ(g.image->FrameCount(), 1);
  EXPECT_TRUE(g.image->Frame(0)->FrameEmpty());
  EXPECT_TRUE(Has(g.warnings, gif::msg::kBadIntroducer));

  // The newest registration of a label wins.
  struct Counting : gif::TGIFGraphicControlExtension {
    using TGIFGraphicControlExtension::TGIFGraphicControlExtension;
  };
  static const gif::ExtensionClass counting{
      "Counting", [](gif::TGIFSubImage* f) { return std::unique_ptr<gif::TGIFExtension>(new Counting(f)); },
      nullptr};
  gif::ExtensionRegistry().RegisterLabel(gif::kLabelGraphicControl, &counting);
  Loaded r = Load(Cat({kHeader1x1, {0x21, 0xF9, 0x04, 0, 0, 0, 0, 0}, kFrame1x1}));
  EXPECT_NE(dynamic_cast<Counting*>(r.image->Frame(0)->Extensions().Extension(0)), nullptr);
  gif::ExtensionRegistry().RegisterLabel(gif::kLabelGraphicControl, &gif::TGIFGraphicControlExtension::Class());
  Loaded r2 = Load(Cat({kHeader1x1, {0x21, 0xF9, 0x04, 0, 0, 0, 0, 0}, kFrame1x1}));
  EXPECT_EQ(dynamic_cast<Counting*>(r2.image->Frame(0)->Extensions().Extension(0)), nullptr);
}

TEST(GifFrames, BoundsPixelsAndDescriptor) {
  gif::TGIFImage image;
  std::vector<std::string> warnings;
  image.SetOnWarning([&](const gif::GIFObject*, int, const std::string& m) { warnings.push_back(m); });
  auto* frame = new gif::TGIFSubImage(&image);
  image.AddFrame(frame);
  frame->SetFrameBounds(0, 0, 4, 3);
  EXPECT_EQ(image.Width(), 4);
  EXPECT_TRUE(warnings.empty()) << "an empty screen grows without a warning";
  frame->SetFrameBounds(2, 1, 4, 3);
  EXPECT_TRUE(Has(warnings, gif::msg::kWidthTooSmall));
  EXPECT_TRUE(Has(warnings, gif::msg::kHeightTooSmall));
  EXPECT_TRUE(Has(warnings, gif::msg::kExceedsScreen));
  EXPECT_EQ(image.Width(), 6);
  EXPECT_EQ(image.Height(), 4);
  frame->SetBoundsValue(3, 5);
  EXPECT_EQ(frame->PixelCount(), 15);
  EXPECT_THROW(frame->PixelAt(5, 0), gif::GIFException);
  EXPECT_THROW(frame->PixelAt(0, 3), gif::GIFException);
  EXPECT_THROW(frame->PixelRow(-1), gif::GIFException);
  frame->PixelAt(4, 2) = 9;
  EXPECT_EQ(frame->PixelRow(2)[4], 9);
  // The screen is 16 bits wide: a frame reaching past it is refused.
  EXPECT_THROW(frame->SetFrameBounds(65000, 0, 600, 1), gif::GIFException);
  EXPECT_THROW(frame->SetFrameBounds(0, 65535, 1, 1), gif::GIFException);
  EXPECT_EQ(image.Width(), 7);

  // Width and height of the screen against its frames.
  gif::TGIFImage small;
  auto* f = new gif::TGIFSubImage(&small);
  small.AddFrame(f);
  f->SetFrameBounds(5, 0, 8, 1);
  EXPECT_THROW(small.SetWidth(10), gif::GIFException);
  small.SetWidth(13);
  EXPECT_EQ(small.Width(), 13);
  EXPECT_THROW(small.SetHeight(0), gif::GIFException);

  // Interlacing survives only without a local map.
  auto interlaced = MakeImage(2, 2, {0, 1}, {0, 1, 1, 0});
  interlaced->Frame(0)->SetInterlaced(true);
  interlaced->Frame(0)->PrepareDescriptor();
  EXPECT_TRUE(interlaced->Frame(0)->Interlaced());
  interlaced->Frame(0)->LocalMap().AddColour(3);
  interlaced->Frame(0)->LocalMap().AddColour(4);
  interlaced->Frame(0)->PrepareDescriptor();
  EXPECT_FALSE(interlaced->Frame(0)->Interlaced());
  EXPECT_EQ(interlaced->Frame(0)->Descriptor[9], 0x80);
}

TEST(GifFrames, ZeroSizesAndExtensionOnlyFrames) {
  // A zero-size descriptor takes the screen size, with a warning.
  Loaded z = Load(Cat({Text("GIF89a"), {3, 0, 2, 0, 0x80, 0, 0}, Bytes(6, 0), Descriptor(0, 0, 0, 0),
                       kOnePixelData, {0x3B}}));
  ASSERT_EQ(z.error, "");
  EXPECT_EQ(z.image->Frame(0)->Width(), 3);
  EXPECT_EQ(z.image->Frame(0)->Height(), 2);
  EXPECT_TRUE(Has(z.warnings, gif::msg::kExceedsScreen));
  // Extensions alone before the trailer: a frame without image, written back
  // as its extensions only.
  const Bytes tail{0x21, 0xFE, 0x02, 'h', 'i', 0x00};
  Loaded e = Load(Cat({kHeader1x1, kFrame1x1, tail, {0x3B}}));
  ASSERT_EQ(e.image->FrameCount(), 2);
  EXPECT_TRUE(e.image->Frame(1)->FrameEmpty());
  const Bytes saved = Save(*e.image);
  EXPECT_EQ(Bytes(saved.end() - 7, saved.end()), Cat({tail, {0x3B}}));
  // A huge descriptor in a tiny file is refused before anything is
  // allocated; the frames before it stay.
  Loaded huge = Load(Cat({kHeader1x1, kFrame1x1, Descriptor(0, 0, 65535, 65535), kOnePixelData}));
  EXPECT_EQ(huge.error, gif::msg::kBadDimensions);
  EXPECT_EQ(huge.image->FrameCount(), 1);
}

TEST(GifFrames, RenderingAndMask) {
  auto image = MakeImage(10, 2, {RGBColor(1, 2, 3), RGBColor(4, 5, 6), RGBColor(7, 8, 9)},
                         {0, 1, 2, 1, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2});
  gif::TGIFSubImage* frame = image->Frame(0);
  auto* control = new gif::TGIFGraphicControlExtension(frame);
  frame->Extensions().AddItem(control);
  control->SetTransparency(true);
  control->SetTransparentIndex(2);
  std::vector<int> rendered;
  image->SetOnProgress([&](platform::Graphic&, platform::ProgressStage stage, int percent, bool,
                           const platform::Rect&, const std::string& m) {
    if (m == gif::msg::kRendering && stage == platform::ProgressStage::Running) rendered.push_back(percent);
  });
  platform::Bitmap* bitmap = frame->DecodedBitmap();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->GetPixelFormat(), platform::PixelFormat::Bit8);
  EXPECT_EQ(bitmap->GetPalette().size(), 256u);
  EXPECT_EQ(bitmap->Pixel(1, 0), RGBColor(4, 5, 6));
  EXPECT_EQ(bitmap->Pixel(9, 1), RGBColor(7, 8, 9));
  EXPECT_EQ(rendered, (std::vector<int>{0}));
  ASSERT_TRUE(frame->HasMask());
  EXPECT_EQ(frame->MaskRowBytes(), 2);
  EXPECT_EQ(frame->Mask(), (Bytes{0x20, 0x00, 0x00, 0x40}));
  EXPECT_FALSE(frame->MaskPending());

  // Transparent index that no pixel uses: no mask, nothing pending.
  control->SetTransparentIndex(0);
  std::fill(frame->Pixels(), frame->Pixels() + 20, 1);
  frame->FreeFrameBitmap();
  frame->FreeMask();
  EXPECT_FALSE(frame->HasMask());
  EXPECT_FALSE(frame->MaskPending());

  // A render that a progress handler stops leaves the mask pending, and the
  // next render builds it.
  frame->PixelAt(3, 1) = 0;
  frame->FreeFrameBitmap();
  frame->FreeMask();
  image->SetOnProgress([](platform::Graphic&, platform::ProgressStage stage, int, bool, const platform::Rect&,
                          const std::string& m) {
    if (m == gif::msg::kRendering && stage == platform::ProgressStage::Running) throw std::runtime_error("stop");
  });
  EXPECT_THROW(frame->DecodedBitmap(), std::runtime_error);
  EXPECT_TRUE(frame->MaskPending());
  image->SetOnProgress(nullptr);
  EXPECT_TRUE(frame->HasMask());
  EXPECT_EQ(frame->Mask()[2], 0x10);
}

TEST(GifFrames, ProgressRowsAndDrawingTheFirstFrame) {
  // Rendering a 100-row frame reports at rows 0, 32, 64 and 96.
  auto tall = MakeImage(3, 100, {1, 2}, Bytes(300, 1));
  std::vector<int> percents;
  tall->SetOnProgress([&](platform::Graphic&, platform::ProgressStage stage, int percent, bool,
                          const platform::Rect&, const std::string& m) {
    if (m == gif::msg::kRendering && stage == platform::ProgressStage::Running) percents.push_back(percent);
  });
  tall->Frame(0)->DecodedBitmap();
  EXPECT_EQ(percents, (std::vector<int>{0, 32, 64, 96}));

  // Frame 0 of a 4 x 4 screen at (2, 2), 2 x 2 with one transparent pixel,
  // drawn into an 8 x 8 rectangle: twice the size at (4, 4), the
  // transparent pixel leaves the canvas as it was.
  auto image = MakeImage(4, 4, {RGBColor(255, 0, 0), RGBColor(0, 0, 255)}, Bytes(16, 0));
  gif::TGIFSubImage* frame = image->Frame(0);
  frame->SetFrameBounds(2, 2, 2, 2);
  frame->PixelAt(0, 0) = 1;
  frame->PixelAt(1, 0) = 0;
  frame->PixelAt(0, 1) = 1;
  frame->PixelAt(1, 1) = 1;
  auto* control = new gif::TGIFGraphicControlExtension(frame);
  frame->Extensions().AddItem(control);
  control->SetTransparency(true);
  control->SetTransparentIndex(0);
  platform::Bitmap target(8, 8, platform::PixelFormat::Bit24);
  target.Fill(platform::clWhite);
  image->Draw(target.GetCanvas(), platform::Rect{0, 0, 8, 8});
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      platform::Color want = platform::clWhite;
      if (x >= 4 && y >= 4 && !(x >= 6 && y < 6)) want = RGBColor(0, 0, 255);
      EXPECT_EQ(target.Pixel(x, y), want) << x << "," << y;
    }
}

TEST(GifColourMaps, Operations) {
  gif::TGIFImage image;
  std::vector<std::string> warnings;
  image.SetOnWarning([&](const gif::GIFObject*, int, const std::string& m) { warnings.push_back(m); });
  gif::TGIFGlobalColorMap& map = image.GlobalMapOf();
  map.Reserve(17);
  EXPECT_EQ(map.EntryCapacity(), 32);
  map.ClearEntries();
  map.Reserve(250);
  EXPECT_EQ(map.EntryCapacity(), 256);
  map.ClearEntries();
  map.Reserve(5);
  EXPECT_EQ(map.EntryCapacity(), 16);
  EXPECT_EQ(map.EntryBits(), 0);
  for (int i = 0; i < 16; ++i) map.AddColour(RGBColor(i, 0, 0));
  map.AddColour(RGBColor(3, 0, 0));
  EXPECT_EQ(map.FindColour(RGBColor(3, 0, 0)), 16);
  map.SetSorted(true);
  EXPECT_EQ(map.FindColour(RGBColor(3, 0, 0)), 3);
  EXPECT_EQ(map.FindColour(RGBColor(3, 1, 0)), -1);
  EXPECT_EQ(map.ColourAt(300), RGBColor(0, 0, 0));
  EXPECT_TRUE(Has(warnings, gif::msg::kBadColourIndex));
  EXPECT_EQ(map.EntryBits(), 5);
  EXPECT_THROW(map.DeleteEntry(17), gif::GIFException);
  map.DeleteEntry(0);
  EXPECT_EQ(map.ColourAt(0), RGBColor(1, 0, 0));
  EXPECT_FALSE(map.Sorted());
  while (map.EntryCount() < 256) map.AddColour(7);
  EXPECT_THROW(map.AddColour(8), gif::GIFException);
  EXPECT_EQ(map.AddUniqueColour(7), 255);
  map.ClearEntries();
  EXPECT_THROW(map.ColourAt(0), gif::GIFException);
  EXPECT_EQ(gif::TGIFColorMap::JoinColour(0x11, 0x22, 0x33), 0x332211u);
  std::uint8_t quads[8] = {1, 2, 3, 0, 4, 5, 6, 0};
  map.FromQuads(quads, 2);
  EXPECT_EQ(map.ColourAt(1), RGBColor(6, 5, 4));
  EXPECT_EQ(map.MakePalette(), (platform::Palette{RGBColor(3, 2, 1), RGBColor(6, 5, 4)}));
}

TEST(GifColourMaps, SortByUse) {
  // Four colours used 1, 3, 0 and 2 times: sorted 1, 3, 0 and the unused
  // entry dropped; the pixels and the transparent index follow.
  auto image = MakeImage(6, 1, {10, 11, 12, 13}, {1, 0, 3, 1, 1, 3});
  auto* control = new gif::TGIFGraphicControlExtension(image->Frame(0));
  image->Frame(0)->Extensions().AddItem(control);
  control->SetTransparency(true);
  control->SetTransparentIndex(3);
  image->ScreenHeader().BackgroundIndex = 0;
  gif::TGIFGlobalColorMap& map = image->GlobalMapOf();
  ASSERT_TRUE(map.SortByUse());
  EXPECT_TRUE(map.Sorted());
  // The background index counts as a use of entry 0 (1 + 1 = 2 uses, as
  // many as entry 3): the partitioning puts entry 3 ahead of entry 0.
  EXPECT_EQ(map.MakePalette(), (platform::Palette{11, 13, 10}));
  const gif::TGIFSubImage* frame = image->Frame(0);
  EXPECT_EQ(Bytes(frame->Pixels(), frame->Pixels() + 6), (Bytes{0, 2, 1, 0, 0, 1}));
  EXPECT_EQ(control->TransparentIndex(), 1);
  EXPECT_EQ(image->ScreenHeader().BackgroundIndex, 2);

  // Already in order of use: every entry stays, the unused one too.
  auto ordered = MakeImage(3, 1, {1, 2, 3}, {0, 0, 1});
  ordered->ScreenHeader().BackgroundIndex = 0;
  ASSERT_TRUE(ordered->GlobalMapOf().SortByUse());
  EXPECT_EQ(ordered->GlobalMapOf().EntryCount(), 3);
  // One entry: false, and the sorted flag stays.
  auto single = MakeImage(1, 1, {5}, {0});
  EXPECT_FALSE(single->GlobalMapOf().SortByUse());
  EXPECT_FALSE(single->GlobalMapOf().Sorted());
  // A local map sorts its own frame.
  auto local = MakeImage(3, 1, {1, 2}, {1, 1, 0});
  local->Frame(0)->LocalMap().AddColour(20);
  local->Frame(0)->LocalMap().AddColour(21);
  ASSERT_TRUE(local->Frame(0)->LocalMap().Optimise());
  EXPECT_EQ(local->Frame(0)->LocalMap().MakePalette(), (platform::Palette{21, 20}));
  EXPECT_EQ(local->Frame(0)->PixelAt(0, 0), 0);
  EXPECT_EQ(local->Frame(0)->PixelAt(2, 0), 1);
}

TEST(GifImage, LoadFailureAssignAndFrames) {
  // A failed load puts the stream back where it was.
  Bytes bytes(100, 0);
  const Bytes bad = Cat({kHeader1x1, Descriptor(0, 0, 1, 1, 0x80)});
  bytes.insert(bytes.end(), bad.begin(), bad.end());
  platform::MemoryStream in(bytes);
  in.SetPosition(100);
  gif::TGIFImage image;
  EXPECT_THROW(image.LoadFromStream(in), gif::GIFException);
  EXPECT_EQ(in.Position(), 100);

  // Assign copies frames and options, not the encoder or the speed, and the
  // destination keeps its own handlers.
  Loaded src = Load(Cat({kHeader1x1, {0x21, 0xF9, 0x04, 1, 0, 0, 1, 0}, kFrame1x1, kFrame1x1, {0x3B}}));
  src.image->PaintOptions = gif::dpTiled;
  src.image->Encoder = static_cast<std::uint8_t>(gif::EncoderKind::RunLength);
  src.image->SpeedPercent = 50;
  gif::TGIFImage dest;
  int destProgress = 0;
  int sourceProgress = 0;
  dest.SetOnProgress([&](platform::Graphic&, platform::ProgressStage, int, bool, const platform::Rect&,
                         const std::string&) { ++destProgress; });
  src.image->SetOnProgress([&](platform::Graphic&, platform::ProgressStage, int, bool, const platform::Rect&,
                               const std::string&) { ++sourceProgress; });
  dest.Assign(*src.image);
  ASSERT_EQ(dest.FrameCount(), 2);
  EXPECT_TRUE(dest.Frame(0)->HasTransparency());
  EXPECT_NE(dest.Frame(0)->ControlExtension(), src.image->Frame(0)->ControlExtension());
  EXPECT_EQ(dest.PaintOptions, gif::dpTiled);
  EXPECT_EQ(dest.Encoder, static_cast<std::uint8_t>(gif::EncoderKind::LZW));
  EXPECT_EQ(dest.SpeedPercent, 100);
  EXPECT_GT(destProgress, 0);
  EXPECT_EQ(sourceProgress, 0);
  EXPECT_TRUE(dest.OnProgress() != nullptr);
  EXPECT_EQ(Save(dest), Save(*src.image));

  // A frame of another image moves; it never has two owners.
  gif::TGIFSubImage* moved = src.image->Frame(1);
  dest.AddFrame(moved);
  EXPECT_EQ(src.image->FrameCount(), 1);
  EXPECT_EQ(dest.FrameCount(), 3);
  EXPECT_EQ(moved->OwnerImage(), &dest);
  src.image.reset();
  EXPECT_EQ(Save(dest).size() > 0, true);
  delete moved;
  EXPECT_EQ(dest.FrameCount(), 2);

  // No colour table anywhere.
  gif::TGIFImage bare;
  auto* f = new gif::TGIFSubImage(&bare);
  bare.AddFrame(f);
  f->SetFrameBounds(0, 0, 1, 1);
  EXPECT_THROW(bare.GetPalette(), gif::GIFException);

  gif::TGIFImage options;
  EXPECT_EQ(options.PaintOptions, 0x060F);
  gif::PaletteDisplay = false;
  EXPECT_FALSE(options.UseWebPalette());
  gif::PaletteDisplay = true;
  EXPECT_TRUE(options.UseWebPalette());
  options.PaintOptions &= static_cast<std::uint16_t>(~gif::dpDither);
  EXPECT_FALSE(options.UseWebPalette());
  gif::PaletteDisplay = false;
}

// Any picture becomes a frame as the import makes it; objects that are no
// picture and no frame are refused.
TEST(GifImage, AddFrameOfAnyPicture) {
  auto image = MakeImage(2, 2, {RGBColor(9, 9, 9)}, Bytes(4, 0));
  platform::Bitmap bitmap(3, 2, platform::PixelFormat::Bit8);
  bitmap.SetPalette({RGBColor(255, 0, 0), RGBColor(0, 0, 255), RGBColor(0, 128, 0)});
  for (int i = 0; i < 6; ++i) bitmap.SetPixelIndex(i % 3, i / 3, (i + 1) % 3);
  EXPECT_EQ(image->AddFrame(bitmap), 1);
  // Another kind of picture, handed over as any object.
  auto other = MakeImage(2, 1, {RGBColor(1, 2, 3), RGBColor(250, 251, 252)}, {1, 0});
  EXPECT_EQ(image->AddFrame(static_cast<gif::GIFObject*>(other.get())), 2);
  ASSERT_EQ(image->FrameCount(), 3);
  EXPECT_EQ(image->Width(), 3);  // the screen grew to the new frame
  auto colour = [](gif::TGIFSubImage& f, int x, int y) { return f.ActiveMap().ColourAt(f.PixelAt(x, y)); };
  gif::TGIFSubImage& fromBitmap = *image->Frame(1);
  ASSERT_EQ(fromBitmap.Width(), 3);
  ASSERT_EQ(fromBitmap.Height(), 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(colour(fromBitmap, x, y), bitmap.Pixel(x, y)) << x << "," << y;
  gif::TGIFSubImage& fromGif = *image->Frame(2);
  ASSERT_EQ(fromGif.Width(), 2);
  EXPECT_EQ(colour(fromGif, 0, 0), RGBColor(250, 251, 252));
  EXPECT_EQ(colour(fromGif, 1, 0), RGBColor(1, 2, 3));
  EXPECT_EQ(other->FrameCount(), 1);  // imported, not moved

  for (gif::GIFObject* refused : {static_cast<gif::GIFObject*>(&image->GlobalMapOf()),
                                  static_cast<gif::GIFObject*>(&image->ScreenHeader()),
                                  static_cast<gif::GIFObject*>(nullptr)}) {
    try {
      image->AddFrame(refused);
      ADD_FAILURE() << "accepted";
    } catch (const gif::GIFException& e) {
      EXPECT_STREQ(e.what(), gif::msg::kNotSupported);
    }
  }
  EXPECT_EQ(image->FrameCount(), 3);
}

// An image decoded to the web palette is shown in it, whatever its own
// colours.
TEST(GifImage, PaletteOfTheWebPaletteDisplay) {
  auto image = MakeImage(2, 1, {RGBColor(1, 2, 3), RGBColor(4, 5, 6)}, {0, 1});
  image->PaintOptions = gif::dpDither;
  ASSERT_TRUE(image->UseWebPalette());
  EXPECT_EQ(image->GetPalette(), gif::WebSafePalette());
  EXPECT_EQ(image->Frame(0)->FramePalette(), gif::WebSafePalette());
  image->PaintOptions = 0;
  image->SetPalette({});
  EXPECT_EQ(image->GetPalette(), (platform::Palette{RGBColor(1, 2, 3), RGBColor(4, 5, 6)}));
}

TEST(GifImage, TruncatedAtEveryLength) {
  auto image = MakeImage(7, 5, {1, 2, 3, 4}, Bytes(35, 2));
  image->Frame(0)->PixelAt(3, 3) = 1;
  auto* loop = new gif::TGIFAppExtNSLoop(image->Frame(0));
  image->Frame(0)->Extensions().AddItem(loop);
  auto* second = new gif::TGIFSubImage(image.get());
  image->AddFrame(second);
  second->SetFrameBounds(1, 1, 3, 3);
  second->SetInterlaced(true);
  auto* c = new gif::TGIFGraphicControlExtension(second);
  second->Extensions().AddItem(c);
  c->SetTransparency(true);
  c->SetTransparentIndex(3);
  const Bytes whole = Save(*image);
  for (std::size_t n = 0; n < whole.size(); ++n) {
    Loaded l = Load(Bytes(whole.begin(), whole.begin() + static_cast<long>(n)));
    // Either a clear error or whatever could be read.
    if (!l.error.empty()) {
      EXPECT_EQ(l.error, gif::msg::kPrematureEnd) << n;
    }
    for (int i = 0; i < l.image->FrameCount(); ++i) l.image->Frame(i)->DecodedBitmap();
  }
  Loaded full = Load(whole);
  EXPECT_EQ(Save(*full.image), whole);
  // A transparent frame's unreached pixels keep the transparent index.
  Loaded part = Load(Cat({kHeader1x1, {0x21, 0xF9, 0x04, 0x01, 0, 0, 3, 0}, Descriptor(0, 0, 2, 2), kOnePixelData}));
  ASSERT_EQ(part.image->FrameCount(), 1);
  const gif::TGIFSubImage* f = part.image->Frame(0);
  EXPECT_EQ(Bytes(f->Pixels(), f->Pixels() + 4), (Bytes{0, 3, 3, 3}));
}

TEST(GifImage, RegistryFileAndClipboard) {
  codecs::RegisterPictureCodecs();
  const auto format = platform::FindFileFormat("gif");
  ASSERT_TRUE(format.has_value());
  EXPECT_EQ(format->description, "GIF Image");
  EXPECT_TRUE(platform::SupportsClipboardFormat(gif::GIFClipboardFormat()));
  EXPECT_EQ(gif::GIFClipboardFormat(), platform::RegisterClipboardFormat("GIF Image"));

  platform::testkit::TempDir dir("gif");
  auto image = MakeImage(3, 2, {RGBColor(255, 0, 0), RGBColor(0, 255, 0)}, {0, 1, 0, 1, 1, 0});
  const std::string path = dir / "pic.gif";
  image->SaveToFile(path);
  platform::Picture picture;
  picture.LoadFromFile(path);
  auto* loaded = dynamic_cast<gif::TGIFImage*>(picture.GetGraphic());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(Save(*loaded), Save(*image));
  platform::Bitmap bitmap;
  bitmap.Assign(*loaded);
  EXPECT_EQ(bitmap.Pixel(1, 0), RGBColor(0, 255, 0));
  EXPECT_EQ(bitmap.Pixel(0, 1), RGBColor(0, 255, 0));

  // A save that fails leaves the old file as it was, and no stray files.
  gif::TGIFImage empty;
  EXPECT_THROW(empty.SaveToFile(path), gif::GIFException);
  EXPECT_EQ(platform::testkit::ReadFile(path), Save(*image));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

  // The clipboard carries a bitmap and the GIF bytes.
  QMimeData mime;
  image->SaveToClipboardFormat(mime);
  EXPECT_TRUE(mime.hasImage() || !platform::ClipboardFormatData(mime, platform::kClipboardBitmap).isEmpty());
  EXPECT_FALSE(platform::ClipboardFormatData(mime, gif::GIFClipboardFormat()).isEmpty());
  EXPECT_FALSE(mime.data("image/gif").isEmpty());
  gif::TGIFImage pasted;
  pasted.LoadFromClipboardFormat(gif::GIFClipboardFormat(), mime);
  EXPECT_EQ(Save(pasted), Save(*image));
  EXPECT_THROW(pasted.LoadFromClipboardFormat(12345, mime), platform::GraphicError);
}

}  // namespace
