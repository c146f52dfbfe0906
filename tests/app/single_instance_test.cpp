// One copy per session: a second copy, or any process holding the lock, ends at once with exit
// code 0; once the holder is gone a new copy starts normally.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <cstdlib>
#include <fstream>
#include <string>

#include "gui/instance_lock.h"
#include "testing.h"

namespace {

// A private lock folder, so that the tests meet neither a running program nor each other.
class LockFolderScope {
 public:
  LockFolderScope() {
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) old_ = old, had_ = true;
    setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
  }
  ~LockFolderScope() {
    if (had_)
      setenv("XDG_RUNTIME_DIR", old_.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
  }
  testing_support::TempDir dir_;

 private:
  std::string old_;
  bool had_ = false;
};

void start(QProcess& p) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  p.setProcessEnvironment(env);
  p.setProgram(TOLV_APP_EXE);
  p.start();
  ASSERT_TRUE(p.waitForStarted(10000));
}

// True once the process holds an flock on some file (the kernel lists it in /proc/locks).
bool holdsLock(const QProcess& p, int waitMs = 15000) {
  const std::string pid = " " + std::to_string(p.processId()) + " ";
  for (int waited = 0; waited <= waitMs; waited += 20) {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);)
      if (line.find("FLOCK") != std::string::npos && line.find(pid) != std::string::npos)
        return true;
    QThread::msleep(20);
  }
  return false;
}

void expectEndsAtOnceWithZero(QProcess& p) {
  ASSERT_TRUE(p.waitForFinished(15000)) << "the copy kept running";
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0);
}

void stop(QProcess& p) {
  p.kill();
  p.waitForFinished(10000);
}

TEST(SingleInstance, SecondCopyEndsWhileTheFirstRunsAndANewOneStartsAfter) {
  LockFolderScope folder;
  QProcess first;
  start(first);
  ASSERT_TRUE(holdsLock(first));

  QProcess second;
  start(second);
  expectEndsAtOnceWithZero(second);
  EXPECT_EQ(first.state(), QProcess::Running);

  // The system releases the lock when the holder dies, however it dies.
  stop(first);
  QProcess third;
  start(third);
  EXPECT_TRUE(holdsLock(third));
  EXPECT_EQ(third.state(), QProcess::Running);
  stop(third);
}

TEST(SingleInstance, AnyHolderOfTheLockStopsTheProgram) {
  LockFolderScope folder;
  {
    gui::NamedLock lock("Tolvarimsek");
    ASSERT_EQ(lock.tryAcquire(), gui::NamedLock::Result::Granted);
    gui::NamedLock again("Tolvarimsek");
    EXPECT_EQ(again.tryAcquire(), gui::NamedLock::Result::HeldElsewhere);
    QProcess copy;
    start(copy);
    expectEndsAtOnceWithZero(copy);
  }
  // A lock of another name does not count.
  gui::NamedLock other("Tolvarimsek2");
  ASSERT_EQ(other.tryAcquire(), gui::NamedLock::Result::Granted);
  QProcess copy;
  start(copy);
  EXPECT_TRUE(holdsLock(copy));
  stop(copy);
}

}  // namespace
