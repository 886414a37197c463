#include "gravlo/grv018.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/controls.h"
#include "foundation/placement.h"
#include "gravlo/grv010.h"

namespace gravlo {

TGrv018* Grv018 = nullptr;

namespace {

struct FieldInfo {
  const char* label;
  const char* name;
  const char* formText;
  const char* hint;
};

// Top to bottom; the order of the values in load and save is the same.
constexpr FieldInfo kFields[TGrv018::kFieldCount] = {
    {"Game Columns", "esWdt", "10", "Set width of the game"},
    {"Game Rows", "esHgt", "20", "Set height of the game"},
    {"Interval, new game", "esTmr", "1000", "Timer interval for new game"},
    {"- new sprite", "esNew", "-7", "milliseconds to add or subtract from interval "},
    {"- removed line", "esLin", "11", "milliseconds to add or subtract from interval "},
    {" - per conseuqent", "esLinEx", "5",
     "milliseconds added for each removed line times its rank among the lines removed together"},
    {"Bonuses for new", "esBnsNew", "1", "number of bonuses for new game"},
    {"Bottom bonus", "esBnsMode", "-1",
     "clearing the game down to its bottom line: 0 no bonus, -1 adds the lines' milliseconds once more, "
     "-2 resets the interval, above 0 adds that many milliseconds, below -2 keeps the interval"},
    {"Bonus line removal", "esBnsGain", "1", "bonuses gained when the game is cleared down to its bottom line"},
    {"Super bonus", "esBnsZero", "5", "kept with the game variant; no rule uses it"},
    {"Cost of timer reset", "esCostTmr", "1", "bonuses needed for timer reset"},
    {"Cost of line removal", "esCostRem", "1", "bonuses needed for removing one sprite line from the game"},
    {"Cost of new row", "esCostRow", "2", "bonuses needed for adding one line to game"},
    {"Entries in stats", "esSts", "100", "results kept per game variant (one more than this number, best first)"},
    {"Stored players", "esPlr", "30", "Number of entries in player combo"},
    {"Sprites", "esSprs", "0", "Attribute value for sprites"},
};

enum FieldId { fWdt, fHgt, fTmr, fNew, fLin, fLinEx, fBnsNew, fBnsMode, fBnsGain, fBnsZero, fCostTmr, fCostRem,
             fCostRow, fSts, fPlr, fSprs };

// A 16-bit field keeps the low 16 bits of the number.
int16_t Low16(int32_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

}  // namespace

uint32_t EditTextToMask(const std::string& text) { return MaskFromText(text).value_or(0); }

TGrv018::TGrv018(QWidget* parent) : foundation::TFormSx("Grv018", parent, Qt::Window) {
  setWindowTitle("Settings - Gravlo");
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_QuitOnClose, false);
  Grv018 = this;

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(3);
  for (int i = 0; i < kFieldCount; ++i) {
    const FieldInfo& f = kFields[i];
    auto* label = new QLabel(QString::fromLatin1(f.label), this);
    auto* edit = new QLineEdit(QString::fromLatin1(f.formText), this);
    edit->setObjectName(f.name);
    edit->setFrame(false);
    edit->setAlignment(Qt::AlignRight);
    edit->setMinimumWidth(90);
    edit->setToolTip(QString::fromLatin1(f.hint));
    label->setToolTip(edit->toolTip());
    label->setBuddy(edit);
    grid->addWidget(label, i, 0);
    grid->addWidget(edit, i, 1);
    edits_[static_cast<size_t>(i)] = edit;
  }

  auto* buttons = new QVBoxLayout;
  const struct {
    const char* caption;
    int tag;
  } kButtons[] = {{"Load", 20}, {"Save", 30}, {"Close", 90}};
  for (const auto& b : kButtons) {
    auto* button = new QPushButton(QString::fromLatin1(b.caption), this);
    button->setProperty("Tag", b.tag);
    connect(button, &QPushButton::clicked, this, &TGrv018::Button1Click);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(12, 10, 12, 10);
  layout->setSpacing(16);
  layout->addLayout(grid, 1);
  layout->addLayout(buttons);
  resize(sizeHint());

  RestorePlacement();
  Command(20);
}

TGrv018::~TGrv018() {
  FinishForm();
  if (Grv018 == this) Grv018 = nullptr;
}

QLineEdit* TGrv018::Field(const char* name) const {
  for (QLineEdit* e : edits_) {
    if (e->objectName() == QLatin1String(name)) return e;
  }
  return nullptr;
}

void TGrv018::Button1Click() {
  const QObject* sender = QObject::sender();
  if (sender != nullptr) Command(sender->property("Tag").toInt());
}

void TGrv018::Command(int command) {
  TGrv010* main = Grv010;
  auto edit = [this](FieldId f) { return edits_[static_cast<size_t>(f)]; };
  switch (command) {
    case 20: {
      if (main == nullptr) return;
      const TGravlo& g = main->Engine();
      const auto put = [&](FieldId f, int64_t v) { edit(f)->setText(QString::number(v)); };
      put(fWdt, g.GameCols);
      put(fHgt, g.GameRows);
      put(fTmr, g.TimerNew);
      put(fNew, g.DropAdd);
      put(fLin, g.LineAdd);
      put(fLinEx, g.LineAddEx);
      put(fBnsNew, g.BonusNew);
      put(fBnsMode, g.BonusMode);
      put(fBnsGain, g.BonusGain);
      put(fBnsZero, g.BonusZero);
      put(fCostTmr, g.CostOfTmr);
      put(fCostRem, g.CostOfRem);
      put(fCostRow, g.CostOfRow);
      put(fSts, main->StatEntries);
      put(fPlr, main->Players);
      put(fSprs, g.SpriteSet);
      break;
    }
    case 30: {
      if (main == nullptr) return;
      TGravlo& g = main->Engine();
      const auto num = [&](FieldId f) { return foundation::EditToInt(edit(f)); };
      g.GameCols = Low16(num(fWdt));
      g.GameRows = Low16(num(fHgt));
      g.TimerNew = num(fTmr);
      g.DropAdd = num(fNew);
      g.LineAdd = num(fLin);
      g.LineAddEx = num(fLinEx);
      g.BonusMode = Low16(num(fBnsMode));
      g.BonusGain = Low16(num(fBnsGain));
      g.BonusZero = Low16(num(fBnsZero));
      g.BonusNew = Low16(num(fBnsNew));
      g.CostOfTmr = Low16(num(fCostTmr));
      g.CostOfRem = Low16(num(fCostRem));
      g.CostOfRow = Low16(num(fCostRow));
      g.SpriteSet = EditTextToMask(edit(fSprs)->text().toStdString());
      main->StatEntries = num(fSts);
      main->Players = num(fPlr);
      break;
    }
    case 90:
      Command(30);
      close();
      break;
    default:
      break;
  }
}

}  // namespace gravlo
