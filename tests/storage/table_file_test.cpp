// The table file byte for byte: creation, header upkeep, record layout and record counting.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "db/dbf.h"
#include "db/workarea.h"
#include "rt/os.h"
#include "storage_fixture.h"

namespace {

using namespace storage_test;
using rt::Choice;
using rt::Value;
using testing_support::readFile;
using testing_support::writeFile;

class TableFileTest : public TablesTest {
 protected:
  // Bytes 1..3 as a header write today would set them.
  static std::string today() {
    std::tm t = rt::os::os().localTime();
    return {static_cast<char>(t.tm_year % 256), static_cast<char>(t.tm_mon + 1),
            static_cast<char>(t.tm_mday)};
  }
  static void useInven() { ASSERT_TRUE(db::DBUSEAREA(false, {}, "inven")); }
  static void appendInven(int n) {
    for (int i = 1; i <= n; ++i) {
      ASSERT_TRUE(db::DBAPPEND());
      db::fieldPut("codigo", "P" + std::to_string(i));
      db::fieldPut("existen", 1.5 * i);
    }
  }
};

TEST_F(TableFileTest, NewTablesHaveTheExactLayout) {
  struct Case {
    const char* file;
    Value structure;
    std::size_t fields, H, R;
  };
  const Case cases[] = {
      {"inven", invenStructure(), 12, 418, 257},
      {"plantilla.dbf",
       rt::List{Value(rt::List{"campo", "c", 240, 0}), Value(rt::List{"codigo", "c", 40, 0}),
                Value(rt::List{"descri", "c", 70, 0}), Value(rt::List{"unidad", "c", 5, 0}),
                Value(rt::List{"existen", "n", 18, 5}), Value(rt::List{"costprom", "n", 18, 5}),
                Value(rt::List{"ultcosto", "n", 18, 5}), Value(rt::List{"localiza", "c", 15, 0})},
       8, 290, 425},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(db::DBCREATE(c.file, c.structure));
    std::string b = readFile(db::withDefaultExtension(c.file, ".dbf"));
    ASSERT_EQ(b.size(), c.H + 1) << c.file;
    EXPECT_EQ(byteAt(b, 0), 0x03u);
    EXPECT_EQ(b.substr(1, 3), today());
    EXPECT_EQ(le32(b, 4), 0u);
    EXPECT_EQ(byteAt(b, 8) | byteAt(b, 9) << 8, c.H);
    EXPECT_EQ(byteAt(b, 10) | byteAt(b, 11) << 8, c.R);
    EXPECT_EQ(b.substr(12, 20), std::string(20, '\0'));
    EXPECT_EQ(b.substr(32 + 32 * c.fields), std::string("\x0D\x00\x20", 3));
  }
  // Descriptors of inven.dbf, spelled out.
  std::string b = readFile("inven.dbf");
  const char* names[] = {"FOLIO",    "CODIGO",   "DESCRI",  "UNIDAD",  "EXISTEN", "COSTPROM",
                         "ULTCOSTO", "LOCALIZA", "CONTEO1", "CONTEO2", "CONTEO3", "STATUS"};
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(b.substr(32 + 32 * i, 11), (names[i] + std::string(11, '\0')).substr(0, 11));
  std::string codigo(32, '\0');
  std::memcpy(codigo.data(), "CODIGO", 6);
  codigo[11] = 'C';
  codigo[16] = 40;
  EXPECT_EQ(b.substr(64, 32), codigo);
  std::string existen = b.substr(32 + 32 * 4, 32);
  EXPECT_EQ(existen[11], 'N');
  EXPECT_EQ(existen[16], 18);
  EXPECT_EQ(existen[17], 5);
  EXPECT_EQ(existen.substr(18), std::string(14, '\0'));

  // A fresh table opens empty, at end of file.
  useInven();
  EXPECT_EQ(db::LASTREC(), 0);
  EXPECT_TRUE(db::DBEOF());
  db::DBCLOSEAREA();
  EXPECT_EQ(readFile("inven.dbf"), b);  // opening and closing writes nothing
}

TEST_F(TableFileTest, WideCharacterFieldUsesTheHighByte) {
  ASSERT_TRUE(db::DBCREATE("wide", rt::List{Value(rt::List{"memo", "C", 300, 7})}));
  std::string b = readFile("wide.dbf");
  EXPECT_EQ(byteAt(b, 32 + 16), 44u);
  EXPECT_EQ(byteAt(b, 32 + 17), 1u);
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "wide"));
  EXPECT_EQ(db::currentTable()->fields()[0].width, 300);
  EXPECT_EQ(db::currentTable()->fields()[0].decimals, 0);
}

TEST_F(TableFileTest, AppendsReachTheFileWithOneHeaderWriteAtClose) {
  ASSERT_TRUE(db::DBCREATE("inven", invenStructure()));
  useInven();
  appendInven(3);
  db::DBCLOSEAREA();
  std::string b = readFile("inven.dbf");
  ASSERT_EQ(b.size(), 418u + 3 * 257 + 1);
  EXPECT_EQ(byteAt(b, b.size() - 1), 0x1Au);
  EXPECT_EQ(le32(b, 4), 3u);
  EXPECT_EQ(b.substr(1, 3), today());
  // Record 2: live flag, blank folio, code padded, existen right-aligned with 5 decimals.
  std::string rec = b.substr(418 + 257, 257);
  EXPECT_EQ(rec.substr(0, 9), std::string(9, ' '));
  EXPECT_EQ(rec.substr(9, 40), "P2" + std::string(38, ' '));
  EXPECT_EQ(rec.substr(124, 18), "           3.00000");
}

TEST_F(TableFileTest, ChangingRecordsLeavesTheHeaderAloneAndHeaderWritesKeepForeignBytes) {
  ASSERT_TRUE(db::DBCREATE("inven", invenStructure()));
  useInven();
  appendInven(4);
  db::DBCLOSEAREA();
  // Another program's marks: an old date, reserved bytes, a code page.
  std::string b = readFile("inven.dbf");
  b[1] = 99, b[2] = 1, b[3] = 2;
  for (int i = 12; i < 32; ++i) b[i] = static_cast<char>(i);
  b[28] = 0;  // the structural-index flag is the one byte here that header writes keep current
  writeFile("inven.dbf", b);

  useInven();
  db::DBEVAL(rt::Block{[] {
                         db::fieldPut("descri", "changed");
                         return Value();
                       },
                       "TEST"});
  db::DBDELETE();  // at end of file: nothing
  db::DBGOTO(2);
  db::DBDELETE();
  db::DBCLOSEAREA();
  std::string after = readFile("inven.dbf");
  ASSERT_EQ(after.size(), b.size());
  EXPECT_EQ(after.substr(0, 32), b.substr(0, 32));
  EXPECT_EQ(after.substr(418 + 257 + 49, 7), "changed");
  EXPECT_EQ(after[418 + 257], '*');

  // An append brings date and count up to date and keeps bytes 12..31.
  useInven();
  appendInven(1);
  db::DBCLOSEAREA();
  after = readFile("inven.dbf");
  EXPECT_EQ(after.substr(1, 3), today());
  EXPECT_EQ(le32(after, 4), 5u);
  EXPECT_EQ(after.substr(12, 20), b.substr(12, 20));
}

TEST_F(TableFileTest, RecordCountComesFromTheFileSize) {
  ASSERT_TRUE(db::DBCREATE("inven", invenStructure()));
  useInven();
  appendInven(12);
  db::DBCLOSEAREA();
  std::string b = readFile("inven.dbf");
  b[4] = 10;  // the header says 10
  struct Case {
    std::string bytes;
    std::int64_t count;
  };
  const Case cases[] = {
      {b, 12},                                  // with the end mark
      {b.substr(0, b.size() - 1), 12},          // without it
      {b.substr(0, b.size() - 1) + "abc", 12},  // a partial record is not counted
      {b.substr(0, 418 + 257 * 11 + 100), 11},  // cut inside record 12
  };
  for (const Case& c : cases) {
    writeFile("inven.dbf", c.bytes);
    useInven();
    EXPECT_EQ(db::LASTREC(), c.count);
    db::DBGOTO(c.count);
    EXPECT_EQ(db::fieldGet("codigo").text().substr(0, 3), "P" + std::to_string(c.count));
    db::DBCLOSEAREA();
    EXPECT_EQ(readFile("inven.dbf"), c.bytes);  // nothing written
  }
}

TEST_F(TableFileTest, AKilledProgramLeavesEveryWrittenRecordReadable) {
  ASSERT_TRUE(db::DBCREATE("inven", invenStructure()));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Appends without a header write, then dies without closing anything.
    db::DBUSEAREA(false, {}, "inven");
    for (int i = 1; i <= 3000; ++i) {
      db::DBAPPEND();
      db::fieldPut("codigo", "P" + std::to_string(i));
    }
    db::DBGOTO(1);  // the area leaves the last appended record behind
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  std::string b = readFile("inven.dbf");
  EXPECT_EQ(le32(b, 4), 0u);  // no header write happened
  EXPECT_EQ(b.size(), 418u + 3000u * 257u);
  useInven();
  EXPECT_EQ(db::LASTREC(), 3000);
  db::DBGOTO(3000);
  EXPECT_EQ(db::fieldGet("codigo").text().substr(0, 6), "P3000 ");
}

TEST_F(TableFileTest, FieldBytesAreStoredUnchanged) {
  ASSERT_TRUE(db::DBCREATE("inven", invenStructure()));
  useInven();
  std::string raw = std::string("\x00\x01\x7F\x80\xA9\xFF\t\"", 8) + "ñ";
  ASSERT_TRUE(db::DBAPPEND());
  db::fieldPut("codigo", raw);
  db::fieldPut("descri", std::string(80, 'x'));  // cut to 70
  struct Case {
    const char* field;
    Value v;
    const char* bytes;
  };
  const Case numbers[] = {
      {"existen", -99999999999.99999, "-99999999999.99998"},
      {"existen", 0, "           0.00000"},
      {"existen", -0.000001, "           0.00000"},
      {"costprom", 1234.5678, "        1234.56780"},
      {"folio", 12.5, "      13"},
      {"folio", std::int64_t{-7}, "      -7"},
  };
  for (const Case& c : numbers) {
    db::fieldPut(c.field, c.v);
    const db::Table& t = *db::currentTable();
    const db::FieldInfo& f = t.fields()[static_cast<std::size_t>(t.fieldIndex(c.field))];
    EXPECT_EQ(db::recordGet().substr(f.offset, static_cast<std::size_t>(f.width)), c.bytes)
        << c.field << " " << c.v.toText();
  }
  db::DBCLOSEAREA();
  std::string rec = readFile("inven.dbf").substr(418, 257);
  EXPECT_EQ(rec.substr(9, 40), raw + std::string(40 - raw.size(), ' '));
  EXPECT_EQ(rec.substr(49, 70), std::string(70, 'x'));
  EXPECT_TRUE(shown().shown.empty());

  // 8.995 held as 8.99499999... still stores as 9.00 in width 6 with 2 decimals.
  ASSERT_TRUE(db::DBCREATE("small", rt::List{Value(rt::List{"v", "n", 6, 2})}));
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "small"));
  db::DBAPPEND();
  db::fieldPut("v", 8.995);
  EXPECT_EQ(db::recordGet().substr(1), "  9.00");
  EXPECT_DOUBLE_EQ(db::fieldGet("V").dbl(), 9.0);
}

TEST_F(TableFileTest, PackWithoutDeletedRecordsWritesNothing) {
  ASSERT_TRUE(db::DBCREATE("inven", invenStructure()));
  useInven();
  appendInven(3);
  db::DBCLOSEAREA();
  std::string b = readFile("inven.dbf");
  b[1] = 90;  // an old date shows a header write at once
  writeFile("inven.dbf", b);
  useInven();
  db::DBPACK();
  EXPECT_EQ(db::RECNO(), 1);
  EXPECT_EQ(static_cast<db::DbfTable*>(db::currentTable())->counters().recordWrites, 0u);
  db::DBCLOSEAREA();
  EXPECT_EQ(readFile("inven.dbf"), b);
}

TEST_F(TableFileTest, CommitWritesTheHeaderThatIsDue) {
  ASSERT_TRUE(db::DBCREATE("inven", invenStructure()));
  useInven();
  appendInven(2);
  db::DBCOMMIT();
  std::string b = readFile("inven.dbf");
  EXPECT_EQ(le32(b, 4), 2u);
  EXPECT_EQ(b.size(), 418u + 2 * 257 + 1);
  db::DBCLOSEAREA();
  EXPECT_EQ(readFile("inven.dbf"), b);  // nothing further was due
}

TEST_F(TableFileTest, CreateErrors) {
  // The header of 2047 fields passes 65535 bytes.
  rt::List many;
  for (int i = 0; i < 2047; ++i) many.push_back(rt::List{"f" + std::to_string(i), "c", 1, 0});
  EXPECT_THROW(db::DBCREATE("big", many), rt::Break);
  ASSERT_EQ(shown().shown.size(), 1u);
  EXPECT_EQ(shown().shown[0].gencode, 20);
  EXPECT_EQ(shown().shown[0].subcode, 1021);
  EXPECT_EQ(shown().shown[0].description, "Create error");
  EXPECT_EQ(shown().shown[0].filename, "big.dbf");
  EXPECT_FALSE(std::filesystem::exists("big.dbf"));
  rt::resetBreak();

  // A folder that does not exist: retry, then give up.
  shown().shown.clear();
  handler.presenter.script_ = {Choice::Retry, Choice::Ignore};
  db::selectArea(4);
  EXPECT_FALSE(db::DBCREATE("nofolder/t", smallStructure()));
  ASSERT_EQ(shown().shown.size(), 2u);
  const rt::ErrorObj& e = shown().shown[1];
  EXPECT_EQ(e.subsystem, "DBFNTX");
  EXPECT_EQ(e.gencode, 20);
  EXPECT_EQ(e.subcode, 1004);
  EXPECT_EQ(e.oscode, 3);
  EXPECT_TRUE(e.canRetry && e.canDefault);
  EXPECT_EQ(e.procName, "DBCREATE");
  EXPECT_EQ(db::currentArea(), 4);
  EXPECT_EQ(db::tableIn(1), nullptr);
}

}  // namespace
