// Clicking the buttons runs the real actions on real files, with the real error dialog answering
// from inside its modal loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "errordialog.h"
#include "gui_test_util.h"
#include "rt/launcher.h"
#include "testing.h"

namespace {

namespace fs = std::filesystem;
using app::ErrorDialog;
using gui_test::shownForm;

const std::string kTemplate =
    "Codigo,Descripcion,Unidad,Existencia,Costo promedio,Ultimo costo,Localizacion\r\n"
    "A1,Tornillo,PZA,10,2.5,3,R1\r\n"
    "B2,Tuerca,PZA,25,0.75,0.8,R2\r\n";

// One dialog as the user saw it: the error line and the button captions.
struct Seen {
  QString errorLine;
  QStringList buttons;
};

// Answers the next `answers.size()` error dialogs in turn, clicking the button with that caption.
void answerDialogs(std::vector<Seen>& seen, std::vector<QString> answers, std::size_t at = 0) {
  if (at >= answers.size()) return;
  gui_test::whenModal<ErrorDialog>([&seen, answers, at](ErrorDialog* d) {
    Seen s{d->messageBox()->toPlainText().section('\n', 1, 1), {}};
    QPushButton* chosen = nullptr;
    for (QPushButton* b : d->choiceButtons()) {
      s.buttons << b->text();
      if (b->text() == answers[at]) chosen = b;
    }
    seen.push_back(s);
    answerDialogs(seen, answers, at + 1);  // before the click: the next dialog may follow at once
    if (chosen) chosen->click();
  });
}

class WindowActions : public testing::Test {
 protected:
  void SetUp() override {
    rt::resetBreak();
    rt::setExitCode(0);
    rt::installErrorHandler(presenter_);
  }
  void TearDown() override {
    rt::setErrorBlock({});
    rt::resetBreak();
    rt::setExitCode(0);
    gui::Application->lTerminate(false);
  }
  testing_support::TempDir dir_;
  testing_support::LanguageOs english_{"en"};
  testing_support::OsScope os_{english_};
  app::ErrorDialogPresenter presenter_;
};

TEST_F(WindowActions, ProductLoadBuildsTheInventory) {
  testing_support::writeFile("plantilla.csv", kTemplate);
  auto form = shownForm();
  QTest::mouseClick(form->oButton1, Qt::LeftButton);
  EXPECT_EQ(form->oLabel1->cText(), "Proceso terminado!");
  EXPECT_TRUE(fs::exists("inven.dbf"));
  EXPECT_TRUE(fs::exists("inven.ntx"));
  EXPECT_FALSE(fs::exists("plantilla.dbf"));
  EXPECT_EQ(rt::exitCode(), 0);

  // Without a template the load says so.
  fs::remove("plantilla.csv");
  QTest::mouseClick(form->oButton1, Qt::LeftButton);
  EXPECT_EQ(form->oLabel1->cText(), "No se encontro el archivo plantilla plantilla.csv");
}

TEST_F(WindowActions, FolioClearingRetriesOnceTheInventoryAppears) {
  testing_support::writeFile("plantilla.csv", kTemplate);
  auto form = shownForm();
  QTest::mouseClick(form->oButton1, Qt::LeftButton);
  fs::rename("inven.dbf", "kept.dbf");

  std::vector<Seen> seen;
  gui_test::whenModal<ErrorDialog>([&seen](ErrorDialog* d) {
    seen.push_back({d->messageBox()->toPlainText().section('\n', 1, 1), {}});
    fs::rename("kept.dbf", "inven.dbf");
    d->choiceButtons()[1]->click();  // Retry
  });
  QTest::mouseClick(form->oButton2, Qt::LeftButton);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].errorLine, "Error DBFNTX/1001  Open error: inven.dbf");
  EXPECT_EQ(form->oLabel1->cText(), "Folios eliminados. Listo!");
  EXPECT_EQ(rt::exitCode(), 1);  // an error was shown
  EXPECT_FALSE(gui::Application->lTerminate());
}

TEST_F(WindowActions, FolioClearingIgnoredTwiceStillFinishes) {
  auto form = shownForm();
  std::vector<Seen> seen;
  answerDialogs(seen, {"&Ignore", "&Ignore"});
  QTest::mouseClick(form->oButton2, Qt::LeftButton);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].errorLine, "Error DBFNTX/1001  Open error: inven.dbf");
  EXPECT_EQ(seen[0].buttons, (QStringList{"&Quit", "&Retry", "&Ignore"}));
  EXPECT_EQ(seen[1].errorLine, "Error DBCMD/2001  Workarea not in use: DBEVAL");
  EXPECT_EQ(seen[1].buttons, (QStringList{"&Quit", "&Ignore"}));
  EXPECT_EQ(form->oLabel1->cText(), "Folios eliminados. Listo!");
  EXPECT_FALSE(fs::exists("inven.dbf"));
}

TEST_F(WindowActions, QuitEndsTheProgramWithoutAnotherStep) {
  auto form = shownForm();
  form->oEdit1->Value("5");
  std::vector<Seen> seen;
  answerDialogs(seen, {"&Quit"});
  QTest::mouseClick(form->oButton2, Qt::LeftButton);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(form->oLabel1->cText(), "Status");  // the action never reached its status text
  EXPECT_TRUE(gui::Application->lTerminate());  // the message loop is told to stop
  EXPECT_EQ(rt::exitCode(), 1);
  EXPECT_EQ(gui_test::visibleTopLevels(), 1);  // the dialog is gone, the window remains

  // Clicks still queued after Quit run no action.
  testing_support::writeFile("plantilla.csv", kTemplate);
  QTest::mouseClick(form->oButton1, Qt::LeftButton);
  EXPECT_EQ(form->oLabel1->cText(), "Status");
  EXPECT_FALSE(fs::exists("inven.dbf"));
}

}  // namespace
