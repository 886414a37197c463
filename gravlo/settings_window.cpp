#include "gravlo/settings_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/controls.h"
#include "foundation/placement.h"
#include "gravlo/main_window.h"

namespace gravlo {

QPointer<TGrv018> Grv018;

namespace {

struct FieldInfo {
  const char* label;
  const char* name;
  const char* formText;
  const char* hint;
  const char* setting;  // the engine parameter's ini key; nullptr: kept apart
};

// Top to bottom; the order of the values in load and save is the same.
constexpr FieldInfo kFields[TGrv018::kFieldCount] = {
    {"Game Columns", "esWdt", "10", "Set width of the game", "pGrv.GameCols"},
    {"Game Rows", "esHgt", "20", "Set height of the game", "pGrv.GameRows"},
    {"Interval, new game", "esTmr", "1000", "Timer interval for new game", "pGrv.TimerNew"},
    {"- new sprite", "esNew", "-7", "milliseconds to add or subtract from interval ", "pGrv.DropAdd"},
    {"- removed line", "esLin", "11", "milliseconds to add or subtract from interval ", "pGrv.LineAdd"},
    {" - per conseuqent", "esLinEx", "5",
     "milliseconds added for each removed line times its rank among the lines removed together", "pGrv.LineAddEx"},
    {"Bonuses for new", "esBnsNew", "1", "number of bonuses for new game", "pGrv.BonusNew"},
    {"Bottom bonus", "esBnsMode", "-1",
     "clearing the game down to its bottom line: 0 no bonus, -1 adds the lines' milliseconds once more, "
     "-2 resets the interval, above 0 adds that many milliseconds, below -2 keeps the interval",
     "pGrv.BonusMode"},
    {"Bonus line removal", "esBnsGain", "1", "bonuses gained when the game is cleared down to its bottom line",
     "pGrv.BonusGain"},
    {"Super bonus", "esBnsZero", "5", "kept with the game variant; no rule uses it", "pGrv.BonusZero"},
    {"Cost of timer reset", "esCostTmr", "1", "bonuses needed for timer reset", "pGrv.CostOfTmr"},
    {"Cost of line removal", "esCostRem", "1", "bonuses needed for removing one sprite line from the game",
     "pGrv.CostOfRem"},
    {"Cost of new row", "esCostRow", "2", "bonuses needed for adding one line to game", "pGrv.CostOfRow"},
    {"Entries in stats", "esSts", "100", "results kept per game variant (one more than this number, best first)",
     nullptr},
    {"Stored players", "esPlr", "30", "Number of entries in player combo", nullptr},
    {"Sprites", "esSprs", "0", "Attribute value for sprites", nullptr},
};

// The engine parameter a field edits, or nullptr for the window's own ones.
const EngineSetting* SettingOf(const FieldInfo& field) {
  return field.setting != nullptr ? FindEngineSetting(field.setting) : nullptr;
}

}  // namespace

uint32_t EditTextToMask(const std::string& text) { return MaskFromText(text).value_or(0); }

TGrv018::TGrv018(QWidget* parent) : foundation::TFormSx("Grv018", parent, Qt::Window) {
  setWindowTitle("Settings - Gravlo");
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_QuitOnClose, false);

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
  } kButtons[] = {{"Load", kCommandLoad}, {"Save", kCommandSave}, {"Close", kCommandClose}};
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
  Command(kCommandLoad);
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
  switch (command) {
    case kCommandLoad: {
      if (main == nullptr) return;
      const TGravlo& g = main->Engine();
      for (size_t i = 0; i < edits_.size(); ++i) {
        if (const EngineSetting* setting = SettingOf(kFields[i])) {
          edits_[i]->setText(QString::number(setting->get(g)));
        }
      }
      Field("esSts")->setText(QString::number(main->StatEntries));
      Field("esPlr")->setText(QString::number(main->Players));
      Field("esSprs")->setText(QString::number(g.SpriteSet));
      break;
    }
    case kCommandSave: {
      if (main == nullptr) return;
      TGravlo& g = main->Engine();
      for (size_t i = 0; i < edits_.size(); ++i) {
        if (const EngineSetting* setting = SettingOf(kFields[i])) {
          setting->set(g, foundation::EditToInt(edits_[i]));
        }
      }
      g.SpriteSet = EditTextToMask(Field("esSprs")->text().toStdString());
      main->StatEntries = foundation::EditToInt(Field("esSts"));
      main->Players = foundation::EditToInt(Field("esPlr"));
      break;
    }
    case kCommandClose:
      Command(kCommandSave);
      close();
      break;
    default:
      break;
  }
}

}  // namespace gravlo
