// Helpers for the window tests: a freshly built main window, and answering a modal dialog from
// inside its own loop.
#pragma once

#include <QApplication>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>

#include "form1.h"
#include "gui/application.h"

namespace gui_test {

struct FormDeleter {
  void operator()(app::TForm1* f) const { delete f; }
};
using FormPtr = std::unique_ptr<app::TForm1, FormDeleter>;

// The main window as the start procedure makes it, shown.
inline FormPtr shownForm() {
  gui::Application->lTerminate(false);
  FormPtr form(app::TForm1::New(gui::Application));
  form->Show();
  QApplication::processEvents();
  return form;
}

// Runs `act` on the modal widget of that kind once its loop runs (tries for about two seconds).
template <class Widget>
void whenModal(std::function<void(Widget*)> act, int triesLeft = 200) {
  QTimer::singleShot(triesLeft == 200 ? 0 : 10, [act, triesLeft] {
    if (auto* w = dynamic_cast<Widget*>(QApplication::activeModalWidget())) {
      act(w);
    } else if (triesLeft > 0) {
      whenModal<Widget>(act, triesLeft - 1);
    }
  });
}

// Top-level windows still shown.
inline int visibleTopLevels() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) ++n;
  return n;
}

}  // namespace gui_test

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
