#include "pellora-lib/labelrx.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "pellora-lib/spinner.h"
#include "platform/canvas.h"
#include "platform/text.h"

namespace pellora {

TLabelRx::TLabelRx(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_Hover, false);
}

TLabelRx::~TLabelRx() {
  // A running repeat ends before the label's parts go.
  spinner_.reset();
}

QColor TLabelRx::ResolveColor(platform::Color colour) const {
  if (colour & 0x80000000u) {
    const QPalette& pal = palette();
    switch (colour & 0xFF) {
      case 0x08: return pal.color(QPalette::Active, QPalette::WindowText);
      case 0x0F: return pal.color(QPalette::Active, QPalette::Button);
      case 0x10: return pal.color(QPalette::Active, QPalette::Dark);
      case 0x14: return pal.color(QPalette::Active, QPalette::Light);
      case 0x05: return pal.color(QPalette::Active, QPalette::Base);
      default: return pal.color(QPalette::Active, QPalette::Window);
    }
  }
  return platform::ToQColor(colour);
}

void TLabelRx::SetCaption(const std::string& text) {
  if (text == caption_) return;
  caption_ = text;
  AdjustBounds();
  update();
}

void TLabelRx::SetColor(platform::Color colour) {
  if (colour == color_) return;
  color_ = colour;
  update();
}

void TLabelRx::SetFontColor(platform::Color colour) {
  if (colour == fontColor_) return;
  fontColor_ = colour;
  update();
}

void TLabelRx::SetAlignment(Qt::Alignment alignment) {
  alignment_ = alignment & Qt::AlignHorizontal_Mask;
  update();
}

void TLabelRx::SetLayout(TextLayout layout) {
  layout_ = layout;
  update();
}

void TLabelRx::SetWordWrap(bool on) {
  if (on == wordWrap_) return;
  wordWrap_ = on;
  AdjustBounds();
  update();
}

void TLabelRx::SetTransparent(bool on) {
  transparent_ = on;
  update();
}

void TLabelRx::SetShowAccelChar(bool on) {
  showAccelChar_ = on;
  AdjustBounds();
  update();
}

void TLabelRx::SetAutoSize(bool on) {
  autoSize_ = on;
  AdjustBounds();
}

void TLabelRx::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) AdjustBounds();
}

// --- state

void TLabelRx::SetState(int index, bool flag) {
  switch (index) {
    case 1:
      // A push button never stays down; a default label is raised only by
      // another member going down.
      if (flag == down_ || button_ || (downDef_ && !flag)) return;
      down_ = flag;
      GroupUpdate();
      break;
    case 3:
      if (flag == button_) return;
      if (flag && down_) {
        // Raised even when it is the group's default: a push button is
        // never down. The group's default (if another) goes down instead.
        down_ = false;
        GroupUpdate();
      }
      button_ = flag;
      break;
    case 4:
      if (flag == flat_) return;
      flat_ = flag;
      break;
    default:
      return;
  }
  update();
}

void TLabelRx::SetInteger(int index, int32_t value) {
  switch (index) {
    case 0:
      SetValInt(value);
      break;
    case 1:
      downGroup_ = value;
      break;
    case 2:
      if (value == fontAngle_) return;
      fontAngle_ = value;
      update();
      break;
    default:
      break;
  }
}

void TLabelRx::SetBevel(int index, TBevelCut cut) {
  TBevelCut* field = index == 1 ? &bevelDn_ : index == 2 ? &bevelUp_ : nullptr;
  if (!field || *field == cut) return;
  *field = cut;
  update();
}

template <typename Fn>
void TLabelRx::ForEachGroupMember(bool includeSelf, Fn fn) const {
  QWidget* parent = parentWidget();
  if (!parent) {
    if (includeSelf) fn(const_cast<TLabelRx*>(this));
    return;
  }
  for (QObject* child : parent->children()) {
    auto* label = qobject_cast<TLabelRx*>(child);
    if (!label || label->downGroup_ != downGroup_) continue;
    if (label == this && !includeSelf) continue;
    if (!fn(label)) return;
  }
}

void TLabelRx::GroupUpdate() {
  if (downGroup_ == 0 || groupUpdating_) return;
  groupUpdating_ = true;
  try {
    if (down_) {
      ForEachGroupMember(false, [](TLabelRx* other) {
        other->down_ = false;
        other->update();
        return true;
      });
    } else {
      ForEachGroupMember(false, [](TLabelRx* other) {
        if (other->isEnabled() && other->downDef_) {
          other->SetState(1, true);
          return false;
        }
        return true;
      });
    }
  } catch (...) {
    // Whatever fails while the members change (a repaint, the default
    // label's own update), the guard below must be reset, or the group would
    // never update again; the members keep the states they reached.
  }
  groupUpdating_ = false;
}

const TLabelRx* TLabelRx::FirstDownMember() const {
  const TLabelRx* found = nullptr;
  ForEachGroupMember(true, [&](TLabelRx* m) {
    if (!m->down_) return true;
    found = m;
    return false;
  });
  return found;
}

template <typename Match>
void TLabelRx::SetFirstMemberDown(Match match) {
  ForEachGroupMember(true, [&](TLabelRx* m) {
    if (!match(*m)) return true;
    m->SetState(1, true);
    return false;
  });
}

int32_t TLabelRx::ValInt(int index) const {
  const TLabelRx* m = index == 0 ? FirstDownMember() : nullptr;
  return m ? m->downVal_ : 0;
}

char TLabelRx::ValChr(int index) const {
  const TLabelRx* m = index == 0 ? FirstDownMember() : nullptr;
  return m ? m->downChr_ : ' ';
}

std::string TLabelRx::ValStr(int index) const {
  const TLabelRx* m = index == 0 ? FirstDownMember() : nullptr;
  return m ? m->downStr_ : std::string(" ");
}

void TLabelRx::SetValInt(int32_t value, int index) {
  if (index == 0) SetFirstMemberDown([&](const TLabelRx& m) { return m.downVal_ == value; });
}

void TLabelRx::SetValChr(char value, int index) {
  if (index == 0) SetFirstMemberDown([&](const TLabelRx& m) { return m.downChr_ == value; });
}

void TLabelRx::SetValStr(const std::string& value, int index) {
  if (index == 0) SetFirstMemberDown([&](const TLabelRx& m) { return m.downStr_ == value; });
}

void TLabelRx::Click() {
  if (!button_) SetState(1, !down_);
  if (OnClick) {
    const NotifyEvent handler = OnClick;  // the handler may replace itself
    handler(*this);
  }
}

// --- mouse

void TLabelRx::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (OnMouseDown) OnMouseDown(*this, event->button(), event->modifiers(), p.x(), p.y());
  if (event->button() == Qt::LeftButton) clickArmed_ = true;
  if (OnMouseSpin) {
    pressed_ = true;
    spinDir_ = event->button() == Qt::LeftButton ? -1 : 1;
    // One repeat per label: a repeat still running from before ends first.
    spinner_.reset();
    spinner_ = std::make_unique<ThSpinner>(spinFirst_, spinOthers_, [this](bool& stop) { SpinStep(stop); });
  } else if (event->button() == Qt::LeftButton) {
    pressed_ = true;
    update();
  }
}

void TLabelRx::SpinStep(bool& stop) {
  if (spinDir_ == 0) {
    stop = true;
    return;
  }
  // A copy: the handler may close the window and with it this label.
  const SpinEvent handler = OnMouseSpin;
  if (!handler) {
    stop = true;
    return;
  }
  handler(*this, spinDir_, stop);
}

void TLabelRx::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (OnMouseMove) OnMouseMove(*this, event->modifiers(), p.x(), p.y());
}

void TLabelRx::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (event->button() == Qt::LeftButton && clickArmed_) {
    clickArmed_ = false;
    if (rect().contains(p)) Click();
  }
  if (OnMouseUp) OnMouseUp(*this, event->button(), event->modifiers(), p.x(), p.y());
  if (pressed_ || spinDir_ != 0) {
    pressed_ = false;
    spinDir_ = 0;
    update();
  }
}

void TLabelRx::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  if (!isEnabled()) return;
  hot_ = true;
  repaint();
}

void TLabelRx::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (!isEnabled()) return;
  hot_ = false;
  spinDir_ = 0;  // a running repeat stops at its next step
  update();
}

// --- painting

int TLabelRx::TextFlags() const {
  int flags = Qt::TextExpandTabs | Qt::TextDontClip;
  if (wordWrap_) flags |= Qt::TextWordWrap;
  flags |= static_cast<int>(alignment_ & Qt::AlignHorizontal_Mask) | Qt::AlignTop;
  flags |= showAccelChar_ ? Qt::TextShowMnemonic : 0;
  return flags;
}

QRect TLabelRx::MeasureText(const QRect& r, int flags) const {
  std::string text = caption_;
  if (text.empty() || (showAccelChar_ && text == "&")) text += ' ';
  QFontMetrics metrics(font());
  const QRect bounds = metrics.boundingRect(QRect(r.left(), r.top(), wordWrap_ ? r.width() : 1 << 20, 1 << 20),
                                            flags & ~Qt::AlignHorizontal_Mask, platform::toQString(text));
  return QRect(r.left(), r.top(), bounds.width(), bounds.height());
}

void TLabelRx::DrawText(QPainter& painter, QRect r, int flags) const {
  const QString text = platform::toQString(caption_);
  painter.save();
  painter.setFont(font());
  QRect box = r;
  if (fontAngle_ != 0) {
    // Turned text starts at the corner the angle puts its beginning in:
    // 90 degrees reads upwards from the bottom left, 180 upside down from the
    // bottom right, 270 downwards from the top right.
    const int angle = ((fontAngle_ % 3600) + 3600) % 3600;
    if (angle == 900) {
      painter.translate(r.left(), r.top() + r.height());
      box = QRect(0, 0, r.height(), r.width());
    } else if (angle == 1800) {
      painter.translate(r.left() + r.width(), r.top() + r.height());
      box = QRect(0, 0, r.width(), r.height());
    } else if (angle == 2700) {
      painter.translate(r.left() + r.width(), r.top());
      box = QRect(0, 0, r.height(), r.width());
    } else {
      painter.translate(r.left(), r.top());
      box = QRect(0, 0, r.width(), r.height());
    }
    painter.rotate(-angle / 10.0);
  }
  QColor colour = ResolveColor(fontColor_);
  if ((down_ || pressed_) && downText_ != platform::clNone) colour = ResolveColor(downText_);
  if (isEnabled()) {
    painter.setPen(colour);
    painter.drawText(box, flags, text);
  } else {
    painter.setPen(ResolveColor(clBtnHighlight));
    painter.drawText(box.translated(1, 1), flags, text);
    painter.setPen(ResolveColor(clBtnShadow));
    painter.drawText(box, flags, text);
  }
  painter.restore();
}

void TLabelRx::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  platform::Canvas canvas(&painter, platform::Rect{0, 0, width(), height()});
  const bool downLook = button_ ? (pressed_ && hot_) : down_;
  if (!transparent_) {
    const platform::Color back = downLook && downBack_ != platform::clNone ? downBack_ : color_;
    painter.fillRect(rect(), ResolveColor(back));
  }
  // Inclusive corners, as the frame lines run.
  int left = 0, top = 0, right = width() - 1, bottom = height() - 1;
  const TBevelCut bevel = downLook ? bevelDn_ : bevelUp_;
  if (bevel == bvSpace) {
    ++left, ++top, --right, --bottom;
  } else if (bevel == bvLowered || bevel == bvRaised) {
    if (!(!downLook && flat_ && !hot_)) {
      const bool raised = bevel == bvRaised;
      canvas.pen() = platform::Pen{platform::FromQColor(ResolveColor(raised ? bevelBrd1_ : bevelBrd2_)), 1,
                                   platform::PenStyle::Solid};
      canvas.MoveTo(left, bottom);
      canvas.LineTo(left, top);
      canvas.LineTo(right, top);
      canvas.pen().color = platform::FromQColor(ResolveColor(raised ? bevelBrd2_ : bevelBrd1_));
      canvas.LineTo(right, bottom);
      canvas.LineTo(left, bottom);
      ++left, ++top, --right, --bottom;
    }
  }
  QRect r(QPoint(left, top), QPoint(right - 1, bottom - 1));  // right and bottom edge excluded
  const int flags = TextFlags();
  if (layout_ != TextLayout::Top) {
    const QRect measured = MeasureText(r, flags);
    const int shift = height() - (measured.top() + measured.height());
    r.translate(0, layout_ == TextLayout::Bottom ? shift : shift / 2);
  }
  DrawText(painter, r, flags);
}

void TLabelRx::AdjustBounds() {
  if (!autoSize_) return;
  const QRect measured = MeasureText(QRect(0, 0, width(), height()), TextFlags());
  const int oldRight = x() + width();
  if (alignment_ & Qt::AlignRight) {
    setGeometry(oldRight - measured.width(), y(), measured.width(), measured.height());
  } else {
    setGeometry(x(), y(), measured.width(), measured.height());
  }
}

void TLabelRx::Assign(const QWidget& source) {
  if (const auto* other = qobject_cast<const TLabelRx*>(&source)) {
    SetBevelDn(other->bevelDn_);
    SetBevelUp(other->bevelUp_);
    SetButton(other->button_);
    SetFlat(other->flat_);
    SetFontAngle(other->fontAngle_);
    SetDownGroup(other->downGroup_);
    bevelBrd1_ = other->bevelBrd1_;
    bevelBrd2_ = other->bevelBrd2_;
    downBack_ = other->downBack_;
    downText_ = other->downText_;
    spinFirst_ = other->spinFirst_;
    spinOthers_ = other->spinOthers_;
    OnMouseSpin = other->OnMouseSpin;
    // What every label has.
    alignment_ = other->alignment_;
    autoSize_ = other->autoSize_;
    color_ = other->color_;
    fontColor_ = other->fontColor_;
    setFont(other->font());
    setContextMenuPolicy(other->contextMenuPolicy());
    setMinimumSize(other->minimumSize());
    setMaximumSize(other->maximumSize());
    showAccelChar_ = other->showAccelChar_;
    transparent_ = other->transparent_;
    layout_ = other->layout_;
    wordWrap_ = other->wordWrap_;
    OnClick = other->OnClick;
    OnMouseDown = other->OnMouseDown;
    OnMouseMove = other->OnMouseMove;
    OnMouseUp = other->OnMouseUp;
  }
  setGeometry(source.x() + 5, source.y() + 5, source.width(), source.height());
  setCursor(source.cursor());
  setToolTip(source.toolTip());
  update();
}

}  // namespace pellora
