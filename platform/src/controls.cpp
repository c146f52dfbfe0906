#include "gui/controls.h"

#include <QApplication>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeyEvent>

namespace gui {
namespace {

// Arrow keys on a button or check box move the focus like Tab and Shift+Tab.
bool arrowMovesFocus(TForm* form, QWidget* from, QKeyEvent* event) {
  if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
  switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Down: form->moveFocus(from, true); return true;
    case Qt::Key_Left:
    case Qt::Key_Up: form->moveFocus(from, false); return true;
    default: return false;
  }
}

// Typed text a digits-only box refuses: any printable character other than 0..9. Control
// characters (Backspace, Ctrl+V, ...) pass, so editing and pasting work as usual.
bool refusedByNumeric(const QString& text) {
  for (QChar c : text)
    if (c.isPrint() && (c < u'0' || c > u'9')) return true;
  return false;
}

}  // namespace

QString qtext(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

TLabel::TLabel(TForm* oParent) : TControl<QLabel>(oParent) {
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setMargin(0);
  setIndent(0);
  setContentsMargins(0, 0, 0, 0);
  setWordWrap(false);
}

void TLabel::cText(std::string_view text) {
  text_ = std::string(text);
  if (!multiLine_ && text_.find("\r\n") != std::string::npos) {
    multiLine_ = true;
    setWordWrap(true);
  }
  QString shown = qtext(text_);
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  setText(shown);
  if (created_) fitText();
}

void TLabel::nClrText(std::uint32_t bgr) {
  QPalette p = palette();
  p.setColor(QPalette::WindowText, colorFromBgr(bgr));
  setPalette(p);
}

void TLabel::Create() {
  TControl<QLabel>::Create();
  fitText();
}

void TLabel::fitText() {
  if (text_.empty()) return;
  const QFontMetrics fm(font());
  QSize measured;
  if (multiLine_) {
    measured = fm.boundingRect(QRect(0, 0, width(), 1 << 20),
                               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text())
                   .size();
  } else {
    measured = fm.size(Qt::TextSingleLine, text());
  }
  resize(measured.width() + 1, measured.height() + 1);
}

TButton::TButton(TForm* oParent) : TControl<QPushButton>(oParent) {
  // Enter on the focused button clicks it, but no button is the window's default.
  setAutoDefault(true);
  setDefault(false);
  setFocusPolicy(Qt::StrongFocus);
  connect(this, &QPushButton::clicked, this, [this] {
    if (handler_) handler_(this);
  });
}

std::string TButton::cText() const { return text().toStdString(); }
void TButton::cText(std::string_view text) { setText(qtext(text)); }

void TButton::OnClick(std::string_view methodName) {
  const TForm::Method* m = form_->method(methodName);
  if (!m) throw UnknownMethod("no method named \"" + std::string(methodName) + "\" on the form");
  onClick_ = std::string(methodName);
  handler_ = *m;
}

void TButton::keyPressEvent(QKeyEvent* event) {
  if (!arrowMovesFocus(form_, this, event)) QPushButton::keyPressEvent(event);
}

TCheckBox::TCheckBox(TForm* oParent) : TControl<QCheckBox>(oParent) {
  setFocusPolicy(Qt::StrongFocus);
}

std::string TCheckBox::cText() const { return text().toStdString(); }
void TCheckBox::cText(std::string_view text) { setText(qtext(text)); }

void TCheckBox::keyPressEvent(QKeyEvent* event) {
  if (!arrowMovesFocus(form_, this, event)) QCheckBox::keyPressEvent(event);
}

TEdit::TEdit(TForm* oParent) : TControl<QLineEdit>(oParent) { setFocusPolicy(Qt::StrongFocus); }

std::string TEdit::Value() const { return text().toStdString(); }
void TEdit::Value(std::string_view text) { setText(qtext(text)); }

void TEdit::keyPressEvent(QKeyEvent* event) {
  // Shortcuts such as Ctrl+V are not typing.
  const bool shortcut =
      event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  if (numeric_ && !shortcut && refusedByNumeric(event->text())) {
    QApplication::beep();
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void TEdit::inputMethodEvent(QInputMethodEvent* event) {
  if (numeric_ && refusedByNumeric(event->commitString())) {
    event->accept();
    return;
  }
  QLineEdit::inputMethodEvent(event);
}

}  // namespace gui
