// The drawing side of the engine: cell sizes, the queue preview in the board's
// last five columns, the off-screen picture of all cells, and the panel's paint
// (picture, falling piece, or the logo before the first game).
#include <QImage>
#include <algorithm>
#include <cstring>
#include <exception>

#include "gravlo/gravlo.h"
#include "gravlo/gravlo_internal.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"

namespace gravlo {

namespace {

constexpr Color kStripColour = RGBColor(130, 126, 112);
constexpr Color kQueuedSetColour = RGBColor(116, 96, 128);
constexpr Color kQueuedEmptyColour = RGBColor(96, 80, 80);
constexpr Color kEmptyCellColour = RGBColor(24, 28, 32);
constexpr Color kLogoBackground = RGBColor(81, 78, 64);
constexpr int kPreviewRows = kQueueLength * 4;

// Each of red, green and blue lowered by `by`, not below 0.
Color Darker(Color c, int by) {
  const int r = ClampInt(static_cast<int32_t>(c & 0xFF) - by, 0, 255);
  const int g = ClampInt(static_cast<int32_t>((c >> 8) & 0xFF) - by, 0, 255);
  const int b = ClampInt(static_cast<int32_t>((c >> 16) & 0xFF) - by, 0, 255);
  return RGBColor(r, g, b);
}

// A 32-bit pixel as it lies in the bitmap's memory: blue, green, red, 255.
inline uint32_t Pixel32(Color c) {
  return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

// Writes straight into the 32-bit rows of the board picture: the board holds
// up to 105 x 100 cells, far too many for one painter call per shape.
class CellPainter {
 public:
  explicit CellPainter(platform::Bitmap& bitmap) : bitmap_(bitmap), width_(bitmap.Width()), height_(bitmap.Height()) {}

  void Fill(uint32_t pixel) {
    for (int y = 0; y < height_; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(bitmap_.ScanLine(y));
      std::fill_n(row, width_, pixel);
    }
  }

  // The area left..right-1 by top..bottom-1 with 2 x 2 elliptic corners: the
  // four corner pixels stay as they were. With an outline the outer pixels
  // take the pen colour and the inside the brush; without, all take the brush.
  void RoundRect(int left, int top, int right, int bottom, bool outline, uint32_t pen, uint32_t brush) {
    if (right <= left || bottom <= top) return;
    const bool rounded = right - left >= 2 && bottom - top >= 2;
    const int y0 = std::max(top, 0), y1 = std::min(bottom, height_);
    for (int y = y0; y < y1; ++y) {
      const bool edgeRow = y == top || y == bottom - 1;
      int from = left, to = right;  // to is exclusive
      if (rounded && edgeRow) {
        ++from;
        --to;
      }
      from = std::max(from, 0);
      to = std::min(to, width_);
      if (from >= to) continue;
      auto* row = reinterpret_cast<uint32_t*>(bitmap_.ScanLine(y));
      if (!outline || edgeRow) {
        std::fill(row + from, row + to, outline ? pen : brush);
        continue;
      }
      std::fill(row + from, row + to, brush);
      if (left >= 0 && left < width_) row[left] = pen;
      if (right - 1 >= 0 && right - 1 < width_) row[right - 1] = pen;
    }
  }

  // Area without outline or rounding.
  void Rect(int left, int top, int right, int bottom, uint32_t brush) {
    const int x0 = std::max(left, 0), x1 = std::min(right, width_);
    const int y0 = std::max(top, 0), y1 = std::min(bottom, height_);
    if (x0 >= x1) return;
    for (int y = y0; y < y1; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(bitmap_.ScanLine(y));
      std::fill(row + x0, row + x1, brush);
    }
  }

 private:
  platform::Bitmap& bitmap_;
  int width_;
  int height_;
};

// value * num / den to the nearest integer, halves to the even neighbour
// (num, den > 0; value >= 0).
int64_t DivRoundHalfEven(int64_t value, int64_t num, int64_t den) {
  const int64_t p = value * num;
  int64_t q = p / den;
  const int64_t r2 = (p % den) * 2;
  if (r2 > den || (r2 == den && (q & 1) != 0)) ++q;
  return q;
}

}  // namespace

const platform::Bitmap& TGravlo::BoardBitmap() const { return *boardBitmap_; }

void TGravlo::ResizeCells() {
  const int32_t w = std::min<int32_t>(clientWidth_, platform::Bitmap::kMaxSide);
  const int32_t h = std::min<int32_t>(clientHeight_, platform::Bitmap::kMaxSide);
  CellWidth = Columns() > 0 ? w / Columns() : 0;
  CellHeight = RowCount() > 0 ? h / RowCount() : 0;
  // Emptied first, so the whole picture starts black.
  boardBitmap_->SetSize(0, 0);
  try {
    boardBitmap_->SetSize(w, h);
  } catch (const std::exception&) {
    // A panel larger than any picture the layer holds: the board is not
    // shown, and the game goes on.
    boardBitmap_->SetSize(0, 0);
  }
  DrawPreview();
  RenderBoard();
  invalidatePanel();
}

void TGravlo::DrawPreview() {
  const int32_t first = PlayCols();
  const int32_t rows = RowCount();
  for (int32_t y = 0; y < rows; ++y)
    for (int32_t c = 0; c < kPreviewColumns; ++c) SetCell(first + c, y, kStripColour);
  if (activeShapes_.empty()) return;
  for (int32_t y = 0; y < std::min<int32_t>(rows, kPreviewRows); ++y) {
    const Mask& shape = activeShapes_[Queue[static_cast<size_t>(y / 4)] % activeShapes_.size()];
    const int dy = y % 4;
    for (int c = 0; c < 4; ++c)
      SetCell(first + 1 + c, y, shape[static_cast<size_t>(c * 4 + dy)] ? kQueuedSetColour : kQueuedEmptyColour);
  }
}

void TGravlo::RenderBoard() {
  platform::Bitmap& bmp = *boardBitmap_;
  if (bmp.Empty()) return;
  if (bmp.GetPixelFormat() != platform::PixelFormat::Bit32) bmp.SetPixelFormat(platform::PixelFormat::Bit32);
  CellPainter painter(bmp);
  const uint32_t black = Pixel32(0);
  painter.Fill(black);
  const uint32_t empty = Pixel32(kEmptyCellColour);
  const int64_t cw = CellWidth, ch = CellHeight;
  const int32_t cols = Columns(), rows = RowCount();
  // Rows below the picture's bottom cannot show; stop there.
  const int32_t visibleRows = ch > 0 ? static_cast<int32_t>(std::min<int64_t>(rows, bmp.Height() / ch + 1)) : 0;
  const int32_t visibleCols = cw > 0 ? static_cast<int32_t>(std::min<int64_t>(cols, bmp.Width() / cw + 1)) : 0;
  for (int32_t x = 0; x < visibleCols; ++x) {
    const auto& column = board_[static_cast<size_t>(x)];
    const int left = static_cast<int>(x * cw);
    for (int32_t y = 0; y < visibleRows; ++y) {
      const int top = static_cast<int>(y * ch);
      const Color c = column[static_cast<size_t>(y)];
      const int right = static_cast<int>(left + cw), bottom = static_cast<int>(top + ch);
      if (c != 0) {
        painter.RoundRect(left, top, right - 1, bottom - 1, true, black, Pixel32(c));
        painter.RoundRect(left + 1, top + 1, right, bottom, true, black, Pixel32(Darker(c, 64)));
      } else {
        painter.Rect(left, top, right - 1, bottom - 1, empty);
      }
    }
  }
}

void TGravlo::Paint(platform::Canvas& canvas) {
  if (State == StateIdle) {
    PaintLogo(canvas);
    return;
  }
  // Every pixel of the board picture is written opaque (fourth byte 255), so
  // its rows can be shown in place instead of through a copy of the picture.
  platform::Bitmap& board = *boardBitmap_;
  if (!board.Empty()) {
    const platform::Rect whole{0, 0, board.Width(), board.Height()};
    canvas.DrawImage(whole, board.WrapQImage(), whole);
  }
  canvas.pen().style = platform::PenStyle::Clear;
  canvas.brush().style = platform::BrushStyle::Solid;
  const Color inner = Darker(PieceColour, 48);
  const int64_t cw = CellWidth, ch = CellHeight;
  // Cells without size show nothing (the panel is smaller than the board).
  if (cw <= 0 || ch <= 0) return;
  detail::ForEachSetCell(Piece, PieceX, PieceY, [&](int64_t cx, int64_t cy) {
    const int64_t left = cx * cw;
    const int64_t top = cy * ch;
    // Far outside any panel (position set from outside): nothing to draw.
    if (left < -1000000 || left > 1000000 || top < -1000000 || top > 1000000) return true;
    const int l = static_cast<int>(left), t = static_cast<int>(top);
    const int w = static_cast<int>(cw), h = static_cast<int>(ch);
    canvas.brush().color = PieceColour;
    canvas.RoundRect(l, t, l + w - 1, t + h - 1, 2, 2);
    canvas.brush().color = inner;
    canvas.RoundRect(l + 1, t + 1, l + w, t + h, 2, 2);
    return true;
  });
}

void TGravlo::PaintLogo(platform::Canvas& canvas) {
  const int64_t W = clientWidth_, H = clientHeight_;
  canvas.pen().style = platform::PenStyle::Clear;
  canvas.brush().style = platform::BrushStyle::Solid;
  canvas.brush().color = kLogoBackground;
  canvas.FillRect(platform::Rect{0, 0, static_cast<int>(W), static_cast<int>(H)});
  // The logo's height is 1.39375 (= 223 / 160) times its width.
  int64_t h = DivRoundHalfEven(W, 223, 160);
  int64_t w = W;
  if (h > H) {
    h = H;
    w = DivRoundHalfEven(H, 160, 223);
  }
  const int64_t left = w < W ? (W - w) / 2 : 0;
  const int64_t top = h < H ? (H - h) / 2 : 0;
  if (Logo)
    canvas.StretchDraw(platform::Rect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(left + w),
                                      static_cast<int>(top + h)},
                       *Logo);
}

}  // namespace gravlo
