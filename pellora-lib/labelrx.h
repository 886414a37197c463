#pragma once
// A label that doubles as a flat toggle, a push button or a member of a
// radio-like group (labels of one parent with the same DownGroup, at most
// one Down), with bevels, a second colour set for its down look, text turned
// in steps of 90 degrees and mouse auto-repeat.
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/graphic.h"

namespace pellora {

class ThSpinner;

enum TBevelCut : uint8_t { bvNone = 0, bvLowered = 1, bvRaised = 2, bvSpace = 3 };
enum class TextLayout { Top, Center, Bottom };

// System colours: the platform's high bit plus the colour index.
constexpr platform::Color clBtnFace = 0x8000000F;
constexpr platform::Color clBtnShadow = 0x80000010;
constexpr platform::Color clBtnHighlight = 0x80000014;
constexpr platform::Color clWindowText = 0x80000008;

class TLabelRx : public QWidget {
  Q_OBJECT

 public:
  using SpinEvent = std::function<void(TLabelRx& sender, int fVal, bool& cancel)>;
  using NotifyEvent = std::function<void(TLabelRx& sender)>;
  using MouseEvent = std::function<void(TLabelRx& sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                                        int x, int y)>;
  using MoveEvent = std::function<void(TLabelRx& sender, Qt::KeyboardModifiers shift, int x, int y)>;

  explicit TLabelRx(QWidget* parent = nullptr);
  ~TLabelRx() override;

  // --- the label's text and look (Windows-1252 text)
  std::string Caption() const { return caption_; }
  void SetCaption(const std::string& text);
  platform::Color Color() const { return color_; }
  void SetColor(platform::Color colour);
  platform::Color FontColor() const { return fontColor_; }
  void SetFontColor(platform::Color colour);
  Qt::Alignment Alignment() const { return alignment_; }
  void SetAlignment(Qt::Alignment alignment);  // Qt::AlignLeft, AlignRight or AlignHCenter
  TextLayout Layout() const { return layout_; }
  void SetLayout(TextLayout layout);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool on);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool on);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);

  // --- the button and group state
  bool Down() const { return down_; }
  void SetDown(bool flag) { SetState(1, flag); }
  bool Button() const { return button_; }
  void SetButton(bool flag) { SetState(3, flag); }
  bool Flat() const { return flat_; }
  void SetFlat(bool flag) { SetState(4, flag); }
  void SetState(int index, bool flag);
  bool DownDef() const { return downDef_; }
  void SetDownDef(bool flag) { downDef_ = flag; }
  int32_t DownGroup() const { return downGroup_; }
  void SetDownGroup(int32_t group) { SetInteger(1, group); }
  int32_t FontAngle() const { return fontAngle_; }
  void SetFontAngle(int32_t tenths) { SetInteger(2, tenths); }
  void SetInteger(int index, int32_t value);
  int32_t DownVal() const { return downVal_; }
  void SetDownVal(int32_t value) { downVal_ = value; }
  char DownChr() const { return downChr_; }
  void SetDownChr(char c) { downChr_ = c; }
  std::string DownStr() const { return downStr_; }
  void SetDownStr(const std::string& s) { downStr_ = s; }

  // The group's value: read from the first down member (0, ' ', " " when
  // none is down); writing sets down the first member carrying the value.
  int32_t ValInt(int index = 0) const;
  void SetValInt(int32_t value, int index = 0);
  char ValChr(int index = 0) const;
  void SetValChr(char value, int index = 0);
  std::string ValStr(int index = 0) const;
  void SetValStr(const std::string& value, int index = 0);

  TBevelCut BevelDn() const { return bevelDn_; }
  void SetBevelDn(TBevelCut cut) { SetBevel(1, cut); }
  TBevelCut BevelUp() const { return bevelUp_; }
  void SetBevelUp(TBevelCut cut) { SetBevel(2, cut); }
  void SetBevel(int index, TBevelCut cut);
  platform::Color BevelBrd1() const { return bevelBrd1_; }
  void SetBevelBrd1(platform::Color c) { bevelBrd1_ = c; }
  platform::Color BevelBrd2() const { return bevelBrd2_; }
  void SetBevelBrd2(platform::Color c) { bevelBrd2_ = c; }
  platform::Color DownBack() const { return downBack_; }
  void SetDownBack(platform::Color c) { downBack_ = c; }
  platform::Color DownText() const { return downText_; }
  void SetDownText(platform::Color c) { downText_ = c; }

  uint32_t SpinFirst() const { return spinFirst_; }
  void SetSpinFirst(uint32_t ms) { spinFirst_ = ms; }
  uint32_t SpinOthers() const { return spinOthers_; }
  void SetSpinOthers(uint32_t ms) { spinOthers_ = ms; }
  // Direction of a running auto-repeat: -1, +1, or 0 (none / stopping).
  int SpinDirection() const { return spinDir_; }
  bool Pressed() const { return pressed_; }
  bool Hot() const { return hot_; }

  // Toggles Down (unless a push button), then OnClick.
  void Click();

  // Copies the other label's look and handlers (not its Down state or
  // values) and places this label 5 pixels right of and below it.
  void Assign(const QWidget& source);

  SpinEvent OnMouseSpin;
  NotifyEvent OnClick;
  MouseEvent OnMouseDown;
  MoveEvent OnMouseMove;
  MouseEvent OnMouseUp;

  // Colour of a platform colour value (system colours from the palette).
  QColor ResolveColor(platform::Color colour) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void GroupUpdate();
  // The first member of the group (this label included) that is down.
  const TLabelRx* FirstDownMember() const;
  // Sets down the first member of the group that matches.
  template <typename Match>
  void SetFirstMemberDown(Match match);
  template <typename Fn>
  void ForEachGroupMember(bool includeSelf, Fn fn) const;
  void SpinStep(bool& stop);
  void AdjustBounds();
  int TextFlags() const;
  QRect MeasureText(const QRect& r, int flags) const;
  void DrawText(QPainter& painter, QRect r, int flags) const;

  std::string caption_;
  platform::Color color_ = clBtnFace;
  platform::Color fontColor_ = clWindowText;
  Qt::Alignment alignment_ = Qt::AlignLeft;
  TextLayout layout_ = TextLayout::Top;
  bool wordWrap_ = false;
  bool transparent_ = false;
  bool showAccelChar_ = true;
  bool autoSize_ = false;

  char downChr_ = 0;
  std::string downStr_;
  int32_t downGroup_ = 0;
  int32_t downVal_ = 0;
  int32_t fontAngle_ = 0;
  bool groupUpdating_ = false;
  bool down_ = false;
  bool downDef_ = false;
  bool button_ = false;
  bool flat_ = false;
  bool pressed_ = false;
  bool hot_ = false;
  bool clickArmed_ = false;  // a left press on the label waits for its release
  platform::Color downBack_ = platform::clNone;
  platform::Color downText_ = platform::clNone;
  platform::Color bevelBrd1_ = clBtnHighlight;
  platform::Color bevelBrd2_ = clBtnShadow;
  TBevelCut bevelUp_ = bvNone;
  TBevelCut bevelDn_ = bvNone;
  uint32_t spinFirst_ = 200;
  uint32_t spinOthers_ = 50;
  int8_t spinDir_ = 0;
  std::unique_ptr<ThSpinner> spinner_;
};

}  // namespace pellora
