// The start procedure: title, single-instance check, the window and the message loop; closing the
// window ends the loop with exit code 0.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <cstdlib>

#include "appdata.h"
#include "form1.h"
#include "gui/application.h"
#include "gui/instance_lock.h"
#include "start.h"
#include "testing.h"

namespace {

TEST(Start, MainShowsTheWindowAndClosingItEndsTheLoop) {
  testing_support::TempDir dir;
  setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);  // the lock of this test alone
  testing_support::HandlerScope handler;
  gui::Application->lTerminate(false);
  gui::TForm* shown = nullptr;
  QTimer::singleShot(0, [&] {
    shown = gui::Application->oMainForm();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(shown->focusWidget(), static_cast<app::TForm1*>(shown)->oButton1);
    shown->close();
  });
  app::MAIN();  // returns once the loop has ended
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(gui::Application->cTitle(), "Tolvarimsek");
  EXPECT_TRUE(gui::Application->lSingleInstance());
  EXPECT_TRUE(gui::Application->lTerminate());
  ASSERT_NE(shown, nullptr);
  EXPECT_FALSE(shown->isVisible());
  EXPECT_EQ(gui::Application->oMainForm(), nullptr);
  EXPECT_EQ(rt::exitCode(), 0);
  // The lock is held for the rest of the process.
  ASSERT_NE(gui::instanceLock(), nullptr);
  EXPECT_TRUE(gui::instanceLock()->held());
}

TEST(Start, OneDataHolderPerProcess) {
  app::TAppData first, second;
  EXPECT_EQ(first.Create(), &first);
  EXPECT_EQ(second.Create(), &first);  // the one already in AppData
  int closed = 0;
  first.OnClose = [&](app::XAppData* sender) {
    EXPECT_EQ(sender, &first);
    ++closed;
  };
  first.Destroy();
  EXPECT_EQ(closed, 1);
}

}  // namespace
