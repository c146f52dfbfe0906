// The batch command's stand-ins for the window: status on stdout, errors and progress on stderr.
#pragma once

#include <chrono>
#include <cstdint>

#include "inv/actions.h"
#include "rt/handler.h"

namespace batch {

// Writes "Error.log" as the dialog would, prints the message lines on standard error and answers
// Quit, or Ignore where the error allows it when `ignoreErrors` is set.
class ConsolePresenter : public rt::ErrorPresenter {
 public:
  explicit ConsolePresenter(bool ignoreErrors) : ignoreErrors_(ignoreErrors) {}
  rt::Choice present(const rt::ErrorObj& e) override;

 private:
  bool ignoreErrors_;
};

class StdoutStatus : public inv::StatusSink {
 public:
  void setStatus(const std::string& text) override;
};

// Rows done, redrawn on one line of standard error at most a few times a second; only when
// standard error is a terminal.
class TerminalProgress : public inv::Progress {
 public:
  TerminalProgress();
  bool enabled() const { return enabled_; }
  void rows(std::uint64_t done, std::uint64_t total) override;
  void finish();

 private:
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace batch
