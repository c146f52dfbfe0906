// Renders the main window and the error dialog (closed and with its details open) to PNG files
// through the program's own classes, for the README. Usage: tolvarimsek-shots <folder>
// Run it in an empty scratch folder: "Limpiar folios" there meets the error the dialog shows,
// and "Error.log" is written there.
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <string>

#include "errordialog.h"
#include "form1.h"
#include "gui/application.h"
#include "rt/handler.h"

namespace {

bool save(QWidget* w, const std::string& path) {
  if (w->grab().save(QString::fromStdString(path), "PNG")) return true;
  std::fprintf(stderr, "cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tolvarimsek-shots <folder>\n");
    return 2;
  }
  const std::string dir = argv[1];
  app::ErrorDialogPresenter presenter;
  rt::installErrorHandler(presenter);
  gui::TApplication application;
  application.cTitle("Tolvarimsek");
  app::TForm1* form = app::TForm1::New(&application);
  form->Show();
  QApplication::processEvents();
  bool ok = save(form, dir + "/main-window.png");

  // While the dialog is up: grab it, open the details, grab again, then choose Quit.
  QTimer::singleShot(0, [&] {
    auto* dialog = dynamic_cast<app::ErrorDialog*>(QApplication::activeModalWidget());
    if (!dialog) {
      ok = false;
      return;
    }
    ok = save(dialog, dir + "/error-dialog.png") && ok;
    dialog->toggleDetails();
    QApplication::processEvents();
    ok = save(dialog, dir + "/error-dialog-details.png") && ok;
    dialog->choiceButtons().front()->click();
  });
  // "Limpiar folios" in a folder without "inven.dbf" meets an open error.
  form->oButton2->click();
  application.End();
  return ok ? 0 : 1;
}
