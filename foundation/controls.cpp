#include "foundation/controls.h"

#include <QKeyEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <limits>

#include "foundation/keys.h"
#include "platform/text.h"

namespace foundation {

// ---------------------------------------------------------------------------
// TPanelSx

TPanelSx::TPanelSx(QWidget* parent) : QWidget(parent) {}

void TPanelSx::SetLayout(TTextLayout layout) {
  if (layout == layout_) return;
  layout_ = layout;
  update();
}

void TPanelSx::SetBevelWidth(int width) {
  bevelWidth_ = width < 1 ? 1 : width;
  update();
}

void TPanelSx::SetBorderWidth(int width) {
  borderWidth_ = width < 0 ? 0 : width;
  update();
}

int TPanelSx::DialogCode() const { return (wantArrows_ ? 1 : 0) + (wantTabs_ ? 2 : 0) + (wantReturn_ ? 4 : 0); }

bool TPanelSx::keyBelongsToWindow(int qtKey) const {
  switch (qtKey) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: return !wantArrows_;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return !wantTabs_;
    case Qt::Key_Return:
    case Qt::Key_Enter: return !wantReturn_;
    default: return false;
  }
}

bool TPanelSx::event(QEvent* e) {
  // Qt moves the focus on Tab before the widget sees the key; a panel that
  // wants tabs takes them as ordinary keys instead.
  if ((e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) && wantTabs_) {
    auto* ke = static_cast<QKeyEvent*>(e);
    if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) {
      if (e->type() == QEvent::KeyPress)
        keyPressEvent(ke);
      else
        keyReleaseEvent(ke);
      return true;
    }
  }
  return QWidget::event(e);
}

void TPanelSx::keyPressEvent(QKeyEvent* e) {
  if (keyBelongsToWindow(e->key())) {
    e->ignore();  // the window's own handling: focus moves, default button
    return;
  }
  e->accept();
  if (OnKeyDown) {
    int key = VirtualKeyFromEvent(*e);
    OnKeyDown(this, key, e->modifiers());
  }
  if (OnKeyPress && !e->text().isEmpty()) {
    std::string bytes = platform::fromQString(e->text());
    if (!bytes.empty()) {
      char c = bytes[0];
      OnKeyPress(this, c);
    }
  }
}

void TPanelSx::keyReleaseEvent(QKeyEvent* e) {
  if (keyBelongsToWindow(e->key())) {
    e->ignore();
    return;
  }
  e->accept();
  if (OnKeyUp) {
    int key = VirtualKeyFromEvent(*e);
    OnKeyUp(this, key, e->modifiers());
  }
}

namespace {

// A frame of `width` nested outlines, top and left in one colour, right and
// bottom in the other; the rectangle shrinks by the frame.
void frame3D(QPainter& p, QRect& r, const QColor& topLeft, const QColor& bottomRight, int width) {
  for (int i = 0; i < width && r.width() > 0 && r.height() > 0; ++i) {
    int l = r.left(), t = r.top(), rr = r.right(), b = r.bottom();  // inclusive edges
    p.setPen(topLeft);
    p.drawLine(l, b, l, t);
    p.drawLine(l, t, rr, t);
    p.setPen(bottomRight);
    p.drawLine(rr, t, rr, b);
    p.drawLine(rr, b, l, b);
    r.adjust(1, 1, -1, -1);
  }
}

}  // namespace

void TPanelSx::paintOwn(QPainter& painter) {
  QRect r = rect();
  const QColor face = color_.isValid() ? color_ : palette().color(QPalette::Window);
  const QColor light = palette().color(QPalette::Light);
  const QColor shadow = palette().color(QPalette::Dark);
  auto bevel = [&](TBevelCut cut) {
    if (cut == TBevelCut::None) return;
    if (cut == TBevelCut::Lowered)
      frame3D(painter, r, shadow, light, bevelWidth_);
    else
      frame3D(painter, r, light, shadow, bevelWidth_);
  };
  bevel(bevelOuter_);
  frame3D(painter, r, face, face, borderWidth_);
  bevel(bevelInner_);
  if (r.width() > 0 && r.height() > 0) painter.fillRect(r, face);
  if (!caption_.empty()) {
    QRect tr = r.adjusted(2, 0, -2, 0);
    int flags = Qt::TextSingleLine | Qt::TextExpandTabs;
    switch (alignment_) {
      case TAlignment::LeftJustify: flags |= Qt::AlignLeft; break;
      case TAlignment::RightJustify: flags |= Qt::AlignRight; break;
      case TAlignment::Center: flags |= Qt::AlignHCenter; break;
    }
    switch (layout_) {
      case TTextLayout::Top: flags |= Qt::AlignTop; break;
      case TTextLayout::Center: flags |= Qt::AlignVCenter; break;
      case TTextLayout::Bottom: flags |= Qt::AlignBottom; break;
    }
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setBrush(Qt::NoBrush);
    painter.drawText(tr, flags, platform::toQString(caption_));
  }
}

void TPanelSx::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!customDraw_ || designing_) paintOwn(painter);
  if (OnPaint) {
    // Handlers draw through Canvas() while this paint lasts.
    canvas_ = &painter;
    struct Reset {
      QPainter*& p;
      ~Reset() { p = nullptr; }
    } reset{canvas_};
    painter.save();
    OnPaint(this);
    painter.restore();
  }
}

// ---------------------------------------------------------------------------
// Helpers

namespace {

bool isBlankText(const QString& text) {
  for (QChar ch : text)
    if (ch.unicode() > 32) return false;
  return true;
}

// Latin-1 case folding on the text itself: going through the 8-bit code page
// would turn every character it cannot hold into the same "?".
QString folded(const QString& text) {
  QString out = text;
  for (QChar& ch : out)
    if (ch.unicode() < 256) ch = QChar(platform::latin1Lower(static_cast<unsigned char>(ch.unicode())));
  return out;
}

}  // namespace

void ComboPushRecent(QComboBox* combo, int maxCount) {
  if (!combo) return;
  if (maxCount < 0) maxCount = 0;
  const QString text = combo->currentText();
  if (isBlankText(text)) return;
  // The list changes are bookkeeping, not a choice of the user: no signals.
  const QSignalBlocker blocker(combo);
  const QString wanted = folded(text);
  int found = -1;
  for (int i = 0; i < combo->count(); ++i) {
    if (folded(combo->itemText(i)) == wanted) {
      found = i;
      break;
    }
  }
  if (found < 0) {
    combo->insertItem(0, text);
  } else if (found > 0) {
    const QString item = combo->itemText(found);
    const QVariant data = combo->itemData(found);
    combo->removeItem(found);
    combo->insertItem(0, item, data);
  }
  while (combo->count() > maxCount) combo->removeItem(combo->count() - 1);
  // Moving items may carry the combo's text along with them; it stays the
  // text the user entered.
  if (combo->currentText() != text) {
    if (combo->isEditable())
      combo->setEditText(text);
    else if (combo->count() > 0)
      combo->setCurrentIndex(0);
  }
}

int TextToIntOrZero(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return 0;
  int64_t value = 0;
  const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                 : std::numeric_limits<int32_t>::max();
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
    if (value > limit) return 0;  // out of range is a failed conversion, not a wrap
  }
  return static_cast<int>(negative ? -value : value);
}

int EditToInt(const QLineEdit* edit) {
  if (!edit) return 0;
  return TextToIntOrZero(platform::fromQString(edit->text()));
}

}  // namespace foundation
