#include "inv/splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The reference: the per-character walk the action describes, one column per comma count.
std::vector<std::string> walk(std::string_view line) {
  std::vector<std::string> cols(7);
  int coma = 0;
  for (char c : line) {
    if (c == ',') ++coma;
    for (int k = 0; k < 7; ++k)
      if (coma == k && c != ',') cols[static_cast<std::size_t>(k)] += c;
  }
  return cols;
}

std::string pad240(std::string s) { return s.append(240 - s.size(), ' '); }

void expectSameAsWalk(const std::string& line) {
  inv::Columns got = inv::splitColumns(line);
  std::vector<std::string> want = walk(line);
  for (std::size_t k = 0; k < 7; ++k)
    EXPECT_EQ(got.col[k], want[k]) << "column " << k << " of [" << line << "]";
}

TEST(Splitter, MatchesTheCharacterWalk) {
  for (const char* line :
       {"A1,Tornillo,PZA,10,2.5,3,R1", "A1,Tornillo,PZA", "no commas at all", "a,b,c,d,e,f,g,h,i,j",
        ",,,,,,,", ",lead", "trail,", "", ",", "x,  spaced  ,\"quoted\",N/A,,,loc"})
    expectSameAsWalk(pad240(line));
}

TEST(Splitter, PaddingGoesToTheLastColumnReached) {
  const std::string line = pad240("A1,Tornillo,PZA");
  inv::Columns c = inv::splitColumns(line);
  EXPECT_EQ(c.col[0], "A1");
  EXPECT_EQ(c.col[1], "Tornillo");
  EXPECT_EQ(c.col[2].substr(0, 5), "PZA  ");
  EXPECT_EQ(c.col[2].size(), 240u - 12u);  // "PZA" and every blank after it
  EXPECT_TRUE(c.col[3].empty());
  EXPECT_EQ(c.commas, 2);
}

TEST(Splitter, DropsEverythingAfterTheSeventhComma) {
  const std::string line = pad240("a,b,c,d,e,f,g,h,i");
  inv::Columns c = inv::splitColumns(line);
  EXPECT_EQ(c.col[6], "g");
  EXPECT_EQ(c.commas, 8);
}

}  // namespace
