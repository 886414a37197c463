// The picture registry (extensions in any letter case, replacing and
// removing classes, clipboard formats) and the picture holder.
#include "platform/picture.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <filesystem>
#include <fstream>

#include "platform/canvas.h"
#include "platform/jpeg.h"
#include "platform/test_support.h"

namespace platform {
namespace {


// A tiny picture class of the test's own, standing for a codec: its file is
// "TINY", a width byte and a height byte.
class TinyPicture : public Graphic {
 public:
  std::string ClassName() const override { return "TTiny"; }
  void LoadFromStream(Stream& s) override {
    char magic[4];
    s.ReadBuffer(magic, 4);
    if (std::string(magic, 4) != "TINY") throw GraphicError("not tiny");
    w_ = s.ReadU8();
    h_ = s.ReadU8();
  }
  void SaveToStream(Stream& s) override {
    s.WriteBuffer("TINY", 4);
    s.WriteU8(static_cast<std::uint8_t>(w_));
    s.WriteU8(static_cast<std::uint8_t>(h_));
  }
  void Draw(Canvas& canvas, const Rect& rect) override {
    canvas.brush().color = RGBColor(1, 2, 3);
    canvas.FillRect(rect);
  }
  int Width() const override { return w_; }
  int Height() const override { return h_; }
  bool Empty() const override { return w_ == 0 || h_ == 0; }
  void AssignTo(Graphic& target) const override {
    if (auto* b = dynamic_cast<Bitmap*>(&target)) {
      Bitmap drawn(w_, h_, PixelFormat::Bit24);
      const_cast<TinyPicture*>(this)->Draw(drawn.GetCanvas(), Rect{0, 0, w_, h_});
      b->Assign(drawn);
      return;
    }
    Graphic::AssignTo(target);
  }
  void Assign(const Graphic& source) override {
    if (const auto* t = dynamic_cast<const TinyPicture*>(&source)) {
      w_ = t->w_;
      h_ = t->h_;
      return;
    }
    Graphic::Assign(source);
  }
  void SaveToClipboardFormat(QMimeData& mime) override {
    MemoryStream s;
    SaveToStream(s);
    SetClipboardFormatData(mime, RegisterClipboardFormat("Tiny Picture"),
                           QByteArray(reinterpret_cast<const char*>(s.Bytes().data()), static_cast<qsizetype>(s.Bytes().size())));
  }
  void LoadFromClipboardFormat(int format, const QMimeData& mime) override {
    const QByteArray data = ClipboardFormatData(mime, format);
    MemoryStream s(data.constData(), static_cast<std::size_t>(data.size()));
    LoadFromStream(s);
  }
  int w_ = 0, h_ = 0;
};

class OtherPicture : public TinyPicture {
 public:
  std::string ClassName() const override { return "TOther"; }
};

struct Registered {
  Registered() { RegisterFileFormat<TinyPicture>(".Tiny", "Tiny pictures"); }
  ~Registered() { UnregisterGraphicClass<TinyPicture>(); }
};

TEST(PictureRegistry, BuiltInFormats) {
  const auto jpeg = FindFileFormat("jpeg");
  ASSERT_TRUE(jpeg.has_value());
  EXPECT_EQ(jpeg->description, "JPEG Image File");
  EXPECT_EQ(jpeg->graphicClass, std::type_index(typeid(JpegImage)));
  const auto jpg = FindFileFormat("JPG");
  ASSERT_TRUE(jpg.has_value());
  EXPECT_EQ(jpg->description, "JPEG Image File");
  const auto bmp = FindFileFormat(".Bmp");
  ASSERT_TRUE(bmp.has_value());
  EXPECT_EQ(bmp->graphicClass, std::type_index(typeid(Bitmap)));
  EXPECT_NE(dynamic_cast<Bitmap*>(bmp->factory().get()), nullptr);
  EXPECT_TRUE(SupportsClipboardFormat(kClipboardBitmap));
}

TEST(PictureRegistry, FindsInAnyLetterCaseAndUnregisters) {
  {
    Registered r;
    for (const char* ext : {"tiny", "TINY", "Tiny", ".tInY"}) {
      const auto f = FindFileFormat(ext);
      ASSERT_TRUE(f.has_value()) << ext;
      EXPECT_EQ(f->extension, "Tiny");
      EXPECT_EQ(f->description, "Tiny pictures");
      EXPECT_EQ(f->factory()->ClassName(), "TTiny");
    }
    // A later registration of the same extension takes its place.
    RegisterFileFormat<OtherPicture>("TINY", "Other pictures");
    EXPECT_EQ(FindFileFormat("tiny")->description, "Other pictures");
    int count = 0;
    for (const FileFormat& f : RegisteredFileFormats()) count += f.extension == "TINY" || f.extension == "Tiny";
    EXPECT_EQ(count, 1);
    UnregisterFileFormat("tiny");
    EXPECT_FALSE(FindFileFormat("tiny").has_value());
  }
  {
    Registered r;
    RegisterFileFormat<TinyPicture>("tny", "Tiny pictures");
    const int format = RegisterClipboardFormat("Tiny Picture");
    RegisterClipboardFormat<TinyPicture>(format);
    EXPECT_TRUE(SupportsClipboardFormat(format));
    UnregisterGraphicClass<TinyPicture>();  // every extension and format of the class
    EXPECT_FALSE(FindFileFormat("tiny").has_value());
    EXPECT_FALSE(FindFileFormat("tny").has_value());
    EXPECT_FALSE(SupportsClipboardFormat(format));
    EXPECT_TRUE(FindFileFormat("jpg").has_value());  // others stay
  }
}

TEST(PictureRegistry, FactoryAloneNamesTheClass) {
  RegisterFileFormat("tiny", "Tiny pictures", [] { return std::unique_ptr<Graphic>(new OtherPicture()); });
  RegisterClipboardFormat(777, [] { return std::unique_ptr<Graphic>(new OtherPicture()); });
  ASSERT_TRUE(FindFileFormat("TINY").has_value());
  EXPECT_EQ(FindFileFormat("TINY")->graphicClass, std::type_index(typeid(OtherPicture)));
  EXPECT_TRUE(SupportsClipboardFormat(777));
  UnregisterGraphicClass<OtherPicture>();
  EXPECT_FALSE(FindFileFormat("tiny").has_value());
  EXPECT_FALSE(SupportsClipboardFormat(777));
  EXPECT_THROW(RegisterFileFormat("x", "no class", GraphicFactory{}), GraphicError);
  EXPECT_THROW(RegisterFileFormat("x", "nothing made", [] { return std::unique_ptr<Graphic>(); }), GraphicError);
  EXPECT_THROW(RegisterFileFormat("", "no extension", [] { return std::unique_ptr<Graphic>(new Bitmap()); }), GraphicError);
}

TEST(PictureRegistry, ClipboardFormatNumbers) {
  const int a = RegisterClipboardFormat("GIF Image");
  EXPECT_GE(a, 0xC000);
  EXPECT_EQ(RegisterClipboardFormat("GIF Image"), a);
  EXPECT_NE(RegisterClipboardFormat("Another"), a);
  EXPECT_EQ(ClipboardFormatMimeType(a), "application/x-qt-windows-mime;value=\"GIF Image\"");
  EXPECT_EQ(ClipboardFormatMimeType(20), "application/x-qt-windows-mime;value=\"Format20\"");
  QMimeData mime;
  SetClipboardFormatData(mime, 20, QByteArray("abc"));
  EXPECT_EQ(ClipboardFormatData(mime, 20), QByteArray("abc"));
  EXPECT_TRUE(ClipboardFormatData(mime, a).isEmpty());
}

class PictureFiles : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_ / name; }
  testkit::TempDir dir_{"veltrano_picture"};
};

TEST_F(PictureFiles, LoadsByExtensionWhateverItsCase) {
  Bitmap b(5, 4, PixelFormat::Bit8);
  b.SaveToFile(Path("card.BMP"));
  JpegImage j;
  j.Assign(Bitmap(7, 3, PixelFormat::Bit24));
  j.SaveToFile(Path("logo.Jpeg"));

  Picture p;
  int changes = 0;
  p.SetOnChange([&](Picture&) { ++changes; });
  p.LoadFromFile(Path("card.BMP"));
  EXPECT_NE(dynamic_cast<Bitmap*>(p.GetGraphic()), nullptr);
  EXPECT_EQ(p.Width(), 5);
  p.LoadFromFile(Path("logo.Jpeg"));
  EXPECT_NE(dynamic_cast<JpegImage*>(p.GetGraphic()), nullptr);
  EXPECT_EQ(p.Height(), 3);
  EXPECT_EQ(changes, 2);
  // The bitmap of a JPEG picture: the decoded pixels, now held as a bitmap.
  Bitmap& bitmap = p.GetBitmap();
  EXPECT_EQ(bitmap.Width(), 7);
  EXPECT_NE(dynamic_cast<Bitmap*>(p.GetGraphic()), nullptr);
  p.SaveToFile(Path("copy.bmp"));
  Bitmap back;
  back.LoadFromFile(Path("copy.bmp"));
  EXPECT_EQ(back.Width(), 7);
}

TEST_F(PictureFiles, UnknownExtensionAndDamagedFileKeepThePicture) {
  Picture p;
  Bitmap b(2, 2);
  p.Assign(b);
  {
    std::ofstream(Path("x.xyz")) << "data";
  }
  try {
    p.LoadFromFile(Path("x.xyz"));
    FAIL() << "no error";
  } catch (const GraphicError& e) {
    EXPECT_STREQ(e.what(), "Unknown picture file extension (.xyz)");
  }
  EXPECT_THROW(p.LoadFromFile(Path("noextension")), GraphicError);
  {
    std::ofstream(Path("bad.jpg")) << "not a jpeg at all";
  }
  EXPECT_THROW(p.LoadFromFile(Path("bad.jpg")), GraphicError);
  EXPECT_THROW(p.LoadFromFile(Path("missing.bmp")), GraphicError);
  std::filesystem::create_directory(Path("folder.jpg"));
  EXPECT_THROW(p.LoadFromFile(Path("folder.jpg")), GraphicError);
  EXPECT_EQ(p.Width(), 2);
  EXPECT_NE(dynamic_cast<Bitmap*>(p.GetGraphic()), nullptr);
}

TEST_F(PictureFiles, RegisteredClassIsUsedAndAssignedCopies) {
  Registered r;
  TinyPicture t;
  t.w_ = 3;
  t.h_ = 2;
  t.SaveToFile(Path("a.TINY"));
  Picture p;
  p.LoadFromFile(Path("a.TINY"));
  ASSERT_NE(dynamic_cast<TinyPicture*>(p.GetGraphic()), nullptr);
  EXPECT_EQ(p.Width(), 3);
  Picture copy;
  copy.Assign(*p.GetGraphic());
  ASSERT_NE(dynamic_cast<TinyPicture*>(copy.GetGraphic()), nullptr);
  EXPECT_NE(copy.GetGraphic(), p.GetGraphic());
  EXPECT_EQ(copy.Height(), 2);
  EXPECT_EQ(copy.GetBitmap().Pixel(2, 1), RGBColor(1, 2, 3));
}

TEST(PictureClipboard, BitmapAndRegisteredFormatRoundTrip) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  ASSERT_NE(clipboard, nullptr);
  Bitmap b(3, 2, PixelFormat::Bit24);
  b.SetPixel(2, 1, RGBColor(9, 8, 7));
  Picture p;
  p.Assign(b);
  p.SaveToClipboard();
  if (!clipboard->mimeData() || clipboard->mimeData()->formats().isEmpty()) GTEST_SKIP() << "no clipboard on this platform";
  EXPECT_TRUE(Picture::ClipboardHasPicture());
  Picture pasted;
  ASSERT_TRUE(pasted.LoadFromClipboard());
  ASSERT_NE(dynamic_cast<Bitmap*>(pasted.GetGraphic()), nullptr);
  EXPECT_EQ(pasted.GetBitmap().Pixel(2, 1), RGBColor(9, 8, 7));

  Registered r;
  RegisterClipboardFormat<TinyPicture>(RegisterClipboardFormat("Tiny Picture"));
  TinyPicture t;
  t.w_ = 4;
  t.h_ = 5;
  p.Assign(t);
  p.SaveToClipboard();
  Picture tiny;
  ASSERT_TRUE(tiny.LoadFromClipboard());
  ASSERT_NE(dynamic_cast<TinyPicture*>(tiny.GetGraphic()), nullptr);
  EXPECT_EQ(tiny.Width(), 4);

  clipboard->clear();
  EXPECT_FALSE(Picture::ClipboardHasPicture());
  EXPECT_FALSE(tiny.LoadFromClipboard());
  QMimeData empty;
  EXPECT_THROW(tiny.LoadFromClipboardFormat(12345, empty), GraphicError);
}

}  // namespace
}  // namespace platform
