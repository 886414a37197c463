// Hit test, drop candidates, the move animation and the game clock.
#include <cmath>

#include "pellora/table.h"

namespace pellora {

int16_t TSolTbl::KindClass(int kind) {
  if (kind < 0 || kind > 255) return kcNone;
  if (kind < 190) return kcSlot;
  if (kind < 200) return kc190;
  if (kind < 210) return kcDeck;
  if (kind < 220) return kc210;
  if (kind < 230) return kc230;
  if (kind < 240) return kcNone;
  if (kind < 250) return kc240;
  return kcNone;
}

int16_t TSolTbl::SlotAt(int x, int y, int16_t& index) const {
  for (int i = SlotCount() - 1; i >= 0; --i) {
    const recSolSlt& s = slots_[static_cast<size_t>(i)];
    if (!s.Visible) continue;
    if (x >= s.Rect.left && x <= s.Rect.right && y >= s.Rect.top && y <= s.Rect.bottom) {
      index = static_cast<int16_t>(i);
      return KindClass(s.Kind);
    }
  }
  return kcNone;
}

int16_t TSolTbl::FindDropSlot(const SolCardBox& box) {
  const platform::Rect r = box.Bounds();
  drops_.clear();
  for (int i = SlotCount() - 1; i >= 0; --i) {
    const recSolSlt& s = slots_[static_cast<size_t>(i)];
    if (i == box.Tag() || !s.Visible) continue;
    const int64_t w = static_cast<int64_t>(std::min(r.right, s.Rect.right)) - std::max(r.left, s.Rect.left);
    const int64_t h = static_cast<int64_t>(std::min(r.bottom, s.Rect.bottom)) - std::max(r.top, s.Rect.top);
    if (w <= 0 || h <= 0) continue;
    const int64_t area = w * h;
    drops_.push_back(recSolDrop{static_cast<int16_t>(i), 0.0, static_cast<int32_t>(std::min<int64_t>(area, INT32_MAX))});
  }
  // Largest overlap first; of equal ones the slot found first (the higher
  // index) stays in front.
  for (size_t p = 0; p < drops_.size(); ++p) {
    size_t pick = p;
    for (size_t q = p + 1; q < drops_.size(); ++q)
      if (drops_[q].Area > drops_[pick].Area) pick = q;
    std::swap(drops_[p], drops_[pick]);
  }
  return static_cast<int16_t>(static_cast<int>(drops_.size()) - 1);
}

void TSolTbl::AnimateMove(SolCardBox& box, int slot, int16_t speed) {
  const platform::Rect target = Slot(slot).Rect;
  fullRepaint_ = false;
  struct Finish {
    TSolTbl& t;
    SolCardBox& b;
    const platform::Rect& r;
    ~Finish() {
      t.fullRepaint_ = true;
      b.MoveTo(r.left, r.top);
    }
  } finish{*this, box, target};

  const platform::Rect from = box.Bounds();
  const double dx = static_cast<double>(target.left) - from.left;
  const double dy = static_cast<double>(target.top) - from.top;
  const double t = FPS > 0 ? std::nearbyint(1000.0 / FPS) : 0.0;
  if (t <= 0) return;
  const double d = std::sqrt(dx * dx + dy * dy);
  if (d == 0) return;
  double step = 0;
  int64_t frames = 0;
  if (speed > 0) {
    step = static_cast<double>(speed) / FPS;
    frames = static_cast<int64_t>(std::trunc(d / step));
  } else {
    frames = static_cast<int64_t>(std::nearbyint(-static_cast<double>(speed) / t));
    if (frames < 2) return;
    step = d / static_cast<double>(frames);
  }
  const double sx = dx * step / d;
  const double sy = dy * step / d;
  double x = from.left;
  double y = from.top;
  const auto frameTime = static_cast<uint64_t>(t);
  uint64_t frameStart = Timing.NowMs ? Timing.NowMs() : 0;
  for (int64_t f = 0; f < frames; ++f) {
    x += sx;
    y += sy;
    const platform::Rect now = box.Bounds();
    const int nx = static_cast<int>(std::nearbyint(x));
    const int ny = static_cast<int>(std::nearbyint(y));
    if (nx != now.left || ny != now.top) box.MoveTo(nx, ny);
    if (OnUpdateNow) OnUpdateNow();
    if (Timing.NowMs) {
      const uint64_t spent = Timing.NowMs() - frameStart;
      if (spent < frameTime && Timing.SleepMs) Timing.SleepMs(static_cast<uint32_t>(frameTime - spent));
      frameStart = Timing.NowMs();
    }
  }
}

void TSolTbl::ToggleClock() {
  const uint64_t now = Timing.NowMs ? Timing.NowMs() : 0;
  switch (Options.ClockState) {
    case csNeverStarted:
    case csNeverStarted1:
      clockStart_ = now;
      clockTotal_ = 0;
      Options.ClockState = csRunning;
      break;
    case csPaused:
      clockStart_ = now;
      Options.ClockState = csRunning;
      break;
    case csRunning: {
      const uint64_t ran = now >= clockStart_ ? now - clockStart_ : 0;
      clockTotal_ = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(clockTotal_) + ran, UINT32_MAX));
      clockStart_ = 0;
      Options.ClockState = csPaused;
      break;
    }
    default:
      break;
  }
}

}  // namespace pellora
