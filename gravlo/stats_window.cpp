#include "gravlo/stats_window.h"

#include <QHBoxLayout>
#include <QVBoxLayout>
#include <string_view>

#include "foundation/controls.h"
#include "foundation/ini.h"
#include "foundation/listview.h"
#include "foundation/sysinit.h"
#include "gravlo/main_window.h"
#include "platform/text.h"

namespace gravlo {

QPointer<TGrv016> Grv016;

namespace {

const char* const kSection = "Grv016";

using platform::TrimBlanks;

// The field before the first separator, trimmed; the rest after it, trimmed,
// stays for the next field. Without a separator the field is the whole rest.
std::string CutField(std::string_view& rest, char separator) {
  const size_t p = rest.find(separator);
  std::string_view field = rest.substr(0, p);
  rest = p == std::string_view::npos ? std::string_view() : TrimBlanks(rest.substr(p + 1));
  return std::string(TrimBlanks(field));
}


struct ColumnInfo {
  const char* caption;
  foundation::TAlignment alignment;
  int width;  // 0: the list's default
};

constexpr foundation::TAlignment kLeft = foundation::TAlignment::LeftJustify;
constexpr foundation::TAlignment kRight = foundation::TAlignment::RightJustify;
constexpr foundation::TAlignment kCentre = foundation::TAlignment::Center;

// Column i carries tag i + 1: the caption, then sub-item i - 1.
constexpr ColumnInfo kColumns[] = {
    {"Player", kLeft, 200}, {"Lines", kRight, 80},   {"Time", kRight, 100},   {"Date", kCentre, 200},
    {"Timer", kRight, 80},  {"Sprites", kRight, 100}, {"Bonuses", kRight, 80}, {"Used", kRight, 0},
    {"Resets", kRight, 0},  {"Rems", kRight, 0},      {"Adds", kRight, 0},
};

}  // namespace

ResultFields SplitResultLine(const std::string& line) {
  ResultFields f;
  std::string_view rest = line.empty() ? std::string_view() : std::string_view(line).substr(1);
  const std::string lines = CutField(rest, 'T');
  const std::string time = CutField(rest, '=');
  // Player, date, bonuses, interval, pieces, used, resets, removed, added.
  std::array<std::string, 9> tail;
  for (std::string& field : tail) field = CutField(rest, '|');
  f[0] = tail[0];   // player
  f[1] = lines;
  f[2] = time;
  f[3] = tail[1];   // date
  f[4] = tail[3];   // interval
  f[5] = tail[4];   // pieces
  f[6] = tail[2];   // bonuses
  f[7] = tail[5];   // used
  f[8] = tail[6];   // resets
  f[9] = tail[7];   // removed rows
  f[10] = tail[8];  // added rows
  return f;
}

TGrv016::TGrv016(QWidget* parent) : foundation::TFormSx(kSection, parent, Qt::Window) {
  setWindowTitle("Statistics - Gravlo");
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_QuitOnClose, false);

  lvSts_ = new foundation::TListViewRx(this);
  lvSts_->setObjectName("lvSts");
  lvSts_->setFrameShape(QFrame::NoFrame);
  QPalette pal = lvSts_->palette();
  pal.setColor(QPalette::Base, QColor(232, 248, 244));
  lvSts_->setPalette(pal);
  for (size_t i = 0; i < std::size(kColumns); ++i) {
    foundation::TListColumnRx* c = lvSts_->AddColumn();
    c->SetTag(static_cast<int>(i) + 1);
    c->SetCaption(kColumns[i].caption);
    c->SetAlignment(kColumns[i].alignment);
    if (kColumns[i].width > 0) c->SetWidth(kColumns[i].width);
  }

  auto* pnBot = new QFrame(this);
  pnBot->setObjectName("pnBot");
  pnBot->setFixedHeight(31);
  pnBot->setFrameShape(QFrame::Panel);
  pnBot->setFrameShadow(QFrame::Sunken);
  cGme_ = new foundation::TComboSx(pnBot);
  cGme_->setObjectName("cGme");
  cGme_->setEditable(false);
  cGme_->SetAlign(foundation::TAlign::Client);
  connect(cGme_, &QComboBox::activated, this, [this](int) { Command(kCommandLoadVariant); });
  auto* refresh = new foundation::TButtonSx(pnBot);
  refresh->setObjectName("ButtonSx1");
  refresh->setText("Refresh");
  refresh->setProperty("Tag", kCommandLoadVariant);
  refresh->SetAlign(foundation::TAlign::Right);
  connect(refresh, &QPushButton::clicked, this, &TGrv016::xBtn_Click);
  auto* bottom = new QHBoxLayout(pnBot);
  bottom->setContentsMargins(2, 2, 2, 2);
  bottom->setSpacing(2);
  bottom->addWidget(cGme_, 1);
  bottom->addWidget(refresh);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(lvSts_, 1);
  layout->addWidget(pnBot);
  resize(1060, 380);

  RestorePlacement();
  lvSts_->LoadColumns(foundation::AppIni, kSection);
  Command(kCommandFillVariants);
}

TGrv016::~TGrv016() {
  FinishForm();
  if (Grv016 == this) Grv016 = nullptr;
}

void TGrv016::FormDestroy() {
  // The placement routine has reloaded the ini and written this window's
  // section; the column layout goes after it.
  if (foundation::AppIni != nullptr) lvSts_->SaveColumns(foundation::AppIni, kSection);
  foundation::SaveAppIni();
}

void TGrv016::xBtn_Click() {
  const QObject* s = sender();
  if (s != nullptr) Command(s->property("Tag").toInt());
}

void TGrv016::Command(int command) {
  if (command == kCommandFillVariants) {
    cGme_->clear();
    foundation::StringList names;
    foundation::IniReadSectionNames(foundation::AppIni, &names);
    std::string wanted;
    if (cGme_->currentIndex() >= 0) {
      wanted = platform::fromQString(cGme_->currentText());
    } else if (Grv010 != nullptr) {
      wanted = Grv010->Engine().VariantKey("WS");
    }
    int select = -1;
    for (int i = 0; i < names.Count(); ++i) {
      const std::string& name = names[i];
      if (name.empty() || name[0] != 'W') continue;
      cGme_->addItem(platform::toQString(name));
      if (select < 0 && platform::SameTextLatin1(name, wanted)) select = cGme_->count() - 1;
    }
    if (select < 0) select = cGme_->count() - 1;
    cGme_->setCurrentIndex(select);
    Command(kCommandLoadVariant);
  } else if (command == kCommandLoadVariant) {
    lvSts_->ClearItems();
    if (cGme_->currentIndex() < 0) return;  // no variant: no lines
    const std::string section = platform::fromQString(cGme_->currentText());
    foundation::StringList lines;
    foundation::IniReadSection(foundation::AppIni, section, &lines);
    for (int i = 0; i < lines.Count(); ++i) {
      ResultFields f = SplitResultLine(lines[i]);
      lvSts_->AddItem(f[0], std::vector<std::string>(f.begin() + 1, f.end()));
    }
  }
}

}  // namespace gravlo
