// The main window as built: geometry, texts, fonts, label sizing, digits-only boxes, focus and
// keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QFontMetrics>
#include <QScrollBar>
#include <QTest>

#include "gui_test_util.h"
#include "testing.h"

namespace {

using gui_test::shownForm;

QRect rectOf(QWidget* w) { return w->geometry(); }

TEST(MainWindow, WindowAsBuilt) {
  auto form = shownForm();
  EXPECT_EQ(form->cText(), "Form1");
  EXPECT_EQ(form->pos(), QPoint(371, 199));
  EXPECT_EQ(form->size(), QSize(379, 177));
  EXPECT_EQ(gui::Application->oMainForm(), form.get());
  EXPECT_EQ(form->oFont().cName, "MS Sans Serif");
  EXPECT_EQ(form->font().family(), "MS Sans Serif");
  EXPECT_EQ(form->font().pixelSize(), 11);  // 8 pt at 96 DPI
  EXPECT_FALSE(form->horizontalScrollBar()->isVisible());
  EXPECT_FALSE(form->verticalScrollBar()->isVisible());
}

TEST(MainWindow, ControlsAsBuilt) {
  auto form = shownForm();
  // Buttons, the check box and the edit boxes keep their design geometry.
  EXPECT_EQ(rectOf(form->oButton1), QRect(192, 16, 162, 25));
  EXPECT_EQ(rectOf(form->oCheckbox1), QRect(24, 20, 142, 18));
  EXPECT_EQ(rectOf(form->oButton2), QRect(192, 80, 162, 50));
  EXPECT_EQ(rectOf(form->oEdit1), QRect(80, 80, 90, 20));
  EXPECT_EQ(rectOf(form->oEdit2), QRect(80, 104, 90, 20));
  EXPECT_EQ(form->oButton1->cText(), "Cargar productos");
  EXPECT_EQ(form->oButton2->cText(), "Limpiar folios");
  EXPECT_EQ(form->oCheckbox1->cText(), "Borrar inventario anterior.");
  EXPECT_FALSE(form->oCheckbox1->lChecked());
  EXPECT_EQ(form->oButton1->OnClick(), "Button1Click");
  EXPECT_EQ(form->oButton2->OnClick(), "Button2Click");
  for (gui::TEdit* e : {form->oEdit1, form->oEdit2}) {
    EXPECT_EQ(e->Value(), "");
    EXPECT_TRUE(e->lNumeric());
  }

  // Labels keep their corner and take the size of their text plus one pixel.
  struct LabelCase {
    gui::TLabel* label;
    QPoint corner;
    const char* text;
  };
  for (const LabelCase& c :
       {LabelCase{form->oLabel1, {12, 152}, "Status"},
        LabelCase{form->oLabel2, {24, 80}, "Folio inicial:"},
        LabelCase{form->oLabel3, {24, 104}, "Folio final"},
        LabelCase{form->oLabel4, {20, 44}, "VER INSTRUCTIVO DE ESTA CARPETA"}}) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.label->cText(), c.text);
    EXPECT_EQ(c.label->pos(), c.corner);
    const QSize text = QFontMetrics(c.label->font()).size(Qt::TextSingleLine, c.text);
    EXPECT_EQ(c.label->size(), text + QSize(1, 1));
    // A stand-in font keeps the design sizes within a few pixels.
    EXPECT_NEAR(c.label->height(), c.label == form->oLabel4 ? 21 : 14, 3);
  }
  EXPECT_NEAR(form->oLabel1->width(), 31, 3);
  EXPECT_NEAR(form->oLabel2->width(), 55, 4);

  // Every control but the instruction label uses the window's font.
  for (QWidget* w : std::initializer_list<QWidget*>{form->oButton1, form->oLabel1, form->oCheckbox1,
                                                    form->oEdit1, form->oLabel3})
    EXPECT_EQ(w->font(), form->font());
  EXPECT_FALSE(form->oLabel4->lParentFont());
  EXPECT_EQ(form->oLabel4->font().family(), "MS Sans Serif");
  EXPECT_EQ(form->oLabel4->font().pixelSize(), 16);  // 12 pt at 96 DPI
  EXPECT_TRUE(form->oLabel4->font().bold());
  EXPECT_EQ(form->oLabel4->palette().color(QPalette::WindowText), QColor(Qt::black));
}

TEST(MainWindow, MissingFaceFallsBackToCloseMetrics) {
  auto form = shownForm();
  // Without the classic face, the stand-in must not be a wide face: "Status" stays near 30 px.
  const QFontInfo info(form->font());
  SCOPED_TRACE(info.family().toStdString());
  EXPECT_NEAR(QFontMetrics(form->font()).horizontalAdvance("Status"), 30, 3);
  EXPECT_EQ(info.pixelSize(), 11);
}

TEST(MainWindow, StatusLabelFollowsItsText) {
  auto form = shownForm();
  gui::TLabel* status = form->oLabel1;
  const int initial = status->width();
  status->cText("No se encontro el archivo plantilla plantilla.csv");
  const int wide = status->width();
  EXPECT_GT(wide, initial + 150);
  status->cText("Proceso terminado!");
  EXPECT_LT(status->width(), wide);
  EXPECT_GT(status->width(), initial);
  EXPECT_EQ(status->pos(), QPoint(12, 152));
  status->cText("");  // an empty text keeps the size
  EXPECT_GT(status->width(), initial);

  // CR LF makes the label multi-line for good; it then wraps at its current width.
  EXPECT_FALSE(status->lMultiLine());
  const int oneLine = status->height();
  status->cText("Uno\r\nDos");
  EXPECT_TRUE(status->lMultiLine());
  EXPECT_GE(status->height(), 2 * (oneLine - 1));
  status->cText("palabra palabra palabra palabra palabra palabra");
  EXPECT_TRUE(status->lMultiLine());
  EXPECT_GE(status->height(), 2 * (oneLine - 1));
}

TEST(MainWindow, ResizingKeepsControlsAndScrollsOnlyWhenSmaller) {
  auto form = shownForm();
  form->resize(600, 400);
  QApplication::processEvents();
  EXPECT_EQ(rectOf(form->oButton1), QRect(192, 16, 162, 25));
  EXPECT_FALSE(form->horizontalScrollBar()->isVisible());
  EXPECT_FALSE(form->verticalScrollBar()->isVisible());
  form->resize(200, 100);
  QApplication::processEvents();
  EXPECT_TRUE(form->horizontalScrollBar()->isVisible());
  EXPECT_TRUE(form->verticalScrollBar()->isVisible());
  EXPECT_EQ(rectOf(form->oButton2), QRect(192, 80, 162, 50));
}

TEST(MainWindow, DigitsOnlyBoxesRefuseOtherTypingButTakePastedText) {
  auto form = shownForm();
  QTest::keyClicks(form->oEdit1, "1a-2.b3 +,e");
  EXPECT_EQ(form->oEdit1->Value(), "123");
  QTest::keyClick(form->oEdit1, Qt::Key_Backspace);
  EXPECT_EQ(form->oEdit1->Value(), "12");

  QApplication::clipboard()->setText("-4.5x");
  form->oEdit2->setFocus();
  QTest::keyClick(form->oEdit2, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(form->oEdit2->Value(), "-4.5x");
}

TEST(MainWindow, FocusOrderAndArrowKeys) {
  auto form = shownForm();
  EXPECT_EQ(form->focusWidget(), form->oButton1);  // "Cargar productos" first
  const std::vector<QWidget*> order{form->oButton1, form->oCheckbox1, form->oButton2, form->oEdit1,
                                    form->oEdit2};
  for (std::size_t i = 0; i < order.size(); ++i) {
    QTest::keyClick(form->focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(form->focusWidget(), order[(i + 1) % order.size()]) << "Tab " << i;
  }
  for (std::size_t i = order.size(); i > 0; --i) {
    QTest::keyClick(form->focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(form->focusWidget(), order[i - 1]) << "Shift+Tab " << i;
  }
  // From a button or the check box the arrows move like Tab; an edit box keeps them.
  struct ArrowCase {
    QWidget* from;
    Qt::Key key;
    QWidget* to;
  };
  for (const ArrowCase& c : {ArrowCase{form->oButton1, Qt::Key_Right, form->oCheckbox1},
                             ArrowCase{form->oCheckbox1, Qt::Key_Down, form->oButton2},
                             ArrowCase{form->oButton2, Qt::Key_Up, form->oCheckbox1},
                             ArrowCase{form->oButton1, Qt::Key_Left, form->oEdit2},
                             ArrowCase{form->oEdit1, Qt::Key_Right, form->oEdit1},
                             ArrowCase{form->oEdit2, Qt::Key_Up, form->oEdit2}}) {
    c.from->setFocus();
    QTest::keyClick(c.from, c.key);
    EXPECT_EQ(form->focusWidget(), c.to);
  }
}

TEST(MainWindow, EnterAndSpaceClickTheFocusedButtonOnly) {
  testing_support::HandlerScope handler;
  testing_support::TempDir dir;
  struct KeyCase {
    const char* name;
    bool onButton;
    Qt::Key key;
    bool runs;
  };
  for (const KeyCase& c : {KeyCase{"Enter on button", true, Qt::Key_Return, true},
                           KeyCase{"Space on button", true, Qt::Key_Space, true},
                           KeyCase{"Escape on button", true, Qt::Key_Escape, false},
                           KeyCase{"Enter in edit box", false, Qt::Key_Return, false},
                           KeyCase{"Escape in edit box", false, Qt::Key_Escape, false}}) {
    SCOPED_TRACE(c.name);
    auto form = shownForm();
    QWidget* target = c.onButton ? static_cast<QWidget*>(form->oButton1) : form->oEdit1;
    target->setFocus();
    QTest::keyClick(target, c.key);
    QApplication::processEvents();
    EXPECT_EQ(form->oLabel1->cText() != "Status", c.runs);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->focusWidget(), target);
  }
}

TEST(MainWindow, ClickBindingNeedsAnExistingMethod) {
  auto form = shownForm();
  gui::TButton button(form.get());
  EXPECT_THROW(button.OnClick("Button3Click"), gui::UnknownMethod);
  EXPECT_NO_THROW(button.OnClick("button2click"));  // names match in any letter case
}

}  // namespace
