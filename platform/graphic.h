#pragma once
// The abstract picture of the layer: every picture class (bitmap, JPEG and the
// codecs' GIF, PNG, TIFF and Targa classes) loads and saves itself from a
// stream, draws itself on a canvas and reports progress of long operations.
// Colours, rectangles and palettes shared by bitmaps and canvases live here too.
#include <QByteArray>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/stream.h"

class QMimeData;

namespace platform {

class Canvas;
class Filer;

// A colour in the platform's layout 0x00BBGGRR (red in the low byte).
using Color = std::uint32_t;
constexpr Color clNone = 0x1FFFFFFF;     // "no colour": optional colour not set
constexpr Color clDefault = 0x20000000;  // "the default colour" of the owner
constexpr Color clBlack = 0x000000;
constexpr Color clWhite = 0xFFFFFF;

constexpr Color RGBColor(int r, int g, int b) {
  return static_cast<Color>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(Color c) { return static_cast<int>(c & 0xFF); }
constexpr int GetGValue(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int GetBValue(Color c) { return static_cast<int>((c >> 16) & 0xFF); }

// A colour table: entry i is the colour of index i.
using Palette = std::vector<Color>;

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// A rectangle from (left, top) to (right, bottom); right and bottom are
// outside it, so Width() is right - left.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  // Saturated at the int range, so extreme coordinates cannot overflow.
  int Width() const { return Saturate(static_cast<long long>(right) - left); }
  int Height() const { return Saturate(static_cast<long long>(bottom) - top); }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  friend bool operator==(const Rect&, const Rect&) = default;

 private:
  static int Saturate(long long v) {
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
  }
};

inline Rect MakeRect(int left, int top, int right, int bottom) { return Rect{left, top, right, bottom}; }
inline Rect Bounds(int left, int top, int width, int height) { return Rect{left, top, left + width, top + height}; }

// Clipboard formats: numbers as the platform gives them. Picture data of a
// registered format travels under its own MIME type; the bitmap format is the
// clipboard's image.
constexpr int kClipboardBitmap = 2;
// Registers a named format (same name, same number; numbers from 0xC000).
int RegisterClipboardFormat(const std::string& name);
// The MIME type that carries a format: "image/bmp" for the bitmap format,
// the platform's custom-format type with the registered name for named
// formats, and "application/x-qt-windows-mime;value=\"Format<n>\"" for
// other numbers.
std::string ClipboardFormatMimeType(int format);
// The bytes mime holds for format (empty when none).
QByteArray ClipboardFormatData(const QMimeData& mime, int format);
void SetClipboardFormatData(QMimeData& mime, int format, const QByteArray& data);

// Stages of a progress notification.
enum class ProgressStage { Starting, Running, Ending };

class Graphic {
 public:
  // (sender, stage, percent 0..100, redraw now, rectangle that changed, message)
  using ProgressHandler =
      std::function<void(Graphic& sender, ProgressStage stage, int percent, bool redrawNow, const Rect& rect,
                         const std::string& message)>;
  using ChangeHandler = std::function<void(Graphic& sender)>;

  Graphic() = default;
  // Copies take the picture's state, not its notification handlers (those
  // belong to whoever watches this object).
  Graphic(const Graphic& other)
      : transparent_(other.transparent_), modified_(other.modified_), paletteModified_(other.paletteModified_) {}
  Graphic& operator=(const Graphic& other) {
    transparent_ = other.transparent_;
    modified_ = other.modified_;
    paletteModified_ = other.paletteModified_;
    return *this;
  }
  virtual ~Graphic() = default;

  // The class name as the picture's own error messages give it ("TBitmap").
  virtual std::string ClassName() const = 0;

  virtual void LoadFromStream(Stream& stream) = 0;
  virtual void SaveToStream(Stream& stream) = 0;
  // Whole files; the file name appears in the error of a file that cannot be
  // opened, the picture's own message for damaged content. A save encodes
  // into the temporary file of SavePictureFileWith (platform/safesave.h), so
  // a failed encoding leaves the old file as it was.
  virtual void LoadFromFile(const std::string& path);
  virtual void SaveToFile(const std::string& path);

  // Draws the picture into rect on the canvas, stretched to fit.
  virtual void Draw(Canvas& canvas, const Rect& rect) = 0;

  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Resizing is not for every picture class; the default refuses.
  virtual void SetWidth(int width);
  virtual void SetHeight(int height);
  virtual bool Empty() const = 0;

  virtual bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool value);

  // The picture's colour table (empty when it has none).
  virtual Palette GetPalette() const { return {}; }
  virtual void SetPalette(const Palette& palette);

  // Takes the picture of source. The default asks the source to assign
  // itself to this picture (AssignTo).
  virtual void Assign(const Graphic& source);
  // Gives this picture to target when target's Assign does not know this
  // class. The default throws "Cannot assign a X to a Y".
  virtual void AssignTo(Graphic& target) const;

  // Clipboard exchange (see picture.h for the clipboard formats): Save puts
  // the picture's formats into mime; Load takes the picture from the data
  // that mime holds for format. Both throw "Unsupported clipboard format" by
  // default.
  virtual void SaveToClipboardFormat(QMimeData& mime);
  virtual void LoadFromClipboardFormat(int format, const QMimeData& mime);

  // Stored properties (see Filer): a picture names the binary properties
  // that hold it. The default defines "Data", read by ReadData and written
  // by WriteData when the picture differs from the ancestor's, or, with no
  // ancestor, when it is not empty.
  virtual void DefineProperties(Filer& filer);
  // The picture in its stored property form; by default its stream form.
  virtual void ReadData(Stream& stream);
  virtual void WriteData(Stream& stream);
  // The same picture: same class, and both empty or the same stored data.
  virtual bool Equals(Graphic& other);

  // The palette was replaced since the flag was last cleared (for whoever
  // shows the picture and must realise its palette again).
  bool PaletteModified() const { return paletteModified_; }
  void SetPaletteModified(bool value) { paletteModified_ = value; }

  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }

  void SetOnProgress(ProgressHandler handler) { onProgress_ = std::move(handler); }
  const ProgressHandler& OnProgress() const { return onProgress_; }
  void SetOnChange(ChangeHandler handler) { onChange_ = std::move(handler); }
  const ChangeHandler& OnChange() const { return onChange_; }

  // Raises the progress notification (nothing when no handler is bound).
  void Progress(ProgressStage stage, int percent, bool redrawNow, const Rect& rect, const std::string& message);

 protected:
  // Marks the picture modified and raises the change notification.
  virtual void Changed();
  [[noreturn]] void AssignError(const Graphic& source) const;

 private:
  bool transparent_ = false;
  bool modified_ = false;
  bool paletteModified_ = false;
  ProgressHandler onProgress_;
  ChangeHandler onChange_;
};

// Stores the properties of pictures kept inside other files (a window's
// stored picture, for example). A picture defines each binary property with
// how to read and write it; the filer decides which it reads or writes.
class Filer {
 public:
  using DataReader = std::function<void(Stream&)>;
  using DataWriter = std::function<void(Stream&)>;
  virtual ~Filer() = default;
  // The picture the stored one is compared with (the one it inherits from),
  // or none.
  virtual Graphic* Ancestor() const = 0;
  // hasData: the property is written at all.
  virtual void DefineBinaryProperty(const std::string& name, const DataReader& read, const DataWriter& write,
                                    bool hasData) = 0;
};

// The stored form of a picture's properties: for each property written, its
// name (a length byte and the name), the data's byte count (4 bytes, little
// endian) and the data; then one 0 byte.
void WriteProperties(Graphic& graphic, Stream& stream, Graphic* ancestor = nullptr);
// Reads that form into the picture; GraphicError for a property the picture
// does not define or data that the stream does not hold.
void ReadProperties(Graphic& graphic, Stream& stream);

}  // namespace platform
