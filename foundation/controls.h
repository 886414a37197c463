#pragma once
// In-house controls placed on the games' windows: the game surface
// (TPanelSx), a combo box and a push button with an alignment property, and
// two helpers for edit and combo boxes. The controls declare no signals or
// slots (their events are plain function members), so they need no Q_OBJECT.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <string>
#include <string_view>

class QPainter;

namespace foundation {

// Docking wish of a control. Qt windows place their children with layouts;
// the value is kept so that windows can read back what they asked for.
enum class TAlign { None, Top, Bottom, Left, Right, Client };

enum class TBevelCut { None, Lowered, Raised };
enum class TTextLayout { Top, Center, Bottom };
enum class TAlignment { LeftJustify, RightJustify, Center };

class TPanelSx;

// Key events carry Windows key numbers (foundation/keys.h); a handler may set
// key to 0 to swallow it.
using TPanelKeyEvent = std::function<void(TPanelSx* sender, int& key, Qt::KeyboardModifiers shift)>;
using TPanelKeyPressEvent = std::function<void(TPanelSx* sender, char& key)>;
using TPanelNotifyEvent = std::function<void(TPanelSx* sender)>;

// A panel that can hand all its painting to its owner and that takes the
// arrow, tab and return keys for itself when asked to, so that a game gets
// them instead of the window's focus handling and default button.
class TPanelSx : public QWidget {
 public:
  explicit TPanelSx(QWidget* parent = nullptr);

  bool CustomDraw() const { return customDraw_; }
  void SetCustomDraw(bool on) { customDraw_ = on; }
  bool WantArrows() const { return wantArrows_; }
  void SetWantArrows(bool on) { wantArrows_ = on; }
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool on) { wantTabs_ = on; }
  bool WantReturn() const { return wantReturn_; }
  void SetWantReturn(bool on) { wantReturn_ = on; }
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout layout);  // repaints only on a change

  // The keys the panel claims from its window: 1 arrows + 2 tab + 4 return.
  int DialogCode() const;

  // While designing a window the panel paints itself even with CustomDraw.
  bool Designing() const { return designing_; }
  void SetDesigning(bool on) { designing_ = on; }

  // Look of the panel's own painting.
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut cut) { bevelOuter_ = cut; update(); }
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut cut) { bevelInner_ = cut; update(); }
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int width);
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int width);
  QColor Color() const { return color_; }
  void SetColor(const QColor& color) { color_ = color; update(); }
  const std::string& Caption() const { return caption_; }  // Windows-1252
  void SetCaption(const std::string& caption) { caption_ = caption; update(); }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment) { alignment_ = alignment; update(); }
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align) { align_ = align; }

  // The painter of the paint in progress (for OnPaint handlers); null outside
  // a paint.
  QPainter* Canvas() const { return canvas_; }

  TPanelNotifyEvent OnPaint;
  TPanelKeyEvent OnKeyDown;
  TPanelKeyEvent OnKeyUp;
  TPanelKeyPressEvent OnKeyPress;

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;

 private:
  // True when the key belongs to the window (focus moves, default button)
  // rather than to the panel.
  bool keyBelongsToWindow(int qtKey) const;
  void paintOwn(QPainter& painter);

  bool customDraw_ = false;
  bool wantArrows_ = false;
  bool wantTabs_ = false;
  bool wantReturn_ = false;
  bool designing_ = false;
  TTextLayout layout_ = TTextLayout::Top;
  TBevelCut bevelOuter_ = TBevelCut::Raised;
  TBevelCut bevelInner_ = TBevelCut::None;
  int bevelWidth_ = 1;
  int borderWidth_ = 0;
  QColor color_;
  std::string caption_;
  TAlignment alignment_ = TAlignment::Center;
  TAlign align_ = TAlign::None;
  QPainter* canvas_ = nullptr;
};

// A control of the class library that only carries a docking wish.
template <class Control>
class TAlignedSx : public Control {
 public:
  explicit TAlignedSx(QWidget* parent = nullptr) : Control(parent) {}
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align) { align_ = align; }

 private:
  TAlign align_ = TAlign::None;
};

class TComboSx : public TAlignedSx<QComboBox> {
 public:
  using TAlignedSx::TAlignedSx;
};

class TButtonSx : public TAlignedSx<QPushButton> {
 public:
  using TAlignedSx::TAlignedSx;
};

// Keeps the combo's items a most-recent-first list: its current text goes to
// the top (an item equal to it ignoring case moves there), and items beyond
// maxCount go from the end. Blank text changes nothing; the combo's text stays
// what it was. A negative maxCount counts as 0.
void ComboPushRecent(QComboBox* combo, int maxCount);

// The edit's text as a decimal integer; 0 for no edit, an empty text or a
// text that is not exactly an integer in range (no blanks are trimmed).
int EditToInt(const QLineEdit* edit);
// The same conversion on text (Windows-1252 or ASCII).
int TextToIntOrZero(std::string_view text);

}  // namespace foundation
