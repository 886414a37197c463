#include "platform/canvas.h"

#include <QFontMetrics>
#include <QImage>
#include <algorithm>
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

}  // namespace

Canvas::Canvas() = default;
Canvas::Canvas(Bitmap* bitmap) { Bind(bitmap); }
Canvas::Canvas(QPainter* painter, const Rect& clip) { Bind(painter, clip); }

void Canvas::Bind(Bitmap* bitmap) {
  bitmap_ = bitmap;
  painter_ = nullptr;
}

void Canvas::Bind(QPainter* painter, const Rect& clip) {
  bitmap_ = nullptr;
  painter_ = painter;
  clip_ = clip;
}

void Canvas::Unbind() {
  bitmap_ = nullptr;
  painter_ = nullptr;
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
    WithPainter([&](QPainter& p) {
      int cx = from.x, cy = from.y;
      const int dx = std::abs(x - cx), dy = -std::abs(y - cy);
      const int sx = cx < x ? 1 : -1, sy = cy < y ? 1 : -1;
      long err = static_cast<long>(dx) + dy;
      while (cx != x || cy != y) {
        p.fillRect(cx, cy, 1, 1, colour);
        const long e2 = 2 * err;
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
  WithPainter([&](QPainter& p) {
    p.setPen(MakePen());
    p.drawLine(from.x, from.y, x, y);
  });
}

void Canvas::FillRect(const Rect& rect) {
  const Rect r = Normalized(rect);
  if (r.IsEmpty() || brush_.style == BrushStyle::Clear) return;
  WithPainter([&](QPainter& p) { p.fillRect(ToQRect(r), MakeBrush()); });
}

void Canvas::FrameRect(const Rect& rect) {
  const Rect r = Normalized(rect);
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
  const Rect r = Normalized(rect);
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

void Canvas::OutlineAndFill(const Rect& rect, const std::function<void(QPainter&, const QRect&)>& shape) {
  const Rect r = Normalized(rect);
  if (r.IsEmpty()) return;
  WithPainter([&](QPainter& p) {
    p.setBrush(MakeBrush());
    if (pen_.style == PenStyle::Clear) {
      p.setPen(Qt::NoPen);
      shape(p, ToQRect(r));  // an outline-less shape fills the whole area
    } else {
      QPen pen = MakePen();
      const int w = std::max(1, pen_.width);
      p.setPen(pen);
      // A wide pen is centred on its path: move the path inside by half the
      // width so the outline stays within the rectangle.
      const int inset = (w - 1) / 2;
      shape(p, QRect(r.left + inset, r.top + inset, std::max(0, r.Width() - 1 - 2 * inset),
                     std::max(0, r.Height() - 1 - 2 * inset)));
    }
  });
}

void Canvas::RoundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight) {
  const qreal rx = std::max(0, cornerWidth) / 2.0, ry = std::max(0, cornerHeight) / 2.0;
  OutlineAndFill(Rect{left, top, right, bottom}, [&](QPainter& p, const QRect& r) {
    if (rx <= 0 || ry <= 0)
      p.drawRect(r);
    else
      p.drawRoundedRect(r, rx, ry, Qt::AbsoluteSize);
  });
}

void Canvas::Ellipse(int left, int top, int right, int bottom) {
  OutlineAndFill(Rect{left, top, right, bottom}, [](QPainter& p, const QRect& r) { p.drawEllipse(r); });
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

void Canvas::TextOut(int x, int y, const std::string& text) {
  TextRect(Rect{}, x, y, text);
}

void Canvas::TextRect(const Rect& rect, int x, int y, const std::string& text) {
  const QString s = toQString(text);
  const QFont font = MakeFont();
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(s);
  const int height = metrics.height();
  const bool clipped = !rect.IsEmpty();
  WithPainter([&](QPainter& p) {
    if (clipped) p.setClipRect(ToQRect(Normalized(rect)), Qt::IntersectClip);
    p.translate(x, y);
    if (font_.orientation != 0) p.rotate(-font_.orientation / 10.0);
    if (brush_.style != BrushStyle::Clear) p.fillRect(QRect(0, 0, width, height), MakeBrush());
    p.setFont(font);
    p.setPen(ToQColor(font_.color));
    p.drawText(0, metrics.ascent(), s);
  });
  penPos_ = Point{x + width, y};
}

int Canvas::TextWidth(const std::string& text) const {
  return QFontMetrics(MakeFont()).horizontalAdvance(toQString(text));
}

int Canvas::TextHeight(const std::string&) const { return QFontMetrics(MakeFont()).height(); }

void Canvas::Draw(int x, int y, Graphic& graphic) {
  if (graphic.Empty()) return;
  graphic.Draw(*this, Rect{x, y, x + graphic.Width(), y + graphic.Height()});
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
    p.drawImage(ToQRect(dest), *src, ToQRect(source));
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
