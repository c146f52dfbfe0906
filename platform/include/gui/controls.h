// Controls: labels that size themselves to their text, buttons bound to a form's method by
// name, check boxes and edit boxes. Each is made with its form as parent, given its settings,
// and then Create()d, which shows it at its place in the form's client area.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "gui/component.h"
#include "gui/font.h"
#include "gui/form.h"

namespace gui {

// A control names a method its form does not have.
class UnknownMethod : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// What every control shares: bounds in client coordinates, its own font or the form's, Create.
template <class Widget>
class TControl : public Widget, public TComponent {
 public:
  explicit TControl(TForm* oParent) : Widget(oParent->client()), form_(oParent) { Widget::hide(); }

  void SetBounds(int nLeft, int nTop, int nWidth, int nHeight) {
    Widget::setGeometry(nLeft, nTop, nWidth, nHeight);
  }

  bool lParentFont() const { return parentFont_; }
  void lParentFont(bool on) {
    parentFont_ = on;
    if (on) Widget::setFont(QFont());  // inherit the form's font again
  }
  const TFont& oFont() const { return parentFont_ ? form_->oFont() : font_; }
  void oFont(const TFont& font) {
    font_ = font;
    parentFont_ = false;
    Widget::setFont(font.toQFont(form_->dpiY()));
  }

  // Makes the control visible at its place and adds it to the form's list of controls.
  virtual void Create() {
    created_ = true;
    form_->addControl(this);
    Widget::show();
  }
  bool created() const { return created_; }
  TForm* form() const { return form_; }

 protected:
  TForm* form_;
  bool created_ = false;
  bool parentFont_ = true;
  TFont font_;
};

QString qtext(std::string_view utf8);

// A label sizes itself to its text when created and whenever its text is set: width and height
// become the measured text size plus 1, the top-left corner stays. Once a text holds CR LF the
// label is multi-line for good and wraps at its current width.
class TLabel : public TControl<QLabel> {
 public:
  explicit TLabel(TForm* oParent);
  const std::string& cText() const { return text_; }
  void cText(std::string_view text);
  // Text colour, 0x00BBGGRR.
  void nClrText(std::uint32_t bgr);
  bool lMultiLine() const { return multiLine_; }
  void Create() override;

 private:
  void fitText();
  std::string text_;
  bool multiLine_ = false;
};

// Buttons and check boxes pass the arrow keys on as focus moves among the tab stops.
class TButton : public TControl<QPushButton> {
 public:
  explicit TButton(TForm* oParent);
  std::string cText() const;
  void cText(std::string_view text);
  // Binds the click (mouse, Space or Enter on the focused button) to the form's method of that
  // name. Throws UnknownMethod when the form has none.
  void OnClick(std::string_view methodName);
  const std::string& OnClick() const { return onClick_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::string onClick_;
  TForm::Method handler_;
};

class TCheckBox : public TControl<QCheckBox> {
 public:
  explicit TCheckBox(TForm* oParent);
  std::string cText() const;
  void cText(std::string_view text);
  bool lChecked() const { return isChecked(); }
  void lChecked(bool on) { setChecked(on); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// A single-line edit box. With lNumeric only the digits 0 to 9 can be typed; text placed by
// pasting or by Value() is taken as it is.
class TEdit : public TControl<QLineEdit> {
 public:
  explicit TEdit(TForm* oParent);
  std::string Value() const;  // UTF-8; "" when nothing was typed
  void Value(std::string_view text);
  bool lNumeric() const { return numeric_; }
  void lNumeric(bool on) { numeric_ = on; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  bool numeric_ = false;
};

}  // namespace gui
