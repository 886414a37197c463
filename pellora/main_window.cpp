#include "pellora/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QTimer>
#include <QToolTip>
#include <QHelpEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <exception>
#include <iterator>
#include <vector>

#include "foundation/ini.h"
#include "foundation/sysinit.h"
#include "foundation/variant.h"
#include "pellora/settings_window.h"
#include "pellora/textbase_editor.h"
#include "platform/msgbox.h"
#include "platform/text.h"

namespace pellora {
namespace {

const char* const kSection = "Sol040";
const char* const kCaption = "Dating - Sol 40";
const char* const kTbFileName = "Sol040tb.Ini";
const char* const kBoardFileName = "boPellora.Ini";
const char* const kTagProperty = "Tag";
// The window's default and least sizes, and the room of its controls.
constexpr int kDefaultWidth = 1024, kDefaultHeight = 720;
constexpr int kMinimumWidth = 640, kMinimumHeight = 480;
constexpr int kComboMinWidth = 90;
constexpr int kInfoMinWidth = 100;
constexpr int kButtonPadding = 16;
constexpr int kOutcomePadding = 8;
// The widest value a counter shows in the usual run of a game.
const char* const kWidestCounter = "-1288";
const QString kOutcomeStyle = "QLabel { padding: 2px 8px; font-weight: bold; color: %1; background: %2; }";
// Pauses let events through in slices of this length.
constexpr uint32_t kPumpSliceMs = 10;

std::string ReadText(const char* key, const std::string& current) {
  try {
    return foundation::IniReadValue(foundation::AppIni, kSection, key, foundation::Variant(current)).AsString();
  } catch (const std::exception&) {
    return current;
  }
}

// A caption of the top bar, right-aligned before its field.
QLabel* CaptionLabel(const char* text, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  l->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  return l;
}

void WriteText(const char* key, const std::string& value) {
  foundation::IniWriteValue(foundation::AppIni, kSection, key, foundation::Variant(value));
}

void ReadList(const char* key, QComboBox* combo) {
  foundation::StringList items;
  foundation::IniReadList(foundation::AppIni, kSection, key, &items, 0);
  const QString text = combo->currentText();
  // A damaged ini may hold any number of entries; the list keeps its size.
  for (int i = 0; i < items.Count() && combo->count() < kRecentNames; ++i)
    combo->addItem(platform::toQString(items[i]));
  combo->setEditText(text);
}

void WriteList(const char* key, const QComboBox* combo) {
  foundation::StringList items;
  for (int i = 0; i < combo->count(); ++i) items.Add(platform::fromQString(combo->itemText(i)));
  foundation::IniWriteList(foundation::AppIni, kSection, key, &items, 0);
}

std::string Text(const QComboBox* combo) { return platform::fromQString(combo->currentText()); }

QColor ToQ(platform::Color c) { return QColor(platform::GetRValue(c), platform::GetGValue(c), platform::GetBValue(c)); }

// The counters of the status bar: object name and caption.
struct CounterSpec {
  const char* name;
  const char* caption;
  const char* hint;
};
constexpr CounterSpec kCounters[] = {
    {"lcRnd", "Round", "Rounds of this game"},
    {"lcTrn", "Turn", "Turns of this round"},
    {"lcRmv", "Removed", "Cards removed"},
    {"lcLft", "Left", "Cards left"},
    {"lmStk", "Stack", "Stack counter"},
    {"ltStk", "Total", "Total stack counter"},
    {"ldDPS", "DPS", "Deal counter"},
    {"ldDck", "Deck", "Deck counter"},
    {"lcMT0", "Pairs", "Pairs on the table"},
    {"lcMT1", "B-B", "Pairs of two persons"},
    {"lcMT2", "B-O", "Pairs of a person and an omen"},
    {"lcMT3", "O-O", "Pairs of two omens"},
};

// Counts nested handler runs, so a deferred close waits for the outermost.
class StepScope {
 public:
  explicit StepScope(int& depth) : depth_(depth) { ++depth_; }
  ~StepScope() { --depth_; }
  StepScope(const StepScope&) = delete;
  StepScope& operator=(const StepScope&) = delete;

 private:
  int& depth_;
};

}  // namespace

TSol040::TSol040(QWidget* parent) : foundation::TFormSx(kSection, parent, Qt::Window) {
  setWindowTitle(kCaption);
  buildComponents();
  // 1. The statistics file lies in the program folder with the ini and the
  // board file (a file of the current directory is where earlier versions
  // kept it; it is read when the program folder has none).
  statsFile_ = StatsFilePath();
  // 2. The engine on the board; the game fills the default options.
  table_ = std::make_unique<TSolTbl>();
  table_->MaxWidth = 1;
  table_->MaxHeight = 1;
  SetGameBox(*table_, pnGme_);
  BindMovingBox(*table_, *pMov_);
  movingCard_ = std::make_unique<DrawBoxCard>(*pMov_);
  game_ = std::make_unique<SolGame>(*table_, *this);
  // 3. The placement (this reloads the application ini).
  RestorePlacement();
  // 4. The settings.
  readSettings();
  // 5. The game has bound the table's events to its record and prepared the
  // undo stream.
  ShowCounts();
}

TSol040::~TSol040() {
  FinishForm();
  // The board goes with the window's children; the table lets it go first.
  SetGameBox(*table_, nullptr);
  pMov_->OnPaint = nullptr;
}

void TSol040::buildComponents() {
  resize(kDefaultWidth, kDefaultHeight);
  buildTopPanel();
  buildBoard();
  buildStatusBar();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pnTop_);
  layout->addWidget(pnGme_, 1);
  layout->addWidget(pnBottom_);
  // The smallest size shows every caption, counter and outcome whole: the
  // panels' own minimum when that is more than the least board we allow.
  layout->activate();
  setMinimumSize(layout->minimumSize().expandedTo(QSize(kMinimumWidth, kMinimumHeight)));
}

void TSol040::buildTopPanel() {
  pnTop_ = new QWidget(this);
  pnTop_->setObjectName("pnTop");
  auto* top = new QGridLayout(pnTop_);
  top->setContentsMargins(6, 4, 6, 4);
  top->setHorizontalSpacing(6);
  top->setVerticalSpacing(4);

  auto combo = [this](const char* name, const char* hint) {
    auto* c = new foundation::TComboSx(pnTop_);
    c->setObjectName(name);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setMaxCount(kRecentNames);
    c->setMinimumWidth(kComboMinWidth);
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(6);
    c->setToolTip(hint);
    c->installEventFilter(this);
    if (c->lineEdit() != nullptr) c->lineEdit()->installEventFilter(this);
    return c;
  };
  auto caption = [this](const char* text) { return CaptionLabel(text, pnTop_); };
  cPlr_ = combo("cPlr", "Player");
  cBride_ = combo("cBride", "Bride (right click: names of the text base)");
  cGroom_ = combo("cGroom", "Groom (right click: names of the text base)");
  cBride_->setEditText("Bride");
  cGroom_->setEditText("Groom");

  mB_ = new QMenu(this);
  mB_->setObjectName("mB");
  mG_ = new QMenu(this);
  mG_->setObjectName("mG");
  auto popupOn = [this](QComboBox* c, QMenu* menu) {
    QWidget* w = c->lineEdit() != nullptr ? static_cast<QWidget*>(c->lineEdit()) : c;
    w->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(w, &QWidget::customContextMenuRequested, this, [w, menu](const QPoint& at) {
      if (!menu->isEmpty()) menu->popup(w->mapToGlobal(at));
    });
  };
  popupOn(cBride_, mB_);
  popupOn(cGroom_, mG_);

  lInfo_ = new QLabel(pnTop_);
  lInfo_->setObjectName("lInfo");
  lInfo_->setMinimumWidth(kInfoMinWidth);
  lInfo_->setFrameShape(QFrame::StyledPanel);
  lInfo_->setStyleSheet("QLabel { padding: 2px 6px; font-weight: bold; }");

  auto* names = new QHBoxLayout;
  names->setSpacing(6);
  names->addWidget(caption("Player"));
  names->addWidget(cPlr_, 1);
  names->addWidget(caption("Bride"));
  names->addWidget(cBride_, 1);
  names->addWidget(caption("Groom"));
  names->addWidget(cGroom_, 1);
  names->addWidget(lInfo_, 2);
  top->addLayout(names, 0, 0);
  top->addLayout(buildCommandRow(), 1, 0);
}

QHBoxLayout* TSol040::buildCommandRow() {
  auto caption = [this](const char* text) { return CaptionLabel(text, pnTop_); };
  eLay_ = new QLineEdit(pnTop_);
  eLay_->setObjectName("eLay");
  eLay_->setFixedWidth(eLay_->fontMetrics().horizontalAdvance("-1280") + 12);
  eLay_->setToolTip("Board layout for Init (-128 to 127, empty for 0)");

  auto* commands = new QHBoxLayout;
  commands->setSpacing(4);
  struct ButtonSpec {
    const char* name;
    const char* caption;
    int32_t command;
    const char* hint;
  };
  const ButtonSpec buttons[] = {
      {"bgRun01", "Init", cmBuildBoard, "Build the board"},
      {"bgRun02", "Game", cmDeal, "Deal a new game"},
      {"bgRun03", "Round", cmEvaluate, "Evaluate the board"},
      {"bsNew", "&New", cmDeal, "Deal a new game"},
      {"bsRpl", "&Retry", cmEvaluate, "Evaluate the board"},
      {"bsUnd", "Undo", cmUndo, "Undo one step"},
      {"bsRed", "Redo", cmRedo, "Redo one step"},
      {"bgRun83", "Rules", cmSettings, "Settings and statistics"},
      {"bcReset", "TB", cmTextbase, "Open Textbase"},
  };
  commands->addWidget(caption("Layout"));
  commands->addWidget(eLay_);
  for (const ButtonSpec& b : buttons) {
    auto* button = new foundation::TButtonSx(pnTop_);
    button->setText(b.caption);
    button->setObjectName(b.name);
    button->setProperty(kTagProperty, b.command);
    button->setToolTip(b.hint);
    button->setFocusPolicy(Qt::TabFocus);
    // As narrow as the caption allows when the window is small, the
    // style's usual width when there is room.
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text().remove('&')) + kButtonPadding);
    connect(button, &QPushButton::clicked, this, [this, button] { bcRun_Click(button); });
    commands->addWidget(button, 1);
    if (b.command == cmEvaluate || b.command == cmRedo) commands->addSpacing(8);
  }
  commands->addStretch(2);
  return commands;
}

void TSol040::buildBoard() {
  pnGme_ = new TDrawBox(this);
  pnGme_->setObjectName("pnGme");
  pnGme_->setMouseTracking(false);
  pnGme_->installEventFilter(this);  // the tips of shortened labels
  pMov_ = new TDrawBox(pnGme_);
  pMov_->setObjectName("pMov");
  pMov_->setProperty(kTagProperty, 0);
  // The box flies over the board; the board takes every press, also on it.
  pMov_->setAttribute(Qt::WA_TransparentForMouseEvents);
  pMov_->hide();
  {
    QPalette p = pnGme_->palette();
    p.setColor(QPalette::Window, QColor(30, 98, 62));
    pnGme_->setPalette(p);
    pMov_->setPalette(p);
  }
  pnGme_->OnMouseDown = [this](TDrawBox&, Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
    if (button != Qt::LeftButton) return;
    StepScope step(stepDepth_);
    game_->MouseDown(x, y);
    AfterStep();
  };
  pnGme_->OnMouseMove = [this](TDrawBox&, Qt::KeyboardModifiers, int x, int y) {
    if (!game_->Dragging()) return;
    StepScope step(stepDepth_);
    game_->MouseMove(x, y);
  };
  pnGme_->OnMouseUp = [this](TDrawBox&, Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
    if (button != Qt::LeftButton) return;
    StepScope step(stepDepth_);
    game_->MouseUp(x, y);
    AfterStep();
  };
}

void TSol040::buildStatusBar() {
  // Two rows of counters in aligned columns, the outcome labels beside them;
  // the outcome labels keep their room while hidden, so a game's end never
  // pushes the counters together.
  pnBottom_ = new QWidget(this);
  pnBottom_->setObjectName("pnBottom");
  auto* bottom = new QGridLayout(pnBottom_);
  bottom->setContentsMargins(6, 2, 6, 2);
  bottom->setHorizontalSpacing(4);
  bottom->setVerticalSpacing(2);
  constexpr int kPerRow = static_cast<int>(std::size(kCounters) + 1) / 2;
  const QFontMetrics fm(font());
  int index = 0;
  for (const CounterSpec& c : kCounters) {
    const int row = index / kPerRow;
    const int column = 3 * (index % kPerRow);
    ++index;
    auto* cap = new QLabel(c.caption, pnBottom_);
    cap->setObjectName(QString(c.name) + "Cap");
    cap->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cap->setMinimumWidth(fm.horizontalAdvance(c.caption) + 2);
    auto* value = new QLabel("0", pnBottom_);
    value->setObjectName(c.name);
    value->setToolTip(c.hint);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setFrameShape(QFrame::StyledPanel);
    value->setMinimumWidth(fm.horizontalAdvance(kWidestCounter) + 2 * value->frameWidth() + 4);
    bottom->addWidget(cap, row, column);
    bottom->addWidget(value, row, column + 1);
    bottom->setColumnMinimumWidth(column + 2, 6);
  }
  const int outcomeColumn = 3 * kPerRow;
  bottom->setColumnStretch(outcomeColumn, 1);
  const char* outcomeNames[] = {"liEng", "liWed", "liOvr"};
  // The texts each label may show; its width takes the widest.
  const std::array<std::vector<const char*>, 3> outcomeTexts{
      std::vector<const char*>{kTxtDating, kTxtQuits}, std::vector<const char*>{kTxtMarried, kTxtDivorce},
      std::vector<const char*>{"Game over"}};
  outcomeDefault_ = {kTxtDating, kTxtMarried, "Game over"};
  for (size_t i = 0; i < outcome_.size(); ++i) {
    auto* l = new QLabel(QString::fromLatin1(outcomeDefault_[i].c_str()), pnBottom_);
    l->setObjectName(outcomeNames[i]);
    l->setAlignment(Qt::AlignCenter);
    l->setStyleSheet(kOutcomeStyle.arg("white", "rgb(60,60,60)"));
    l->ensurePolished();
    int width = 0;
    for (const char* t : outcomeTexts[i]) width = std::max(width, l->fontMetrics().horizontalAdvance(t));
    l->setMinimumWidth(width + 2 * kOutcomePadding + 4);
    QSizePolicy keep = l->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    l->setSizePolicy(keep);
    l->hide();
    outcome_[i] = l;
  }
  bottom->addWidget(outcome_[0], 0, outcomeColumn + 1);
  bottom->addWidget(outcome_[1], 0, outcomeColumn + 2);
  bottom->addWidget(outcome_[2], 1, outcomeColumn + 1, 1, 2);
}

void TSol040::readSettings() {
  tbFile_ = ReadText("TbFile", foundation::AppDir + kTbFileName);
  table_->UndoFile = ReadText("UndoFile", table_->UndoFile);
  int first = 0, end = 0, sep = 0;
  boardFileSet_ = foundation::IniFindKey(foundation::AppIni, kSection, "BoardFile", 0, first, end, sep) >= 0;
  boardFileText_ = ReadText("BoardFile", foundation::AppDir + kBoardFileName);
  table_->BoardFile = boardFileText_;
  cPlr_->setEditText(platform::toQString(ReadText("cPlr.Text", Text(cPlr_))));
  ReadList("cPlr", cPlr_);
  cBride_->setEditText(platform::toQString(ReadText("cBride.Text", Text(cBride_))));
  ReadList("cBride", cBride_);
  cGroom_->setEditText(platform::toQString(ReadText("cGroom.Text", Text(cGroom_))));
  ReadList("cGroom", cGroom_);
}

void TSol040::FormActivate() {
  if (activation_ == saDestroyed) return;
  if (table_->Options.ClockState == csPaused) table_->ToggleClock();
  activation_ = activation_ != saNone ? saActive : saFirst;
  if (firstActivation_ & 2) return;
  firstActivation_ = static_cast<uint8_t>(firstActivation_ + 2);
  StepScope step(stepDepth_);
  try {
    game_->BuildBoard(0);
  } catch (const std::exception& e) {
    platform::ShowMessageBox(e.what(), kCaption, platform::MbIconError);
  }
  RunCommand(cmLoadStats);
  LoadTextbase(tbFile_);
  ShowCounts();
  AfterStep();
}

void TSol040::FormDeactivate() {
  if (activation_ == saDestroyed) return;
  if (table_->Options.ClockState == csRunning) table_->ToggleClock();
  activation_ = saDeactivated;
}

void TSol040::FormDestroy() {
  if (activation_ == saDestroyed) return;
  RunCommand(cmSaveStats);
  // The placement has been stored just before (it reloaded the ini and
  // wrote this window's section anew); the settings follow it.
  WriteText("TbFile", tbFile_);
  WriteText("UndoFile", table_->UndoFile);
  if (boardFileSet_) WriteText("BoardFile", boardFileText_);
  WriteText("cPlr.Text", Text(cPlr_));
  WriteList("cPlr", cPlr_);
  WriteText("cBride.Text", Text(cBride_));
  WriteList("cBride", cBride_);
  WriteText("cGroom.Text", Text(cGroom_));
  WriteList("cGroom", cGroom_);
  foundation::SaveAppIni();
  // The child windows store their own sections after ours is on disk.
  delete sol043_.data();
  delete sol048_.data();
  activation_ = saDestroyed;
}

bool TSol040::event(QEvent* e) {
  switch (e->type()) {
    case QEvent::WindowActivate:
      FormActivate();
      break;
    case QEvent::WindowDeactivate:
      FormDeactivate();
      break;
    default:
      break;
  }
  return foundation::TFormSx::event(e);
}

void TSol040::showEvent(QShowEvent* e) {
  foundation::TFormSx::showEvent(e);
  // A platform without window activation (offscreen) still gets the first
  // activation's work once the window is up.
  if (!(firstActivation_ & 2)) {
    QTimer::singleShot(0, this, [this] {
      if (!(firstActivation_ & 2)) FormActivate();
    });
  }
}

void TSol040::closeEvent(QCloseEvent* e) {
  if (game_->Busy() || stepDepth_ > 0) {
    // The running step owns the table; the close follows its end.
    closePending_ = true;
    e->ignore();
    return;
  }
  closePending_ = false;
  foundation::TFormSx::closeEvent(e);
}

void TSol040::AfterStep() {
  if (!closePending_ || closing_ || game_->Busy() || stepDepth_ > 1) return;
  closing_ = true;
  QTimer::singleShot(0, this, [this] {
    closing_ = false;
    if (closePending_ && !game_->Busy() && stepDepth_ == 0) close();
  });
}

bool TSol040::eventFilter(QObject* watched, QEvent* e) {
  if (watched == pnGme_ && e->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(e);
    const std::string tip = table_ ? table_->LabelTipAt(help->pos().x(), help->pos().y()) : std::string();
    if (tip.empty()) {
      QToolTip::hideText();
      e->ignore();
    } else {
      QToolTip::showText(help->globalPos(), platform::toQString(tip), pnGme_);
    }
    return true;
  }
  if (e->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(e);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      QObject* o = watched;
      // The edit field of a combo hands its keys to the combo.
      if (qobject_cast<QComboBox*>(o) == nullptr && o->parent() != nullptr) o = o->parent();
      if (auto* combo = qobject_cast<QComboBox*>(o)) {
        xCmb_KeyDown(combo, 13);
        return true;
      }
    }
  }
  return foundation::TFormSx::eventFilter(watched, e);
}

void TSol040::xCmb_KeyDown(QComboBox* combo, int key) {
  if (key != 13 || combo == nullptr) return;
  foundation::ComboPushRecent(combo, kRecentNames);
}

void TSol040::bcRun_Click(QObject* sender) {
  if (sender == nullptr) return;
  RunCommand(sender->property(kTagProperty).toInt());
}

void TSol040::RunCommand(int32_t command) {
  StepScope step(stepDepth_);
  try {
    switch (command) {
      case cmBuildBoard: {
        const std::string text = platform::fromQString(eLay_->text());
        int layout = 0;
        if (!text.empty()) {
          const char* first = text.data();
          const char* last = first + text.size();
          const auto [end, error] = std::from_chars(first, last, layout);
          if (error != std::errc() || end != last || layout < -128 || layout > 127) {
            platform::ShowMessageBox("'" + text + "' is no layout number: give an integer from -128 to 127.",
                                     kCaption, platform::MbIconWarning);
            break;
          }
        }
        game_->BuildBoard(layout);
        break;
      }
      case cmDeal:
      case cmDealAgain:
        game_->Deal();
        break;
      case cmEvaluate:
        game_->Evaluate();
        break;
      case cmUndo:
        if (table_->CanUndo()) game_->Undo();
        break;
      case cmRedo:
        if (table_->CanRedo()) game_->Redo();
        break;
      case cmNothing:
        break;
      case cmLoadStats:
        game_->Stats().LoadFile(StatsFileToRead());
        break;
      case cmSaveStats:
        game_->Stats().SaveFile(statsFile_);
        break;
      case cmSettings:
        if (sol043_.isNull()) {
          sol043_ = new TSol043(this, this);
          foundation::PlaceClearOf(sol043_, this);  // beside the board, not on it
        }
        ShowChild(sol043_);
        break;
      case cmTextbase:
        if (sol048_.isNull()) {
          sol048_ = new TSol048(textbase_, this);
          foundation::PlaceClearOf(sol048_, this);
        }
        ShowChild(sol048_);
        break;
      default: {
        std::string name;
        switch (textbase_.MenuCommand(command, name)) {
          case TbMenuTarget::Bride:
            cBride_->setEditText(platform::toQString(name));
            break;
          case TbMenuTarget::Groom:
            cGroom_->setEditText(platform::toQString(name));
            break;
          case TbMenuTarget::None:
            break;
        }
        break;
      }
    }
  } catch (const std::exception& e) {
    // A damaged snapshot or a table error: the step is refused, the program
    // goes on.
    platform::ShowMessageBox(e.what(), kCaption, platform::MbIconError);
  }
  ShowCounts();
  AfterStep();
}

TSol043* TSol040::Sol043() const { return sol043_.data(); }
TSol048* TSol040::Sol048() const { return sol048_.data(); }

void TSol040::ShowChild(QWidget* child) {
  if (child->isMinimized()) child->showNormal();
  child->show();
  child->raise();
}

void TSol040::LoadTextbase(const std::string& fileName) {
  try {
    // A text base shipped beside a program whose folder cannot be written
    // is read there until the user's folder has one.
    textbase_.LoadTextbase(foundation::StartingContentFile(fileName));
  } catch (const std::exception& e) {
    platform::ShowMessageBox(e.what(), kCaption, platform::MbIconError);
  }
  FillPopup(mB_, textbase_.BrideNames(), kTbBrideCommand);
  FillPopup(mG_, textbase_.GroomNames(), kTbGroomCommand);
  // An open editor shows entries that are gone now.
  if (!sol048_.isNull()) sol048_->TextbaseLoaded();
}

void TSol040::FillPopup(QMenu* menu, const std::vector<std::string>& names, int firstCommand) {
  menu->clear();
  for (size_t k = 0; k < names.size(); ++k) {
    QAction* a = menu->addAction(platform::toQString(names[k]));
    const int32_t command = firstCommand + static_cast<int32_t>(k);
    a->setProperty(kTagProperty, command);
    connect(a, &QAction::triggered, this, [this, command] { RunCommand(command); });
  }
}

// ---- The game's view ----

void TSol040::Fly(TSolTbl& table, SolCardBox& box, int slot, int16_t speed) {
  pMov_->raise();
  table.AnimateMove(box, slot, speed);
}

void TSol040::Repaint() {
  pnGme_->repaint();
  if (pMov_->isVisible()) pMov_->repaint();
}

void TSol040::ProcessEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TSol040::Pause(uint32_t ms) {
  ProcessEvents();
  const SolTiming& t = table_->Timing;
  if (!t.NowMs || !t.SleepMs) return;
  const uint64_t start = t.NowMs();
  // A clock that stands still (or goes back) must not hold the game: the
  // pause ends after as many slices as it could need.
  const uint64_t slices = ms / kPumpSliceMs + 2;
  for (uint64_t i = 0; i < slices; ++i) {
    const uint64_t now = t.NowMs();
    if (now < start) break;
    const uint64_t spent = now - start;
    if (spent >= ms) break;
    t.SleepMs(static_cast<uint32_t>(std::min<uint64_t>(ms - spent, kPumpSliceMs)));
    ProcessEvents();
  }
}

void TSol040::SetInfo(const std::string& text) { lInfo_->setText(platform::toQString(text)); }

void TSol040::ShowOutcome(SolOutcome which, const std::optional<SolOutcomeText>& text) {
  QLabel* l = OutcomeLabel(which);
  if (text) {
    l->setStyleSheet(kOutcomeStyle.arg(ToQ(text->font).name(), ToQ(text->back).name()));
    // The label is as wide as its widest text (buildStatusBar).
    l->setText(platform::toQString(text->text));
  }
  l->show();
}

void TSol040::HideOutcome(SolOutcome which) { OutcomeLabel(which)->hide(); }

QLabel* TSol040::CounterLabel(const char* name) const { return pnBottom_->findChild<QLabel*>(name); }

QPushButton* TSol040::CommandButton(int32_t command) const {
  for (QPushButton* b : pnTop_->findChildren<QPushButton*>())
    if (b->property(kTagProperty).toInt() == command) return b;
  return nullptr;
}

void TSol040::ShowCounts() {
  const SolGameRecord& r = game_->Record();
  auto set = [this](const char* name, int value) {
    if (QLabel* l = CounterLabel(name)) l->setText(QString::number(value));
  };
  const int dps = r.I8(SolGameRecord::kDps);
  set("ldDPS", dps + 1);
  set("ldDck", -1 - dps);
  set("lcTrn", r.I8(SolGameRecord::kTurn));
  set("lcRmv", r.I8(SolGameRecord::kRemoved));
  set("lcRnd", r.I8(SolGameRecord::kRound));
  set("lmStk", r.I16(SolGameRecord::kStack));
  set("ltStk", r.I32(SolGameRecord::kTotalStack));
  set("lcLft", r.I8(SolGameRecord::kLeft));
  const SolPairCounts& p = game_->PairCounts();
  set("lcMT0", p.total);
  set("lcMT1", p.baseBase);
  set("lcMT2", p.baseOmen);
  set("lcMT3", p.omenOmen);
  if (QPushButton* b = CommandButton(cmUndo)) b->setEnabled(table_->CanUndo());
  if (QPushButton* b = CommandButton(cmRedo)) b->setEnabled(table_->CanRedo());
}

}  // namespace pellora
