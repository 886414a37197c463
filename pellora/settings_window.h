#pragma once
// The settings and statistics window of the card game (TSol043, ini section
// "Sol043", caption "Settings - Dating"): the game option record, the slot
// counts of the game record and the table's FPS in editable controls, written
// back on "Save", and the statistics of the running game's configuration.
//
// Save checks every field before it writes any: a bad field is named in a
// message box and gets the focus, and nothing is written. At most one window
// exists (the main window's Sol043()); it frees itself when closed.
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedLayout>
#include <QTableWidget>
#include <array>
#include <cstdint>
#include <string>

#include "foundation/placement.h"

namespace pellora {

class TSol040;

// Commands of the window's buttons.
enum SolSettingsCommand : int32_t {
  ccLoad = 1,
  ccSave = 2,
  ccStats = 61,
  ccStatsRunning = 62,
  ccTabBase = 900,
};
// Tab values (the tab buttons' values).
enum SolSettingsTab : int { tabGame = 1, tabVisual = 2, tabDev = 6 };

inline constexpr int kStatsGridMaxRows = 26;

class TSol043 : public foundation::TFormSx {
 public:
  explicit TSol043(TSol040* main, QWidget* parent = nullptr);
  ~TSol043() override;

  void RunCommand(int32_t command);
  void ShowSettings(int part);
  // True when every field was valid and written.
  bool ApplySettings(int part);
  void ShowStats(int mode);
  void ShowTab(int value);
  int TabValue() const { return tab_; }
  bool Dirty() const { return dirty_; }

  // ---- For tests ----
  QWidget* Page(int value) const;
  QLineEdit* Edit(const char* name) const;
  QCheckBox* Check(const char* name) const;
  QPushButton* Button(const char* name) const;
  QTableWidget* AnimationGrid() const { return gAni_; }
  QTableWidget* StatsGrid() const { return gSts_; }
  QLabel* StatLabel(const char* name) const;

 protected:
  void FormDestroy() override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void buildComponents();
  QWidget* buildTabs();
  QWidget* buildGamePage(QWidget* pages);
  QWidget* buildVisualPage(QWidget* pages);
  QWidget* buildDevPage(QWidget* pages);
  QWidget* buildBottom();
  QLineEdit* AddEdit(QWidget* parent, const char* name, const char* hint);
  QCheckBox* AddCheck(QWidget* parent, const char* name, const char* caption, uint32_t bit);
  void SetDirty();
  void UpdateButtons();
  QLabel* AddStatLabel(QWidget* parent, const char* name);

  TSol040* main_;
  bool dirty_ = false;
  bool filling_ = false;
  int tab_ = tabGame;
  QWidget* panGme_ = nullptr;
  QWidget* panVis_ = nullptr;
  QWidget* panDev_ = nullptr;
  QWidget* panNone_ = nullptr;
  QStackedLayout* stack_ = nullptr;
  QButtonGroup* tabs_ = nullptr;
  QButtonGroup* deck_ = nullptr;
  QTableWidget* gAni_ = nullptr;
  QTableWidget* gSts_ = nullptr;
  QPushButton* bcRun01_ = nullptr;
  QPushButton* bcRun02_ = nullptr;
};

}  // namespace pellora
