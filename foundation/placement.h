#pragma once
// Every window keeps its position, size and state in the application ini, in
// a section named after the window's object name (its component name, e.g.
// "Grv010") under the keys "Left", "Top", "Right", "Bottom", "MinX", "MinY",
// "MaxX", "MaxY" and "Show" (0 normal, 1 minimized, 2 maximized).
//
// Left/Top are the position of the window's frame (QWidget::pos()), and
// Right/Bottom add the client size to it, so that storing and restoring are
// exact inverses whatever frame the window manager draws: a window saved and
// restored any number of times neither drifts nor grows.
#include <QSize>
#include <QString>
#include <QWidget>

namespace foundation {

enum SaveFormPlacementFlags : int {
  sfpKeepSection = 1,  // keep the other lines of the window's section
};

// Reloads the application ini from disk (unsaved changes in AppIni are lost),
// then places the window as its section says, kept 10 pixels inside the
// desktop. A window of fixed size keeps its size. A null window only reloads.
// A load error of the ini file propagates (IniFileError); a stored value that
// is no number counts as missing.
void RestoreFormPlacement(QWidget* window);

// Reloads the application ini from disk, erases the window's section (header
// kept) unless flags has sfpKeepSection, writes the nine keys in the order
// above, and with save = true writes the application ini to its file
// (silently ignoring failures).
void SaveFormPlacement(QWidget* window, bool save, int flags = 0);

// Whether the window's section holds a stored position ("Left").
bool HasStoredPlacement(const QWidget* window);

// Places a window opened for the first time clear of `anchor` (a window
// whose section holds a stored placement keeps it): beside it
// (right, else left, top edges level), else below or above it (left edges
// level); where it fits nowhere at its size, narrowed or lowered to the room
// on the side with most room as far as its minimum size allows; else where it
// covers least of the anchor. Always kept 10 pixels inside the desktop. The
// window's frame is taken to be as thick as the anchor's.
void PlaceClearOf(QWidget* window, const QWidget* anchor);

// The desktop the placement is kept inside. Empty size = the primary screen.
// For tests.
void SetPlacementDesktopOverride(const QSize& size);

// Base of every window of both games. The object name is the window's
// component name and ini section. The placement is restored when the window
// is first shown (after the derived constructor has built it and fixed its
// size) and stored when it is destroyed:
//  - closing a window with Qt::WA_DeleteOnClose, or deleteLater(), runs
//    FinishForm() before the destructors;
//  - a window destroyed directly (delete, end of scope, parent) should call
//    FinishForm() first thing in its destructor; otherwise the base
//    destructor still stores the placement, but FormDestroy() cannot run.
// FinishForm() stores the placement first and then calls FormDestroy(), so a
// window writes its own settings into its section after the placement routine
// has erased the section's other lines. A window destroyed without ever being
// shown restores its stored placement before storing it, so it keeps it.
class TFormSx : public QWidget {
 public:
  explicit TFormSx(const QString& name, QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::Window);
  ~TFormSx() override;

  // Whether storing the placement also writes the ini file (default true).
  bool SavePlacementToFile() const { return savePlacementToFile_; }
  void SetSavePlacementToFile(bool on) { savePlacementToFile_ = on; }

  // Restores the placement now (once; later calls and the first show do
  // nothing more).
  void RestorePlacement();
  // Stores the placement and runs FormDestroy(); only the first call acts.
  void FinishForm();
  bool Finished() const { return finished_; }

  void setVisible(bool visible) override;

 protected:
  // The window's own settings, written after its placement was stored.
  virtual void FormDestroy() {}
  bool event(QEvent* e) override;

 private:
  void storePlacement() noexcept;

  bool restored_ = false;
  bool finished_ = false;
  bool savePlacementToFile_ = true;
};

}  // namespace foundation
