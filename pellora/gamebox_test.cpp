// The Qt board and moving card box bound to the table (offscreen).
#include "pellora/gamebox.h"

#include <gtest/gtest.h>

#include "pellora-lib/test_support.h"

namespace pellora {
namespace {

std::shared_ptr<SolImageList> Red() {
  auto list = std::make_shared<SolImageList>(1, platform::Bitmap(71, 96, platform::PixelFormat::Bit24));
  (*list)[0].Fill(platform::RGBColor(220, 0, 0));
  return list;
}

void OneRedSlot(TSolTbl& t) {
  t.MaxWidth = 400;
  t.MaxHeight = 200;
  t.AddPicture(Red(), 0, 0);
  t.AddSlot(-1, 10, 10, 1, 0, 0, "s", "");
  t.Slot(0).Visible = 1;
}

TEST(SolGameBox, SizeChangesLayOutAndPaintsShowTheTable) {
  TDrawBox box;
  box.resize(400, 300);
  box.show();  // a hidden widget hears of its size only when shown
  TSolTbl t;
  OneRedSlot(t);
  SetGameBox(t, &box);
  EXPECT_EQ(GameBox(t), &box);
  EXPECT_EQ(t.BoardWidth(), 400);
  box.resize(200, 300);
  EXPECT_EQ(t.BoardWidth(), 200);
  EXPECT_EQ(t.Slot(0).Rect.left, 5);
  const QImage shot = box.grab().toImage();
  const platform::Rect r = t.Slot(0).Rect;
  EXPECT_EQ(QColor(shot.pixel(r.left + 5, r.top + 5)), QColor(220, 0, 0));
  // Unbinding leaves the box without the table's handlers.
  SetGameBox(t, nullptr);
  EXPECT_FALSE(box.OnPaint);
  box.resize(300, 300);
  EXPECT_EQ(t.BoardWidth(), 200);
}

TEST(SolGameBox, EitherMayGoFirst) {
  {
    TDrawBox box;
    {
      TSolTbl t;
      SetGameBox(t, &box);
    }
    EXPECT_FALSE(box.OnSize);
    box.resize(50, 50);  // no table behind it any more
  }
  TSolTbl t;
  {
    TDrawBox box;
    SetGameBox(t, &box);
  }
  EXPECT_EQ(GameBox(t), nullptr);
  EXPECT_FALSE(t.OnInvalidate);
}

TEST(SolGameBox, MovingBoxPaintsItsCardAndFliesToTheSlot) {
  QWidget parent;
  parent.resize(400, 300);
  TDrawBox board(&parent);
  board.resize(400, 300);
  TDrawBox mover(&parent);
  parent.show();
  TSolTbl t;
  OneRedSlot(t);
  SetGameBox(t, &board);
  BindMovingBox(t, mover);
  DrawBoxCard card(mover);
  card.SetBounds(platform::Bounds(300, 200, t.Slot(0).Rect.Width(), t.Slot(0).Rect.Height()));
  card.SetValue(0);
  card.SetTag(3);
  EXPECT_EQ(card.Tag(), 3);
  const QImage shot = mover.grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(10, 10)), QColor(220, 0, 0));
  SolTiming still;  // no clock: frames follow each other at once
  t.Timing = still;
  t.AnimateMove(card, 0, 720);
  EXPECT_EQ(mover.geometry().topLeft(), QPoint(t.Slot(0).Rect.left, t.Slot(0).Rect.top));
}

}  // namespace
}  // namespace pellora
