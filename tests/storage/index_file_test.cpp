// The key index file: build layout, order, seeks, insertion layout, and a randomized contract
// test against a std::multimap model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>

#include "db/index_file.h"
#include "index_sort.h"
#include "index_support.h"
#include "rt/os.h"
#include "testing.h"

using db::IndexCursor;
using db::IndexFile;
using index_support::pad;
using index_support::Pair;
using index_support::readPage;
using index_support::u16;
using index_support::u32;
using index_support::VectorKeys;
using testing_support::readFile;

namespace {

constexpr unsigned kKey = 40;

std::unique_ptr<IndexFile> build(
    std::vector<std::string> keys, unsigned keyLength = kKey, std::size_t runSize = 0,
    const std::string& name = "inven.ntx", std::size_t cachePages = 16384, bool unique = false,
    std::size_t writeBehindPages = db::IndexOptions{}.writeBehindPages) {
  db::IndexDef def;
  def.fileName = name;
  def.keyExpr = "codigo";
  def.keyLength = keyLength;
  def.unique = unique;
  VectorKeys source(std::move(keys), keyLength);
  db::IndexOptions options;
  options.runSize = runSize;
  options.cachePages = cachePages;
  options.writeBehindPages = writeBehindPages;
  return IndexFile::create(def, source, options);
}

// Codes k01, k02, ... padded to the key length.
std::string code(int i, unsigned len = kKey) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "k%02d", i);
  return pad(buf, len);
}

// The header a build of 40-byte keys on "codigo" writes.
std::string header(unsigned version, std::uint32_t root) {
  std::string h(1024, '\0');
  index_support::setU16(h, 0, 6);
  index_support::setU16(h, 2, version);
  index_support::setU32(h, 4, root);
  index_support::setU16(h, 12, 48);
  index_support::setU16(h, 14, 40);
  index_support::setU16(h, 18, 18);
  index_support::setU16(h, 20, 9);
  h.replace(22, 6, "codigo");
  return h;
}

std::vector<unsigned> freshOffsets() {
  std::vector<unsigned> v;
  for (unsigned i = 0; i <= 18; ++i) v.push_back(40 + 48 * i);
  return v;
}

std::vector<Pair> pairs(std::initializer_list<int> codes,
                        std::initializer_list<std::uint32_t> recs) {
  std::vector<Pair> out;
  auto r = recs.begin();
  for (int c : codes) out.push_back({code(c), *r++});
  return out;
}

std::vector<Pair> range(int from, int to) {  // code i held by record i
  std::vector<Pair> out;
  for (int i = from; i <= to; ++i) out.push_back({code(i), static_cast<std::uint32_t>(i)});
  return out;
}

class IndexFileTest : public ::testing::Test {
 protected:
  testing_support::TempDir dir;
  testing_support::HandlerScope handler;
};

TEST_F(IndexFileTest, EmptyTableGivesHeaderAndOneEmptyRoot) {
  ASSERT_TRUE(build({}));
  std::string page(1024, '\0');
  for (unsigned i = 0; i <= 18; ++i) index_support::setU16(page, 2 + 2 * i, 40 + 48 * i);
  EXPECT_EQ(readFile("inven.ntx"), header(1, 1024) + page);
}

TEST_F(IndexFileTest, EighteenRecordsFillOneLeaf) {
  std::vector<std::string> keys;
  for (int i = 18; i >= 1; --i) keys.push_back(code(i));  // record r holds k(19 - r)
  ASSERT_TRUE(build(keys));
  const std::string b = readFile("inven.ntx");
  ASSERT_EQ(b.size(), 2048u);
  EXPECT_EQ(b.substr(0, 1024), header(1, 1024));
  auto leaf = readPage(b, 1024);
  EXPECT_EQ(leaf.offsets, freshOffsets());
  std::vector<Pair> expected;
  for (int i = 1; i <= 18; ++i) expected.push_back({code(i), static_cast<std::uint32_t>(19 - i)});
  EXPECT_EQ(leaf.items, expected);
  EXPECT_EQ(leaf.child, std::vector<std::uint32_t>(19, 0));
}

TEST_F(IndexFileTest, NineteenRecordsAreEvenedOutAcrossTwoLeaves) {
  std::vector<std::string> keys;
  for (int i = 1; i <= 19; ++i) keys.push_back(code(i));
  ASSERT_TRUE(build(keys));
  const std::string b = readFile("inven.ntx");
  ASSERT_EQ(b.size(), 4096u);
  EXPECT_EQ(b.substr(0, 1024), header(1, 3072));
  auto left = readPage(b, 1024), right = readPage(b, 2048), root = readPage(b, 3072);
  EXPECT_EQ(left.items, range(1, 9));
  EXPECT_EQ(right.items, range(11, 19));
  EXPECT_EQ(root.items, range(10, 10));
  EXPECT_EQ(root.child, (std::vector<std::uint32_t>{1024, 2048}));
  EXPECT_EQ(index_support::walkIndex(b).pairs, range(1, 19));
}

TEST_F(IndexFileTest, KeysCompareAsUnsignedBytes) {
  const std::vector<std::string> keys = {"a1", "A1", "9", "10", "\xE9", "A", "1", " 1"};
  ASSERT_TRUE(build(keys));
  std::vector<std::string> order;
  for (const Pair& p : index_support::walkIndex(readFile("inven.ntx")).pairs)
    order.push_back(p.key.substr(0, p.key.find_last_not_of(' ') + 1));
  EXPECT_EQ(order, (std::vector<std::string>{" 1", "1", "10", "9", "A", "A1", "a1", "\xE9"}));
}

TEST_F(IndexFileTest, SeekFindsFirstOfEqualKeysAndPrefixes) {
  // Enough records for three levels, with every code held by three records.
  std::vector<std::string> keys;
  for (int r = 0; r < 1500; ++r) keys.push_back("C" + std::to_string(1000 + (r * 7919) % 500));
  auto index = build(keys);
  ASSERT_TRUE(index);
  struct Case {
    std::string value;
    bool found;
    std::string at;  // the key the cursor lands on ("" past the end)
  };
  const Case cases[] = {
      {pad("C1250", kKey), true, "C1250"},
      {"C125", true, "C1250"},                         // partial key
      {pad("C1250", kKey - 1) + "X", false, "C1251"},  // differs only in the last byte
      {pad("C1250", kKey + 5), true, "C1250"},         // cut to the key length
      {"C12505", false, "C1251"},
      {"", true, "C1000"},
      {"D", false, ""},
  };
  for (const Case& c : cases) {
    IndexCursor cur;
    EXPECT_EQ(index->seek(cur, c.value), c.found) << c.value;
    if (c.at.empty()) {
      EXPECT_FALSE(cur.valid());
      continue;
    }
    ASSERT_TRUE(cur.valid());
    EXPECT_EQ(cur.keyView(kKey), pad(c.at, kKey));
    // Among equal keys the lowest record number comes first.
    std::uint32_t lowest = 0;
    for (std::uint32_t r = 1; r <= keys.size(); ++r)
      if (pad(keys[r - 1], kKey) == pad(c.at, kKey)) {
        lowest = r;
        break;
      }
    EXPECT_EQ(cur.recno, lowest) << c.value;
  }
}

TEST_F(IndexFileTest, SeekReadsAPageOncePerLevelThenServesItFromMemory) {
  std::vector<std::string> keys;
  for (int r = 0; r < 2000; ++r) keys.push_back(std::to_string(r * 37 % 2000));
  ASSERT_TRUE(build(keys));
  auto index = IndexFile::open("inven.ntx");
  ASSERT_TRUE(index);
  const int depth = index_support::walkIndex(readFile("inven.ntx")).depth;
  IndexCursor cur;
  const auto reads = index->stats().pageReads;
  ASSERT_TRUE(index->seek(cur, pad("1234", kKey)));
  EXPECT_LE(index->stats().pageReads - reads, static_cast<std::uint64_t>(depth));
  const auto warm = index->stats().pageReads;
  ASSERT_TRUE(index->seek(cur, pad("1234", kKey)));
  EXPECT_EQ(index->stats().pageReads, warm);
}

TEST_F(IndexFileTest, NineteenthKeySplitsTheRootPage) {
  std::vector<std::string> keys;
  for (int i = 1; i <= 18; ++i) keys.push_back(code(2 * i));  // k02 .. k36
  auto index = build(keys);
  ASSERT_TRUE(index);
  ASSERT_TRUE(index->add(code(15).c_str(), 19));
  ASSERT_TRUE(index->flush());
  const std::string b = readFile("inven.ntx");
  ASSERT_EQ(b.size(), 4096u);
  EXPECT_EQ(b.substr(0, 1024), header(2, 3072));
  // Combined order: k02 .. k14, k15, k16 .. k36; nine go left, the tenth (k18) goes up.
  EXPECT_EQ(readPage(b, 2048).items,
            pairs({2, 4, 6, 8, 10, 12, 14, 15, 16}, {1, 2, 3, 4, 5, 6, 7, 19, 8}));
  EXPECT_EQ(readPage(b, 3072).items, pairs({18}, {9}));
  EXPECT_EQ(readPage(b, 3072).child, (std::vector<std::uint32_t>{2048, 1024}));
  EXPECT_EQ(readPage(b, 1024).items,
            pairs({20, 22, 24, 26, 28, 30, 32, 34, 36}, {10, 11, 12, 13, 14, 15, 16, 17, 18}));
  EXPECT_EQ(index->version(), 2);
  index_support::walkIndex(b);
}

TEST_F(IndexFileTest, AddWithoutNewPageLeavesHeaderAlone) {
  auto index = build({code(1), code(3)});
  ASSERT_TRUE(index);
  const std::string before = readFile("inven.ntx");
  ASSERT_TRUE(index->add(code(2).c_str(), 3));
  ASSERT_TRUE(index->flush());
  const std::string after = readFile("inven.ntx");
  EXPECT_EQ(after.substr(0, 1024), before.substr(0, 1024));
  EXPECT_EQ(readPage(after, 1024).items, pairs({1, 2, 3}, {1, 3, 2}));
}

TEST_F(IndexFileTest, CreationOverwritesWhateverTheFileHeld) {
  ASSERT_TRUE(build({}, kKey, 0, "fresh.ntx"));
  testing_support::writeFile("inven.ntx", std::string(10000, '\xFF'));
  ASSERT_TRUE(build({}));
  EXPECT_EQ(readFile("inven.ntx"), readFile("fresh.ntx"));
}

TEST(IndexSortTest, RunSizeRule) {
  struct Case {
    std::uint64_t n;
    unsigned keyLength;
    std::size_t run;
  };
  const Case cases[] = {
      {0, 40, 1},         {1, 40, 1},           {19, 40, 19},
      {50000, 40, 34816}, {1000000, 40, 38656}, {1000000, 10, 137216},
  };
  for (const Case& c : cases)
    EXPECT_EQ(db::ntx::KeySorter::runSizeFor(c.n, c.keyLength), c.run) << c.n;
}

class SpilledMergeTest : public IndexFileTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(SpilledMergeTest, GivesTheSameFileAsTheInMemorySort) {
  std::minstd_rand rng(7);
  std::vector<std::string> keys;
  for (int i = 0; i < 1000; ++i) keys.push_back("P" + std::to_string(rng() % 150));
  index_support::FaultOs fos;
  index_support::OsScope scope(fos);
  ASSERT_TRUE(build(keys, kKey, 0, "memory.ntx"));
  EXPECT_TRUE(fos.temps.empty());
  ASSERT_TRUE(build(keys, kKey, GetParam(), "spilled.ntx"));
  ASSERT_EQ(fos.temps.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(fos.temps[0]));
  EXPECT_EQ(readFile("spilled.ntx"), readFile("memory.ntx"));
}

INSTANTIATE_TEST_SUITE_P(RunSizes, SpilledMergeTest, ::testing::Values(1, 7, 64, 999));

// Mixed appends, key changes, removals and seeks on a small set of codes (many duplicates),
// checked against a multimap, which like the index puts a new pair after its equal keys.
// With write-behind, a twin index that writes after every update takes the same updates: after
// a flush both files must be the same bytes. With failing reads, some updates meet a page read
// error part way and are undone; the twin never sees them, so the files still agree only when
// the undo took back exactly the failed update and kept the held changes of earlier ones.
struct ModelCase {
  unsigned keyLength;
  unsigned seed;
  int operations;
  std::size_t cachePages = 16384;  // a small cache drops pages between and within updates
  std::size_t writeBehindPages = 0;
  bool failingReads = false;
};

class IndexModelTest : public IndexFileTest, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(IndexModelTest, AgreesWithAMultimap) {
  const ModelCase mc = GetParam();
  const unsigned len = mc.keyLength;
  std::minstd_rand rng(mc.seed);
  auto randomKey = [&] { return pad("Q" + std::to_string(rng() % 400), len); };

  index_support::FaultOs fos;
  index_support::OsScope os(fos);
  int readsBeforeFailure = -1;  // armed for one update at a time
  fos.failRead = [&](const std::string& n, std::uint64_t) {
    return n == "inven.ntx" && readsBeforeFailure >= 0 && readsBeforeFailure-- == 0;
  };

  std::vector<std::string> initial;
  for (int i = 0; i < 300; ++i) initial.push_back(randomKey());
  auto index = build(initial, len, 0, "inven.ntx", mc.cachePages, false, mc.writeBehindPages);
  ASSERT_TRUE(index);
  std::unique_ptr<IndexFile> twin;
  if (mc.writeBehindPages > 0) twin = build(initial, len, 0, "twin.ntx", mc.cachePages, false, 0);
  std::multimap<std::string, std::uint32_t> model;
  std::vector<std::string> keyOf(1);  // by record number; "" when not indexed
  for (std::uint32_t r = 1; r <= initial.size(); ++r) {
    model.emplace(initial[r - 1], r);
    keyOf.push_back(initial[r - 1]);
  }
  auto modelErase = [&](const std::string& key, std::uint32_t recno) {
    auto [lo, hi] = model.equal_range(key);
    for (auto it = lo; it != hi; ++it)
      if (it->second == recno) return model.erase(it), void();
    FAIL() << "model lost " << recno;
  };
  auto liveRecord = [&]() -> std::uint32_t {
    for (;;) {
      auto r = static_cast<std::uint32_t>(1 + rng() % (keyOf.size() - 1));
      if (!keyOf[r].empty() || model.empty()) return r;
    }
  };
  int undone = 0;
  // Runs one update on the index (and the twin); false when it failed and was undone.
  auto update = [&](const std::string* oldKey, const std::string* newKey, std::uint32_t r) {
    const char* o = oldKey ? oldKey->c_str() : nullptr;
    const char* n = newKey ? newKey->c_str() : nullptr;
    if (mc.failingReads && rng() % 4 == 0) readsBeforeFailure = static_cast<int>(rng() % 3);
    bool ok = true;
    try {
      EXPECT_TRUE(index->update(o, n, r));
    } catch (const rt::Break&) {
      ok = false;
      ++undone;
    }
    readsBeforeFailure = -1;
    if (ok && twin) {
      EXPECT_TRUE(twin->update(o, n, r));
    }
    return ok;
  };

  for (int op = 1; op <= mc.operations; ++op) {
    const auto kind = rng() % 10;
    if (kind < 4) {  // append
      const std::string k = randomKey();
      const auto r = static_cast<std::uint32_t>(keyOf.size());
      if (!update(nullptr, &k, r)) continue;
      model.emplace(k, r);
      keyOf.push_back(k);
    } else if (kind < 6 && !model.empty()) {  // change a key
      const std::uint32_t r = liveRecord();
      const std::string k = randomKey();
      if (k == keyOf[r]) continue;
      if (!update(&keyOf[r], &k, r)) continue;
      modelErase(keyOf[r], r);
      model.emplace(k, r);
      keyOf[r] = k;
    } else if (kind < 8 && !model.empty()) {  // remove
      const std::uint32_t r = liveRecord();
      if (!update(&keyOf[r], nullptr, r)) continue;
      modelErase(keyOf[r], r);
      keyOf[r].clear();
    } else {  // seek a whole key or a prefix
      std::string value = randomKey();
      if (rng() % 3 == 0) value.resize(1 + rng() % 3);
      IndexCursor cur;
      const bool found = index->seek(cur, value);
      auto it = model.lower_bound(value);
      const bool expected = it != model.end() && it->first.compare(0, value.size(), value) == 0;
      ASSERT_EQ(found, expected) << value;
      ASSERT_EQ(cur.valid(), it != model.end());
      if (cur.valid()) {
        ASSERT_EQ(cur.keyView(len), it->first);
        ASSERT_EQ(cur.recno, it->second);
      }
    }

    if (op % 500 == 0 || op == mc.operations) {
      std::vector<Pair> expected;
      for (const auto& [k, r] : model) expected.push_back({k, r});
      ASSERT_TRUE(index->flush());
      const std::string bytes = readFile("inven.ntx");
      auto walk = index_support::walkIndex(bytes);
      ASSERT_EQ(walk.pairs, expected) << "after operation " << op;
      if (twin) {
        ASSERT_TRUE(bytes == readFile("twin.ntx")) << "after operation " << op;
        ASSERT_EQ(index->version(), twin->version());
      }
      // The cursor walks agree in both directions.
      std::vector<Pair> forward, backward;
      IndexCursor c;
      for (bool ok = index->first(c); ok; ok = index->next(c))
        forward.push_back({std::string(c.keyView(len)), c.recno});
      for (bool ok = index->last(c); ok; ok = index->prev(c))
        backward.push_back({std::string(c.keyView(len)), c.recno});
      std::reverse(backward.begin(), backward.end());
      ASSERT_EQ(forward, expected);
      ASSERT_EQ(backward, expected);
    }
  }
  if (mc.failingReads) {
    EXPECT_GT(undone, 50);
  }
  // Closing writes what is still held: the files agree without an explicit flush.
  if (twin) {
    ASSERT_TRUE(index->close());
    ASSERT_TRUE(twin->close());
    EXPECT_TRUE(readFile("inven.ntx") == readFile("twin.ntx"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    KeyLengths, IndexModelTest,
    ::testing::Values(ModelCase{40, 1, 6000}, ModelCase{40, 2, 6000, 16}, ModelCase{120, 3, 4000},
                      ModelCase{256, 4, 3000}, ModelCase{256, 5, 3000, 16},
                      // write-behind: flushed every few updates, or only at each check
                      ModelCase{40, 6, 6000, 16384, 3}, ModelCase{40, 7, 6000, 16, 1},
                      ModelCase{256, 8, 3000, 16384, 4096}, ModelCase{40, 9, 6000, 16, 64, true},
                      ModelCase{256, 10, 3000, 16, 4096, true}),
    [](const auto& p) {
      return "key" + std::to_string(p.param.keyLength) + "_seed" + std::to_string(p.param.seed) +
             "_cache" + std::to_string(p.param.cachePages) + "_behind" +
             std::to_string(p.param.writeBehindPages) + (p.param.failingReads ? "_failing" : "");
    });

TEST_F(IndexFileTest, UniqueIndexKeepsTheFirstRecordOfEachKey) {
  auto index = build({"B", "A", "B", "A", "C"}, kKey, 0, "inven.ntx", 16384, true);
  ASSERT_TRUE(index);
  ASSERT_TRUE(index->add(pad("C", kKey).c_str(), 6));     // ignored: C has record 5
  ASSERT_TRUE(index->remove(pad("A", kKey).c_str(), 4));  // never entered: nothing to do
  std::vector<Pair> expected = {{pad("A", kKey), 2}, {pad("B", kKey), 1}, {pad("C", kKey), 5}};
  EXPECT_EQ(index_support::walkIndex(readFile("inven.ntx")).pairs, expected);
  EXPECT_EQ(readFile("inven.ntx")[278], 1);
}

// A cursor keeps its place while pairs come and go around it.
TEST_F(IndexFileTest, CursorStepsOnAfterUpdates) {
  std::vector<std::string> keys;
  for (int i = 1; i <= 60; ++i) keys.push_back(code(2 * i, kKey));
  auto index = build(keys);
  ASSERT_TRUE(index);
  IndexCursor c;
  ASSERT_TRUE(index->seek(c, code(40)));  // record 20
  for (int i = 1; i <= 30; ++i) ASSERT_TRUE(index->add(code(2 * i + 1).c_str(), 100 + i));
  ASSERT_TRUE(index->next(c));
  EXPECT_EQ(c.keyView(kKey), code(41));
  ASSERT_TRUE(index->remove(code(41).c_str(), 120));
  ASSERT_TRUE(index->prev(c));  // its own pair is gone: the one before it
  EXPECT_EQ(c.keyView(kKey), code(40));
  ASSERT_TRUE(index->remove(code(40).c_str(), 20));
  ASSERT_TRUE(index->next(c));
  EXPECT_EQ(c.keyView(kKey), code(42));
  ASSERT_TRUE(index->last(c));  // the last pair goes: stepping back lands on the new last
  IndexCursor before = c;
  ASSERT_TRUE(index->prev(before));
  ASSERT_TRUE(index->remove(std::string(c.keyView(kKey)).c_str(), c.recno));
  ASSERT_TRUE(index->prev(c));
  EXPECT_EQ(c.keyView(kKey), before.keyView(kKey));
  EXPECT_EQ(c.recno, before.recno);
}

}  // namespace
