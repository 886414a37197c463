// The settings window edits the running engine and the main window's limits.
#include "gravlo/settings_window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "gravlo/main_window.h"
#include "gravlo/test_support.h"

namespace gravlo {
namespace {

const char* const kNames[TGrv018::kFieldCount] = {"esWdt",     "esHgt",     "esTmr",     "esNew",
                                                  "esLin",     "esLinEx",   "esBnsNew",  "esBnsMode",
                                                  "esBnsGain", "esBnsZero", "esCostTmr", "esCostRem",
                                                  "esCostRow", "esSts",     "esPlr",     "esSprs"};

class SettingsWindowTest : public testsupport::MainWindowOpenTest {
 protected:
  TGrv018& Open() {
    ShowFormById(1018);
    EXPECT_NE(Grv018, nullptr);
    return *Grv018;
  }
  QString FieldText(const char* name) { return Grv018->Field(name)->text(); }
  void SetField(const char* name, const QString& text) { Grv018->Field(name)->setText(text); }
  void Click(const char* caption) {
    for (QPushButton* b : Grv018->findChildren<QPushButton*>()) {
      if (b->text() == caption) {
        b->click();
        return;
      }
    }
    ADD_FAILURE() << "no button " << caption;
  }
  TGravlo& Engine() { return main_->Engine(); }
};

TEST_F(SettingsWindowTest, OpensWithTheRunningValues) {
  Engine().DropAdd = -7;
  Engine().SpriteSet = 4294967295u;
  Engine().BonusMode = -3;
  main_->StatEntries = 42;
  Open();
  EXPECT_EQ(Grv018->windowTitle(), "Settings - Gravlo");
  EXPECT_EQ(FieldText("esWdt"), "10");
  EXPECT_EQ(FieldText("esTmr"), "1000");
  EXPECT_EQ(FieldText("esNew"), "-7");
  EXPECT_EQ(FieldText("esBnsMode"), "-3");
  EXPECT_EQ(FieldText("esSts"), "42");
  EXPECT_EQ(FieldText("esPlr"), "30");
  EXPECT_EQ(FieldText("esSprs"), "4294967295");
  for (const char* name : kNames) EXPECT_NE(Grv018->Field(name), nullptr) << name;
}

TEST_F(SettingsWindowTest, AllSixteenValuesRoundTrip) {
  Open();
  const char* const values[TGrv018::kFieldCount] = {"12", "30", "900", "-7", "13", "4", "2", "-2",
                                                    "3",  "6",  "2",   "3",  "4",  "7", "9", "4294967295"};
  for (int i = 0; i < TGrv018::kFieldCount; ++i) SetField(kNames[i], values[i]);
  Click("Save");
  const TGravlo& g = Engine();
  EXPECT_EQ(g.GameCols, 12);
  EXPECT_EQ(g.GameRows, 30);
  EXPECT_EQ(g.TimerNew, 900);
  EXPECT_EQ(g.DropAdd, -7);
  EXPECT_EQ(g.LineAdd, 13);
  EXPECT_EQ(g.LineAddEx, 4);
  EXPECT_EQ(g.BonusNew, 2);
  EXPECT_EQ(g.BonusMode, -2);
  EXPECT_EQ(g.BonusGain, 3);
  EXPECT_EQ(g.BonusZero, 6);
  EXPECT_EQ(g.CostOfTmr, 2);
  EXPECT_EQ(g.CostOfRem, 3);
  EXPECT_EQ(g.CostOfRow, 4);
  EXPECT_EQ(main_->StatEntries, 7);
  EXPECT_EQ(main_->Players, 9);
  EXPECT_EQ(g.SpriteSet, 4294967295u);
  // Scramble the fields; Load brings back exactly what was saved.
  for (const char* name : kNames) SetField(name, "x");
  Click("Load");
  for (int i = 0; i < TGrv018::kFieldCount; ++i) EXPECT_EQ(FieldText(kNames[i]), values[i]) << kNames[i];
}

TEST_F(SettingsWindowTest, FieldsThatAreNoNumbersSaveZeroAndWideNumbersKeepTheirLowBits) {
  Open();
  SetField("esWdt", "");
  SetField("esTmr", "abc");
  SetField("esLin", "12 ");  // not trimmed
  SetField("esCostRow", "65537");  // a 16-bit field keeps the low 16 bits
  SetField("esBnsMode", "-65535");
  SetField("esSprs", "-1");  // the bit pattern of -1
  Click("Save");
  EXPECT_EQ(Engine().GameCols, 0);
  EXPECT_EQ(Engine().TimerNew, 0);
  EXPECT_EQ(Engine().LineAdd, 0);
  EXPECT_EQ(Engine().CostOfRow, 1);
  EXPECT_EQ(Engine().BonusMode, 1);
  EXPECT_EQ(Engine().SpriteSet, 4294967295u);
  SetField("esSprs", "4294967296");  // beyond 32 bits: no number
  Click("Save");
  EXPECT_EQ(Engine().SpriteSet, 0u);
  // The next game clamps what the window let through.
  main_->Command(2);
  EXPECT_EQ(Engine().GameCols, 10);
  EXPECT_EQ(Engine().Interval, 100);
}

TEST_F(SettingsWindowTest, MaskTextAcceptsTheWholeUnsignedRange) {
  EXPECT_EQ(EditTextToMask("127"), 127u);
  EXPECT_EQ(EditTextToMask("2147483648"), 2147483648u);
  EXPECT_EQ(EditTextToMask("-2147483648"), 2147483648u);
  EXPECT_EQ(EditTextToMask("-2147483649"), 0u);
  EXPECT_EQ(EditTextToMask(" 5"), 0u);
  EXPECT_EQ(EditTextToMask("5x"), 0u);
  EXPECT_EQ(EditTextToMask("99999999999999999999999"), 0u);
  EXPECT_FALSE(MaskFromText("").has_value());
  EXPECT_EQ(MaskFromText("0"), 0u);
}

TEST_F(SettingsWindowTest, CloseSavesButTheBorderIconDoesNot) {
  Open();
  SetField("esNew", "-20");
  Grv018->close();
  FlushDeletes();
  EXPECT_EQ(Grv018, nullptr);
  EXPECT_EQ(Engine().DropAdd, -7);

  Open();
  SetField("esNew", "-20");
  Click("Close");
  FlushDeletes();
  EXPECT_EQ(Grv018, nullptr);
  EXPECT_EQ(Engine().DropAdd, -20);
}

TEST_F(SettingsWindowTest, SavingDuringAGameActsOnTheRulesAtOnce) {
  main_->Command(2);
  Engine().Tick();
  Open();
  SetField("esNew", "-50");
  SetField("esWdt", "20");
  Click("Save");
  const int before = Engine().Interval;
  const int drops = Engine().Drops;
  while (Engine().Drops == drops && Engine().State != StateGameOver) Engine().Tick();
  EXPECT_EQ(Engine().Interval, before - 50);
  EXPECT_EQ(Engine().PlayCols(), 10);  // the board waits for the next game
  main_->Command(2);
  EXPECT_EQ(Engine().PlayCols(), 20);
}

}  // namespace
}  // namespace gravlo
