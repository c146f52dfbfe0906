// Placeholder: the language table and log writer land with their own change.
#include "rt/errortext.h"

namespace rt {

namespace {
WorkAreaReporter gReporter;
}

Lang languageFromCode(std::string_view) { return Lang::English; }
Lang userLanguage() { return Lang::English; }
std::string_view entry(int, Lang) { return {}; }
std::string fillIn(std::string_view text, const std::vector<std::string>&) { return std::string(text); }
std::string argumentsText(const ErrorObj&, Lang) { return {}; }
std::string errorMessage(const ErrorObj& e, Lang) {
  return e.procName + "(" + std::to_string(e.procLine) + ") \r\nError " + e.subsystem + "/" +
         std::to_string(e.subcode) + "  " + e.description;
}
std::vector<Choice> choicesFor(const ErrorObj& e) {
  std::vector<Choice> c{Choice::Quit};
  if (e.canRetry) c.push_back(Choice::Retry);
  if (e.canDefault) c.push_back(Choice::Ignore);
  return c;
}
void setWorkAreaReporter(WorkAreaReporter reporter) { gReporter = std::move(reporter); }
LogFacts currentLogFacts() { return {}; }
std::string buildErrorLog(const ErrorObj&, Lang, const LogFacts&, const WorkAreaReport&) { return {}; }
PreparedError prepareError(const ErrorObj& e, Lang lang) {
  setExitCode(1);
  return {errorMessage(e, lang), choicesFor(e), false};
}
std::string utf8ToAnsi(std::string_view s) { return std::string(s); }
std::string ansiToUtf8(std::string_view s) { return std::string(s); }

}  // namespace rt
