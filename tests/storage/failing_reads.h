// An OS layer that makes reads fail on demand, for the read-error paths.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "rt/os.h"
#include "testing.h"

namespace storage_test {

// Forwards to the real services but makes the next `failures` reads at or after `fromOffset`
// fail with code 1117 (I/O device error).
class FailingReads final : public rt::os::ForwardingOs {
 public:
  int failures = 0;
  std::uint64_t fromOffset = 0;

  std::unique_ptr<rt::os::File> open(const std::string& name, const rt::os::OpenMode& mode,
                                     int* winCode) override {
    auto f = rt::os::realOs().open(name, mode, winCode);
    return f ? std::make_unique<File>(std::move(f), *this) : nullptr;
  }

 private:
  class File final : public rt::os::File {
   public:
    File(std::unique_ptr<rt::os::File> f, FailingReads& os) : f_(std::move(f)), os_(os) {}
    std::int64_t readAt(std::uint64_t o, void* b, std::size_t n) override {
      if (os_.failures > 0 && o >= os_.fromOffset) {
        --os_.failures;
        return -1;
      }
      return f_->readAt(o, b, n);
    }
    std::int64_t writeAt(std::uint64_t o, const void* b, std::size_t n) override {
      return f_->writeAt(o, b, n);
    }
    std::int64_t size() override { return f_->size(); }
    bool truncate(std::uint64_t l) override { return f_->truncate(l); }
    bool commit() override { return f_->commit(); }
    int lastError() const override { return 1117; }

   private:
    std::unique_ptr<rt::os::File> f_;
    FailingReads& os_;
  };
};

using testing_support::OsScope;

}  // namespace storage_test
