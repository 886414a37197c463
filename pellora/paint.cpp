// Painting the table into its back bitmap and the moving card box.
#include "pellora/table.h"

namespace pellora {
namespace {

constexpr int kFrameWidth = 2;

void Frame(platform::Canvas& c, const platform::Rect& r) {
  c.SetPen(platform::Pen{kTableHighlight, kFrameWidth, platform::PenStyle::Solid});
  c.brush().style = platform::BrushStyle::Clear;
  c.Rectangle(r);
  c.pen().style = platform::PenStyle::Clear;
  c.brush().style = platform::BrushStyle::Solid;
}

}  // namespace

void TSolTbl::RenderBack() {
  if (!fullRepaint_ && (back_.Width() != boardWidth_ || back_.Height() != boardHeight_)) fullRepaint_ = true;
  if (!fullRepaint_) return;
  if (back_.Width() != boardWidth_ || back_.Height() != boardHeight_) back_.SetSize(boardWidth_, boardHeight_);
  if (back_.Empty()) return;
  platform::Canvas& c = back_.GetCanvas();
  c.pen().style = platform::PenStyle::Clear;
  c.SetBrush(platform::Brush{BoardColor, platform::BrushStyle::Solid});
  c.FillRect(platform::MakeRect(0, 0, boardWidth_ + 1, boardHeight_ + 1));
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
      c.TextRect(l.Rect, l.Rect.left + 1, l.Rect.top + 1, text);
    }
    c.brush().style = platform::BrushStyle::Solid;
  }
  for (const recSolSlt& s : slots_) {
    if (!s.Visible) continue;
    if (s.Picture >= 0 && static_cast<size_t>(s.Picture) < pictureImages_.size()) {
      const QImage& img = pictureImages_[static_cast<size_t>(s.Picture)];
      c.DrawImage(platform::Bounds(s.Rect.left, s.Rect.top, img.width(), img.height()), img,
                  platform::Rect{0, 0, img.width(), img.height()});
    }
    if (s.Selected) Frame(c, s.Rect);
  }
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
  if (value >= 0 && static_cast<size_t>(value) < pictureImages_.size()) {
    const QImage& img = pictureImages_[static_cast<size_t>(value)];
    target.DrawImage(platform::Rect{0, 0, img.width(), img.height()}, img,
                     platform::Rect{0, 0, img.width(), img.height()});
  }
  if (box.Selected()) Frame(target, client);
}

}  // namespace pellora
