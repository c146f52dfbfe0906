// tolvarimsek-batch: the two actions of the window for scripts and machines without a display.
//
//   tolvarimsek-batch load [--erase-inventory] [--ignore-errors]
//   tolvarimsek-batch clear-folios FIRST LAST [--ignore-errors]
//
// Works in the current directory with the same code as the window. Prints the status text on
// standard output. An error the handler does not absorb writes "Error.log" as the dialog would,
// prints the dialog's message lines on standard error and answers Quit (exit code 1); with
// --ignore-errors it answers Ignore where the error allows it.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "console.h"
#include "db/workarea.h"
#include "inv/actions.h"
#include "rt/callstack.h"
#include "rt/launcher.h"
#include "rt/workvars.h"

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  tolvarimsek-batch load [--erase-inventory] [--ignore-errors]\n"
    "  tolvarimsek-batch clear-folios FIRST LAST [--ignore-errors]\n"
    "\n"
    "Runs an action of the Tolvarimsek window in the current directory.\n"
    "  load            merge plantilla.csv into inven.dbf (\"Cargar productos\")\n"
    "  clear-folios    set folio to 0 where FIRST <= folio <= LAST (\"Limpiar folios\")\n"
    "  --erase-inventory  start from a new, empty inven.dbf (the check box)\n"
    "  --ignore-errors    answer Ignore to errors that allow it instead of Quit\n"
    "\n"
    "Prints the status text on standard output. Exit code 0, or 1 when an error was shown\n"
    "(see Error.log), 2 for a usage error.\n";

struct Options {
  enum class Action { None, Load, ClearFolios } action = Action::None;
  bool eraseInventory = false;
  bool ignoreErrors = false;
  std::string first, last;
};

// Returns false with a message on standard error for a bad command line.
bool parse(const std::vector<std::string_view>& args, Options& o) {
  std::vector<std::string_view> positional;
  for (std::string_view a : args) {
    if (a == "--erase-inventory") {
      o.eraseInventory = true;
    } else if (a == "--ignore-errors") {
      o.ignoreErrors = true;
    } else if (a.size() > 1 && a[0] == '-' && a.find_first_not_of("0123456789", 1) != a.npos) {
      std::fprintf(stderr, "tolvarimsek-batch: unknown option %.*s\n", static_cast<int>(a.size()),
                   a.data());
      return false;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.empty()) {
    std::fputs("tolvarimsek-batch: no action given\n", stderr);
    return false;
  }
  if (positional[0] == "load" && positional.size() == 1) {
    o.action = Options::Action::Load;
  } else if (positional[0] == "clear-folios" && positional.size() == 3) {
    o.action = Options::Action::ClearFolios;
    o.first = positional[1];
    o.last = positional[2];
  } else if (o.eraseInventory && positional[0] != "load") {
    std::fputs("tolvarimsek-batch: --erase-inventory goes with load\n", stderr);
    return false;
  } else {
    std::fprintf(stderr, "tolvarimsek-batch: bad arguments for %.*s\n",
                 static_cast<int>(positional[0].size()), positional[0].data());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  for (std::string_view a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  Options o;
  if (!parse(args, o)) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  batch::ConsolePresenter presenter(o.ignoreErrors);
  rt::installErrorHandler(presenter);
  batch::StdoutStatus status;
  batch::TerminalProgress progress;

  rt::CallFrame mainFrame("MAIN", 0, "batch_main.cpp");
  try {
    rt::ActionScope scope;
    if (o.action == Options::Action::Load)
      inv::productLoad(o.eraseInventory, status, progress.enabled() ? &progress : nullptr);
    else
      inv::folioClearing(o.first, o.last, status);
  } catch (const rt::Break&) {
    // Quit: no further step; the tables are closed below as at every exit.
  }
  progress.finish();
  db::closeAllAtExit();
  return rt::exitCode();
}
