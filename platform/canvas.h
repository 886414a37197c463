#pragma once
// Drawing surface with the class library's pen, brush and font state over
// QPainter. A canvas draws either on a Bitmap (painting straight into its
// pixel memory; indexed bitmaps are painted in true colour and mapped back to
// their palette) or through a QPainter the caller holds, e.g. a widget's
// painter inside paintEvent.
//
// Windows conventions: a rectangle from (left, top) to (right, bottom)
// covers the pixels left..right-1 and top..bottom-1, whether or not it has an
// outline; the pen's outline lies on the rectangle's outer pixels. LineTo
// leaves out its end point. A pen of style Clear draws nothing and a brush of
// style Clear fills nothing.
#include <QPainter>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphic.h"

namespace platform {

class Bitmap;

enum class PenStyle { Solid, Dash, Dot, DashDot, DashDotDot, Clear, InsideFrame };
enum class BrushStyle { Solid, Clear };
// How drawn pictures combine with the canvas (SRCCOPY, SRCAND, SRCPAINT,
// SRCINVERT).
enum class CopyMode { SrcCopy, SrcAnd, SrcPaint, SrcInvert };

struct Pen {
  Color color = clBlack;
  int width = 1;
  PenStyle style = PenStyle::Solid;
};

struct Brush {
  Color color = clWhite;
  BrushStyle style = BrushStyle::Solid;
};

struct Font {
  std::string name;    // empty: the application's default family
  int size = 8;        // points, when height is 0
  int height = 0;      // character height in pixels, overrides size when > 0
  Color color = clBlack;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  int orientation = 0;  // text angle in tenths of a degree, counter-clockwise
};

class Canvas {
 public:
  // A canvas that draws nothing until bound.
  Canvas();
  // Draws on the bitmap (which must outlive the canvas).
  explicit Canvas(Bitmap* bitmap);
  // Draws through the painter (which must stay active while the canvas is
  // used); clip is the area the painter covers, for ClipRect().
  Canvas(QPainter* painter, const Rect& clip);
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  void Bind(Bitmap* bitmap);
  void Bind(QPainter* painter, const Rect& clip);
  void Unbind();
  bool IsBound() const { return bitmap_ != nullptr || painter_ != nullptr; }

  // What the canvas draws on now, as a handle that may outlive the canvas
  // (the platform's device context): a new one for every binding; it is no
  // longer a device once the canvas is unbound, bound anew or destroyed.
  // Holders test it with IsDevice and never touch the canvas for that.
  using DeviceHandle = std::weak_ptr<const void>;
  DeviceHandle Handle() const;
  static bool IsDevice(const DeviceHandle& handle) { return !handle.expired(); }
  Bitmap* TargetBitmap() const { return bitmap_; }

  Pen& pen() { return pen_; }
  Brush& brush() { return brush_; }
  Font& font() { return font_; }
  const Pen& pen() const { return pen_; }
  const Brush& brush() const { return brush_; }
  const Font& font() const { return font_; }
  void SetPen(const Pen& pen) { pen_ = pen; }
  void SetBrush(const Brush& brush) { brush_ = brush; }
  void SetFont(const Font& font) { font_ = font; }
  CopyMode GetCopyMode() const { return copyMode_; }
  void SetCopyMode(CopyMode mode) { copyMode_ = mode; }

  // The area that can be drawn on (the bitmap, or the painter's clip).
  Rect ClipRect() const;

  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  Point PenPos() const { return penPos_; }

  // Brush only.
  void FillRect(const Rect& rect);
  // One-pixel frame in the brush colour.
  void FrameRect(const Rect& rect);
  // Outline with the pen, inside filled with the brush.
  void Rectangle(const Rect& rect);
  void Rectangle(int left, int top, int right, int bottom) { Rectangle(Rect{left, top, right, bottom}); }
  // Rectangle with elliptic corners of cornerWidth x cornerHeight.
  void RoundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight);
  void Ellipse(int left, int top, int right, int bottom);
  void Polygon(const std::vector<Point>& points);
  void Polyline(const std::vector<Point>& points);

  // Text (Windows-1252) with its cell's top-left corner at (x, y); with a
  // solid brush the cell is first filled with the brush colour.
  void TextOut(int x, int y, const std::string& text);
  // As TextOut, clipped to rect.
  void TextRect(const Rect& rect, int x, int y, const std::string& text);
  int TextWidth(const std::string& text) const;
  int TextHeight(const std::string& text) const;

  void Draw(int x, int y, Graphic& graphic);
  void StretchDraw(const Rect& rect, Graphic& graphic);
  // Draws the part source of image into dest, stretched, with the copy mode.
  void DrawImage(const Rect& dest, const QImage& image, const Rect& source);
  // Copies source's area sourceRect into dest of this canvas (stretched).
  // Source must be bound to a bitmap.
  void CopyRect(const Rect& dest, Canvas& source, const Rect& sourceRect);

  // Colour of a pixel (clNone outside or when the target cannot be read).
  Color Pixel(int x, int y) const;
  void SetPixel(int x, int y, Color colour);

  // Runs fn with a QPainter on the target, for drawing the class library
  // offered no call for. On an indexed bitmap the result is mapped back to
  // its palette.
  void WithPainter(const std::function<void(QPainter&)>& fn);

 private:
  QPen MakePen() const;
  QBrush MakeBrush() const;
  QFont MakeFont() const;
  void DrawText(const Rect* clipTo, int x, int y, const std::string& text);

  Bitmap* bitmap_ = nullptr;
  QPainter* painter_ = nullptr;
  // Made when a handle is first asked for; dropped with the binding.
  mutable std::shared_ptr<const int> device_;
  Rect clip_;
  Pen pen_;
  Brush brush_;
  Font font_;
  CopyMode copyMode_ = CopyMode::SrcCopy;
  Point penPos_;
};

QColor ToQColor(Color colour);
Color FromQColor(const QColor& colour);

}  // namespace platform
