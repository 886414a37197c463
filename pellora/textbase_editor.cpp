#include "pellora/textbase_editor.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QSplitter>
#include <QVBoxLayout>
#include <array>
#include <cmath>
#include <numbers>
#include <unordered_map>
#include <unordered_set>

#include "foundation/ini.h"
#include "foundation/sysinit.h"
#include "foundation/variant.h"
#include "pellora-lib/labelrx.h"
#include "pellora-lib/sysmsg.h"
#include "platform/text.h"

namespace pellora {

namespace {

const char* const kSection = "Sol048";
constexpr int kTreeMinWidth = 140;
const char* const kCaption = "Brides and Grooms";
const char* const kTagProperty = "Tag";
const char* const kTabKey = "btTab";
constexpr int32_t kTabGroup = 900;
// Groups whose first entry stands below this index list their entries by id.
constexpr int kFirstByDisplayText = 8;
// Item data: the entry's index (-1 for a group node); on a group node also
// whether its entries read as ids.
constexpr int kIndexRole = Qt::UserRole;
constexpr int kByIdRole = Qt::UserRole + 1;
constexpr int kGroupNode = -1;

const char* const kKindCaptions[] = {"Brides",          "Grooms",          "Brd-Moms",       "Grm-Moms",
                                     "Brd-Papas",       "Grm-Papas",       "Omens",          "Gods, Omens",
                                     "We, Omens",       "Life, Omens",     "Reality, Omens", "Triangle, Omens",
                                     "Defs",            "Groups"};
constexpr int kKindCount = static_cast<int>(std::size(kKindCaptions));

std::string Folded(std::string_view s) {
  std::string f(s);
  for (char& c : f) c = static_cast<char>(platform::latin1Upper(static_cast<unsigned char>(c)));
  return f;
}

std::string Text(const QLineEdit* e) { return platform::fromQString(e->text()); }

// The lines of a memo, read from the document's raw text: its plain text
// would turn no-break spaces into blanks. A break at the very end opens no
// further line, and an empty memo has none.
std::vector<std::string> MemoLines(const QPlainTextEdit* memo) {
  const QString raw = memo->document()->toRawText();
  std::vector<std::string> lines;
  QString line;
  for (const QChar c : raw) {
    if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator || c == QLatin1Char('\n')) {
      lines.push_back(platform::fromQString(line));
      line.clear();
    } else if (c != QLatin1Char('\r')) {
      line += c;
    }
  }
  lines.push_back(platform::fromQString(line));
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

void SetMemoLines(QPlainTextEdit* memo, const std::vector<std::string>& lines) {
  QString text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += QLatin1Char('\n');
    text += platform::toQString(lines[i]);
  }
  memo->setPlainText(text);
}

// The tree's images, one per kind, drawn here: a coloured badge with the
// kind's letter, a star for the omens, lines for the group titles.
QIcon KindIcon(int kind) {
  constexpr int kSize = 32;  // drawn large, shown at the tree's icon size
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF box(2, 2, kSize - 4, kSize - 4);
  struct Look {
    QColor fill;
    const char* letter;
  };
  const QColor bride(214, 72, 150), groom(52, 104, 200);
  Look look{QColor(130, 130, 130), "?"};
  switch (kind) {
    case tbkBride: look = {bride, "B"}; break;
    case tbkGroom: look = {groom, "G"}; break;
    case tbkBrideMother: look = {bride.lighter(135), "M"}; break;
    case tbkGroomMother: look = {groom.lighter(135), "M"}; break;
    case tbkBrideFather: look = {bride.darker(135), "F"}; break;
    case tbkGroomFather: look = {groom.darker(135), "F"}; break;
    case tbkDefault: look = {QColor(60, 150, 90), "D"}; break;
    case tbkGroup: look = {QColor(110, 110, 120), nullptr}; break;
    default:
      if (kind >= tbkOmen && kind < tbkDefault) look = {QColor(222, 164, 30), nullptr};
      break;
  }
  if (kind >= tbkOmen && kind < tbkDefault) {
    // A five-pointed star.
    QPainterPath star;
    const QPointF c = box.center();
    for (int i = 0; i < 10; ++i) {
      const double r = (i % 2 == 0 ? 0.5 : 0.22) * box.width();
      const double a = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
      const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
      if (i == 0)
        star.moveTo(pt);
      else
        star.lineTo(pt);
    }
    star.closeSubpath();
    p.setPen(QPen(look.fill.darker(150), 1.5));
    p.setBrush(look.fill);
    p.drawPath(star);
    return QIcon(pixmap);
  }
  p.setPen(QPen(look.fill.darker(140), 1.5));
  p.setBrush(look.fill);
  if (kind == tbkGroup) {
    p.drawRoundedRect(box, 5, 5);
    p.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
      const double y = box.top() + box.height() * (0.3 + 0.2 * i);
      p.drawLine(QPointF(box.left() + 7, y), QPointF(box.right() - 7, y));
    }
    return QIcon(pixmap);
  }
  p.drawEllipse(box);
  QFont f = p.font();
  f.setBold(true);
  f.setPixelSize(kSize / 2 + 2);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(box, Qt::AlignCenter, QString::fromLatin1(look.letter));
  return QIcon(pixmap);
}

const QIcon& CachedKindIcon(int kind) {
  static const std::array<QIcon, kKindCount + 1> icons = [] {
    std::array<QIcon, kKindCount + 1> all;
    for (int k = 0; k <= kKindCount; ++k) all[static_cast<size_t>(k)] = KindIcon(k);
    return all;
  }();
  return icons[static_cast<size_t>(kind >= 0 && kind < kKindCount ? kind : kKindCount)];
}

}  // namespace

// ---- Rules ----

std::string TbKindCaption(int kind) {
  if (kind >= 0 && kind < kKindCount) return kKindCaptions[kind];
  return "Kind " + std::to_string(kind);
}

std::vector<TbTreeGroup> TbTree(const std::vector<recEngTDB>& persons) {
  std::vector<TbTreeGroup> groups;
  std::unordered_map<int, size_t> groupOf;
  std::vector<bool> byId;
  for (size_t i = 0; i < persons.size(); ++i) {
    const recEngTDB& p = persons[i];
    auto [at, added] = groupOf.try_emplace(p.kind, groups.size());
    if (added) {
      groups.push_back(TbTreeGroup{p.kind, TbKindCaption(p.kind), {}});
      byId.push_back(i < static_cast<size_t>(kFirstByDisplayText));
    }
    const bool asId = byId[at->second] || p.displayText.empty();
    groups[at->second].entries.push_back(TbTreeEntry{static_cast<int>(i), asId ? p.id : p.displayText});
  }
  return groups;
}

std::vector<std::string> TbLongTextLines(std::string_view longText) {
  std::vector<std::string> lines;
  if (longText.empty()) return lines;
  size_t start = 0;
  for (;;) {
    const size_t at = longText.find(kTbLongTextBreak, start);
    if (at == std::string_view::npos) {
      lines.emplace_back(longText.substr(start));
      return lines;
    }
    lines.emplace_back(longText.substr(start, at - start));
    start = at + kTbLongTextBreak.size();
  }
}

std::string TbJoinLongText(const std::vector<std::string>& lines) {
  std::string text;
  bool started = false;
  for (const std::string& line : lines) {
    if (!started) {
      if (line.empty()) continue;
      started = true;
    } else {
      text += kTbLongTextBreak;
    }
    text += line;
  }
  return text;
}

std::string TbJoinWords(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    const std::string_view word = platform::TrimBlanks(line);
    if (word.empty()) continue;
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text;
}

std::string TbCopyId(const TextBase& textbase, std::string_view base) {
  const std::vector<recEngTDB>& persons = textbase.Persons();
  std::unordered_set<std::string> taken;
  taken.reserve(persons.size());
  for (const recEngTDB& p : persons)
    if (p.groupNumber == kTbEditGroup) taken.insert(Folded(p.id));
  // Each number gives another id, so one more number than there are entries
  // always finds a free one.
  for (size_t n = 1; n <= persons.size() + 1; ++n) {
    const std::string suffix = "_" + std::to_string(n);
    const std::string id = TbCut(std::string(base), kTbIdLength - suffix.size()) + suffix;
    if (taken.count(Folded(id)) == 0 && textbase.FindPerson(kTbEditGroup, id) < 0) return id;
  }
  return std::string();
}

std::string TbDuplicateKeyText(std::string_view id) {
  return "You are trying create new entry with duplicate key\r\n- Key   = " + std::string(id) +
         "\r\nYou are not allowed to do so. Cancelling update.";
}

// ---- The window ----

TSol048::TSol048(TextBase& textbase, QWidget* parent)
    : foundation::TFormSx(kSection, parent, Qt::Window), textbase_(textbase) {
  setWindowTitle(kCaption);
  setAttribute(Qt::WA_DeleteOnClose);
  buildComponents();
  RestorePlacement();
  RunCommand(ecFillTree);
  // The entry editor is the page shown, so its tab is down; and the first
  // entry is shown, so that Copy never copies an entry nobody has seen.
  ShowTab(etSlots);
  ShowEntry(0);
}

TSol048::~TSol048() { FinishForm(); }

void TSol048::buildComponents() {
  resize(760, 560);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->setSpacing(6);
  layout->addWidget(buildTabs());
  auto* split = new QSplitter(Qt::Horizontal, this);
  split->setChildrenCollapsible(false);
  buildTree(split);
  auto* pages = new QWidget(split);
  auto* stack = new QVBoxLayout(pages);
  stack->setContentsMargins(6, 0, 0, 0);
  stack->addWidget(buildEntryPage(pages), 1);
  stack->addWidget(buildGroupPage(pages), 1);
  stack->addWidget(buildXRefPage(pages), 1);
  split->addWidget(tvInq_);
  split->addWidget(pages);
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);
  split->setSizes({240, 520});
  layout->addWidget(split, 1);
  layout->addWidget(buildButtons());
}

QLineEdit* TSol048::AddEdit(QWidget* parent, const char* name, const char* hint, int length) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  if (hint != nullptr) e->setToolTip(hint);
  if (length > 0) e->setMaxLength(length);
  connect(e, &QLineEdit::textChanged, this, [this] { SetDirty(); });
  e->installEventFilter(this);
  return e;
}

QPlainTextEdit* TSol048::AddMemo(QWidget* parent, const char* name) {
  auto* m = new QPlainTextEdit(parent);
  m->setObjectName(name);
  m->setTabChangesFocus(true);
  connect(m, &QPlainTextEdit::textChanged, this, [this] { SetDirty(); });
  return m;
}

namespace {

QLabel* BuddyLabel(QWidget* parent, const char* text, QWidget* buddy) {
  auto* l = new QLabel(text, parent);
  l->setBuddy(buddy);
  l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return l;
}

}  // namespace

QWidget* TSol048::buildTabs() {
  panTop_ = new QFrame(this);
  panTop_->setObjectName("panTop");
  panTop_->setFrameShape(QFrame::Panel);
  panTop_->setFrameShadow(QFrame::Sunken);
  panTop_->setFocusPolicy(Qt::ClickFocus);
  panTop_->installEventFilter(this);
  auto* top = new QHBoxLayout(panTop_);
  top->setContentsMargins(4, 3, 4, 3);
  top->setSpacing(3);
  struct TabSpec {
    const char* name;
    const char* caption;
    int32_t value;
  };
  const TabSpec tabSpecs[] = {{"btTab01", "&Game", etGame},   {"btTab02", "&Visual", etVisual},
                              {"btTab03", "&Slots", etSlots}, {"btTab04", "&Name", etName},
                              {"LabelRx3", "&xRef", etXRef},  {"LabelRx2", "&Dev", etDev}};
  const QFontMetrics fm(font());
  for (const TabSpec& t : tabSpecs) {
    auto* tab = new TLabelRx(panTop_);
    tab->setObjectName(t.name);
    tab->SetCaption(t.caption);
    tab->SetDownGroup(kTabGroup);
    tab->SetDownVal(t.value);
    tab->SetAlignment(Qt::AlignHCenter);
    tab->SetLayout(TextLayout::Center);
    tab->SetBevelUp(bvRaised);
    tab->SetBevelDn(bvLowered);
    tab->SetDownBack(0x80000005);  // the window colour: the open tab stands out
    tab->setProperty(kTagProperty, TbTabCommand(t.value));
    tab->setFixedSize(fm.horizontalAdvance(QString::fromLatin1(t.caption).remove('&')) + 24, fm.height() + 10);
    tab->setCursor(Qt::PointingHandCursor);
    tab->OnClick = [this](TLabelRx& sender) { RunCommand(sender.property(kTagProperty).toInt()); };
    tabs_.push_back(tab);
    top->addWidget(tab);
  }
  top->addStretch(1);
  return panTop_;
}


void TSol048::buildTree(QWidget* split) {
  tvInq_ = new QTreeWidget(split);
  tvInq_->setObjectName("tvInq");
  tvInq_->setHeaderHidden(true);
  tvInq_->setColumnCount(1);
  tvInq_->setUniformRowHeights(true);
  tvInq_->setMinimumWidth(kTreeMinWidth);
  connect(tvInq_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node, QTreeWidgetItem*) {
    if (treeBusy_ || node == nullptr) return;
    const int index = node->data(0, kIndexRole).toInt();
    if (index >= 0) ShowEntry(index);
  });
}

QWidget* TSol048::buildEntryPage(QWidget* pages) {
  const QFontMetrics fm(font());
  // An id of 15 characters of ordinary width shows whole; the window can
  // then stand beside the board on a screen of ordinary size.
  const int shortWidth = fm.horizontalAdvance(QString(static_cast<int>(kTbIdLength), QLatin1Char('n'))) + 8;

  pnBse_ = new QWidget(pages);
  pnBse_->setObjectName("pnBse");
  auto* b = new QGridLayout(pnBse_);
  b->setContentsMargins(0, 0, 0, 0);
  b->setHorizontalSpacing(8);
  b->setVerticalSpacing(5);
  QLineEdit* fpGrp = AddEdit(pnBse_, "fpGrp", nullptr, static_cast<int>(kTbSlotGroupLength));
  QLineEdit* eSub = AddEdit(pnBse_, "eSub", nullptr, static_cast<int>(kTbPersonGroupLength));
  QLineEdit* fpCap =
      AddEdit(pnBse_, "fpCap", "Id of the slot, must be unique within the group+subgroup. Max length 15 char.",
           static_cast<int>(kTbIdLength));
  QLineEdit* fpNam = AddEdit(pnBse_, "fpNam", "Full name is not shown often", 0);
  QLineEdit* fpTip = AddEdit(pnBse_, "fpTip", "Tooltip for slot", 0);
  QLineEdit* fpMom = AddEdit(pnBse_, "fpMom", "Mother's id / name on board", static_cast<int>(kTbParentIdLength));
  QLineEdit* fpDad = AddEdit(pnBse_, "fpDad", "Fathers' id / name on board", static_cast<int>(kTbParentIdLength));
  for (QLineEdit* e : {fpGrp, eSub, fpCap, fpMom, fpDad}) e->setMinimumWidth(shortWidth);
  QPlainTextEdit* fpAtt = AddMemo(pnBse_, "fpAtt");
  QPlainTextEdit* fpPrp = AddMemo(pnBse_, "fpPrp");
  QPlainTextEdit* fpHnt = AddMemo(pnBse_, "fpHnt");
  const int threeLines = fm.lineSpacing() * 3 + 12;
  fpAtt->setFixedHeight(threeLines);
  fpPrp->setFixedHeight(threeLines);
  fpHnt->setMinimumHeight(threeLines);
  int row = 0;
  b->addWidget(BuddyLabel(pnBse_, " Group Id", fpGrp), row, 0);
  b->addWidget(fpGrp, row, 1);
  b->addWidget(BuddyLabel(pnBse_, " SubGrp", eSub), row, 2);
  b->addWidget(eSub, row++, 3);
  b->addWidget(BuddyLabel(pnBse_, " Caption", fpCap), row, 0);
  b->addWidget(fpCap, row++, 1);
  b->addWidget(BuddyLabel(pnBse_, " Name", fpNam), row, 0);
  b->addWidget(fpNam, row++, 1, 1, 3);
  b->addWidget(BuddyLabel(pnBse_, " Tip", fpTip), row, 0);
  b->addWidget(fpTip, row++, 1, 1, 3);
  b->addWidget(BuddyLabel(pnBse_, " Mom", fpMom), row, 0);
  b->addWidget(fpMom, row, 1);
  b->addWidget(BuddyLabel(pnBse_, " Dad", fpDad), row, 2);
  b->addWidget(fpDad, row++, 3);
  QLabel* att = BuddyLabel(pnBse_, " Att", fpAtt);
  att->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  b->addWidget(att, row, 0);
  b->addWidget(fpAtt, row++, 1, 1, 3);
  QLabel* prp = BuddyLabel(pnBse_, " Prp", fpPrp);
  prp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  b->addWidget(prp, row, 0);
  b->addWidget(fpPrp, row++, 1, 1, 3);
  QLabel* hnt = BuddyLabel(pnBse_, " Hint", fpHnt);
  hnt->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  b->addWidget(hnt, row, 0);
  b->addWidget(fpHnt, row, 1, 1, 3);
  b->setRowStretch(row, 1);
  b->setColumnStretch(1, 1);
  b->setColumnStretch(3, 1);
  return pnBse_;
}


// The group page: its edits are neither filled nor read.
QWidget* TSol048::buildGroupPage(QWidget* pages) {
  pnGrp_ = new QWidget(pages);
  pnGrp_->setObjectName("pnGrp");
  auto* g = new QGridLayout(pnGrp_);
  g->setContentsMargins(0, 0, 0, 0);
  int row = 0;
  for (const auto& [name, caption] : {std::pair{"egGrp", " Group Id"}, std::pair{"egNam", " Name"},
                                      std::pair{"egTip", " Tip"}, std::pair{"egHnt", " Hint"}}) {
    QLineEdit* e = AddEdit(pnGrp_, name, nullptr, 0);
    g->addWidget(BuddyLabel(pnGrp_, caption, e), row, 0);
    g->addWidget(e, row++, 1);
  }
  g->setRowStretch(row, 1);
  g->setColumnStretch(1, 1);
  return pnGrp_;
}


// The cross-reference page: nothing fills its grid.
QWidget* TSol048::buildXRefPage(QWidget* pages) {
  panRef_ = new QWidget(pages);
  panRef_->setObjectName("panRef");
  auto* r = new QVBoxLayout(panRef_);
  r->setContentsMargins(0, 0, 0, 0);
  gOmn_ = new QTableWidget(4, 4, panRef_);
  gOmn_->setObjectName("gOmn");
  connect(gOmn_, &QTableWidget::itemChanged, this, [this] { SetDirty(); });
  r->addWidget(gOmn_);
  return panRef_;
}


QWidget* TSol048::buildButtons() {
  // ---- Buttons ----
  auto* pnBot = new QWidget(this);
  pnBot->setObjectName("pnBot");
  auto* bot = new QHBoxLayout(pnBot);
  bot->setContentsMargins(0, 0, 0, 0);
  bot->addStretch(1);
  auto button = [this, pnBot, bot](const char* name, const char* caption, int32_t command, const char* hint) {
    auto* btn = new QPushButton(caption, pnBot);
    btn->setObjectName(name);
    btn->setToolTip(hint);
    btn->setProperty(kTagProperty, command);
    btn->setEnabled(false);
    connect(btn, &QPushButton::clicked, this, [this, btn] { RunCommand(btn->property(kTagProperty).toInt()); });
    bot->addWidget(btn);
    return btn;
  };
  bcRun12_ = button("bcRun12", "Load", ecLoad, "Reload settings");
  bcRun13_ = button("bcRun13", "Save", ecSave,
                    "Save settings: the entry changes in memory; the text-base file is not written");
  bcRun15_ = button("bcRun15", "Copy", ecCopy, "Copy current to a new entry");
  return pnBot;
}

QLineEdit* TSol048::Edit(const char* name) const { return findChild<QLineEdit*>(name); }
QPlainTextEdit* TSol048::Memo(const char* name) const { return findChild<QPlainTextEdit*>(name); }
QPushButton* TSol048::Button(const char* name) const { return findChild<QPushButton*>(name); }

TLabelRx* TSol048::Tab(int value) const {
  for (TLabelRx* t : tabs_)
    if (t->DownVal() == value) return t;
  return nullptr;
}

QWidget* TSol048::Page(int value) const {
  switch (value) {
    case etSlots:
      return pnBse_;
    case etName:
      return pnGrp_;
    case etXRef:
      return panRef_;
    default:
      return nullptr;
  }
}

int TSol048::TabValue() const { return tabs_.front()->ValInt(); }

void TSol048::RunCommand(int32_t command) {
  switch (command) {
    case ecFillTree:
      FillTree();
      break;
    case ecShowNone:
      ShowEntry(kTbNoEntry);
      break;
    case ecLoad:
      ShowEntry(-1);
      break;
    case ecSave:
      SaveEntry();
      break;
    case ecCopy:
      CopyEntry();
      break;
    case ecClearModified:
      ClearModified();
      break;
    default:
      if (command >= ecTabBase && command <= ecTabLast) ShowTab(command - ecTabBase);
      break;
  }
}

void TSol048::FillTree() {
  const std::vector<TbTreeGroup> groups = TbTree(textbase_.Persons());
  treeBusy_ = true;
  tvInq_->setUpdatesEnabled(false);
  tvInq_->clear();
  nodeOf_.assign(textbase_.Persons().size(), nullptr);
  QList<QTreeWidgetItem*> tops;
  tops.reserve(static_cast<qsizetype>(groups.size()));
  for (const TbTreeGroup& group : groups) {
    const QIcon& icon = CachedKindIcon(group.kind);
    auto* top = new QTreeWidgetItem(QStringList(platform::toQString(group.caption)));
    top->setIcon(0, icon);
    top->setData(0, kIndexRole, kGroupNode);
    top->setData(0, kByIdRole, !group.entries.empty() && group.entries.front().index < kFirstByDisplayText);
    QList<QTreeWidgetItem*> children;
    children.reserve(static_cast<qsizetype>(group.entries.size()));
    for (const TbTreeEntry& e : group.entries) {
      auto* node = new QTreeWidgetItem(QStringList(platform::toQString(e.text)));
      node->setIcon(0, icon);
      node->setData(0, kIndexRole, e.index);
      nodeOf_[static_cast<size_t>(e.index)] = node;
      children.push_back(node);
    }
    top->addChildren(children);
    tops.push_back(top);
  }
  tvInq_->addTopLevelItems(tops);
  tvInq_->setUpdatesEnabled(true);
  treeBusy_ = false;
}

void TSol048::SelectNode(int index) {
  QTreeWidgetItem* node =
      index >= 0 && static_cast<size_t>(index) < nodeOf_.size() ? nodeOf_[static_cast<size_t>(index)] : nullptr;
  treeBusy_ = true;
  if (node != nullptr) {
    tvInq_->setCurrentItem(node);
    tvInq_->scrollToItem(node);
  } else {
    tvInq_->setCurrentItem(nullptr);
  }
  treeBusy_ = false;
}

void TSol048::ShowEntry(int index) {
  if (index == -1) index = current_;
  const std::vector<recEngTDB>& persons = textbase_.Persons();
  if (index < 0 || static_cast<size_t>(index) >= persons.size()) index = kTbNoEntry;
  filling_ = true;
  if (index < 0) {
    for (QLineEdit* e : pnBse_->findChildren<QLineEdit*>()) e->clear();
    for (QLineEdit* e : pnGrp_->findChildren<QLineEdit*>()) e->clear();
    for (QPlainTextEdit* m : pnBse_->findChildren<QPlainTextEdit*>()) m->clear();
  } else {
    const recEngTDB& p = persons[static_cast<size_t>(index)];
    Edit("fpGrp")->setText(platform::toQString(p.slotGroup));
    Edit("eSub")->setText(platform::toQString(p.personGroup));
    Edit("fpCap")->setText(platform::toQString(p.id));
    Edit("fpNam")->setText(platform::toQString(p.displayText));
    Edit("fpTip")->setText(platform::toQString(p.tip));
    Edit("fpMom")->setText(platform::toQString(p.motherId));
    Edit("fpDad")->setText(platform::toQString(p.fatherId));
    Memo("fpAtt")->setPlainText(platform::toQString(p.braceText));
    Memo("fpPrp")->setPlainText(platform::toQString(p.angleText));
    SetMemoLines(Memo("fpHnt"), TbLongTextLines(p.longText));
  }
  ClearModified();
  filling_ = false;
  current_ = index;
  dirty_ = false;
  SelectNode(index);
  UpdateButtons();
}

recEngTDB TSol048::FieldsInto(recEngTDB entry) const {
  entry.id = TbCut(Text(Edit("fpCap")), kTbIdLength);
  entry.displayText = Text(Edit("fpNam"));
  entry.tip = Text(Edit("fpTip"));
  entry.motherId = TbCut(Text(Edit("fpMom")), kTbParentIdLength);
  entry.fatherId = TbCut(Text(Edit("fpDad")), kTbParentIdLength);
  entry.angleText = TbJoinWords(MemoLines(Memo("fpPrp")));
  entry.braceText = TbJoinWords(MemoLines(Memo("fpAtt")));
  entry.longText = TbJoinLongText(MemoLines(Memo("fpHnt")));
  entry.groupNumber = kTbEditGroup;
  return entry;
}

bool TSol048::IdTaken(const std::string& id) const {
  if (textbase_.FindPerson(kTbEditGroup, id) < 0) return false;
  MsgBoxCap(foundation::Variant(TbDuplicateKeyText(id)), foundation::Variant(kTbDuplicateKeyCaption));
  return true;
}

bool TSol048::SaveEntry() {
  if (!dirty_) return false;
  std::vector<recEngTDB>& persons = textbase_.Persons();
  if (current_ < 0 || static_cast<size_t>(current_) >= persons.size()) return false;
  recEngTDB& entry = persons[static_cast<size_t>(current_)];
  recEngTDB edited = FieldsInto(entry);
  // An entry keeping its own id may be saved; a new id must be free.
  if (!platform::SameTextLatin1(edited.id, entry.id) && IdTaken(edited.id)) return false;
  entry = std::move(edited);
  ClearModified();
  dirty_ = false;
  UpdateButtons();
  // The tree shows the saved name.
  const size_t at = static_cast<size_t>(current_);
  QTreeWidgetItem* node = at < nodeOf_.size() ? nodeOf_[at] : nullptr;
  if (node != nullptr) {
    const bool byId = node->parent() != nullptr && node->parent()->data(0, kByIdRole).toBool();
    node->setText(0, platform::toQString(byId || entry.displayText.empty() ? entry.id : entry.displayText));
  }
  return true;
}

bool TSol048::CopyEntry() {
  std::vector<recEngTDB>& persons = textbase_.Persons();
  if (current_ < 0 || static_cast<size_t>(current_) >= persons.size()) return false;
  if (persons.size() >= static_cast<size_t>(kTbMaxPersons)) {
    MsgBoxCap(foundation::Variant("The text base holds " + std::to_string(kTbMaxPersons) +
                                  " entries, as many as it can: no copy was made."),
              foundation::Variant(kCaption));
    return false;
  }
  const recEngTDB& source = persons[static_cast<size_t>(current_)];
  recEngTDB copy;
  if (dirty_) {
    // The copy takes the edits; the entry shown keeps what it had.
    copy = FieldsInto(source);
    if (IdTaken(copy.id)) return false;
  } else {
    copy = source;
    copy.id = TbCopyId(textbase_, source.id);
    copy.groupNumber = kTbEditGroup;
  }
  persons.push_back(std::move(copy));
  FillTree();
  ShowEntry(static_cast<int>(persons.size()) - 1);
  return true;
}

void TSol048::TextbaseLoaded() {
  RunCommand(ecFillTree);
  RunCommand(ecShowNone);
}

void TSol048::ShowTab(int value) {
  if (Tab(value) != nullptr) {
    tabs_.front()->SetValInt(value);
  } else {
    for (TLabelRx* t : tabs_) t->SetDown(false);
  }
  pnBse_->setVisible(value == etSlots);
  pnGrp_->setVisible(value == etName);
  panRef_->setVisible(value == etXRef);
}

void TSol048::SetDirty() {
  if (filling_ || dirty_) return;
  dirty_ = true;
  UpdateButtons();
}

void TSol048::UpdateButtons() {
  bcRun12_->setEnabled(dirty_);
  bcRun13_->setEnabled(dirty_);
  bcRun15_->setEnabled(current_ >= 0);
}

void TSol048::ClearModified() {
  for (QLineEdit* e : findChildren<QLineEdit*>()) e->setModified(false);
  for (QPlainTextEdit* m : findChildren<QPlainTextEdit*>()) m->document()->setModified(false);
}

bool TSol048::eventFilter(QObject* watched, QEvent* e) {
  if (watched == panTop_) {
    // The tab bar looks raised while the mouse is over it; a click on it
    // takes the focus away from the fields.
    if (e->type() == QEvent::Enter) panTop_->setFrameShadow(QFrame::Raised);
    if (e->type() == QEvent::Leave) panTop_->setFrameShadow(QFrame::Sunken);
    if (e->type() == QEvent::MouseButtonPress) panTop_->setFocus();
  } else if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
    // Leaving a changed edit, or Enter in it, makes the window dirty.
    const bool enter = e->type() == QEvent::KeyPress && (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Return ||
                                                         static_cast<QKeyEvent*>(e)->key() == Qt::Key_Enter);
    if ((enter || e->type() == QEvent::FocusOut) && edit->isModified()) SetDirty();
  }
  return foundation::TFormSx::eventFilter(watched, e);
}

void TSol048::FormDestroy() {
  foundation::IniWriteValue(foundation::AppIni, kSection, kTabKey, foundation::Variant(int32_t{TabValue()}));
  foundation::SaveAppIni();
}

}  // namespace pellora
