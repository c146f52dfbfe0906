#include "rt/files.h"

#include <string>

#include "rt/os.h"

namespace rt {
namespace {
int gFError = 0;

bool isSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }
}  // namespace

bool FILE(std::string_view name) {
  gFError = 0;
  if (name.empty() || name.size() >= 264 || name.back() == '\\' || name.back() == '/') return false;
  std::size_t cut = name.size();
  while (cut > 0 && !isSeparator(name[cut - 1])) --cut;
  std::string dir(name.substr(0, cut));
  std::string pattern(name.substr(cut));
  if (pattern.empty()) return false;
  for (const os::Os::Entry& entry : os::os().list(dir, pattern))
    if (!entry.isDir) return true;
  return false;
}

int FERASE(std::string_view name) {
  int code = os::os().remove(std::string(name));
  if (code == 0) return 0;
  gFError = code == os::code::kAlreadyExists ? os::code::kAccessDenied : code;
  return -1;
}

int FERROR() { return gFError; }

}  // namespace rt
