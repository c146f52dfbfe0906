#include "rt/os.h"

namespace rt::os {
namespace {
Os* gCurrent = nullptr;
}

Os& os() { return gCurrent ? *gCurrent : realOs(); }
void setOs(Os* o) { gCurrent = o; }

std::unique_ptr<File> ForwardingOs::open(const std::string& name, const OpenMode& mode,
                                         int* winCode) {
  return realOs().open(name, mode, winCode);
}
int ForwardingOs::remove(const std::string& name) { return realOs().remove(name); }
std::vector<Os::Entry> ForwardingOs::list(const std::string& dir, const std::string& pattern) {
  return realOs().list(dir, pattern);
}
std::string ForwardingOs::tempFileName() { return realOs().tempFileName(); }
std::tm ForwardingOs::localTime() { return realOs().localTime(); }
SystemFacts ForwardingOs::facts() { return realOs().facts(); }

}  // namespace rt::os
