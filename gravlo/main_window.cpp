#include "gravlo/main_window.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <limits>

#include "foundation/controls.h"
#include "foundation/duration.h"
#include "foundation/ini.h"
#include "foundation/keys.h"
#include "foundation/random.h"
#include "foundation/sysinit.h"
#include "gravlo/window_factory.h"
#include "gravlo/stats_window.h"
#include "gravlo/logo.h"
#include "gravlo/variantstats.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/jpeg.h"
#include "platform/stream.h"
#include "platform/text.h"

namespace gravlo {

QPointer<TGrv010> Grv010;

namespace {

const char* const kSection = "Grv010";
const QColor kBarColour(81, 78, 64);
const char* const kPlaying = "   G R A V L O - playing";
const char* const kPausedText = "   G R A V L O - paused";

int32_t Inc(int32_t value) { return value < std::numeric_limits<int32_t>::max() ? value + 1 : value; }

// Settings are read with the current value as default. A value that is there
// but no number keeps the default: a damaged line must not stop the program.
int32_t ReadInt(const char* key, int32_t current) {
  try {
    return foundation::IniReadValue(foundation::AppIni, kSection, key, foundation::Variant(current)).AsInt();
  } catch (const foundation::ConvertError&) {
    return current;
  }
}

std::string ReadText(const char* key, const std::string& current) {
  return foundation::IniReadValue(foundation::AppIni, kSection, key, foundation::Variant(current)).AsString();
}

// A damaged mask keeps the current one.
uint32_t ReadMask(const char* key, uint32_t current) {
  return MaskFromText(ReadText(key, std::to_string(current))).value_or(current);
}

void WriteValue(const char* key, const foundation::Variant& value) {
  foundation::IniWriteValue(foundation::AppIni, kSection, key, value);
}

// Reloads the application ini; when the file cannot be read the lines held
// before stay, so the save that follows never wipes settings and results.
void ReloadKeepingLines(const std::function<void()>& load) {
  foundation::StringList kept;
  if (foundation::AppIni != nullptr) kept = *foundation::AppIni;
  try {
    if (load) load();
  } catch (const std::exception&) {
    if (foundation::AppIni != nullptr) *foundation::AppIni = kept;
  }
}

// A label of the left panel: white text on the bar colour.
QLabel* BarLabel(const char* text, QWidget* parent, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* l = new QLabel(QString::fromLatin1(text), parent);
  l->setAlignment(align);
  return l;
}

}  // namespace

// The conversion to a 16-bit field keeps the low 16 bits (modular in C++20).
#define GRAVLO_SETTING(field)                                                       \
  EngineSetting {                                                                   \
    "pGrv." #field, [](const TGravlo& g) -> int32_t { return g.field; },            \
        [](TGravlo& g, int32_t v) { g.field = static_cast<decltype(g.field)>(v); }  \
  }
const std::array<EngineSetting, 13> kEngineSettings = {
    GRAVLO_SETTING(GameCols),  GRAVLO_SETTING(GameRows),  GRAVLO_SETTING(TimerNew),  GRAVLO_SETTING(DropAdd),
    GRAVLO_SETTING(LineAdd),   GRAVLO_SETTING(LineAddEx), GRAVLO_SETTING(BonusMode), GRAVLO_SETTING(BonusGain),
    GRAVLO_SETTING(BonusZero), GRAVLO_SETTING(BonusNew),  GRAVLO_SETTING(CostOfTmr), GRAVLO_SETTING(CostOfRem),
    GRAVLO_SETTING(CostOfRow),
};
#undef GRAVLO_SETTING

const EngineSetting* FindEngineSetting(std::string_view key) {
  for (const EngineSetting& s : kEngineSettings) {
    if (key == s.key) return &s;
  }
  return nullptr;
}

std::optional<uint32_t> MaskFromText(std::string_view text) {
  int64_t value = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  const auto [end, error] = std::from_chars(first, last, value);
  if (text.empty() || error != std::errc() || end != last) return std::nullopt;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  return static_cast<uint32_t>(value);
}

TGrv010::TGrv010(QWidget* parent) : foundation::TFormSx(kSection, parent, Qt::Window) {
  setWindowTitle("Gravlo");
  LoadIni = foundation::LoadAppIni;
  buildComponents();

  // The engine, with the logo as its picture before the first game.
  engine_ = std::make_unique<TGravlo>();
  engine_->SetClientSize(pnGme_->width(), pnGme_->height());
  engine_->OnInvalidate = [this](TGravlo&) { pnGme_->update(); };
  logo_ = CreateLogoPicture();
  engine_->Logo = logo_.get();
  engine_->OnGameStarted = [this](TGravlo&) { GameStarted(); };
  engine_->OnGameOver = [this](TGravlo&) { GameFinished(); };
  engine_->OnBoardChange = [this](TGravlo&) { ShowCounters(); };

  // One seed per run, from the clock.
  static bool seeded = false;
  if (!seeded) {
    seeded = true;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    foundation::SetRandSeed(static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
  }

  RestorePlacement();
  readSettings();
  pnGme_->setFocus();
}

TGrv010::~TGrv010() {
  FinishForm();
  if (Grv010 == this) Grv010 = nullptr;
}

void TGrv010::buildComponents() {
  QFrame* pnTop = buildTopPanel();
  QFrame* pnLft = buildLeftPanel();
  buildGamePanel();
  buildInfoLine();
  buildTimer();

  auto* middle = new QHBoxLayout;
  middle->setContentsMargins(0, 0, 0, 0);
  middle->setSpacing(0);
  middle->addWidget(pnLft);
  middle->addWidget(pnGme_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pnTop);
  layout->addLayout(middle, 1);
  layout->addWidget(lInfo_);
  resize(440, 640);
}

// The panels of the side bars: white on the bar colour.
QPalette TGrv010::barPalette() const {
  QPalette bar = palette();
  bar.setColor(QPalette::Window, kBarColour);
  bar.setColor(QPalette::WindowText, Qt::white);
  return bar;
}

// The top bar: the player's name and the title.
QFrame* TGrv010::buildTopPanel() {
  const QPalette bar = barPalette();
  auto* pnTop = new QFrame(this);
  pnTop->setObjectName("pnTop");
  pnTop->setFixedHeight(26);
  pnTop->setAutoFillBackground(true);
  pnTop->setPalette(bar);
  auto* top = new QHBoxLayout(pnTop);
  top->setContentsMargins(0, 2, 4, 2);
  top->setSpacing(2);
  auto* label8 = BarLabel(" Player ", pnTop);
  label8->setObjectName("Label8");
  cPlr_ = new foundation::TComboSx(pnTop);
  cPlr_->setObjectName("cPlr");
  cPlr_->setEditable(true);
  cPlr_->setInsertPolicy(QComboBox::NoInsert);
  cPlr_->setMaxVisibleItems(20);
  cPlr_->setMinimumWidth(140);
  cPlr_->setEditText("Anonymous");
  cPlr_->setProperty("Hint", "Player name: Enter keeps it in the list, F6 sorts the list");
  cPlr_->setPalette(QApplication::palette());
  lHdr_ = BarLabel("   G R A V L O ", pnTop);
  lHdr_->setObjectName("lHdr");
  QFont hdrFont = lHdr_->font();
  hdrFont.setBold(true);
  lHdr_->setFont(hdrFont);
  top->addWidget(label8);
  top->addWidget(cPlr_);
  top->addWidget(lHdr_, 1);
  return pnTop;
}

// The left bar: the game buttons, the counters, the bonus actions with their
// use counters, and the buttons that open the other windows.
QFrame* TGrv010::buildLeftPanel() {
  const QPalette bar = barPalette();
  auto* pnLft = new QFrame(this);
  pnLft->setObjectName("pnLft");
  pnLft->setFixedWidth(88);
  pnLft->setAutoFillBackground(true);
  pnLft->setPalette(bar);
  auto* left = new QVBoxLayout(pnLft);
  left->setContentsMargins(4, 6, 4, 6);
  left->setSpacing(2);

  auto button = [&](const char* name, const char* caption, int tag) {
    auto* b = new QPushButton(QString::fromLatin1(caption), pnLft);
    b->setObjectName(name);
    b->setProperty("Tag", tag);
    b->setFocusPolicy(Qt::NoFocus);
    b->setPalette(QApplication::palette());
    connect(b, &QPushButton::clicked, this, &TGrv010::Button1Click);
    return b;
  };
  QFont counterFont = font();
  counterFont.setBold(true);
  // A caption line and the counter under it, right-aligned.
  auto counter = [&](const char* labelName, const char* caption, const char* name) {
    auto* l = BarLabel(caption, pnLft);
    l->setObjectName(labelName);
    auto* c = BarLabel("", pnLft, Qt::AlignRight | Qt::AlignVCenter);
    c->setObjectName(name);
    c->setFont(counterFont);
    left->addWidget(l);
    left->addWidget(c);
    return c;
  };

  left->addWidget(button("Button2", "New - F2", kCommandNewGame));
  left->addWidget(button("Button1", "Pause - F3", kCommandPause));
  left->addSpacing(6);
  lcLin_ = counter("Label1", "Lines ", "lcLin");
  lcBns_ = counter("Label5", " Bonuses", "lcBns");
  lcInt_ = counter("Label3", "Timer", "lcInt");
  left->addSpacing(4);

  buildBonusActions(pnLft, left, counterFont);

  lcTop_ = counter("Label4", "TopRow  . . .", "lcTop");
  lcDrp_ = counter("Label2", "Sprites . . .", "lcDrp");
  lcTme_ = counter("Label6", " Time", "lcTme");
  left->addStretch(1);
  left->addWidget(button("Button3", "Stats", kStatsFormId));
  left->addWidget(button("Button4", "Settings", kSettingsFormId));
  left->addWidget(button("Button5", "About", kAboutFormId));
  return pnLft;
}

// The three bonus actions, each with its use counter underneath.
void TGrv010::buildBonusActions(QFrame* pnLft, QVBoxLayout* left, const QFont& counterFont) {
  auto* bonus = new QGridLayout;
  bonus->setSpacing(1);
  const struct {
    const char* name;
    const char* caption;
    int tag;
    const char* hint;
  } kBonus[] = {{"bcRes", "F5", BonusResetTimer, "Reset the timer interval (costs bonuses)"},
                {"SpeedButton1", "F6", BonusRemoveRow, "Remove the bottom line (costs bonuses)"},
                {"bsLin", "F7", BonusAddRow, "Add a line to the game (costs bonuses)"}};
  for (int i = 0; i < 3; ++i) {
    auto* b = new QToolButton(pnLft);
    b->setObjectName(kBonus[i].name);
    b->setText(kBonus[i].caption);
    b->setToolTip(kBonus[i].hint);
    b->setProperty("Tag", kBonus[i].tag);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setMinimumWidth(24);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(b, &QToolButton::clicked, this, &TGrv010::Button1Click);
    bonus->addWidget(b, 0, i);
  }
  left->addLayout(bonus);
  auto* uses = new QGridLayout;
  uses->setHorizontalSpacing(4);
  uses->setVerticalSpacing(0);
  const struct {
    const char* labelName;
    const char* caption;
    const char* name;
    QLabel** field;
  } kUses[] = {{"Label7", " Resets", "lsTmr", &lsTmr_},
               {"Label9", " Rems", "lsRem", &lsRem_},
               {"Label11", " Lines", "lsAdd", &lsAdd_}};
  for (int i = 0; i < 3; ++i) {
    auto* l = BarLabel(kUses[i].caption, pnLft);
    l->setObjectName(kUses[i].labelName);
    auto* c = BarLabel("", pnLft, Qt::AlignRight | Qt::AlignVCenter);
    c->setObjectName(kUses[i].name);
    c->setFont(counterFont);
    uses->addWidget(l, i, 0);
    uses->addWidget(c, i, 1);
    *kUses[i].field = c;
  }
  left->addLayout(uses);
  left->addSpacing(4);
}

// The game surface: the engine draws on it, and it takes the arrow keys.
void TGrv010::buildGamePanel() {
  pnGme_ = new foundation::TPanelSx(this);
  pnGme_->setObjectName("pnGme");
  pnGme_->SetCustomDraw(true);
  pnGme_->SetWantArrows(true);
  pnGme_->SetAlign(foundation::TAlign::Client);
  pnGme_->setFocusPolicy(Qt::StrongFocus);
  pnGme_->setAttribute(Qt::WA_OpaquePaintEvent);
  pnGme_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  pnGme_->setMinimumSize(150, 200);
  // Shown in the hint line when the panel has the focus, not as a tooltip
  // that would cover the game under the mouse.
  pnGme_->setProperty("Hint", "F2 new game, F3 pause, arrows and Space play, F5-F7 bonuses");
  pnGme_->OnPaint = [this](foundation::TPanelSx*) { pnGmePaint(); };
  pnGme_->OnKeyDown = [this](foundation::TPanelSx*, int& key, Qt::KeyboardModifiers) { xGme_KeyDown(key); };
  pnGme_->installEventFilter(this);
  cPlr_->installEventFilter(this);

}

// The hint line under the game.
void TGrv010::buildInfoLine() {
  lInfo_ = new QLabel(this);
  lInfo_->setObjectName("lInfo");
  lInfo_->setContentsMargins(4, 1, 4, 1);
  lInfo_->setTextFormat(Qt::PlainText);
  // A long hint is cut at the window's edge; it must not widen the window.
  lInfo_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

}

// The fall's timer; the engine's interval is copied into it after every event.
void TGrv010::buildTimer() {
  timer1_ = new QTimer(this);
  timer1_->setObjectName("Timer1");
  timer1_->setTimerType(Qt::PreciseTimer);
  timer1_->setInterval(engine_ ? engine_->Interval : 1000);
  connect(timer1_, &QTimer::timeout, this, &TGrv010::Timer1Timer);

}

void TGrv010::readSettings() {
  TGravlo& g = *engine_;
  for (const EngineSetting& s : kEngineSettings) s.set(g, ReadInt(s.key, s.get(g)));
  g.SpriteSet = ReadMask("pGrv.SpriteSet", g.SpriteSet);
  cPlr_->setEditText(platform::toQString(ReadText("cPlr.Text", platform::fromQString(cPlr_->currentText()))));
  foundation::StringList players;
  foundation::IniReadList(foundation::AppIni, kSection, "cPlr", &players, 0);
  const QString text = cPlr_->currentText();
  for (int i = 0; i < players.Count(); ++i) cPlr_->addItem(platform::toQString(players[i]));
  cPlr_->setEditText(text);
  GamesStarted = ReadInt("GamesStarted", GamesStarted);
  GamesFinished = ReadInt("GamesFinished", GamesFinished);
  StatEntries = ReadInt("StatEntries", StatEntries);
  Players = ReadInt("Players", Players);
}

void TGrv010::FormDestroy() {
  // The placement routine has just reloaded the ini and written this
  // window's section anew; the settings follow it.
  const TGravlo& g = *engine_;
  for (const EngineSetting& s : kEngineSettings) WriteValue(s.key, s.get(g));
  WriteValue("pGrv.SpriteSet", std::to_string(g.SpriteSet));
  WriteValue("StatEntries", StatEntries);
  WriteValue("Players", Players);
  WriteValue("cPlr.Text", platform::fromQString(cPlr_->currentText()));
  foundation::StringList players;
  for (int i = 0; i < cPlr_->count(); ++i) players.Add(platform::fromQString(cPlr_->itemText(i)));
  foundation::IniWriteList(foundation::AppIni, kSection, "cPlr", &players, 0);
  WriteValue("GamesStarted", GamesStarted);
  WriteValue("GamesFinished", GamesFinished);
  foundation::SaveAppIni();
}

void TGrv010::setTimerInterval(int32_t interval) {
  // A Qt timer starts over on every setInterval, and a period of 0 would spin.
  interval = std::max<int32_t>(interval, 1);
  if (timer1_->interval() != interval) timer1_->setInterval(interval);
}

void TGrv010::xGme_KeyDown(int& key) {
  TGravlo& g = *engine_;
  if (g.InPlay() && !Paused) {
    switch (key) {
      case foundation::VK_SPACE:
      case foundation::VK_DOWN:
        g.Tick();
        key = 0;
        break;
      case foundation::VK_LEFT:
        g.MoveLeft();
        key = 0;
        break;
      case foundation::VK_UP:
        g.Rotate();
        key = 0;
        break;
      case foundation::VK_RIGHT:
        g.MoveRight();
        key = 0;
        break;
      case foundation::VK_F5:
        g.BonusAction(BonusResetTimer);
        key = 0;
        break;
      case foundation::VK_F6:
        g.BonusAction(BonusRemoveRow);
        key = 0;
        break;
      case foundation::VK_F7:
        g.BonusAction(BonusAddRow);
        key = 0;
        break;
      case foundation::VK_F8:
        g.BonusAction(BonusUnassigned);
        key = 0;
        break;
      default:
        break;
    }
  }
  if (key == foundation::VK_F2) {
    Command(kCommandNewGame);
    key = 0;
  } else if (key == foundation::VK_F3) {
    Command(kCommandPause);
    key = 0;
  }
  if (key == 0) FormPaint();
}

void TGrv010::xGme_MouseDown(Qt::MouseButtons buttons) {
  pnGme_->setFocus();
  TGravlo& g = *engine_;
  if (Paused || !g.InPlay()) return;
  if (buttons & Qt::LeftButton) g.MoveLeft();
  if (buttons & Qt::RightButton) g.MoveRight();
  if (buttons & Qt::MiddleButton) g.Rotate();
  FormPaint();
}

bool TGrv010::FormMouseWheel(int delta) {
  TGravlo& g = *engine_;
  if (Paused || !g.InPlay() || focusWidget() != pnGme_) return false;
  if (delta < 0)
    g.Rotate();
  else
    g.Tick();
  lInfo_->setText(QString::number(delta));
  // Repainted when the event loop next runs; events are never processed
  // inside this one, so a timer tick cannot run in the middle of a move.
  pnGme_->update();
  return true;
}

void TGrv010::Timer1Timer() {
  TGravlo& g = *engine_;
  if (!Paused) {
    // Only a new game's first piece and a game in play move on.
    if (g.State != StateNewGame && !g.InPlay()) return;
    g.Tick();
    FormPaint();
  }
  if (g.InPlay()) {
    const uint32_t elapsed = g.TickCount() - g.StartTick;
    showGameTime(elapsed);
  }
}

void TGrv010::Button1Click() {
  const QObject* s = sender();
  if (s != nullptr) Command(s->property("Tag").toInt());
  pnGme_->setFocus();
}

void TGrv010::Command(int command) {
  TGravlo& g = *engine_;
  if (command == kCommandNewGame) {
    g.NewGame();
    timer1_->start();
  } else if (command == kCommandPause) {
    if (g.InPlay()) {
      Paused = !Paused;
      lHdr_->setText(Paused ? kPausedText : kPlaying);
    }
  } else if (command >= BonusResetTimer && command <= BonusUnassigned) {
    g.BonusAction(static_cast<uint8_t>(command));
    FormPaint();
  } else if (command >= kFirstFormId && command <= kLastFormId) {
    ShowFormById(command);
  }
}

void TGrv010::GameStarted() {
  TGravlo& g = *engine_;
  setTimerInterval(g.Interval);
  Paused = false;
  ShowCounters();
  timer1_->start();
  // The game is filed under the variant it starts with, whatever the settings
  // say when it ends.
  sections_ = VariantSectionsOf(g);
  lHdr_->setText(kPlaying);
  GamesStarted = Inc(GamesStarted);
  foundation::ComboPushRecent(cPlr_, std::max(Players, 0));
  ReloadKeepingLines(LoadIni);
  if (foundation::AppIni != nullptr) {
    CountGameStarted(*foundation::AppIni, sections_.av);
    foundation::SaveAppIni();
  }
}

void TGrv010::ShowCounters() {
  const TGravlo& g = *engine_;
  setTimerInterval(g.Interval);
  lcInt_->setText(QString::number(g.Interval) + " ");
  lcTop_->setText(QString("%1/%2 ").arg(g.TopRow).arg(g.RowCount()));
  lcDrp_->setText(QString::number(g.Drops) + " ");
  lcLin_->setText(QString::number(g.Lines) + " ");
  lcBns_->setText(QString("%1/%2 ").arg(g.BonusesLeft).arg(g.Bonuses));
  lsTmr_->setText(QString::number(g.TimerResets));
  lsRem_->setText(QString::number(g.LinesRemoved));
  lsAdd_->setText(QString::number(g.LinesAdded));
}

void TGrv010::showGameTime(int64_t ms) {
  lcTme_->setText(QString::fromStdString(foundation::DurationToStr(0, 1, '.', ms, '.') + " "));
}

void TGrv010::GameFinished() {
  TGravlo& g = *engine_;
  timer1_->stop();
  lHdr_->setText("   GAME OVER");
  GamesFinished = Inc(GamesFinished);
  ShowCounters();
  // The clock shows the whole game, not the moment of the last timer tick.
  showGameTime(g.TimeUsed);

  ReloadKeepingLines(LoadIni);
  if (foundation::AppIni == nullptr) return;
  // A game that was never started through this window is filed under the
  // variant it ends with.
  if (sections_.av.empty()) sections_ = VariantSectionsOf(g);
  RecordGameOver(*foundation::AppIni, g, sections_, platform::fromQString(cPlr_->currentText()),
                 std::max(StatEntries, 0));
  foundation::SaveAppIni();

  if (Grv016 != nullptr && platform::fromQString(Grv016->VariantCombo()->currentText()) == sections_.ws) {
    Grv016->Command(TGrv016::kCommandLoadVariant);
  }
}

void TGrv010::cPlrKeyDown(int& key) {
  if (key == foundation::VK_RETURN) {
    foundation::ComboPushRecent(cPlr_, std::max(Players, 0));
    pnGme_->setFocus();
  } else if (key == foundation::VK_F6) {
    // Sorted once, ignoring case, as a sorted string list would.
    const QString text = cPlr_->currentText();
    QStringList items;
    for (int i = 0; i < cPlr_->count(); ++i) items << cPlr_->itemText(i);
    std::stable_sort(items.begin(), items.end(),
                     [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    cPlr_->clear();
    cPlr_->addItems(items);
    cPlr_->setEditText(text);
  }
}

void TGrv010::xCtl_Enter(QWidget* control) { lInfo_->setText(control->property("Hint").toString()); }

void TGrv010::FormPaint() { pnGme_->update(); }

void TGrv010::pnGmePaint() {
  QPainter* painter = pnGme_->Canvas();
  if (painter == nullptr) return;
  platform::Canvas canvas(painter, platform::Rect{0, 0, pnGme_->width(), pnGme_->height()});
  engine_->Paint(canvas);
}

void TGrv010::xGme_Resize() {
  engine_->SetClientSize(pnGme_->width(), pnGme_->height());
  engine_->ResizeCells();
}

// Only the vertical wheel plays: a sideways turn (tilt wheel, touchpad) has
// no vertical delta and must not count as a forward turn.
static bool IsVerticalTurn(const QWheelEvent& event) { return event.angleDelta().y() != 0; }

void TGrv010::wheelEvent(QWheelEvent* event) {
  if (IsVerticalTurn(*event) && FormMouseWheel(event->angleDelta().y()))
    event->accept();
  else
    QWidget::wheelEvent(event);
}

bool TGrv010::eventFilter(QObject* watched, QEvent* event) {
  if (watched == pnGme_) {
    switch (event->type()) {
      // The second press of a quick double click arrives as a double click;
      // it is a press like the first, or fast clicking would lose every other.
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
        xGme_MouseDown(static_cast<QMouseEvent*>(event)->buttons());
        return true;
      case QEvent::Wheel: {
        auto* we = static_cast<QWheelEvent*>(event);
        if (IsVerticalTurn(*we)) FormMouseWheel(we->angleDelta().y());
        we->accept();
        return true;
      }
      case QEvent::Resize:
        if (engine_) xGme_Resize();
        break;
      case QEvent::FocusIn:
        xCtl_Enter(pnGme_);
        break;
      default:
        break;
    }
  } else if (watched == cPlr_) {
    if (event->type() == QEvent::KeyPress) {
      int key = foundation::VirtualKeyFromEvent(*static_cast<QKeyEvent*>(event));
      if (key == foundation::VK_RETURN || key == foundation::VK_F6) {
        cPlrKeyDown(key);
        return true;
      }
    } else if (event->type() == QEvent::FocusIn) {
      xCtl_Enter(cPlr_);
    }
  }
  return foundation::TFormSx::eventFilter(watched, event);
}

}  // namespace gravlo
