// The main window driven as a player would: keys and mouse on the game panel,
// the timer, the buttons, and what lands in the application ini.
#include "gravlo/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <QSet>
#include <memory>

#include "foundation/controls.h"
#include "foundation/duration.h"
#include "foundation/ini.h"
#include "foundation/placement.h"
#include "foundation/random.h"
#include "foundation/sysinit.h"
#include "gravlo/about_window.h"
#include "gravlo/logo.h"
#include "gravlo/test_support.h"
#include "platform/jpeg.h"
#include "platform/text.h"

namespace gravlo {
namespace {

using foundation::AppIni;
using foundation::IniReadValue;
using foundation::Variant;

class MainWindowTest : public testsupport::AppFolderTest {
 protected:
  TGrv010& Open() {
    OpenMain().resize(440, 640);
    TGravlo& g = main_->Engine();
    g.TickCount = [this] { return tick_; };
    g.LocalNow = [] { return 45356.5; };  // 2024-03-05 12:00:00
    foundation::SetRandSeed(20240305);
    return *main_;
  }
  TGravlo& Engine() { return main_->Engine(); }

  // A key pressed on the game panel; true when the window took it.
  bool Key(int qtKey) {
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier);
    QApplication::sendEvent(main_->GamePanel(), &press);
    return press.isAccepted();
  }
  void Mouse(Qt::MouseButton button, QEvent::Type type = QEvent::MouseButtonPress) {
    const QPointF at(20, 20);
    QMouseEvent press(type, at, main_->GamePanel()->mapToGlobal(at), button, button, Qt::NoModifier);
    QApplication::sendEvent(main_->GamePanel(), &press);
  }
  // A turn of the wheel over the game panel (or over the window when given);
  // sideways is a tilt of the wheel.
  void Wheel(int delta, bool sideways = false, QWidget* over = nullptr) {
    const QPointF at(20, 20);
    QWidget* target = over != nullptr ? over : main_->GamePanel();
    const QPoint angle = sideways ? QPoint(delta, 0) : QPoint(0, delta);
    QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), angle, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
  }
  QString Text(const char* name) { return main_->findChild<QLabel*>(name)->text(); }

  // Starts a game with F2 and lets the first piece enter.
  void StartAndSpawn() {
    Key(Qt::Key_F2);
    main_->Timer1Timer();
    ASSERT_EQ(Engine().State, StateFalling);
  }
  // Lets the timer run until the game is over.
  void PlayToEnd() {
    for (int i = 0; i < 100000 && Engine().State != StateGameOver; ++i) {
      tick_ += 10;
      main_->Timer1Timer();
    }
    ASSERT_EQ(Engine().State, StateGameOver);
  }

  uint32_t tick_ = 1000;
};

TEST_F(MainWindowTest, AGameLeftAloneIsFiledUnderItsVariant) {
  Open();
  main_->PlayerCombo()->setEditText("Tess");
  StartAndSpawn();
  EXPECT_TRUE(main_->Timer1()->isActive());
  EXPECT_EQ(Text("lHdr"), "   G R A V L O - playing");
  const std::string av = Engine().VariantKey("AV");
  const std::string ws = Engine().VariantKey("WS");
  PlayToEnd();
  EXPECT_FALSE(main_->Timer1()->isActive());
  EXPECT_EQ(Text("lHdr"), "   GAME OVER");
  EXPECT_EQ(main_->GamesStarted, 1);
  EXPECT_EQ(main_->GamesFinished, 1);

  const foundation::StringList ini = IniOnDisk();
  EXPECT_EQ(IniReadValue(&ini, av, "GamesStarted", Variant(0)).AsInt(), 1);
  EXPECT_EQ(IniReadValue(&ini, av, "GamesFinished", Variant(0)).AsInt(), 1);
  // One game: every average is that game's value.
  EXPECT_DOUBLE_EQ(IniReadValue(&ini, av, "Drops", Variant(-1.0), 5).AsDouble(), Engine().Drops);
  EXPECT_DOUBLE_EQ(IniReadValue(&ini, av, "TimeUsed", Variant(-1.0), 5).AsDouble(), Engine().TimeUsed);
  EXPECT_DOUBLE_EQ(IniReadValue(&ini, av, "Interval", Variant(-1.0), 5).AsDouble(), Engine().Interval);
  EXPECT_DOUBLE_EQ(IniReadValue(&ini, av, "Lines", Variant(-1.0), 5).AsDouble(), 0.0);
  EXPECT_DOUBLE_EQ(IniReadValue(&ini, av, "Bonuses", Variant(-1.0), 5).AsDouble(), 1.0);
  EXPECT_GT(Engine().Drops, 5);
  EXPECT_GT(Engine().TimeUsed, 0);

  // The result section is the last one, with the one result line.
  ASSERT_GE(ini.Count(), 2);
  EXPECT_EQ(ini[ini.Count() - 2], "[" + ws + "]");
  EXPECT_EQ(ini[ini.Count() - 1], Engine().ResultLine("Tess"));
  EXPECT_NE(ini[ini.Count() - 1].find("=Tess "), std::string::npos);

  // A second game counts on.
  Key(Qt::Key_F2);
  PlayToEnd();
  const foundation::StringList again = IniOnDisk();
  EXPECT_EQ(IniReadValue(&again, av, "GamesStarted", Variant(0)).AsInt(), 2);
  EXPECT_EQ(IniReadValue(&again, av, "GamesFinished", Variant(0)).AsInt(), 2);
  foundation::StringList results;
  EXPECT_EQ(foundation::IniReadSection(&again, ws, &results), 2);
}

TEST_F(MainWindowTest, TheClockShowsTheWholeGameAtGameOver) {
  Open();
  StartAndSpawn();
  // Played by keys alone: no timer tick updates the clock meanwhile.
  for (int i = 0; i < 10000 && Engine().State != StateGameOver; ++i) {
    tick_ += 250;
    Key(Qt::Key_Space);
  }
  ASSERT_EQ(Engine().State, StateGameOver);
  ASSERT_GT(Engine().TimeUsed, 10000);
  EXPECT_EQ(Text("lcTme").toStdString(), foundation::DurationToStr(0, 1, '.', Engine().TimeUsed, '.') + " ");
}

TEST_F(MainWindowTest, SettingsChangedDuringAGameDoNotMoveItToAnotherVariant) {
  Open();
  StartAndSpawn();
  const std::string av = Engine().VariantKey("AV");
  const std::string ws = Engine().VariantKey("WS");
  EXPECT_EQ(main_->GameAvSection(), av);
  Engine().DropAdd = -9;
  Engine().CostOfRow = 3;
  ASSERT_NE(Engine().VariantKey("AV"), av);
  PlayToEnd();
  const foundation::StringList ini = IniOnDisk();
  EXPECT_EQ(IniReadValue(&ini, av, "GamesFinished", Variant(0)).AsInt(), 1);
  EXPECT_EQ(IniReadValue(&ini, av, "GamesStarted", Variant(0)).AsInt(), 1);
  int first = 0, end = 0, sep = 0;
  EXPECT_EQ(foundation::IniFindKey(&ini, Engine().VariantKey("AV"), "", 0, first, end, sep), -2);
  EXPECT_EQ(foundation::IniFindKey(&ini, Engine().VariantKey("WS"), "", 0, first, end, sep), -2);
  EXPECT_EQ(ini[ini.Count() - 2], "[" + ws + "]");
}

TEST_F(MainWindowTest, AFailedReloadAtGameOverKeepsTheLinesHeld) {
  WriteIni("[Keep]\r\nMe=1\r\n");
  Open();
  StartAndSpawn();
  const std::string ws = Engine().VariantKey("WS");
  main_->LoadIni = [] {
    AppIni->Clear();
    throw foundation::IniFileError("Cannot open file");
  };
  PlayToEnd();
  const foundation::StringList ini = IniOnDisk();
  EXPECT_EQ(IniReadValue(&ini, "Keep", "Me", Variant(0)).AsInt(), 1);
  EXPECT_EQ(IniReadValue(&ini, Engine().VariantKey("AV"), "GamesStarted", Variant(0)).AsInt(), 1);
  EXPECT_EQ(IniReadValue(&ini, Engine().VariantKey("AV"), "GamesFinished", Variant(0)).AsInt(), 1);
  EXPECT_EQ(ini[ini.Count() - 2], "[" + ws + "]");
}

TEST_F(MainWindowTest, DamagedStatisticsCountAsZero) {
  Open();
  const std::string av = Engine().VariantKey("AV");
  WriteIni("[" + av + "]\r\nGamesStarted=lots\r\nGamesFinished=x\r\nLines=abc\r\nDrops=2147483647x\r\n");
  StartAndSpawn();
  PlayToEnd();
  const foundation::StringList ini = IniOnDisk();
  EXPECT_EQ(IniReadValue(&ini, av, "GamesStarted", Variant(0)).AsInt(), 1);
  EXPECT_EQ(IniReadValue(&ini, av, "GamesFinished", Variant(0)).AsInt(), 1);
  EXPECT_DOUBLE_EQ(IniReadValue(&ini, av, "Drops", Variant(-1.0), 5).AsDouble(), Engine().Drops);
  EXPECT_EQ(ini[ini.Count() - 1], Engine().ResultLine("Anonymous"));
}

TEST_F(MainWindowTest, ResultListKeepsOneMoreThanStatEntriesAndNegativeActsAsZero) {
  Open();
  main_->StatEntries = 2;
  for (int i = 0; i < 4; ++i) {
    tick_ += 1000;
    Key(Qt::Key_F2);
    PlayToEnd();
  }
  foundation::StringList results;
  foundation::StringList ini = IniOnDisk();
  EXPECT_EQ(foundation::IniReadSection(&ini, Engine().VariantKey("WS"), &results), 3);
  main_->StatEntries = -5;
  Key(Qt::Key_F2);
  PlayToEnd();
  ini = IniOnDisk();
  EXPECT_EQ(foundation::IniReadSection(&ini, Engine().VariantKey("WS"), &results), 1);
}

TEST_F(MainWindowTest, GameKeysActOnlyWhileAPieceIsInPlayAndNotPaused) {
  Open();
  // Before the first game: nothing moves, the keys are not taken.
  const int x0 = Engine().PieceX;
  Key(Qt::Key_Left);
  EXPECT_EQ(Engine().PieceX, x0);
  Key(Qt::Key_Space);
  Key(Qt::Key_F5);
  EXPECT_EQ(Engine().State, StateIdle);
  Key(Qt::Key_F3);  // no game: no pause
  EXPECT_FALSE(main_->Paused);

  StartAndSpawn();
  const int x = Engine().PieceX;
  Key(Qt::Key_Left);
  EXPECT_EQ(Engine().PieceX, x - 1);
  Key(Qt::Key_Right);
  Key(Qt::Key_Right);
  EXPECT_EQ(Engine().PieceX, x + 1);
  const int y = Engine().PieceY;
  Key(Qt::Key_Down);
  Key(Qt::Key_Space);
  EXPECT_EQ(Engine().PieceY, y + 2);

  // Paused: arrows and F5 do nothing, F3 goes on.
  Key(Qt::Key_F3);
  EXPECT_TRUE(main_->Paused);
  EXPECT_EQ(Text("lHdr"), "   G R A V L O - paused");
  Key(Qt::Key_Left);
  Key(Qt::Key_Down);
  EXPECT_EQ(Engine().PieceX, x + 1);
  EXPECT_EQ(Engine().PieceY, y + 2);
  Key(Qt::Key_F3);
  EXPECT_FALSE(main_->Paused);
  EXPECT_EQ(Text("lHdr"), "   G R A V L O - playing");

  // After game over: no moves, F2 starts afresh.
  PlayToEnd();
  const int xEnd = Engine().PieceX;
  Key(Qt::Key_Left);
  Key(Qt::Key_Up);
  EXPECT_EQ(Engine().PieceX, xEnd);
  Key(Qt::Key_F3);
  EXPECT_FALSE(main_->Paused);
  EXPECT_EQ(Engine().State, StateGameOver);
  Key(Qt::Key_F2);
  EXPECT_EQ(Engine().State, StateNewGame);
}

TEST_F(MainWindowTest, PauseStopsTheFallButNotTheClock) {
  Open();
  StartAndSpawn();
  main_->Timer1Timer();
  const int y = Engine().PieceY;
  Key(Qt::Key_F3);
  tick_ += 5000;
  main_->Timer1Timer();
  EXPECT_EQ(Engine().PieceY, y);
  const QString shown = Text("lcTme");
  EXPECT_FALSE(shown.isEmpty());
  tick_ += 3000;
  main_->Timer1Timer();
  EXPECT_NE(Text("lcTme"), shown);
  EXPECT_TRUE(Text("lcTme").endsWith(' '));
  EXPECT_EQ(Engine().PieceY, y);
  EXPECT_TRUE(main_->Timer1()->isActive());  // the timer keeps running
  Key(Qt::Key_F3);
  main_->Timer1Timer();
  EXPECT_EQ(Engine().PieceY, y + 1);
}

TEST_F(MainWindowTest, BonusButtonsActWhilePausedButTheKeysDoNot) {
  Open();
  StartAndSpawn();
  for (int i = 0; i < 5; ++i) Engine().Tick();  // not a lock yet: the piece only falls
  Engine().Interval = 700;
  Key(Qt::Key_F3);
  ASSERT_TRUE(main_->Paused);
  Key(Qt::Key_F5);
  EXPECT_EQ(Engine().Interval, 700);
  EXPECT_EQ(Engine().TimerResets, 0);
  main_->findChild<QToolButton*>("bcRes")->click();
  EXPECT_EQ(Engine().Interval, Engine().TimerNew);
  EXPECT_EQ(Engine().TimerResets, 1);
  EXPECT_EQ(Text("lsTmr"), "1");
  EXPECT_EQ(Text("lcBns"), "0/1 ");

  // Unpaused, F7 adds a row once there are bonuses for it.
  Key(Qt::Key_F3);
  Engine().BonusesLeft = 10;
  const int rows = Engine().RowCount();
  Key(Qt::Key_F7);
  EXPECT_EQ(Engine().RowCount(), rows + 1);
  EXPECT_EQ(Text("lsAdd"), "1");
  EXPECT_EQ(Text("lcTop"), QString("%1/%2 ").arg(Engine().TopRow).arg(rows + 1));
  main_->findChild<QToolButton*>("SpeedButton1")->click();
  EXPECT_EQ(Engine().LinesRemoved, 1);
  EXPECT_EQ(Text("lsRem"), "1");
  Key(Qt::Key_F6);
  EXPECT_EQ(Engine().LinesRemoved, 2);
  main_->findChild<QToolButton*>("bsLin")->click();
  EXPECT_EQ(Engine().LinesAdded, 2);
  // F8 is an action without effect: nothing is paid, nothing changes.
  const int left = Engine().BonusesLeft;
  const int interval = Engine().Interval;
  Key(Qt::Key_F8);
  EXPECT_EQ(Engine().BonusesLeft, left);
  EXPECT_EQ(Engine().Interval, interval);
  EXPECT_EQ(Engine().State, StateFalling);
}

TEST_F(MainWindowTest, ButtonsRunTheirCommands) {
  Open();
  main_->findChild<QPushButton*>("Button2")->click();
  EXPECT_EQ(Engine().State, StateNewGame);
  EXPECT_TRUE(main_->Timer1()->isActive());
  main_->Timer1Timer();
  main_->findChild<QPushButton*>("Button1")->click();
  EXPECT_TRUE(main_->Paused);
  main_->findChild<QPushButton*>("Button1")->click();
  EXPECT_FALSE(main_->Paused);
  main_->findChild<QPushButton*>("Button4")->click();
  EXPECT_NE(QApplication::topLevelWidgets().size(), 0);
  ASSERT_NE(main_->findChild<QPushButton*>("Button3"), nullptr);
  main_->findChild<QPushButton*>("Button3")->click();
  main_->findChild<QPushButton*>("Button5")->click();
  int secondary = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == "Grv016" || w->objectName() == "Grv018" || w->objectName() == "Grv000") {
      EXPECT_TRUE(w->isVisible());
      ++secondary;
    }
  }
  EXPECT_EQ(secondary, 3);
  main_->Command(4711);  // nothing
}

TEST_F(MainWindowTest, MouseButtonsAndWheelMoveThePiece) {
  Open();
  Mouse(Qt::LeftButton);  // no game yet
  EXPECT_EQ(Engine().State, StateIdle);
  Engine().SpriteSet = 1;  // the bar only: every turn changes its mask
  StartAndSpawn();
  main_->GamePanel()->setFocus();
  const int x = Engine().PieceX;
  Mouse(Qt::LeftButton);
  EXPECT_EQ(Engine().PieceX, x - 1);
  Mouse(Qt::RightButton);
  Mouse(Qt::RightButton);
  EXPECT_EQ(Engine().PieceX, x + 1);
  // A quick second click is a double click to the system; it moves too.
  Mouse(Qt::RightButton, QEvent::MouseButtonDblClick);
  EXPECT_EQ(Engine().PieceX, x + 2);
  Mouse(Qt::LeftButton);
  Mouse(Qt::LeftButton, QEvent::MouseButtonDblClick);
  EXPECT_EQ(Engine().PieceX, x);
  Mouse(Qt::RightButton);
  EXPECT_EQ(Engine().PieceX, x + 1);
  const Mask before = Engine().Piece;
  Mouse(Qt::MiddleButton);
  EXPECT_NE(Engine().Piece, before);

  const Mask turned = Engine().Piece;
  const int y = Engine().PieceY;
  Wheel(-120);  // backward: turn
  EXPECT_NE(Engine().Piece, turned);
  EXPECT_EQ(Engine().PieceY, y);
  EXPECT_EQ(Text("lInfo"), "-120");
  Wheel(120);  // forward: one step down
  EXPECT_EQ(Engine().PieceY, y + 1);
  EXPECT_EQ(Text("lInfo"), "120");
  // A sideways turn is no forward turn, over the panel or elsewhere.
  const Mask now = Engine().Piece;
  Wheel(120, true);
  Wheel(-120, true, main_.get());
  EXPECT_EQ(Engine().PieceY, y + 1);
  EXPECT_EQ(Engine().Piece, now);
  EXPECT_EQ(Text("lInfo"), "120");
  // Over the window outside the panel the wheel plays as well.
  Wheel(120, false, main_.get());
  EXPECT_EQ(Engine().PieceY, y + 2);
  // The wheel handler runs no other event inside itself: one waiting in the
  // queue (a timer tick, say) comes after it.
  struct Counter : QObject {
    int seen = 0;
    bool event(QEvent* e) override {
      if (e->type() == QEvent::User) ++seen;
      return QObject::event(e);
    }
  } counter;
  QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
  Wheel(-120);
  EXPECT_EQ(counter.seen, 0);
  QCoreApplication::sendPostedEvents(&counter);
  EXPECT_EQ(counter.seen, 1);
  Wheel(-120);  // the piece back as it was
  Wheel(-120);
  Wheel(-120);

  Key(Qt::Key_F3);
  Wheel(120);
  Mouse(Qt::LeftButton);
  EXPECT_EQ(Engine().PieceY, y + 2);
  EXPECT_EQ(Engine().PieceX, x + 1);
}

TEST_F(MainWindowTest, SettingsAreReadAtCreationAndWrittenAtDestruction) {
  WriteIni(
      "[Grv010]\r\npGrv.GameCols=12\r\npGrv.GameRows=abc\r\npGrv.TimerNew=800\r\npGrv.DropAdd=-3\r\n"
      "pGrv.LineAdd=20\r\npGrv.LineAddEx=6\r\npGrv.BonusMode=65535\r\npGrv.BonusGain=2\r\npGrv.BonusZero=4\r\n"
      "pGrv.BonusNew=3\r\npGrv.CostOfTmr=4\r\npGrv.CostOfRem=5\r\npGrv.CostOfRow=6\r\n"
      "pGrv.SpriteSet=4294967295\r\ncPlr.Text=Bob\r\ncPlr#0=Bob\r\ncPlr#1=Ann\r\nGamesStarted=7\r\n"
      "GamesFinished=6\r\nStatEntries=50\r\nPlayers=2147483647\r\n[Other]\r\nA=1\r\n");
  Open();
  const TGravlo& g = Engine();
  EXPECT_EQ(g.GameCols, 12);
  EXPECT_EQ(g.GameRows, 20);  // damaged: the default
  EXPECT_EQ(g.TimerNew, 800);
  EXPECT_EQ(g.DropAdd, -3);
  EXPECT_EQ(g.LineAdd, 20);
  EXPECT_EQ(g.LineAddEx, 6);
  EXPECT_EQ(g.BonusMode, -1);  // low 16 bits of 65535
  EXPECT_EQ(g.BonusGain, 2);
  EXPECT_EQ(g.BonusZero, 4);
  EXPECT_EQ(g.BonusNew, 3);
  EXPECT_EQ(g.CostOfTmr, 4);
  EXPECT_EQ(g.CostOfRem, 5);
  EXPECT_EQ(g.CostOfRow, 6);
  EXPECT_EQ(g.SpriteSet, 4294967295u);
  EXPECT_EQ(main_->PlayerCombo()->currentText(), "Bob");
  ASSERT_EQ(main_->PlayerCombo()->count(), 2);
  EXPECT_EQ(main_->PlayerCombo()->itemText(1), "Ann");
  EXPECT_EQ(main_->GamesStarted, 7);
  EXPECT_EQ(main_->GamesFinished, 6);
  EXPECT_EQ(main_->StatEntries, 50);
  EXPECT_EQ(main_->Players, 2147483647);

  Engine().DropAdd = -11;
  Engine().SpriteSet = 0x80000001u;
  main_->Players = 3;
  main_->PlayerCombo()->setEditText("Cy");
  main_.reset();

  const foundation::StringList ini = IniOnDisk();
  EXPECT_EQ(IniReadValue(&ini, "Grv010", "pGrv.DropAdd", Variant(0)).AsInt(), -11);
  EXPECT_EQ(IniReadValue(&ini, "Grv010", "pGrv.GameRows", Variant(0)).AsInt(), 20);
  EXPECT_EQ(IniReadValue(&ini, "Grv010", "pGrv.BonusMode", Variant(0)).AsInt(), -1);
  EXPECT_EQ(IniReadValue(&ini, "Grv010", "pGrv.SpriteSet", Variant("")).AsString(), "2147483649");
  EXPECT_EQ(IniReadValue(&ini, "Grv010", "Players", Variant(0)).AsInt(), 3);
  EXPECT_EQ(IniReadValue(&ini, "Grv010", "cPlr.Text", Variant("")).AsString(), "Cy");
  EXPECT_EQ(IniReadValue(&ini, "Grv010", "cPlr#1", Variant("")).AsString(), "Ann");
  EXPECT_EQ(IniReadValue(&ini, "Grv010", "GamesFinished", Variant(0)).AsInt(), 6);
  EXPECT_EQ(IniReadValue(&ini, "Other", "A", Variant(0)).AsInt(), 1);
  // The placement keys come first in the section.
  EXPECT_NE(IniReadValue(&ini, "Grv010", "Left", Variant("")).AsString(), "");

  // The section holds the placement, then the settings in their order.
  foundation::StringList section;
  foundation::IniReadSection(&ini, "Grv010", &section);
  std::vector<std::string> keys;
  for (int i = 0; i < section.Count(); ++i) keys.push_back(section[i].substr(0, section[i].find('=')));
  const std::vector<std::string> expected = {
      "Left", "Top", "Right", "Bottom", "MinX", "MinY", "MaxX", "MaxY", "Show",
      "pGrv.GameCols", "pGrv.GameRows", "pGrv.TimerNew", "pGrv.DropAdd", "pGrv.LineAdd", "pGrv.LineAddEx",
      "pGrv.BonusMode", "pGrv.BonusGain", "pGrv.BonusZero", "pGrv.BonusNew", "pGrv.CostOfTmr", "pGrv.CostOfRem",
      "pGrv.CostOfRow", "pGrv.SpriteSet", "StatEntries", "Players", "cPlr.Text", "cPlr#0", "cPlr#1",
      "GamesStarted", "GamesFinished"};
  EXPECT_EQ(keys, expected);

  // And the next window reads every one of them back.
  Open();
  const TGravlo& h = Engine();
  EXPECT_EQ(h.GameCols, 12);
  EXPECT_EQ(h.GameRows, 20);
  EXPECT_EQ(h.TimerNew, 800);
  EXPECT_EQ(h.DropAdd, -11);
  EXPECT_EQ(h.LineAdd, 20);
  EXPECT_EQ(h.LineAddEx, 6);
  EXPECT_EQ(h.BonusMode, -1);
  EXPECT_EQ(h.BonusGain, 2);
  EXPECT_EQ(h.BonusZero, 4);
  EXPECT_EQ(h.BonusNew, 3);
  EXPECT_EQ(h.CostOfTmr, 4);
  EXPECT_EQ(h.CostOfRem, 5);
  EXPECT_EQ(h.CostOfRow, 6);
  EXPECT_EQ(h.SpriteSet, 0x80000001u);
  EXPECT_EQ(main_->StatEntries, 50);
  EXPECT_EQ(main_->Players, 3);
}

TEST_F(MainWindowTest, APastedLineBreakInThePlayerNameCannotSplitTheIni) {
  Open();
  // The combo takes a pasted text as it is.
  QGuiApplication::clipboard()->setText("Bob\r\n[Evil]\r\nX=1");
  main_->PlayerCombo()->lineEdit()->selectAll();
  main_->PlayerCombo()->lineEdit()->paste();
  StartAndSpawn();
  PlayToEnd();
  const std::string ws = Engine().VariantKey("WS");
  const foundation::StringList filed = IniOnDisk();
  ASSERT_GE(filed.Count(), 2);
  EXPECT_EQ(filed[filed.Count() - 2], "[" + ws + "]");  // still the last section, with one line
  EXPECT_NE(filed[filed.Count() - 1].find("=Bob  [Evil]  X=1 "), std::string::npos);
  main_.reset();

  const foundation::StringList ini = IniOnDisk();
  foundation::StringList names;
  foundation::IniReadSectionNames(&ini, &names);
  for (int i = 0; i < names.Count(); ++i) EXPECT_NE(names[i], "Evil");
  EXPECT_EQ(IniReadValue(&ini, "Grv010", "cPlr.Text", Variant("")).AsString(), "Bob  [Evil]  X=1");
  EXPECT_EQ(IniReadValue(&ini, "Grv010", "cPlr#0", Variant("")).AsString(), "Bob  [Evil]  X=1");
}

TEST_F(MainWindowTest, PlayerListFollowsRecentNamesWithinItsLimit) {
  Open();
  main_->Players = 2;
  auto* combo = main_->PlayerCombo();
  for (const char* name : {"Ann", "Bob", "Cid"}) {
    combo->setEditText(name);
    Key(Qt::Key_F2);
  }
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->itemText(0), "Cid");
  EXPECT_EQ(combo->itemText(1), "Bob");
  // Enter in the combo keeps the name; F6 sorts the list once.
  combo->setEditText("Abe");
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(combo, &enter);
  EXPECT_EQ(combo->itemText(0), "Abe");
  main_->Players = 5;
  combo->setEditText("Zed");
  QApplication::sendEvent(combo, &enter);
  combo->setEditText("Mia");
  QKeyEvent f6(QEvent::KeyPress, Qt::Key_F6, Qt::NoModifier);
  QApplication::sendEvent(combo, &f6);
  ASSERT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->itemText(0), "Abe");
  EXPECT_EQ(combo->itemText(2), "Zed");
  EXPECT_EQ(combo->currentText(), "Mia");
  // A negative limit keeps nothing and breaks nothing.
  main_->Players = -1;
  Key(Qt::Key_F2);
  EXPECT_EQ(combo->count(), 0);
}

TEST_F(MainWindowTest, TimerFollowsTheEngineIntervalWithoutNeedlessRestarts) {
  Open();
  StartAndSpawn();
  EXPECT_EQ(main_->Timer1()->interval(), Engine().Interval);
  Engine().Interval = 0;
  Engine().BonusAction(8);  // raises the board-change event with the interval as it is
  EXPECT_GT(main_->Timer1()->interval(), 0);
  Engine().Interval = 350;
  Engine().BonusAction(8);
  EXPECT_EQ(main_->Timer1()->interval(), 350);
  EXPECT_EQ(Text("lcInt"), "350 ");
  const int remaining = main_->Timer1()->remainingTime();
  Engine().BonusAction(8);
  EXPECT_LE(main_->Timer1()->remainingTime(), remaining);  // not started over
}

TEST_F(MainWindowTest, HintsDoNotWidenTheWindow) {
  Open();
  main_->show();
  QApplication::processEvents();
  const int width = main_->width();
  ASSERT_EQ(width, 440);
  // The panel's hint is longer than the window is wide.
  main_->activateWindow();
  main_->GamePanel()->setFocus();
  main_->findChild<QLabel*>("lInfo")->setText(QString(300, 'x'));
  StartAndSpawn();
  QApplication::processEvents();
  EXPECT_EQ(main_->width(), width);
  EXPECT_LE(main_->minimumSizeHint().width(), width);
}

TEST_F(MainWindowTest, PaintsTheLogoAndTheBoard) {
  Open();
  main_->show();
  QImage logo = main_->GamePanel()->grab().toImage();
  // The logo background fills the panel around the picture.
  EXPECT_EQ(logo.pixelColor(1, 1), QColor(81, 78, 64));
  StartAndSpawn();
  main_->GamePanel()->repaint();
  QImage board = main_->GamePanel()->grab().toImage();
  const QColor empty(24, 28, 32);
  EXPECT_EQ(board.pixelColor(Engine().CellWidth / 2, Engine().CellHeight * 10 + Engine().CellHeight / 2), empty);
}

TEST(Logo, IsAPortraitJpegPictureInTheHeaderColours) {
  const std::unique_ptr<platform::Graphic> logo = CreateLogoPicture();
  ASSERT_NE(logo, nullptr);
  EXPECT_EQ(logo->ClassName(), "TJPEGImage");
  EXPECT_EQ(logo->Width(), 800);
  EXPECT_EQ(logo->Height(), 1115);
  const QImage shown = static_cast<platform::JpegImage*>(logo.get())->GetBitmap().ToQImage();
  // The top edge has the header bar's colour (JPEG may shift it a little).
  const QColor corner = shown.pixelColor(4, 4);
  EXPECT_NEAR(corner.red(), 81, 6);
  EXPECT_NEAR(corner.green(), 78, 6);
  EXPECT_NEAR(corner.blue(), 64, 6);
  // It is a picture, not a plain field: many distinct colours.
  QSet<QRgb> colours;
  for (int y = 0; y < shown.height(); y += 13) {
    for (int x = 0; x < shown.width(); x += 11) colours.insert(shown.pixel(x, y));
  }
  EXPECT_GT(colours.size(), 200);
  // Drawing is repeatable.
  EXPECT_EQ(DrawLogoImage(), DrawLogoImage());
}

}  // namespace
}  // namespace gravlo
