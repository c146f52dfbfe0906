#include "start.h"

#include "db/workarea.h"
#include "form1.h"
#include "gui/application.h"
#include "rt/callstack.h"
#include "rt/launcher.h"

namespace app {

void MAIN() {
  rt::CallFrame level("MAIN");
  gui::Application->cTitle("Tolvarimsek");
  gui::Application->lSingleInstance(true);
  if (gui::Application->lTerminate()) return;  // a second copy: no window
  TForm1::New(gui::Application)->Show();
  gui::Application->Run();
}

int exitSteps() {
  if (gui::Application) gui::Application->End();
  db::closeAllAtExit();
  return rt::exitCode();
}

}  // namespace app
