// What the user sees of an error: the language table, the message lines and "Error.log".
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "rt/callstack.h"
#include "rt/errortext.h"
#include "rt/launcher.h"
#include "rt/os.h"
#include "testing.h"

namespace {

using rt::ErrorObj;
using rt::Lang;
using rt::Value;

const std::vector<Lang> kAllLanguages = {Lang::Catalan,    Lang::German, Lang::English,
                                         Lang::Spanish,    Lang::French, Lang::Italian,
                                         Lang::Portuguese, Lang::Basque, Lang::Galician};

using testing_support::splitCrLf;

// The folio clearing's open of a missing "inven.dbf", made inside its call levels.
ErrorObj folioOpenError() {
  rt::CallFrame main("MAIN");
  rt::CallFrame click("TFORM1:BUTTON2CLICK", 4);
  rt::CallFrame use("DBUSEAREA");
  ErrorObj e = rt::makeError("DBFNTX", rt::gen::kOpen, 1001);
  e.filename = "inven.dbf";
  e.oscode = 2;
  e.canRetry = e.canDefault = true;
  return e;
}

TEST(Message, OpenErrorInEnglishAndSpanish) {
  const ErrorObj e = folioOpenError();
  EXPECT_EQ(rt::errorMessage(e, Lang::English),
            "DBUSEAREA(0) \r\n"
            "Error DBFNTX/1001  Open error: inven.dbf\r\n"
            "Arguments: ()\r\n"
            "(DOS Error 2)");
  EXPECT_EQ(rt::errorMessage(e, Lang::Spanish),
            "DBUSEAREA(0) \r\n"
            "Error DBFNTX/1001  Open error: inven.dbf\r\n"
            "Argumentos: ()\r\n"
            "(DOS Error 2)");
  EXPECT_EQ(rt::choicesFor(e),
            (std::vector<rt::Choice>{rt::Choice::Quit, rt::Choice::Retry, rt::Choice::Ignore}));
  EXPECT_EQ(rt::entry(32800, Lang::Spanish), "&Salir");
  EXPECT_EQ(rt::entry(32803, Lang::English), "&Details");
}

TEST(Message, ErrorLineVariants) {
  rt::CallFrame step("TFORM1:BUTTON2CLICK", 5);
  ErrorObj noArea = rt::makeError("DBCMD", rt::gen::kNoWorkarea, 2001);
  noArea.operation = "DBGOTOP";
  noArea.canDefault = true;
  EXPECT_EQ(rt::errorMessage(noArea, Lang::English),
            "TFORM1:BUTTON2CLICK(5) \r\n"
            "Error DBCMD/2001  Workarea not in use: DBGOTOP\r\n"
            "Arguments: ()");
  EXPECT_EQ(rt::choicesFor(noArea),
            (std::vector<rt::Choice>{rt::Choice::Quit, rt::Choice::Ignore}));

  ErrorObj width = rt::makeError("DBFNTX", rt::gen::kDataWidth, 1021);
  width.operation = "EXISTEN";
  EXPECT_EQ(rt::errorLine(width, Lang::English), "Error DBFNTX/1021  Data width error: EXISTEN");

  // The file name wins over the operation; severity 1 is a warning.
  ErrorObj both = width;
  both.filename = "plantilla.dbf";
  both.severity = 1;
  EXPECT_EQ(rt::errorLine(both, Lang::German),
            "Warnung DBFNTX/1021  Data width error: plantilla.dbf");
  EXPECT_EQ(rt::fallbackText(width, Lang::English),
            "Error DBFNTX/1021  Data width error: EXISTEN inside ERRORSYS, line: 5");
}

TEST(Message, ArgumentsLine) {
  ErrorObj e = rt::makeError("BASE", rt::gen::kArgument, 1110);
  e.args = {Value("abc"), Value(5), Value(true), Value(), Value(1.5)};
  for (int i = 6; i <= 10; ++i) e.args.push_back(Value(i));
  const std::vector<std::string> lines = splitCrLf(rt::errorMessage(e, Lang::English));
  ASSERT_EQ(lines.size(), 3u);
  const std::string first =
      "Arguments: ( [ 1] = Type: C Val: abc [ 2] = Type: N Val: 5 [ 3] = Type: L Val: .T."
      " [ 4] = Type: U Val: NIL [ 5] = Type: N Val: 1.5 [ 6] = Type: N Val: 6";
  EXPECT_EQ(lines[2].substr(0, first.size()), first);
  EXPECT_EQ(lines[2].substr(lines[2].size() - 24), " [10] = Type: N Val: 10)");
  e.args.resize(1);
  EXPECT_EQ(rt::argumentsText(e, Lang::Spanish), " [ 1] = Tipo: C Valor: abc");
}

TEST(FillIn, ReplacesOnlyTheValuesGiven) {
  EXPECT_EQ(rt::fillIn("%1 and %2 and %3", {"a", "b"}), "a and b and %3");
  EXPECT_EQ(rt::fillIn("%0 100% %", {"a"}), "%0 100% %");
  EXPECT_EQ(rt::fillIn("%1%2", {"%2", "x"}), "%2x");  // values are not filled in again
  EXPECT_EQ(rt::fillIn("%9", {"1", "2", "3", "4", "5", "6", "7", "8", "nine"}), "nine");
}

TEST(Language, FromCodeWithEnglishFallback) {
  struct Case {
    std::string_view code;
    Lang lang;
  };
  const Case cases[] = {
      {"es", Lang::Spanish},       {"es_MX.UTF-8", Lang::Spanish},
      {"ES", Lang::Spanish},       {"es-419", Lang::Spanish},
      {"ca_ES", Lang::Catalan},    {"de", Lang::German},
      {"fr_CA", Lang::French},     {"it", Lang::Italian},
      {"pt_BR", Lang::Portuguese}, {"eu", Lang::Basque},
      {"gl_ES", Lang::Galician},   {"en_GB", Lang::English},
      {"ja_JP", Lang::English},    {"", Lang::English},
      {"C", Lang::English},        {"est", Lang::English},
  };
  for (const Case& c : cases) EXPECT_EQ(rt::languageFromCode(c.code), c.lang) << c.code;
}

TEST(Language, UserLanguageComesFromTheOs) {
  testing_support::LanguageOs spanish("es"), japanese("ja");
  rt::os::setOs(&spanish);
  EXPECT_EQ(rt::userLanguage(), Lang::Spanish);
  rt::os::setOs(&japanese);
  EXPECT_EQ(rt::userLanguage(), Lang::English);
  rt::os::setOs(nullptr);
}

// Every language has every entry, in the code page of the log, with the English placeholders,
// distinct access keys on the four buttons, and the labels of the multi-line entries aligned.
TEST(Language, EveryColumnFollowsTheEnglishLayout) {
  for (Lang lang : kAllLanguages) {
    SCOPED_TRACE(static_cast<int>(lang));
    std::set<char> keys;
    for (int n = 32796; n <= 32814; ++n) {
      SCOPED_TRACE(n);
      const std::string_view text = rt::entry(n, lang);
      const std::string_view english = rt::entry(n, Lang::English);
      ASSERT_FALSE(text.empty());
      EXPECT_EQ(rt::utf8ToAnsi(text).find('?'), std::string::npos);
      for (char d = '1'; d <= '9'; ++d) {
        const std::string mark{'%', d};
        EXPECT_EQ(text.find(mark) != std::string_view::npos,
                  english.find(mark) != std::string_view::npos);
      }
      if (n >= 32800 && n <= 32803) {
        const std::size_t amp = text.find('&');
        ASSERT_NE(amp, std::string_view::npos);
        keys.insert(static_cast<char>(std::toupper(static_cast<unsigned char>(text[amp + 1]))));
      }
      const std::vector<std::string> lines = splitCrLf(std::string(text));
      const std::vector<std::string> englishLines = splitCrLf(std::string(english));
      ASSERT_EQ(lines.size(), englishLines.size());
      if (lines.size() == 1) continue;
      for (std::size_t i = 0; i < lines.size(); ++i) {
        if (englishLines[i].size() < 17 || englishLines[i][16] != ':') continue;
        const std::string ansi = rt::utf8ToAnsi(lines[i]);  // one byte a character
        EXPECT_EQ(ansi.find(": %"), 16u) << lines[i];
      }
    }
    EXPECT_EQ(keys.size(), 4u);
  }
}

TEST(CodePage, Windows1252BothWays) {
  EXPECT_EQ(rt::utf8ToAnsi("Informaci\xC3\xB3n \xE2\x82\xAC \xC3\x91"), "Informaci\xF3n \x80 \xD1");
  EXPECT_EQ(rt::utf8ToAnsi("\xE6\x97\xA5"), "?");  // not in the code page
  EXPECT_EQ(rt::utf8ToAnsi("a\xF1z"), "a\xF1z");   // raw table bytes stay
  EXPECT_EQ(rt::utf8ToAnsi("\xC0\x80\xED\xA0\x80"), "\xC0\x80\xED\xA0\x80");  // malformed
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(rt::utf8ToAnsi(rt::ansiToUtf8(all)), all);
}

// The variable parts of a log, fixed.
rt::LogFacts fixedFacts() {
  rt::LogFacts f;
  f.exePath = "/opt/tolvarimsek/tolvarimsek";
  f.userName = "ana";
  f.computerName = "caja1";
  f.date = "03/07/25";
  f.time = "09:05:01";
  f.freeMemoryKb = 123456;
  f.guiVersion = "Tolvarimsek platform 1.0";
  f.runtimeVersion = "Tolvarimsek runtime 1.0 (C++ 202002)";
  f.compiler = "GCC 12.2.0";
  f.platform = "Linux 6.1.0";
  return f;
}

TEST(Log, EnglishLayoutLineByLine) {
  ErrorObj e = folioOpenError();
  rt::WorkAreaReport areas;
  areas.currentArea = 2;
  areas.areas.push_back({2, "PLANTILLA", 14, "", "", 0, ""});
  areas.areas.push_back({1, "INVEN", 3, "FOLIO >= 5", "", 1, "CODIGO"});
  areas.areas.push_back({601, "FUERA", 1, "", "", 0, ""});  // past the logged range
  const std::string log = rt::buildErrorLog(e, Lang::English, fixedFacts(), areas);
  const std::vector<std::string> want = {
      std::string(31, '*') + " Error log file " + std::string(32, '*'),
      "",
      "             Exe: /opt/tolvarimsek/tolvarimsek",
      "         Version: 1.0.0.0",
      "       User name: ana",
      "   Computer name: caja1",
      "            Date: 03/07/25",
      "            Time: 09:05:01",
      "Available Memory: 123456",
      "    Current Area: 2",
      "",
      std::string(28, '-') + " Compiler Information " + std::string(29, '-'),
      "",
      "     GUI Version: Tolvarimsek platform 1.0",
      "        Compiler: Tolvarimsek runtime 1.0 (C++ 202002)",
      "  C/C++ Compiler: GCC 12.2.0",
      "Windows Platform: Linux 6.1.0",
      "",
      std::string(21, '-') + " Internal Error Handling Information " + std::string(21, '-'),
      "",
      "  Subsystem Call: DBFNTX",
      "     System Code: 1001",
      "  Default Status: .T.",
      "     Description: Open error",
      "       Operation: ",
      "       Arguments: ",
      "   Involved File: inven.dbf",
      "  Dos Error Code: 2",
      "",
      "Trace Through:",
      "  DBUSEAREA (0)",
      "  TFORM1:BUTTON2CLICK (4)",
      "  MAIN (0)",
      "",
      std::string(26, '-') + " Detailed Work Area Items " + std::string(27, '-'),
      "",
      "   Work Area No.: 1",
      "   Alias Alias  : INVEN",
      "  Current Recno : 3",
      "  Current Filter: FOLIO >= 5",
      "   Relation Exp.: ",
      "     Index Order: 1",
      "      Active Key: CODIGO",
      "",
      "   Work Area No.: 2",
      "   Alias Alias  : PLANTILLA",
      "  Current Recno : 14",
      "  Current Filter: ",
      "   Relation Exp.: ",
      "     Index Order: 0",
      "      Active Key: ",
      "",  // the last line ends with CR LF too
  };
  EXPECT_EQ(splitCrLf(log), want);
  EXPECT_EQ(log.find('\n'), log.find("\r\n") + 1);  // no bare line feeds
  for (const std::string& line : want) EXPECT_LE(line.size(), 79u);
}

TEST(Log, TraceStartsAtTheFailingLevelAndStopsAtMain) {
  ErrorObj e = rt::makeError("DBFNTX", rt::gen::kOpen, 1001);
  e.procName = "DBUSEAREA";
  e.procLine = 0;
  e.aaStack = {{"", "(b)TFORM1:BUTTON2CLICK", 0},
               {"", "DBUSEAREA", 0},
               {"", "TFORM1:BUTTON2CLICK", 7},
               {"", "MAIN", 0},
               {"", "STARTUP", 0}};
  const std::string log = rt::buildErrorLog(e, Lang::English, fixedFacts(), {});
  const std::string tail = log.substr(log.find("Trace Through:\r\n"));
  EXPECT_EQ(tail,
            "Trace Through:\r\n  DBUSEAREA (0)\r\n  TFORM1:BUTTON2CLICK (7)\r\n  MAIN (0)\r\n\r\n");
}

TEST(Log, SpanishHeadingsAreCentredByCharacters) {
  ErrorObj e = folioOpenError();
  rt::WorkAreaReport areas;
  areas.areas.push_back({1, "INVEN", 1, "", "", 0, ""});
  const std::vector<std::string> lines =
      splitCrLf(rt::buildErrorLog(e, Lang::Spanish, fixedFacts(), areas));
  auto centred = [](std::string_view text, std::size_t left, std::size_t right, char fill) {
    return std::string(left, fill) + std::string(text) + std::string(right, fill);
  };
  EXPECT_EQ(lines[0], centred(" Registro de errores ", 29, 29, '*'));
  // 28 characters (29 bytes): the odd fill character goes to the right.
  EXPECT_EQ(lines[11], centred(" Informaci\xC3\xB3n del compilador ", 25, 26, '-'));
  EXPECT_EQ(lines[18], centred(" Informaci\xC3\xB3n detallada del error ", 23, 23, '-'));
  EXPECT_EQ(lines[34],
            centred(" Informaci\xC3\xB3n detallada de \xC3\xA1reas de trabajo ", 18, 18, '-'));
  EXPECT_EQ(lines[6], "           Fecha: 03/07/25");
  EXPECT_EQ(lines[36], "            Area: 1");
}

TEST(Log, CurrentFactsFillTheVariableParts) {
  rt::setGuiVersionText("Tolvarimsek platform 1.0 (toolkit 9.9)");
  const rt::LogFacts f = rt::currentLogFacts();
  rt::setGuiVersionText("Tolvarimsek platform 1.0");
  EXPECT_EQ(f.guiVersion, "Tolvarimsek platform 1.0 (toolkit 9.9)");
  EXPECT_EQ(f.version, "1.0.0.0");
  EXPECT_FALSE(f.exePath.empty());
  EXPECT_FALSE(f.compiler.empty());
  ASSERT_EQ(f.date.size(), 8u);
  EXPECT_EQ(f.date[2], '/');
  EXPECT_EQ(f.date[5], '/');
  ASSERT_EQ(f.time.size(), 8u);
  EXPECT_EQ(f.time[2], ':');
}

class PrepareError : public ::testing::Test {
 protected:
  void SetUp() override { rt::setExitCode(0); }
  void TearDown() override {
    rt::setExitCode(0);
    rt::setWorkAreaReporter({});
  }
  testing_support::TempDir dir_;
};

TEST_F(PrepareError, WritesTheLogInTheCodePageAndSetsTheExitCode) {
  testing_support::writeFile("Error.log", std::string(100000, '\x01'));  // an older, longer log
  rt::setWorkAreaReporter([] {
    rt::WorkAreaReport r;
    r.currentArea = 2;
    r.areas.push_back({1, "INVEN", 1, "", "", 0, ""});
    return r;
  });
  const ErrorObj e = folioOpenError();
  const rt::PreparedError p = rt::prepareError(e, Lang::Spanish);
  EXPECT_TRUE(p.logWritten);
  EXPECT_EQ(rt::exitCode(), 1);
  EXPECT_EQ(p.message, rt::errorMessage(e, Lang::Spanish));
  EXPECT_EQ(p.choices.size(), 3u);

  const std::string bytes = testing_support::readFile("Error.log");
  EXPECT_EQ(bytes.substr(0, 81),
            std::string(29, '*') + " Registro de errores " + std::string(29, '*') + "\r\n");
  EXPECT_NE(bytes.find(std::string(25, '-') + " Informaci\xF3n del compilador " +
                       std::string(26, '-') + "\r\n"),
            std::string::npos);
  EXPECT_NE(bytes.find("     Area actual: 2\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("           Alias: INVEN\r\n"), std::string::npos);
  EXPECT_EQ(bytes.find('\x01'), std::string::npos);  // replaced, not overwritten in place
  for (std::size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1))
    ASSERT_EQ(bytes[at - 1], '\r') << at;
}

TEST_F(PrepareError, ExitCodeIsSetWhenTheLogCannotBeCreated) {
  std::filesystem::create_directory("Error.log");
  const rt::PreparedError p = rt::prepareError(folioOpenError(), Lang::English);
  EXPECT_FALSE(p.logWritten);
  EXPECT_EQ(rt::exitCode(), 1);
  EXPECT_EQ(p.message.substr(0, 14), "DBUSEAREA(0) \r");
  EXPECT_TRUE(std::filesystem::is_directory("Error.log"));
}

}  // namespace
