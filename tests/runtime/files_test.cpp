// FILE and FERASE against a real temporary folder. The OS layer checks the permission bits
// itself, so the read-only cases hold when the tests run as root too.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "rt/files.h"
#include "rt/os.h"
#include "testing.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::writeFile;

TEST(FileTest, FindsFilesNotFolders) {
  TempDir dir;
  writeFile("plantilla.csv", "x");
  writeFile(".oculto.csv", "x");
  writeFile("solo.csv", "x");
  fs::permissions("solo.csv", fs::perms::owner_read | fs::perms::group_read);
  fs::create_directory("inven.dbf");
  fs::create_directory("sub");
  writeFile("sub/dentro.txt", "x");

  struct Case {
    std::string name;
    bool found;
  };
  const Case cases[] = {
      {"plantilla.csv", true},
      {"PLANTILLA.CSV", false},  // names match as the file system does
      {".oculto.csv", true},
      {"solo.csv", true},  // hidden and read-only count
      {"inven.dbf", false},
      {"", false},  // a folder is not a file
      {"plantilla.csv/", false},
      {"plantilla.csv\\", false},
      {"falta.csv", false},
      // Wildcards: any matching entry that is not a folder.
      {"plan*.c?v", true},
      {"*.dbf", false},
      {"*.txt", false},
      {"??????????.csv", false},
      {"?????????.csv", true},
      // A directory part looks there only; a bare name only in the working folder.
      {"sub/dentro.txt", true},
      {"sub\\dentro.txt", true},
      {"dentro.txt", false},
      {"sub/*.txt", true},
      {"nada/dentro.txt", false},
  };
  for (const Case& c : cases) EXPECT_EQ(rt::FILE(c.name), c.found) << c.name;
}

TEST(FileTest, NamesOf264BytesOrMoreAreNeverFound) {
  TempDir dir;
  const std::string folder(200, 'd');
  fs::create_directory(folder);
  const std::string at263 = folder + "/" + std::string(62, 'f');
  const std::string at264 = folder + "/" + std::string(63, 'f');
  writeFile(at263, "x");
  writeFile(at264, "x");
  ASSERT_EQ(at263.size(), 263u);
  EXPECT_TRUE(rt::FILE(at263));
  EXPECT_FALSE(rt::FILE(at264));
}

TEST(FileTest, ResetsTheLastFileError) {
  TempDir dir;
  EXPECT_EQ(rt::FERASE("falta.ntx"), -1);
  EXPECT_EQ(rt::FERROR(), 2);
  rt::FILE("falta.ntx");
  EXPECT_EQ(rt::FERROR(), 0);
}

TEST(FErase, DeletesOrReportsTheWindowsCode) {
  TempDir dir;
  writeFile("borrar.dbf", "x");
  writeFile("solo.dbf", "x");
  fs::permissions("solo.dbf", fs::perms::owner_read);
  fs::create_directory("carpeta");
  fs::create_directory("cerrada");
  writeFile("cerrada/dentro.dbf", "x");
  fs::permissions("cerrada", fs::perms::owner_read | fs::perms::owner_exec);
  writeFile("abierta.dbf", "x");
  int code = 0;
  rt::os::OpenMode shared;
  shared.share = rt::os::Share::Shared;
  auto held = rt::os::os().open("abierta.dbf", rt::os::OpenMode{}, &code);
  ASSERT_TRUE(held) << code;
  writeFile("compartida.dbf", "x");
  auto heldShared = rt::os::os().open("compartida.dbf", shared, &code);
  ASSERT_TRUE(heldShared) << code;

  struct Case {
    std::string name;
    int result, ferror;
    bool stays;
  };
  const Case cases[] = {
      {"borrar.dbf", 0, 0, false},
      {"plantilla.ntx", -1, 2, false},
      {"nada/plantilla.ntx", -1, 3, false},
      {"solo.dbf", -1, 5, true},            // read-only file
      {"cerrada/dentro.dbf", -1, 5, true},  // file in a read-only folder
      {"carpeta", -1, 5, true},             // a folder
      {"abierta.dbf", -1, 32, true},        // held by this process under the table lock
      {"compartida.dbf", -1, 32, true},     // held shared
      {"*.dbf", -1, 2, false},              // no wildcards
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(rt::FERASE(c.name), c.result);
    if (c.result != 0) {
      EXPECT_EQ(rt::FERROR(), c.ferror);
    }
    EXPECT_EQ(fs::exists(c.name), c.stays);
  }
  held.reset();
  EXPECT_EQ(rt::FERASE("abierta.dbf"), 0);  // released: now it goes
  fs::permissions("cerrada", fs::perms::owner_all);
}

}  // namespace
