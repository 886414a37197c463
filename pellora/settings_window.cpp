#include "pellora/settings_window.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>

#include "foundation/ini.h"
#include "foundation/sysinit.h"
#include "foundation/variant.h"
#include "pellora/main_window.h"
#include "platform/msgbox.h"
#include "platform/text.h"

namespace pellora {

namespace {

const char* const kSection = "Sol043";
const char* const kCaption = "Settings - Dating";
const char* const kTagProperty = "Tag";
const char* const kTabKey = "btTab";
// The size of a window opened for the first time.
constexpr int kDefaultWidth = 560, kDefaultHeight = 520;
// Rows a grid shows at its least height; more scroll.
constexpr int kGridMinRows = 4;

struct CheckSpec {
  const char* name;
  const char* caption;
  uint32_t bit;
};
constexpr CheckSpec kRuleChecks[] = {
    {"cgAtt1", "Check weddings", rbCheckWeddings},
    {"cgAtt2", "Open omens sequentially", rbOpenSequential},
    {"cgAtt4", "Open all omens after base is clear", rbOpenAllAfterBase},
    {"cgAtt16", "Tarot : Open omens until base pair", rbOpenUntilBasePair},
    {"cgAtt32", "Tarot : Open all omens on deal", rbOpenAllOnDeal},
    {"cgAtt64", "Tarot : Base removal with omen only", rbBaseWithOmenOnly},
};
constexpr CheckSpec kAnimChecks[] = {
    {"cbvDrag", "Drag-Drop cards", abDragDrop},     {"cbvPers", "Deal persons", abDealPersons},
    {"cbvOmen", "Deal Omens", abDealOmens},         {"cbvPair", "Click to pair", abClickToPair},
    {"cbvFail", "DragDrop fails", abDragDropFails}, {"cbvRems", "Pair to removals", abPairToRemovals},
    {"cbvClrs", "Clear screen", abClearScreen},
};
const char* const kAnimRows[kAnimRowCount] = {"Deal persons",   "Deal omens",       "Click to pair", "DragDrop ends",
                                              "DragDrop fails", "Pair to removals", "Clear screen"};
const char* const kAnimColumns[3] = {"Speed", "Click", "Drag"};
const char* const kStatsHeader[8] = {"", "Max", "Eng", "Unf", "Los", "cEn", "cUf", "cLo"};
constexpr int kDecks[4] = {52, 104, 156, 208};

// A whole decimal integer, blanks around it allowed.
std::optional<int64_t> ParseInt(const QString& text) {
  const std::string s = text.trimmed().toStdString();
  if (s.empty()) return std::nullopt;
  int64_t v = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// Means are shown as the nearest integer, halves to the even neighbour.
QString Mean(float v) {
  if (!std::isfinite(v)) return "0";
  return QString::number(static_cast<long long>(std::nearbyint(static_cast<double>(v))));
}

}  // namespace

TSol043::TSol043(TSol040* main, QWidget* parent) : foundation::TFormSx(kSection, parent, Qt::Window), main_(main) {
  setWindowTitle(kCaption);
  setAttribute(Qt::WA_DeleteOnClose);
  buildComponents();
  RestorePlacement();
  int tab = tabGame;
  try {
    tab = foundation::IniReadValue(foundation::AppIni, kSection, kTabKey, foundation::Variant(int32_t{tabGame})).AsInt();
  } catch (const std::exception&) {
    tab = tabGame;
  }
  ShowTab(tab);
  if (main_ != nullptr) RunCommand(ccLoad);
}

TSol043::~TSol043() { FinishForm(); }

void TSol043::buildComponents() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(buildTabs());
  // The pages lie on each other: switching tabs never changes the room they
  // need, so the window keeps the size the player left it at.
  auto* pages = new QWidget(this);
  auto* stack = new QStackedLayout(pages);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->addWidget(buildGamePage(pages));
  stack->addWidget(buildVisualPage(pages));
  stack->addWidget(buildDevPage(pages));
  panNone_ = new QWidget(pages);
  stack->addWidget(panNone_);
  stack_ = stack;
  layout->addWidget(pages, 1);
  layout->addWidget(buildBottom());
  UpdateButtons();
  layout->activate();
  resize(QSize(kDefaultWidth, kDefaultHeight).expandedTo(layout->minimumSize()));
}

QLineEdit* TSol043::AddEdit(QWidget* parent, const char* name, const char* hint) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setToolTip(hint);
  connect(e, &QLineEdit::textEdited, this, [this] { SetDirty(); });
  e->installEventFilter(this);
  return e;
}

QCheckBox* TSol043::AddCheck(QWidget* parent, const char* name, const char* caption, uint32_t bit) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  box->setProperty("Bit", static_cast<uint>(bit));
  connect(box, &QCheckBox::toggled, this, [this] { SetDirty(); });
  return box;
}

QWidget* TSol043::buildTabs() {
  auto* panTop = new QWidget(this);
  panTop->setObjectName("panTop");
  auto* top = new QHBoxLayout(panTop);
  top->setContentsMargins(0, 0, 0, 0);
  tabs_ = new QButtonGroup(this);
  tabs_->setExclusive(true);
  struct TabSpec {
    const char* name;
    const char* caption;
    int value;
  };
  for (const TabSpec& t : {TabSpec{"btTab01", "&Game", tabGame}, TabSpec{"btTab02", "&Visual", tabVisual},
                           TabSpec{"LabelRx2", "&Dev", tabDev}}) {
    auto* b = new QPushButton(t.caption, panTop);
    b->setObjectName(t.name);
    b->setCheckable(true);
    b->setProperty(kTagProperty, ccTabBase + t.value);
    tabs_->addButton(b, t.value);
    connect(b, &QPushButton::clicked, this, [this, b] { RunCommand(b->property(kTagProperty).toInt()); });
    top->addWidget(b);
  }
  top->addStretch(1);
  return panTop;
}

QWidget* TSol043::buildGamePage(QWidget* pages) {
  panGme_ = new QWidget(pages);
  panGme_->setObjectName("panGme");
  auto* g = new QGridLayout(panGme_);
  g->addWidget(new QLabel("Title", panGme_), 0, 0);
  QLineEdit* name = AddEdit(panGme_, "egNam", "Game title");
  name->setReadOnly(true);
  g->addWidget(name, 0, 1, 1, 4);
  g->addWidget(new QLabel("Cards", panGme_), 1, 0);
  deck_ = new QButtonGroup(this);
  deck_->setExclusive(true);
  const char* deckNames[4] = {"bgDcc1", "bgDcc2", "bgDcc3", "bgDcc4"};
  const char* deckCaptions[4] = {"&1/52", "&2/104", "&3/156", "&4/208"};
  // The four deck buttons share one row of equal widths, whatever the
  // width of the count fields below them.
  auto* decks = new QHBoxLayout;
  decks->setContentsMargins(0, 0, 0, 0);
  g->addLayout(decks, 1, 1, 1, 4);
  for (int i = 0; i < 4; ++i) {
    auto* b = new QPushButton(deckCaptions[i], panGme_);
    b->setObjectName(deckNames[i]);
    b->setCheckable(true);
    deck_->addButton(b, kDecks[i]);
    decks->addWidget(b, 1);
  }
  connect(deck_, &QButtonGroup::idToggled, this, [this](int, bool on) {
    if (on) SetDirty();
  });
  struct CountSpec {
    const char* name;
    const char* caption;
    const char* hint;
  };
  const CountSpec counts[4] = {{"egCnt0", "Bride", "Cards in Bride's slot"},
                               {"egCnt1", "Groom", "Cards in Groom's slot"},
                               {"egCnt2", "Parents", "Cards in 4 parent slots"},
                               {"egCnt3", "Omens", "Number of omen slots"}};
  for (int i = 0; i < 4; ++i) {
    g->addWidget(new QLabel(counts[i].caption, panGme_), 2 + i, 0);
    QLineEdit* count = AddEdit(panGme_, counts[i].name, counts[i].hint);
    count->setMaximumWidth(count->fontMetrics().horizontalAdvance(QString(12, '0')));
    g->addWidget(count, 2 + i, 1);
  }
  int row = 6;
  for (const CheckSpec& c : kRuleChecks) g->addWidget(AddCheck(panGme_, c.name, c.caption, c.bit), row++, 0, 1, 5);
  g->setRowStretch(row, 1);
  return panGme_;
}


QWidget* TSol043::buildVisualPage(QWidget* pages) {
  panVis_ = new QWidget(pages);
  panVis_->setObjectName("panVis");
  auto* v = new QGridLayout(panVis_);
  v->addWidget(new QLabel("FPS", panVis_), 0, 0);
  v->addWidget(AddEdit(panVis_, "evFPS", "FPS for all animations, when set to 0, animations are disabled."), 0, 1);
  v->addWidget(new QLabel("Wait after deal", panVis_), 1, 0);
  v->addWidget(AddEdit(panVis_, "evPS1_8", "Pause after the deal in ms"), 1, 1);
  v->addWidget(new QLabel("Wait after automated opening", panVis_), 2, 0);
  v->addWidget(AddEdit(panVis_, "evPS2_8", "Pause after each omen opened in ms"), 2, 1);
  int row = 3;
  for (const CheckSpec& c : kAnimChecks) v->addWidget(AddCheck(panVis_, c.name, c.caption, c.bit), row++, 0, 1, 2);
  gAni_ = new QTableWidget(kAnimRowCount, 3, panVis_);
  gAni_->setObjectName("gAni");
  QStringList rows, columns;
  for (const char* r : kAnimRows) rows << r;
  for (const char* c : kAnimColumns) columns << c;
  gAni_->setVerticalHeaderLabels(rows);
  gAni_->setHorizontalHeaderLabels(columns);
  const QFontMetrics fm(gAni_->font());
  gAni_->verticalHeader()->setDefaultSectionSize(fm.height() + 5);
  gAni_->setMinimumHeight((kGridMinRows + 1) * (fm.height() + 5));
  gAni_->verticalHeader()->setMinimumWidth(fm.horizontalAdvance("Move to removals") + 20);
  for (int c = 0; c < 3; ++c) gAni_->setColumnWidth(c, std::max(fm.horizontalAdvance("10 000"), fm.horizontalAdvance(kAnimColumns[c]) + 20));
  for (int r = 0; r < kAnimRowCount; ++r)
    for (int c = 0; c < 3; ++c) gAni_->setItem(r, c, new QTableWidgetItem);
  connect(gAni_, &QTableWidget::itemChanged, this, [this] { SetDirty(); });
  v->addWidget(gAni_, row, 0, 1, 2);
  v->setRowStretch(row, 1);
  return panVis_;
}


QWidget* TSol043::buildDevPage(QWidget* pages) {
  panDev_ = new QWidget(pages);
  panDev_->setObjectName("panDev");
  auto* d = new QGridLayout(panDev_);
  gSts_ = new QTableWidget(panDev_);
  gSts_->setObjectName("gSts");
  gSts_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  gSts_->verticalHeader()->hide();
  // The grid takes the room the page leaves; the rows it shows scroll in it.
  gSts_->setMinimumHeight((kGridMinRows + 1) * (gSts_->fontMetrics().height() + 5));
  gSts_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
  d->addWidget(gSts_, 0, 0, 1, 8);
  struct LabelRow {
    const char* caption;
    std::array<const char*, 5> names;
  };
  const LabelRow labelRows[] = {
      {"Games / dated / married / lost / unmarried", {"ldTot", "ldEng", "ldWed", "ldLos", "ldUnf"}},
      {"Cards / bride / groom / parent / omens", {"ldDcc", "ldAm0", "ldAm1", "ldAm2", "ldAm3"}},
      {"Cards left (dating / lost / unmarried)", {"laCrd0", "laCrd1", "laCrd2", nullptr, nullptr}},
      {"Omens open (dating / lost / unmarried)", {"laSlt0", "laSlt1", "laSlt2", nullptr, nullptr}},
  };
  int row = 1;
  for (const LabelRow& lr : labelRows) {
    d->addWidget(new QLabel(lr.caption, panDev_), row, 0);
    int col = 1;
    for (const char* n : lr.names)
      if (n != nullptr) d->addWidget(AddStatLabel(panDev_, n), row, col++);
    ++row;
  }
  // The two refresh buttons sit side by side at their own size.
  auto* refresh = new QHBoxLayout;
  d->addLayout(refresh, row, 0, 1, 8);
  for (int i = 0; i < 2; ++i) {
    auto* b = new QPushButton("*", panDev_);
    b->setObjectName(i == 0 ? "bdSts0" : "bdSts1");
    b->setToolTip("Refresh screen");
    b->setProperty(kTagProperty, i == 0 ? ccStats : ccStatsRunning);
    connect(b, &QPushButton::clicked, this, [this, b] { RunCommand(b->property(kTagProperty).toInt()); });
    refresh->addWidget(b);
  }
  refresh->addStretch(1);
  d->setRowStretch(0, 1);
  return panDev_;
}


QWidget* TSol043::buildBottom() {
  auto* pnBot = new QWidget(this);
  pnBot->setObjectName("pnBot");
  auto* bot = new QHBoxLayout(pnBot);
  bot->setContentsMargins(0, 0, 0, 0);
  bot->addStretch(1);
  bcRun01_ = new QPushButton("Load", pnBot);
  bcRun01_->setObjectName("bcRun01");
  bcRun01_->setToolTip("Reload settings");
  bcRun01_->setProperty(kTagProperty, ccLoad);
  bcRun02_ = new QPushButton("Save", pnBot);
  bcRun02_->setObjectName("bcRun02");
  bcRun02_->setToolTip("Save settings");
  bcRun02_->setProperty(kTagProperty, ccSave);
  for (QPushButton* b : {bcRun01_, bcRun02_}) {
    connect(b, &QPushButton::clicked, this, [this, b] { RunCommand(b->property(kTagProperty).toInt()); });
    bot->addWidget(b);
  }
  return pnBot;
}

QLabel* TSol043::AddStatLabel(QWidget* parent, const char* name) {
  auto* l = new QLabel("0", parent);
  l->setObjectName(name);
  l->setFrameShape(QFrame::StyledPanel);
  l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return l;
}

void TSol043::SetDirty() {
  if (filling_ || dirty_) return;
  dirty_ = true;
  UpdateButtons();
}

void TSol043::UpdateButtons() {
  bcRun01_->setEnabled(dirty_);
  bcRun02_->setEnabled(dirty_);
}

bool TSol043::eventFilter(QObject* watched, QEvent* e) {
  // Enter in an edit counts as leaving it: a changed edit makes the window dirty.
  if (e->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(e);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && qobject_cast<QLineEdit*>(watched) != nullptr) {
      if (static_cast<QLineEdit*>(watched)->isModified()) SetDirty();
      return true;
    }
  }
  return foundation::TFormSx::eventFilter(watched, e);
}

void TSol043::closeEvent(QCloseEvent* e) { foundation::TFormSx::closeEvent(e); }

void TSol043::FormDestroy() {
  foundation::IniWriteValue(foundation::AppIni, kSection, kTabKey, foundation::Variant(int32_t{tab_}));
  foundation::SaveAppIni();
}

void TSol043::RunCommand(int32_t command) {
  switch (command) {
    case ccLoad:
      ShowSettings(-2);
      break;
    case ccSave:
      ApplySettings(-2);
      break;
    case ccStats:
      ShowStats(0);
      break;
    case ccStatsRunning:
      ShowStats(1);
      break;
    default:
      if (command >= ccTabBase && command <= ccTabBase + 99) ShowTab(command - ccTabBase);
      break;
  }
}

void TSol043::ShowTab(int value) {
  tab_ = value;
  QAbstractButton* b = tabs_->button(value);
  if (b != nullptr) {
    b->setChecked(true);
  } else {
    tabs_->setExclusive(false);
    for (QAbstractButton* t : tabs_->buttons()) t->setChecked(false);
    tabs_->setExclusive(true);
  }
  // A tab value of no page shows none.
  QWidget* page = Page(value);
  stack_->setCurrentWidget(page != nullptr ? page : panNone_);
}

QWidget* TSol043::Page(int value) const {
  switch (value) {
    case tabGame:
      return panGme_;
    case tabVisual:
      return panVis_;
    case tabDev:
      return panDev_;
    default:
      return nullptr;
  }
}

QLineEdit* TSol043::Edit(const char* name) const { return findChild<QLineEdit*>(name); }
QCheckBox* TSol043::Check(const char* name) const { return findChild<QCheckBox*>(name); }
QPushButton* TSol043::Button(const char* name) const { return findChild<QPushButton*>(name); }
QLabel* TSol043::StatLabel(const char* name) const { return findChild<QLabel*>(name); }

void TSol043::ShowSettings(int part) {
  if (part != -2) return;
  filling_ = true;
  if (main_ != nullptr) {
    const recSolOpt& o = main_->Table().Options;
    const recSolCounts c = main_->Game().Record().Counts();
    Edit("egNam")->setText(platform::toQString(o.Title));
    for (const CheckSpec& s : kRuleChecks) Check(s.name)->setChecked((o.Attrib & s.bit) != 0);
    if (QAbstractButton* b = deck_->button(o.CardCount)) {
      b->setChecked(true);
    } else {
      deck_->setExclusive(false);
      for (QAbstractButton* d : deck_->buttons()) d->setChecked(false);
      deck_->setExclusive(true);
    }
    Edit("egCnt0")->setText(QString::number(c.Bride));
    Edit("egCnt1")->setText(QString::number(c.Groom));
    Edit("egCnt2")->setText(QString::number(c.Parents));
    Edit("egCnt3")->setText(QString::number(c.Omens));
    for (const CheckSpec& s : kAnimChecks) Check(s.name)->setChecked((o.AnimBits & s.bit) != 0);
    Edit("evPS1_8")->setText(QString::number(o.Entry(kAnimDealPause)));
    Edit("evPS2_8")->setText(QString::number(o.Entry(kAnimOmenPause)));
    Edit("evFPS")->setText(QString::number(main_->Table().FPS));
    for (int r = 1; r <= kAnimRowCount; ++r) {
      gAni_->item(r - 1, 0)->setText(QString::number(o.Speed(r)));
      gAni_->item(r - 1, 1)->setText(QString::number(o.Click(r)));
      gAni_->item(r - 1, 2)->setText(QString::number(o.Drag(r)));
    }
  }
  for (QLineEdit* e : findChildren<QLineEdit*>()) e->setModified(false);
  filling_ = false;
  dirty_ = false;
  ShowStats(0);
  UpdateButtons();
}

bool TSol043::ApplySettings(int part) {
  if (part != -2 || main_ == nullptr) return false;
  // Every field is checked first; the first bad one is named and focused,
  // and nothing is written.
  auto fail = [](QWidget* w, const QString& what) {
    platform::ShowMessageBox(platform::fromQString(what), kCaption, platform::MbIconWarning);
    if (w != nullptr) w->setFocus();
    return false;
  };
  auto number = [&](const char* name, int64_t low, int64_t high, const char* what,
                    std::optional<int64_t>& out) {
    QLineEdit* e = Edit(name);
    out = ParseInt(e->text());
    if (!out || *out < low || *out > high) {
      fail(e, QString("%1: give a whole number from %2 to %3.").arg(what).arg(low).arg(high));
      return false;
    }
    return true;
  };
  const int deckId = deck_->checkedId();
  TSolTbl& table = main_->Table();
  const int cardCount = deckId > 0 ? deckId : table.Options.CardCount;
  std::optional<int64_t> bride, groom, parents, omens, fps, pause16, pause25;
  // Counts go into the statistics key: each fits a byte.
  if (!number("egCnt0", 0, 255, "Cards in Bride's slot", bride)) return false;
  if (!number("egCnt1", 0, 255, "Cards in Groom's slot", groom)) return false;
  if (!number("egCnt2", 0, 255, "Cards in 4 parent slots", parents)) return false;
  if (*bride + *groom + 4 * *parents > cardCount)
    return fail(Edit("egCnt0"), QString("The persons take %1 cards, more than the %2 of the deck.")
                                    .arg(*bride + *groom + 4 * *parents)
                                    .arg(cardCount));
  if (!number("egCnt3", 1, kMaxOmens, "Number of omen slots", omens)) return false;
  if (!number("evFPS", 1, 100, "FPS", fps)) return false;
  if (!number("evPS1_8", 0, 65535, "Wait after deal", pause16)) return false;
  if (!number("evPS2_8", 0, 65535, "Wait after automated opening", pause25)) return false;
  std::array<std::array<int64_t, 3>, kAnimRowCount> grid{};
  for (int r = 0; r < kAnimRowCount; ++r) {
    for (int c = 0; c < 3; ++c) {
      const std::optional<int64_t> v = ParseInt(gAni_->item(r, c)->text());
      const int64_t low = c == 0 ? std::numeric_limits<int16_t>::min() : 0;
      const int64_t high = c == 0 ? std::numeric_limits<int16_t>::max() : std::numeric_limits<uint16_t>::max();
      if (!v || *v < low || *v > high) {
        gAni_->setCurrentCell(r, c);
        return fail(gAni_, QString("%1, %2: give a whole number from %3 to %4.")
                               .arg(kAnimRows[r], kAnimColumns[c])
                               .arg(low)
                               .arg(high));
      }
      grid[static_cast<size_t>(r)][static_cast<size_t>(c)] = *v;
    }
  }

  recSolOpt& o = table.Options;
  if (o.CardCount != cardCount) o.CardCount = static_cast<uint16_t>(cardCount);
  recSolCounts counts = main_->Game().Record().Counts();
  if (counts.Omens != *omens && !(o.GameState & gsRebuildBoard)) o.GameState |= gsRebuildBoard;
  counts.Bride = static_cast<int16_t>(*bride);
  counts.Groom = static_cast<int16_t>(*groom);
  counts.Parents = static_cast<int16_t>(*parents);
  counts.Omens = static_cast<int16_t>(*omens);
  if (counts.Bride != main_->Game().Record().Counts().Bride || counts.Groom != main_->Game().Record().Counts().Groom ||
      counts.Parents != main_->Game().Record().Counts().Parents || counts.Omens != main_->Game().Record().Counts().Omens)
    main_->Game().Record().SetCounts(counts);
  uint32_t attrib = 0;
  for (const CheckSpec& s : kRuleChecks)
    if (Check(s.name)->isChecked()) attrib |= s.bit;
  if (o.Attrib != attrib) o.Attrib = attrib;
  if (table.FPS != *fps) table.FPS = static_cast<int16_t>(*fps);
  o.SetEntry(kAnimDealPause, static_cast<uint16_t>(*pause16));
  o.SetEntry(kAnimOmenPause, static_cast<uint16_t>(*pause25));
  uint32_t anim = 0;
  for (const CheckSpec& s : kAnimChecks)
    if (Check(s.name)->isChecked()) anim |= s.bit;
  if (o.AnimBits != anim) o.AnimBits = anim;
  for (int r = 1; r <= kAnimRowCount; ++r) {
    const auto& g = grid[static_cast<size_t>(r - 1)];
    o.SetSpeed(r, static_cast<int16_t>(g[0]));
    o.SetClick(r, static_cast<uint16_t>(g[1]));
    o.SetDrag(r, static_cast<uint16_t>(g[2]));
  }
  for (QLineEdit* e : findChildren<QLineEdit*>()) e->setModified(false);
  dirty_ = false;
  UpdateButtons();
  main_->ShowCounts();
  return true;
}

void TSol043::ShowStats(int mode) {
  gSts_->clear();
  gSts_->setColumnCount(8);
  gSts_->setRowCount(1);  // one empty row under the header
  QStringList header;
  for (const char* h : kStatsHeader) header << h;
  gSts_->setHorizontalHeaderLabels(header);
  gSts_->horizontalHeader()->setDefaultSectionSize(40);
  gSts_->setColumnWidth(0, 30);
  for (QLabel* l : panDev_->findChildren<QLabel*>())
    if (!l->objectName().isEmpty()) l->setText("");
  if (main_ == nullptr) return;
  const Statistics& stats = main_->Game().Stats();
  if (stats.Records().empty()) return;
  // The record of the configuration being played: the key the current
  // settings give, else record 0.
  const recSolOpt& o = main_->Table().Options;
  const recSolCounts c = main_->Game().Record().Counts();
  StatKey key{};
  const StatRecord* shown = &stats.Records().front();
  if (BuildStatKey(StatKeyValues{o.CardCount, o.Attrib, c.Bride, c.Groom, c.Parents, c.Omens}, key)) {
    for (const StatRecord& r : stats.Records())
      if (r.key == key) {
        shown = &r;
        break;
      }
  }
  const StatRecord& r = *shown;
  const StatFigures& f = stats.Figures();
  const int rows = std::min<int>(r.key[5] + 7, kStatsGridMaxRows);
  gSts_->setRowCount(rows - 1);  // the header row is the grid's own
  for (int row = 1; row < rows; ++row) {
    const size_t n = static_cast<size_t>(row - 1);
    const QString cells[8] = {QString::number(n),
                              QString::number(r.slotCards[n]),
                              Mean(r.tops[smDating][n]),
                              Mean(r.tops[smUnmarried][n]),
                              Mean(r.tops[smNoDating][n]),
                              QString::number(f.tops[smDating][n]),
                              QString::number(f.tops[smUnmarried][n]),
                              QString::number(f.tops[smNoDating][n])};
    for (int col = 0; col < 8; ++col) gSts_->setItem(row - 1, col, new QTableWidgetItem(cells[col]));
  }
  StatLabel("ldTot")->setText(QString::number(r.games));
  StatLabel("ldEng")->setText(QString::number(r.dated));
  StatLabel("ldWed")->setText(QString::number(r.married));
  StatLabel("ldLos")->setText(QString::number(r.notDated));
  StatLabel("ldUnf")->setText(QString::number(r.unmarried));
  StatLabel("ldDcc")->setText(QString::number(r.key[0]));
  StatLabel("ldAm0")->setText(QString::number(r.key[2]));
  StatLabel("ldAm1")->setText(QString::number(r.key[3]));
  StatLabel("ldAm2")->setText(QString::number(r.key[4]));
  StatLabel("ldAm3")->setText(QString::number(r.key[5]));
  const char* crd[3] = {"laCrd0", "laCrd1", "laCrd2"};
  const char* slt[3] = {"laSlt0", "laSlt1", "laSlt2"};
  const StatMoment moments[3] = {smDating, smNoDating, smUnmarried};
  for (int i = 0; i < 3; ++i) {
    const auto m = static_cast<size_t>(moments[i]);
    StatLabel(crd[i])->setText(mode == 1 ? QString::number(f.cardsLeft[m]) : Mean(r.cardsLeft[m]));
    StatLabel(slt[i])->setText(mode == 1 ? QString::number(f.omensOpen[m]) : Mean(r.omensOpen[m]));
  }
}

}  // namespace pellora
