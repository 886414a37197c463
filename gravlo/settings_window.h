#pragma once
// TGrv018: the settings window. Its sixteen fields edit the rule parameters
// of the running engine and two limits of the main window directly; the main
// window writes them to the ini when it is destroyed.
#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "foundation/placement.h"

class QLineEdit;

namespace gravlo {

class TGrv018 : public foundation::TFormSx {
  Q_OBJECT
 public:
  explicit TGrv018(QWidget* parent = nullptr);
  ~TGrv018() override;

  // kCommandLoad loads the fields from the engine and the main window,
  // kCommandSave stores them, kCommandClose stores and closes; other numbers
  // do nothing.
  static constexpr int kCommandLoad = 20;
  static constexpr int kCommandSave = 30;
  static constexpr int kCommandClose = 90;
  void Command(int command);

  // The field of a component name ("esWdt" ... "esSprs"), or nullptr.
  QLineEdit* Field(const char* name) const;

  static constexpr int kFieldCount = 16;

 private:
  void Button1Click();

  std::array<QLineEdit*, kFieldCount> edits_{};
};

// The open settings window, or nullptr.
extern QPointer<TGrv018> Grv018;

// The shape-mask field's number: decimal text (not trimmed) from -2^31 to
// 2^32 - 1; negative numbers stand for their 32-bit pattern. Anything else is
// 0, like every other field that is no number.
uint32_t EditTextToMask(const std::string& text);

}  // namespace gravlo
