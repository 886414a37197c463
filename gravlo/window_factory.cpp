#include "gravlo/window_factory.h"

#include <QPointer>
#include <exception>

#include "foundation/placement.h"
#include "gravlo/about_window.h"
#include "gravlo/main_window.h"
#include "gravlo/settings_window.h"
#include "gravlo/stats_window.h"
#include "platform/msgbox.h"

namespace gravlo {

namespace {

// The window of an id and the global reference that holds it. The reference
// is set only once the window stands: one that failed half-way through its
// creation (the ini file could not be read) is gone and leaves it empty.
template <class Form>
QWidget* OpenForm(QPointer<Form>& reference, bool& created) {
  created = reference.isNull();
  if (created) reference = new Form;
  return reference.data();
}

}  // namespace

QWidget* ShowFormById(int32_t id) {
  QWidget* form = nullptr;
  bool created = false;
  try {
    switch (id) {
      case kAboutFormId:
        form = OpenForm(Grv000, created);
        break;
      case kMainFormId:
        form = OpenForm(Grv010, created);
        break;
      case kStatsFormId:
        form = OpenForm(Grv016, created);
        break;
      case kSettingsFormId:
        form = OpenForm(Grv018, created);
        break;
      default:
        return nullptr;
    }
  } catch (const std::exception& e) {
    platform::ShowMessageBox(e.what(), "Gravlo", platform::MbIconError);
    return nullptr;
  }
  // A stored placement wins; without one a new window stands beside the main
  // window instead of covering the board.
  if (created && form != Grv010 && Grv010 != nullptr)
    foundation::PlaceClearOf(form, Grv010);
  if (form->isMinimized()) form->setWindowState(form->windowState() & ~Qt::WindowMinimized);
  form->show();
  form->raise();
  form->activateWindow();
  return form;
}

void FreeSecondaryForms() {
  delete Grv016;
  delete Grv018;
  delete Grv000;
}

}  // namespace gravlo
