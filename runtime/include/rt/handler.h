// The program's error handler: absorbs what needs no user and hands the rest to a presenter.
#pragma once

#include "rt/error.h"
#include "rt/launcher.h"

namespace rt {

enum class Choice { Quit, Retry, Ignore };

// Shows an error to the user (the dialog, a console, or a script in tests) and returns the
// choice. It offers Retry only when e.canRetry and Ignore only when e.canDefault.
class ErrorPresenter {
 public:
  virtual ~ErrorPresenter() = default;
  virtual Choice present(const ErrorObj& e) = 0;
};

// The decision list, in order: code 5 -> 0; code 21 with OS code 32 and default allowed, and
// code 40 with default allowed -> default with the network-error indicator set; everything else
// -> the presenter (Retry -> retry, Ignore -> default, Quit -> break).
Value handleError(ErrorObj& e, ErrorPresenter& presenter);

// Installs handleError() with `presenter` as the process's error block. The presenter must
// outlive the installation.
void installErrorHandler(ErrorPresenter& presenter);

}  // namespace rt
