// The error launcher and handler, Break unwinding, call levels and working variables.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "rt/callstack.h"
#include "rt/error.h"
#include "rt/handler.h"
#include "rt/launcher.h"
#include "rt/workvars.h"
#include "testing.h"

namespace {

using rt::Choice;
using rt::ErrorObj;
using rt::Value;
using testing_support::HandlerScope;

ErrorObj openError(int oscode = 2) {
  ErrorObj e = rt::makeError("DBFNTX", rt::gen::kOpen, 1001);
  e.filename = "inven.dbf";
  e.oscode = oscode;
  e.canRetry = e.canDefault = true;
  return e;
}

TEST(Launcher, RetriesCountInTries) {
  HandlerScope scope({Choice::Retry, Choice::Retry});
  ErrorObj e = openError();
  int attempts = 0;
  // The operation fails twice and succeeds on its third try.
  while (++attempts < 3) ASSERT_EQ(rt::raise(e), rt::Answer::Retry);
  EXPECT_EQ(e.tries, 2);
  ASSERT_EQ(scope.presenter.shown.size(), 2u);
  EXPECT_EQ(scope.presenter.shown[1].tries, 1);  // as the second dialog saw it
  EXPECT_EQ(rt::dosError(), 2);
}

TEST(Launcher, IgnoreIsDefaultAndQuitIsBreak) {
  HandlerScope scope({Choice::Ignore});
  ErrorObj e = openError();
  EXPECT_EQ(rt::raise(e), rt::Answer::Default);
  EXPECT_EQ(e.tries, 0);
  EXPECT_THROW(rt::raise(e), rt::Break);  // the script ran out: Quit
  // Once a break is under way, every raise answers break without asking anyone.
  ErrorObj later = openError();
  EXPECT_THROW(rt::raise(later), rt::Break);
  EXPECT_EQ(scope.presenter.shown.size(), 2u);
}

TEST(Handler, DecisionList) {
  struct Case {
    int gencode, oscode;
    bool canDefault;
    bool absorbed;
  };
  const Case cases[] = {
      {rt::gen::kOpen, 32, true, true},         // held by another program
      {rt::gen::kOpen, 32, false, false},       // ... but default not allowed
      {rt::gen::kOpen, 2, true, false},         // missing file
      {rt::gen::kAppendLock, 0, true, true},    // append lock failed
      {rt::gen::kAppendLock, 0, false, false},  //
      {rt::gen::kNoWorkarea, 0, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.gencode) + "/" + std::to_string(c.oscode));
    HandlerScope scope({Choice::Ignore});
    rt::setNetErr(false);
    ErrorObj e = rt::makeError("DBFNTX", c.gencode, 1000);
    e.oscode = c.oscode;
    e.canDefault = c.canDefault;
    const Value r = rt::handleError(e, scope.presenter);
    EXPECT_TRUE(r.isLogical() && !r.logical());
    EXPECT_EQ(scope.presenter.shown.empty(), c.absorbed);
    EXPECT_EQ(rt::netErr(), c.absorbed);
  }
  // Division by zero gives 0 without a word.
  HandlerScope scope;
  ErrorObj zero = rt::makeError("BASE", rt::gen::kZeroDivisor, 1340);
  const Value r = rt::handleError(zero, scope.presenter);
  EXPECT_TRUE(r.isInteger() && r.integer() == 0);
  EXPECT_TRUE(scope.presenter.shown.empty());
}

TEST(Handler, AbsorbedOpenThroughTheLauncher) {
  HandlerScope scope;
  ErrorObj e = openError(32);
  EXPECT_EQ(rt::raise(e), rt::Answer::Default);
  EXPECT_TRUE(scope.presenter.shown.empty());
  EXPECT_TRUE(rt::netErr());
  EXPECT_EQ(rt::dosError(), 32);
  EXPECT_EQ(rt::exitCode(), 0);
}

class LauncherDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(LauncherDeathTest, AnswerTheObjectDoesNotAllow) {
  EXPECT_EXIT(
      {
        HandlerScope scope({Choice::Retry});
        ErrorObj e = rt::makeError("DBFNTX", rt::gen::kDataWidth, 1021);
        e.canDefault = true;  // Quit and Ignore only
        rt::raise(e);
      },
      ::testing::ExitedWithCode(1), "Unrecoverable error 9001: Error recovery failure");
}

TEST_F(LauncherDeathTest, NoHandler) {
  EXPECT_EXIT(
      {
        rt::setErrorBlock({});
        ErrorObj e = openError();
        rt::raise(e);
      },
      ::testing::ExitedWithCode(1), "Unrecoverable error 9002: No ERRORBLOCK\\(\\) for error");
}

TEST_F(LauncherDeathTest, EightNestedLaunchesAtMost) {
  EXPECT_EXIT(
      {
        static int handlers = 0;
        rt::setErrorBlock([](ErrorObj&) -> Value {
          ++handlers;
          ErrorObj inner = openError();
          rt::raise(inner);
          return false;
        });
        rt::setUnrecoverableNotifier([](const std::string& caption, const std::string& text) {
          std::fprintf(stderr, "%s%s after %d handlers\n", caption.c_str(), text.c_str(), handlers);
        });
        ErrorObj e = openError();
        rt::raise(e);
      },
      ::testing::ExitedWithCode(1),
      "Unrecoverable error 9003: Too many recursive error handler calls after 8 handlers");
}

// Quit deep inside an action: nothing after the failed step runs, no working variable and no
// call level is left behind, and the dispatcher is where Break lands.
TEST(Break, UnwindsTheActionAndDropsItsVariables) {
  HandlerScope scope;  // Quit
  bool stepAfterRan = false;
  auto useArea = [] {
    rt::CallFrame level("DBUSEAREA");
    ErrorObj e = openError();
    while (rt::raise(e) == rt::Answer::Retry) {
    }
  };
  auto button2Click = [&] {
    rt::ActionScope vars;
    rt::CallFrame level("TFORM1:BUTTON2CLICK", 1);
    rt::assignVar("FOLIO1", Value(5));
    level.setLine(3);
    useArea();
    stepAfterRan = true;
    rt::assignVar("FOLIO2", Value(7));
  };
  rt::CallFrame main("MAIN");
  EXPECT_THROW(button2Click(), rt::Break);
  EXPECT_FALSE(stepAfterRan);
  EXPECT_EQ(rt::varCount(), 0u);
  EXPECT_EQ(rt::innermostFrame(), &main);
  ASSERT_EQ(scope.presenter.shown.size(), 1u);
  EXPECT_EQ(scope.presenter.shown[0].procName, "DBUSEAREA");
}

TEST(CallLevels, InnermostLevelNamesTheError) {
  rt::CallFrame main("MAIN", 0, "tolvarimsek");
  rt::CallFrame click("TFORM1:BUTTON1CLICK", 12, "form1");
  ErrorObj atStep = rt::makeError("BASE", rt::gen::kNoVariable, 1003);
  EXPECT_EQ(atStep.procName, "TFORM1:BUTTON1CLICK");
  EXPECT_EQ(atStep.procLine, 12);
  EXPECT_EQ(atStep.moduleName, "form1");
  click.setLine(30);
  {
    rt::CallFrame block("(b)TFORM1:BUTTON1CLICK");
    rt::CallFrame op("DBEVAL");
    ErrorObj inner = rt::makeError("DBCMD", rt::gen::kNoWorkarea, 2001);
    EXPECT_EQ(inner.procName, "DBEVAL");
    EXPECT_EQ(inner.procLine, 0);
    std::string stack;
    for (const rt::CallLevel& l : inner.aaStack)
      stack += l.proc + "(" + std::to_string(l.line) + ") ";
    EXPECT_EQ(stack, "DBEVAL(0) (b)TFORM1:BUTTON1CLICK(0) TFORM1:BUTTON1CLICK(30) MAIN(0) ");
  }
  EXPECT_EQ(rt::activeLevels().size(), 2u);
}

class WorkVars : public ::testing::Test {
 protected:
  void TearDown() override { rt::setFieldReader({}); }
  rt::ActionScope vars_;
};

TEST_F(WorkVars, FieldFirstThenVariable) {
  rt::setFieldReader([](std::string_view name) -> std::optional<Value> {
    if (name == "CODIGO" || name == "codigo") return Value("A1");
    return std::nullopt;
  });
  rt::assignVar("codigo", Value("mine"));  // never writes the field
  rt::assignVar("Coma", Value(0));
  rt::assignVar("COMA", Value(3));  // names match in any case
  EXPECT_EQ(rt::readName("CODIGO").text(), "A1");
  EXPECT_EQ(rt::findVar("CODIGO")->text(), "mine");
  EXPECT_EQ(rt::readName("coma").integer(), 3);
  EXPECT_EQ(rt::varCount(), 2u);
}

TEST_F(WorkVars, MissingNameRaisesAndRetryLooksFieldFirstAgain) {
  HandlerScope scope({Choice::Retry, Choice::Retry});
  int looks = 0;
  // The field shows up on the third look (another table became current meanwhile).
  rt::setFieldReader([&](std::string_view) -> std::optional<Value> {
    return ++looks == 3 ? std::optional<Value>(Value(9)) : std::nullopt;
  });
  EXPECT_EQ(rt::readName("FOLIO").integer(), 9);
  ASSERT_EQ(scope.presenter.shown.size(), 2u);
  const ErrorObj& e = scope.presenter.shown[1];
  EXPECT_EQ(e.subsystem, "BASE");
  EXPECT_EQ(e.gencode, 14);
  EXPECT_EQ(e.subcode, 1003);
  EXPECT_EQ(e.description, "Variable does not exist");
  EXPECT_EQ(e.operation, "FOLIO");
  EXPECT_TRUE(e.canRetry);
  EXPECT_FALSE(e.canDefault);
  EXPECT_EQ(e.tries, 1);  // the same object, raised again
}

}  // namespace
