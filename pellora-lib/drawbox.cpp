#include "pellora-lib/drawbox.h"

#include <QMouseEvent>
#include <QPainter>

namespace pellora {

TDrawBox::TDrawBox(QWidget* parent) : QWidget(parent), canvas_(std::make_unique<platform::Canvas>()) {
  setAutoFillBackground(true);  // the background is erased before OnPaint
  setMouseTracking(true);       // moves arrive without a held button too
}

TDrawBox::~TDrawBox() { canvas_.reset(); }

void TDrawBox::SetValue(int32_t value, int index) {
  if (index != 1 || value == value_) return;
  value_ = value;
  update();
}

bool TDrawBox::Selected(int index) const {
  if (index < 0 || index > 7) return false;
  return (selection_ >> index) & 1;
}

void TDrawBox::SetSelected(bool flag, int index) {
  if (index < 0 || index > 7 || Selected(index) == flag) return;
  const uint8_t bit = static_cast<uint8_t>(1u << index);
  selection_ = flag ? static_cast<uint8_t>(selection_ | bit) : static_cast<uint8_t>(selection_ & ~bit);
  update();
}

void TDrawBox::Paint() {
  if (OnPaint) OnPaint(*this);
}

void TDrawBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  canvas_->Bind(&painter, platform::Rect{0, 0, width(), height()});
  try {
    Paint();
  } catch (...) {
    // A failing owner drawing must not break the paint cycle; the next
    // paint tries again.
  }
  canvas_->Unbind();
}

void TDrawBox::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (OnSize) OnSize(*this);
}

void TDrawBox::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (OnSize) OnSize(*this);
}

void TDrawBox::mousePressEvent(QMouseEvent* event) {
  if (focusPolicy() & Qt::TabFocus && !hasFocus()) setFocus(Qt::MouseFocusReason);
  if (event->button() == Qt::LeftButton) clickArmed_ = true;
  const QPoint p = event->position().toPoint();
  if (OnMouseDown) OnMouseDown(*this, event->button(), event->modifiers(), p.x(), p.y());
}

void TDrawBox::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (OnMouseMove) OnMouseMove(*this, event->modifiers(), p.x(), p.y());
}

void TDrawBox::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (event->button() == Qt::LeftButton && clickArmed_) {
    clickArmed_ = false;
    if (rect().contains(p) && OnClick) OnClick(*this);
  }
  if (OnMouseUp) OnMouseUp(*this, event->button(), event->modifiers(), p.x(), p.y());
}

void TDrawBox::Assign(const TDrawBox& source) {
  setPalette(source.palette());
  setFont(source.font());
  setCursor(source.cursor());
  setToolTip(source.toolTip());
  setFocusPolicy(source.focusPolicy());
  setContextMenuPolicy(source.contextMenuPolicy());
  setSizePolicy(source.sizePolicy());
  setMinimumSize(source.minimumSize());
  setMaximumSize(source.maximumSize());
  setProperty("Tag", source.property("Tag"));
  resize(source.size());
  OnPaint = source.OnPaint;
  OnClick = source.OnClick;
  OnMouseDown = source.OnMouseDown;
  OnMouseMove = source.OnMouseMove;
  OnMouseUp = source.OnMouseUp;
}

}  // namespace pellora
