#include "gui/form.h"

#include <QCloseEvent>
#include <QScreen>
#include <algorithm>

namespace gui {
namespace {

bool sameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    return up(x) == up(y);
  });
}

}  // namespace

TForm::TForm(TApplication* oParent) : app_(oParent), client_(new QWidget) {
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::NoFocus);
  setWidgetResizable(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // The window is painted in the button-face colour, as dialogs and forms are.
  viewport()->setBackgroundRole(QPalette::Window);
  client_->setBackgroundRole(QPalette::Window);
  client_->setAutoFillBackground(true);
  setWidget(client_);
  if (app_) app_->addForm(this);
}

TForm::~TForm() {
  if (app_ && Application == app_) app_->formDeleted(this);
}

void TForm::SetBounds(int nLeft, int nTop, int nWidth, int nHeight) {
  bounds_ = QRect(nLeft, nTop, nWidth, nHeight);
}

void TForm::SetClientSize(int nWidth, int nHeight) { clientSize_ = QSize(nWidth, nHeight); }

std::string TForm::cText() const { return windowTitle().toStdString(); }
void TForm::cText(std::string_view text) {
  setWindowTitle(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

double TForm::dpiY() const {
  const QScreen* s = screen();
  return s ? s->logicalDotsPerInchY() : 96.0;
}

void TForm::oFont(const TFont& font) {
  font_ = font;
  setFont(font.toQFont(dpiY()));
}

TForm* TForm::CreateForm(bool) { return this; }

void TForm::Create() {
  move(bounds_.topLeft());
  resize(clientSize_.isValid() ? clientSize_ : bounds_.size());
}

void TForm::Show() {
  showNormal();
  if (!focusWidget()) moveFocus(nullptr, true);
  repaint();
}

void TForm::addMethod(std::string_view name, Method m) {
  methods_.emplace_back(std::string(name), std::move(m));
}

const TForm::Method* TForm::method(std::string_view name) const {
  for (const auto& [n, m] : methods_)
    if (sameName(n, name)) return &m;
  return nullptr;
}

void TForm::addControl(QWidget* control) {
  controls_.push_back(control);
  control->installEventFilter(this);
  updateExtent();
}

void TForm::moveFocus(QWidget* from, bool forward) {
  auto isStop = [](QWidget* w) {
    return (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(w->window());
  };
  const auto n = static_cast<std::ptrdiff_t>(controls_.size());
  if (n == 0) return;
  auto at = std::find(controls_.begin(), controls_.end(), from);
  std::ptrdiff_t i = at == controls_.end() ? (forward ? -1 : n) : at - controls_.begin();
  for (std::ptrdiff_t step = 0; step < n; ++step) {
    i = ((forward ? i + 1 : i - 1) % n + n) % n;
    QWidget* w = controls_[static_cast<std::size_t>(i)];
    if (isStop(w)) {
      w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
      return;
    }
  }
}

void TForm::closeEvent(QCloseEvent* event) {
  if (OnClose && !OnClose(this)) {
    event->ignore();
    return;
  }
  event->accept();
  if (app_ && Application == app_) app_->formClosed(this);
}

bool TForm::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide: updateExtent(); break;
    default: break;
  }
  return QScrollArea::eventFilter(watched, event);
}

bool TForm::focusNextPrevChild(bool next) {
  moveFocus(focusWidget(), next);
  if (QWidget* w = focusWidget()) ensureWidgetVisible(w, 0, 0);
  return true;
}

void TForm::updateExtent() {
  // The controls' area runs from the client origin to the farthest right and bottom edge.
  int right = 0, bottom = 0;
  for (QWidget* w : controls_) {
    if (!w->isVisibleTo(client_)) continue;
    right = std::max(right, w->x() + w->width());
    bottom = std::max(bottom, w->y() + w->height());
  }
  client_->setMinimumSize(right, bottom);
}

}  // namespace gui
