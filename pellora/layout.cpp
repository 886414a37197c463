// Scaling the design-unit table to the board and the card pictures to the
// slot size.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "pellora-lib/shrink.h"
#include "pellora/table.h"

namespace pellora {
namespace {

constexpr int kMaxSlotPixels = 10000;

// Trunc and Nearest (a half to the even neighbour) into int; a value that
// does not fit is a range error.
int TruncInt(double v) {
  const double t = std::trunc(v);
  if (!(t >= INT32_MIN && t <= INT32_MAX)) throw SolTblError("Layout value out of range");
  return static_cast<int>(t);
}

int NearestInt(double v) {
  const double t = std::nearbyint(v);
  if (!(t >= INT32_MIN && t <= INT32_MAX)) throw SolTblError("Layout value out of range");
  return static_cast<int>(t);
}

int FitInt(std::int64_t v) {
  if (v < INT32_MIN || v > INT32_MAX) throw SolTblError("Layout value out of range");
  return static_cast<int>(v);
}

// A rectangle whose every edge fits into int; sums are taken in 64 bits.
platform::Rect CheckedBounds(std::int64_t left, std::int64_t top, std::int64_t width, std::int64_t height) {
  return platform::Rect{FitInt(left), FitInt(top), FitInt(left + width), FitInt(top + height)};
}

platform::Bitmap Placeholder(int w, int h) {
  platform::Bitmap b(w, h, platform::PixelFormat::Bit24);
  b.Fill(kPictureKeyColour);
  b.SetTransparentColor(kPictureKeyColour);
  b.SetTransparent(true);
  return b;
}

// Picture src scaled to w x h, the key colour see-through.
platform::Bitmap ScaledPicture(const recSolPicSrc& src, int w, int h) {
  platform::Bitmap work;
  try {
    if (!src.List || src.Index < 0 || static_cast<size_t>(src.Index) >= src.List->size())
      throw SolTblError("Missing picture");
    const platform::Bitmap& from = (*src.List)[static_cast<size_t>(src.Index)];
    if (from.Empty()) throw SolTblError("Empty picture");
    // The whole work bitmap takes the key colour first, so the
    // see-through parts of a picture never show an earlier one.
    work = platform::Bitmap(from.Width(), from.Height(), platform::PixelFormat::Bit24);
    if (from.GetPixelFormat() == platform::PixelFormat::Bit24 && !from.Transparent()) {
      for (int y = 0; y < from.Height(); ++y)
        std::memcpy(work.ScanLine(y), from.ScanLine(y), static_cast<size_t>(from.Width()) * 3);
    } else {
      work.Fill(kPictureKeyColour);
      platform::Bitmap copy(from);
      work.GetCanvas().Draw(0, 0, copy);
    }
    ShrinkBitmap(work, w, h);
    work.SetTransparentColor(kPictureKeyColour);
    work.SetTransparent(true);
  } catch (const std::exception&) {
    // A picture that cannot be made keeps its number with a see-through
    // placeholder.
    work = Placeholder(w, h);
  }
  return work;
}

}  // namespace

SolLayoutScale ComputeLayout(int cw, int ch, int maxWidth, int maxHeight, int defWidth, int defHeight, int picWidth,
                             int picHeight) {
  SolLayoutScale r;
  if (maxWidth < 1) return r;
  r.aspect = picWidth > 0 ? static_cast<float>(static_cast<double>(picHeight) / picWidth) : 1.0f;
  r.scaleX = static_cast<float>(static_cast<double>(cw) / maxWidth);
  r.scaleY = static_cast<float>(static_cast<double>(r.scaleX) * r.aspect);
  if (static_cast<double>(maxHeight) * r.scaleY > ch) {
    r.scaleY = static_cast<float>(static_cast<double>(ch) / maxHeight);
    r.scaleX = static_cast<float>(static_cast<double>(r.scaleY) / r.aspect);
  }
  const double w = std::trunc(defWidth * static_cast<double>(r.scaleX));
  const double h = std::trunc(defHeight * static_cast<double>(r.scaleY));
  if (!(w <= kMaxSlotPixels && h <= kMaxSlotPixels && w >= INT16_MIN && h >= INT16_MIN)) return r;
  r.slotWidth = static_cast<int>(w);
  r.slotHeight = static_cast<int>(h);
  const int used = NearestInt(maxWidth * static_cast<double>(r.scaleX));
  r.offset = static_cast<int>((static_cast<int64_t>(cw) - used) / 2);
  r.accepted = true;
  return r;
}

void TSolTbl::SetBoardSize(int width, int height) {
  if (width == boardWidth_ && height == boardHeight_) return;
  boardWidth_ = std::max(0, width);
  boardHeight_ = std::max(0, height);
  Resize();
}

void TSolTbl::Resize() {
  if (layoutGuard_ & 1) return;
  ++layoutGuard_;
  try {
    DoLayout();
  } catch (...) {
    // A failing layout leaves the previous one; the board keeps working.
  }
  --layoutGuard_;
}

void TSolTbl::RelayoutAfterRestore() {
  if (layoutGuard_ & 1) return;
  ++layoutGuard_;
  try {
    LayOut(PictureRescale::kOnSizeChange);
  } catch (...) {
    // As Resize: the previous layout stays.
  }
  --layoutGuard_;
}

void TSolTbl::DoLayout() { LayOut(PictureRescale::kAlways); }

void TSolTbl::LayOut(PictureRescale rescale) {
  const SolLayoutScale s =
      ComputeLayout(boardWidth_, boardHeight_, MaxWidth, MaxHeight, DefWidth, DefHeight, PicWidth, PicHeight);
  if (!s.accepted) return;
  // Every rectangle first, so that a value out of range changes nothing.
  std::vector<platform::Rect> slotRects(slots_.size()), labelRects(labels_.size());
  std::vector<int16_t> fonts(labels_.size());
  for (size_t i = 0; i < slots_.size(); ++i) {
    const int top = TruncInt(slots_[i].Y * static_cast<double>(s.scaleY));
    const std::int64_t left = std::int64_t{TruncInt(slots_[i].X * static_cast<double>(s.scaleX))} + s.offset;
    slotRects[i] = CheckedBounds(left, top, s.slotWidth, s.slotHeight);
  }
  for (size_t i = 0; i < labels_.size(); ++i) {
    const recSolSlt& l = labels_[i];
    const int top = TruncInt(l.Y * static_cast<double>(s.scaleY));
    const std::int64_t left = std::int64_t{TruncInt(l.X * static_cast<double>(s.scaleX))} + s.offset;
    const int lw = TruncInt(l.W * static_cast<double>(s.scaleX));
    const int lh = TruncInt(l.H * static_cast<double>(s.scaleY));
    const int font = lh <= 12 ? 8 : lh - 4;
    if (font > INT16_MAX) throw SolTblError("Label font height out of range");
    fonts[i] = static_cast<int16_t>(font);
    labelRects[i] = CheckedBounds(left, top, lw, lh);
  }
  PicAspect = s.aspect;
  ScaleX = s.scaleX;
  ScaleY = s.scaleY;
  // ScalePictures keeps the previous size for a dimension of 0.
  const int pw = s.slotWidth > 0 ? s.slotWidth : pictureWidth_;
  const int ph = s.slotHeight > 0 ? s.slotHeight : pictureHeight_;
  if (rescale == PictureRescale::kAlways || !picturesCurrent_ || pw != pictureWidth_ || ph != pictureHeight_)
    ScalePictures(s.slotWidth, s.slotHeight);
  for (size_t i = 0; i < slots_.size(); ++i) slots_[i].Rect = slotRects[i];
  for (size_t i = 0; i < labels_.size(); ++i) {
    labels_[i].Rect = labelRects[i];
    labels_[i].Top = fonts[i];
  }
  if (OnInvalidate) OnInvalidate();
}

void TSolTbl::ScalePictures(int width, int height) {
  if (width > INT16_MAX || height > INT16_MAX) throw SolTblError("Picture size out of range");
  const int w = width > 0 ? width : pictureWidth_;
  const int h = height > 0 ? height : pictureHeight_;
  ++pictureScalings_;
  caches_.clear();
  pictureWidth_ = w;
  pictureHeight_ = h;
  picturesCurrent_ = true;
  if (w <= 0 || h <= 0) {
    pictures_.clear();
    return;
  }
  // Each new picture takes the place of the old one of its number as soon
  // as it is made, so the memory of the old list is taken again picture by
  // picture; freeing the whole list first would hand it back to the system
  // and have every page faulted in afresh.
  pictures_.resize(sources_.size());
  caches_.resize(sources_.size());
  try {
    for (size_t i = 0; i < sources_.size(); ++i) pictures_[i] = ScaledPicture(sources_[i], w, h);
  } catch (...) {
    pictures_.clear();  // never a list of old and new pictures
    caches_.clear();
    throw;
  }
}

}  // namespace pellora
