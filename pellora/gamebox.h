#pragma once
// The thin Qt side of the card table: a TDrawBox as its board and another as
// the moving card box.
#include "pellora-lib/drawbox.h"
#include "pellora/table.h"

namespace pellora {

// Binds the board: its size changes lay the table out, its paints paint the
// table, and the table's invalidate and update-now requests reach it. A null
// box unbinds the old one. Binding the box already bound does nothing.
void SetGameBox(TSolTbl& table, TDrawBox* box);
TDrawBox* GameBox(const TSolTbl& table);

// A TDrawBox seen as the table's moving card box (Tag is the Qt property
// "Tag", as the box's Assign keeps it).
class DrawBoxCard : public SolCardBox {
 public:
  explicit DrawBoxCard(TDrawBox& box) : box_(box) {}
  platform::Rect Bounds() const override;
  void SetBounds(const platform::Rect& bounds) override;
  int Tag() const override;
  void SetTag(int tag) override;
  int32_t Value() const override { return box_.Value(); }
  void SetValue(int32_t value) override { box_.SetValue(value); }
  bool Selected() const override { return box_.Selected(); }
  bool Visible() const override { return box_.isVisible(); }
  void SetVisible(bool visible) override { box_.setVisible(visible); }
  platform::Color BoxColor() const override;
  TDrawBox& Box() { return box_; }

 private:
  TDrawBox& box_;
};

// Binds the moving card box's paints to the table's PaintMoving.
void BindMovingBox(TSolTbl& table, TDrawBox& box);

}  // namespace pellora
