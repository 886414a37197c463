// Layout, card pictures, painting, hit test, drop candidates, the move
// animation (on a fake clock) and the game clock.
#include <gtest/gtest.h>

#include <cmath>

#include "pellora/cards.h"
#include "pellora/table.h"

namespace pellora {
namespace {

using platform::MakeRect;
using platform::RGBColor;

TEST(SolLayout, WideBoardTakesTheWidthTheAspectGivesTheHeight) {
  const SolLayoutScale s = ComputeLayout(900, 600, 900, 383, 100, 100, 71, 96);
  ASSERT_TRUE(s.accepted);
  EXPECT_FLOAT_EQ(s.scaleX, 1.0f);
  EXPECT_NEAR(s.scaleY, 96.0 / 71.0, 1e-6);
  EXPECT_EQ(s.slotWidth, 100);
  EXPECT_EQ(s.slotHeight, 135);
  EXPECT_EQ(s.offset, 0);
}

TEST(SolLayout, LowBoardTakesTheHeightAndCentresTheTable) {
  const SolLayoutScale s = ComputeLayout(900, 300, 900, 383, 100, 100, 71, 96);
  ASSERT_TRUE(s.accepted);
  EXPECT_NEAR(s.scaleY, 300.0 / 383.0, 1e-6);
  EXPECT_NEAR(s.scaleX, 300.0 / 383.0 * 71.0 / 96.0, 1e-6);
  EXPECT_EQ(s.slotWidth, 57);
  EXPECT_EQ(s.slotHeight, 78);
  EXPECT_EQ(s.offset, (900 - 521) / 2);
}

TEST(SolLayout, RefusedLayoutsChangeNothing) {
  EXPECT_FALSE(ComputeLayout(900, 600, 0, 383, 100, 100, 71, 96).accepted);
  EXPECT_FALSE(ComputeLayout(900, 600, -5, 383, 100, 100, 71, 96).accepted);
  EXPECT_FALSE(ComputeLayout(60000, 60000, 1, 1, 100, 100, 71, 96).accepted);  // slots over 10,000 px
  TSolTbl t;
  t.MaxWidth = 1;
  t.MaxHeight = 1;
  t.AddSlot(-1, 0, 0, 1, 0, 0, "s", "");
  t.ScaleX = 0.5f;
  t.SetBoardSize(60000, 60000);
  EXPECT_FLOAT_EQ(t.ScaleX, 0.5f);  // the scales are stored only for an accepted layout
  EXPECT_EQ(t.Slot(0).Rect, platform::Rect{});
  // A rectangle beyond 32 bits: the size handler swallows the error and
  // keeps the old layout; a direct layout raises it.
  TSolTbl v;
  v.DefWidth = v.DefHeight = 0;
  v.PicWidth = v.PicHeight = 1;
  v.AddSlot(-1, 30000, 0, 1, 0, 0, "far", "");
  v.SetBoardSize(100000, 100000);
  EXPECT_EQ(v.Slot(0).Rect, platform::Rect{});
  EXPECT_FLOAT_EQ(v.ScaleX, 0.0f);
  EXPECT_THROW(v.DoLayout(), SolTblError);
  // Each product fits, but a slot's place plus the centring offset, or a
  // label's edge, passes 32 bits: refused as well, nothing wraps.
  for (const bool label : {false, true}) {
    TSolTbl u;
    u.MaxWidth = u.MaxHeight = 1;
    u.DefWidth = u.DefHeight = 0;
    u.PicWidth = u.PicHeight = 1;
    if (label)
      u.AddLabel(-1, 0, 0, 20000, 0, 0, 0, "wide", "", "");
    else
      u.AddSlot(-1, 20000, 0, 1, 0, 0, "far", "");
    u.SetBoardSize(2100000000, 100000);  // scale 100,000, offset about 1.05e9
    EXPECT_EQ(label ? u.Label(0).Rect : u.Slot(0).Rect, platform::Rect{}) << label;
    EXPECT_THROW(u.DoLayout(), SolTblError) << label;
  }
}

TEST(SolLayout, RectanglesAndLabelFonts) {
  TSolTbl t;
  t.MaxWidth = 900;
  t.MaxHeight = 383;
  t.AddSlot(-1, 348, 267, 1, 10, 0, "Bride", "");
  t.AddSlot(-1, 796, 262, skRemovals, 0, 0, "Rem", "");
  t.AddLabel(-1, 348, 246, 100, 13, 0, 1, "", "Bride", "");
  t.SetBoardSize(900, 600);
  const double sy = 96.0 / 71.0;
  EXPECT_EQ(t.Slot(0).Rect, MakeRect(348, static_cast<int>(267 * sy), 448, static_cast<int>(267 * sy) + 135));
  EXPECT_EQ(t.Label(0).Rect.Height(), static_cast<int>(13 * sy));  // 17
  EXPECT_EQ(t.Label(0).Top, 13);                                  // font height 17 - 4
  t.SetBoardSize(900, 300);
  const double ly = 300.0 / 383.0;
  const double lx = ly * 71.0 / 96.0;
  EXPECT_EQ(t.Slot(1).Rect.left, static_cast<int>(796 * lx) + 189);
  EXPECT_EQ(t.Slot(1).Rect.top, static_cast<int>(262 * ly));
  EXPECT_EQ(t.Label(0).Top, 8);  // scaled height 10
  // Font height 8 up to a scaled height of 12, then height - 4.
  TSolTbl u;
  u.PicWidth = u.PicHeight = 10;
  u.MaxWidth = u.MaxHeight = 100;
  u.AddLabel(-1, 0, 0, 10, 12, 0, 0, "", "a", "");
  u.AddLabel(-1, 0, 0, 10, 13, 0, 0, "", "b", "");
  u.SetBoardSize(100, 100);
  EXPECT_EQ(u.Label(0).Top, 8);
  EXPECT_EQ(u.Label(1).Top, 9);
}

std::shared_ptr<SolImageList> SolidPictures(std::initializer_list<platform::Color> colours) {
  auto list = std::make_shared<SolImageList>();
  for (platform::Color c : colours) {
    platform::Bitmap b(71, 96, platform::PixelFormat::Bit24);
    b.Fill(c);
    list->push_back(b);
  }
  return list;
}

TEST(SolPictures, MissingPicturesKeepLaterNumbersAndShowNothing) {
  TSolTbl t;
  auto list = SolidPictures({RGBColor(255, 0, 0), RGBColor(0, 0, 255)});
  t.AddPicture(list, 0, 0);
  t.AddPicture(list, 7, 1);  // no such image
  t.AddPicture(list, 1, 3);  // number 2 never registered
  t.ScalePictures(20, 30);
  ASSERT_EQ(t.PictureCount(), 4);
  EXPECT_EQ(t.Picture(0).Pixel(10, 10), RGBColor(255, 0, 0));
  EXPECT_EQ(t.Picture(3).Pixel(10, 10), RGBColor(0, 0, 255));
  for (int n : {1, 2}) {
    EXPECT_TRUE(t.Picture(n).Transparent());
    EXPECT_EQ(t.Picture(n).Pixel(5, 5), kPictureKeyColour);
    EXPECT_EQ(t.Picture(n).Width(), 20);
  }
  // A width or height of 0 keeps the current one.
  t.ScalePictures(0, 40);
  EXPECT_EQ(t.Picture(0).Width(), 20);
  EXPECT_EQ(t.Picture(0).Height(), 40);
}

TEST(SolPictures, SeeThroughPartsNeverShowTheCardBefore) {
  TSolTbl t;
  auto list = SolidPictures({RGBColor(255, 0, 0)});
  platform::Bitmap holed(71, 96, platform::PixelFormat::Bit24);
  holed.Fill(RGBColor(255, 255, 255));
  holed.SetTransparentColor(RGBColor(255, 255, 255));
  holed.SetTransparent(true);
  for (int y = 40; y < 56; ++y)
    for (int x = 30; x < 40; ++x) holed.SetPixel(x, y, RGBColor(0, 0, 200));
  list->push_back(holed);
  t.AddPicture(list, 0, 0);
  t.AddPicture(list, 1, 1);
  t.ScalePictures(71, 96);
  EXPECT_EQ(t.Picture(1).Pixel(2, 2), kPictureKeyColour);
  EXPECT_EQ(t.Picture(1).Pixel(70, 95), kPictureKeyColour);
  EXPECT_EQ(t.Picture(1).Pixel(35, 48), RGBColor(0, 0, 200));
}

TEST(SolPictures, CardPicturesStayOpaqueFromSmallToLarge) {
  TSolTbl t;
  auto cards = std::make_shared<SolImageList>(MakeCardPictures());
  for (int i = 0; i < kCardPictureCount; ++i) t.AddPicture(cards, i, i);
  for (auto [w, h] : {std::pair{55, 75}, std::pair{300, 400}}) {
    t.ScalePictures(w, h);
    ASSERT_EQ(t.PictureCount(), kCardPictureCount);
    for (int n = 0; n < kCardPictureCount; ++n) {
      const platform::Bitmap& p = t.Picture(n);
      ASSERT_EQ(p.Width(), w);
      bool key = false;
      for (int y = 0; y < h && !key; ++y)
        for (int x = 0; x < w && !key; ++x) key = p.Pixel(x, y) == kPictureKeyColour;
      EXPECT_FALSE(key) << "picture " << n << " at " << w << "x" << h;
    }
  }
}

// A small board: two slots of solid pictures and labels.
struct Board {
  TSolTbl t;
  Board() {
    t.PicWidth = t.PicHeight = 100;
    t.MaxWidth = 400;
    t.MaxHeight = 200;
    t.BoardColor = RGBColor(0, 0, 64);
    auto list = SolidPictures({RGBColor(200, 0, 0), RGBColor(0, 0, 200)});
    t.AddPicture(list, 0, 0);
    t.AddPicture(list, 1, 1);
    t.AddSlot(-1, 0, 50, 1, 0, 0, "a", "");
    t.AddSlot(-1, 150, 50, 1, 0, 0, "b", "");
    for (int i = 0; i < 2; ++i) {
      t.Slot(i).Visible = 1;
      t.Slot(i).Picture = static_cast<int16_t>(i);
    }
    t.AddLabel(-1, 0, 0, 140, 40, 0, kLabelFlagCounter, "", "Bride", "");
    t.Label(0).Visible = 1;
    t.SetBoardSize(400, 200);
  }
  // Rightmost column with label green in the label rectangle, -1 for none.
  int LabelRight() {
    t.RenderBack();
    const platform::Rect r = t.Label(0).Rect;
    int right = -1;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (t.BackBitmap().Pixel(x, y) == kTableHighlight) right = std::max(right, x);
    return right;
  }
};

TEST(SolPaint, SlotsLabelsAndTheSelectionFrame) {
  Board b;
  b.t.RenderBack();
  const platform::Bitmap& back = b.t.BackBitmap();
  ASSERT_EQ(back.Width(), 400);
  ASSERT_EQ(back.Height(), 200);
  EXPECT_EQ(back.Pixel(50, 100), RGBColor(200, 0, 0));
  EXPECT_EQ(back.Pixel(200, 100), RGBColor(0, 0, 200));
  EXPECT_EQ(back.Pixel(350, 100), RGBColor(0, 0, 64));
  EXPECT_NE(back.Pixel(0, 50), kTableHighlight);
  b.t.Slot(0).Selected = 1;
  b.t.RenderBack();
  EXPECT_EQ(b.t.BackBitmap().Pixel(0, 50), kTableHighlight);
  EXPECT_EQ(b.t.BackBitmap().Pixel(50, 50), kTableHighlight);
  EXPECT_EQ(b.t.BackBitmap().Pixel(50, 100), RGBColor(200, 0, 0));
  EXPECT_NE(b.t.BackBitmap().Pixel(150, 50), kTableHighlight);
  // The board copy is the back bitmap.
  platform::Bitmap screen(400, 200, platform::PixelFormat::Bit24);
  b.t.PaintTable(screen.GetCanvas());
  EXPECT_TRUE(platform::SamePixels(screen, b.t.BackBitmap()));
}

TEST(SolPaint, LabelCounterAppearsWithCardsAndLabelsOfMissingSlotsAreLeftOut) {
  Board b;
  const int plain = b.LabelRight();
  ASSERT_GT(plain, 0);
  b.t.Slot(0).Top = 7;
  const int counted = b.LabelRight();
  EXPECT_GT(counted, plain + 5);  // "Bride: 7"
  b.t.Slot(0).Top = 0;
  EXPECT_EQ(b.LabelRight(), plain);
  b.t.Label(0).Visible = 0;
  EXPECT_EQ(b.LabelRight(), -1);
  b.t.Label(0).Visible = 1;
  b.t.AddLabel(5, 200, 0, 100, 40, 0, kLabelFlagCounter, "", "Orphan", "");
  b.t.Label(5).Visible = 1;
  b.t.SetBoardSize(401, 200);
  b.t.RenderBack();
  const platform::Rect r = b.t.Label(5).Rect;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) ASSERT_NE(b.t.BackBitmap().Pixel(x, y), kTableHighlight);
  // A picture number outside the list is left out too.
  b.t.Slot(1).Picture = 99;
  b.t.RenderBack();
  EXPECT_EQ(b.t.BackBitmap().Pixel(200, 100), RGBColor(0, 0, 64));
}

TEST(SolPaint, MovingBoxShowsItsPictureAndItsFrame) {
  Board b;
  SolCardBoxModel box;
  box.bounds = platform::Bounds(0, 0, 120, 120);
  box.value = 1;
  box.color = RGBColor(10, 10, 10);
  platform::Bitmap img(120, 120, platform::PixelFormat::Bit24);
  b.t.PaintMoving(box, img.GetCanvas());
  EXPECT_EQ(img.Pixel(50, 50), RGBColor(0, 0, 200));
  EXPECT_EQ(img.Pixel(110, 110), RGBColor(10, 10, 10));
  EXPECT_NE(img.Pixel(0, 0), kTableHighlight);
  box.selected = true;
  box.value = 70000;
  EXPECT_THROW(b.t.PaintMoving(box, img.GetCanvas()), SolTblError);
  box.value = 0;
  b.t.PaintMoving(box, img.GetCanvas());
  EXPECT_EQ(img.Pixel(0, 0), kTableHighlight);
  EXPECT_EQ(img.Pixel(50, 50), RGBColor(200, 0, 0));
}

TEST(SolHitTest, EdgesOverlapsAndKindClasses) {
  TSolTbl t;
  t.AddSlot(-1, 0, 0, 1, 0, 0, "low", "");
  t.AddSlot(-1, 0, 0, skDeck, 0, 0, "high", "");
  t.Slot(0).Rect = MakeRect(10, 10, 50, 60);
  t.Slot(1).Rect = MakeRect(40, 50, 80, 90);
  t.Slot(0).Visible = 1;
  int16_t index = -7;
  EXPECT_EQ(t.SlotAt(5, 5, index), kcNone);
  EXPECT_EQ(index, -7);
  EXPECT_EQ(t.SlotAt(50, 60, index), kcSlot);  // right and bottom edge included, slot 1 invisible
  EXPECT_EQ(index, 0);
  t.Slot(1).Visible = 1;
  EXPECT_EQ(t.SlotAt(45, 55, index), kcDeck);  // the higher index wins
  EXPECT_EQ(index, 1);
  EXPECT_EQ(t.SlotAt(10, 10, index), kcSlot);
  EXPECT_EQ(t.SlotAt(81, 90, index), kcNone);
  t.Slot(1).Kind = skRemovals;
  index = -7;
  EXPECT_EQ(t.SlotAt(80, 90, index), kcNone);  // the removals slot answers like empty table
  EXPECT_EQ(index, 1);
  const std::pair<int, int> classes[] = {{0, 1},     {189, 1},   {190, 190}, {199, 190}, {200, 200}, {209, 200},
                                         {210, 210}, {219, 210}, {220, 230}, {229, 230}, {230, 0},   {239, 0},
                                         {240, 240}, {249, 240}, {250, 0},   {255, 0}};
  for (auto [kind, cls] : classes) EXPECT_EQ(TSolTbl::KindClass(kind), cls) << kind;
}

TEST(SolDrop, CandidatesByOverlapLargestFirstWithoutTheSourceSlot) {
  TSolTbl t;
  for (int i = 0; i < 5; ++i) {
    t.AddSlot(-1, 0, 0, 1, 0, 0, "s", "");
    t.Slot(i).Visible = 1;
  }
  SolCardBoxModel box;
  box.bounds = platform::Bounds(100, 100, 100, 100);
  box.tag = 4;
  t.Slot(0).Rect = platform::Bounds(180, 180, 100, 100);  // 20 x 20
  t.Slot(1).Rect = platform::Bounds(150, 100, 100, 100);  // 50 x 100
  t.Slot(2).Rect = platform::Bounds(100, 130, 100, 100);  // 100 x 70
  t.Slot(3).Rect = platform::Bounds(200, 100, 100, 100);  // touches only
  t.Slot(4).Rect = platform::Bounds(100, 100, 100, 100);  // the source
  EXPECT_EQ(t.FindDropSlot(box), 2);
  ASSERT_EQ(t.DropCandidates().size(), 3u);
  EXPECT_EQ(t.DropCandidates()[0].Slot, 2);
  EXPECT_EQ(t.DropCandidates()[0].Area, 7000);
  EXPECT_EQ(t.DropCandidates()[1].Slot, 1);
  EXPECT_EQ(t.DropCandidates()[2].Slot, 0);
  EXPECT_EQ(t.DropCandidates()[2].Area, 400);
  t.Slot(2).Visible = 0;
  t.Slot(1).Rect = platform::Bounds(100, 180, 100, 100);  // 100 x 20, larger than slot 0
  EXPECT_EQ(t.FindDropSlot(box), 1);
  EXPECT_EQ(t.DropCandidates()[0].Slot, 1);
  box.bounds = platform::Bounds(1000, 1000, 10, 10);
  EXPECT_EQ(t.FindDropSlot(box), -1);
  EXPECT_TRUE(t.DropCandidates().empty());
}

// A clock that only moves when the table sleeps or a frame takes time.
struct FakeClock {
  uint64_t now = 1000;
  std::vector<uint32_t> sleeps;
  SolTiming Timing() {
    SolTiming t;
    t.NowMs = [this] { return now; };
    t.SleepMs = [this](uint32_t ms) {
      sleeps.push_back(ms);
      now += ms;
    };
    return t;
  }
};

struct Flight {
  TSolTbl t;
  FakeClock clock;
  SolCardBoxModel box;
  int updates = 0;
  bool repaintedDuring = false;
  Flight() {
    t.Timing = clock.Timing();
    t.AddSlot(-1, 0, 0, 1, 0, 0, "to", "");
    t.Slot(0).Rect = platform::Bounds(480, 0, 100, 135);
    box.bounds = platform::Bounds(0, 0, 100, 135);
    t.OnUpdateNow = [this] {
      ++updates;
      repaintedDuring = repaintedDuring || t.FullRepaint();
    };
  }
};

TEST(SolAnimate, SpeedInPixelsPerSecondGivesWholeFramesAndAnExactEnd) {
  Flight f;
  f.t.AnimateMove(f.box, 0, 720);  // 48 pixels a frame at 15 frames a second
  EXPECT_EQ(f.updates, 10);
  EXPECT_EQ(f.clock.sleeps, std::vector<uint32_t>(10, 67));
  EXPECT_EQ(f.box.bounds, platform::Bounds(480, 0, 100, 135));
  EXPECT_FALSE(f.repaintedDuring);  // the board repaints from the unchanged back bitmap
  EXPECT_TRUE(f.t.FullRepaint());
}

TEST(SolAnimate, FrameTimeSpentDrawingIsNotSleptAgain) {
  Flight f;
  f.t.OnUpdateNow = [&f] { f.clock.now += 20; };
  f.t.AnimateMove(f.box, 0, 720);
  EXPECT_EQ(f.clock.sleeps, std::vector<uint32_t>(10, 47));
  Flight slow;
  slow.t.OnUpdateNow = [&slow] { slow.clock.now += 90; };
  slow.t.AnimateMove(slow.box, 0, 720);
  EXPECT_TRUE(slow.clock.sleeps.empty());
}

TEST(SolAnimate, TotalTimeJumpsAndFpsZero) {
  Flight f;
  f.t.AnimateMove(f.box, 0, -1000);  // Nearest(1000 / 67) = 15 frames
  EXPECT_EQ(f.updates, 15);
  EXPECT_EQ(f.box.bounds.left, 480);
  Flight jump;
  jump.t.AnimateMove(jump.box, 0, -100);  // one frame is too few: a jump
  EXPECT_EQ(jump.updates, 0);
  EXPECT_EQ(jump.box.bounds.left, 480);
  Flight still;
  still.t.FPS = 0;
  still.t.AnimateMove(still.box, 0, 720);
  EXPECT_EQ(still.updates, 0);
  EXPECT_TRUE(still.clock.sleeps.empty());
  EXPECT_EQ(still.box.bounds.left, 480);
  Flight bad;
  EXPECT_THROW(bad.t.AnimateMove(bad.box, 3, 720), SolTblError);
  EXPECT_TRUE(bad.t.FullRepaint());
}

TEST(SolClock, ToggleAddsTheRunningTimeOnce) {
  TSolTbl t;
  FakeClock c;
  t.Timing = c.Timing();
  t.ToggleClock();
  EXPECT_EQ(t.Options.ClockState, csRunning);
  EXPECT_EQ(t.ClockStart(), 1000u);
  c.now += 100;
  t.ToggleClock();
  EXPECT_EQ(t.Options.ClockState, csPaused);
  EXPECT_EQ(t.ClockTotal(), 100u);
  c.now += 5000;  // paused time does not count
  t.ToggleClock();
  c.now += 30;
  t.ToggleClock();
  EXPECT_EQ(t.ClockTotal(), 130u);
  t.Options.ClockState = 9;
  t.ToggleClock();
  EXPECT_EQ(t.Options.ClockState, 9);
  t.Options.ClockState = csNeverStarted1;
  t.ToggleClock();
  EXPECT_EQ(t.ClockTotal(), 0u);
}

}  // namespace
}  // namespace pellora
