#pragma once
// The main window of the card game (TSol040, ini section "Sol040"): the board
// and the moving card box, the names and commands of the top bar, the counters
// of the status bar, and the settings it keeps in the application ini. The
// rules live in SolGame; the window is its view (flights, pumped pauses, info
// text, outcome labels, counters) and hands it the board's mouse.
//
// Closing is deferred while the game is busy (a deal, a drag, an animation,
// an undo step): the game's loop runs inside our event handlers and must never
// lose its table. The close request is carried out when the step ends.
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/controls.h"
#include "foundation/placement.h"
#include "pellora-lib/drawbox.h"
#include "pellora/game.h"
#include "pellora/gamebox.h"
#include "pellora/table.h"
#include "pellora/textbase.h"

namespace pellora {

class TSol043;
class TSol048;

// The commands of the buttons and popups (the controls' tags).
enum SolCommand : int32_t {
  cmBuildBoard = 1,
  cmDeal = 2,
  cmEvaluate = 3,
  cmUndo = 11,
  cmRedo = 12,
  cmNothing = 21,
  cmDealAgain = 22,
  cmLoadStats = 62,
  cmSaveStats = 63,
  cmSettings = 83,
  cmTextbase = 88,
};

// Activation states of the window.
enum SolActivation : uint8_t { saNone = 0, saFirst = 1, saDeactivated = 2, saActive = 3, saDestroyed = 9 };

inline constexpr int kRecentNames = 20;

class TSol040 : public foundation::TFormSx, public SolGameView {
 public:
  explicit TSol040(QWidget* parent = nullptr);
  ~TSol040() override;

  void RunCommand(int32_t command);
  void FormActivate();
  void FormDeactivate();

  // ---- SolGameView ----
  SolCardBox& MovingBox() override { return *movingCard_; }
  void Fly(TSolTbl& table, SolCardBox& box, int slot, int16_t speed) override;
  void Repaint() override;
  void ProcessEvents() override;
  void Pause(uint32_t ms) override;
  void SetInfo(const std::string& text) override;
  void ShowOutcome(SolOutcome which, const std::optional<SolOutcomeText>& text) override;
  void HideOutcome(SolOutcome which) override;
  void ShowCounts() override;

  // ---- For the program and its tests ----
  TSolTbl& Table() { return *table_; }
  SolGame& Game() { return *game_; }
  TextBase& Textbase() { return textbase_; }
  TDrawBox* Board() { return pnGme_; }
  TDrawBox* MovingCardBox() { return pMov_; }
  QComboBox* PlayerCombo() { return cPlr_; }
  QComboBox* BrideCombo() { return cBride_; }
  QComboBox* GroomCombo() { return cGroom_; }
  QLineEdit* LayoutEdit() { return eLay_; }
  QLabel* InfoLabel() { return lInfo_; }
  QWidget* TopPanel() { return pnTop_; }
  QWidget* StatusBar() { return pnBottom_; }
  QLabel* CounterLabel(const char* name) const;
  QLabel* OutcomeLabel(SolOutcome which) const { return outcome_.at(static_cast<size_t>(which)); }
  QPushButton* CommandButton(int32_t command) const;
  QMenu* BridePopup() { return mB_; }
  QMenu* GroomPopup() { return mG_; }
  const std::string& StatsFile() const { return statsFile_; }
  const std::string& TbFile() const { return tbFile_; }
  uint8_t Activation() const { return activation_; }
  // The settings window and the text-base editor while they are open (each
  // frees itself when closed; the reference then reads null).
  TSol043* Sol043() const;
  TSol048* Sol048() const;
  bool ClosePending() const { return closePending_; }

 protected:
  void FormDestroy() override;
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void showEvent(QShowEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void buildComponents();
  void buildTopPanel();
  QHBoxLayout* buildCommandRow();
  void buildBoard();
  void buildStatusBar();
  void readSettings();
  void bcRun_Click(QObject* sender);
  void xCmb_KeyDown(QComboBox* combo, int key);
  void LoadTextbase(const std::string& fileName);
  static void ShowChild(QWidget* child);
  void FillPopup(QMenu* menu, const std::vector<std::string>& names, int firstCommand);
  // After each handler that may have run a game step: a close asked for
  // meanwhile is carried out now.
  void AfterStep();

  std::unique_ptr<TSolTbl> table_;
  std::unique_ptr<SolGame> game_;
  TextBase textbase_;

  QWidget* pnTop_ = nullptr;
  QWidget* pnBottom_ = nullptr;
  TDrawBox* pnGme_ = nullptr;
  TDrawBox* pMov_ = nullptr;
  std::unique_ptr<DrawBoxCard> movingCard_;
  foundation::TComboSx* cPlr_ = nullptr;
  foundation::TComboSx* cBride_ = nullptr;
  foundation::TComboSx* cGroom_ = nullptr;
  QLineEdit* eLay_ = nullptr;
  QLabel* lInfo_ = nullptr;
  QMenu* mB_ = nullptr;
  QMenu* mG_ = nullptr;
  std::array<QLabel*, 3> outcome_{};
  std::array<std::string, 3> outcomeDefault_{};

  QPointer<TSol043> sol043_;
  QPointer<TSol048> sol048_;
  std::string statsFile_;
  std::string tbFile_;
  // The "BoardFile" line as the user wrote it (the key is never written from
  // the engine's value; the user's own line is kept as it was).
  bool boardFileSet_ = false;
  std::string boardFileText_;
  uint8_t activation_ = saNone;
  uint8_t firstActivation_ = 0;
  bool closePending_ = false;
  bool closing_ = false;
  int stepDepth_ = 0;
};

}  // namespace pellora
