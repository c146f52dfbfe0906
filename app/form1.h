// The main window: two buttons, a check box, two digits-only edit boxes with their labels, the
// status label and the instruction label.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "gui/controls.h"
#include "gui/form.h"
#include "inv/actions.h"

namespace app {

class TForm1 : public gui::TForm {
 public:
  // Makes the window with the application as parent, builds it (CreateForm(true)) and raises
  // OnInitialize. The window is not shown yet.
  static TForm1* New(gui::TApplication* oParent);

  TForm1* CreateForm(bool lCreate) override;

  // "Cargar productos": the product load with the check box's state.
  void Button1Click(gui::TComponent* oSender);
  // "Limpiar folios": the folio clearing with the two edit boxes' texts.
  void Button2Click(gui::TComponent* oSender);

  gui::TButton* oButton1 = nullptr;
  gui::TLabel* oLabel1 = nullptr;
  gui::TCheckBox* oCheckbox1 = nullptr;
  gui::TButton* oButton2 = nullptr;
  gui::TLabel* oLabel2 = nullptr;
  gui::TLabel* oLabel3 = nullptr;
  gui::TEdit* oEdit1 = nullptr;
  gui::TEdit* oEdit2 = nullptr;
  gui::TLabel* oLabel4 = nullptr;

 private:
  explicit TForm1(gui::TApplication* oParent);

  // The actions report through the status label.
  class StatusLabel : public inv::StatusSink {
   public:
    explicit StatusLabel(TForm1& form) : form_(form) {}
    void setStatus(const std::string& text) override { form_.oLabel1->cText(text); }

   private:
    TForm1& form_;
  };

  // Runs one action as the named call level with its own working variables. A Quit chosen in
  // the error dialog unwinds the action to here and ends the message loop.
  void runAction(const std::function<void()>& action);

  StatusLabel status_{*this};
};

}  // namespace app
