#pragma once
// ShowFormById opens the program's windows by their id; FreeSecondaryForms
// closes the secondary ones at the end of the program.
#include <QWidget>
#include <cstdint>

namespace gravlo {

// The program's windows. The main window's commands in kFirstFormId ..
// kLastFormId reach ShowFormById.
inline constexpr int32_t kAboutFormId = 1000;
inline constexpr int32_t kMainFormId = 1010;
inline constexpr int32_t kStatsFormId = 1016;
inline constexpr int32_t kSettingsFormId = 1018;
inline constexpr int32_t kFirstFormId = 1000;
inline constexpr int32_t kLastFormId = 1999;

// Opens the window of an id: creates it when it does not exist, brings a
// minimised one back to its normal state and shows it in front. A secondary
// window opened for the first time, with no stored placement, stands beside
// the main window rather than on top of it. Returns the window, or nullptr
// for an unknown id.
QWidget* ShowFormById(int32_t id);

// Destroys the secondary windows that are open (each saves its placement);
// the program calls it before the main window goes.
void FreeSecondaryForms();

}  // namespace gravlo
