#pragma once
// Fixtures shared by the card-game library's tests: scratch folders, whole
// files, and mouse events and event pumping for the widgets.
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/test_support.h"

namespace pellora::testkit {

// A scratch folder that goes with everything in it (read-only parts too).
using platform::testkit::TempDir;

inline void WriteFile(const std::string& name, const std::string& data) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

inline std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the event loop for about ms milliseconds.
inline void Pump(int ms = 60) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Runs the event loop until done() holds or about boundMs milliseconds have
// passed; gives done()'s last answer. The bound is generous on purpose: it
// only ends a test whose condition never comes, and a loaded machine may
// take long to get there.
template <class Done>
bool PumpUntil(Done done, int boundMs = 10000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() >= boundMs) return done();
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

// A press, move or release delivered straight to the widget.
inline void SendMouse(QWidget& w, QEvent::Type type, Qt::MouseButton button, QPoint at = QPoint(3, 3)) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent event(type, QPointF(at), QPointF(w.mapToGlobal(at)), button, held, Qt::NoModifier);
  QApplication::sendEvent(&w, &event);
}

}  // namespace pellora::testkit
