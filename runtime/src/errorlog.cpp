// The log file "Error.log": written for every error shown, replacing the previous one, in
// Windows-1252 with CR LF line ends, so that it reads the same on the machines it is sent to.
#include <algorithm>
#include <cstdio>
#include <string>

#include "rt/errortext.h"
#include "rt/launcher.h"
#include "rt/os.h"

namespace rt {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::size_t kHeadingWidth = 79;
constexpr int kLastLoggedArea = 600;

WorkAreaReporter& reporter() {
  static WorkAreaReporter r;
  return r;
}

std::string& guiVersion() {
  static std::string text = "Tolvarimsek platform 1.0";
  return text;
}

std::string runtimeVersion() {
  return "Tolvarimsek runtime 1.0 (C++ " + std::to_string(__cplusplus) + ")";
}

std::string compilerVersion() {
#if defined(__clang__)
  return "Clang " __clang_version__;
#elif defined(__GNUC__)
  return "GCC " __VERSION__;
#elif defined(_MSC_VER)
  return "MSVC " + std::to_string(_MSC_FULL_VER);
#else
  return "unknown C++ compiler";
#endif
}

// Characters, not bytes: the headings are centred as they appear in the code page.
std::size_t charCount(std::string_view utf8) {
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// The entry centred in 79 characters with `fill`; the odd fill character goes to the right.
std::string heading(std::string_view text, char fill) {
  const std::size_t n = charCount(text);
  const std::size_t pad = n < kHeadingWidth ? kHeadingWidth - n : 0;
  std::string out(pad / 2, fill);
  out += text;
  out.append(pad - pad / 2, fill);
  out += kCrLf;
  return out;
}

std::string twoDigits(int n) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", n % 100);
  return buf;
}

// From the level where the error arose (named by PROCNAME and PROCLINE) out to MAIN; the error
// machinery pushes no levels, so there is nothing to skip.
std::string trace(const ErrorObj& e) {
  const auto& levels = e.aaStack;
  auto from = std::find_if(levels.begin(), levels.end(), [&](const CallLevel& l) {
    return l.proc == e.procName && l.line == e.procLine;
  });
  if (from == levels.end()) from = levels.begin();
  std::string out;
  for (auto it = from; it != levels.end(); ++it) {
    out += "  " + it->proc + " (" + std::to_string(it->line) + ")" + std::string(kCrLf);
    if (it->proc == "MAIN") break;
  }
  return out;
}

}  // namespace

void setWorkAreaReporter(WorkAreaReporter r) { reporter() = std::move(r); }

void setGuiVersionText(std::string text) { guiVersion() = std::move(text); }
std::string guiVersionText() { return guiVersion(); }

LogFacts currentLogFacts() {
  const os::SystemFacts sys = os::os().facts();
  const std::tm now = os::os().localTime();
  LogFacts f;
  f.exePath = sys.exePath;
  f.userName = sys.userName;
  f.computerName = sys.computerName;
  f.date = twoDigits(now.tm_mon + 1) + "/" + twoDigits(now.tm_mday) + "/" + twoDigits(now.tm_year);
  f.time = twoDigits(now.tm_hour) + ":" + twoDigits(now.tm_min) + ":" + twoDigits(now.tm_sec);
  f.freeMemoryKb = sys.freeMemoryKb;
  f.guiVersion = guiVersion();
  f.runtimeVersion = runtimeVersion();
  f.compiler = compilerVersion();
  f.platform = sys.osVersion;
  return f;
}

std::string buildErrorLog(const ErrorObj& e, Lang lang, const LogFacts& facts,
                          const WorkAreaReport& report) {
  const std::string crlf(kCrLf);
  std::string out = heading(entry(32807, lang), '*') + crlf;
  out += "             Exe: " + facts.exePath + crlf;
  out += "         Version: " + facts.version + crlf;
  out += "       User name: " + facts.userName + crlf;
  out += "   Computer name: " + facts.computerName + crlf;
  out += fillIn(entry(32808, lang), {facts.date, facts.time, std::to_string(facts.freeMemoryKb),
                                     std::to_string(report.currentArea)});
  out += crlf;

  out += heading(entry(32809, lang), '-') + crlf;
  out += fillIn(entry(32810, lang),
                {facts.guiVersion, facts.runtimeVersion, facts.compiler, facts.platform});
  out += crlf;

  out += heading(entry(32811, lang), '-') + crlf;
  out += fillIn(entry(32812, lang), {e.subsystem, std::to_string(e.subcode),
                                     e.canDefault ? ".T." : ".F.", e.description, e.operation,
                                     argumentsText(e, lang), e.filename, std::to_string(e.oscode)});
  out += trace(e);
  out += crlf;

  std::vector<WorkAreaLine> areas;
  for (const WorkAreaLine& a : report.areas)
    if (a.area >= 1 && a.area <= kLastLoggedArea) areas.push_back(a);
  if (areas.empty()) return out;
  std::stable_sort(areas.begin(), areas.end(),
                   [](const WorkAreaLine& a, const WorkAreaLine& b) { return a.area < b.area; });
  out += heading(entry(32813, lang), '-');
  for (const WorkAreaLine& a : areas) {
    out += crlf;
    out += fillIn(entry(32814, lang), {std::to_string(a.area), a.alias, std::to_string(a.recno),
                                       a.filter, a.relation, std::to_string(a.order), a.key});
  }
  return out;
}

PreparedError prepareError(const ErrorObj& e, Lang lang) {
  // Set first: the run counts as failed even when nothing below succeeds.
  setExitCode(1);
  PreparedError p{errorMessage(e, lang), choicesFor(e), false};
  const WorkAreaReport areas = reporter() ? reporter()() : WorkAreaReport{};
  const std::string bytes = utf8ToAnsi(buildErrorLog(e, lang, currentLogFacts(), areas));
  int code = 0;
  os::OpenMode mode;
  mode.create = true;
  mode.truncate = true;
  if (auto file = os::os().open("Error.log", mode, &code))
    p.logWritten =
        file->writeAt(0, bytes.data(), bytes.size()) == static_cast<std::int64_t>(bytes.size());
  return p;
}

}  // namespace rt
