// The error dialog and the presenter that the error handler calls for every error it does not
// absorb: writes "Error.log", shows the message with the choices the error allows and returns
// the user's choice.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "rt/errortext.h"
#include "rt/handler.h"

class QPlainTextEdit;
class QPushButton;

namespace app {

class ErrorDialog : public QDialog {
 public:
  // `message` and `log` are UTF-8 with lines ended by CR LF; `choices` in button order.
  ErrorDialog(const std::string& message, const std::vector<rt::Choice>& choices,
              const std::string& log, rt::Lang lang, QWidget* owner);

  // Shows the dialog modally; Quit when it was closed other than by a choice button.
  rt::Choice choose();

  bool detailsOpen() const;
  // Opens or closes the log box, as the details button does.
  void toggleDetails();

  QPlainTextEdit* messageBox() const { return message_; }
  QPlainTextEdit* logBox() const { return log_; }
  QPushButton* detailsButton() const { return details_; }
  const std::vector<QPushButton*>& choiceButtons() const { return buttons_; }

  static constexpr int kClientWidth = 594, kClosedHeight = 107, kOpenHeight = 265;

 protected:
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void fitLogBox();

  rt::Lang lang_;
  std::vector<rt::Choice> choices_;
  std::vector<QPushButton*> buttons_;
  QPlainTextEdit* message_;
  QPlainTextEdit* log_;
  QPushButton* details_;
  bool wasMaximized_ = false;
  bool fitPending_ = false;
  bool restorePending_ = false;
};

// The error handler's presenter for the window program.
class ErrorDialogPresenter : public rt::ErrorPresenter {
 public:
  rt::Choice present(const rt::ErrorObj& e) override;

 private:
  // An error inside the presenter itself: an information box, then the program ends.
  [[noreturn]] void fallback(const std::string& errorLine);

  bool active_ = false;
  int step_ = 0;
  rt::Lang lang_ = rt::Lang::English;
};

// Shows an unrecoverable error of the error mechanism in an error box.
void showUnrecoverable(const std::string& caption, const std::string& text);

}  // namespace app
