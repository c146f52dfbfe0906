// The key index's failures: the errors it raises, what it leaves behind, and corrupt files that
// must be reported, never followed into a crash or an endless loop.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "db/index_file.h"
#include "index_support.h"
#include "rt/launcher.h"
#include "testing.h"

using db::IndexCursor;
using db::IndexFile;
using index_support::FaultOs;
using index_support::pad;
using rt::Choice;
using testing_support::HandlerScope;

namespace {

constexpr unsigned kKey = 40;

std::vector<std::string> codes(int n) {
  std::vector<std::string> v;
  for (int i = 1; i <= n; ++i) v.push_back(pad("k" + std::to_string(100 + i), kKey));
  return v;
}

std::unique_ptr<IndexFile> build(std::vector<std::string> keys, std::size_t runSize = 0) {
  db::IndexDef def;
  def.fileName = "inven.ntx";
  def.keyExpr = "codigo";
  def.keyLength = kKey;
  index_support::VectorKeys source(std::move(keys), kKey);
  db::IndexOptions options;
  options.runSize = runSize;
  return IndexFile::create(def, source, options);
}

void expectError(const rt::ErrorObj& e, int gencode, int subcode, const std::string& file,
                 int osCode) {
  EXPECT_EQ(e.subsystem, "DBFNTX");
  EXPECT_EQ(e.gencode, gencode);
  EXPECT_EQ(e.subcode, subcode);
  EXPECT_EQ(e.description, rt::genCodeText(gencode));
  EXPECT_EQ(e.filename, file);
  EXPECT_EQ(e.oscode, osCode);
  EXPECT_EQ(e.severity, 2);
}

class IndexErrorsTest : public ::testing::Test {
 protected:
  testing_support::TempDir dir;
  FaultOs fos;
  index_support::OsScope os{fos};
};

TEST_F(IndexErrorsTest, CreateErrorIsRetriedAsLongAsTheHandlerAsks) {
  int refusals = 2;
  fos.failOpen = [&](const std::string& n) { return n == "inven.ntx" && refusals-- > 0; };
  fos.code = 5;
  HandlerScope h({Choice::Retry, Choice::Retry});
  ASSERT_TRUE(build(codes(3)));
  ASSERT_EQ(h.presenter.shown.size(), 2u);
  expectError(h.presenter.shown[1], 20, 1006, "inven.ntx", 5);
  EXPECT_TRUE(h.presenter.shown[1].canRetry);
  EXPECT_TRUE(h.presenter.shown[1].canDefault);
  EXPECT_EQ(h.presenter.shown[1].tries, 1);
  EXPECT_EQ(index_support::walkIndex(testing_support::readFile("inven.ntx")).pairs.size(), 3u);
}

TEST_F(IndexErrorsTest, CreateGivenUpLeavesNoIndex) {
  fos.failOpen = [](const std::string& n) { return n == "inven.ntx"; };
  HandlerScope h({Choice::Ignore});
  EXPECT_EQ(build(codes(3)), nullptr);
  EXPECT_EQ(h.presenter.shown.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists("inven.ntx"));
}

// Failures during the build: each is raised once, with Quit as the only way on, and a spilled
// sort leaves no temporary file behind.
TEST_F(IndexErrorsTest, BuildFailuresRaiseTheirErrors) {
  auto temp = [&](const std::string& n) { return !fos.temps.empty() && n == fos.temps.back(); };
  struct Case {
    const char* what;
    std::function<void()> arm;
    int gencode, subcode;
    bool onTemp;
  };
  const Case cases[] = {
      {"page write",
       [&] { fos.failWrite = [](auto& n, auto off) { return n == "inven.ntx" && off >= 1024; }; },
       24, 1011, false},
      {"header write",
       [&] { fos.failWrite = [](auto& n, auto off) { return n == "inven.ntx" && off == 0; }; }, 24,
       1011, false},
      {"temporary create", [&] { fos.failOpen = temp; }, 20, 1060, true},
      {"temporary write", [&] { fos.failWrite = [&](auto& n, auto) { return temp(n); }; }, 24, 1061,
       true},
      {"temporary read", [&] { fos.failRead = [&](auto& n, auto) { return temp(n); }; }, 23, 1062,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fos.failOpen = nullptr;
    fos.failWrite = fos.failRead = nullptr;
    fos.temps.clear();
    c.arm();
    HandlerScope h;
    EXPECT_THROW(build(codes(200), 16), rt::Break);
    ASSERT_EQ(h.presenter.shown.size(), 1u);
    const rt::ErrorObj& e = h.presenter.shown[0];
    expectError(e, c.gencode, c.subcode, c.onTemp ? fos.temps.back() : "inven.ntx", 112);
    EXPECT_FALSE(e.canRetry || e.canDefault);
    ASSERT_EQ(fos.temps.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(fos.temps[0]));
  }
}

TEST_F(IndexErrorsTest, PageReadFailureIsAReadError) {
  {
    HandlerScope h;
    ASSERT_TRUE(build(codes(100)));
  }
  auto index = IndexFile::open("inven.ntx");
  ASSERT_TRUE(index);
  fos.failRead = [](auto& n, auto off) { return n == "inven.ntx" && off >= 1024; };
  HandlerScope h;
  IndexCursor c;
  EXPECT_THROW(index->seek(c, "k150"), rt::Break);
  ASSERT_EQ(h.presenter.shown.size(), 1u);
  expectError(h.presenter.shown[0], 23, 1010, "inven.ntx", 112);
}

TEST_F(IndexErrorsTest, RemovingAMissingKeyIsCorruption) {
  std::unique_ptr<IndexFile> index;
  {
    HandlerScope h;
    index = build(codes(30));
  }
  ASSERT_TRUE(index);
  const std::string before = testing_support::readFile("inven.ntx");
  const std::pair<std::string, std::uint32_t> missing[] = {
      {pad("k999", kKey), 1}, {codes(30)[4], 6},  // the key of record 5 under another record number
  };
  for (const auto& [key, recno] : missing) {
    HandlerScope h;
    EXPECT_THROW(index->remove(key.c_str(), recno), rt::Break);
    ASSERT_EQ(h.presenter.shown.size(), 1u);
    expectError(h.presenter.shown[0], 32, 1012, "inven.ntx", 0);
  }
  EXPECT_EQ(testing_support::readFile("inven.ntx"), before);
}

// 40 codes give a root at 4096 over leaves at 1024, 2048 and 3072.
struct Corruption {
  const char* what;
  std::function<void(std::string&)> damage;
  friend void PrintTo(const Corruption& c, std::ostream* os) { *os << c.what; }
};

class CorruptIndexTest : public ::testing::TestWithParam<Corruption> {
 protected:
  testing_support::TempDir dir;
};

TEST_P(CorruptIndexTest, IsReportedNotFollowed) {
  {
    HandlerScope h;
    ASSERT_TRUE(build(codes(40)));
  }
  std::string bytes = testing_support::readFile("inven.ntx");
  ASSERT_EQ(index_support::u32(bytes, 4), 4096u);
  GetParam().damage(bytes);
  testing_support::writeFile("inven.ntx", bytes);

  // Every operation either works or raises corruption / read errors; the first walk must meet
  // the damage.
  const std::function<void(IndexFile&)> ops[] = {
      [](IndexFile& f) {
        IndexCursor c;
        for (bool ok = f.first(c); ok; ok = f.next(c)) {
        }
      },
      [](IndexFile& f) {
        IndexCursor c;
        for (bool ok = f.last(c); ok; ok = f.prev(c)) {
        }
      },
      [](IndexFile& f) {
        IndexCursor c;
        for (const std::string& k : codes(40)) f.seek(c, k);
      },
      [](IndexFile& f) {
        for (int i = 0; i < 40; ++i)
          f.add(pad("k1" + std::to_string(i) + "5", kKey).c_str(), 100 + i);
      },
      [](IndexFile& f) {
        auto keys = codes(40);
        for (std::uint32_t r = 1; r <= 40; ++r) f.remove(keys[r - 1].c_str(), r);
      },
  };
  bool reported = false;
  for (std::size_t i = 0; i < std::size(ops); ++i) {
    HandlerScope h;
    try {
      auto index = IndexFile::open("inven.ntx");
      if (index) ops[i](*index);
    } catch (const rt::Break&) {
    }
    for (const rt::ErrorObj& e : h.presenter.shown) {
      EXPECT_TRUE(e.subcode == 1012 || e.subcode == 1010) << e.subcode;
      if (e.subcode == 1012) {
        EXPECT_EQ(e.description, "Corruption detected");
      }
      EXPECT_EQ(e.filename, "inven.ntx");
    }
    if (i == 0) {
      EXPECT_EQ(h.presenter.shown.size(), 1u) << "the walk passed the damage";
    }
    reported = reported || !h.presenter.shown.empty();
  }
  EXPECT_TRUE(reported);
}

using index_support::setU16;
using index_support::setU32;

// The offset within the file of item i of the page at `page`.
std::size_t item(const std::string& b, std::size_t page, unsigned i) {
  return page + index_support::u16(b, page + 2 + 2 * i);
}

INSTANTIATE_TEST_SUITE_P(
    Damage, CorruptIndexTest,
    ::testing::Values(
        Corruption{"RootPastTheEnd", [](std::string& b) { setU32(b, 4, 1 << 20); }},
        Corruption{"RootOffTheBlockGrid", [](std::string& b) { setU32(b, 4, 1500); }},
        Corruption{"FreeChainPastTheEnd", [](std::string& b) { setU32(b, 8, 0x7FFFFC00); }},
        Corruption{"ChildPastTheEnd",
                   [](std::string& b) { setU32(b, item(b, 4096, 1), 999 * 1024); }},
        Corruption{"KeyCountAboveM", [](std::string& b) { setU16(b, 2048, 19); }},
        Corruption{"KeyCountHuge", [](std::string& b) { setU16(b, 1024, 0xFFFF); }},
        Corruption{"SlotLeavesThePage", [](std::string& b) { setU16(b, 3072 + 2, 1000); }},
        Corruption{"SlotInsideTheTable", [](std::string& b) { setU16(b, 3072 + 2, 0); }},
        Corruption{"TwoItemsShareASlot",
                   [](std::string& b) { setU16(b, 3072 + 4, index_support::u16(b, 3072 + 2)); }},
        Corruption{"LeafPointsBackToTheRoot",
                   [](std::string& b) { setU32(b, item(b, 2048, 0), 4096); }},
        Corruption{"RootPointsToItself",
                   [](std::string& b) { setU32(b, item(b, 4096, 0), 4096); }}),
    [](const auto& p) { return std::string(p.param.what); });

}  // namespace
