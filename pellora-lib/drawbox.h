#pragma once
// A box whose whole look is drawn by its owner in OnPaint. It carries a
// Value (the card game keeps a picture number there) and a Selected flag;
// changing either repaints. Every move or resize raises OnSize.
#include <QWidget>
#include <cstdint>
#include <functional>

#include "platform/canvas.h"

namespace pellora {

class TDrawBox : public QWidget {
  Q_OBJECT

 public:
  using NotifyEvent = std::function<void(TDrawBox& sender)>;
  using MouseEvent = std::function<void(TDrawBox& sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                                        int x, int y)>;
  using MoveEvent = std::function<void(TDrawBox& sender, Qt::KeyboardModifiers shift, int x, int y)>;

  explicit TDrawBox(QWidget* parent = nullptr);
  ~TDrawBox() override;

  int32_t Value() const { return value_; }
  void SetValue(int32_t value, int index = 1);
  bool Selected(int index = 1) const;
  void SetSelected(bool flag, int index = 1);

  // The canvas the owner draws on; bound only while OnPaint runs.
  platform::Canvas& Canvas() { return *canvas_; }

  // Copies the look, size, hint, tag and handlers of another box; its Value,
  // Selected, OnSize, position, visibility and enabled state stay.
  void Assign(const TDrawBox& source);

  NotifyEvent OnPaint;
  NotifyEvent OnSize;
  NotifyEvent OnClick;
  MouseEvent OnMouseDown;
  MoveEvent OnMouseMove;
  MouseEvent OnMouseUp;

 protected:
  // Calls OnPaint; the box itself draws nothing.
  virtual void Paint();

  void paintEvent(QPaintEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int32_t value_ = 0;
  uint8_t selection_ = 0;
  bool clickArmed_ = false;
  std::unique_ptr<platform::Canvas> canvas_;
};

}  // namespace pellora
