// The text-file reader on its own: its line rules against a model, its open and read errors.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "db/sdf_file.h"
#include "rt/launcher.h"
#include "testing.h"

namespace {

using testing_support::HandlerScope;
using testing_support::TempDir;
using testing_support::writeFile;

// The images the reader yields from the first line to the end.
std::vector<std::string> collect(const std::string& name, std::size_t recLen, db::SdfOptions o) {
  std::unique_ptr<db::SdfFile> f = db::SdfFile::open(name, recLen, o);
  std::vector<std::string> out;
  if (!f) return out;
  for (std::uint64_t expectNo = 1; !f->eof(); ++expectNo) {
    EXPECT_EQ(f->recNo(), expectNo);
    EXPECT_EQ(f->record()[0], ' ');
    out.emplace_back(f->image());
    f->skip();
  }
  EXPECT_EQ(f->recNo(), out.size() + 1);
  EXPECT_EQ(f->image(), std::string(recLen, ' '));
  return out;
}

// What the rules amount to: drop a final 0x1A, split at every CR LF, no part after the last
// terminator; each line cut or blank-filled to the record length.
std::vector<std::string> model(std::string bytes, std::size_t recLen) {
  if (!bytes.empty() && bytes.back() == '\x1A') bytes.pop_back();
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t p = bytes.find("\r\n", start);
    std::string line = bytes.substr(start, p == std::string::npos ? std::string::npos : p - start);
    line.resize(recLen, ' ');
    out.push_back(line);
    if (p == std::string::npos) break;
    start = p + 2;
  }
  return out;
}

// Random files made of the bytes that matter (CR, LF, 0x1A, NUL) and letters, read with small
// records so that lines cross windows often, straight and through read-ahead blocks of awkward
// sizes.
TEST(SdfFile, MatchesTheModelOnRandomFiles) {
  HandlerScope handler;
  TempDir dir;
  std::mt19937 rng(20240611);
  const char alphabet[] = {'a', 'b', '\r', '\n', '\x1A', '\0'};
  for (int round = 0; round < 3000; ++round) {
    std::size_t len = rng() % 40;
    std::string bytes;
    for (std::size_t i = 0; i < len; ++i) bytes += alphabet[rng() % sizeof alphabet];
    if (rng() % 4 == 0) bytes += "\r\n";
    writeFile("r.txt", bytes);
    std::size_t recLen = 1 + rng() % 6;
    std::size_t window = recLen + 4;
    for (std::size_t ahead : {std::size_t{0}, window, window + 1, std::size_t{13}}) {
      ASSERT_EQ(collect("r.txt", recLen, {ahead}), model(bytes, recLen))
          << "record length " << recLen << ", read-ahead " << ahead << ", file "
          << testing::PrintToString(bytes);
    }
  }
}

TEST(SdfFile, WindowIsRecordLengthPlusFour) {
  HandlerScope handler;
  TempDir dir;
  writeFile("t.txt", "");
  EXPECT_EQ(db::SdfFile::open("t.txt", 424)->window(), 428u);
}

TEST(SdfFile, DefaultExtensionOnlyWhenTheNameHasNone) {
  EXPECT_EQ(db::SdfFile::withDefaultExtension("plantilla"), "plantilla.txt");
  EXPECT_EQ(db::SdfFile::withDefaultExtension("plantilla.csv"), "plantilla.csv");
  EXPECT_EQ(db::SdfFile::withDefaultExtension("name."), "name.");
  EXPECT_EQ(db::SdfFile::withDefaultExtension("dir.d/plantilla"), "dir.d/plantilla.txt");
  EXPECT_EQ(db::SdfFile::withDefaultExtension("dir.d\\plantilla"), "dir.d\\plantilla.txt");
}

TEST(SdfFile, GoTopReadsAgainFromTheStart) {
  HandlerScope handler;
  TempDir dir;
  writeFile("t.txt", "A1\r\nB2\r\n");
  std::unique_ptr<db::SdfFile> f = db::SdfFile::open("t", 3, {64});
  f->skip();
  f->skip();
  ASSERT_TRUE(f->eof());
  writeFile("t.txt", "C3\r\n");
  f->goTop();
  EXPECT_EQ(f->image(), "C3 ");
  EXPECT_EQ(f->recNo(), 1u);
}

TEST(SdfFile, MissingFileRaisesOpenErrorAndRetriesWithTheSameObject) {
  TempDir dir;
  std::vector<const rt::ErrorObj*> seen;
  std::vector<int> tries;
  rt::ErrorObj last;
  rt::setErrorBlock([&](rt::ErrorObj& e) -> rt::Value {
    seen.push_back(&e);
    tries.push_back(e.tries);
    last = e;
    if (seen.size() == 2) writeFile("late.txt", "X\r\n");  // there for the second retry
    return true;
  });
  std::unique_ptr<db::SdfFile> f = db::SdfFile::open("late", 1);
  rt::setErrorBlock({});
  ASSERT_TRUE(f);
  EXPECT_EQ(f->image(), "X");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(tries, (std::vector<int>{0, 1}));
  EXPECT_EQ(last.subsystem, "SDF");
  EXPECT_EQ(last.gencode, 21);
  EXPECT_EQ(last.description, "Open error");
  EXPECT_EQ(last.subcode, 1001);
  EXPECT_EQ(last.oscode, 2);
  EXPECT_EQ(last.filename, "late.txt");
  EXPECT_EQ(last.severity, 2);
  EXPECT_TRUE(last.canRetry);
  EXPECT_TRUE(last.canDefault);
}

TEST(SdfFile, FileHeldExclusivelyElsewhereIsAbsorbedSilently) {
  HandlerScope handler;  // nothing scripted: a presented error would answer Quit
  TempDir dir;
  writeFile("held.txt", "A\r\n");
  int code = 0;
  std::unique_ptr<rt::os::File> holder =
      rt::os::os().open("held.txt", {.write = true, .share = rt::os::Share::Exclusive}, &code);
  ASSERT_TRUE(holder);
  rt::setNetErr(false);
  EXPECT_EQ(db::SdfFile::open("held.txt", 4), nullptr);
  EXPECT_TRUE(handler.presenter.shown.empty());
  EXPECT_EQ(rt::dosError(), 32);
  EXPECT_TRUE(rt::netErr());
}

TEST(SdfFile, SharedOpenLeavesOtherReadersIn) {
  HandlerScope handler;
  TempDir dir;
  writeFile("t.txt", "A\r\n");
  std::unique_ptr<db::SdfFile> f = db::SdfFile::open("t.txt", 1);
  ASSERT_TRUE(f);
  int code = 0;
  EXPECT_TRUE(rt::os::os().open("t.txt", {.write = false, .share = rt::os::Share::Shared}, &code));
  EXPECT_FALSE(
      rt::os::os().open("t.txt", {.write = true, .share = rt::os::Share::Exclusive}, &code));
  EXPECT_EQ(code, 32);
}

// Forwards to the real services but makes the next `failures` reads of every file fail with
// code 1117 (I/O device error).
class FailingReads final : public rt::os::Os {
 public:
  int failures = 0;

  std::unique_ptr<rt::os::File> open(const std::string& name, const rt::os::OpenMode& mode,
                                     int* winCode) override {
    auto f = rt::os::realOs().open(name, mode, winCode);
    return f ? std::make_unique<File>(std::move(f), failures) : nullptr;
  }
  int remove(const std::string& name) override { return rt::os::realOs().remove(name); }
  std::vector<Entry> list(const std::string& d, const std::string& p) override {
    return rt::os::realOs().list(d, p);
  }
  std::string tempFileName() override { return rt::os::realOs().tempFileName(); }
  std::tm localTime() override { return rt::os::realOs().localTime(); }
  rt::os::SystemFacts facts() override { return rt::os::realOs().facts(); }

 private:
  class File final : public rt::os::File {
   public:
    File(std::unique_ptr<rt::os::File> f, int& failures) : f_(std::move(f)), failures_(failures) {}
    std::int64_t readAt(std::uint64_t o, void* b, std::size_t n) override {
      if (failures_ > 0) {
        --failures_;
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
    int& failures_;
  };
};

struct OsScope {
  explicit OsScope(rt::os::Os& o) { rt::os::setOs(&o); }
  ~OsScope() { rt::os::setOs(nullptr); }
};

TEST(SdfFile, FailingReadIsAnErrorNotTheEndOfTheFile) {
  TempDir dir;
  writeFile("t.txt", "A\r\nB\r\n");
  FailingReads fs;
  OsScope scope(fs);
  {
    HandlerScope handler({rt::Choice::Retry});
    fs.failures = 1;
    std::unique_ptr<db::SdfFile> f = db::SdfFile::open("t.txt", 1);
    ASSERT_EQ(handler.presenter.shown.size(), 1u);
    const rt::ErrorObj& e = handler.presenter.shown[0];
    EXPECT_EQ(e.subsystem, "SDF");
    EXPECT_EQ(e.gencode, 23);
    EXPECT_EQ(e.subcode, 1010);
    EXPECT_EQ(e.filename, "t.txt");
    EXPECT_EQ(e.oscode, 1117);
    EXPECT_EQ(f->image(), "A");
    EXPECT_FALSE(f->readFailed());
  }
  {
    HandlerScope handler({rt::Choice::Ignore});
    std::unique_ptr<db::SdfFile> f = db::SdfFile::open("t.txt", 1);
    fs.failures = 1;
    f->skip();
    EXPECT_TRUE(f->eof());
    EXPECT_TRUE(f->readFailed());
  }
}

}  // namespace
