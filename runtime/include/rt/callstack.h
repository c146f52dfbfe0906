// Call levels: one RAII frame per active procedure, read when an error object is made.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rt {

struct CallLevel {
  std::string module;
  std::string proc;
  int line = 0;
};

// A frame lives on the C++ stack; frames link into a per-thread list, so pushing one costs
// a few stores and no allocation. The strings must outlive the frame.
class CallFrame {
 public:
  explicit CallFrame(std::string_view proc, int line = 0, std::string_view module = {});
  ~CallFrame();
  CallFrame(const CallFrame&) = delete;
  CallFrame& operator=(const CallFrame&) = delete;

  // Marks the step the procedure is at; shown as the level's line number.
  void setLine(int line) { line_ = line; }

  std::string_view proc() const { return proc_; }
  std::string_view module() const { return module_; }
  int line() const { return line_; }
  const CallFrame* outer() const { return outer_; }

 private:
  std::string_view proc_;
  std::string_view module_;
  int line_;
  CallFrame* outer_;
};

// The innermost active frame, or nullptr.
const CallFrame* innermostFrame();
// Every active level, innermost first.
std::vector<CallLevel> activeLevels();

}  // namespace rt
