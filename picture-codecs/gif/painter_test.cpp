// The animation painter on a fake clock: waits, loops, events, stopping; and
// the image's drawing and painter management.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <thread>

#include "picture-codecs/gif/extensions.h"
#include "picture-codecs/gif/frame.h"
#include "picture-codecs/gif/image.h"
#include "picture-codecs/gif/items.h"
#include "picture-codecs/gif/painter.h"
#include "picture-codecs/gif/stream_util.h"

namespace {

using gif::TGIFPainter;
using platform::RGBColor;

class FakeClock : public gif::PainterClock {
 public:
  std::int64_t NowMs() override { return now; }
  void SleepMs(int ms) override {
    sleeps.push_back(ms);
    now += ms;
  }
  std::int64_t now = 1000;
  std::vector<int> sleeps;
};

// frames frames of 2 x 2 with the delay; a looping extension on frame 0
// when loops >= 0.
std::unique_ptr<gif::TGIFImage> Animation(int frames, int delay, int loops = -1) {
  auto image = std::make_unique<gif::TGIFImage>();
  image->SetScreenSize(2, 2);
  for (auto c : {RGBColor(255, 0, 0), RGBColor(0, 255, 0), RGBColor(0, 0, 255)}) image->GlobalMapOf().AddColour(c);
  for (int i = 0; i < frames; ++i) {
    auto* frame = new gif::TGIFSubImage(image.get());
    frame->SetFrameBounds(0, 0, 2, 2);
    for (int p = 0; p < 4; ++p) frame->Pixels()[p] = static_cast<std::uint8_t>(i % 3);
    auto* control = new gif::TGIFGraphicControlExtension(frame);
    frame->Extensions().AddItem(control);
    control->SetDelayTime(delay);
    if (i == 0 && loops >= 0) {
      auto* loop = new gif::TGIFAppExtNSLoop(frame);
      loop->LoopCount = static_cast<std::uint16_t>(loops);
      frame->Extensions().AddItem(loop);
    }
    image->AddFrame(frame);
  }
  return image;
}

constexpr std::uint16_t kSync = gif::dpAnimate | gif::dpRepeat;
constexpr std::uint16_t kTimed = gif::dpThreaded | gif::dpAnimate | gif::dpRepeat;

// Milliseconds between the paints of a synchronous run, and the frames
// painted in order.
struct PaintRun {
  std::vector<std::int64_t> gaps;
  std::vector<int> frames;
};

PaintRun RunSync(gif::TGIFImage& image, std::uint16_t options, FakeClock& clock, int speed = 100) {
  image.SpeedPercent = speed;
  TGIFPainter painter(image, options, platform::Rect{0, 0, 2, 2}, nullptr, nullptr, nullptr, clock);
  PaintRun run;
  std::int64_t last = clock.now;
  painter.OnFramePaint = [&](TGIFPainter& p) {
    run.gaps.push_back(clock.now - last);
    last = clock.now;
    run.frames.push_back(p.ActiveFrame);
  };
  painter.Execute();
  return run;
}

TEST(GifPainter, SynchronousWaits) {
  FakeClock clock;
  // The first frame comes after one unit; then each frame's delay.
  auto one = Animation(3, 1);
  EXPECT_EQ(RunSync(*one, kSync, clock).gaps, (std::vector<std::int64_t>{10, 30, 30}));  // raised to 3 units
  auto none = Animation(3, 0);
  EXPECT_EQ(RunSync(*none, kSync, clock).gaps, (std::vector<std::int64_t>{10, 100, 100}));  // the default 10 units
  auto half = Animation(3, 50);
  EXPECT_EQ(RunSync(*half, kSync, clock, 200).gaps, (std::vector<std::int64_t>{5, 250, 250}));
  clock.sleeps.clear();
  auto slow = Animation(2, 5000);
  EXPECT_EQ(RunSync(*slow, kSync, clock).gaps, (std::vector<std::int64_t>{10, 10000}));  // capped at 1000 units
  for (int s : clock.sleeps) EXPECT_LE(s, TGIFPainter::kSliceMs);
  // Any speed below 1 waits the longest delay in a synchronous run.
  EXPECT_EQ(RunSync(*half, kSync, clock, 0).gaps, (std::vector<std::int64_t>{10000, 10000, 10000}));
  EXPECT_EQ(RunSync(*half, kSync, clock, -5).gaps, (std::vector<std::int64_t>{10000, 10000, 10000}));
}

// The waits a timer-driven painter asks for, and the frame each paint showed.
TEST(GifPainter, TimerDrivenWaits) {
  FakeClock clock;
  auto image = Animation(3, 5000);
  TGIFPainter painter(*image, gif::dpThreaded | gif::dpAnimate, platform::Rect{0, 0, 2, 2}, nullptr, nullptr,
                      nullptr, clock);
  EXPECT_EQ(painter.Advance(), 0);  // the first frame at once
  EXPECT_EQ(painter.Advance(), 50000);  // not capped
  EXPECT_TRUE(painter.Started());

  // Half of an overrun comes off the next wait.
  auto fast = Animation(4, 10);
  TGIFPainter timed(*fast, gif::dpThreaded | gif::dpAnimate, platform::Rect{0, 0, 2, 2}, nullptr, nullptr, nullptr,
                    clock);
  EXPECT_EQ(timed.Advance(), 0);
  EXPECT_EQ(timed.Advance(), 100);
  clock.now += 140;  // 40 ms late
  EXPECT_EQ(timed.Advance(), 80);
  clock.now += 80;  // on time
  EXPECT_EQ(timed.Advance(), 100);
  clock.now += 100;
  EXPECT_EQ(timed.Advance(), TGIFPainter::kFinished);
  EXPECT_EQ(timed.ActiveFrame, -1);

  // Speed 0 waits until stopped; a negative speed does not wait.
  image->SpeedPercent = 0;
  TGIFPainter still(*image, kTimed, platform::Rect{0, 0, 2, 2}, nullptr, nullptr, nullptr, clock);
  EXPECT_EQ(still.Advance(), 0);
  EXPECT_EQ(still.Advance(), TGIFPainter::kWaitForever);
  still.StopPainter();
  EXPECT_EQ(still.Advance(), TGIFPainter::kFinished);
  image->SpeedPercent = -1;
  TGIFPainter eager(*image, gif::dpThreaded | gif::dpAnimate, platform::Rect{0, 0, 2, 2}, nullptr, nullptr, nullptr,
                    clock);
  int paints = 0;
  eager.OnFramePainted = [&](TGIFPainter&) { ++paints; };
  int steps = 0;
  while (eager.Advance() == 0) ++steps;
  EXPECT_EQ(paints, 3);
  EXPECT_TRUE(eager.Finished());
}

TEST(GifPainter, LoopCountsAndEvents) {
  FakeClock clock;
  auto three = Animation(3, 5, 3);
  const PaintRun run = RunSync(*three, kSync, clock);
  EXPECT_EQ(run.frames, (std::vector<int>{0, 1, 2, 0, 1, 2, 0, 1, 2}));
  // No repeat without dpRepeat.
  EXPECT_EQ(RunSync(*three, gif::dpAnimate, clock).frames.size(), 3u);
  // Without dpAnimate only the first frame.
  EXPECT_EQ(RunSync(*three, gif::dpRepeat, clock).frames, std::vector<int>{0});
  // Count 0: once in a synchronous run, unless forever.
  auto endless = Animation(3, 5, 0);
  EXPECT_EQ(RunSync(*endless, kSync, clock).frames.size(), 3u);
  // Count 0 on a timer-driven painter: endless until stopped.
  TGIFPainter timed(*endless, kTimed, platform::Rect{0, 0, 2, 2}, nullptr, nullptr, nullptr, clock);
  std::vector<std::string> events;
  timed.OnPaintBegin = [&](TGIFPainter&) { events.push_back("begin"); };
  timed.OnRepeat = [&](TGIFPainter&) { events.push_back("repeat"); };
  timed.OnFramePainted = [&](TGIFPainter& p) { events.push_back(std::to_string(p.ActiveFrame)); };
  timed.OnPaintEnd = [&](TGIFPainter&) { events.push_back("end"); };
  for (int i = 0; i < 30; ++i) ASSERT_NE(timed.Advance(), TGIFPainter::kFinished);
  EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 6),
            (std::vector<std::string>{"begin", "0", "1", "2", "repeat", "0"}));
  timed.StopPainter();
  EXPECT_EQ(timed.Advance(), TGIFPainter::kFinished);
  EXPECT_NE(events.back(), "end");  // nothing fires after the stop

  // A handler that sets the active frame: the run goes on from there.
  auto five = Animation(5, 5);
  TGIFPainter jumping(*five, kSync, platform::Rect{0, 0, 2, 2}, nullptr, nullptr, nullptr, clock);
  std::vector<int> shown;
  jumping.OnFramePainted = [&](TGIFPainter& p) {
    shown.push_back(p.ActiveFrame);
    if (p.ActiveFrame == 0) p.ActiveFrame = 3;
  };
  std::vector<std::string> order;
  jumping.OnPaintEnd = [&](TGIFPainter& p) { order.push_back("end " + std::to_string(p.ActiveFrame)); };
  jumping.Execute();
  EXPECT_EQ(shown, (std::vector<int>{0, 3, 4}));
  EXPECT_EQ(order, std::vector<std::string>{"end -1"});
}

TEST(GifPainter, ErrorsInTheRunAreReportedNotThrown) {
  FakeClock clock;
  auto image = Animation(3, 5);
  std::vector<std::string> warnings;
  image->SetOnWarning([&](const gif::GIFObject*, int, const std::string& m) { warnings.push_back(m); });
  TGIFPainter painter(*image, kSync, platform::Rect{0, 0, 2, 2}, nullptr, nullptr, nullptr, clock);
  int paints = 0;
  painter.OnFramePainted = [&](TGIFPainter&) {
    if (++paints == 2) gif::RaiseGIFError(gif::msg::kBadData);
  };
  EXPECT_NO_THROW(painter.Execute());
  EXPECT_EQ(paints, 2);
  EXPECT_EQ(painter.CapturedError(), gif::msg::kBadData);
  EXPECT_EQ(warnings, std::vector<std::string>{gif::msg::kBadData});
}

// With dpCheckCanvas a painter whose canvas no longer draws where it did
// (bound elsewhere, or destroyed) ends instead of drawing; without it, it
// draws on.
TEST(GifPainter, CheckCanvasEndsWhenTheCanvasIsGone) {
  FakeClock clock;
  auto image = Animation(3, 5);
  const platform::Rect rect{0, 0, 2, 2};
  platform::Bitmap target(2, 2);
  platform::Bitmap elsewhere(2, 2);
  for (const bool check : {true, false}) {
    auto canvas = std::make_unique<platform::Canvas>(&target);
    const auto options = static_cast<std::uint16_t>(gif::dpThreaded | gif::dpAnimate | (check ? gif::dpCheckCanvas : 0));
    TGIFPainter painter(*image, options, rect, canvas.get(), nullptr, nullptr, clock);
    int painted = 0;
    painter.OnFramePainted = [&](TGIFPainter&) { ++painted; };
    EXPECT_EQ(painter.Advance(), 0);
    EXPECT_EQ(painter.Advance(), 50);  // frame 0 shown
    EXPECT_EQ(target.Pixel(0, 0), RGBColor(255, 0, 0));
    elsewhere.Fill(RGBColor(0, 0, 0));
    canvas->Bind(&elsewhere);
    const int next = painter.Advance();
    if (check) {
      EXPECT_EQ(next, TGIFPainter::kFinished);
      EXPECT_TRUE(painter.Terminated());
      EXPECT_EQ(painted, 1);
      EXPECT_EQ(elsewhere.Pixel(0, 0), RGBColor(0, 0, 0));
    } else {
      EXPECT_GT(next, 0);  // the wait for frame 2
      EXPECT_EQ(painted, 2);
      EXPECT_EQ(elsewhere.Pixel(0, 0), RGBColor(0, 255, 0));
    }
  }
  auto canvas = std::make_unique<platform::Canvas>(&target);
  TGIFPainter painter(*image, gif::dpThreaded | gif::dpAnimate | gif::dpCheckCanvas, rect, canvas.get(), nullptr,
                      nullptr, clock);
  EXPECT_EQ(painter.Advance(), 0);
  EXPECT_EQ(painter.Advance(), 50);
  canvas.reset();
  EXPECT_EQ(painter.Advance(), TGIFPainter::kFinished);
  EXPECT_TRUE(painter.Terminated());
}

// Odd animations end or keep going as they should, without harm.
TEST(GifPainter, BadAnimations) {
  FakeClock clock;
  // An empty frame ends the cycle; frames outside the screen draw nothing.
  auto holes = Animation(3, 5);
  holes->Frame(1)->SetFrameBounds(0, 0, 0, 0);
  EXPECT_EQ(RunSync(*holes, kSync, clock).frames, std::vector<int>{0});
  auto outside = Animation(3, 5);
  outside->Frame(1)->SetFrameBounds(60000, 60000, 2, 2);
  outside->SetScreenSize(2, 2);
  TGIFPainter away(*outside, kSync, platform::Rect{0, 0, 2, 2}, nullptr, nullptr, nullptr, clock);
  std::vector<platform::Color> seen;
  away.OnFramePainted = [&](TGIFPainter& p) { seen.push_back(p.Screen().At(1, 1)); };
  away.Execute();
  EXPECT_EQ(seen, (std::vector<platform::Color>{RGBColor(255, 0, 0), RGBColor(255, 0, 0), RGBColor(0, 0, 255)}));

  // The longest loop count and delay: a timer-driven painter keeps asking
  // for the full delay and does not end.
  auto longest = Animation(2, 65535, 65535);
  TGIFPainter patient(*longest, kTimed, platform::Rect{0, 0, 2, 2}, nullptr, nullptr, nullptr, clock);
  EXPECT_EQ(patient.Advance(), 0);
  for (int i = 0; i < 200; ++i) {
    const int wait = patient.Advance();
    ASSERT_EQ(wait, 655350);
    clock.now += wait;
  }
  EXPECT_EQ(RunSync(*longest, gif::dpAnimate, clock).gaps.back(), 10000);

  // Thousands of frames.
  auto many = Animation(3000, 0);
  EXPECT_EQ(RunSync(*many, gif::dpAnimate, clock).frames.size(), 3000u);

  // A file cut short: what was read plays, and the painter ends.
  auto whole = Animation(4, 5, 2);
  platform::MemoryStream bytes;
  whole->SaveToStream(bytes);
  for (std::size_t cut : {bytes.Bytes().size() / 2, bytes.Bytes().size() - 2}) {
    std::vector<std::uint8_t> part(bytes.Bytes().begin(), bytes.Bytes().begin() + static_cast<std::ptrdiff_t>(cut));
    gif::TGIFImage image;
    platform::MemoryStream in(part);
    try {
      image.LoadFromStream(in);
    } catch (const std::exception&) {
    }
    const PaintRun run = RunSync(image, kSync, clock);
    EXPECT_LE(run.frames.size(), 8u);
  }
}

// ---- the image's side ---------------------------------------------------------

TEST(GifImageDrawing, OneFrameAndEmptyRectanglesMakeNoPainter) {
  auto single = Animation(1, 5);
  platform::Bitmap target(4, 4);
  platform::Canvas canvas(&target);
  single->PaintOptions |= gif::dpDirect;
  single->Draw(canvas, platform::Rect{0, 0, 4, 4});
  EXPECT_EQ(single->PainterCount(), 0);
  EXPECT_EQ(single->MainPainter(), nullptr);
  EXPECT_EQ(target.Pixel(3, 3), RGBColor(255, 0, 0));
  TGIFPainter* ref = nullptr;
  EXPECT_EQ(single->NewPainter(&ref, &canvas, gif::TGIFImage::kDefaultPaintOptions, platform::Rect{0, 0, 4, 4}), nullptr);
  EXPECT_EQ(single->PainterCount(), 0);

  auto animated = Animation(3, 5);
  EXPECT_EQ(animated->NewPainter(&ref, &canvas, gif::TGIFImage::kDefaultPaintOptions, platform::Rect{2, 2, 2, 4}), nullptr);
  animated->Draw(canvas, platform::Rect{0, 0, 0, 0});
  EXPECT_EQ(animated->PainterCount(), 0);
}

TEST(GifImageDrawing, TiledDrawingClipsToTheRectangle) {
  gif::TGIFImage image;
  image.SetScreenSize(10, 10);
  platform::Bitmap tile(10, 10);
  tile.Fill(RGBColor(0, 255, 0));
  tile.SetPixel(0, 0, RGBColor(255, 0, 0));
  tile.SetPixel(9, 9, RGBColor(0, 0, 255));
  platform::Bitmap target(30, 30);
  target.Fill(RGBColor(0, 0, 0));
  platform::Canvas canvas(&target);
  image.PaintOptions |= gif::dpTiled;
  image.TileBitmap(canvas, platform::Rect{0, 0, 25, 25}, tile);
  int corners = 0, ends = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x) {
      const auto c = target.Pixel(x, y);
      if (c == RGBColor(255, 0, 0)) {
        ++corners;
        EXPECT_TRUE(x % 10 == 0 && y % 10 == 0) << x << "," << y;
      }
      if (c == RGBColor(0, 0, 255)) ++ends;
      if (x >= 25 || y >= 25) EXPECT_EQ(c, RGBColor(0, 0, 0)) << x << "," << y;
      else EXPECT_NE(c, RGBColor(0, 0, 0)) << x << "," << y;
    }
  EXPECT_EQ(corners, 9);
  EXPECT_EQ(ends, 4);  // only the whole tiles keep their last pixel
}

TEST(GifImageDrawing, DirectTiledFramesStayInsideTheRectangle) {
  auto image = Animation(3, 5);
  image->Frame(2)->PixelAt(0, 0) = 0;  // red in the corner of every tile
  platform::Bitmap target(30, 30);
  target.Fill(RGBColor(0, 0, 0));
  platform::Canvas canvas(&target);
  image->PaintOptions = gif::dpAnimate | gif::dpDirect | gif::dpTiled;  // synchronous
  image->Draw(canvas, platform::Rect{3, 3, 28, 28});
  EXPECT_EQ(image->PainterCount(), 0);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x) {
      const bool inside = x >= 3 && x < 28 && y >= 3 && y < 28;
      const bool corner = (x - 3) % 2 == 0 && (y - 3) % 2 == 0;
      const platform::Color want = !inside ? RGBColor(0, 0, 0) : corner ? RGBColor(255, 0, 0) : RGBColor(0, 0, 255);
      EXPECT_EQ(target.Pixel(x, y), want) << x << "," << y;
    }
}

TEST(GifImageDrawing, ClearedFromItsOwnSynchronousPainter) {
  FakeClock clock;
  auto image = Animation(3, 5, 0);
  image->SetPainterClock(&clock);
  image->PaintOptions = gif::dpAnimate | gif::dpRepeat | gif::dpRepeatForever;
  int painted = 0;
  gif::TGIFImage* raw = image.get();
  image->OnFramePainted = [&](TGIFPainter&) {
    if (++painted == 2) raw->ClearImage();
  };
  platform::Bitmap target(2, 2);
  platform::Canvas canvas(&target);
  image->Draw(canvas, platform::Rect{0, 0, 2, 2});  // forever, but the clearing ends it
  EXPECT_EQ(painted, 2);
  EXPECT_TRUE(image->Empty());
  EXPECT_EQ(image->PainterCount(), 0);
}

// A synchronous painter waiting between frames serves the event queue; a
// timer there that clears the image or stops its painters ends the painter,
// which is freed only once its run has returned.
TEST(GifImageDrawing, SynchronousPainterStoppedFromAnotherEvent) {
  for (const bool clear : {true, false}) {
    FakeClock clock;
    auto image = Animation(3, 5, 0);
    image->SetPainterClock(&clock);
    image->PaintOptions = gif::dpAnimate | gif::dpRepeat | gif::dpRepeatForever;
    gif::TGIFImage* raw = image.get();
    int painted = 0;
    // A painter that misses the stop still ends, so that the test does.
    image->OnFramePainted = [&](TGIFPainter& p) {
      if (++painted > 100) p.StopPainter();
    };
    bool stopped = false;
    QTimer::singleShot(0, [&] {
      stopped = true;
      if (clear)
        raw->ClearImage();
      else
        raw->StopPainters();
    });
    platform::Bitmap target(2, 2);
    platform::Canvas canvas(&target);
    image->Draw(canvas, platform::Rect{0, 0, 2, 2});
    EXPECT_TRUE(stopped);
    EXPECT_EQ(painted, 0) << "clear " << clear;  // stopped in the wait before the first frame
    EXPECT_EQ(image->PainterCount(), 0);
    EXPECT_EQ(image->MainPainter(), nullptr);
  }
}

// A running animation on the event loop: frames reach the cached bitmap, and
// clearing or freeing the image stops it at once.
TEST(GifImageDrawing, AnimationOnTheEventLoopStopsAtOnce) {
  auto image = Animation(3, 2, 0);  // 20 ms frames, endless
  platform::Bitmap target(2, 2);
  platform::Canvas canvas(&target);
  int changes = 0;
  image->SetOnChange([&](platform::Graphic&) { ++changes; });
  int painted = 0;
  image->OnFramePainted = [&](TGIFPainter&) { ++painted; };
  image->Draw(canvas, platform::Rect{0, 0, 2, 2});
  ASSERT_NE(image->MainPainter(), nullptr);
  EXPECT_EQ(painted, 1);  // the first frame before Draw returns
  EXPECT_EQ(target.Pixel(0, 0), RGBColor(255, 0, 0));
  QElapsedTimer timer;
  timer.start();
  while (painted < 5 && timer.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_GE(painted, 5);
  EXPECT_GT(changes, 0);
  image->Draw(canvas, platform::Rect{0, 0, 2, 2});  // copies the cached picture
  EXPECT_EQ(image->PainterCount(), 1);

  timer.restart();
  image->ClearImage();
  EXPECT_LT(timer.elapsed(), 100);
  EXPECT_EQ(image->PainterCount(), 0);
  EXPECT_EQ(image->MainPainter(), nullptr);
  const int before = painted;
  timer.restart();
  while (timer.elapsed() < 100) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(painted, before);

  // Freed while it runs, and freed from inside its own event.
  for (bool fromHandler : {false, true}) {
    auto doomed = Animation(3, 2);
    doomed->PaintOptions |= gif::dpDirect;
    gif::TGIFImage* raw = doomed.get();
    int n = 0;
    doomed->OnFramePainted = [&](TGIFPainter&) {
      if (++n == 3 && fromHandler) raw->ClearImage();
    };
    doomed->Draw(canvas, platform::Rect{0, 0, 2, 2});
    timer.restart();
    while (n < 3 && timer.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    timer.restart();
    doomed.reset();
    EXPECT_LT(timer.elapsed(), 100);
    const int at = n;
    timer.restart();
    while (timer.elapsed() < 80) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(n, at);
  }
}

// The application quitting while a synchronous painter set to repeat forever
// waits: the painter ends within a slice and the application's event loop
// still ends, with the code it was given.
TEST(GifImageDrawing, QuitEndsASynchronousPainter) {
  for (const int code : {0, 7}) {
    auto image = Animation(3, 5, 0);
    image->PaintOptions = gif::dpAnimate | gif::dpRepeat | gif::dpRepeatForever;
    platform::Bitmap target(2, 2);
    platform::Canvas canvas(&target);
    QElapsedTimer clock;
    qint64 quitAt = -1;
    qint64 returnedAt = -1;
    // A painter that misses the quit still ends, so that the test does.
    image->OnFramePainted = [&](TGIFPainter& p) {
      if (clock.elapsed() > 5000) p.StopPainter();
    };
    QTimer::singleShot(0, [&] {
      clock.start();
      QTimer::singleShot(300, [&] {
        quitAt = clock.elapsed();
        if (code == 0)
          QCoreApplication::quit();
        else
          QCoreApplication::exit(code);
      });
      image->Draw(canvas, platform::Rect{0, 0, 2, 2});
      returnedAt = clock.elapsed();
    });
    EXPECT_EQ(QCoreApplication::exec(), code);
    ASSERT_GE(quitAt, 300);
    EXPECT_GE(returnedAt, quitAt);
    EXPECT_LE(returnedAt - quitAt, TGIFPainter::kSliceMs) << "code " << code;
    EXPECT_EQ(image->PainterCount(), 0);
  }
}

}  // namespace
