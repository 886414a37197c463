#include "platform/canvas.h"

#include <QFontMetrics>
#include <QImage>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <unordered_map>

#include "platform/bitmap.h"
#include "platform/text.h"

namespace platform {

QColor ToQColor(Color colour) { return QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour)); }
Color FromQColor(const QColor& colour) { return RGBColor(colour.red(), colour.green(), colour.blue()); }

namespace {

Rect Normalized(Rect r) {
  if (r.right < r.left) std::swap(r.left, r.right);
  if (r.bottom < r.top) std::swap(r.top, r.bottom);
  return r;
}

QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

// The part of r that can matter on a surface of the clip rectangle: the
// coordinates are pulled in to margin pixels around it, so that far-away
// edges stay invisible and no size overflows.
Rect Limited(const Rect& r, const Rect& clip, int margin) {
  auto lim = [margin](int v, int lo, int hi) {
    return static_cast<int>(std::clamp<long long>(v, static_cast<long long>(lo) - margin, static_cast<long long>(hi) + margin));
  };
  return Rect{lim(r.left, clip.left, clip.right), lim(r.top, clip.top, clip.bottom), lim(r.right, clip.left, clip.right),
              lim(r.bottom, clip.top, clip.bottom)};
}

}  // namespace

Canvas::Canvas() = default;
Canvas::Canvas(Bitmap* bitmap) { Bind(bitmap); }
Canvas::Canvas(QPainter* painter, const Rect& clip) { Bind(painter, clip); }

void Canvas::Bind(Bitmap* bitmap) {
  bitmap_ = bitmap;
  painter_ = nullptr;
  device_.reset();
}

void Canvas::Bind(QPainter* painter, const Rect& clip) {
  bitmap_ = nullptr;
  painter_ = painter;
  clip_ = clip;
  device_.reset();
}

void Canvas::Unbind() {
  bitmap_ = nullptr;
  painter_ = nullptr;
  device_.reset();
}

Canvas::DeviceHandle Canvas::Handle() const {
  if (!IsBound()) return {};
  if (!device_) device_ = std::make_shared<const int>(0);
  return device_;
}

Rect Canvas::ClipRect() const {
  if (bitmap_) return Rect{0, 0, bitmap_->Width(), bitmap_->Height()};
  if (painter_) return clip_;
  return Rect{};
}

void Canvas::WithPainter(const std::function<void(QPainter&)>& fn) {
  if (painter_) {
    painter_->save();
    fn(*painter_);
    painter_->restore();
    return;
  }
  if (!bitmap_ || bitmap_->Empty()) return;
  if (!IsIndexed(bitmap_->GetPixelFormat())) {
    {
      QImage image = bitmap_->WrapQImage();
      QPainter painter(&image);
      fn(painter);
    }
    bitmap_->Changed();
    return;
  }
  // Indexed bitmaps: paint a true-colour copy, then store the pixels that
  // changed as their nearest palette entries (unchanged pixels keep their
  // index even where the palette holds a colour twice).
  const QImage before = bitmap_->ToQImage().convertToFormat(QImage::Format_RGB32);
  QImage after = before.copy();
  {
    QPainter painter(&after);
    fn(painter);
  }
  const Palette palette = bitmap_->GetPalette();
  std::unordered_map<QRgb, int> nearest;
  for (int y = 0; y < before.height(); ++y) {
    const auto* a = reinterpret_cast<const QRgb*>(before.constScanLine(y));
    const auto* b = reinterpret_cast<const QRgb*>(after.constScanLine(y));
    for (int x = 0; x < before.width(); ++x) {
      if (a[x] == b[x]) continue;
      auto it = nearest.find(b[x]);
      if (it == nearest.end())
        it = nearest.emplace(b[x], std::max(0, NearestPaletteIndex(palette, RGBColor(qRed(b[x]), qGreen(b[x]), qBlue(b[x])))))
                 .first;
      bitmap_->SetPixelIndex(x, y, it->second);
    }
  }
  bitmap_->Changed();
}

QPen Canvas::MakePen() const {
  if (pen_.style == PenStyle::Clear) return QPen(Qt::NoPen);
  QPen pen(ToQColor(pen_.color));
  pen.setWidth(std::max(1, pen_.width));
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::MiterJoin);
  switch (pen_.style) {
    case PenStyle::Dash: pen.setStyle(Qt::DashLine); break;
    case PenStyle::Dot: pen.setStyle(Qt::DotLine); break;
    case PenStyle::DashDot: pen.setStyle(Qt::DashDotLine); break;
    case PenStyle::DashDotDot: pen.setStyle(Qt::DashDotDotLine); break;
    default: pen.setStyle(Qt::SolidLine); break;
  }
  return pen;
}

QBrush Canvas::MakeBrush() const {
  if (brush_.style == BrushStyle::Clear) return QBrush(Qt::NoBrush);
  return QBrush(ToQColor(brush_.color));
}

QFont Canvas::MakeFont() const {
  QFont font;
  if (!font_.name.empty()) font.setFamily(toQString(font_.name));
  if (font_.height > 0)
    font.setPixelSize(font_.height);
  else
    font.setPointSize(std::clamp(font_.size, 1, 1000));
  font.setBold(font_.bold);
  font.setItalic(font_.italic);
  font.setUnderline(font_.underline);
  font.setStrikeOut(font_.strikeOut);
  return font;
}

void Canvas::MoveTo(int x, int y) { penPos_ = Point{x, y}; }

void Canvas::LineTo(int x, int y) {
  const Point from = penPos_;
  penPos_ = Point{x, y};
  if (pen_.style == PenStyle::Clear) return;
  if (pen_.width <= 1 && (pen_.style == PenStyle::Solid || pen_.style == PenStyle::InsideFrame)) {
    // The platform's line: every pixel from the start up to, not including,
    // the end point.
    const QColor colour = ToQColor(pen_.color);
    const long long dx = std::llabs(static_cast<long long>(x) - from.x);
    const long long dy = -std::llabs(static_cast<long long>(y) - from.y);
    // Lines of more than a million steps (coordinates far outside any
    // surface) are left to the painter, which clips before it walks.
    if (std::max(dx, -dy) <= (1LL << 20)) {
      const Rect clip = ClipRect();
      WithPainter([&](QPainter& p) {
        long long cx = from.x, cy = from.y;
        const int sx = cx < x ? 1 : -1, sy = cy < y ? 1 : -1;
        long long err = dx + dy;
        while (cx != x || cy != y) {
          if (cx >= clip.left && cx < clip.right && cy >= clip.top && cy < clip.bottom)
            p.fillRect(static_cast<int>(cx), static_cast<int>(cy), 1, 1, colour);
          const long long e2 = 2 * err;
          if (e2 >= dy) {
            err += dy;
            cx += sx;
          }
          if (e2 <= dx) {
            err += dx;
            cy += sy;
          }
        }
      });
      return;
    }
  }
  WithPainter([&](QPainter& p) {
    p.setPen(MakePen());
    p.drawLine(from.x, from.y, x, y);
  });
}

void Canvas::FillRect(const Rect& rect) {
  const Rect r = Limited(Normalized(rect), ClipRect(), 1);
  if (r.IsEmpty() || brush_.style == BrushStyle::Clear) return;
  WithPainter([&](QPainter& p) { p.fillRect(ToQRect(r), MakeBrush()); });
}

void Canvas::FrameRect(const Rect& rect) {
  const Rect r = Limited(Normalized(rect), ClipRect(), 2);
  if (r.IsEmpty() || brush_.style == BrushStyle::Clear) return;
  const QColor c = ToQColor(brush_.color);
  WithPainter([&](QPainter& p) {
    p.fillRect(r.left, r.top, r.Width(), 1, c);
    p.fillRect(r.left, r.bottom - 1, r.Width(), 1, c);
    p.fillRect(r.left, r.top, 1, r.Height(), c);
    p.fillRect(r.right - 1, r.top, 1, r.Height(), c);
  });
}

void Canvas::Rectangle(const Rect& rect) {
  const Rect r = Limited(Normalized(rect), ClipRect(), std::clamp(pen_.width, 1, 1 << 16) + 2);
  if (r.IsEmpty()) return;
  const bool solidPen = pen_.style == PenStyle::Solid || pen_.style == PenStyle::InsideFrame;
  WithPainter([&](QPainter& p) {
    if (brush_.style != BrushStyle::Clear) p.fillRect(ToQRect(r), MakeBrush());
    if (pen_.style == PenStyle::Clear) return;
    if (solidPen) {
      // The outline covers the rectangle's outer pen-width pixels.
      const int w = std::clamp(pen_.width, 1, std::max(1, std::min(r.Width(), r.Height())));
      const QColor c = ToQColor(pen_.color);
      p.fillRect(r.left, r.top, r.Width(), std::min(w, r.Height()), c);
      p.fillRect(r.left, std::max(r.top, r.bottom - w), r.Width(), std::min(w, r.Height()), c);
      p.fillRect(r.left, r.top, std::min(w, r.Width()), r.Height(), c);
      p.fillRect(std::max(r.left, r.right - w), r.top, std::min(w, r.Width()), r.Height(), c);
    } else {
      p.setPen(MakePen());
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRect(r.left, r.top, r.Width() - 1, r.Height() - 1));
    }
  });
}

namespace {

// Row y of a rectangle with elliptic corners: the columns [from, to) it
// covers. A pixel of a corner belongs to the shape when its centre lies in
// the corner's ellipse, whose radii are half the corner size less 0.3
// pixel; so 2 x 2 corners leave out exactly the four corner pixels, large
// corners reach the rectangle's edges, and the shape is the same seen from
// every side.
struct Span {
  long long from = 0;
  long long to = 0;
};

Span RoundedRowSpan(const Rect& r, double rx, double ry, long long y) {
  Span s{r.left, r.right};
  if (y < r.top || y >= r.bottom) return Span{r.left, r.left};
  const double ax = rx - 0.3, ay = ry - 0.3;
  if (ax <= 0 || ay <= 0) return s;
  const double height = static_cast<double>(r.bottom) - r.top;
  const double cy = static_cast<double>(y) + 0.5 - r.top;
  double dy = 0;
  if (cy < ry)
    dy = ry - cy;
  else if (cy > height - ry)
    dy = cy - (height - ry);
  if (dy <= 0) return s;
  const double dx = dy >= ay ? 0.0 : ax * std::sqrt(1.0 - (dy / ay) * (dy / ay));
  const long long cut = std::max(0LL, static_cast<long long>(std::ceil(rx - dx - 0.5 - 1e-9)));
  s.from = r.left + cut;
  s.to = std::max(s.from, static_cast<long long>(r.right) - cut);
  return s;
}

}  // namespace

void Canvas::RoundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight) {
  const Rect r = Normalized(Rect{left, top, right, bottom});
  if (r.IsEmpty()) return;
  const double rx = std::min<double>(std::max(0, cornerWidth), static_cast<double>(r.right) - r.left) / 2.0;
  const double ry = std::min<double>(std::max(0, cornerHeight), static_cast<double>(r.bottom) - r.top) / 2.0;
  const bool outline = pen_.style != PenStyle::Clear;
  const bool fill = brush_.style != BrushStyle::Clear;
  if (!outline && !fill) return;
  const int w = std::clamp(pen_.width, 1, 1 << 16);
  // Only rows that can show are walked, however large the rectangle.
  const Rect clip = ClipRect();
  const int y0 = std::max(r.top, clip.top), y1 = std::min(r.bottom, clip.bottom);
  if (y0 >= y1) return;
  const QColor penColour = ToQColor(pen_.color);
  const QBrush brush = MakeBrush();
  WithPainter([&](QPainter& p) {
    // One row piece [from, to), cut to the visible columns.
    auto put = [&](long long from, long long to, int y, const QBrush& b) {
      from = std::max<long long>(from, clip.left);
      to = std::min<long long>(to, clip.right);
      if (from < to) p.fillRect(static_cast<int>(from), y, static_cast<int>(to - from), 1, b);
    };
    const QBrush penBrush(penColour);
    for (int y = y0; y < y1; ++y) {
      const Span s = RoundedRowSpan(r, rx, ry, y);
      if (s.from >= s.to) continue;
      if (!outline) {
        put(s.from, s.to, y, brush);
        continue;
      }
      // Inside: the pixels whose neighbours up to the pen width away, along
      // the row and along the column, are all in the shape.
      Span inner{s.from + w, s.to - w};
      if (static_cast<long long>(y) - w < r.top || static_cast<long long>(y) + w >= r.bottom) inner.to = inner.from;
      for (int d = 1; d <= w && inner.from < inner.to; ++d)
        for (long long yy : {static_cast<long long>(y) - d, static_cast<long long>(y) + d}) {
          const Span n = RoundedRowSpan(r, rx, ry, yy);
          inner.from = std::max(inner.from, n.from);
          inner.to = std::min(inner.to, n.to);
        }
      if (inner.from >= inner.to) {
        put(s.from, s.to, y, penBrush);
        continue;
      }
      if (fill) put(inner.from, inner.to, y, brush);
      put(s.from, inner.from, y, penBrush);
      put(inner.to, s.to, y, penBrush);
    }
  });
}

void Canvas::Ellipse(int left, int top, int right, int bottom) {
  // An ellipse is a rectangle whose corners take all of it; one or two
  // pixels across it is the whole rectangle.
  const Rect r = Normalized(Rect{left, top, right, bottom});
  const long long w = static_cast<long long>(r.right) - r.left, h = static_cast<long long>(r.bottom) - r.top;
  if (w <= 2 || h <= 2)
    RoundRect(r.left, r.top, r.right, r.bottom, 0, 0);
  else
    RoundRect(r.left, r.top, r.right, r.bottom, static_cast<int>(std::min<long long>(w, INT_MAX)),
              static_cast<int>(std::min<long long>(h, INT_MAX)));
}

void Canvas::Polygon(const std::vector<Point>& points) {
  if (points.size() < 2) return;
  QPolygon poly;
  for (const Point& pt : points) poly << QPoint(pt.x, pt.y);
  WithPainter([&](QPainter& p) {
    p.setPen(MakePen());
    p.setBrush(MakeBrush());
    p.drawPolygon(poly);
  });
}

void Canvas::Polyline(const std::vector<Point>& points) {
  if (points.empty()) return;
  MoveTo(points[0].x, points[0].y);
  for (std::size_t i = 1; i < points.size(); ++i) LineTo(points[i].x, points[i].y);
}

void Canvas::TextOut(int x, int y, const std::string& text) { DrawText(nullptr, x, y, text); }

void Canvas::TextRect(const Rect& rect, int x, int y, const std::string& text) {
  const Rect r = Normalized(rect);
  if (r.IsEmpty()) return;
  DrawText(&r, x, y, text);
}

void Canvas::DrawText(const Rect* clipTo, int x, int y, const std::string& text) {
  const QString s = toQString(text);
  const QFont font = MakeFont();
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(s);
  const int height = metrics.height();
  WithPainter([&](QPainter& p) {
    if (clipTo) p.setClipRect(ToQRect(Limited(*clipTo, ClipRect(), 1)), Qt::IntersectClip);
    p.translate(x, y);
    if (font_.orientation != 0) p.rotate(-font_.orientation / 10.0);
    if (brush_.style != BrushStyle::Clear) p.fillRect(QRect(0, 0, width, height), MakeBrush());
    p.setFont(font);
    p.setPen(ToQColor(font_.color));
    p.drawText(0, metrics.ascent(), s);
  });
  penPos_ = Point{static_cast<int>(std::min<long long>(static_cast<long long>(x) + width, INT_MAX)), y};
}

int Canvas::TextWidth(const std::string& text) const {
  return QFontMetrics(MakeFont()).horizontalAdvance(toQString(text));
}

int Canvas::TextHeight(const std::string&) const { return QFontMetrics(MakeFont()).height(); }

void Canvas::Draw(int x, int y, Graphic& graphic) {
  if (graphic.Empty()) return;
  auto end = [](int from, int size) {
    return static_cast<int>(std::clamp<long long>(static_cast<long long>(from) + size, INT_MIN, INT_MAX));
  };
  graphic.Draw(*this, Rect{x, y, end(x, graphic.Width()), end(y, graphic.Height())});
}

void Canvas::StretchDraw(const Rect& rect, Graphic& graphic) {
  if (graphic.Empty()) return;
  graphic.Draw(*this, rect);
}

void Canvas::DrawImage(const Rect& dest, const QImage& image, const Rect& source) {
  if (image.isNull() || dest.IsEmpty() || source.IsEmpty()) return;
  QImage copy;
  const QImage* src = &image;
  if (bitmap_ && !bitmap_->Empty() && image.constBits() == bitmap_->Bits()) {
    copy = image.copy();  // drawing a bitmap onto itself
    src = &copy;
  }
  WithPainter([&](QPainter& p) {
    switch (copyMode_) {
      case CopyMode::SrcCopy: p.setCompositionMode(QPainter::CompositionMode_SourceOver); break;
      case CopyMode::SrcAnd: p.setCompositionMode(QPainter::RasterOp_SourceAndDestination); break;
      case CopyMode::SrcPaint: p.setCompositionMode(QPainter::RasterOp_SourceOrDestination); break;
      case CopyMode::SrcInvert: p.setCompositionMode(QPainter::RasterOp_SourceXorDestination); break;
    }
    constexpr int kFar = 1 << 24;
    const bool far = dest.left < -kFar || dest.top < -kFar || dest.right > kFar || dest.bottom > kFar;
    if (!far) {
      p.drawImage(ToQRect(dest), *src, ToQRect(source));
      return;
    }
    // A destination far beyond any surface: sample the part over the clip
    // rectangle (nearest source pixel of each pixel centre, in exact integer
    // arithmetic) and draw that.
    const Rect clip = ClipRect();
    const int l = std::max(dest.left, clip.left), t = std::max(dest.top, clip.top);
    const int r = std::min(dest.right, clip.right), b = std::min(dest.bottom, clip.bottom);
    if (l >= r || t >= b) return;
    const QImage from = src->convertToFormat(QImage::Format_ARGB32);
    const long long dw = static_cast<long long>(dest.right) - dest.left, dh = static_cast<long long>(dest.bottom) - dest.top;
    const long long sw = source.Width(), sh = source.Height();
    QImage part(r - l, b - t, QImage::Format_ARGB32);
    for (int y = t; y < b; ++y) {
      const long long sy = source.top + ((static_cast<long long>(y) - dest.top) * 2 + 1) * sh / (2 * dh);
      auto* row = reinterpret_cast<QRgb*>(part.scanLine(y - t));
      for (int x = l; x < r; ++x) {
        const long long sx = source.left + ((static_cast<long long>(x) - dest.left) * 2 + 1) * sw / (2 * dw);
        row[x - l] = from.valid(static_cast<int>(sx), static_cast<int>(sy)) ? from.pixel(static_cast<int>(sx), static_cast<int>(sy)) : 0;
      }
    }
    p.drawImage(QPoint(l, t), part);
  });
}

void Canvas::CopyRect(const Rect& dest, Canvas& source, const Rect& sourceRect) {
  if (source.bitmap_) {
    DrawImage(dest, source.bitmap_->ToQImage(), sourceRect);
    return;
  }
  if (source.painter_ && source.painter_->device() && source.painter_->device()->devType() == QInternal::Image) {
    const QImage* image = static_cast<const QImage*>(source.painter_->device());
    DrawImage(dest, image->copy(), sourceRect);
    return;
  }
  throw GraphicError("Cannot copy from this canvas");
}

Color Canvas::Pixel(int x, int y) const {
  if (bitmap_) return bitmap_->Pixel(x, y);
  if (painter_ && painter_->device() && painter_->device()->devType() == QInternal::Image) {
    const QImage* image = static_cast<const QImage*>(painter_->device());
    if (!image->valid(x, y)) return clNone;
    return FromQColor(image->pixelColor(x, y));
  }
  return clNone;
}

void Canvas::SetPixel(int x, int y, Color colour) {
  if (bitmap_) {
    bitmap_->SetPixel(x, y, colour);
    bitmap_->Changed();
    return;
  }
  WithPainter([&](QPainter& p) { p.fillRect(x, y, 1, 1, ToQColor(colour)); });
}

}  // namespace platform
