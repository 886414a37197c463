#include "foundation/placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <array>
#include <optional>
#include <cstdint>
#include <string>

#include "foundation/ini.h"
#include "foundation/sysinit.h"
#include "platform/text.h"

namespace foundation {

namespace {

QSize& desktopOverride() {
  static QSize size;
  return size;
}

QSize desktopSize() {
  if (desktopOverride().isValid()) return desktopOverride();
  if (QScreen* screen = QGuiApplication::primaryScreen()) return screen->geometry().size();
  return QSize(1024, 768);
}

// Qt has no minimized or maximized positions; the stored ones travel with the
// window so that a save writes back what a restore read.
const char* const kMinPosProperty = "foundation.placement.minPos";
const char* const kMaxPosProperty = "foundation.placement.maxPos";
// A window minimized or maximized before it was first shown has a normal
// geometry that Qt took before it knew the frame: neither the client nor the
// frame rectangle for sure. The rectangle restored is kept with the normal
// geometry Qt reported for it, and stands as long as that has not changed.
const char* const kNormalRectProperty = "foundation.placement.normalRect";
const char* const kNormalSeenProperty = "foundation.placement.normalSeen";

QPoint storedPos(const QWidget* w, const char* property) {
  const QVariant v = w->property(property);
  return v.isValid() ? v.toPoint() : QPoint(-1, -1);
}

int showState(const QWidget* w) {
  const Qt::WindowStates s = w->windowState();
  if (s & Qt::WindowMinimized) return 1;
  if (s & (Qt::WindowMaximized | Qt::WindowFullScreen)) return 2;
  return 0;
}

// The normal rectangle: frame position and client size.
QRect normalRect(const QWidget* w) {
  if (showState(w) == 0) return QRect(w->pos(), w->size());
  const QVariant restored = w->property(kNormalRectProperty);
  if (restored.isValid() && w->property(kNormalSeenProperty).toRect() == w->normalGeometry()) return restored.toRect();
  // Minimized or maximized: Qt keeps the normal geometry of the client area;
  // shift it by the frame offset the window has now.
  const QRect normal = w->normalGeometry();
  if (!normal.isValid()) return QRect(w->pos(), w->size());
  const QPoint frameOffset = w->pos() - w->geometry().topLeft();
  return QRect(normal.topLeft() + frameOffset, normal.size());
}

bool isFixedSize(const QWidget* w) {
  if (w->windowFlags() & Qt::MSWindowsFixedSizeDialogHint) return true;
  return w->minimumSize() == w->maximumSize();
}

std::string sectionOf(const QWidget* w) { return platform::fromQString(w->objectName()); }

// A stored value; a value that is no number counts as missing, so that a
// damaged ini file cannot keep a window from opening.
int32_t readInt(const std::string& section, const char* key, int32_t current) {
  try {
    return IniReadValue(AppIni, section, key, Variant(current), varAny).AsInt();
  } catch (const ConvertError&) {
    return current;
  }
}

int32_t clampToInt(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Keeps [lo, hi) 10 pixels inside [0, extent): a rectangle that sticks out on
// the far side moves back; one that starts before the near edge, or is larger
// than the desktop, starts at 10 so that its title bar stays reachable.
void clampSpan(int64_t& lo, int64_t& hi, int64_t extent) {
  const int64_t size = hi - lo;
  if (lo < 10) {
    lo = 10;
  } else if (hi > extent - 10) {
    lo = extent - 10 - size;
  }
  if (lo < 10) lo = 10;
  hi = lo + size;
}

// Largest client size a restored window gets; stored sizes beyond it are
// damage, not wishes.
constexpr int64_t kMaxExtent = 100000;

}  // namespace

void SetPlacementDesktopOverride(const QSize& size) { desktopOverride() = size; }

bool HasStoredPlacement(const QWidget* window) {
  if (!window || AppIni == nullptr) return false;
  const std::string section = sectionOf(window);
  if (section.empty()) return false;
  int first = 0, end = 0, sep = 0;
  return IniFindKey(AppIni, section, "Left", 0, first, end, sep) >= 0;
}

void PlaceClearOf(QWidget* window, const QWidget* anchor) {
  if (!window || !anchor || HasStoredPlacement(window)) return;
  constexpr int64_t kGap = 8;
  const QRect a = anchor->frameGeometry();
  // A window not shown yet has no frame; it gets one as thick as the anchor's.
  const int64_t frameW = std::max<int64_t>(0, static_cast<int64_t>(a.width()) - anchor->width());
  const int64_t frameH = std::max<int64_t>(0, static_cast<int64_t>(a.height()) - anchor->height());
  const QSize desk = desktopSize();
  const int64_t aLeft = a.left(), aTop = a.top();
  const int64_t aRight = aLeft + a.width(), aBottom = aTop + a.height();
  struct Place {
    int64_t left, top, width, height;
  };
  // Where a frame of this size lands on a side, kept inside the desktop.
  auto clamp = [&](Place p) {
    int64_t right = p.left + p.width, bottom = p.top + p.height;
    clampSpan(p.left, right, desk.width());
    clampSpan(p.top, bottom, desk.height());
    return p;
  };
  auto covered = [&](const Place& p) {
    const int64_t w = std::min(aRight, p.left + p.width) - std::max(aLeft, p.left);
    const int64_t h = std::min(aBottom, p.top + p.height) - std::max(aTop, p.top);
    return w > 0 && h > 0 ? w * h : 0;
  };
  auto sides = [&](int64_t width, int64_t height) {
    return std::array<Place, 4>{Place{aRight + kGap, aTop, width, height}, Place{aLeft - kGap - width, aTop, width, height},
                                Place{aLeft, aBottom + kGap, width, height}, Place{aLeft, aTop - kGap - height, width, height}};
  };
  const int64_t width = std::max<int64_t>(window->frameGeometry().width(), window->width() + frameW);
  const int64_t height = std::max<int64_t>(window->frameGeometry().height(), window->height() + frameH);
  std::optional<Place> chosen;
  for (const Place& p : sides(width, height)) {
    const Place q = clamp(p);
    if (covered(q) == 0) {
      chosen = q;
      break;
    }
  }
  if (!chosen) {
    // The room on each side, and the least frame the window can take.
    const int64_t minW = std::max<int64_t>(window->minimumSizeHint().width(), window->minimumWidth()) + frameW;
    const int64_t minH = std::max<int64_t>(window->minimumSizeHint().height(), window->minimumHeight()) + frameH;
    const int64_t roomRight = desk.width() - 10 - (aRight + kGap), roomLeft = aLeft - kGap - 10;
    const int64_t roomBelow = desk.height() - 10 - (aBottom + kGap), roomAbove = aTop - kGap - 10;
    const int64_t fitH = std::min<int64_t>(height, desk.height() - 20);
    const int64_t fitW = std::min<int64_t>(width, desk.width() - 20);
    const Place narrowed[4] = {Place{aRight + kGap, aTop, roomRight, fitH}, Place{aLeft - kGap - roomLeft, aTop, roomLeft, fitH},
                               Place{aLeft, aBottom + kGap, fitW, roomBelow}, Place{aLeft, aTop - kGap - roomAbove, fitW, roomAbove}};
    int64_t best = 0;
    for (const Place& p : narrowed) {
      if (p.width < minW || p.height < minH) continue;
      const Place q = clamp(p);
      if (covered(q) == 0 && p.width * p.height > best) {
        best = p.width * p.height;
        chosen = q;
      }
    }
    if (chosen) window->resize(clampToInt(chosen->width - frameW), clampToInt(chosen->height - frameH));
  }
  if (!chosen) {
    for (const Place& p : sides(width, height)) {
      const Place q = clamp(p);
      if (!chosen || covered(q) < covered(*chosen)) chosen = q;
    }
  }
  window->move(clampToInt(chosen->left), clampToInt(chosen->top));
}

void RestoreFormPlacement(QWidget* window) {
  LoadAppIni();
  if (!window) return;
  const std::string section = sectionOf(window);
  if (section.empty()) return;  // a window without a name has no section

  const QRect cur = normalRect(window);
  const QPoint curMin = storedPos(window, kMinPosProperty);
  const QPoint curMax = storedPos(window, kMaxPosProperty);
  int64_t left = readInt(section, "Left", cur.left());
  int64_t top = readInt(section, "Top", cur.top());
  int64_t right = readInt(section, "Right", cur.left() + cur.width());
  int64_t bottom = readInt(section, "Bottom", cur.top() + cur.height());
  const int32_t minX = readInt(section, "MinX", curMin.x());
  const int32_t minY = readInt(section, "MinY", curMin.y());
  const int32_t maxX = readInt(section, "MaxX", curMax.x());
  const int32_t maxY = readInt(section, "MaxY", curMax.y());
  const int32_t show = readInt(section, "Show", showState(window));

  if (isFixedSize(window)) {
    right = left + window->width();
    bottom = top + window->height();
  }
  // An empty or inverted rectangle, or an absurd one, keeps the current size.
  if (right - left <= 0 || right - left > kMaxExtent) right = left + cur.width();
  if (bottom - top <= 0 || bottom - top > kMaxExtent) bottom = top + cur.height();

  const QSize desk = desktopSize();
  clampSpan(left, right, desk.width());
  clampSpan(top, bottom, desk.height());

  window->setProperty(kMinPosProperty, QPoint(minX, minY));
  window->setProperty(kMaxPosProperty, QPoint(maxX, maxY));
  // Place the normal rectangle without showing the window, then the state.
  const Qt::WindowStates keep = window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized |
                                                          Qt::WindowFullScreen);
  window->setWindowState(keep);
  window->move(clampToInt(left), clampToInt(top));
  window->resize(clampToInt(right - left), clampToInt(bottom - top));
  const QRect applied(window->pos(), window->size());
  if (show == 1)
    window->setWindowState(keep | Qt::WindowMinimized);
  else if (show == 2)
    window->setWindowState(keep | Qt::WindowMaximized);
  const bool normal = show != 1 && show != 2;
  window->setProperty(kNormalRectProperty, normal ? QVariant() : QVariant(applied));
  window->setProperty(kNormalSeenProperty, normal ? QVariant() : QVariant(window->normalGeometry()));
}

void SaveFormPlacement(QWidget* window, bool save, int flags) {
  LoadAppIni();
  if (!window) return;
  const std::string section = sectionOf(window);
  if (section.empty()) return;
  if (!(flags & sfpKeepSection)) IniEraseSection(AppIni, section, 0);
  const QRect r = normalRect(window);
  const QPoint minPos = storedPos(window, kMinPosProperty);
  const QPoint maxPos = storedPos(window, kMaxPosProperty);
  const std::pair<const char*, int32_t> values[] = {
      {"Left", r.left()},        {"Top", r.top()},         {"Right", r.left() + r.width()},
      {"Bottom", r.top() + r.height()}, {"MinX", minPos.x()}, {"MinY", minPos.y()},
      {"MaxX", maxPos.x()},      {"MaxY", maxPos.y()},     {"Show", showState(window)},
  };
  for (const auto& [key, value] : values) IniWriteValue(AppIni, section, key, Variant(value), 0, 0);
  if (save) SaveAppIni();
}

// ---------------------------------------------------------------------------

TFormSx::TFormSx(const QString& name, QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {
  setObjectName(name);
}

TFormSx::~TFormSx() {
  if (!finished_) {
    finished_ = true;
    storePlacement();
  }
}

void TFormSx::RestorePlacement() {
  if (restored_) return;
  restored_ = true;
  try {
    RestoreFormPlacement(this);
  } catch (...) {
    // An unreadable ini file must not keep the window from opening; it opens
    // where it was built.
  }
}

void TFormSx::setVisible(bool visible) {
  if (visible && !restored_) RestorePlacement();
  QWidget::setVisible(visible);
}

void TFormSx::storePlacement() noexcept {
  // A window that was never placed (never shown) takes its stored placement
  // first, so that storing it does not replace the user's with the build-time one.
  if (!restored_) RestorePlacement();
  try {
    SaveFormPlacement(this, savePlacementToFile_, 0);
  } catch (...) {
    // Destruction goes on whatever the ini file does.
  }
}

void TFormSx::FinishForm() {
  if (finished_) return;
  finished_ = true;
  storePlacement();
  FormDestroy();
}

bool TFormSx::event(QEvent* e) {
  // deleteLater() and WA_DeleteOnClose arrive here while the whole window
  // still exists, the one moment FormDestroy() can still run.
  if (e->type() == QEvent::DeferredDelete) FinishForm();
  return QWidget::event(e);
}

}  // namespace foundation
