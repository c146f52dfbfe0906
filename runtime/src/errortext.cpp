// The message the error dialog shows (and the batch command prints): three or four lines in the
// user's language.
#include "rt/errortext.h"

#include <string>

#include "rt/os.h"

namespace rt {

Lang userLanguage() { return languageFromCode(os::os().facts().language); }

std::string fillIn(std::string_view text, const std::vector<std::string>& values) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      const auto n = static_cast<std::size_t>(text[i + 1] - '1');
      if (n < values.size()) {
        out += values[n];
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

std::string argumentsText(const ErrorObj& e, Lang lang) {
  std::string out;
  int position = 0;
  for (const Value& arg : e.args) {
    ++position;
    std::string pos = std::to_string(position);
    if (pos.size() < 2) pos.insert(0, 2 - pos.size(), ' ');
    out += ' ';
    out += fillIn(entry(32806, lang), {pos, std::string(1, arg.typeLetter()), arg.toText()});
  }
  return out;
}

std::string errorLine(const ErrorObj& e, Lang lang) {
  std::string out(entry(e.severity > 1 ? 32804 : 32805, lang));
  out += ' ';
  out += e.subsystem;
  out += '/';
  out += std::to_string(e.subcode);
  out += "  ";
  out += e.description;
  if (!e.filename.empty()) {
    out += ": ";
    out += e.filename;
  } else if (!e.operation.empty()) {
    out += ": ";
    out += e.operation;
  }
  return out;
}

std::string errorMessage(const ErrorObj& e, Lang lang) {
  std::string out = e.procName + "(" + std::to_string(e.procLine) + ") \r\n";
  out += errorLine(e, lang);
  out += "\r\n";
  out += fillIn(entry(32798, lang), {argumentsText(e, lang)});
  if (e.oscode != 0) {
    out += "\r\n";
    out += fillIn(entry(32799, lang), {std::to_string(e.oscode)});
  }
  return out;
}

std::string fallbackText(const ErrorObj& nested, Lang lang) {
  return fillIn(entry(32797, lang), {errorLine(nested, lang), std::to_string(nested.procLine)});
}

std::vector<Choice> choicesFor(const ErrorObj& e) {
  std::vector<Choice> c{Choice::Quit};
  if (e.canRetry) c.push_back(Choice::Retry);
  if (e.canDefault) c.push_back(Choice::Ignore);
  return c;
}

}  // namespace rt
