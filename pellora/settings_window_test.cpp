// The settings and statistics window over a real main window: load and save
// of every control, the checks that guard a save, the tabs and the
// statistics grid, offscreen with message boxes answered.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>

#include "pellora/main_window.h"
#include "pellora/settings_window.h"
#include "pellora/test_support.h"
#include "pellora/textbase_editor.h"

namespace pellora {
namespace {

class SettingsWindowTest : public testkit::WindowFixture {
 protected:
  TSol043& Open() {
    OpenMain(false, false);
    main_->RunCommand(cmSettings);
    EXPECT_NE(main_->Sol043(), nullptr);
    return *main_->Sol043();
  }

  // Types a value into an edit and presses Enter, as a player would.
  static void Type(TSol043& s, const char* edit, const QString& text) {
    QLineEdit* e = s.Edit(edit);
    e->setText(text);
    e->setModified(true);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(e, &key);
  }
};

TEST_F(SettingsWindowTest, LoadThenSaveWithoutChangeKeepsEverything) {
  TSol043& s = Open();
  EXPECT_EQ(s.windowTitle(), "Settings - Dating");
  EXPECT_FALSE(s.Dirty());
  EXPECT_FALSE(s.Button("bcRun01")->isEnabled());
  EXPECT_FALSE(s.Button("bcRun02")->isEnabled());
  const recSolOpt before = main_->Table().Options;
  const SolGameRecord record = main_->Game().Record();
  const int16_t fps = main_->Table().FPS;
  ASSERT_TRUE(s.ApplySettings(-2));
  const recSolOpt& after = main_->Table().Options;
  EXPECT_EQ(after.GameState, before.GameState);
  EXPECT_EQ(after.Attrib, before.Attrib);
  EXPECT_EQ(after.CardCount, before.CardCount);
  EXPECT_EQ(after.Title, before.Title);
  EXPECT_EQ(after.AnimBits, before.AnimBits);
  EXPECT_EQ(after.AnimTable, before.AnimTable);
  EXPECT_EQ(main_->Game().Record(), record);
  EXPECT_EQ(main_->Table().FPS, fps);
  EXPECT_TRUE(messages_.empty());
  // The controls show what the record holds.
  EXPECT_EQ(s.Edit("egCnt3")->text(), QString::number(record.Counts().Omens));
  EXPECT_EQ(s.AnimationGrid()->item(0, 0)->text(), QString::number(before.Speed(1)));
}

TEST_F(SettingsWindowTest, ChangesAreWrittenAndTheOmenCountSetsTheRebuildBitOnce) {
  TSol043& s = Open();
  main_->RunCommand(cmDeal);
  recSolOpt& o = main_->Table().Options;
  ASSERT_FALSE(o.GameState & gsRebuildBoard);
  const uint16_t state = o.GameState;
  const int16_t omens = main_->Game().Record().Counts().Omens;
  Type(s, "egCnt3", QString::number(omens == 5 ? 6 : 5));
  EXPECT_TRUE(s.Dirty());
  EXPECT_TRUE(s.Button("bcRun02")->isEnabled());
  ASSERT_TRUE(s.ApplySettings(-2));
  EXPECT_EQ(o.GameState, state | gsRebuildBoard);
  EXPECT_FALSE(s.Dirty());
  Type(s, "egCnt3", "7");
  ASSERT_TRUE(s.ApplySettings(-2));
  EXPECT_EQ(o.GameState, state | gsRebuildBoard);
  EXPECT_EQ(main_->Game().Record().Counts().Omens, 7);
  // Speed is signed, the pauses not; rule and animation boxes give their bits.
  s.AnimationGrid()->item(0, 0)->setText("-300");
  s.AnimationGrid()->item(6, 2)->setText("65535");
  for (const char* box : {"cgAtt1", "cgAtt2", "cgAtt4", "cgAtt16", "cgAtt32", "cgAtt64"})
    s.Check(box)->setChecked(false);
  s.Check("cgAtt16")->setChecked(true);
  s.Check("cbvDrag")->setChecked(true);
  s.Check("cbvClrs")->setChecked(false);
  const std::string title = o.Title;
  Type(s, "egNam", "Another title");
  ASSERT_TRUE(s.ApplySettings(-2));
  EXPECT_EQ(o.Speed(1), -300);
  EXPECT_EQ(o.Drag(7), 65535);
  EXPECT_EQ(o.Attrib, rbOpenUntilBasePair);
  EXPECT_TRUE(o.AnimBits & abDragDrop);
  EXPECT_FALSE(o.AnimBits & abClearScreen);
  EXPECT_EQ(o.Title, title);
  // Reloading shows the stored values again.
  s.RunCommand(ccLoad);
  EXPECT_EQ(s.AnimationGrid()->item(0, 0)->text(), "-300");
  EXPECT_EQ(s.Edit("egCnt3")->text(), "7");
}

TEST_F(SettingsWindowTest, ABadFieldStopsTheWholeSave) {
  TSol043& s = Open();
  const recSolOpt before = main_->Table().Options;
  const SolGameRecord record = main_->Game().Record();
  struct Bad {
    const char* edit;
    const char* text;
  };
  const Bad cases[] = {{"egCnt0", "-1"},  {"egCnt1", "abc"}, {"egCnt2", "100"}, {"egCnt3", "0"},
                       {"egCnt3", "20"},  {"evFPS", "0"},    {"evFPS", "101"},  {"evPS1_8", "70000"},
                       {"egCnt0", "256"}, {"evPS2_8", "-1"}};
  for (const Bad& b : cases) {
    SCOPED_TRACE(std::string(b.edit) + " " + b.text);
    s.RunCommand(ccLoad);
    // Another deck is picked first: it must not be stored either.
    s.Button(before.CardCount == 52 ? "bgDcc2" : "bgDcc1")->click();
    Type(s, b.edit, b.text);
    messages_.clear();
    EXPECT_FALSE(s.ApplySettings(-2));
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(main_->Table().Options.CardCount, before.CardCount);
    EXPECT_EQ(main_->Game().Record(), record);
    EXPECT_EQ(main_->Table().Options.GameState, before.GameState);
    EXPECT_TRUE(s.Dirty());
    EXPECT_TRUE(s.Button("bcRun02")->isEnabled());
  }
  s.RunCommand(ccLoad);
  s.AnimationGrid()->item(2, 0)->setText("40000");
  s.AnimationGrid()->item(1, 1)->setText("7");
  messages_.clear();
  EXPECT_FALSE(s.ApplySettings(-2));
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_EQ(main_->Table().Options.AnimTable, before.AnimTable);
}

TEST_F(SettingsWindowTest, TheStoredTabOpensItsPage) {
  WriteIni("[Sol043]\nbtTab=2\n");
  TSol043& s = Open();
  EXPECT_EQ(s.TabValue(), tabVisual);
  EXPECT_TRUE(s.Page(tabVisual)->isVisibleTo(&s));
  EXPECT_FALSE(s.Page(tabGame)->isVisibleTo(&s));
  EXPECT_FALSE(s.Page(tabDev)->isVisibleTo(&s));
  s.Button("LabelRx2")->click();
  EXPECT_TRUE(s.Page(tabDev)->isVisibleTo(&s));
  EXPECT_FALSE(s.Page(tabVisual)->isVisibleTo(&s));
  // The main window's exit closes the child: both sections survive.
  main_->PlayerCombo()->setEditText("Ann");
  const QPointer<TSol043> watch(&s);
  main_.reset();
  EXPECT_TRUE(watch.isNull());
  EXPECT_EQ(IniValue("Sol043", "btTab"), "6");
  EXPECT_EQ(IniValue("Sol040", "cPlr.Text"), "Ann");
  EXPECT_NE(IniValue("Sol043", "Left"), "<none>");
  EXPECT_NE(IniValue("Sol040", "Left"), "<none>");

  WriteIni("[Sol043]\nbtTab=3\n");
  TSol043& none = Open();
  for (int tab : {tabGame, tabVisual, tabDev}) EXPECT_FALSE(none.Page(tab)->isVisibleTo(&none));
}

TEST_F(SettingsWindowTest, AClockThatStandsStillDoesNotHoldTheDeal) {
  Open();
  main_->Table().Timing.NowMs = [] { return uint64_t{5}; };
  main_->Table().Timing.SleepMs = [](uint32_t) {};
  main_->RunCommand(cmDeal);
  EXPECT_TRUE(main_->Table().Options.GameState & gsDealt);
  EXPECT_FALSE(main_->Game().Busy());
}

TEST_F(SettingsWindowTest, OneWindowAtATimeThatFreesItselfWhenClosed) {
  TSol043& s = Open();
  QPointer<TSol043> watch(&s);
  main_->RunCommand(cmSettings);
  EXPECT_EQ(main_->Sol043(), &s);
  s.close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(watch.isNull());
  EXPECT_EQ(main_->Sol043(), nullptr);
  main_->RunCommand(cmSettings);
  EXPECT_NE(main_->Sol043(), nullptr);
}

TEST_F(SettingsWindowTest, StatisticsGridRows) {
  TSol043& s = Open();
  // No records: the header and one empty row.
  s.ShowStats(0);
  EXPECT_EQ(s.StatsGrid()->rowCount(), 1);
  EXPECT_EQ(s.StatsGrid()->columnCount(), 8);
  EXPECT_EQ(s.StatsGrid()->horizontalHeaderItem(2)->text(), "Eng");

  // A record of 16 omens: slots 0 to 21, means rounded halves to even.
  const recSolOpt& o = main_->Table().Options;
  recSolCounts c = main_->Game().Record().Counts();
  c.Omens = 16;
  main_->Game().Record().SetCounts(c);
  StatRecord other;
  other.key = {52, 0, 1, 1, 1, 250, 0, 0};  // not the running configuration
  StatRecord r;
  ASSERT_TRUE(BuildStatKey(StatKeyValues{o.CardCount, o.Attrib, c.Bride, c.Groom, c.Parents, c.Omens}, r.key));
  r.games = 9;
  r.dated = 4;
  r.tops[smDating][0] = 2.5f;
  r.tops[smDating][1] = 3.5f;
  r.tops[smUnmarried][2] = 1.49f;
  r.slotCards[21] = 7;
  r.cardsLeft[smNoDating] = 10.5f;
  main_->Game().Stats().Records() = {other, r};
  s.ShowStats(0);
  ASSERT_EQ(s.StatsGrid()->rowCount() + 1, 23);
  EXPECT_EQ(s.StatsGrid()->item(0, 2)->text(), "2");
  EXPECT_EQ(s.StatsGrid()->item(1, 2)->text(), "4");
  EXPECT_EQ(s.StatsGrid()->item(2, 3)->text(), "1");
  EXPECT_EQ(s.StatsGrid()->item(21, 0)->text(), "21");
  EXPECT_EQ(s.StatsGrid()->item(21, 1)->text(), "7");
  EXPECT_EQ(s.StatLabel("ldTot")->text(), "9");
  EXPECT_EQ(s.StatLabel("ldEng")->text(), "4");
  EXPECT_EQ(s.StatLabel("ldAm3")->text(), "16");
  EXPECT_EQ(s.StatLabel("laCrd1")->text(), "10");

  // A key that names more omens than a table has: at most 26 rows.
  main_->Game().Stats().Records() = {other};
  s.ShowStats(0);
  EXPECT_EQ(s.StatsGrid()->rowCount() + 1, kStatsGridMaxRows);
}

// The window keeps the size it was given: reopened after a restart, on
// every tab, also with a statistics grid full of rows.
TEST_F(SettingsWindowTest, ItsSizeStaysOverReopeningsAndTabs) {
  OpenMain();
  main_->RunCommand(cmDeal);
  main_->RunCommand(cmSettings);
  ASSERT_NE(main_->Sol043(), nullptr);
  QCoreApplication::processEvents();
  const QSize first = main_->Sol043()->size();
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    for (int tab : {tabGame, tabVisual, tabDev, tabGame}) {
      main_->Sol043()->Button(tab == tabGame ? "btTab01" : tab == tabVisual ? "btTab02" : "LabelRx2")->click();
      main_->Sol043()->RunCommand(ccStatsRunning);
      QCoreApplication::processEvents();
      EXPECT_EQ(main_->Sol043()->size(), first) << "tab " << tab;
    }
    main_->Sol043()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(main_->Sol043(), nullptr);
    // A restart between the openings.
    main_.reset();
    OpenMain();
    main_->RunCommand(cmSettings);
    ASSERT_NE(main_->Sol043(), nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(main_->Sol043()->size(), first);
  }
}

// Opened for the first time, the settings window and the text-base editor
// stand beside the main window, not on it, and wholly on the screen.
TEST_F(SettingsWindowTest, FirstOpeningsStandClearOfTheMainWindow) {
  const QRect screen(0, 0, 1600, 1000);
  foundation::SetPlacementDesktopOverride(screen.size());
  OpenMain();
  main_->RunCommand(cmSettings);
  main_->RunCommand(cmTextbase);
  QCoreApplication::processEvents();
  ASSERT_NE(main_->Sol043(), nullptr);
  ASSERT_NE(main_->Sol048(), nullptr);
  for (QWidget* w : {static_cast<QWidget*>(main_->Sol043()), static_cast<QWidget*>(main_->Sol048())}) {
    SCOPED_TRACE(w->objectName().toStdString());
    EXPECT_FALSE(w->frameGeometry().intersects(main_->frameGeometry()))
        << w->frameGeometry().x() << "," << w->frameGeometry().y() << " " << w->width() << "x" << w->height();
    EXPECT_TRUE(screen.contains(w->frameGeometry()));
  }
}

}  // namespace
}  // namespace pellora
