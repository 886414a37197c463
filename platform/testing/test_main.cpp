// Shared main of every test program: a QApplication exists (offscreen), and a
// message box that a test did not expect fails the test instead of waiting for
// a person.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/msgbox.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                  : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  platform::SetMessageBoxAnswerer([](const platform::MsgBoxRequest& request) {
    ADD_FAILURE() << "unexpected message box '" << request.caption << "': " << request.text;
    return static_cast<int>(platform::IdCancel);
  });
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
