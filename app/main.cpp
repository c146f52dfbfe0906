// The window program: wires the error handler, the platform and the start procedure.
#include "appdata.h"
#include "errordialog.h"
#include "gui/application.h"
#include "rt/handler.h"
#include "rt/launcher.h"
#include "start.h"

int main() {
  app::ErrorDialogPresenter presenter;
  rt::installErrorHandler(presenter);
  rt::setUnrecoverableNotifier(app::showUnrecoverable);

  gui::TApplication application;
  auto holder = std::make_unique<app::TAppData>();
  holder->Create();
  application.adoptData(std::move(holder));

  app::MAIN();
  return app::exitSteps();
}
