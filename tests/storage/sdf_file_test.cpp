// The text-file reader on its own: its line rules against a model, its open and read errors.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "db/sdf_file.h"
#include "failing_reads.h"
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
  for (int round = 0; round < 1500; ++round) {
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

TEST(SdfFile, FailingReadIsAnErrorNotTheEndOfTheFile) {
  TempDir dir;
  writeFile("t.txt", "A\r\nB\r\n");
  storage_test::FailingReads fs;
  storage_test::OsScope scope(fs);
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
