#include "console.h"

#include <cstdio>
#include <string>

#include "rt/errortext.h"
#include "rt/os.h"

namespace batch {

rt::Choice ConsolePresenter::present(const rt::ErrorObj& e) {
  rt::PreparedError p = rt::prepareError(e, rt::userLanguage());
  std::string lines;
  for (char c : p.message)
    if (c != '\r') lines += c;  // CR LF ends a line on the console as LF
  std::fprintf(stderr, "%s\n", lines.c_str());
  if (ignoreErrors_ && e.canDefault) {
    std::fputs("(ignored)\n", stderr);
    return rt::Choice::Ignore;
  }
  return rt::Choice::Quit;
}

void StdoutStatus::setStatus(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

TerminalProgress::TerminalProgress() : enabled_(rt::os::stderrIsTerminal()) {}

void TerminalProgress::rows(std::uint64_t done, std::uint64_t total) {
  auto now = std::chrono::steady_clock::now();
  if (shown_ && done != total && now - last_ < std::chrono::milliseconds(200)) return;
  last_ = now;
  shown_ = true;
  std::fprintf(stderr, "\r%llu / %llu rows", static_cast<unsigned long long>(done),
               static_cast<unsigned long long>(total));
  std::fflush(stderr);
}

void TerminalProgress::finish() {
  if (shown_) std::fputc('\n', stderr);
}

}  // namespace batch
