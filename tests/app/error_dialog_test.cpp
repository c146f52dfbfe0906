// The error dialog: message lines, choices, keys, details and the log box, window states, and
// the presenter's fallback when an error arises inside it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "errordialog.h"
#include "gui_test_util.h"
#include "rt/callstack.h"
#include "rt/launcher.h"
#include "testing.h"

namespace {

using app::ErrorDialog;
using gui_test::whenModal;

// The error a folio clearing meets in a folder without "inven.dbf".
rt::ErrorObj openError() {
  rt::CallFrame action("TFORM1:BUTTON2CLICK");
  rt::CallFrame command("DBUSEAREA");
  rt::ErrorObj e = rt::makeError("DBFNTX", rt::gen::kOpen, 1001);
  e.filename = "inven.dbf";
  e.oscode = 2;
  e.canRetry = e.canDefault = true;
  return e;
}

// Its next table command on the empty work area.
rt::ErrorObj workareaError() {
  rt::CallFrame action("TFORM1:BUTTON2CLICK");
  rt::CallFrame command("DBGOTOP");
  rt::ErrorObj e = rt::makeError("DBCMD", rt::gen::kNoWorkarea, 2001);
  e.operation = "DBGOTOP";
  e.canDefault = true;
  return e;
}

QStringList buttonTexts(ErrorDialog* d) {
  QStringList out;
  for (QPushButton* b : d->choiceButtons()) out << b->text();
  return out;
}

// The user's language for one scope.
struct LanguageScope {
  explicit LanguageScope(const char* code) : os(code), scope(os) {}
  testing_support::LanguageOs os;
  testing_support::OsScope scope;
};

class ErrorDialogTest : public testing::Test {
 protected:
  void TearDown() override {
    QApplication::processEvents();
    EXPECT_EQ(gui_test::visibleTopLevels(), 0) << "a window was left open";
  }
  testing_support::TempDir dir_;
  app::ErrorDialogPresenter presenter_;
};

struct LanguageCase {
  const char* language;
  const char* message;
  QStringList buttons;
  const char* details;
};

TEST_F(ErrorDialogTest, OpenErrorInEnglishAndSpanish) {
  const LanguageCase cases[] = {
      {"en",
       "DBUSEAREA(0) \nError DBFNTX/1001  Open error: inven.dbf\nArguments: ()\n(DOS Error 2)",
       {"&Quit", "&Retry", "&Ignore"},
       "&Details >>>"},
      {"es",
       "DBUSEAREA(0) \nError DBFNTX/1001  Open error: inven.dbf\nArgumentos: ()\n(DOS Error 2)",
       {"&Salir", "&Reintentar", "&Ignorar"},
       "&Detalles >>>"},
      // A language the table lacks shows English.
      {"ja",
       "DBUSEAREA(0) \nError DBFNTX/1001  Open error: inven.dbf\nArguments: ()\n(DOS Error 2)",
       {"&Quit", "&Retry", "&Ignore"},
       "&Details >>>"},
  };
  for (const LanguageCase& c : cases) {
    SCOPED_TRACE(c.language);
    LanguageScope lang(c.language);
    bool seen = false;
    whenModal<ErrorDialog>([&](ErrorDialog* d) {
      seen = true;
      EXPECT_EQ(d->windowTitle(), "Error");
      EXPECT_EQ(d->size(), QSize(594, 107));
      EXPECT_EQ(d->messageBox()->toPlainText().toStdString(), c.message);
      EXPECT_EQ(d->messageBox()->geometry(), QRect(6, 8, 582, 60));
      EXPECT_TRUE(d->messageBox()->isReadOnly());
      EXPECT_EQ(d->messageBox()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
      EXPECT_EQ(buttonTexts(d), c.buttons);
      for (int i = 0; i < 3; ++i)
        EXPECT_EQ(d->choiceButtons()[static_cast<std::size_t>(i)]->geometry(),
                  QRect(5 + 80 * i, 75, 75, 25));
      EXPECT_EQ(d->detailsButton()->text().toStdString(), c.details);
      EXPECT_EQ(d->detailsButton()->geometry(), QRect(512, 75, 75, 25));
      EXPECT_EQ(d->focusWidget(), d->choiceButtons().front());
      EXPECT_TRUE(d->choiceButtons().front()->isDefault());
      EXPECT_FALSE(d->logBox()->isVisible());
      EXPECT_EQ(d->logBox()->geometry(), QRect(6, 110, 582, 150));
      EXPECT_EQ(d->logBox()->font().family(), "Courier New");
      EXPECT_TRUE(d->isModal());
      d->choiceButtons().back()->click();
    });
    rt::ErrorObj e = openError();
    EXPECT_EQ(presenter_.present(e), rt::Choice::Ignore);
    EXPECT_TRUE(seen);
  }
  EXPECT_EQ(rt::exitCode(), 1);
  rt::setExitCode(0);
}

TEST_F(ErrorDialogTest, EachButtonAnswersItsChoice) {
  LanguageScope lang("en");
  struct ButtonCase {
    std::size_t index;
    rt::Choice expected;
  };
  for (const ButtonCase& c : {ButtonCase{0, rt::Choice::Quit}, ButtonCase{1, rt::Choice::Retry},
                              ButtonCase{2, rt::Choice::Ignore}}) {
    whenModal<ErrorDialog>([&](ErrorDialog* d) { d->choiceButtons()[c.index]->click(); });
    rt::ErrorObj e = openError();
    EXPECT_EQ(presenter_.present(e), c.expected);
  }
  rt::setExitCode(0);
}

TEST_F(ErrorDialogTest, EnterChoosesQuitAndClosingCountsAsQuit) {
  whenModal<ErrorDialog>([](ErrorDialog* d) { QTest::keyClick(d->focusWidget(), Qt::Key_Return); });
  rt::ErrorObj e = openError();
  EXPECT_EQ(presenter_.present(e), rt::Choice::Quit);

  whenModal<ErrorDialog>([](ErrorDialog* d) { d->close(); });
  EXPECT_EQ(presenter_.present(e), rt::Choice::Quit);

  whenModal<ErrorDialog>([](ErrorDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
  EXPECT_EQ(presenter_.present(e), rt::Choice::Quit);
  rt::setExitCode(0);
}

TEST_F(ErrorDialogTest, WorkareaNotInUseOffersQuitAndIgnoreOnly) {
  LanguageScope lang("en");
  whenModal<ErrorDialog>([](ErrorDialog* d) {
    EXPECT_EQ(buttonTexts(d), (QStringList{"&Quit", "&Ignore"}));
    EXPECT_EQ(d->messageBox()->toPlainText().section('\n', 1, 1),
              "Error DBCMD/2001  Workarea not in use: DBGOTOP");
    d->choiceButtons()[1]->click();
  });
  rt::ErrorObj e = workareaError();
  EXPECT_EQ(presenter_.present(e), rt::Choice::Ignore);
  rt::setExitCode(0);
}

TEST_F(ErrorDialogTest, DetailsShowTheLogAndCopyItToTheClipboard) {
  LanguageScope lang("en");
  QApplication::clipboard()->setText("before");
  whenModal<ErrorDialog>([](ErrorDialog* d) {
    const QString log = d->logBox()->toPlainText();
    EXPECT_TRUE(log.startsWith(QString(31, '*') + " Error log file " + QString(32, '*')));
    EXPECT_EQ(QApplication::clipboard()->text(), "before");

    d->detailsButton()->click();
    EXPECT_EQ(d->detailsButton()->text(), "<<< &Details");
    EXPECT_EQ(d->height(), 265);
    EXPECT_TRUE(d->logBox()->isVisible());
    EXPECT_EQ(QApplication::clipboard()->text(), log);
    EXPECT_FALSE(d->logBox()->textCursor().hasSelection());

    d->detailsButton()->click();
    EXPECT_EQ(d->detailsButton()->text(), "&Details >>>");
    EXPECT_EQ(d->height(), 107);
    EXPECT_FALSE(d->logBox()->isVisible());
    d->choiceButtons()[0]->click();
  });
  rt::ErrorObj e = openError();
  EXPECT_EQ(presenter_.present(e), rt::Choice::Quit);
  // The log box shows the file as written.
  EXPECT_TRUE(std::filesystem::exists("Error.log"));
  rt::setExitCode(0);
}

TEST_F(ErrorDialogTest, MaximisingOpensDetailsAndRestoringEnablesTheButton) {
  whenModal<ErrorDialog>([](ErrorDialog* d) {
    d->showMaximized();
    QApplication::processEvents();
    EXPECT_TRUE(d->detailsOpen());
    EXPECT_FALSE(d->detailsButton()->isEnabled());
    EXPECT_TRUE(d->logBox()->isVisible());
    EXPECT_EQ(d->logBox()->size(), QSize(d->width() - 13, d->height() - 110 - 6));

    d->showNormal();
    QApplication::processEvents();
    EXPECT_TRUE(d->detailsButton()->isEnabled());
    EXPECT_TRUE(d->detailsOpen());
    EXPECT_EQ(d->height(), 265);
    EXPECT_EQ(d->logBox()->size(), QSize(d->width() - 13, d->height() - 110 - 6));
    d->choiceButtons()[0]->click();
  });
  rt::ErrorObj e = openError();
  EXPECT_EQ(presenter_.present(e), rt::Choice::Quit);
  rt::setExitCode(0);
}

// Through the installed handler, Quit unwinds the raising operation.
TEST_F(ErrorDialogTest, QuitBreaksRetryRepeatsIgnoreDefaults) {
  rt::installErrorHandler(presenter_);
  rt::ErrorObj e = openError();
  whenModal<ErrorDialog>([](ErrorDialog* d) { d->choiceButtons()[1]->click(); });
  EXPECT_EQ(rt::raise(e), rt::Answer::Retry);
  EXPECT_EQ(e.tries, 1);
  whenModal<ErrorDialog>([](ErrorDialog* d) { d->choiceButtons()[2]->click(); });
  EXPECT_EQ(rt::raise(e), rt::Answer::Default);
  whenModal<ErrorDialog>([](ErrorDialog* d) { d->choiceButtons()[0]->click(); });
  EXPECT_THROW(rt::raise(e), rt::Break);
  EXPECT_EQ(rt::exitCode(), 1);
  rt::setErrorBlock({});
  rt::resetBreak();
  rt::setExitCode(0);
}

// An error raised while the dialog is up goes to the fallback: an information box captioned
// with the title, naming the nested error, then the end of the program with exit code 1.
TEST(ErrorDialogDeathTest, ErrorInsideTheDialogEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  testing_support::TempDir dir;
  LanguageScope lang("en");
  EXPECT_EXIT(
      {
        app::ErrorDialogPresenter presenter;
        rt::installErrorHandler(presenter);
        whenModal<ErrorDialog>([](ErrorDialog*) {
          gui_test::whenModal<QMessageBox>([](QMessageBox* box) {
            std::fprintf(stderr, "[%s] %s\n", qPrintable(box->windowTitle()),
                         qPrintable(box->text()));
            box->accept();
          });
          rt::CallFrame level("NESTED");
          rt::ErrorObj nested = rt::makeError("BASE", rt::gen::kNoVariable, 1003);
          nested.operation = "X";
          nested.canRetry = true;
          rt::raise(nested);
        });
        rt::ErrorObj e = openError();
        rt::raise(e);
      },
      testing::ExitedWithCode(1),
      "\\[Tolvarimsek\\] Error BASE/1003  Variable does not exist: X inside ERRORSYS, line: 5");
}

}  // namespace
