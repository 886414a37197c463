// The main window driven as a player would: its commands, buttons, combos and
// the board's mouse, on an offscreen desktop, with message boxes answered and
// a clock that never waits.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "pellora/main_window.h"
#include "pellora/settings_window.h"
#include "pellora/test_support.h"
#include "pellora/textbase_editor.h"
#include "platform/text.h"

namespace pellora {
namespace {

class MainWindowTest : public testkit::WindowFixture {
 protected:
  TSol040& Open(bool animations = false) { return OpenMain(animations); }

  // The board's mouse, as the events a player's click gives.
  void Click(TSol040& w, int slot) {
    const platform::Rect r = w.Table().Slot(slot).Rect;
    const QPointF at((r.left + r.right) / 2.0, (r.top + r.bottom) / 2.0);
    TDrawBox* board = w.Board();
    QMouseEvent press(QEvent::MouseButtonPress, at, board->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(board, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, board->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(board, &release);
  }

  static std::vector<std::pair<int, int>> LegalPairs(SolGame& g) {
    std::vector<std::pair<int, int>> moves;
    for (int a = 0; a <= g.MaxSlot(); ++a)
      for (int b = a + 1; b <= g.MaxSlot(); ++b)
        if (g.IsPair(a, b)) moves.emplace_back(a, b);
    return moves;
  }

  // Removes one legal pair by two clicks; false when there is none.
  bool PlayPair(TSol040& w) {
    const auto moves = LegalPairs(w.Game());
    if (moves.empty()) return false;
    const int removed = w.Table().Slot(w.Table().RemInd).Top;
    Click(w, moves.front().first);
    // A card with a single partner pairs at once; otherwise it is selected
    // and the second click completes the pair.
    if (!w.Table().Selection.empty() && w.Table().Selection[0] == moves.front().first)
      Click(w, moves.front().second);
    EXPECT_EQ(w.Table().Slot(w.Table().RemInd).Top, removed + 2);
    return true;
  }

  // Deals (when no game runs) and plays pairs and rounds until the game is over.
  void PlayToTheEnd(TSol040& w) {
    if (!(w.Table().Options.GameState & gsDealt)) w.CommandButton(cmDeal)->click();
    int steps = 0;
    while (!(w.Table().Options.GameState & gsGameOver)) {
      ASSERT_LT(++steps, 2000) << "the game does not end";
      if (!PlayPair(w)) w.CommandButton(cmEvaluate)->click();
      ASSERT_FALSE(w.Game().Busy());
    }
  }

  static void PressEnter(QComboBox* combo) {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(combo->lineEdit(), &key);
  }
};

TEST_F(MainWindowTest, FreshStartTakesTheDefaultsAndNeverWritesTheBoardFile) {
  TSol040& w = Open();
  EXPECT_EQ(w.objectName(), "Sol040");
  EXPECT_EQ(w.windowTitle(), "Dating - Sol 40");
  EXPECT_EQ(w.TbFile(), foundation::AppDir + "Sol040tb.Ini");
  EXPECT_EQ(w.Table().BoardFile, foundation::AppDir + "boPellora.Ini");
  EXPECT_EQ(w.StatsFile(), foundation::AppDir + "Sol040.Rnd");
  EXPECT_EQ(w.BrideCombo()->currentText(), "Bride");
  EXPECT_EQ(w.GroomCombo()->currentText(), "Groom");
  EXPECT_NE(w.Activation(), saNone);
  // The first activation built the board; later ones build nothing.
  EXPECT_GT(w.Table().SlotCount(), kPersonSlots);
  w.RunCommand(cmDeal);
  const auto dealt = w.Table().Slots();
  w.FormDeactivate();
  EXPECT_EQ(w.Activation(), saDeactivated);
  w.FormActivate();
  EXPECT_EQ(w.Activation(), saActive);
  EXPECT_EQ(w.Table().Slots(), dealt);
  // The command buttons carry their commands.
  ASSERT_NE(w.CommandButton(cmTextbase), nullptr);
  EXPECT_EQ(w.CommandButton(cmTextbase)->text(), "TB");
  EXPECT_EQ(w.CommandButton(cmTextbase)->toolTip(), "Open Textbase");
  EXPECT_EQ(w.CommandButton(cmSettings)->text(), "Rules");
  main_.reset();
  EXPECT_EQ(IniValue("Sol040", "TbFile"), foundation::AppDir + "Sol040tb.Ini");
  EXPECT_EQ(IniValue("Sol040", "cBride.Text"), "Bride");
  EXPECT_FALSE(IniHasKey("Sol040", "BoardFile"));
  // No game was played: no statistics file.
  EXPECT_FALSE(std::filesystem::exists(dir_.filePath("Sol040.Rnd").toStdString()));
}

TEST_F(MainWindowTest, HandSetBoardFileIsUsedAndKeptAsWritten) {
  const std::string board = dir_.filePath("myboard.Ini").toStdString();
  WriteIni("[Sol040]\nBoardFile=" + board + "\ncGroom.Text=Paul\ncGroom#0=Paul\ncGroom#1=Peter\nOther=kept\n");
  TSol040& w = Open();
  EXPECT_EQ(w.Table().BoardFile, board);
  EXPECT_EQ(w.GroomCombo()->currentText(), "Paul");
  EXPECT_EQ(w.GroomCombo()->count(), 2);
  // The engine's own value never goes back: change it, the user's line stays.
  w.Table().BoardFile = "/elsewhere.Ini";
  main_.reset();
  EXPECT_EQ(IniValue("Sol040", "BoardFile"), board);
  EXPECT_EQ(IniValue("Sol040", "cGroom.Text"), "Paul");
}

TEST_F(MainWindowTest, ADamagedIniStillStartsPlaysAndKeepsTheLinesItDoesNotOwn) {
  std::string junk;
  for (int i = 1; i < 256; ++i)
    if (i != '\r' && i != '\n') junk += static_cast<char>(i);
  const std::string longLine(100000, 'x');
  WriteIni("[Other]\nmine=" + longLine + "\n" + junk + "\n[Sol040]\nLeft=99999999999\nTop=-4e99\ncPlr#0=" +
           longLine + "\ncPlr#1=" + junk + "\nUndoFile=\ncBride.Text=" + junk + "\n");
  // Damaged statistics and text base files beside it.
  {
    std::ofstream(dir_.filePath("Sol040.Rnd").toStdString(), std::ios::binary) << junk << junk;
    std::ofstream(dir_.filePath("Sol040tb.Ini").toStdString(), std::ios::binary) << "[Brides]\n" << junk << "\n";
  }
  TSol040& w = Open();
  w.RunCommand(cmDeal);
  EXPECT_TRUE(w.Table().Options.GameState & gsDealt);
  EXPECT_LE(w.PlayerCombo()->count(), kRecentNames);
  main_.reset();
  EXPECT_EQ(IniValue("Other", "mine"), longLine);
  foundation::StringList lines;
  lines.LoadFromFile(foundation::AppIniFile);
  EXPECT_GE(lines.IndexOf(junk), 0);
}

TEST_F(MainWindowTest, EnterPushesTheNameToTheTopKeepingTwenty) {
  TSol040& w = Open();
  QComboBox* c = w.PlayerCombo();
  for (int i = 1; i <= kRecentNames; ++i) {
    c->setEditText(QString("P%1").arg(i));
    PressEnter(c);
  }
  ASSERT_EQ(c->count(), kRecentNames);
  EXPECT_EQ(c->itemText(0), "P20");
  EXPECT_EQ(c->itemText(kRecentNames - 1), "P1");
  c->setEditText("Ann");
  PressEnter(c);
  EXPECT_EQ(c->count(), kRecentNames);
  EXPECT_EQ(c->itemText(0), "Ann");
  EXPECT_EQ(c->itemText(kRecentNames - 1), "P2");  // the oldest went
  // An old name moves to the top instead of appearing twice.
  c->setEditText("P10");
  PressEnter(c);
  EXPECT_EQ(c->itemText(0), "P10");
  EXPECT_EQ(c->findText("P10"), 0);
  EXPECT_EQ(c->count(), kRecentNames);
  main_.reset();
  EXPECT_EQ(IniValue("Sol040", "cPlr#0"), "P10");
  EXPECT_EQ(IniValue("Sol040", "cPlr.Text"), "P10");
}

// Statistics kept beside the program reach every start, from any folder; a
// file that an earlier version left in the current directory is read when
// the program folder has none, and is left as it was.
TEST_F(MainWindowTest, StatisticsLiveInTheProgramFolderAndEarlierFilesAreRead) {
  QTemporaryDir elsewhere;
  ASSERT_TRUE(elsewhere.isValid());
  QDir::setCurrent(elsewhere.path());
  Statistics earlier;
  StatRecord record;
  record.games = 3;
  record.notDated = 3;
  earlier.Records().push_back(record);
  const std::string earlierBytes = earlier.SaveBytes();
  const std::string earlierPath = elsewhere.filePath("Sol040.Rnd").toStdString();
  std::ofstream(earlierPath, std::ios::binary) << earlierBytes;
  auto games = [](TSol040& w) {
    int64_t n = 0;
    for (const StatRecord& r : w.Game().Stats().Records()) n += r.games;
    return n;
  };

  TSol040& w = Open();
  EXPECT_EQ(games(w), 3);
  PlayToTheEnd(w);
  main_.reset();
  const std::string own = foundation::AppDir + "Sol040.Rnd";
  Statistics saved;
  ASSERT_TRUE(saved.LoadFile(own));
  int64_t total = 0;
  for (const StatRecord& r : saved.Records()) total += r.games;
  EXPECT_EQ(total, 4);
  std::ifstream in(earlierPath, std::ios::binary);
  const std::string earlierNow((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(earlierNow, earlierBytes);

  // A start from a third folder sees the same statistics and leaves no file there.
  QTemporaryDir third;
  QDir::setCurrent(third.path());
  EXPECT_EQ(games(Open()), 4);
  main_.reset();
  EXPECT_FALSE(std::filesystem::exists(third.filePath("Sol040.Rnd").toStdString()));
  EXPECT_TRUE(messages_.empty()) << messages_.front();
}

TEST_F(MainWindowTest, AWholeGameByTheWindowsHandlersIsFiledOnceAtExit) {
  TSol040& w = Open();
  // Both child windows stay open through the game and the exit.
  w.RunCommand(cmSettings);
  w.RunCommand(cmTextbase);
  ASSERT_NE(main_->Sol043(), nullptr);
  ASSERT_NE(main_->Sol048(), nullptr);
  main_->Sol043()->ShowTab(tabVisual);
  main_->Sol048()->RunCommand(TbTabCommand(etXRef));
  // The main window frees both with itself.
  const QPointer<TSol043> settings(main_->Sol043());
  const QPointer<TSol048> editor(main_->Sol048());
  w.PlayerCombo()->setEditText("Ann");
  w.CommandButton(cmDeal)->click();
  ASSERT_TRUE(w.Table().Options.GameState & gsDealt);
  EXPECT_EQ(w.CounterLabel("lcRnd")->text(), "1");
  PlayToTheEnd(w);
  EXPECT_EQ(w.InfoLabel()->text(), kTxtGameOver);
  EXPECT_FALSE(w.OutcomeLabel(SolOutcome::Over)->isHidden());
  EXPECT_EQ(w.CounterLabel("lcRmv")->text(), QString::number(w.Game().Record().I8(SolGameRecord::kRemoved)));
  main_.reset();
  EXPECT_TRUE(settings.isNull());
  EXPECT_TRUE(editor.isNull());
  // Every window's section is on disk: the main window's settings and
  // placement, and each child's tab and placement.
  EXPECT_EQ(IniValue("Sol040", "cPlr.Text"), "Ann");
  EXPECT_NE(IniValue("Sol040", "Left"), "<none>");
  EXPECT_EQ(IniValue("Sol043", "btTab"), "2");
  EXPECT_NE(IniValue("Sol043", "Left"), "<none>");
  EXPECT_EQ(IniValue("Sol048", "btTab"), "5");
  EXPECT_NE(IniValue("Sol048", "Left"), "<none>");
  const auto path = dir_.filePath("Sol040.Rnd").toStdString();
  ASSERT_TRUE(std::filesystem::exists(path));
  const auto size = std::filesystem::file_size(path);
  EXPECT_GT(size, 0u);
  EXPECT_EQ(size % kStatRecordSize, 0u);
  Statistics stats;
  ASSERT_TRUE(stats.LoadFile(path));
  int64_t games = 0;
  for (const StatRecord& r : stats.Records()) games += r.games;
  EXPECT_EQ(games, 1);
  // The next start reads the file back and adds the next game to it.
  TSol040& again = Open();
  int64_t loaded = 0;
  for (const StatRecord& r : again.Game().Stats().Records()) loaded += r.games;
  EXPECT_EQ(loaded, 1);
  EXPECT_TRUE(messages_.empty()) << messages_.front();
}

TEST_F(MainWindowTest, UndoAndRedoThroughTheWindowCarryTheGameRecord) {
  TSol040& w = Open();
  EXPECT_FALSE(w.CommandButton(cmUndo)->isEnabled());
  w.RunCommand(cmDeal);
  // Pairs until one removal leaves a step to undo.
  for (int tries = 0; tries < 50 && !w.Table().CanUndo(); ++tries)
    if (!PlayPair(w)) w.RunCommand(cmEvaluate);
  ASSERT_TRUE(w.Table().CanUndo());
  // Undo the last step and remember that position as "before".
  w.RunCommand(cmUndo);
  const std::vector<recSolSlt> before = w.Table().Slots();
  const SolGameRecord recordBefore = w.Game().Record();
  w.RunCommand(cmRedo);
  const std::vector<recSolSlt> after = w.Table().Slots();
  const SolGameRecord recordAfter = w.Game().Record();
  ASSERT_NE(before, after);
  w.InfoLabel()->clear();
  const uint64_t start = now_;
  w.CommandButton(cmUndo)->setEnabled(true);
  w.CommandButton(cmUndo)->click();
  EXPECT_EQ(w.Table().Slots(), before);
  EXPECT_EQ(w.Game().Record(), recordBefore);
  EXPECT_EQ(w.InfoLabel()->text(), kTxtUndo);
  EXPECT_GE(now_ - start, 200u);  // "Undo" stays for 200 ms
  EXPECT_TRUE(w.CommandButton(cmRedo)->isEnabled());
  w.CommandButton(cmRedo)->click();
  EXPECT_EQ(w.Table().Slots(), after);
  EXPECT_EQ(w.Game().Record(), recordAfter);
  EXPECT_EQ(w.CounterLabel("lcRmv")->text(), QString::number(recordAfter.I8(SolGameRecord::kRemoved)));
}

// Every counter after Undo and Redo is the one the evaluation of that
// position showed: the game record's counters and the pairs on its table.
TEST_F(MainWindowTest, UndoAndRedoShowTheCountersOfTheRestoredPosition) {
  TSol040& w = Open();
  const char* const names[] = {"lcRnd", "lcTrn", "lcRmv", "lcLft", "lmStk", "ltStk",
                               "ldDPS", "ldDck", "lcMT0", "lcMT1", "lcMT2", "lcMT3"};
  auto shown = [&] {
    std::vector<QString> texts;
    for (const char* n : names) texts.push_back(w.CounterLabel(n)->text());
    return texts;
  };
  auto pairCounters = [&] {
    std::vector<QString> texts = shown();
    return std::vector<QString>(texts.end() - 4, texts.end());
  };
  // Omens are opened only when no pair is left, so an evaluation of a board
  // with pairs only counts them.
  w.Table().Options.Attrib &= ~rbOpenUntilBasePair;
  w.RunCommand(cmDeal);
  std::vector<QString> before, after;
  for (int tries = 0; tries < 200; ++tries) {
    w.RunCommand(cmEvaluate);
    if (w.Table().Options.GameState & gsGameOver) w.RunCommand(cmDeal);
    if (LegalPairs(w.Game()).empty()) continue;
    before = shown();
    ASSERT_TRUE(PlayPair(w));
    w.RunCommand(cmEvaluate);
    after = shown();
    // A removal that changed the pairs on the table shows the fault.
    if (w.Table().CanUndo() && pairCounters() != std::vector<QString>(before.end() - 4, before.end())) break;
    before.clear();
  }
  ASSERT_FALSE(before.empty()) << "no removal changed the pair counters";
  w.RunCommand(cmUndo);
  EXPECT_EQ(shown(), before);
  w.RunCommand(cmRedo);
  EXPECT_EQ(shown(), after);
  w.RunCommand(cmUndo);
  EXPECT_EQ(shown(), before);
}

// Every caption, counter and outcome of the status bar is whole and apart at
// the default size and at the least size the window allows, and the names
// and commands of the top bar do not run into each other.
TEST_F(MainWindowTest, TheBarsFitAtTheDefaultAndTheLeastSize) {
  TSol040& w = Open();
  PlayToTheEnd(w);
  w.CounterLabel("ltStk")->setText("-128");
  auto inWindow = [&](const QWidget* c) { return QRect(c->mapTo(&w, QPoint(0, 0)), c->size()); };
  auto visibleChildren = [](QWidget* panel) {
    std::vector<QWidget*> list;
    for (QWidget* c : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (c->isVisible() && (qobject_cast<QLabel*>(c) || qobject_cast<QComboBox*>(c) ||
                             qobject_cast<QPushButton*>(c) || qobject_cast<QLineEdit*>(c)))
        list.push_back(c);
    return list;
  };
  for (const QSize size : {QSize(1024, 720), w.minimumSize()}) {
    SCOPED_TRACE(QString("%1 x %2").arg(size.width()).arg(size.height()).toStdString());
    w.resize(size);
    QCoreApplication::processEvents();
    ASSERT_EQ(w.size(), size);
    // Every text an outcome label shows, shown whole (never elided).
    for (const char* engaged : {kTxtDating, kTxtQuits})
      for (const char* wedding : {kTxtMarried, kTxtDivorce}) {
        w.ShowOutcome(SolOutcome::Engaged, SolOutcomeText{engaged, 0, 0xFFFFFF});
        w.ShowOutcome(SolOutcome::Wedding, SolOutcomeText{wedding, 0, 0xFFFFFF});
        EXPECT_EQ(w.OutcomeLabel(SolOutcome::Engaged)->text().toStdString(), engaged);
        EXPECT_EQ(w.OutcomeLabel(SolOutcome::Wedding)->text().toStdString(), wedding);
      }
    w.ShowOutcome(SolOutcome::Engaged, SolOutcomeText{kTxtDating, 0, 0xFFFFFF});
    w.ShowOutcome(SolOutcome::Over, std::nullopt);
    QCoreApplication::processEvents();
    for (QWidget* panel : {w.StatusBar(), w.TopPanel()}) {
      const std::vector<QWidget*> items = visibleChildren(panel);
      for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(items[i]->objectName().toStdString());
        EXPECT_TRUE(w.rect().contains(inWindow(items[i])));
        if (auto* b = qobject_cast<QPushButton*>(items[i])) {
          EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text().remove('&')) + 8, b->width());
        }
        if (auto* l = qobject_cast<QLabel*>(items[i])) {
          EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->contentsRect().width()) << l->text().toStdString();
        }
        for (size_t j = i + 1; j < items.size(); ++j)
          EXPECT_FALSE(inWindow(items[i]).intersects(inWindow(items[j]))) << items[j]->objectName().toStdString();
      }
    }
    for (SolOutcome o : {SolOutcome::Engaged, SolOutcome::Wedding, SolOutcome::Over}) {
      EXPECT_TRUE(w.OutcomeLabel(o)->isVisible());
      EXPECT_TRUE(w.rect().contains(inWindow(w.OutcomeLabel(o))));
    }
  }
}

TEST_F(MainWindowTest, CloseDuringADealWaitsForItsEnd) {
  TSol040& w = Open(true);
  w.setAttribute(Qt::WA_DeleteOnClose);
  QPointer<TSol040> watch(&w);
  TSol040* raw = main_.release();  // the close deletes it
  bool asked = false, busyWhenAsked = false, stillThere = false;
  onSleep_ = [&] {
    if (asked || !raw->Game().Busy()) return;
    asked = true;
    busyWhenAsked = raw->Game().Busy();
    raw->close();
    stillThere = raw->isVisible() && raw->ClosePending();
  };
  raw->RunCommand(cmDeal);
  ASSERT_TRUE(asked);
  EXPECT_TRUE(busyWhenAsked);
  EXPECT_TRUE(stillThere);
  ASSERT_FALSE(watch.isNull());
  // The deal ran to its end on a whole table.
  EXPECT_TRUE(raw->Table().Options.GameState & gsDealt);
  EXPECT_EQ(raw->Table().Slot(0).Top, raw->Table().Slot(0).Count);
  onSleep_ = nullptr;
  // The close is carried out once the deal has returned.
  for (int i = 0; i < 10 && !watch.isNull(); ++i) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  EXPECT_TRUE(watch.isNull());
  // Its settings were saved on the way out.
  EXPECT_EQ(IniValue("Sol040", "cGroom.Text"), "Groom");
}

TEST_F(MainWindowTest, LayoutNumberOutOfRangeBuildsNothing) {
  TSol040& w = Open();
  w.RunCommand(cmDeal);
  const std::vector<recSolSlt> dealt = w.Table().Slots();
  for (const char* bad : {"abc", "128", "-129", "1.5", " 3"}) {
    SCOPED_TRACE(bad);
    messages_.clear();
    w.LayoutEdit()->setText(bad);
    w.RunCommand(cmBuildBoard);
    EXPECT_EQ(messages_.size(), 1u);
    EXPECT_EQ(w.Table().Slots(), dealt);
    EXPECT_TRUE(w.Table().Options.GameState & gsDealt);
  }
  messages_.clear();
  w.LayoutEdit()->setText("-128");
  w.RunCommand(cmBuildBoard);
  EXPECT_TRUE(messages_.empty());
  EXPECT_NE(w.Table().Slots(), dealt);
  w.LayoutEdit()->clear();
  w.RunCommand(cmBuildBoard);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(MainWindowTest, PopupItemsSetTheirOwnCombo) {
  // A text base of more brides than the menu takes: each item still sets
  // the combo it belongs to.
  std::string tb = "[Brides]\r\n";
  for (int i = 0; i < 120; ++i) tb += "B" + std::to_string(i) + "=Bride " + std::to_string(i) + "\r\n";
  tb += "[Grooms]\r\nG1=Groom One\r\n";
  {
    std::ofstream f(dir_.filePath("Sol040tb.Ini").toStdString(), std::ios::binary);
    f << tb;
  }
  TSol040& w = Open();
  const auto& brides = w.Textbase().BrideNames();
  const auto& grooms = w.Textbase().GroomNames();
  ASSERT_EQ(brides.size(), static_cast<size_t>(kTbMenuCapacity));
  ASSERT_FALSE(grooms.empty());
  ASSERT_EQ(w.BridePopup()->actions().size(), static_cast<qsizetype>(brides.size()));
  w.BridePopup()->actions().back()->trigger();
  EXPECT_EQ(w.BrideCombo()->currentText(), platform::toQString(brides.back()));
  EXPECT_EQ(w.GroomCombo()->currentText(), "Groom");
  w.GroomPopup()->actions().front()->trigger();
  EXPECT_EQ(w.GroomCombo()->currentText(), platform::toQString(grooms.front()));
  EXPECT_EQ(w.BrideCombo()->currentText(), platform::toQString(brides.back()));
}

TEST_F(MainWindowTest, TBOpensTheEditorAndOtherCommandsDoNothing) {
  TSol040& w = Open();
  w.RunCommand(cmTextbase);
  ASSERT_NE(main_->Sol048(), nullptr);
  EXPECT_TRUE(main_->Sol048()->isVisible());
  EXPECT_TRUE(messages_.empty());
  // Unknown and empty commands do nothing.
  const auto kept = w.Table().Slots();
  for (int32_t c : {0, int32_t{cmNothing}, 99, 199, 400, -5}) w.RunCommand(c);
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(w.Table().Slots(), kept);
}

}  // namespace
}  // namespace pellora
