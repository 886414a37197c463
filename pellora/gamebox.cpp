#include "pellora/gamebox.h"

#include <QCoreApplication>
#include <QVariant>
#include <map>

namespace pellora {
namespace {

// The board each table paints on. A table lives on the GUI thread only.
struct Binding {
  TDrawBox* box = nullptr;
  QMetaObject::Connection destroyed;
};

std::map<const TSolTbl*, Binding>& Boards() {
  static std::map<const TSolTbl*, Binding> boards;
  return boards;
}

}  // namespace

TDrawBox* GameBox(const TSolTbl& table) {
  const auto it = Boards().find(&table);
  return it == Boards().end() ? nullptr : it->second.box;
}

void SetGameBox(TSolTbl& table, TDrawBox* box) {
  TDrawBox* old = GameBox(table);
  if (old == box) return;
  if (old != nullptr) {
    old->OnSize = nullptr;
    old->OnPaint = nullptr;
    QObject::disconnect(Boards()[&table].destroyed);
  }
  table.OnInvalidate = nullptr;
  table.OnUpdateNow = nullptr;
  table.OnDestroy = nullptr;
  Boards().erase(&table);
  if (box == nullptr) return;
  TSolTbl* t = &table;
  box->OnSize = [t](TDrawBox& b) { t->SetBoardSize(b.width(), b.height()); };
  box->OnPaint = [t](TDrawBox& b) {
    t->BoardColor = platform::FromQColor(b.palette().color(b.backgroundRole()));
    t->PaintTable(b.Canvas());
  };
  table.OnInvalidate = [box] { box->update(); };
  table.OnUpdateNow = [box] { box->repaint(); };
  Binding binding;
  binding.box = box;
  binding.destroyed = QObject::connect(box, &QObject::destroyed, [t] {
    Boards().erase(t);
    t->OnInvalidate = nullptr;
    t->OnUpdateNow = nullptr;
    t->OnDestroy = nullptr;
  });
  Boards()[&table] = binding;
  // A table that goes first leaves the box without its handlers.
  table.OnDestroy = [t] { SetGameBox(*t, nullptr); };
  table.SetBoardSize(box->width(), box->height());
}

platform::Rect DrawBoxCard::Bounds() const {
  const QRect g = box_.geometry();
  return platform::Bounds(g.x(), g.y(), g.width(), g.height());
}

void DrawBoxCard::SetBounds(const platform::Rect& b) { box_.setGeometry(b.left, b.top, b.Width(), b.Height()); }

int DrawBoxCard::Tag() const { return box_.property("Tag").toInt(); }

void DrawBoxCard::SetTag(int tag) { box_.setProperty("Tag", tag); }

platform::Color DrawBoxCard::BoxColor() const {
  return platform::FromQColor(box_.palette().color(box_.backgroundRole()));
}

void BindMovingBox(TSolTbl& table, TDrawBox& box) {
  TSolTbl* t = &table;
  box.OnPaint = [t](TDrawBox& b) {
    DrawBoxCard card(b);
    t->PaintMoving(card, b.Canvas());
  };
}

}  // namespace pellora
