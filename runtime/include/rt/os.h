// Operating-system services behind one small interface. Failures carry Windows-style codes
// (2 file not found, 3 path not found, 5 access denied, 32 sharing violation, ...), mapped from
// errno in one place (winCodeFromErrno). Tests swap in a FaultOs to inject failures.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace rt::os {

namespace code {
inline constexpr int kFileNotFound = 2, kPathNotFound = 3, kAccessDenied = 5, kSharing = 32,
                     kDiskFull = 112, kAlreadyExists = 183;
}

int winCodeFromErrno(int err);

// How a file is opened. Exclusive and shared are enforced with non-blocking locks between
// programs and between two opens in one process: a conflict fails with code 32.
enum class Share { Exclusive, Shared };
struct OpenMode {
  bool write = true;      // read-write, else read-only
  bool create = false;    // create when missing
  bool truncate = false;  // cut to 0 bytes after the lock was granted
  Share share = Share::Exclusive;
};

class File {
 public:
  virtual ~File() = default;
  // Positioned I/O. Return the number of bytes moved (short at end of file), or -1 with
  // lastError() set.
  virtual std::int64_t readAt(std::uint64_t offset, void* buf, std::size_t n) = 0;
  virtual std::int64_t writeAt(std::uint64_t offset, const void* buf, std::size_t n) = 0;
  virtual std::int64_t size() = 0;  // -1 on failure
  virtual bool truncate(std::uint64_t length) = 0;
  virtual bool commit() = 0;  // flush to disk
  virtual int lastError() const = 0;
};

struct SystemFacts {
  std::string exePath, userName, computerName, osVersion;
  std::uint64_t freeMemoryKb = 0;
  std::string language;  // two-letter ISO 639-1 code of the user's language, lower case ("es")
};

class Os {
 public:
  virtual ~Os() = default;
  // nullptr with *winCode set on failure.
  virtual std::unique_ptr<File> open(const std::string& name, const OpenMode& mode,
                                     int* winCode) = 0;
  // 0 when deleted, else the Windows-style code. A file that a program (this one included) holds
  // open under the table layer's lock is not deleted: 32.
  virtual int remove(const std::string& name) = 0;
  // Entries of `dir` (empty: current directory) whose names match `pattern` (* and ?), each with
  // whether it is a directory.
  struct Entry {
    std::string name;
    bool isDir;
  };
  virtual std::vector<Entry> list(const std::string& dir, const std::string& pattern) = 0;
  // A new, unique temporary file name in the system's temporary folder.
  virtual std::string tempFileName() = 0;
  virtual std::tm localTime() = 0;
  virtual SystemFacts facts() = 0;
};

// Forwards every service to the real ones; a test or benchmark overrides what it needs to count,
// change or break ("disk full", "sharing violation", another user language, ...).
class ForwardingOs : public Os {
 public:
  std::unique_ptr<File> open(const std::string& name, const OpenMode& mode, int* winCode) override;
  int remove(const std::string& name) override;
  std::vector<Entry> list(const std::string& dir, const std::string& pattern) override;
  std::string tempFileName() override;
  std::tm localTime() override;
  SystemFacts facts() override;
};

// The process's services (real POSIX ones unless a test installed others).
Os& os();
// Installs `o` (nullptr restores the real services). The caller keeps ownership.
void setOs(Os* o);
Os& realOs();

// True when standard error goes to a terminal (progress output is shown only then).
bool stderrIsTerminal();

}  // namespace rt::os
