#include "foundation/listview.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>

#include "foundation/ini.h"
#include "foundation/instrs.h"
#include "platform/text.h"

namespace foundation {

// ---------------------------------------------------------------------------
// Numbers from display text

namespace {

struct NumberText {
  bool blank = true;
  bool negative = false;
  std::string intDigits;   // most significant first
  std::string fracDigits;  // most significant first
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

NumberText scanNumber(std::string_view text) {
  NumberText n;
  size_t first = std::string_view::npos, last = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) > 32) {
      if (first == std::string_view::npos) first = i;
      last = i;
    }
  }
  if (first == std::string_view::npos) return n;
  n.blank = false;
  n.negative = text[first] == '-' || text[last] == '-';
  // From the end: digits belong to the fraction until the first "," or "."
  // (the decimal point); the digits left of it are the integer part.
  bool point = false;
  std::string right, left;  // collected right to left
  for (size_t k = text.size(); k-- > 0;) {
    const char c = text[k];
    if (isDigit(c)) {
      (point ? left : right).push_back(c);
    } else if ((c == ',' || c == '.') && !point) {
      point = true;
    }
  }
  if (!point) left.swap(right);
  n.intDigits.assign(left.rbegin(), left.rend());
  n.fracDigits.assign(right.rbegin(), right.rend());
  return n;
}

// The integer part, saturating at the largest 64-bit value.
int64_t integerPart(const NumberText& n) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t v = 0;
  for (char c : n.intDigits) {
    const int d = c - '0';
    if (v > (kMax - d) / 10) return kMax;
    v = v * 10 + d;
  }
  return v;
}

// Magnitude scaled by 10,000, the fraction rounded to four decimals with ties
// to even; saturates.
int64_t scaledMagnitude(const NumberText& n) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  const int64_t whole = integerPart(n);
  int64_t frac = 0;
  for (size_t i = 0; i < 4; ++i) frac = frac * 10 + (i < n.fracDigits.size() ? n.fracDigits[i] - '0' : 0);
  if (n.fracDigits.size() > 4) {
    const char r = n.fracDigits[4];
    const bool tail = std::any_of(n.fracDigits.begin() + 5, n.fracDigits.end(), [](char c) { return c != '0'; });
    if (r > '5' || (r == '5' && (tail || (frac & 1)))) ++frac;
  }
  if (whole > (kMax - frac) / 10000) return kMax;
  return whole * 10000 + frac;
}

double doubleValue(const NumberText& n) {
  std::string s = (n.intDigits.empty() ? std::string("0") : n.intDigits) + "." +
                  (n.fracDigits.empty() ? std::string("0") : n.fracDigits);
  double v = 0;
  const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
  if (res.ec == std::errc::result_out_of_range) v = std::numeric_limits<double>::max();
  return n.negative ? -v : v;
}

int32_t clampInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

int64_t currencyOf(std::string_view text) {
  const NumberText n = scanNumber(text);
  const int64_t m = scaledMagnitude(n);
  return n.negative ? -m : m;
}

std::string folded(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = static_cast<char>(platform::latin1Lower(static_cast<unsigned char>(c)));
  return s;
}

std::string trimmed(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && static_cast<unsigned char>(s[a]) <= 32) ++a;
  while (b > a && static_cast<unsigned char>(s[b - 1]) <= 32) --b;
  return std::string(s.substr(a, b - a));
}

std::optional<int> parseInt(std::string_view s) {
  int v = 0;
  const char* begin = s.data();
  if (!s.empty() && s[0] == '+') ++begin;
  const auto res = std::from_chars(begin, s.data() + s.size(), v);
  if (res.ec != std::errc() || res.ptr != s.data() + s.size() || begin == s.data() + s.size()) return std::nullopt;
  return v;
}

int alignmentCode(TAlignment a) {
  switch (a) {
    case TAlignment::RightJustify: return 1;
    case TAlignment::Center: return 2;
    default: return 0;
  }
}

Qt::Alignment qtAlignment(TAlignment a) {
  switch (a) {
    case TAlignment::RightJustify: return Qt::AlignRight | Qt::AlignVCenter;
    case TAlignment::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
    default: return Qt::AlignLeft | Qt::AlignVCenter;
  }
}

bool showsCaption(int tag) { return tag >= -1 && tag <= 1; }

}  // namespace

Variant TextToVariant(std::string_view text, int type) {
  const NumberText n = scanNumber(text);
  switch (type) {
    case varBoolean: {
      if (n.blank) return Variant(false);
      const char c = text[0];
      return Variant(!(c == '-' || c == '.' || c == '0' || c == 'F' || c == 'N' || c == 'f' || c == 'n'));
    }
    case varSmallint:
    case varInteger: {
      const int64_t m = integerPart(n);
      return Variant(clampInt32(n.negative ? -m : m));
    }
    case varSingle:
    case varDouble: return Variant(doubleValue(n));
    case varCurrency: return Variant::CurrencyScaled(n.negative ? -scaledMagnitude(n) : scaledMagnitude(n));
    case varDispatch:
    case varError:
    case 13: return Variant(clampInt32(integerPart(n)));
    default: return Variant();
  }
}

// ---------------------------------------------------------------------------
// Columns

void TListColumnRx::SetTag(int tag) {
  tag_ = tag;
  owner_->viewport()->update();
}

void TListColumnRx::SetCaption(const std::string& caption) {
  caption_ = caption;
  owner_->syncColumnHeader(this);
}

int TListColumnRx::Width() const {
  const int i = Index();
  return i >= 0 ? owner_->header()->sectionSize(i) : width_;
}

void TListColumnRx::SetWidth(int width) {
  width = std::max(width, minWidth_);
  if (maxWidth_ > 0) width = std::min(width, maxWidth_);
  width_ = std::clamp(width, 0, 100000);
  owner_->syncColumnHeader(this);
}

void TListColumnRx::SetMinWidth(int width) {
  minWidth_ = std::max(width, 0);
  if (Width() < minWidth_) SetWidth(minWidth_);
}

void TListColumnRx::SetMaxWidth(int width) {
  maxWidth_ = std::max(width, 0);
  if (maxWidth_ > 0 && Width() > maxWidth_) SetWidth(maxWidth_);
}

void TListColumnRx::SetAlignment(TAlignment alignment) {
  alignment_ = alignment;
  owner_->syncColumnHeader(this);
  owner_->viewport()->update();
}

int TListColumnRx::Index() const {
  for (size_t i = 0; i < owner_->columns_.size(); ++i)
    if (owner_->columns_[i].get() == this) return static_cast<int>(i);
  return -1;
}

// ---------------------------------------------------------------------------
// Items

void TListItemRx::SetCaption(const std::string& caption) {
  caption_ = caption;
  emitDataChanged();
}

void TListItemRx::SetSubItems(std::vector<std::string> subItems) {
  subItems_ = std::move(subItems);
  emitDataChanged();
}

void TListItemRx::SetSubItem(int index, const std::string& text) {
  if (index < 0) return;
  if (static_cast<size_t>(index) >= subItems_.size()) subItems_.resize(static_cast<size_t>(index) + 1);
  subItems_[static_cast<size_t>(index)] = text;
  emitDataChanged();
}

std::string TListItemRx::TextForTag(int tag) const {
  if (showsCaption(tag)) return caption_;
  if (tag < -1) return std::string();
  const size_t i = static_cast<size_t>(tag) - 2;
  return i < subItems_.size() ? subItems_[i] : std::string();
}

QVariant TListItemRx::data(int column, int role) const {
  const auto* list = dynamic_cast<const TListViewRx*>(treeWidget());
  if (role == Qt::DisplayRole || role == Qt::EditRole) {
    const int tag = list ? list->tagOfColumn(column) : column + 1;
    return platform::toQString(TextForTag(tag));
  }
  if (role == Qt::TextAlignmentRole && list) return QVariant::fromValue(qtAlignment(list->alignmentOfColumn(column)));
  return QTreeWidgetItem::data(column, role);
}

void TListItemRx::setData(int column, int role, const QVariant& value) {
  auto* list = dynamic_cast<TListViewRx*>(treeWidget());
  if (role == Qt::EditRole && list) {
    // The user renamed the label: the list reports it and leaves the caption.
    list->labelEdited(this, platform::fromQString(value.toString()));
    return;
  }
  if (role == Qt::DisplayRole || role == Qt::EditRole) {
    const int tag = list ? list->tagOfColumn(column) : column + 1;
    const std::string text = platform::fromQString(value.toString());
    if (showsCaption(tag))
      SetCaption(text);
    else if (tag >= 2)
      SetSubItem(tag - 2, text);
    return;
  }
  QTreeWidgetItem::setData(column, role, value);
}

// ---------------------------------------------------------------------------
// The list

TListViewRx::TListViewRx(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(0);
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setItemsExpandable(false);
  setAllColumnsShowFocus(true);
  setSortingEnabled(false);
  setEditTriggers(QAbstractItemView::NoEditTriggers);  // F2 through keyPressEvent
  header()->setSectionsClickable(true);
  header()->setStretchLastSection(false);
  connect(header(), &QHeaderView::sectionClicked, this, [this](int logical) { ColumnClick(logical); });
  connect(header(), &QHeaderView::sectionResized, this,
          [this](int logical, int oldSize, int newSize) { sectionResized(logical, oldSize, newSize); });
}

TListViewRx::~TListViewRx() {
  // Items ask the view for their columns while they go; let them go first.
  clear();
}

TListColumnRx* TListViewRx::Column(int index) const {
  if (index < 0 || index >= ColumnCount()) return nullptr;
  return columns_[static_cast<size_t>(index)].get();
}

TListColumnRx* TListViewRx::AddColumn() {
  columns_.push_back(std::unique_ptr<TListColumnRx>(new TListColumnRx(this)));
  setColumnCount(ColumnCount());
  TListColumnRx* c = columns_.back().get();
  syncColumnHeader(c);
  return c;
}

void TListViewRx::ClearColumns() {
  columns_.clear();
  syncHeaderCount();
}

TListColumnRx* TListViewRx::ColumnByTag(int tag) const {
  for (const auto& c : columns_)
    if (c->Tag() == tag) return c.get();
  return nullptr;
}

TListItemRx* TListViewRx::Item(int index) const {
  return dynamic_cast<TListItemRx*>(topLevelItem(index));
}

TListItemRx* TListViewRx::AddItem(const std::string& caption, std::vector<std::string> subItems) {
  auto* item = new TListItemRx();
  item->SetCaption(caption);
  item->SetSubItems(std::move(subItems));
  item->setFlags(item->flags() | Qt::ItemIsEditable);
  addTopLevelItem(item);
  return item;
}

int TListViewRx::tagOfColumn(int column) const {
  if (column >= 0 && column < ColumnCount()) return columns_[static_cast<size_t>(column)]->Tag();
  return column + 1;
}

TAlignment TListViewRx::alignmentOfColumn(int column) const {
  if (column >= 0 && column < ColumnCount()) return columns_[static_cast<size_t>(column)]->Alignment();
  return TAlignment::LeftJustify;
}

void TListViewRx::syncHeaderCount() {
  setColumnCount(ColumnCount());
  for (const auto& c : columns_) syncColumnHeader(c.get());
}

void TListViewRx::syncColumnHeader(const TListColumnRx* column) {
  const int i = column->Index();
  if (i < 0 || i >= columnCount()) return;
  QTreeWidgetItem* h = headerItem();
  h->setText(i, platform::toQString(column->caption_));
  h->setTextAlignment(i, qtAlignment(column->alignment_));
  adjustingWidth_ = true;
  header()->resizeSection(i, column->width_);
  adjustingWidth_ = false;
}

void TListViewRx::sectionResized(int logical, int, int newSize) {
  if (adjustingWidth_) return;
  TListColumnRx* c = Column(logical);
  if (!c) return;
  int w = std::max(newSize, c->MinWidth());
  if (c->MaxWidth() > 0) w = std::min(w, c->MaxWidth());
  c->width_ = w;
  if (w != newSize) {
    adjustingWidth_ = true;
    header()->resizeSection(logical, w);
    adjustingWidth_ = false;
  }
}

std::string TListViewRx::prefixFor(std::string_view prefix) const {
  std::string p(prefix);
  if (p.empty()) p = platform::fromQString(objectName());
  if (p.empty() || p.back() != '#') p += '#';
  return p;
}

bool TListViewRx::LoadColumns(const StringList* ini, std::string_view section, std::string_view prefix) {
  const std::string key = prefixFor(prefix);
  const bool hadColumns = ColumnCount() > 0;
  bool any = false;
  // A damaged file may hold any number of lines; no report list has more
  // columns than this.
  constexpr int kMaxColumns = 1000;
  for (int n = 0; n < kMaxColumns; ++n) {
    std::string value =
        IniReadValue(ini, section, key + std::to_string(n), Variant(std::string()), varAny).AsString();
    if (value.empty()) break;
    any = true;
    if (value.back() != '|') value += '|';
    std::string rest = value;
    // One field: the trimmed text before the next "|"; present when a "|"
    // was found and the text is not empty.
    auto next = [&rest]() -> std::optional<std::string> {
      const size_t bar = rest.find('|');
      if (bar == std::string::npos) {
        rest.clear();
        return std::nullopt;
      }
      std::string field = trimmed(std::string_view(rest).substr(0, bar));
      rest = trimmed(std::string_view(rest).substr(bar + 1));
      if (field.empty()) return std::nullopt;
      return field;
    };
    // A damaged number counts as absent rather than stopping the window.
    auto nextInt = [&]() -> std::optional<int> {
      const std::optional<std::string> f = next();
      return f ? parseInt(*f) : std::nullopt;
    };

    const int tag = nextInt().value_or(0);
    TListColumnRx* column = hadColumns ? ColumnByTag(tag) : nullptr;
    if (!column) column = AddColumn();
    column->SetTag(tag);
    column->SetCaption(next().value_or(std::string()));
    const std::optional<int> width = nextInt();
    const std::optional<int> image = nextInt();
    const std::optional<int> minWidth = nextInt();
    const std::optional<int> maxWidth = nextInt();
    const std::optional<int> autoSize = nextInt();
    const std::optional<int> alignment = nextInt();
    if (minWidth) column->SetMinWidth(*minWidth);
    if (maxWidth) column->SetMaxWidth(*maxWidth);
    if (width) column->SetWidth(*width);
    if (image) column->SetImageIndex(*image);
    if (autoSize) column->SetAutoSize(*autoSize != 0);
    if (alignment == 1) column->SetAlignment(TAlignment::RightJustify);
    if (alignment == 2) column->SetAlignment(TAlignment::Center);
  }
  return any;
}

void TListViewRx::SaveColumns(StringList* ini, std::string_view section, std::string_view prefix) {
  if (!ini) return;
  const std::string key = prefixFor(prefix);
  const std::string pattern = key + "*=";
  int first = 0, end = 0, sep = 0;
  int found = IniFindKey(ini, section, "", 0, first, end, sep);
  const bool nameless = trimmed(section).empty();
  if (found == -1 || (found == -2 && nameless && first >= 0)) {
    for (int i = end - 1; i >= first; --i)
      if (InStrS(pattern, InStrSData((*ini)[i])) > 0) ini->Delete(i);
    found = IniFindKey(ini, section, "", 0, first, end, sep);
  } else if (found == -2 && !nameless) {
    // A new section gets its header, so that the lines land in it.
    std::string name = trimmed(section);
    if (name.front() != '[') name.insert(name.begin(), '[');
    if (name.back() != ']') name += ']';
    ini->Add(name);
    end = ini->Count();
  } else {
    return;
  }
  int at = end;
  for (int i = 0; i < ColumnCount(); ++i) {
    const TListColumnRx* c = Column(i);
    std::string line = key + std::to_string(i) + "=";
    for (const std::string& f :
         {std::to_string(c->Tag()), c->Caption(), std::to_string(c->Width()), std::to_string(c->ImageIndex()),
          std::to_string(c->MinWidth()), std::to_string(c->MaxWidth()), std::string(c->AutoSize() ? "1" : "0"),
          std::to_string(alignmentCode(c->Alignment()))})
      line += f + " | ";
    ini->Insert(at++, std::move(line));
  }
}

namespace {

struct SortKeyText {
  int64_t number = 0;
  std::string text;
};

}  // namespace

int TListViewRx::CompareItems(const TListItemRx* item1, const TListItemRx* item2) const {
  const std::string t1 = item1 ? item1->TextForTag(sortTag_) : std::string();
  const std::string t2 = item2 ? item2->TextForTag(sortTag_) : std::string();
  int r;
  if (numericSort_) {
    const int64_t a = currencyOf(t1), b = currencyOf(t2);
    r = a < b ? -1 : (a > b ? 1 : 0);
  } else {
    const int c = folded(t1).compare(folded(t2));
    r = c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return descending_ ? -r : r;
}

void TListViewRx::sortItems() {
  QTreeWidgetItem* current = currentItem();
  const QList<QTreeWidgetItem*> selected = selectedItems();
  QList<QTreeWidgetItem*> items = invisibleRootItem()->takeChildren();
  // Each item's key is worked out once; the order is that of CompareItems.
  std::vector<std::pair<SortKeyText, QTreeWidgetItem*>> keyed;
  keyed.reserve(static_cast<size_t>(items.size()));
  for (QTreeWidgetItem* it : items) {
    const auto* rx = dynamic_cast<const TListItemRx*>(it);
    const std::string text = rx ? rx->TextForTag(sortTag_) : std::string();
    SortKeyText k;
    if (numericSort_)
      k.number = currencyOf(text);
    else
      k.text = folded(text);
    keyed.emplace_back(std::move(k), it);
  }
  const bool numeric = numericSort_, desc = descending_;
  std::stable_sort(keyed.begin(), keyed.end(), [numeric, desc](const auto& a, const auto& b) {
    const bool less = numeric ? a.first.number < b.first.number : a.first.text < b.first.text;
    const bool greater = numeric ? a.first.number > b.first.number : a.first.text > b.first.text;
    return desc ? greater : less;
  });
  QList<QTreeWidgetItem*> sorted;
  sorted.reserve(items.size());
  for (auto& k : keyed) sorted.append(k.second);
  invisibleRootItem()->addChildren(sorted);
  for (QTreeWidgetItem* it : selected) it->setSelected(true);
  if (current) setCurrentItem(current, currentColumn() < 0 ? 0 : currentColumn(), QItemSelectionModel::NoUpdate);
}

void TListViewRx::ColumnClick(int index) {
  TListColumnRx* column = Column(index);
  if (!column) return;
  // The clicked column's own tag and alignment decide the order; a second
  // click on the same tag reverses it.
  const int tag = column->Tag();
  if (sorted_ && tag == sortTag_) {
    descending_ = !descending_;
  } else {
    sortTag_ = tag;
    descending_ = false;
    sorted_ = true;
  }
  numericSort_ = column->Alignment() == TAlignment::RightJustify;
  sortItems();
  if (OnColumnClick) OnColumnClick(this, column);
}

int TListViewRx::captionColumn() const {
  for (int i = 0; i < ColumnCount(); ++i)
    if (showsCaption(columns_[static_cast<size_t>(i)]->Tag())) return i;
  return columnCount() > 0 ? 0 : -1;
}

bool TListViewRx::EditLabel(TListItemRx* item) {
  if (!item || item->treeWidget() != this) return false;
  bool allowed = editAllowed_;
  if (OnEditing) OnEditing(this, item, allowed);
  const int column = captionColumn();
  if (!allowed || column < 0) return false;
  editItem(item, column);
  return state() == QAbstractItemView::EditingState;
}

void TListViewRx::labelEdited(TListItemRx* item, const std::string& text) {
  if (!item || text == item->Caption()) return;
  std::string s = text;
  if (OnEdited) OnEdited(this, item, s);
}

void TListViewRx::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_F2) {
    TListItemRx* item = nullptr;
    if (QTreeWidgetItem* cur = currentItem(); cur && cur->isSelected()) item = dynamic_cast<TListItemRx*>(cur);
    if (!item) {
      const QList<QTreeWidgetItem*> sel = selectedItems();
      if (!sel.isEmpty()) item = dynamic_cast<TListItemRx*>(sel.first());
    }
    if (item) {
      editAllowed_ = true;
      EditLabel(item);
    }
    e->accept();
    return;
  }
  QTreeWidget::keyPressEvent(e);  // moving through the list
}

void TListViewRx::mouseDoubleClickEvent(QMouseEvent* e) {
  editAllowed_ = false;
  QTreeWidget::mouseDoubleClickEvent(e);
  if (OnDblClick) OnDblClick(this);
}

}  // namespace foundation
