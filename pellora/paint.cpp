// Painting the table into its back bitmap and the moving card box.
#include <algorithm>
#include <cstring>

#include "pellora/table.h"

namespace pellora {
namespace {

constexpr int kFrameWidth = 2;
// "..." as one character of Windows-1252.
const char* const kEllipsis = "\x85";

void Frame(platform::Canvas& c, const platform::Rect& r) {
  c.SetPen(platform::Pen{kTableHighlight, kFrameWidth, platform::PenStyle::Solid});
  c.brush().style = platform::BrushStyle::Clear;
  c.Rectangle(r);
  c.pen().style = platform::PenStyle::Clear;
  c.brush().style = platform::BrushStyle::Solid;
}

}  // namespace

TSolTbl::PictureCache& TSolTbl::Spans(int number) {
  PictureCache& c = caches_.at(static_cast<size_t>(number));
  if (c.spansReady) return c;
  const platform::Bitmap& b = pictures_[static_cast<size_t>(number)];
  const uint8_t kb = static_cast<uint8_t>(platform::GetBValue(kPictureKeyColour));
  const uint8_t kg = static_cast<uint8_t>(platform::GetGValue(kPictureKeyColour));
  const uint8_t kr = static_cast<uint8_t>(platform::GetRValue(kPictureKeyColour));
  c.rowStart.assign(static_cast<size_t>(b.Height()) + 1, 0);
  for (int y = 0; y < b.Height(); ++y) {
    c.rowStart[static_cast<size_t>(y)] = static_cast<int32_t>(c.spans.size());
    const uint8_t* row = b.ScanLine(y);
    int x = 0;
    while (x < b.Width()) {
      auto key = [&](int at) {
        const uint8_t* p = row + static_cast<size_t>(at) * 3;
        return p[0] == kb && p[1] == kg && p[2] == kr;
      };
      while (x < b.Width() && key(x)) ++x;
      const int from = x;
      while (x < b.Width() && !key(x)) ++x;
      if (x > from) c.spans.emplace_back(from, x);
    }
  }
  c.rowStart[static_cast<size_t>(b.Height())] = static_cast<int32_t>(c.spans.size());
  c.spansReady = true;
  return c;
}

const QImage& TSolTbl::SeeThrough(int number) {
  PictureCache& c = caches_.at(static_cast<size_t>(number));
  if (c.image.isNull())
    c.image = pictures_[static_cast<size_t>(number)].ToQImageWithTransparency().convertToFormat(
        QImage::Format_ARGB32_Premultiplied);
  return c.image;
}

// Copies the opaque pixels of a picture into the back bitmap, clipped to it.
void TSolTbl::BlitPicture(int number, int left, int top) {
  const PictureCache& c = Spans(number);
  const platform::Bitmap& b = pictures_[static_cast<size_t>(number)];
  const int64_t bw = back_.Width(), bh = back_.Height();
  for (int y = 0; y < b.Height(); ++y) {
    const int64_t ty = static_cast<int64_t>(top) + y;
    if (ty < 0) continue;
    if (ty >= bh) break;
    const uint8_t* from = b.ScanLine(y);
    uint8_t* to = back_.ScanLine(static_cast<int>(ty));
    for (int32_t k = c.rowStart[static_cast<size_t>(y)]; k < c.rowStart[static_cast<size_t>(y) + 1]; ++k) {
      int64_t x0 = static_cast<int64_t>(left) + c.spans[static_cast<size_t>(k)].first;
      int64_t x1 = static_cast<int64_t>(left) + c.spans[static_cast<size_t>(k)].second;
      const int64_t skip = x0 < 0 ? -x0 : 0;
      x0 += skip;
      x1 = std::min(x1, bw);
      if (x1 <= x0) continue;
      std::memcpy(to + x0 * 3, from + (c.spans[static_cast<size_t>(k)].first + skip) * 3,
                  static_cast<size_t>(x1 - x0) * 3);
    }
  }
}

void TSolTbl::RenderBack() {
  if (!fullRepaint_ && (back_.Width() != boardWidth_ || back_.Height() != boardHeight_)) fullRepaint_ = true;
  if (!fullRepaint_) return;
  if (back_.Width() != boardWidth_ || back_.Height() != boardHeight_) back_.SetSize(boardWidth_, boardHeight_);
  if (back_.Empty()) return;
  platform::Canvas& c = back_.GetCanvas();
  c.pen().style = platform::PenStyle::Clear;
  c.SetBrush(platform::Brush{BoardColor, platform::BrushStyle::Solid});
  back_.Fill(BoardColor);  // the whole client area
  labelTips_.clear();
  if (!labels_.empty()) {
    for (size_t i = 0; i < labels_.size(); ++i) {
      const recSolSlt& l = labels_[i];
      if (!l.Visible) continue;
      std::string text = l.Caption;
      if (l.Flags & kLabelFlagCounter) {
        // A label that counts a slot that is not there is left out.
        if (i >= slots_.size()) continue;
        if (slots_[i].Top > 0) text += ": " + std::to_string(slots_[i].Top);
      }
      c.font().color = kTableHighlight;
      if (l.Top > 0) c.font().height = l.Top;
      c.pen().style = platform::PenStyle::Clear;
      c.brush().style = platform::BrushStyle::Clear;
      // A label ends where the next label to its right on the same line
      // begins: a text that does not fit is shortened with "..." and its
      // whole text becomes the tip of that place.
      platform::Rect room = l.Rect;
      for (const recSolSlt& m : labels_) {
        if (&m == &l || !m.Visible) continue;
        const bool sameLine = m.Rect.top < l.Rect.bottom && l.Rect.top < m.Rect.bottom;
        if (sameLine && m.Rect.left > l.Rect.left && m.Rect.left < room.right) room.right = m.Rect.left;
      }
      const int width = room.right - room.left - 2;
      if (width > 0 && c.TextWidth(text) > width) {
        const std::string whole = text;
        std::string shown;
        for (size_t n = whole.size(); n > 0; --n) {
          shown = whole.substr(0, n - 1) + kEllipsis;
          if (c.TextWidth(shown) <= width) break;
        }
        labelTips_.emplace_back(room, whole);
        text = shown;
      }
      c.TextRect(room, room.left + 1, room.top + 1, text);
    }
    c.brush().style = platform::BrushStyle::Solid;
  }
  for (const recSolSlt& s : slots_) {
    if (!s.Visible) continue;
    if (s.Picture >= 0 && s.Picture < PictureCount()) BlitPicture(s.Picture, s.Rect.left, s.Rect.top);
    if (s.Selected) Frame(c, s.Rect);
  }
}

std::string TSolTbl::LabelTipAt(int x, int y) const {
  for (const auto& [rect, text] : labelTips_)
    if (x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom) return text;
  return std::string();
}

void TSolTbl::PaintTable(platform::Canvas& target) {
  RenderBack();
  if (!back_.Empty()) target.Draw(0, 0, back_);
}

void TSolTbl::PaintMoving(const SolCardBox& box, platform::Canvas& target) {
  const platform::Rect b = box.Bounds();
  const platform::Rect client{0, 0, b.Width(), b.Height()};
  target.pen().style = platform::PenStyle::Clear;
  target.SetBrush(platform::Brush{box.BoxColor(), platform::BrushStyle::Solid});
  target.FillRect(client);
  const int32_t value = box.Value();
  if (value < INT16_MIN || value > INT16_MAX) throw SolTblError("Picture number out of range");
  if (value >= 0 && value < PictureCount()) {
    const QImage& img = SeeThrough(value);
    target.DrawImage(platform::Rect{0, 0, img.width(), img.height()}, img,
                     platform::Rect{0, 0, img.width(), img.height()});
  }
  if (box.Selected()) Frame(target, client);
}

}  // namespace pellora
