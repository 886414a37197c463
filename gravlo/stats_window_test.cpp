// The statistics window shows the ranked results of one variant.
#include "gravlo/stats_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <memory>

#include "foundation/controls.h"
#include "foundation/ini.h"
#include "foundation/listview.h"
#include "foundation/random.h"
#include "foundation/sysinit.h"
#include "gravlo/window_factory.h"
#include "gravlo/main_window.h"
#include "gravlo/test_support.h"

namespace gravlo {
namespace {

const std::string kAnna =
    "L     5 T   1,23.456=Anna" + std::string(26, ' ') +
    " | 2024-03-05 14:07:09 |   2 |   995 |   120 |   1 |   1 |   0 |   0";

// A result line with the given rows, time text, player and interval.
std::string Line(int rows, const std::string& time, const std::string& player, int interval) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "L%6d T%11s=%-30s | 2024-03-0%d 10:00:00 |   1 | %5d |    50 |   0 |   0 |   0 |   0",
                rows, time.c_str(), player.c_str(), rows % 9 + 1, interval);
  return buf;
}

TEST(ResultLineFields, TheExampleLineFillsEveryColumn) {
  const ResultFields f = SplitResultLine(kAnna);
  const ResultFields expected = {"Anna", "5", "1,23.456", "2024-03-05 14:07:09", "995", "120",
                                 "2", "1", "1", "0", "0"};
  EXPECT_EQ(f, expected);
}

TEST(ResultLineFields, DamagedLinesGiveEmptyOrPartialFields) {
  ResultFields f = SplitResultLine("");
  for (const std::string& s : f) EXPECT_EQ(s, "");
  f = SplitResultLine("; a comment");
  EXPECT_EQ(f[1], "a comment");  // everything lands in the first field
  EXPECT_EQ(f[0], "");
  f = SplitResultLine("L  3 T 4.5=Bo | 2024-01-01");
  EXPECT_EQ(f[0], "Bo");
  EXPECT_EQ(f[1], "3");
  EXPECT_EQ(f[2], "4.5");
  EXPECT_EQ(f[3], "2024-01-01");
  EXPECT_EQ(f[4], "");
  f = SplitResultLine("L");
  EXPECT_EQ(f[1], "");
  // More separators than fields: the rest after the last field is dropped.
  f = SplitResultLine("L1T2=P|d|1|2|3|4|5|6|7|8|9");
  EXPECT_EQ(f[10], "7");
  EXPECT_EQ(f[4], "2");
}

class StatisticsWindowTest : public testsupport::MainWindowOpenTest {
 protected:
  TGrv016& Open() {
    ShowFormById(1016);
    EXPECT_NE(Grv016, nullptr);
    return *Grv016;
  }
  foundation::TListViewRx& List() { return *Grv016->List(); }
  QComboBox& Combo() { return *Grv016->VariantCombo(); }
  std::vector<std::string> Column(int tag) {
    std::vector<std::string> out;
    for (int i = 0; i < List().ItemCount(); ++i) out.push_back(List().Item(i)->TextForTag(tag));
    return out;
  }
  int IndexOfTag(int tag) { return List().ColumnByTag(tag)->Index(); }
  std::string Ws() { return main_->Engine().VariantKey("WS"); }
};

TEST_F(StatisticsWindowTest, EmptyBeforeTheFirstGame) {
  Open();
  EXPECT_EQ(Grv016->windowTitle(), "Statistics - Gravlo");
  EXPECT_EQ(Combo().count(), 0);
  EXPECT_EQ(List().ItemCount(), 0);
  ASSERT_EQ(List().ColumnCount(), 11);
  const char* captions[] = {"Player", "Lines", "Time", "Date", "Timer", "Sprites",
                            "Bonuses", "Used", "Resets", "Rems", "Adds"};
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(List().Column(i)->Caption(), captions[i]);
    EXPECT_EQ(List().Column(i)->Tag(), i + 1);
  }
  EXPECT_EQ(List().Column(0)->Alignment(), foundation::TAlignment::LeftJustify);
  EXPECT_EQ(List().Column(2)->Alignment(), foundation::TAlignment::RightJustify);
  EXPECT_EQ(List().Column(3)->Alignment(), foundation::TAlignment::Center);
}

TEST_F(StatisticsWindowTest, ShowsTheExampleLineInItsColumns) {
  WriteIni("[" + Ws() + "]\r\n" + kAnna + "\r\n");
  Open();
  ASSERT_EQ(List().ItemCount(), 1);
  const foundation::TListItemRx* item = List().Item(0);
  EXPECT_EQ(item->Caption(), "Anna");
  const std::vector<std::string> expected = {"5", "1,23.456", "2024-03-05 14:07:09", "995", "120",
                                             "2", "1", "1", "0", "0"};
  EXPECT_EQ(item->SubItems(), expected);
  EXPECT_EQ(item->TextForTag(5), "995");  // the Timer column
}

TEST_F(StatisticsWindowTest, OpensOnTheCurrentVariantElseTheLastResultSection) {
  const std::string mine = Ws();
  WriteIni("[WS_other]\r\n" + Line(1, "1.000", "X", 900) + "\r\n[" + mine + "]\r\n" + Line(2, "2.000", "Y", 800) +
           "\r\n[AV_nothing]\r\nA=1\r\n[Weird]\r\nk=v\r\n[wsLower]\r\n" + Line(3, "1.0", "Z", 1) + "\r\n");
  Open();
  // Only sections beginning with "W" are offered, any of them.
  ASSERT_EQ(Combo().count(), 3);
  EXPECT_EQ(Combo().itemText(2), "Weird");
  EXPECT_EQ(Combo().currentText().toStdString(), mine);
  EXPECT_EQ(Column(1), std::vector<std::string>{"Y"});

  // Other settings: no results for them, so the last "W" section is shown.
  main_->Engine().DropAdd = -1;
  Grv016->Command(10);
  EXPECT_EQ(Combo().currentText(), "Weird");
  EXPECT_EQ(Column(1), std::vector<std::string>{""});
}

TEST_F(StatisticsWindowTest, SortsTimeNumericallyBothWaysAndDatesAsText) {
  WriteIni("[" + Ws() + "]\r\n" + Line(9, "1,02,03.456", "A", 80) + "\r\n" + Line(7, "59.999", "B", 1000) +
           "\r\n" + Line(5, "1,23.456", "C", 995) + "\r\n" + Line(3, "9.5", "D", 120) + "\r\n");
  Open();
  ASSERT_EQ(List().ItemCount(), 4);
  List().ColumnClick(IndexOfTag(3));  // Time
  EXPECT_EQ(Column(3), (std::vector<std::string>{"9.5", "59.999", "1,23.456", "1,02,03.456"}));
  List().ColumnClick(IndexOfTag(3));
  EXPECT_EQ(Column(3), (std::vector<std::string>{"1,02,03.456", "1,23.456", "59.999", "9.5"}));
  List().ColumnClick(IndexOfTag(5));  // Timer, by number
  EXPECT_EQ(Column(5), (std::vector<std::string>{"80", "120", "995", "1000"}));
  List().ColumnClick(IndexOfTag(4));  // Date, by text
  EXPECT_EQ(Column(1), (std::vector<std::string>{"A", "D", "C", "B"}));
}

TEST_F(StatisticsWindowTest, RefreshAndGameOverReloadTheShownVariant) {
  WriteIni("[" + Ws() + "]\r\n" + kAnna + "\r\n");
  Open();
  ASSERT_EQ(List().ItemCount(), 1);
  // Lines added behind the window's back appear on Refresh.
  foundation::IniWriteValue(foundation::AppIni, Ws(), "L     9 T       1.000", "Bo | 2024-01-01");
  for (QPushButton* b : Grv016->findChildren<QPushButton*>()) {
    if (b->text() == "Refresh") b->click();
  }
  EXPECT_EQ(List().ItemCount(), 2);
  foundation::SaveAppIni();

  // A game over of the shown variant reloads the list.
  foundation::SetRandSeed(7);
  main_->Command(2);
  for (int i = 0; i < 100000 && main_->Engine().State != StateGameOver; ++i) main_->Timer1Timer();
  ASSERT_EQ(main_->Engine().State, StateGameOver);
  EXPECT_EQ(List().ItemCount(), 3);
  EXPECT_EQ(Column(1).back(), "Anonymous");  // no rows: last place
}

TEST_F(StatisticsWindowTest, ColumnLayoutIsKeptWithThePlacement) {
  Open();
  List().Column(2)->SetWidth(140);
  Grv016->close();
  FlushDeletes();
  ASSERT_EQ(Grv016, nullptr);
  foundation::LoadAppIni();
  EXPECT_EQ(foundation::IniReadValue(foundation::AppIni, "Grv016", "lvSts#2", foundation::Variant("")).AsString(),
            "3 | Time | 140 | -1 | 0 | 0 | 0 | 1 |");
  EXPECT_NE(foundation::IniReadValue(foundation::AppIni, "Grv016", "Left", foundation::Variant("")).AsString(), "");
  Open();
  EXPECT_EQ(List().Column(2)->Width(), 140);
}

}  // namespace
}  // namespace gravlo
