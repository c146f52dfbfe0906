// Shared test helpers: a scripted error presenter, a temporary working folder, file bytes.
#pragma once

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "rt/handler.h"

namespace testing_support {

// Answers errors from a script (Quit when the script runs out) and records what it was shown.
class ScriptedPresenter : public rt::ErrorPresenter {
 public:
  explicit ScriptedPresenter(std::deque<rt::Choice> script = {}) : script_(std::move(script)) {}
  rt::Choice present(const rt::ErrorObj& e) override;

  std::deque<rt::Choice> script_;
  std::vector<rt::ErrorObj> shown;
};

// Installs a ScriptedPresenter as the error handler for the scope; restores a clean runtime
// (no break request, exit code 0, no handler) afterwards.
class HandlerScope {
 public:
  explicit HandlerScope(std::deque<rt::Choice> script = {});
  ~HandlerScope();
  ScriptedPresenter presenter;
};

// A fresh temporary folder that becomes the working directory for the scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

std::string readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::string& bytes);

}  // namespace testing_support
