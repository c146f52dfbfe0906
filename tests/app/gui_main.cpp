// The GUI tests run inside one application object, on Qt's offscreen platform unless the caller
// chose another. This main replaces GoogleTest's own.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QtGlobal>

#include "gui/application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
  testing::InitGoogleTest(&argc, argv);
  gui::TApplication application;
  application.cTitle("Tolvarimsek");
  return RUN_ALL_TESTS();
}
