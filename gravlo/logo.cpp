#include "gravlo/logo.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <array>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/jpeg.h"
#include "platform/stream.h"

namespace gravlo {
namespace {

// Letters of the name on a 5 x 7 grid, '#' for a block.
using Glyph = std::array<const char*, 7>;
constexpr Glyph kG = {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".###."};
constexpr Glyph kR = {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"};
constexpr Glyph kA = {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"};
constexpr Glyph kV = {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."};
constexpr Glyph kL = {"#....", "#....", "#....", "#....", "#....", "#....", "#####"};
constexpr Glyph kO = {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."};

const QColor kHeader(81, 78, 64);
const QColor kHeaderDark(44, 42, 35);
const QColor kEmptyCell(24, 28, 32);

// Softened versions of the piece colours, so the picture suits the header bar.
const std::array<QColor, 7> kPalette = {
    QColor(96, 204, 120), QColor(84, 140, 228), QColor(222, 196, 72), QColor(226, 92, 80),
    QColor(72, 198, 206), QColor(228, 110, 168), QColor(150, 120, 220)};

// One cell: a rounded block with a light upper-left edge and a dark lower-right
// edge, the way the board shows its cells, only larger.
// gap is the margin around the block; 0 lets neighbouring blocks join, which
// keeps the letters whole when the picture is shown small.
void DrawBlock(QPainter& p, const QRectF& r, const QColor& c, qreal gap = 1) {
  const qreal edge = r.width() * 0.14;
  const qreal radius = gap > 0 ? r.width() * 0.12 : 0;
  p.setPen(Qt::NoPen);
  p.setBrush(c.darker(170));
  p.drawRoundedRect(r.adjusted(gap, gap, -gap, -gap), radius, radius);
  QPainterPath light;
  light.addRoundedRect(r.adjusted(gap, gap, -gap - edge, -gap - edge), radius, radius);
  p.setBrush(c.lighter(135));
  p.drawPath(light);
  p.setBrush(c);
  p.drawRoundedRect(r.adjusted(gap + edge, gap + edge, -gap - edge, -gap - edge), radius * 0.7, radius * 0.7);
}

void DrawGlyph(QPainter& p, const Glyph& g, qreal x, qreal y, qreal cell, const QColor& c) {
  for (int row = 0; row < 7; ++row) {
    for (int col = 0; col < 5; ++col) {
      if (g[static_cast<size_t>(row)][col] == '#') DrawBlock(p, QRectF(x + col * cell, y + row * cell, cell, cell), c, 0);
    }
  }
}

// A piece given as up to four rows of '#' and '.', drawn at a cell position of
// the well, with a faint trail above it that shows it is falling.
void DrawPiece(QPainter& p, const QPointF& well, qreal cell, int col, int row,
               std::initializer_list<const char*> shape, const QColor& c, int trail) {
  const std::vector<std::string> rows(shape.begin(), shape.end());
  for (size_t dy = 0; dy < rows.size(); ++dy) {
    for (size_t dx = 0; dx < rows[dy].size(); ++dx) {
      if (rows[dy][dx] != '#') continue;
      const QRectF r(well.x() + (col + static_cast<int>(dx)) * cell, well.y() + (row + static_cast<int>(dy)) * cell,
                     cell, cell);
      const bool topOfColumn = dy == 0 || dx >= rows[dy - 1].size() || rows[dy - 1][dx] != '#';
      if (trail > 0 && topOfColumn) {
        QLinearGradient g(r.topLeft() - QPointF(0, trail * cell), r.topLeft());
        QColor faint = c;
        faint.setAlpha(0);
        QColor strong = c;
        strong.setAlpha(90);
        g.setColorAt(0, faint);
        g.setColorAt(1, strong);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRect(QRectF(r.left() + cell * 0.2, r.top() - trail * cell, cell * 0.6, trail * cell));
      }
      DrawBlock(p, r, c);
    }
  }
}

}  // namespace

QImage DrawLogoImage() {
  QImage image(kLogoWidth, kLogoHeight, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);

  QLinearGradient bg(0, 0, 0, kLogoHeight);
  bg.setColorAt(0, kHeader);
  bg.setColorAt(1, kHeaderDark);
  p.fillRect(image.rect(), bg);

  // The name in blocks.
  const qreal letterCell = 21;
  const std::array<const Glyph*, 6> name = {&kG, &kR, &kA, &kV, &kL, &kO};
  const qreal nameWidth = (6 * 5 + 5) * letterCell;
  const qreal nameLeft = (kLogoWidth - nameWidth) / 2;
  for (size_t i = 0; i < name.size(); ++i) {
    DrawGlyph(p, *name[i], nameLeft + static_cast<qreal>(i) * 6 * letterCell, 80, letterCell, kPalette[i]);
  }

  QFont font("DejaVu Sans");
  font.setPixelSize(30);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 6);
  p.setFont(font);
  p.setPen(QColor(226, 222, 204));
  p.drawText(QRectF(0, 240, kLogoWidth, 50), Qt::AlignCenter, "falling blocks");

  // The well: a board of empty cells with a frame.
  const qreal cell = 40;
  const int wellCols = 16;
  const int wellRows = 18;
  const QPointF well((kLogoWidth - wellCols * cell) / 2, 320);
  const QRectF wellRect(well, QSizeF(wellCols * cell, wellRows * cell));
  p.setPen(QPen(QColor(130, 126, 112), 6));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(wellRect.adjusted(-6, -6, 6, 6), 10, 10);
  p.setPen(Qt::NoPen);
  p.setBrush(kEmptyCell);
  p.drawRect(wellRect);
  p.setBrush(QColor(32, 37, 42));
  for (int y = 0; y < wellRows; ++y) {
    for (int x = 0; x < wellCols; ++x) {
      p.drawRoundedRect(QRectF(well.x() + x * cell + 3, well.y() + y * cell + 3, cell - 6, cell - 6), 4, 4);
    }
  }

  // The stack at the bottom: a fixed pattern with one row about to be full.
  static constexpr std::array<const char*, 5> stack = {
      "..........2.....",
      "1....33...22..6.",
      "11..433.5.2..66.",
      "114445555.006611",
      "0.44122233300166",
  };
  for (size_t r = 0; r < stack.size(); ++r) {
    for (int x = 0; x < wellCols && stack[r][x] != '\0'; ++x) {
      const char ch = stack[r][x];
      if (ch < '0' || ch > '6') continue;
      const int row = wellRows - static_cast<int>(stack.size()) + static_cast<int>(r);
      DrawBlock(p, QRectF(well.x() + x * cell, well.y() + row * cell, cell, cell), kPalette[static_cast<size_t>(ch - '0')]);
    }
  }

  // Pieces on their way down; their trails stay inside the well.
  p.save();
  p.setClipRect(wellRect);
  DrawPiece(p, well, cell, 2, 2, {"###", ".#."}, kPalette[5], 3);
  DrawPiece(p, well, cell, 7, 6, {"##", "##"}, kPalette[2], 4);
  DrawPiece(p, well, cell, 12, 1, {"#", "#", "#", "#"}, kPalette[4], 2);
  DrawPiece(p, well, cell, 10, 9, {".##", "##."}, kPalette[1], 3);
  p.restore();

  font.setPixelSize(26);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 2);
  p.setFont(font);
  p.setPen(QColor(236, 232, 214));
  p.drawText(QRectF(0, 1055, kLogoWidth, 50), Qt::AlignCenter, "Press F2 to play");
  p.end();
  return image;
}

std::unique_ptr<platform::Graphic> CreateLogoPicture() {
  const platform::Bitmap drawing = platform::Bitmap::FromQImage(DrawLogoImage().convertToFormat(QImage::Format_RGB888));
  platform::MemoryStream file(platform::JpegImage::Encode(drawing, platform::JpegImage::kDefaultQuality));
  auto picture = std::make_unique<platform::JpegImage>();
  picture->LoadFromStream(file);
  return picture;
}

}  // namespace gravlo
