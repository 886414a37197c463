#include "pellora-lib/drawbox.h"
#include "pellora-lib/test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPixmap>
#include <stdexcept>

using pellora::TDrawBox;

using pellora::testkit::Pump;
using pellora::testkit::SendMouse;

TEST(DrawBox, RepaintsOnlyOnRealChanges) {
  TDrawBox box;
  int paints = 0;
  box.OnPaint = [&](TDrawBox&) { ++paints; };
  box.resize(40, 30);
  box.show();
  Pump();
  const int base = paints;
  EXPECT_GE(base, 1);
  box.SetValue(53);
  Pump();
  EXPECT_EQ(paints, base + 1);
  EXPECT_EQ(box.Value(), 53);
  box.SetValue(53);
  Pump();
  EXPECT_EQ(paints, base + 1);
  box.SetValue(7, 2);  // another index writes nothing
  EXPECT_EQ(box.Value(), 53);
  box.SetSelected(true);
  Pump();
  EXPECT_EQ(paints, base + 2);
  EXPECT_TRUE(box.Selected());
  EXPECT_FALSE(box.Selected(2));
  box.SetSelected(true);
  Pump();
  EXPECT_EQ(paints, base + 2);
  box.SetSelected(false);
  Pump();
  EXPECT_EQ(paints, base + 3);
  EXPECT_FALSE(box.Selected());
}

TEST(DrawBox, MovesAndResizesRaiseOnSize) {
  TDrawBox box;
  box.resize(40, 30);
  box.show();
  Pump();
  int sizes = 0;
  box.OnSize = [&](TDrawBox&) { ++sizes; };
  box.move(box.x() + 15, box.y() + 7);  // a pure move
  Pump();
  EXPECT_GE(sizes, 1);
  const int afterMove = sizes;
  box.resize(50, 30);
  Pump();
  EXPECT_GT(sizes, afterMove);
}

TEST(DrawBox, BackgroundOnlyWithoutHandlerAndAFailingHandlerIsContained) {
  TDrawBox box;
  QPalette pal = box.palette();
  pal.setColor(QPalette::Window, QColor(10, 200, 30));
  box.setPalette(pal);
  box.resize(20, 20);
  QImage image = box.grab().toImage();
  EXPECT_EQ(image.pixelColor(5, 5), QColor(10, 200, 30));
  EXPECT_EQ(image.pixelColor(19, 19), QColor(10, 200, 30));

  int calls = 0;
  box.OnPaint = [&](TDrawBox& sender) {
    ++calls;
    if (calls == 1) throw std::runtime_error("owner failed");
    sender.Canvas().brush().color = 0x0000FF;  // red
    sender.Canvas().FillRect(platform::Rect{0, 0, 10, 10});
  };
  EXPECT_NO_THROW(box.grab());
  image = box.grab().toImage();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(image.pixelColor(3, 3), QColor(255, 0, 0));
  EXPECT_EQ(image.pixelColor(15, 15), QColor(10, 200, 30));
}

TEST(DrawBox, MouseEventsReachTheOwnerOnce) {
  TDrawBox box;
  box.resize(40, 30);
  box.setFocusPolicy(Qt::StrongFocus);
  box.show();
  Pump();
  int downs = 0, ups = 0, moves = 0, clicks = 0;
  QPoint last;
  Qt::MouseButton lastButton = Qt::NoButton;
  box.OnMouseDown = [&](TDrawBox&, Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y) {
    ++downs;
    lastButton = b;
    last = QPoint(x, y);
  };
  box.OnMouseUp = [&](TDrawBox&, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { ++ups; };
  box.OnMouseMove = [&](TDrawBox&, Qt::KeyboardModifiers, int, int) { ++moves; };
  box.OnClick = [&](TDrawBox&) { ++clicks; };
  SendMouse(box, QEvent::MouseButtonPress, Qt::RightButton, QPoint(12, 9));
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(lastButton, Qt::RightButton);
  EXPECT_EQ(last, QPoint(12, 9));
  SendMouse(box, QEvent::MouseMove, Qt::NoButton, QPoint(13, 9));
  EXPECT_EQ(moves, 1);
  SendMouse(box, QEvent::MouseButtonRelease, Qt::RightButton, QPoint(13, 9));
  EXPECT_EQ(ups, 1);
  EXPECT_EQ(clicks, 0);
  SendMouse(box, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(5, 5));
  SendMouse(box, QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(5, 5));
  EXPECT_EQ(ups, 2);
  EXPECT_EQ(clicks, 1);
}

TEST(DrawBox, AssignCopiesLookAndHandlersButNotState) {
  TDrawBox source, copy;
  source.resize(71, 96);
  source.setProperty("Tag", 12);
  source.setToolTip("hint");
  int painted = 0;
  source.OnPaint = [&](TDrawBox&) { ++painted; };
  source.OnSize = [](TDrawBox&) {};
  source.SetValue(53);
  source.SetSelected(true);
  source.move(30, 40);
  copy.Assign(source);
  EXPECT_EQ(copy.size(), QSize(71, 96));
  EXPECT_EQ(copy.property("Tag").toInt(), 12);
  EXPECT_EQ(copy.toolTip(), "hint");
  EXPECT_EQ(copy.Value(), 0);
  EXPECT_FALSE(copy.Selected());
  EXPECT_FALSE(copy.OnSize);
  EXPECT_NE(copy.pos(), source.pos());
  copy.grab();
  EXPECT_EQ(painted, 1);
}
