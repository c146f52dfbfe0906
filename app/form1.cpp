#include "form1.h"

#include "rt/callstack.h"
#include "rt/launcher.h"
#include "rt/workvars.h"

namespace app {

using gui::TButton;
using gui::TCheckBox;
using gui::TEdit;
using gui::TFont;
using gui::TLabel;

TForm1::TForm1(gui::TApplication* oParent) : gui::TForm(oParent) {
  addMethod("Button1Click", [this](gui::TComponent* s) { Button1Click(s); });
  addMethod("Button2Click", [this](gui::TComponent* s) { Button2Click(s); });
}

TForm1* TForm1::New(gui::TApplication* oParent) {
  auto* form = new TForm1(oParent);
  form->CreateForm(true);
  if (form->OnInitialize) form->OnInitialize(form);
  return form;
}

TForm1* TForm1::CreateForm(bool lCreate) {
  if (lCreate) {
    SetBounds(371, 199, 395, 216);
    SetClientSize(379, 177);
    cText("Form1");
    oFont(TFont{"MS Sans Serif", 8, 0, 400});
    Create();
  }
  gui::TForm::CreateForm(false);

  oButton1 = new TButton(this);
  oButton1->SetBounds(192, 16, 162, 25);
  oButton1->cText("Cargar productos");
  oButton1->OnClick("Button1Click");
  oButton1->Create();

  oLabel1 = new TLabel(this);
  oLabel1->SetBounds(12, 152, 31, 14);
  oLabel1->cText("Status");
  oLabel1->Create();

  oCheckbox1 = new TCheckBox(this);
  oCheckbox1->SetBounds(24, 20, 142, 18);
  oCheckbox1->cText("Borrar inventario anterior.");
  oCheckbox1->Create();

  oButton2 = new TButton(this);
  oButton2->SetBounds(192, 80, 162, 50);
  oButton2->cText("Limpiar folios");
  oButton2->OnClick("Button2Click");
  oButton2->Create();

  oLabel2 = new TLabel(this);
  oLabel2->SetBounds(24, 80, 55, 14);
  oLabel2->cText("Folio inicial:");
  oLabel2->Create();

  oLabel3 = new TLabel(this);
  oLabel3->SetBounds(24, 104, 45, 14);
  oLabel3->cText("Folio final");
  oLabel3->Create();

  oEdit1 = new TEdit(this);
  oEdit1->SetBounds(80, 80, 90, 20);
  oEdit1->Value("");
  oEdit1->lNumeric(true);
  oEdit1->Create();

  oEdit2 = new TEdit(this);
  oEdit2->SetBounds(80, 104, 90, 20);
  oEdit2->Value("");
  oEdit2->lNumeric(true);
  oEdit2->Create();

  oLabel4 = new TLabel(this);
  oLabel4->SetBounds(20, 44, 331, 21);
  oLabel4->cText("VER INSTRUCTIVO DE ESTA CARPETA");
  oLabel4->lParentFont(false);
  oLabel4->oFont(TFont{"MS Sans Serif", 12, 0, 700});
  oLabel4->nClrText(0);
  oLabel4->Create();

  return this;
}

void TForm1::Button1Click(gui::TComponent*) {
  runAction([this] { inv::productLoad(oCheckbox1->lChecked(), status_); });
}

void TForm1::Button2Click(gui::TComponent*) {
  runAction([this] { inv::folioClearing(oEdit1->Value(), oEdit2->Value(), status_); });
}

void TForm1::runAction(const std::function<void()>& action) {
  // Once Quit was chosen the program is on its way out: clicks still queued run nothing.
  if (rt::breakRequested()) return;
  try {
    // The action pushes its own call level (TFORM1:BUTTON1CLICK ...) with the line of each step.
    rt::ActionScope variables;
    action();
  } catch (const rt::Break&) {
    // Nothing after the failed step runs; the start procedure takes over with the exit steps.
    if (gui::Application) gui::Application->lTerminate(true);
  }
}

}  // namespace app
