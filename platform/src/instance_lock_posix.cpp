// The only file of the platform layer that calls the OS for the single-instance lock.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "gui/instance_lock.h"

namespace gui {
namespace {

// The runtime folder is private to the user and lives as long as the login session, which is
// the scope the lock name must have.
std::string lockFolder() {
  if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run) return run;
  std::error_code ec;
  std::filesystem::path tmp = std::filesystem::temp_directory_path(ec);
  if (ec) tmp = "/tmp";
  return (tmp / ("tolvarimsek-" + std::to_string(::getuid()))).string();
}

}  // namespace

NamedLock::NamedLock(std::string name) : path_(lockFolder() + "/" + name + ".lock") {}

NamedLock::~NamedLock() {
  if (fd_ >= 0) ::close(fd_);
}

NamedLock::Result NamedLock::tryAcquire() {
  if (fd_ >= 0) return Result::Granted;
  std::filesystem::path folder = std::filesystem::path(path_).parent_path();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Result::Unavailable;
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const bool busy = errno == EWOULDBLOCK;
    ::close(fd);
    return busy ? Result::HeldElsewhere : Result::Unavailable;
  }
  fd_ = fd;
  return Result::Granted;
}

}  // namespace gui
