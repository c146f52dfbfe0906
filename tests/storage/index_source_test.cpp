// Keys read straight from a table file for the build.
#include <gtest/gtest.h>

#include "db/index_file.h"
#include "index_support.h"
#include "rt/launcher.h"
#include "rt/os.h"
#include "testing.h"

namespace {

using index_support::pad;

// A table image: `headerLength` bytes of header, then records of a 1-byte flag, a 3-byte field
// and the key field of `width` bytes.
std::string table(std::uint64_t headerLength, const std::vector<std::string>& keys,
                  unsigned width) {
  std::string b(headerLength, 'H');
  for (const std::string& k : keys) b += " abc" + pad(k, width);
  return b;
}

std::vector<std::string> indexedKeys(const std::string& tableBytes, std::uint32_t count,
                                     unsigned width, unsigned keyLength) {
  testing_support::writeFile("t.dbf", tableBytes);
  int code = 0;
  auto file = rt::os::os().open("t.dbf", rt::os::OpenMode{}, &code);
  db::TableKeySource::Layout layout{98, 4 + width, count, 4, width};
  db::TableKeySource keys(*file, "t.dbf", layout, keyLength);
  db::IndexDef def;
  def.fileName = "t.ntx";
  def.keyExpr = "code";
  def.keyLength = keyLength;
  if (!db::IndexFile::create(def, keys)) return {};
  std::vector<std::string> out;
  for (const auto& p : index_support::walkIndex(testing_support::readFile("t.ntx")).pairs)
    out.push_back(p.key + "#" + std::to_string(p.recno));
  return out;
}

TEST(TableKeySourceTest, ReadsTheFieldAcrossBlocks) {
  testing_support::TempDir dir;
  testing_support::HandlerScope h;
  // 3,000-byte records: 21 to a 64 KB block, so 50 records take three blocks.
  std::vector<std::string> keys;
  for (int i = 50; i >= 1; --i) keys.push_back("R" + std::to_string(i % 7) + std::to_string(i));
  auto got = indexedKeys(table(98, keys, 2996), 50, 2996, 256);
  ASSERT_EQ(got.size(), 50u);
  EXPECT_EQ(got.front(), pad("R014", 256) + "#37");
  EXPECT_EQ(got.back(), pad("R66", 256) + "#45");
}

TEST(TableKeySourceTest, CutsAWideFieldAndFillsANarrowOne) {
  testing_support::TempDir dir;
  testing_support::HandlerScope h;
  EXPECT_EQ(indexedKeys(table(98, {"ABCDEFGH", "ABCDEFGA"}, 8), 2, 8, 6),
            (std::vector<std::string>{"ABCDEF#1", "ABCDEF#2"}));
  EXPECT_EQ(indexedKeys(table(98, {"AB", "A"}, 2), 2, 2, 4),
            (std::vector<std::string>{"A   #2", "AB  #1"}));
}

TEST(TableKeySourceTest, ATableShorterThanItsCountIsAReadError) {
  testing_support::TempDir dir;
  testing_support::HandlerScope h;
  EXPECT_THROW(indexedKeys(table(98, {"A", "B"}, 4), 3, 4, 4), rt::Break);
  ASSERT_EQ(h.presenter.shown.size(), 1u);
  EXPECT_EQ(h.presenter.shown[0].subcode, 1010);
  EXPECT_EQ(h.presenter.shown[0].filename, "t.dbf");
}

}  // namespace
