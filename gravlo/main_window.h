#pragma once
// TGrv010: Gravlo's main window and the owner of the game. It turns keys,
// mouse buttons, the wheel and its timer into engine calls, shows the
// counters, keeps the player list, keeps the game settings in the application
// ini and files every finished game under its variant.
#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/placement.h"
#include "gravlo/gravlo.h"
#include "gravlo/variantstats.h"

class QFont;
class QFrame;
class QLabel;
class QPalette;
class QVBoxLayout;
class QPushButton;
class QTimer;
class QToolButton;

namespace platform {
class Graphic;
}

namespace foundation {
class TPanelSx;
class TComboSx;
}  // namespace foundation

namespace gravlo {

class TGrv010 : public foundation::TFormSx {
  Q_OBJECT
 public:
  explicit TGrv010(QWidget* parent = nullptr);
  ~TGrv010() override;

  TGravlo& Engine() { return *engine_; }
  const TGravlo& Engine() const { return *engine_; }

  // Window fields.
  bool Paused = false;
  int32_t GamesStarted = 0;   // games started on this computer (all variants)
  int32_t GamesFinished = 0;  // games ended (all variants)
  int32_t StatEntries = 100;  // length limit of a variant's result list
  int32_t Players = 30;       // names kept in the player list

  // Command numbers: kCommandNewGame, kCommandPause, a BonusCode (the bonus
  // actions) or a window id of ShowFormById; others do nothing.
  static constexpr int kCommandNewGame = 2;
  static constexpr int kCommandPause = 3;
  void Command(int command);

  // Handlers, public so that the whole window can be driven without a person.
  // Key codes are the Windows key numbers; a consumed key is set to 0.
  void xGme_KeyDown(int& key);
  void xGme_MouseDown(Qt::MouseButtons buttons);
  // True when the wheel acted on the game (the event counts as handled).
  bool FormMouseWheel(int delta);
  void Timer1Timer();
  void cPlrKeyDown(int& key);
  void FormPaint();

  // The section names under which the running game is filed ("AV..."/"WS..."),
  // fixed when the game starts; empty before the first game.
  const std::string& GameAvSection() const { return sections_.av; }
  const std::string& GameWsSection() const { return sections_.ws; }

  // How the window reloads the application ini before it files a game (the
  // foundation's LoadAppIni; replaceable to try a failing file).
  std::function<void()> LoadIni;

  QTimer* Timer1() const { return timer1_; }
  foundation::TPanelSx* GamePanel() const { return pnGme_; }
  foundation::TComboSx* PlayerCombo() const { return cPlr_; }

 protected:
  void FormDestroy() override;
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildComponents();
  QPalette barPalette() const;
  QFrame* buildTopPanel();
  QFrame* buildLeftPanel();
  void buildBonusActions(QFrame* pnLft, QVBoxLayout* left, const QFont& counterFont);
  void buildGamePanel();
  void buildInfoLine();
  void buildTimer();
  void readSettings();
  void writeSettings();
  void Button1Click();
  void GameStarted();
  void ShowCounters();
  void GameFinished();
  void xGme_Resize();
  void xCtl_Enter(QWidget* control);
  void pnGmePaint();
  void setTimerInterval(int32_t interval);
  void showGameTime(int64_t ms);

  std::unique_ptr<TGravlo> engine_;
  std::unique_ptr<platform::Graphic> logo_;  // the picture of iLogo
  VariantSections sections_;

  foundation::TPanelSx* pnGme_ = nullptr;
  foundation::TComboSx* cPlr_ = nullptr;
  QLabel* lHdr_ = nullptr;
  QLabel* lInfo_ = nullptr;
  QLabel* lcLin_ = nullptr;
  QLabel* lcBns_ = nullptr;
  QLabel* lcInt_ = nullptr;
  QLabel* lcTop_ = nullptr;
  QLabel* lcDrp_ = nullptr;
  QLabel* lcTme_ = nullptr;
  QLabel* lsTmr_ = nullptr;
  QLabel* lsRem_ = nullptr;
  QLabel* lsAdd_ = nullptr;
  QTimer* timer1_ = nullptr;
};

// The main window, or nullptr.
extern QPointer<TGrv010> Grv010;

// An integer rule parameter of the engine as the main window keeps it in its
// ini section and the settings window edits it: the ini key and access to the
// field. A 16-bit field keeps the low 16 bits of the number it is given.
struct EngineSetting {
  const char* key;  // "pGrv.GameCols" ...
  int32_t (*get)(const TGravlo&);
  void (*set)(TGravlo&, int32_t);
};
// The 13 integer parameters in the order of the ini section. The shape mask
// (key "pGrv.SpriteSet"), an unsigned number, follows them there.
extern const std::array<EngineSetting, 13> kEngineSettings;
// The parameter of an ini key, or nullptr.
const EngineSetting* FindEngineSetting(std::string_view key);

// The shape mask of a text: a decimal integer from -2^31 to 2^32 - 1 without
// blanks, a negative number standing for its 32-bit pattern; nothing else.
std::optional<uint32_t> MaskFromText(std::string_view text);

}  // namespace gravlo
