// Shared test helpers: a scripted error presenter, a temporary working folder, file bytes.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rt/handler.h"
#include "rt/os.h"

namespace testing_support {

// Answers errors from a script (Quit when the script runs out) and records what it was shown.
class ScriptedPresenter : public rt::ErrorPresenter {
 public:
  explicit ScriptedPresenter(std::deque<rt::Choice> script = {}) : script_(std::move(script)) {}
  rt::Choice present(const rt::ErrorObj& e) override;

  std::deque<rt::Choice> script_;
  std::vector<rt::ErrorObj> shown;
  // Runs before each answer (e.g. to make a missing file appear before a Retry).
  std::function<void(const rt::ErrorObj&)> onPresent;
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

// Real services with the user's language replaced ("es", "ja", ...).
class LanguageOs : public rt::os::ForwardingOs {
 public:
  explicit LanguageOs(std::string language) : language_(std::move(language)) {}
  rt::os::SystemFacts facts() override {
    rt::os::SystemFacts f = ForwardingOs::facts();
    f.language = language_;
    return f;
  }

 private:
  std::string language_;
};

// Installs `os` for the scope.
class OsScope {
 public:
  explicit OsScope(rt::os::Os& os) { rt::os::setOs(&os); }
  ~OsScope() { rt::os::setOs(nullptr); }
};

// The lines of a text whose lines end in CR LF (the part after the last CR LF comes last).
std::vector<std::string> splitCrLf(const std::string& text);

std::string readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::string& bytes);

}  // namespace testing_support
