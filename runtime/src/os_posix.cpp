// The POSIX implementation of the OS services; the only file of the runtime that calls the OS.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "rt/os.h"

namespace rt::os {

int winCodeFromErrno(int err) {
  switch (err) {
    case 0: return 0;
    case ENOENT: return code::kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG: return code::kPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ENOTEMPTY: return code::kAccessDenied;
    case EWOULDBLOCK: return code::kSharing;
    case EMFILE:
    case ENFILE: return 4;  // too many open files
    case ENOSPC:
    case EDQUOT: return code::kDiskFull;
    case EEXIST: return code::kAlreadyExists;
    case EIO: return 1117;  // I/O device error
    default: return 31;     // general failure
  }
}

namespace {

// ENOENT means "path not found" when the folder part is missing.
int missingCode(const std::string& name) {
  std::size_t slash = name.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return code::kFileNotFound;
  struct stat st {};
  std::string dir = name.substr(0, slash);
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return code::kPathNotFound;
  return code::kFileNotFound;
}

int codeFor(int err, const std::string& name) {
  return err == ENOENT ? missingCode(name) : winCodeFromErrno(err);
}

// Backslashes separate folders in the names the program is given.
std::string native(const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

class PosixFile final : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }

  std::int64_t readAt(std::uint64_t offset, void* buf, std::size_t n) override {
    std::size_t done = 0;
    while (done < n) {
      ssize_t r =
          ::pread(fd_, static_cast<char*>(buf) + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return fail();
      }
      if (r == 0) break;
      done += static_cast<std::size_t>(r);
    }
    return static_cast<std::int64_t>(done);
  }

  std::int64_t writeAt(std::uint64_t offset, const void* buf, std::size_t n) override {
    std::size_t done = 0;
    while (done < n) {
      ssize_t r = ::pwrite(fd_, static_cast<const char*>(buf) + done, n - done,
                           static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return fail();
      }
      done += static_cast<std::size_t>(r);
    }
    return static_cast<std::int64_t>(done);
  }

  std::int64_t size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return fail();
    return static_cast<std::int64_t>(st.st_size);
  }

  bool truncate(std::uint64_t length) override {
    if (::ftruncate(fd_, static_cast<off_t>(length)) == 0) return true;
    fail();
    return false;
  }

  bool commit() override {
    if (::fdatasync(fd_) == 0) return true;
    fail();
    return false;
  }

  int lastError() const override { return lastError_; }

 private:
  int fail() {
    lastError_ = winCodeFromErrno(errno);
    return -1;
  }
  int fd_;
  int lastError_ = 0;
};

// Memory that programs can still get without swapping (the kernel's estimate, which counts
// reclaimable caches); the bare free pages where the kernel gives no estimate.
std::uint64_t availableMemoryKb() {
  if (std::FILE* in = std::fopen("/proc/meminfo", "r")) {
    char line[128];
    unsigned long long kb = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, in))
      found = std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1;
    std::fclose(in);
    if (found) return kb;
  }
  long pages = ::sysconf(_SC_AVPHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 1024;
}

bool wildMatch(const char* pat, const char* str) {
  // Iterative * / ? matcher with one backtrack point.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*str) {
    if (*pat == '?' || *pat == *str) {
      ++pat;
      ++str;
    } else if (*pat == '*') {
      star = pat++;
      resume = str;
    } else if (star) {
      pat = star + 1;
      str = ++resume;
    } else {
      return false;
    }
  }
  while (*pat == '*') ++pat;
  return *pat == 0;
}

class PosixOs final : public Os {
 public:
  std::unique_ptr<File> open(const std::string& name, const OpenMode& mode, int* winCode) override {
    std::string path = native(name);
    int flags = (mode.write ? O_RDWR : O_RDONLY) | O_CLOEXEC | (mode.create ? O_CREAT : 0);
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
      *winCode = codeFor(errno, path);
      return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      *winCode = code::kAccessDenied;
      return nullptr;
    }
    int lock = (mode.share == Share::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    if (::flock(fd, lock) != 0) {
      *winCode = errno == EWOULDBLOCK ? code::kSharing : winCodeFromErrno(errno);
      ::close(fd);
      return nullptr;
    }
    if (mode.truncate && ::ftruncate(fd, 0) != 0) {
      *winCode = winCodeFromErrno(errno);
      ::close(fd);
      return nullptr;
    }
    *winCode = 0;
    return std::make_unique<PosixFile>(fd);
  }

  int remove(const std::string& name) override {
    std::string path = native(name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return codeFor(errno, path);
    if (S_ISDIR(st.st_mode)) return code::kAccessDenied;
    // The read-only attribute: no write bit for the owner. Root ignores permissions, so check
    // the bits ourselves, for the file and for its folder.
    if (!(st.st_mode & S_IWUSR)) return code::kAccessDenied;
    std::size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    struct stat dst {};
    if (::stat(dir.c_str(), &dst) == 0 && !(dst.st_mode & S_IWUSR)) return code::kAccessDenied;
    // A file held under a table lock (by any program, this one included) is not deleted.
    if (S_ISREG(st.st_mode)) {
      int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
      if (fd >= 0) {
        bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        ::close(fd);
        if (busy) return code::kSharing;
      }
    }
    if (::unlink(path.c_str()) != 0) return codeFor(errno, path);
    return 0;
  }

  std::vector<Entry> list(const std::string& dir, const std::string& pattern) override {
    std::vector<Entry> out;
    std::string d = dir.empty() ? "." : native(dir);
    if (pattern.find_first_of("*?") == std::string::npos) {
      // A plain name matches only itself: one stat instead of reading the whole folder.
      struct stat st {};
      if (!pattern.empty() && pattern.find('/') == std::string::npos &&
          ::stat((d + "/" + pattern).c_str(), &st) == 0)
        out.push_back({pattern, S_ISDIR(st.st_mode)});
      return out;
    }
    DIR* h = ::opendir(d.c_str());
    if (!h) return out;
    while (dirent* e = ::readdir(h)) {
      if (!wildMatch(pattern.c_str(), e->d_name)) continue;
      std::string full = d + "/" + e->d_name;
      struct stat st {};
      if (::stat(full.c_str(), &st) != 0) continue;
      out.push_back({e->d_name, S_ISDIR(st.st_mode)});
    }
    ::closedir(h);
    return out;
  }

  std::string tempFileName() override {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tolvXXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd >= 0) ::close(fd);
    return tmpl;
  }

  std::tm localTime() override {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    return tm;
  }

  SystemFacts facts() override {
    SystemFacts f;
    char buf[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    if (n > 0) f.exePath.assign(buf, static_cast<std::size_t>(n));
    if (passwd* pw = ::getpwuid(::geteuid())) f.userName = pw->pw_name;
    if (::gethostname(buf, sizeof buf) == 0) {
      buf[sizeof buf - 1] = 0;
      f.computerName = buf;
    }
    utsname u{};
    if (::uname(&u) == 0) f.osVersion = std::string(u.sysname) + " " + u.release;
    f.freeMemoryKb = availableMemoryKb();
    // The user's language, as the locale variables express it ("es_MX.UTF-8" -> "es").
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* v = std::getenv(var);
      if (v && *v) {
        std::string s(v);
        if (s == "C" || s == "POSIX") break;
        f.language = s.substr(0, s.find_first_of("_.@"));
        break;
      }
    }
    return f;
  }
};

}  // namespace

Os& realOs() {
  static PosixOs real;
  return real;
}

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace rt::os
