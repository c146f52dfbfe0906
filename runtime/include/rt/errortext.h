// What an error looks like to the user: the language table, the message lines, the choices and
// the log file "Error.log". Used by the error dialog and by the batch command alike.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "rt/error.h"
#include "rt/handler.h"

namespace rt {

enum class Lang {
  Catalan,
  German,
  English,
  Spanish,
  French,
  Italian,
  Portuguese,
  Basque,
  Galician
};

// "es", "es_MX", "ES" -> Spanish; a language the table lacks -> English.
Lang languageFromCode(std::string_view code);
// The user's language (from the OS services), English when the table lacks it.
Lang userLanguage();

// Entry 32796..32814 of the language table, as UTF-8.
std::string_view entry(int number, Lang lang);
// Replaces "%1".."%9" by values[0..]; a "%d" beyond the values stays as it is.
std::string fillIn(std::string_view text, const std::vector<std::string>& values);

// The arguments text: for each argument " [ n] = Type: X Val: ..." (entry 32806).
std::string argumentsText(const ErrorObj& e, Lang lang);
// The error line alone: "Error DBFNTX/1001  Open error: inven.dbf".
std::string errorLine(const ErrorObj& e, Lang lang);
// The three or four message lines joined by "\r\n" (no "\r\n" after the last one).
std::string errorMessage(const ErrorObj& e, Lang lang);
// The text of the plain box shown when showing an error fails in turn (entry 32797): the nested
// error's error line and the line at which it arose.
std::string fallbackText(const ErrorObj& nested, Lang lang);
// Quit always, first; Retry when the object allows retry; Ignore when it allows default.
std::vector<Choice> choicesFor(const ErrorObj& e);

// One open work area as the log lists it.
struct WorkAreaLine {
  int area = 0;
  std::string alias;
  std::int64_t recno = 0;
  std::string filter, relation;
  int order = 0;
  std::string key;
};
// The table layer reports the current area number and the areas 1..600 that hold a table.
struct WorkAreaReport {
  int currentArea = 1;
  std::vector<WorkAreaLine> areas;
};
using WorkAreaReporter = std::function<WorkAreaReport()>;
void setWorkAreaReporter(WorkAreaReporter reporter);

// The variable facts of a log (so that tests can fix them).
struct LogFacts {
  std::string exePath, version = "1.0.0.0", userName, computerName;
  std::string date, time;  // "mm/dd/yy", "hh:mm:ss"
  std::uint64_t freeMemoryKb = 0;
  std::string guiVersion, runtimeVersion, compiler, platform;
};
LogFacts currentLogFacts();

// The platform's version text in the log. The runtime knows no toolkit, so the window program
// sets its own (with the toolkit's version); until then it is "Tolvarimsek platform 1.0".
void setGuiVersionText(std::string text);
std::string guiVersionText();

// The text of "Error.log" (UTF-8, lines ended by "\r\n").
std::string buildErrorLog(const ErrorObj& e, Lang lang, const LogFacts& facts,
                          const WorkAreaReport& areas);

// Everything a presenter does before it shows the error: builds the message and the choices,
// writes "Error.log" in the working directory (in the Windows-1252 code page; skipped without a
// message when it cannot be created) and sets the exit code to 1.
struct PreparedError {
  std::string message;          // UTF-8
  std::vector<Choice> choices;  // in button order
  bool logWritten = false;
};
PreparedError prepareError(const ErrorObj& e, Lang lang);

// Windows-1252 <-> UTF-8 for the log file. A character that Windows-1252 lacks becomes "?"; a
// byte that is not part of valid UTF-8 (raw table data in an argument) is kept as it is.
std::string utf8ToAnsi(std::string_view utf8);
std::string ansiToUtf8(std::string_view ansi);

}  // namespace rt
