// A system-wide named lock that the system releases when the holding process ends, however it
// ends. It stands in for a named mutex: one lock file per name in the user's runtime folder
// ($XDG_RUNTIME_DIR, else the temporary folder with the user id added), locked with flock().
#pragma once

#include <string>

namespace gui {

class NamedLock {
 public:
  explicit NamedLock(std::string name);
  ~NamedLock();  // releases the lock if held
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;

  enum class Result { Granted, HeldElsewhere, Unavailable };
  // Tries to take the lock without waiting. Unavailable: the lock file cannot be made at all.
  Result tryAcquire();
  bool held() const { return fd_ >= 0; }
  // The file behind the name.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace gui
