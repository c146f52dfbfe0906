// Raising runtime errors: the launcher, the installed handler and the process exit code.
//
// An operation that fails builds an ErrorObj and calls raise(). The answer is Retry (do the step
// again, raising again with the same object if it fails) or Default (give the step up and return
// failure). A break is not returned: raise() throws Break, which unwinds every caller up to the
// action's dispatcher (see ActionScope). No further step of the action runs.
#pragma once

#include <functional>
#include <string>

#include "rt/error.h"

namespace rt {

enum class Answer { Retry, Default };

// Thrown when the handler answers break (the user chose Quit). Not derived from std::exception so
// that nothing catches it by accident.
struct Break {};

// The error handler: true = retry, false = default; any other value is a substitute result.
// A handler asks for break by calling requestBreak() before it returns.
using ErrorBlock = std::function<Value(ErrorObj&)>;

void setErrorBlock(ErrorBlock handler);  // an empty function uninstalls it
bool hasErrorBlock();

// Raises `e`. Returns Retry or Default (TRIES counts retries); throws Break. A result the object
// does not allow ends the process through the unrecoverable-error path.
Answer raise(ErrorObj& e);
// For objects that allow a substitute: the handler's result replaces the operation's result.
Value raiseSubstitute(ErrorObj& e);

// Break / quit under way: every later raise answers break at once.
void requestBreak();
bool breakRequested();
// Clears the break request (used by tests that run many programs in one process).
void resetBreak();

// The last operating-system error code reported to the runtime (DOSERROR).
int dosError();
void setDosError(int code);

// Network-error indicator (NETERR).
bool netErr();
void setNetErr(bool on);

// Process exit code: 0 at start, 1 once an error was presented.
int exitCode();
void setExitCode(int code);

// Unrecoverable errors of the mechanism itself: 9001 result not allowed, 9002 no handler,
// 9003 too many nested launches. Shows "Unrecoverable error <n>: " with the text through the
// installed notifier (stderr when none) and exits with code 1.
[[noreturn]] void unrecoverable(int code);
using UnrecoverableNotifier =
    std::function<void(const std::string& caption, const std::string& text)>;
void setUnrecoverableNotifier(UnrecoverableNotifier n);

}  // namespace rt
