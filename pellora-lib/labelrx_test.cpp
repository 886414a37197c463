#include "pellora-lib/labelrx.h"
#include "pellora-lib/test_support.h"
#include "platform/guithread.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <memory>
#include <vector>

using namespace pellora;

namespace {

using testkit::Pump;
using testkit::PumpUntil;
using testkit::SendMouse;

void SendLeave(QWidget& w) {
  QEvent event(QEvent::Leave);
  QApplication::sendEvent(&w, &event);
}

// Three labels of one group in a parent, plus one of another group.
struct Group {
  QWidget parent;
  TLabelRx* a = new TLabelRx(&parent);
  TLabelRx* b = new TLabelRx(&parent);
  TLabelRx* c = new TLabelRx(&parent);
  TLabelRx* other = new TLabelRx(&parent);
  Group() {
    int n = 1;
    for (TLabelRx* l : {a, b, c}) {
      l->SetDownGroup(4);
      l->SetDownVal(n * 10);
      l->SetDownChr(static_cast<char>('a' + n));
      l->SetDownStr("Tab" + std::to_string(n));
      ++n;
    }
    other->SetDownGroup(5);
    other->SetDownVal(20);
  }
};

}  // namespace

TEST(LabelRx, GroupWithADefaultMember) {
  Group g;
  g.b->SetDownDef(true);
  g.b->SetDown(true);
  EXPECT_TRUE(g.b->Down());
  g.a->SetDown(true);
  EXPECT_TRUE(g.a->Down());
  EXPECT_FALSE(g.b->Down());
  EXPECT_FALSE(g.c->Down());
  EXPECT_EQ(g.c->ValInt(), 10);
  // Clicking the down label raises it; the default goes down.
  g.a->Click();
  EXPECT_FALSE(g.a->Down());
  EXPECT_TRUE(g.b->Down());
  // The default label that is down stays down on a click.
  g.b->Click();
  EXPECT_TRUE(g.b->Down());
  g.b->SetDown(false);
  EXPECT_TRUE(g.b->Down());
  // Another group is not touched.
  g.other->SetDown(true);
  EXPECT_TRUE(g.b->Down());
  EXPECT_TRUE(g.other->Down());
  // A disabled default is passed over.
  g.c->SetDown(true);
  g.b->setEnabled(false);
  g.c->Click();
  EXPECT_FALSE(g.c->Down());
  EXPECT_FALSE(g.b->Down());
}

TEST(LabelRx, GroupValues) {
  Group g;
  EXPECT_EQ(g.a->ValInt(), 0);
  EXPECT_EQ(g.a->ValStr(), " ");
  EXPECT_EQ(g.a->ValChr(), ' ');
  g.a->SetValInt(30);
  EXPECT_TRUE(g.c->Down());
  EXPECT_EQ(g.b->ValInt(), 30);
  EXPECT_EQ(g.b->ValChr(), 'd');
  EXPECT_EQ(g.b->ValStr(), "Tab3");
  g.a->SetValInt(99);  // nobody carries it: nothing changes
  EXPECT_TRUE(g.c->Down());
  g.c->SetValStr("tab1");  // exact text only
  EXPECT_TRUE(g.c->Down());
  g.c->SetValStr("Tab1");
  EXPECT_TRUE(g.a->Down());
  EXPECT_FALSE(g.c->Down());
  g.a->SetValChr('c');
  EXPECT_TRUE(g.b->Down());
  EXPECT_EQ(g.other->ValInt(), 0);  // its own group
  g.a->SetInteger(0, 10);
  EXPECT_TRUE(g.a->Down());
  EXPECT_EQ(g.a->ValInt(1), 0);  // other indexes read nothing
}

TEST(LabelRx, PushButtonIsNeverDown) {
  TLabelRx label;
  label.SetDown(true);
  EXPECT_TRUE(label.Down());
  label.SetButton(true);  // turning into a button raises it first
  EXPECT_FALSE(label.Down());
  label.SetDown(true);
  EXPECT_FALSE(label.Down());
  // Also a group's default that is down: raised, and another default of its
  // group takes over.
  Group g;
  g.a->SetDownDef(true);
  g.c->SetDownDef(true);
  g.a->SetDown(true);
  g.a->SetButton(true);
  EXPECT_FALSE(g.a->Down());
  EXPECT_TRUE(g.c->Down());
  g.a->Click();
  EXPECT_FALSE(g.a->Down());
  EXPECT_EQ(g.a->ValInt(), 30);
  int clicks = 0;
  label.OnClick = [&](TLabelRx&) { ++clicks; };
  label.Click();
  EXPECT_FALSE(label.Down());
  EXPECT_EQ(clicks, 1);
  label.resize(30, 20);
  label.show();
  SendMouse(label, QEvent::MouseButtonPress, Qt::LeftButton);
  EXPECT_TRUE(label.Pressed());
  SendMouse(label, QEvent::MouseButtonRelease, Qt::LeftButton);
  EXPECT_FALSE(label.Pressed());
  EXPECT_EQ(clicks, 2);
  EXPECT_FALSE(label.Down());
}

namespace {

struct SpinLog {
  std::vector<int> values;
  bool offGuiThread = false;
  std::vector<qint64> times;
  QElapsedTimer clock;
  SpinLog() { clock.start(); }
  void Attach(TLabelRx& label, int cancelAfter = 0) {
    label.OnMouseSpin = [this, cancelAfter](TLabelRx&, int v, bool& cancel) {
      values.push_back(v);
      times.push_back(clock.elapsed());
      offGuiThread = offGuiThread || !platform::IsGuiThread();
      if (cancelAfter > 0 && static_cast<int>(values.size()) >= cancelAfter) cancel = true;
    };
  }
};

}  // namespace

TEST(LabelRx, AutoRepeatWhileHeld) {
  QWidget parent;
  auto* label = new TLabelRx(&parent);
  label->resize(30, 20);
  parent.show();
  SpinLog log;
  log.Attach(*label);
  const qint64 pressedAt = log.clock.elapsed();
  SendMouse(*label, QEvent::MouseButtonPress, Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return log.values.size() >= 5; }));
  SendMouse(*label, QEvent::MouseButtonRelease, Qt::LeftButton);
  const size_t held = log.values.size();
  // At once, after 200 ms, then every 50 ms at the soonest.
  EXPECT_GE(log.times[1] - pressedAt, 195);  // the first delay counts from the press
  for (size_t i = 2; i < held; ++i) EXPECT_GE(log.times[i] - log.times[i - 1], 45) << i;
  for (int v : log.values) EXPECT_EQ(v, -1);
  EXPECT_FALSE(log.offGuiThread);
  Pump(250);
  EXPECT_EQ(log.values.size(), held);  // released: no more calls

  // The first call does not wait for the first delay.
  SpinLog atOnce;
  atOnce.Attach(*label);
  label->SetSpinFirst(60000);
  SendMouse(*label, QEvent::MouseButtonPress, Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return !atOnce.values.empty(); }));
  Pump(50);
  EXPECT_EQ(atOnce.values.size(), 1u);
  SendMouse(*label, QEvent::MouseButtonRelease, Qt::LeftButton);

  // The right button counts up; leaving the label stops it.
  SpinLog right;
  right.Attach(*label);
  label->SetSpinFirst(20);
  label->SetSpinOthers(20);
  SendMouse(*label, QEvent::MouseButtonPress, Qt::RightButton);
  ASSERT_TRUE(PumpUntil([&] { return right.values.size() >= 3; }));
  SendLeave(*label);
  const size_t beforeLeave = right.values.size();
  Pump(150);
  EXPECT_EQ(right.values.size(), beforeLeave);
  for (int v : right.values) EXPECT_EQ(v, 1);
  EXPECT_TRUE(label->Pressed());  // still held: looks down when it comes back
  SendMouse(*label, QEvent::MouseButtonRelease, Qt::RightButton);
  EXPECT_FALSE(label->Pressed());

  // Cancel from the handler ends the repeat.
  SpinLog cancel;
  cancel.Attach(*label, 3);
  SendMouse(*label, QEvent::MouseButtonPress, Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return cancel.values.size() >= 3; }));
  Pump(150);
  EXPECT_EQ(cancel.values.size(), 3u);
  SendMouse(*label, QEvent::MouseButtonRelease, Qt::LeftButton);
}

TEST(LabelRx, OneRepeatPerLabelAndWindowsClosedWhileHeld) {
  // A second press while the first repeat runs replaces it.
  {
    QWidget parent;
    auto* label = new TLabelRx(&parent);
    label->SetSpinFirst(10);
    label->SetSpinOthers(10);
    SpinLog log;
    log.Attach(*label);
    SendMouse(*label, QEvent::MouseButtonPress, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return log.times.size() >= 3; }));
    const size_t atSecond = log.times.size();
    SendMouse(*label, QEvent::MouseButtonPress, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return log.times.size() >= atSecond + 8; }));
    // Two repeats would call twice per period.
    for (size_t i = atSecond + 2; i < log.times.size(); ++i) EXPECT_GE(log.times[i] - log.times[i - 1], 8) << i;
  }
  // The window goes while the button is held.
  {
    auto parent = std::make_unique<QWidget>();
    auto* label = new TLabelRx(parent.get());
    label->SetSpinFirst(5);
    label->SetSpinOthers(5);
    int calls = 0;
    label->OnMouseSpin = [&](TLabelRx&, int, bool&) { ++calls; };
    SendMouse(*label, QEvent::MouseButtonPress, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return calls >= 2; }));
    parent.reset();
    const int atClose = calls;
    Pump(50);
    EXPECT_EQ(calls, atClose);
  }
  // The handler itself closes the window.
  {
    auto* parent = new QWidget();
    auto* label = new TLabelRx(parent);
    label->SetSpinFirst(5);
    label->SetSpinOthers(5);
    int calls = 0;
    label->OnMouseSpin = [&](TLabelRx&, int, bool&) {
      if (++calls == 3) delete parent;
    };
    SendMouse(*label, QEvent::MouseButtonPress, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return calls >= 3; }));
    Pump(50);
    EXPECT_EQ(calls, 3);
  }
}

namespace {

QImage Render(TLabelRx& label) { return label.grab().toImage(); }

int CountColour(const QImage& image, QColor colour, QRect area = QRect()) {
  if (area.isNull()) area = image.rect();
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) n += image.pixel(x, y) == colour.rgb();
  return n;
}

int DarkPixels(const QImage& image, QRect area) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) n += image.pixelColor(x, y).lightness() < 100;
  return n;
}

}  // namespace

TEST(LabelRx, TurnedTextStartsAtTheBottomLeft) {
  TLabelRx label;
  label.SetColor(platform::clWhite);
  label.SetFontColor(platform::clBlack);
  label.SetCaption("MMMMMMM");
  label.resize(24, 160);
  QImage flat = Render(label);
  EXPECT_GT(DarkPixels(flat, QRect(0, 0, 24, 24)), 0);
  EXPECT_EQ(DarkPixels(flat, QRect(0, 40, 24, 120)), 0);
  label.SetFontAngle(900);
  EXPECT_EQ(label.FontAngle(), 900);
  QImage up = Render(label);
  EXPECT_GT(DarkPixels(up, QRect(0, 130, 24, 30)), 0);  // begins at the bottom
  EXPECT_EQ(DarkPixels(up, QRect(0, 0, 24, 20)), 0);    // the top stays free
  // The letters stand in a column up from the bottom, left-aligned.
  int rows = 0;
  for (int y = 0; y < 160; ++y) rows += DarkPixels(up, QRect(0, y, 24, 1)) > 0;
  EXPECT_GT(rows, 40);
}

TEST(LabelRx, DisabledTextIsEmbossedAndBevelsFollowTheState) {
  TLabelRx label;
  label.SetColor(0x000080);  // dark red background
  label.SetCaption("WWWW");
  label.resize(60, 24);
  const QColor light = label.ResolveColor(clBtnHighlight);
  const QColor dark = label.ResolveColor(clBtnShadow);
  ASSERT_NE(light, dark);
  QImage enabled = Render(label);
  EXPECT_EQ(CountColour(enabled, light), 0);
  label.setEnabled(false);
  QImage disabled = Render(label);
  EXPECT_GT(CountColour(disabled, light), 0);
  EXPECT_GT(CountColour(disabled, dark), 0);

  TLabelRx bevel;
  bevel.SetColor(0x000080);
  bevel.resize(20, 20);
  bevel.SetBevelUp(bvRaised);
  bevel.SetBevelDn(bvLowered);
  // The frame runs on the outermost pixels: light top and left, dark right
  // and bottom when raised; the other way round when lowered.
  QImage raised = Render(bevel);
  EXPECT_EQ(raised.pixel(0, 5), light.rgb());
  EXPECT_EQ(raised.pixel(5, 0), light.rgb());
  EXPECT_EQ(raised.pixel(19, 5), dark.rgb());
  EXPECT_EQ(raised.pixel(5, 19), dark.rgb());
  EXPECT_EQ(raised.pixel(19, 19), dark.rgb());
  EXPECT_EQ(raised.pixel(1, 1), QColor(0x80, 0, 0).rgb());  // inside the frame
  bevel.SetDown(true);
  QImage lowered = Render(bevel);
  EXPECT_EQ(lowered.pixel(0, 5), dark.rgb());
  EXPECT_EQ(lowered.pixel(19, 5), light.rgb());
  bevel.SetDown(false);
  bevel.SetFlat(true);  // flat and not hot: no up bevel
  QImage flat = Render(bevel);
  EXPECT_EQ(flat.pixel(0, 5), QColor(0x80, 0, 0).rgb());
  // The down look's own background.
  bevel.SetDownBack(0x00FF00);
  bevel.SetDown(true);
  EXPECT_EQ(Render(bevel).pixel(8, 8), QColor(0, 255, 0).rgb());
}

TEST(LabelRx, AssignPlacesTheCopyBesideAndKeepsItsState) {
  QWidget parent;
  auto* source = new TLabelRx(&parent);
  auto* copy = new TLabelRx(&parent);
  source->setGeometry(10, 20, 70, 25);
  source->SetBevelUp(bvRaised);
  source->SetFlat(true);
  source->SetFontAngle(2700);
  source->SetDownGroup(3);
  source->SetDownVal(77);
  source->SetDown(true);
  source->SetSpinFirst(300);
  copy->SetDownVal(5);
  copy->Assign(*source);
  EXPECT_EQ(copy->geometry(), QRect(15, 25, 70, 25));
  EXPECT_EQ(copy->BevelUp(), bvRaised);
  EXPECT_TRUE(copy->Flat());
  EXPECT_EQ(copy->FontAngle(), 2700);
  EXPECT_EQ(copy->DownGroup(), 3);
  EXPECT_EQ(copy->SpinFirst(), 300u);
  EXPECT_EQ(copy->DownVal(), 5);
  EXPECT_FALSE(copy->Down());
  // Any other widget gives only its place and size.
  QWidget plain(&parent);
  plain.setGeometry(1, 2, 3, 4);
  copy->Assign(plain);
  EXPECT_EQ(copy->geometry(), QRect(6, 7, 3, 4));
  EXPECT_EQ(copy->BevelUp(), bvRaised);
}
