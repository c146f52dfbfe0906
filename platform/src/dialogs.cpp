#include "gui/dialogs.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>

#include "gui/application.h"
#include "gui/controls.h"

namespace gui {
namespace {

void messageBox(QMessageBox::Icon icon, std::string_view text, std::string_view caption) {
  const std::string title = !caption.empty() ? std::string(caption)
                            : Application    ? Application->cTitle()
                                             : std::string();
  QMessageBox box(icon, qtext(title), qtext(text), QMessageBox::Ok,
                  Application ? Application->oMainForm() : nullptr);
  box.exec();
}

}  // namespace

void MsgInfo(std::string_view text, std::string_view caption) {
  messageBox(QMessageBox::Information, text, caption);
}

void MsgStop(std::string_view text, std::string_view caption) {
  messageBox(QMessageBox::Critical, text, caption);
}

void setClipboardText(std::string_view text) { QGuiApplication::clipboard()->setText(qtext(text)); }

std::string clipboardText() { return QGuiApplication::clipboard()->text().toStdString(); }

}  // namespace gui
