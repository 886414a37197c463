#pragma once
// TGrv016: the statistics window. A combo offers the game variants that have
// results ("W..." sections of the application ini); the selected one is shown
// in a sortable report list, one row per result line.
#include <QPointer>
#include <QWidget>
#include <array>
#include <string>

#include "foundation/placement.h"

namespace foundation {
class TComboSx;
class TListViewRx;
}  // namespace foundation

namespace gravlo {

// The fields of one result line in the list's column order: player, lines,
// time, date, interval, pieces, bonuses, used, resets, removed rows, added
// rows. Damaged lines give empty or partial fields.
using ResultFields = std::array<std::string, 11>;
ResultFields SplitResultLine(const std::string& line);

class TGrv016 : public foundation::TFormSx {
  Q_OBJECT
 public:
  explicit TGrv016(QWidget* parent = nullptr);
  ~TGrv016() override;

  // kCommandFillVariants fills the variant list and loads the wanted variant,
  // kCommandLoadVariant loads the selected variant; other numbers do nothing.
  static constexpr int kCommandFillVariants = 10;
  static constexpr int kCommandLoadVariant = 11;
  void Command(int command);

  foundation::TComboSx* VariantCombo() const { return cGme_; }
  foundation::TListViewRx* List() const { return lvSts_; }

 protected:
  void FormDestroy() override;

 private:
  void xBtn_Click();

  foundation::TListViewRx* lvSts_ = nullptr;
  foundation::TComboSx* cGme_ = nullptr;
};

// The open statistics window, or nullptr.
extern QPointer<TGrv016> Grv016;

}  // namespace gravlo
