// The application object: title, single-instance start, the list of windows, the message loop
// and the end of the run. One per process, reachable through `Application`.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/component.h"

class QApplication;

namespace gui {

class NamedLock;
class TForm;

class TApplication {
 public:
  // Creates the Qt application (it sees no command-line arguments), stores itself in
  // `Application`, records the executable's folder and registers the font stand-ins.
  TApplication();
  ~TApplication();  // ends the application if End() was not called
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // The title names the single-instance lock and captions the message boxes.
  const std::string& cTitle() const { return title_; }
  void cTitle(std::string title) { title_ = std::move(title); }

  // Setting true runs the single-instance check at once. When another process holds the lock
  // named after the title, OnNewInstance is raised and lTerminate is set: this copy must end.
  // A lock that cannot be taken for any other reason lets the process run as a first copy.
  bool lSingleInstance() const { return singleInstance_; }
  void lSingleInstance(bool on);
  std::function<void(TApplication*)> OnNewInstance;

  // The main window: the first form created.
  TForm* oMainForm() const { return mainForm_; }
  // Set when the last window is gone (or the program must end); stops the message loop.
  bool lTerminate() const { return terminate_; }
  void lTerminate(bool on);
  // Folder of the executable, ending in a separator.
  const std::string& cDirectory() const { return directory_; }

  // The message loop: returns when the main window is gone or lTerminate is set.
  void Run();
  // Handles pending window messages, destroys every window, ends the data holder.
  void End();

  // The application data holder, ended (Destroy) and deleted by End().
  void adoptData(std::unique_ptr<TComponent> holder) { data_ = std::move(holder); }

  // Called by forms: created, closed by the user (the window is gone), deleted.
  void addForm(TForm* form);
  void formClosed(TForm* form);
  void formDeleted(TForm* form);

 private:
  std::unique_ptr<QApplication> qt_;
  std::string title_;
  bool singleInstance_ = false;
  bool terminate_ = false;
  bool ended_ = false;
  std::string directory_;
  TForm* mainForm_ = nullptr;
  std::vector<TForm*> windows_;  // forms whose window exists
  std::vector<TForm*> owned_;    // every form not yet deleted; End() deletes them
  std::unique_ptr<TComponent> data_;
};

// The process's application object (nullptr before it exists and after End()).
extern TApplication* Application;

// The single-instance lock of this process, held from the check until the process ends.
NamedLock* instanceLock();

}  // namespace gui
