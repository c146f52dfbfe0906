#include "errordialog.h"

#include "db/workarea.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "gui/application.h"
#include "gui/controls.h"
#include "gui/dialogs.h"
#include "gui/form.h"

namespace app {
namespace {

constexpr int kQuit = 32800, kRetry = 32801, kIgnore = 32802, kDetails = 32803, kCaption = 32796,
              kNestedError = 32797;

int entryFor(rt::Choice c) {
  switch (c) {
    case rt::Choice::Retry: return kRetry;
    case rt::Choice::Ignore: return kIgnore;
    case rt::Choice::Quit: break;
  }
  return kQuit;
}

QString shown(const std::string& crlfText) {
  QString s = gui::qtext(crlfText);
  s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return s;
}

QString entryText(int n, rt::Lang lang) { return gui::qtext(rt::entry(n, lang)); }

// "Error.log" as it now stands on disk, decoded from the ANSI code page; empty when unreadable.
std::string readLogBack() {
  std::ifstream in("Error.log", std::ios::binary);
  if (!in) return {};
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return rt::ansiToUtf8(bytes);
}

// Line 2 of the message: "Error <subsystem>/<subcode>  <description>...".
std::string errorLineOf(const rt::ErrorObj& e, rt::Lang lang) {
  const std::string msg = rt::errorMessage(e, lang);
  const std::size_t first = msg.find("\r\n");
  if (first == std::string::npos) return msg;
  const std::size_t second = msg.find("\r\n", first + 2);
  return msg.substr(first + 2,
                    second == std::string::npos ? std::string::npos : second - first - 2);
}

}  // namespace

ErrorDialog::ErrorDialog(const std::string& message, const std::vector<rt::Choice>& choices,
                         const std::string& log, rt::Lang lang, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      lang_(lang),
      choices_(choices) {
  setWindowTitle(entryText(kCaption, lang));
  setWindowIcon(style()->standardIcon(QStyle::SP_MessageBoxCritical));
  setWindowModality(Qt::ApplicationModal);
  setFont(gui::TFont{"MS Sans Serif", 8, 0, 400}.toQFont(screen() ? screen()->logicalDotsPerInchY()
                                                                  : 96.0));

  message_ = new QPlainTextEdit(this);
  message_->setObjectName("message");
  message_->setGeometry(6, 8, 582, 60);
  message_->setReadOnly(true);
  message_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  message_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  message_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  message_->setPlainText(shown(message));

  for (std::size_t i = 0; i < choices.size(); ++i) {
    auto* b = new QPushButton(entryText(entryFor(choices[i]), lang), this);
    b->setObjectName(QStringLiteral("choice%1").arg(i + 1));
    b->setGeometry(5 + 80 * static_cast<int>(i), 75, 75, 25);
    const int result = static_cast<int>(i) + 1;
    connect(b, &QPushButton::clicked, this, [this, result] { done(result); });
    buttons_.push_back(b);
  }

  details_ = new QPushButton(entryText(kDetails, lang) + QStringLiteral(" >>>"), this);
  details_->setObjectName("details");
  details_->setGeometry(512, 75, 75, 25);
  details_->setAutoDefault(false);
  connect(details_, &QPushButton::clicked, this, [this] { toggleDetails(); });

  log_ = new QPlainTextEdit(this);
  log_->setObjectName("log");
  log_->setGeometry(6, 110, 582, 150);
  log_->setReadOnly(true);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_->setFont(gui::TFont{"Courier New", 8, 0, 400}.toQFont(
      screen() ? screen()->logicalDotsPerInchY() : 96.0));
  log_->setPlainText(shown(log));
  log_->hide();

  // Quit comes first, holds the focus and answers Enter.
  if (!buttons_.empty()) {
    buttons_.front()->setDefault(true);
    buttons_.front()->setFocus();
  }
  resize(kClientWidth, kClosedHeight);
}

rt::Choice ErrorDialog::choose() {
  const int r = exec();
  if (r >= 1 && r <= static_cast<int>(choices_.size()))
    return choices_[static_cast<std::size_t>(r - 1)];
  return rt::Choice::Quit;
}

// The caption tells the state: "<<< ..." while the log box is open.
bool ErrorDialog::detailsOpen() const { return details_->text().startsWith(u'<'); }

void ErrorDialog::toggleDetails() {
  const QString label = entryText(kDetails, lang_);
  if (!detailsOpen()) {
    details_->setText(QStringLiteral("<<< ") + label);
    resize(width(), kOpenHeight);
    log_->selectAll();
    log_->copy();
    log_->moveCursor(QTextCursor::Start);  // deselects and shows the log from its top
    log_->show();
  } else {
    details_->setText(label + QStringLiteral(" >>>"));
    resize(width(), kClosedHeight);
    log_->hide();
  }
}

void ErrorDialog::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  const bool maximized = windowState() & Qt::WindowMaximized;
  if (maximized && !wasMaximized_) {
    if (!detailsOpen()) toggleDetails();
    details_->setEnabled(false);
  } else if (!maximized && wasMaximized_) {
    details_->setEnabled(true);
    // The details were opened while maximised, after the normal size had been saved: make room
    // for them once the window system has put the normal size back (now or with the next
    // resize, depending on the order in which it reports the two).
    if (height() < kOpenHeight)
      resize(width(), kOpenHeight);
    else
      restorePending_ = true;
  }
  wasMaximized_ = maximized;
  fitPending_ = true;
  fitLogBox();
}

void ErrorDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (restorePending_) {
    restorePending_ = false;
    if (!wasMaximized_ && detailsOpen() && height() < kOpenHeight) {
      resize(width(), kOpenHeight);
      return;
    }
  }
  // The window system reports the new size after the state change.
  if (fitPending_ || wasMaximized_) {
    fitLogBox();
    fitPending_ = false;
  }
}

void ErrorDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Centred on the screen that shows the owner.
  const QWidget* anchor = parentWidget() ? parentWidget()->window() : this;
  if (const QScreen* s = anchor->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(s->availableGeometry().center());
    move(frame.topLeft());
  }
}

void ErrorDialog::fitLogBox() {
  log_->resize(std::max(0, width() - 13), std::max(0, height() - log_->y() - 6));
}

rt::Choice ErrorDialogPresenter::present(const rt::ErrorObj& e) {
  // While the dialog is prepared and shown, errors of the presenter's own steps go to the
  // fallback: showing them through the dialog again could only fail again.
  if (active_) fallback(errorLineOf(e, lang_));
  active_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{active_};
  try {
    step_ = 1;
    lang_ = rt::userLanguage();
    step_ = 2;
    const rt::PreparedError prepared = rt::prepareError(e, lang_);
    step_ = 3;
    const std::string log = readLogBack();
    step_ = 4;
    QWidget* owner = gui::Application ? gui::Application->oMainForm() : nullptr;
    if (owner && !owner->isVisible()) owner = nullptr;
    ErrorDialog dialog(prepared.message, prepared.choices, log, lang_, owner);
    step_ = 5;
    return dialog.choose();
  } catch (const std::exception& ex) {
    fallback(ex.what());
  }
}

void ErrorDialogPresenter::fallback(const std::string& errorLine) {
  static bool ending = false;
  if (!ending) {
    ending = true;
    rt::setExitCode(1);
    gui::MsgInfo(rt::fillIn(rt::entry(kNestedError, lang_), {errorLine, std::to_string(step_)}));
    db::closeAllAtExit();
  }
  std::fflush(nullptr);
  std::_Exit(1);
}

void showUnrecoverable(const std::string& caption, const std::string& text) {
  if (gui::Application)
    gui::MsgStop(text, caption);
  else
    std::fprintf(stderr, "%s%s\n", caption.c_str(), text.c_str());
}

}  // namespace app
