#pragma once
// The animation painter: shows the frames of a TGIFImage one after another
// with their delays, disposal methods and loop count.
//
// A painter runs in one of two ways, chosen by dpThreaded:
// - timer-driven (dpThreaded): a state machine on the GUI thread. Each
//   Advance() runs up to the next wait and answers it; a single-shot timer
//   calls Advance() again when the wait is over. Nothing ever blocks, so
//   stopping, clearing or freeing the image takes effect at once.
// - synchronous: Execute() runs the whole animation inside the caller,
//   sleeping in slices of at most kSliceMs between frames and serving the
//   event queue between slices; the application quitting ends it there.
// Time comes from a PainterClock, so tests run the waits on a fake clock.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "picture-codecs/gif/compose.h"
#include "picture-codecs/gif/image.h"
#include "platform/canvas.h"

class QTimer;

namespace gif {

class PainterClock {
 public:
  virtual ~PainterClock() = default;
  virtual std::int64_t NowMs() = 0;
  virtual void SleepMs(int ms) = 0;
};
// The steady clock of the system.
PainterClock& SystemClock();

class TGIFPainter {
 public:
  using Event = std::function<void(TGIFPainter& sender)>;
  // What Advance() answers besides a wait in milliseconds.
  static constexpr int kWaitForever = -1;
  static constexpr int kFinished = -2;
  static constexpr int kSliceMs = 100;

  // Shows the image on the canvas at rect, or, with no canvas, on the
  // bitmap (which the image keeps as its cached picture). painterRef, when
  // given, is set to the painter and cleared when it is released.
  TGIFPainter(TGIFImage& image, std::uint16_t options, const platform::Rect& rect, platform::Canvas* canvas,
              platform::Bitmap* bitmap, TGIFPainter** painterRef, PainterClock& clock = SystemClock());
  ~TGIFPainter();
  TGIFPainter(const TGIFPainter&) = delete;
  TGIFPainter& operator=(const TGIFPainter&) = delete;

  // Timer-driven: runs until the first frame is shown (or the run ends),
  // then goes on from the timer. Synchronous painters are run by Execute().
  void StartPainter();
  // Ends the run: a waiting painter ends at once (timer-driven) or after the
  // current slice (synchronous); nothing is painted or fired afterwards.
  void StopPainter();
  // The whole run in the calling thread. A painter the image releases while
  // the run waits (an event served meanwhile clears the image or stops its
  // painters) ends at its next step and frees itself when the run returns.
  void Execute();
  // One step of the run: up to and including the next wait, answered in
  // milliseconds, kWaitForever (until stopped) or kFinished.
  int Advance();
  // Starts the painting run again from the first frame.
  void SetRestart() { restart_ = true; }
  // Clears the painter reference and forgets the image.
  void ReleasePainter();

  bool Terminated() const { return terminated_; }
  bool Started() const { return started_; }
  bool Finished() const { return state_ == State::kDone; }
  bool Threaded() const { return (options_ & dpThreaded) != 0; }
  std::uint16_t Options() const { return options_; }
  const platform::Rect& TargetRect() const { return rect_; }
  platform::Canvas* Canvas() const { return canvas_; }
  TGIFImage* Image() const { return image_; }
  const ScreenBuffer& Screen() const { return composer_->Visible(); }
  // The message of an error that ended the run, empty when none.
  const std::string& CapturedError() const { return capturedError_; }

  int Speed;
  int ActiveFrame = -1;
  int Disposal = kDisposeKeep;
  int OldDisposal = kDisposeKeep;
  Event OnPaintBegin, OnFramePaint, OnFramePainted, OnRepeat, OnPaintEnd;

 private:
  enum class State { kRunStart, kCycleStart, kFrameStart, kFramePaint, kCycleEnd, kRunEnd, kDone };
  friend class TGIFImage;
  int Step();
  // Execute's run: answers false when the painter has freed itself.
  bool Run();
  void FireEvent(const Event& event);
  int FrameWait();
  void PaintFrame();
  void ShowScreen();
  void OnTimer();

  TGIFImage* image_;
  std::uint16_t options_;
  platform::Rect rect_;
  platform::Canvas* canvas_;
  platform::Bitmap* bitmap_;
  // With dpCheckCanvas: what the canvas drew on when the painter was made.
  platform::Canvas::DeviceHandle watchedDC_;
  TGIFPainter** painterRef_;
  PainterClock& clock_;
  std::unique_ptr<FrameComposer> composer_;
  std::unique_ptr<QTimer> timer_;
  State state_ = State::kRunStart;
  bool terminated_ = false;
  bool restart_ = true;
  bool started_ = false;
  bool inAdvance_ = false;
  bool inExecute_ = false;
  bool deleteWhenIdle_ = false;
  int loopsLeft_ = 1;
  int loopStart_ = 0;
  bool loopSeen_ = false;
  int delay_ = 0;
  std::int64_t last_ = 0;
  std::int64_t lag_ = 0;
  std::string capturedError_;
};

}  // namespace gif
