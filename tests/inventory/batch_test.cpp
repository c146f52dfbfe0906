// tolvarimsek-batch run as a separate process in a temporary folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "testing.h"

namespace {

using testing_support::readFile;
using testing_support::writeFile;

struct Outcome {
  int code;
  std::string out, err;
};

// Runs the batch command in the current folder with the given environment prefix.
Outcome batch(const std::string& args, const std::string& env = "LANG=C LC_ALL=") {
  const std::string cmd = "env " + env + " " + TOLV_BATCH_EXE + " " + args + " >out.txt 2>err.txt";
  const int status = std::system(cmd.c_str());
  Outcome r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile("out.txt"), readFile("err.txt")};
  std::filesystem::remove("out.txt");
  std::filesystem::remove("err.txt");
  return r;
}

TEST(Batch, LoadPrintsTheStatusAndExitsZero) {
  testing_support::TempDir dir;
  writeFile("plantilla.csv", "A1,Tornillo,PZA,10,2.5,3,R1\r\n");
  Outcome r = batch("load");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Proceso terminado!\n");
  EXPECT_EQ(readFile("inven.dbf").size(), 676u);
  EXPECT_FALSE(std::filesystem::exists("Error.log"));

  r = batch("clear-folios 1 5");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "Folios eliminados. Listo!\n");
}

TEST(Batch, UsageErrors) {
  testing_support::TempDir dir;
  for (const char* args : {"", "frobnicate", "load extra", "clear-folios 1", "load --bogus"}) {
    Outcome r = batch(args);
    EXPECT_EQ(r.code, 2) << args;
    EXPECT_NE(r.err.find("Usage:"), std::string::npos) << args;
    EXPECT_TRUE(r.out.empty());
  }
  Outcome help = batch("--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("clear-folios FIRST LAST"), std::string::npos);
}

TEST(Batch, ErrorWritesTheLogAndQuits) {
  testing_support::TempDir dir;
  Outcome r = batch("clear-folios 1 2");
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.out.empty());  // Quit: the status is never set
  EXPECT_EQ(
      r.err,
      "DBUSEAREA(0) \nError DBFNTX/1001  Open error: inven.dbf\nArguments: ()\n(DOS Error 2)\n");

  const std::vector<std::string> log = testing_support::splitCrLf(readFile("Error.log"));
  ASSERT_GT(log.size(), 30u);
  EXPECT_EQ(log[0], std::string(31, '*') + " Error log file " + std::string(32, '*'));
  EXPECT_EQ(log[1], "");
  EXPECT_EQ(log[2].substr(0, 18), "             Exe: ");
  EXPECT_EQ(log[3], "         Version: 1.0.0.0");
  EXPECT_EQ(log[4].substr(0, 18), "       User name: ");
  EXPECT_EQ(log[5].substr(0, 18), "   Computer name: ");
  EXPECT_EQ(log[6].substr(0, 18), "            Date: ");
  EXPECT_EQ(log[6].size(), 26u);  // mm/dd/yy
  EXPECT_EQ(log[9], "    Current Area: 1");
  // The error fields and the trace out to MAIN.
  const std::string text = readFile("Error.log");
  for (const char* want :
       {"  Subsystem Call: DBFNTX\r\n", "     System Code: 1001\r\n", "  Default Status: .T.\r\n",
        "     Description: Open error\r\n", "   Involved File: inven.dbf\r\n",
        "  Dos Error Code: 2\r\n",
        "Trace Through:\r\n  DBUSEAREA (0)\r\n  TFORM1:BUTTON2CLICK (5)\r\n  MAIN (0)\r\n"})
    EXPECT_NE(text.find(want), std::string::npos) << want;
}

TEST(Batch, IgnoreErrorsGoesOnAndExitsOne) {
  testing_support::TempDir dir;
  Outcome r = batch("clear-folios 1 2 --ignore-errors");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "Folios eliminados. Listo!\n");
  EXPECT_NE(r.err.find("Error DBCMD/2001  Workarea not in use: DBEVAL"), std::string::npos);
}

TEST(Batch, SpanishUserGetsSpanishTexts) {
  testing_support::TempDir dir;
  Outcome r = batch("clear-folios 1 2", "LANG=es_MX.UTF-8 LC_ALL=");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("\nArgumentos: ()\n"), std::string::npos) << r.err;
  const std::string log = readFile("Error.log");
  EXPECT_EQ(log.find(" Registro de errores "), 29u);  // centred in 79 with asterisks
}

}  // namespace
