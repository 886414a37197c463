#include "foundation/controls.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <vector>

#include "foundation/keys.h"

using namespace foundation;

namespace {

// Collects what reaches the panel's handlers and what falls through to its
// parent.
class KeySink : public QWidget {
 public:
  std::vector<int> keys;

 protected:
  void keyPressEvent(QKeyEvent* e) override { keys.push_back(e->key()); }
};

void press(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
  QKeyEvent ev(QEvent::KeyPress, key, mods, text);
  QApplication::sendEvent(w, &ev);
}

}  // namespace

TEST(PanelSx, DialogCodeSumsTheWishes) {
  TPanelSx p;
  EXPECT_EQ(p.DialogCode(), 0);
  p.SetWantArrows(true);
  EXPECT_EQ(p.DialogCode(), 1);
  p.SetWantTabs(true);
  p.SetWantReturn(true);
  EXPECT_EQ(p.DialogCode(), 7);
  p.SetWantArrows(false);
  EXPECT_EQ(p.DialogCode(), 6);
}

TEST(PanelSx, ArrowsTabAndReturnReachThePanelOnlyWhenWanted) {
  KeySink parent;
  auto* panel = new TPanelSx(&parent);
  auto* other = new QWidget(&parent);
  other->setFocusPolicy(Qt::StrongFocus);
  panel->setFocusPolicy(Qt::StrongFocus);
  auto* layout = new QVBoxLayout(&parent);
  layout->addWidget(panel);
  layout->addWidget(other);
  parent.show();
  QApplication::setActiveWindow(&parent);
  std::vector<int> got;
  panel->OnKeyDown = [&](TPanelSx* sender, int& key, Qt::KeyboardModifiers) {
    EXPECT_EQ(sender, panel);
    got.push_back(key);
  };

  const int qtKeys[] = {Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down, Qt::Key_Return, Qt::Key_A, Qt::Key_F5};
  for (int k : qtKeys) press(panel, k);
  // Without wishes only the ordinary keys are the panel's; the others go on
  // to the window.
  EXPECT_EQ(got, (std::vector<int>{'A', VK_F5}));
  EXPECT_EQ(parent.keys, (std::vector<int>{Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down, Qt::Key_Return}));

  got.clear();
  parent.keys.clear();
  panel->SetWantArrows(true);
  for (int k : qtKeys) press(panel, k);
  EXPECT_EQ(got, (std::vector<int>{VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, 'A', VK_F5}));
  EXPECT_EQ(parent.keys, (std::vector<int>{Qt::Key_Return}));

  got.clear();
  parent.keys.clear();
  panel->SetWantReturn(true);
  press(panel, Qt::Key_Return);
  press(panel, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(got, (std::vector<int>{VK_RETURN, VK_RETURN}));
  EXPECT_TRUE(parent.keys.empty());

  // Tab: without the wish it moves the focus and the panel hears nothing.
  got.clear();
  panel->setFocus();
  press(panel, Qt::Key_Tab);
  EXPECT_TRUE(got.empty());
  panel->SetWantTabs(true);
  panel->setFocus();
  press(panel, Qt::Key_Tab);
  press(panel, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(got, (std::vector<int>{VK_TAB, VK_TAB}));
}

TEST(PanelSx, ReturnWithoutTheWishPressesTheDialogsDefaultButton) {
  QDialog dlg;
  auto* panel = new TPanelSx(&dlg);
  auto* ok = new QPushButton("OK", &dlg);
  ok->setDefault(true);
  auto* layout = new QVBoxLayout(&dlg);
  layout->addWidget(panel);
  layout->addWidget(ok);
  int clicks = 0;
  QObject::connect(ok, &QPushButton::clicked, [&] { ++clicks; });
  int panelKeys = 0;
  panel->OnKeyDown = [&](TPanelSx*, int&, Qt::KeyboardModifiers) { ++panelKeys; };
  dlg.show();
  press(panel, Qt::Key_Return);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(panelKeys, 0);
  panel->SetWantReturn(true);
  press(panel, Qt::Key_Return);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(panelKeys, 1);
}

TEST(PanelSx, KeyPressAndKeyUpCarryCharacterAndKeyNumber) {
  TPanelSx p;
  char pressed = 0;
  int up = 0;
  p.OnKeyPress = [&](TPanelSx*, char& c) { pressed = c; };
  p.OnKeyUp = [&](TPanelSx*, int& key, Qt::KeyboardModifiers) { up = key; };
  press(&p, Qt::Key_Q, Qt::NoModifier, "q");
  EXPECT_EQ(pressed, 'q');
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_F8, Qt::NoModifier);
  QApplication::sendEvent(&p, &release);
  EXPECT_EQ(up, VK_F8);
}

namespace {

// Renders the panel onto a marker-filled image without its window background,
// so that only what the panel itself paints changes pixels.
QImage renderPanel(TPanelSx& p) {
  QImage img(p.size(), QImage::Format_ARGB32);
  img.fill(QColor(1, 2, 3));
  p.render(&img, QPoint(), QRegion(), QWidget::RenderFlags());
  return img;
}

int pixelsOf(const QImage& img, QRgb colour) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if ((img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) ++n;
  return n;
}

}  // namespace

TEST(PanelSx, CustomDrawLeavesAllPaintingToTheOwner) {
  TPanelSx p;
  p.resize(40, 30);
  p.SetColor(QColor(200, 10, 10));
  int paints = 0;
  p.OnPaint = [&](TPanelSx* sender) {
    ++paints;
    ASSERT_NE(sender->Canvas(), nullptr);
    sender->Canvas()->fillRect(QRect(0, 0, 5, 5), QColor(0, 0, 250));
  };

  QImage own = renderPanel(p);
  EXPECT_EQ(paints, 1);
  EXPECT_EQ(pixelsOf(own, QColor(1, 2, 3).rgb()), 0);  // the panel covered everything
  EXPECT_GT(pixelsOf(own, QColor(200, 10, 10).rgb()), 0);
  EXPECT_EQ(pixelsOf(own, QColor(0, 0, 250).rgb()), 25);  // the handler drew on top

  p.SetCustomDraw(true);
  QImage custom = renderPanel(p);
  EXPECT_EQ(paints, 2);
  EXPECT_EQ(pixelsOf(custom, QColor(200, 10, 10).rgb()), 0);
  EXPECT_EQ(pixelsOf(custom, QColor(0, 0, 250).rgb()), 25);
  EXPECT_EQ(pixelsOf(custom, QColor(1, 2, 3).rgb()), 40 * 30 - 25);
  EXPECT_EQ(p.Canvas(), nullptr);  // only valid during the paint

  p.SetDesigning(true);
  QImage designing = renderPanel(p);
  EXPECT_GT(pixelsOf(designing, QColor(200, 10, 10).rgb()), 0);
}

TEST(PanelSx, BevelsFrameTheFace) {
  TPanelSx p;
  p.resize(20, 20);
  p.SetColor(QColor(200, 10, 10));
  p.SetBevelOuter(TBevelCut::Raised);
  p.SetBevelWidth(2);
  p.SetBorderWidth(1);
  QImage img = renderPanel(p);
  // Two bevel outlines and one border outline leave a 14 x 14 face; the border
  // ring is in the face colour too.
  EXPECT_EQ(pixelsOf(img, QColor(200, 10, 10).rgb()), 16 * 16);
  EXPECT_NE(img.pixel(0, 0) & 0xFFFFFF, img.pixel(19, 19) & 0xFFFFFF);  // light and shadow
}

TEST(ComboPushRecent, MovesAFoundEntryToTheTopAndTrims) {
  QComboBox c;
  c.setEditable(true);
  c.addItems({"Ann", "Bob", "Cid"});
  c.setEditText("bob");
  ComboPushRecent(&c, 2);
  ASSERT_EQ(c.count(), 2);
  EXPECT_EQ(c.itemText(0), "Bob");
  EXPECT_EQ(c.itemText(1), "Ann");
  EXPECT_EQ(c.currentText(), "bob");
}

TEST(ComboPushRecent, NewEntryGoesFirstAndTheOldestFallsOff) {
  QComboBox c;
  c.setEditable(true);
  for (int i = 0; i < 30; ++i) c.addItem(QString("P%1").arg(i));
  c.setEditText("Newcomer");
  ComboPushRecent(&c, 30);
  ASSERT_EQ(c.count(), 30);
  EXPECT_EQ(c.itemText(0), "Newcomer");
  EXPECT_EQ(c.itemText(1), "P0");
  EXPECT_EQ(c.itemText(29), "P28");
  EXPECT_EQ(c.currentText(), "Newcomer");

  // Already first: nothing moves.
  ComboPushRecent(&c, 30);
  EXPECT_EQ(c.itemText(0), "Newcomer");
  EXPECT_EQ(c.itemText(1), "P0");
}

TEST(ComboPushRecent, BlankTextAndOddLimits) {
  QComboBox c;
  c.setEditable(true);
  c.addItems({"Ann", "Bob"});
  c.setEditText("  \t ");
  ComboPushRecent(&c, 5);
  EXPECT_EQ(c.count(), 2);

  // Case folding is Latin-1: "élan" finds "ÉLAN".
  c.addItem(QString::fromUtf8("ÉLAN"));
  c.setEditText(QString::fromUtf8("élan"));
  ComboPushRecent(&c, 5);
  EXPECT_EQ(c.itemText(0), QString::fromUtf8("ÉLAN"));
  EXPECT_EQ(c.count(), 3);

  c.setEditText("Zed");
  ComboPushRecent(&c, -4);  // a negative limit keeps nothing, like 0
  EXPECT_EQ(c.count(), 0);
  EXPECT_EQ(c.currentText(), "Zed");

  ComboPushRecent(nullptr, 3);  // no combo: nothing to do
}

TEST(ComboPushRecent, NamesBeyondWindows1252StayApart) {
  // Characters the 8-bit code page cannot hold must not make different names
  // look the same.
  QComboBox c;
  c.setEditable(true);
  c.addItems({QString::fromUtf8("Ада"), QString::fromUtf8("Бен")});
  c.setEditText(QString::fromUtf8("Вик"));
  ComboPushRecent(&c, 5);
  ASSERT_EQ(c.count(), 3);
  EXPECT_EQ(c.itemText(0), QString::fromUtf8("Вик"));
  EXPECT_EQ(c.itemText(1), QString::fromUtf8("Ада"));
  c.setEditText(QString::fromUtf8("Бен"));
  ComboPushRecent(&c, 5);
  EXPECT_EQ(c.itemText(0), QString::fromUtf8("Бен"));
  EXPECT_EQ(c.count(), 3);
}

TEST(ComboPushRecent, ChangesRaiseNoSelectionSignals) {
  QComboBox c;
  c.setEditable(true);
  c.addItems({"Ann", "Bob"});
  int changes = 0;
  QObject::connect(&c, &QComboBox::currentIndexChanged, [&] { ++changes; });
  c.setEditText("Bob");
  ComboPushRecent(&c, 5);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(c.itemText(0), "Bob");
}

TEST(EditToInt, DecimalTextOrZero) {
  QLineEdit e;
  const std::pair<const char*, int> cases[] = {
      {"-17", -17}, {"", 0}, {"abc", 0}, {"12 ", 0}, {" 12", 0}, {"+5", 5}, {"-", 0}, {"0", 0},
      {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}, {"2147483648", 0},
      {"99999999999999999999", 0}, {"1e3", 0}, {"12abc", 0},
  };
  for (const auto& [text, want] : cases) {
    e.setText(text);
    EXPECT_EQ(EditToInt(&e), want) << "'" << text << "'";
  }
  EXPECT_EQ(EditToInt(nullptr), 0);
}

TEST(Keys, QtKeysBecomeWindowsNumbers) {
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Return), 13);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Enter, Qt::KeypadModifier), 13);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Space), 32);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Left), 37);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Up), 38);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Right), 39);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Down), 40);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_F2), 113);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_F3), 114);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_F5), 116);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_F8), 119);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Escape), 27);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_A), 'A');
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Z), 'Z');
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_7), '7');
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_7, Qt::KeypadModifier), 103);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Plus, Qt::KeypadModifier), 107);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Plus), 187);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Exclam), '1');
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Backtab, Qt::ShiftModifier), 9);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Delete), 46);
  EXPECT_EQ(VirtualKeyFromQt(Qt::Key_unknown), 0);
}
