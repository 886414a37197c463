#include "foundation/placement.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>
#include <string>

#include "foundation/ini.h"
#include "foundation/sysinit.h"

using namespace foundation;

namespace {

class Placement : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    SetAppLocation(dir_.path().toStdString(), "PlaceTest");
    SetPlacementDesktopOverride(QSize(1024, 768));
  }
  void TearDown() override {
    SetPlacementDesktopOverride(QSize());
    ResetSysGlobals();
  }

  void writeIni(const std::string& text) {
    std::ofstream f(AppIniFile, std::ios::binary);
    f << text;
  }
  std::string readIni() const {
    std::ifstream f(AppIniFile, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }

  QTemporaryDir dir_;
};

std::string section(const std::string& name, int l, int t, int r, int b, int show = 0) {
  return "[" + name + "]\r\nLeft=" + std::to_string(l) + "\r\nTop=" + std::to_string(t) + "\r\nRight=" +
         std::to_string(r) + "\r\nBottom=" + std::to_string(b) + "\r\nMinX=-1\r\nMinY=-1\r\nMaxX=-1\r\nMaxY=-1\r\nShow=" +
         std::to_string(show) + "\r\n";
}

// Names the window after its section and places its frame at (x, y) with a
// client area of width x height.
void place(QWidget& w, const char* name, int x, int y, int width, int height) {
  w.setObjectName(name);
  w.move(x, y);
  w.resize(width, height);
}

}  // namespace

TEST_F(Placement, ClampsTheRectangleTenPixelsInsideTheDesktop) {
  struct Case {
    int l, t, r, b;      // stored
    int el, et, er, eb;  // restored
  };
  const Case cases[] = {
      {5, 50, 305, 250, 10, 50, 310, 250},        // left edge off: moves right, width kept
      {900, 50, 1300, 250, 614, 50, 1014, 250},   // sticks out right: moves left
      {100, 700, 400, 900, 100, 558, 400, 758},   // sticks out at the bottom
      {-3000, -20, -2700, 80, 10, 10, 310, 110},  // far off to the top left
      {200, 100, 1700, 300, 10, 100, 1510, 300},  // wider than the desktop: title bar stays on screen
      {50, 100, 250, 1100, 50, 10, 250, 1010},    // taller than the desktop
  };
  for (const Case& c : cases) {
    writeIni("[Other]\r\nx=1\r\n" + section("Grv010", c.l, c.t, c.r, c.b));
    QWidget w;
    w.setObjectName("Grv010");
    RestoreFormPlacement(&w);
    EXPECT_EQ(w.pos(), QPoint(c.el, c.et)) << c.l << "," << c.t;
    EXPECT_EQ(w.size(), QSize(c.er - c.el, c.eb - c.et)) << c.l << "," << c.t;
  }
}

TEST_F(Placement, FixedSizeWindowKeepsItsSize) {
  writeIni(section("Grv018", 100, 100, 900, 700));
  QWidget w;
  w.setObjectName("Grv018");
  w.setFixedSize(320, 240);
  RestoreFormPlacement(&w);
  EXPECT_EQ(w.pos(), QPoint(100, 100));
  EXPECT_EQ(w.size(), QSize(320, 240));
}

TEST_F(Placement, MissingOrDamagedValuesKeepTheCurrentOnes) {
  writeIni("[Grv016]\r\nLeft=abc\r\nTop=40\r\nRight=\r\nBottom=20\r\nShow=9\r\n");
  QWidget w;
  place(w, "Grv016", 30, 60, 200, 150);
  RestoreFormPlacement(&w);
  EXPECT_EQ(w.pos(), QPoint(30, 40));
  // Bottom above Top: the height stays; Right empty: the width stays.
  EXPECT_EQ(w.size(), QSize(200, 150));
  EXPECT_EQ(w.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized), Qt::WindowStates());

  // No section at all: the window stays where it is (inside the desktop).
  writeIni("");
  QWidget v;
  place(v, "Nowhere", 50, 60, 100, 80);
  RestoreFormPlacement(&v);
  EXPECT_EQ(v.pos(), QPoint(50, 60));
  EXPECT_EQ(v.size(), QSize(100, 80));
}

TEST_F(Placement, StoredStateIsApplied) {
  writeIni(section("Grv010", 100, 100, 500, 400, 2));
  QWidget w;
  w.setObjectName("Grv010");
  RestoreFormPlacement(&w);
  EXPECT_TRUE(w.windowState() & Qt::WindowMaximized);
  writeIni(section("Grv010", 100, 100, 500, 400, 1));
  RestoreFormPlacement(&w);
  EXPECT_TRUE(w.windowState() & Qt::WindowMinimized);
  EXPECT_FALSE(w.windowState() & Qt::WindowMaximized);
}

TEST_F(Placement, SaveRewritesTheSectionAsHeaderAndNineKeys) {
  writeIni("[Before]\r\na=1\r\n[Grv010]\r\nStale=5\r\nLeft=1\r\n; note\r\n[After]\r\nb=2\r\n");
  QWidget w;
  place(w, "Grv010", 120, 130, 400, 300);
  SaveFormPlacement(&w, true, 0);
  EXPECT_EQ(readIni(), "[Before]\r\na=1\r\n" + section("Grv010", 120, 130, 520, 430) + "[After]\r\nb=2\r\n");
}

TEST_F(Placement, SaveKeepingTheSectionAndWithoutWritingTheFile) {
  writeIni("[Grv010]\r\nStale=5\r\nLeft=1\r\n");
  QWidget w;
  place(w, "Grv010", 20, 30, 100, 100);
  SaveFormPlacement(&w, true, sfpKeepSection);
  EXPECT_EQ(readIni(),
            "[Grv010]\r\nStale=5\r\nLeft=20\r\nTop=30\r\nRight=120\r\nBottom=130\r\nMinX=-1\r\nMinY=-1\r\n"
            "MaxX=-1\r\nMaxY=-1\r\nShow=0\r\n");

  // save = false changes only the lines in memory.
  w.move(40, 50);
  SaveFormPlacement(&w, false, 0);
  EXPECT_EQ(readIni().substr(0, 25), "[Grv010]\r\nStale=5\r\nLeft=2");
  ASSERT_NE(AppIni, nullptr);
  EXPECT_EQ(IniReadValue(AppIni, "Grv010", "Left", Variant(0)).AsInt(), 40);
  EXPECT_EQ(IniReadValue(AppIni, "Grv010", "Stale", Variant(0)).AsInt(), 0);
}

TEST_F(Placement, NewSectionIsAppendedWithItsHeader) {
  writeIni("[Other]\r\nx=1\r\n");
  QWidget w;
  place(w, "Sol043", 15, 25, 200, 100);
  SaveFormPlacement(&w, true, 0);
  EXPECT_EQ(readIni(), "[Other]\r\nx=1\r\n" + section("Sol043", 15, 25, 215, 125));
}

TEST_F(Placement, SaveRestoreSaveRoundTripIsExact) {
  writeIni("");
  std::string first;
  {
    QWidget w;
    place(w, "Grv010", 140, 90, 333, 222);
    w.show();
    QApplication::processEvents();
    SaveFormPlacement(&w, true, 0);
    first = readIni();
  }
  for (int round = 0; round < 3; ++round) {
    QWidget w;
    w.setObjectName("Grv010");
    RestoreFormPlacement(&w);
    w.show();
    QApplication::processEvents();
    SaveFormPlacement(&w, true, 0);
    EXPECT_EQ(readIni(), first) << "round " << round;
  }
}

TEST_F(Placement, UnsavedChangesAreDroppedByTheReload) {
  writeIni("[A]\r\nk=1\r\n");
  LoadAppIni();
  IniWriteValue(AppIni, "A", "k", Variant(2));
  RestoreFormPlacement(nullptr);
  EXPECT_EQ(IniReadValue(AppIni, "A", "k", Variant(0)).AsInt(), 1);
}

namespace {

class SettingsWindow : public TFormSx {
 public:
  explicit SettingsWindow(int* destroyed) : TFormSx("Grv018"), destroyed_(destroyed) {}
  ~SettingsWindow() override { FinishForm(); }

 protected:
  void FormDestroy() override {
    // The placement is already stored; the window's own keys go after it.
    EXPECT_EQ(IniReadValue(AppIni, "Grv018", "Left", Variant(-1)).AsInt(), pos().x());
    IniWriteValue(AppIni, "Grv018", "Setting", Variant(7));
    SaveAppIni();
    ++*destroyed_;
  }

 private:
  int* destroyed_;
};

}  // namespace

TEST_F(Placement, WindowBaseRestoresOnShowAndStoresBeforeItsOwnSettings) {
  writeIni(section("Grv018", 5, 60, 305, 260));
  int destroyed = 0;
  {
    SettingsWindow w(&destroyed);
    EXPECT_EQ(w.objectName(), "Grv018");
    w.show();
    EXPECT_EQ(w.pos(), QPoint(10, 60));
    EXPECT_EQ(w.size(), QSize(300, 200));
    w.move(70, 80);
  }
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(readIni(), section("Grv018", 70, 80, 370, 280) + "Setting=7\r\n");

  // Closed with delete-on-close: the same order, once.
  auto* w = new SettingsWindow(&destroyed);
  w->setAttribute(Qt::WA_DeleteOnClose);
  w->show();
  w->move(90, 95);
  w->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(readIni(), section("Grv018", 90, 95, 390, 295) + "Setting=7\r\n");
}

TEST_F(Placement, WindowBaseWithoutOverrideStillStoresOnDestruction) {
  writeIni("");
  {
    TFormSx w("Grv000");
    w.resize(200, 100);
    w.show();
    w.move(30, 40);
  }
  EXPECT_EQ(readIni(), section("Grv000", 30, 40, 230, 140));
}

TEST_F(Placement, WindowNeverShownKeepsItsStoredPlacement) {
  writeIni(section("Grv016", 100, 120, 400, 320, 2));
  { TFormSx w("Grv016"); }
  EXPECT_EQ(readIni(), section("Grv016", 100, 120, 400, 320, 2));
}

TEST_F(Placement, MaximizedOrMinimizedWindowKeepsItsNormalRectangle) {
  // Restored into a state before it was first shown, a window stores the
  // normal rectangle it was given, however often it is opened and closed.
  for (int show : {2, 1}) {
    const std::string stored = section("Grv010", 100, 120, 500, 420, show);
    writeIni(stored);
    for (int round = 0; round < 3; ++round) {
      {
        TFormSx w("Grv010");
        w.show();
        QApplication::processEvents();
      }
      EXPECT_EQ(readIni(), stored) << "show " << show << ", round " << round;
    }
  }

  // Maximized by the user after it was shown: its normal rectangle is where
  // it stood, frame included.
  writeIni("");
  QWidget w;
  place(w, "Grv011", 100, 100, 400, 300);
  w.show();
  QApplication::processEvents();
  w.setWindowState(Qt::WindowMaximized);
  QApplication::processEvents();
  SaveFormPlacement(&w, true, 0);
  EXPECT_EQ(readIni(), section("Grv011", 100, 100, 500, 400, 2));

  // A window restored maximized, then moved while normal and maximized
  // again, stores where the user left it.
  writeIni(section("Grv012", 100, 100, 500, 400, 2));
  QWidget v;
  v.setObjectName("Grv012");
  RestoreFormPlacement(&v);
  v.show();
  QApplication::processEvents();
  v.setWindowState(Qt::WindowNoState);
  QApplication::processEvents();
  v.move(200, 150);
  QApplication::processEvents();
  v.setWindowState(Qt::WindowMaximized);
  QApplication::processEvents();
  SaveFormPlacement(&v, true, 0);
  EXPECT_EQ(readIni(), section("Grv012", 200, 150, 600, 450, 2));
}
