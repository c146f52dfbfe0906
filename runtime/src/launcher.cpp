#include "rt/launcher.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace rt {
namespace {

constexpr int kMaxNesting = 8;

struct LauncherState {
  ErrorBlock handler;
  int depth = 0;
  bool breakRequested = false;
  int dosError = 0;
  bool netErr = false;
  int exitCode = 0;
  UnrecoverableNotifier notifier;
};

LauncherState& state() {
  static LauncherState s;
  return s;
}

struct DepthGuard {
  DepthGuard() { ++state().depth; }
  ~DepthGuard() { --state().depth; }
};

// Calls the handler with the checks both launch forms share; returns its result.
Value callHandler(ErrorObj& e) {
  LauncherState& s = state();
  if (s.breakRequested) throw Break{};
  if (!s.handler) unrecoverable(9002);
  if (s.depth >= kMaxNesting) unrecoverable(9003);
  s.dosError = e.oscode;
  Value result;
  {
    DepthGuard guard;
    result = s.handler(e);
  }
  if (s.breakRequested) throw Break{};
  return result;
}

}  // namespace

void setErrorBlock(ErrorBlock handler) { state().handler = std::move(handler); }
bool hasErrorBlock() { return static_cast<bool>(state().handler); }

Answer raise(ErrorObj& e) {
  Value r = callHandler(e);
  if (r.isLogical()) {
    if (r.logical() && e.canRetry) {
      ++e.tries;
      return Answer::Retry;
    }
    if (!r.logical() && e.canDefault) return Answer::Default;
  }
  unrecoverable(9001);
}

Value raiseSubstitute(ErrorObj& e) {
  Value r = callHandler(e);
  if (r.isLogical() || !e.canSubstitute) unrecoverable(9001);
  return r;
}

void requestBreak() { state().breakRequested = true; }
bool breakRequested() { return state().breakRequested; }
void resetBreak() { state().breakRequested = false; }

int dosError() { return state().dosError; }
void setDosError(int code) { state().dosError = code; }

bool netErr() { return state().netErr; }
void setNetErr(bool on) { state().netErr = on; }

int exitCode() { return state().exitCode; }
void setExitCode(int code) { state().exitCode = code; }

void setUnrecoverableNotifier(UnrecoverableNotifier n) { state().notifier = std::move(n); }

void unrecoverable(int code) {
  const char* text = code == 9001   ? "Error recovery failure"
                     : code == 9002 ? "No ERRORBLOCK() for error"
                                    : "Too many recursive error handler calls";
  std::string caption = "Unrecoverable error " + std::to_string(code) + ": ";
  if (state().notifier) {
    state().notifier(caption, text);
  } else {
    std::fprintf(stderr, "%s%s\n", caption.c_str(), text);
  }
  std::fflush(nullptr);
  std::_Exit(1);
}

}  // namespace rt
