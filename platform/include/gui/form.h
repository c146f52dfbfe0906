// Forms: top-level windows with absolute-positioned controls in client coordinates.
//
// The window keeps its controls where they were put when it is resized; scroll bars appear only
// while the client area is smaller than the area the controls occupy.
#pragma once

#include <QScrollArea>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gui/application.h"
#include "gui/component.h"
#include "gui/font.h"

namespace gui {

class TForm : public QScrollArea, public TComponent {
 public:
  // An event handler that a control's event can be bound to by name.
  using Method = std::function<void(TComponent* oSender)>;

  // The form joins the application's list of windows; the first one becomes the main window.
  explicit TForm(TApplication* oParent = Application);
  ~TForm() override;

  // Outer frame position and size, kept for Create().
  void SetBounds(int nLeft, int nTop, int nWidth, int nHeight);
  // Client area size, kept for Create(); replaces the outer size.
  void SetClientSize(int nWidth, int nHeight);
  std::string cText() const;
  void cText(std::string_view text);
  const TFont& oFont() const { return font_; }
  void oFont(const TFont& font);

  // Builds the window's contents; the base form has none. With lCreate true a derived form sets
  // the window up and calls Create() first.
  virtual TForm* CreateForm(bool lCreate);
  // Makes the window, hidden, at the stored position with the stored client size.
  void Create();
  // Shows it in its normal state, paints it, and focuses the first tab stop when nothing has
  // the focus.
  void Show();

  std::function<void(TForm*)> OnInitialize;
  // Asked when the user closes the window; false keeps it open. No handler: closing is allowed.
  std::function<bool(TForm*)> OnClose;

  // The client area: the parent of the controls.
  QWidget* client() const { return client_; }
  double dpiY() const;

  // Registers a method that OnClick and the like can name.
  void addMethod(std::string_view name, Method m);
  // The method of that name in any letter case, or nullptr.
  const Method* method(std::string_view name) const;

  // Controls call these: a control has been created; move the focus from one to the next (or
  // previous) tab stop in creation order, wrapping around.
  void addControl(QWidget* control);
  void moveFocus(QWidget* from, bool forward);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void updateExtent();

  TApplication* app_;
  QWidget* client_;
  TFont font_;
  QRect bounds_{0, 0, 0, 0};
  QSize clientSize_;
  std::vector<std::pair<std::string, Method>> methods_;
  std::vector<QWidget*> controls_;
};

}  // namespace gui
