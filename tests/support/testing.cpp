#include "testing.h"

#include <fstream>
#include <iterator>
#include <random>

#include "rt/launcher.h"

namespace testing_support {

rt::Choice ScriptedPresenter::present(const rt::ErrorObj& e) {
  shown.push_back(e);
  if (onPresent) onPresent(e);
  if (script_.empty()) return rt::Choice::Quit;
  rt::Choice c = script_.front();
  script_.pop_front();
  return c;
}

HandlerScope::HandlerScope(std::deque<rt::Choice> script) : presenter(std::move(script)) {
  rt::resetBreak();
  rt::setExitCode(0);
  rt::installErrorHandler(presenter);
}

HandlerScope::~HandlerScope() {
  rt::setErrorBlock({});
  rt::resetBreak();
  rt::setExitCode(0);
}

TempDir::TempDir() : previous_(std::filesystem::current_path()) {
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() /
          ("tolv-test-" + std::to_string(rd()) + std::to_string(rd()));
  std::filesystem::create_directories(path_);
  std::filesystem::current_path(path_);
}

TempDir::~TempDir() {
  std::filesystem::current_path(previous_);
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> splitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2)
    lines.push_back(text.substr(from, at - from));
  lines.push_back(text.substr(from));
  return lines;
}

std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testing_support
