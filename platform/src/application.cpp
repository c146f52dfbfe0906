#include "gui/application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QProxyStyle>

#include "gui/font.h"
#include "gui/form.h"
#include "gui/instance_lock.h"

namespace gui {

TApplication* Application = nullptr;

namespace {

// Qt keeps references to argc and argv for the application's life. The program reads no
// command line, so Qt gets the program name alone.
int gArgc = 1;
char gArg0[] = "tolvarimsek";
char* gArgv[] = {gArg0, nullptr};

std::unique_ptr<NamedLock>& lockSlot() {
  static std::unique_ptr<NamedLock> lock;
  return lock;
}

// The check boxes of the window were laid out for a 13-pixel box with 4 pixels before the
// text; the default style's larger box would cut the end of "Borrar inventario anterior.".
class ClassicMetrics : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    switch (metric) {
      case PM_IndicatorWidth:
      case PM_IndicatorHeight: return 13;
      case PM_CheckBoxLabelSpacing: return 4;
      default: return QProxyStyle::pixelMetric(metric, option, widget);
    }
  }
};

}  // namespace

NamedLock* instanceLock() { return lockSlot().get(); }

TApplication::TApplication() {
  // Positions and sizes are pixels; only fonts follow the screen's DPI.
  qputenv("QT_ENABLE_HIGHDPI_SCALING", QByteArray("0"));
  if (!QCoreApplication::instance()) qt_ = std::make_unique<QApplication>(gArgc, gArgv);
  // Windows go when their forms say so; the last one closing sets lTerminate.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setStyle(new ClassicMetrics);
  directory_ = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + "/").toStdString();
  registerFontFallbacks();
  Application = this;
}

TApplication::~TApplication() {
  End();
  qt_.reset();
}

void TApplication::lSingleInstance(bool on) {
  singleInstance_ = on;
  if (!on) return;
  auto& lock = lockSlot();
  if (lock && lock->held()) return;
  lock = std::make_unique<NamedLock>(title_);
  if (lock->tryAcquire() != NamedLock::Result::HeldElsewhere) return;
  if (OnNewInstance) OnNewInstance(this);
  lTerminate(true);
}

void TApplication::lTerminate(bool on) {
  terminate_ = on;
  if (on) QCoreApplication::exit(0);
}

void TApplication::Run() {
  if (terminate_ || !mainForm_) return;
  QApplication::exec();
}

void TApplication::End() {
  if (ended_) return;
  ended_ = true;
  QCoreApplication::processEvents();
  // Newest first, so that the main window goes last.
  while (!owned_.empty()) delete owned_.back();  // each deletion calls formDeleted()
  if (data_) {
    data_->Destroy();
    data_.reset();
  }
  if (Application == this) Application = nullptr;
}

void TApplication::addForm(TForm* form) {
  if (!mainForm_) mainForm_ = form;
  windows_.push_back(form);
  owned_.push_back(form);
}

void TApplication::formClosed(TForm* form) {
  std::erase(windows_, form);
  if (form == mainForm_) mainForm_ = nullptr;
  if (windows_.empty() || !mainForm_) lTerminate(true);
}

void TApplication::formDeleted(TForm* form) {
  std::erase(owned_, form);
  std::erase(windows_, form);
  if (form == mainForm_) mainForm_ = nullptr;
}

}  // namespace gui
