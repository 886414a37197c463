#include "picture-codecs/gif/painter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>

#include "picture-codecs/gif/compose.h"
#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/stream_util.h"

namespace gif {

namespace {

class SteadyClock : public PainterClock {
 public:
  std::int64_t NowMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

// Serves the events queued for this thread, inside an event loop of its own
// so that an application told to quit (QCoreApplication::quit or exit) ends
// this loop as well. Answers false then; the loops further out keep the
// request and its code, and end as soon as the painter has returned.
bool ServeEvents() {
  if (!QCoreApplication::instance()) return true;
  QEventLoop loop;
  bool served = false;
  QTimer::singleShot(0, &loop, [&] {
    served = true;
    loop.exit();
  });
  loop.exec();
  return served;
}

}  // namespace

PainterClock& SystemClock() {
  static SteadyClock clock;
  return clock;
}

TGIFPainter::TGIFPainter(TGIFImage& image, std::uint16_t options, const platform::Rect& rect,
                         platform::Canvas* canvas, platform::Bitmap* bitmap, TGIFPainter** painterRef,
                         PainterClock& clock)
    : Speed(image.SpeedPercent),
      image_(&image),
      options_(options),
      rect_(rect),
      canvas_(canvas),
      bitmap_(bitmap),
      painterRef_(painterRef),
      clock_(clock),
      composer_(std::make_unique<FrameComposer>(image, options, PainterBackground(image))) {
  if (painterRef_) *painterRef_ = this;
  if ((options_ & dpCheckCanvas) && canvas_) watchedDC_ = canvas_->Handle();
}

TGIFPainter::~TGIFPainter() {
  ReleasePainter();
  // The timer may be the one whose signal is running now.
  if (timer_ && QCoreApplication::instance()) timer_.release()->deleteLater();
}

void TGIFPainter::ReleasePainter() {
  terminated_ = true;
  if (timer_) timer_->stop();
  if (painterRef_ && *painterRef_ == this) *painterRef_ = nullptr;
  painterRef_ = nullptr;
  image_ = nullptr;
  canvas_ = nullptr;
  bitmap_ = nullptr;
}

void TGIFPainter::FireEvent(const Event& event) {
  if (event && !terminated_) event(*this);
}

void TGIFPainter::StopPainter() {
  terminated_ = true;
  // A timer-driven painter waiting for its next frame ends its run now.
  if (timer_ && state_ != State::kDone && !inAdvance_) {
    timer_->stop();
    timer_->start(0);
  }
}

// The wait before the active frame is shown, in milliseconds. Half of the
// previous wait's overrun (the time it took beyond what was asked) comes off
// this one, so that delays keep time on average.
int TGIFPainter::FrameWait() {
  if (delay_ < 1) return 0;
  image_->Frame(ActiveFrame)->DecodedBitmap();  // decoding counts into the time
  const std::int64_t now = clock_.NowMs();
  std::int64_t wait;
  if (Speed < 1) {
    wait = Threaded() ? kWaitForever : static_cast<std::int64_t>(kMaxSyncDelayUnits) * kDelayUnitMs;
  } else {
    const std::int64_t overrun = now - last_ - lag_;
    const std::int64_t planned = static_cast<std::int64_t>(delay_) * kDelayUnitMs - overrun / 2;
    wait = MulDiv(std::clamp<std::int64_t>(planned, -(std::int64_t{1} << 40), std::int64_t{1} << 40), 100, Speed);
    lag_ = wait;
  }
  last_ = now;
  if (Threaded()) {
    if (wait > 0) return static_cast<int>(std::min<std::int64_t>(wait, INT32_MAX));
    // Speed 0 waits until woken; a negative speed shows frames at once.
    return Speed == 0 ? kWaitForever : 0;
  }
  return static_cast<int>(std::clamp<std::int64_t>(wait, 1, INT32_MAX));
}

void TGIFPainter::ShowScreen() {
  const ScreenBuffer& screen = composer_->Visible();
  if (bitmap_ && !canvas_) {
    if (bitmap_->GetPixelFormat() == platform::PixelFormat::Bit24) {
      const int w = std::min(screen.width, bitmap_->Width());
      for (int y = 0; y < std::min(screen.height, bitmap_->Height()); ++y) {
        std::uint8_t* out = bitmap_->ScanLine(y);
        const platform::Color* in = screen.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(screen.width);
        for (int x = 0; x < w; ++x, out += 3) {
          out[0] = static_cast<std::uint8_t>(platform::GetBValue(in[x]));
          out[1] = static_cast<std::uint8_t>(platform::GetGValue(in[x]));
          out[2] = static_cast<std::uint8_t>(platform::GetRValue(in[x]));
        }
      }
    } else {
      for (int y = 0; y < std::min(screen.height, bitmap_->Height()); ++y)
        for (int x = 0; x < std::min(screen.width, bitmap_->Width()); ++x) bitmap_->SetPixel(x, y, screen.At(x, y));
    }
    image_->SignalChange();
    return;
  }
  if (screen.width <= 0 || screen.height <= 0) return;
  if (!canvas_ && !bitmap_) return;
  QImage picture(screen.width, screen.height, QImage::Format_RGB32);
  for (int y = 0; y < screen.height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < screen.width; ++x) {
      const platform::Color c = screen.At(x, y);
      line[x] = qRgb(platform::GetRValue(c), platform::GetGValue(c), platform::GetBValue(c));
    }
  }
  const platform::Rect source{0, 0, screen.width, screen.height};
  if (canvas_ && (options_ & dpTiled)) {
    // Copies at the picture's own size from the rectangle's corner, cut at
    // its right and bottom edges.
    for (int x = rect_.left; x < rect_.right; x += screen.width)
      for (int y = rect_.top; y < rect_.bottom; y += screen.height) {
        const int w = std::min(screen.width, rect_.right - x), h = std::min(screen.height, rect_.bottom - y);
        canvas_->DrawImage(platform::Rect{x, y, x + w, y + h}, picture, platform::Rect{0, 0, w, h});
      }
  } else if (canvas_) {
    canvas_->DrawImage(rect_, picture, source);
  } else {
    platform::Canvas canvas(bitmap_);
    canvas.DrawImage(platform::Rect{0, 0, bitmap_->Width(), bitmap_->Height()}, picture, source);
  }
}

void TGIFPainter::PaintFrame() {
  // The canvas no longer draws where it did (its window closed, its bitmap
  // went): the painter ends instead of drawing.
  if ((options_ & dpCheckCanvas) && canvas_ && !platform::Canvas::IsDevice(watchedDC_)) {
    terminated_ = true;
    canvas_ = nullptr;
    return;
  }
  TGIFSubImage* frame = image_->Frame(ActiveFrame);
  Disposal = FrameDisposal(*frame);
  for (int e = 0; e < frame->Extensions().ItemCount(); ++e) {
    auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(frame->Extensions().Extension(e));
    if (!loop || loopSeen_) continue;
    loopSeen_ = true;
    loopsLeft_ = loop->LoopCount;
    if ((loop->LoopCount == 0 || (options_ & dpRepeatForever)) && Threaded()) loopsLeft_ = -1;
    loopStart_ = ActiveFrame;
  }
  composer_->ShowFrame(ActiveFrame);
  ShowScreen();
  started_ = true;
  OldDisposal = Disposal;
}

int TGIFPainter::Advance() {
  inAdvance_ = true;
  const int wait = Step();
  inAdvance_ = false;
  // Released by a handler of its own events: nobody else holds it now. A
  // synchronous run frees it once the run has returned.
  if (deleteWhenIdle_) {
    if (!inExecute_) delete this;
    return kFinished;
  }
  return wait;
}

int TGIFPainter::Step() {
  try {
    for (;;) {
      if (!image_) state_ = State::kDone;
      switch (state_) {
        case State::kRunStart:
          if (!restart_ || terminated_) {
            state_ = State::kRunEnd;
            break;
          }
          composer_->Restart();
          ActiveFrame = 0;
          FireEvent(OnPaintBegin);
          started_ = false;
          restart_ = false;
          loopsLeft_ = 1;
          loopStart_ = ActiveFrame;
          loopSeen_ = false;
          delay_ = Threaded() ? 0 : 1;
          OldDisposal = kDisposeKeep;
          last_ = clock_.NowMs();
          lag_ = 0;
          state_ = State::kCycleStart;
          break;
        case State::kCycleStart:
          if ((loopsLeft_ == 0 && !(options_ & dpRepeatForever)) || terminated_ || restart_) {
            state_ = State::kRunEnd;
            break;
          }
          ActiveFrame = loopStart_;
          if (started_) FireEvent(OnRepeat);
          state_ = State::kFrameStart;
          break;
        case State::kFrameStart: {
          if (ActiveFrame < 0 || ActiveFrame >= image_->FrameCount() || terminated_ || restart_ ||
              image_->Frame(ActiveFrame)->FrameEmpty()) {
            state_ = State::kCycleEnd;
            break;
          }
          state_ = State::kFramePaint;
          return FrameWait();
        }
        case State::kFramePaint: {
          if (terminated_ || restart_ || ActiveFrame >= image_->FrameCount()) {
            state_ = State::kCycleEnd;
            break;
          }
          FireEvent(OnFramePaint);
          if (terminated_) {
            state_ = State::kCycleEnd;
            break;
          }
          PaintFrame();
          delay_ = FrameDelayUnits(*image_->Frame(ActiveFrame), Threaded());
          const int noted = ActiveFrame;
          FireEvent(OnFramePainted);
          if (ActiveFrame == noted) ++ActiveFrame;
          state_ = (options_ & dpAnimate) ? State::kFrameStart : State::kCycleEnd;
          break;
        }
        case State::kCycleEnd:
          if (loopsLeft_ > 0) --loopsLeft_;
          state_ = ((options_ & dpAnimate) && (options_ & dpRepeat)) ? State::kCycleStart : State::kRunEnd;
          break;
        case State::kRunEnd:
          if (restart_ && !terminated_) {
            state_ = State::kRunStart;
            break;
          }
          ActiveFrame = -1;
          FireEvent(OnPaintEnd);
          state_ = State::kDone;
          break;
        case State::kDone:
          return kFinished;
      }
    }
  } catch (const std::exception& e) {
    // Reported, never thrown through the event loop or a destructor.
    terminated_ = true;
    capturedError_ = e.what();
    ActiveFrame = -1;
    state_ = State::kDone;
    if (image_) image_->Warning(image_, kSeverityWarning, capturedError_);
    return kFinished;
  }
}

void TGIFPainter::Execute() { Run(); }

bool TGIFPainter::Run() {
  const bool outermost = !inExecute_;
  inExecute_ = true;
  for (;;) {
    int wait = Advance();
    if (wait == kFinished) break;
    wait = std::max(wait, 1);
    while (wait > 0 && !terminated_ && !restart_) {
      const std::int64_t before = clock_.NowMs();
      clock_.SleepMs(std::min(wait, kSliceMs));
      wait -= static_cast<int>(std::max<std::int64_t>(clock_.NowMs() - before, 1));
      // The application quitting ends the painter, or a painter set to
      // repeat forever would keep the program alive.
      if (!ServeEvents()) StopPainter();
    }
  }
  if (!outermost) return true;
  inExecute_ = false;
  // Released while it waited: nobody else holds it now.
  if (deleteWhenIdle_) {
    delete this;
    return false;
  }
  return true;
}

void TGIFPainter::OnTimer() {
  const int wait = Advance();
  if (wait == kFinished || wait == kWaitForever || !timer_) return;
  timer_->start(wait);
}

void TGIFPainter::StartPainter() {
  if (!Threaded()) return;
  // The first frame is shown before the caller goes on.
  int wait = 0;
  while (!started_ && wait == 0) wait = Advance();
  if (wait == kFinished) return;
  timer_ = std::make_unique<QTimer>();
  timer_->setSingleShot(true);
  timer_->setTimerType(Qt::PreciseTimer);  // coarse timers may fire early
  QObject::connect(timer_.get(), &QTimer::timeout, [this] { OnTimer(); });
  if (wait != kWaitForever) timer_->start(std::max(wait, 0));
}

}  // namespace gif
