// Thread layer: suspended creation, Resume, Terminate/Terminated, WaitFor,
// the work wait and its wake-ups, a start the system refuses.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>

#include "thread.h"
#include "wait.h"

namespace {

class CountingThread final : public TThread {
 public:
  explicit CountingThread(bool suspended) : TThread(suspended) { AfterConstruction(); }
  ~CountingThread() override { StopAndWait(); }
  std::atomic<int> loops{0};
  std::atomic<bool> started{false};

 protected:
  void Execute() override {
    started = true;
    while (!Terminated()) {
      loops++;
      ThreadSleepMs(1);
    }
  }
};

TEST(Thread, SuspendedThreadRunsOnlyAfterResume) {
  CountingThread t(true);
  ThreadSleepMs(30);
  EXPECT_FALSE(t.started.load());
  EXPECT_FALSE(t.Finished());
  t.Resume();
  EXPECT_TRUE(velatest::WaitUntil([&] { return t.started.load(); }, 5000));
  t.Resume();  // a second Resume changes nothing
  t.Terminate();
  EXPECT_TRUE(t.Terminated());
  t.WaitFor();
  EXPECT_TRUE(t.Finished());
  int loops = t.loops.load();
  ThreadSleepMs(10);
  EXPECT_EQ(loops, t.loops.load());
}

TEST(Thread, RunningThreadStartsAtOnce) {
  CountingThread t(false);
  EXPECT_TRUE(velatest::WaitUntil([&] { return t.started.load(); }, 5000));
  EXPECT_FALSE(t.FreeOnTerminate());
}

// Runs job on a thread of its own; true when it returned within timeout_ms.
// A job that hangs is left behind (with what it holds), so the test fails
// instead of hanging.
template <typename F>
bool ReturnsWithin(F job, int timeout_ms) {
  auto returned = std::make_shared<std::atomic<bool>>(false);
  std::thread runner([job, returned] {
    job();
    returned->store(true);
  });
  bool ok = velatest::WaitUntil([&] { return returned->load(); }, timeout_ms);
  if (ok)
    runner.join();
  else
    runner.detach();
  return ok;
}

TEST(Thread, NeverStartedThreadIsDestroyedWithoutWaiting) {
  auto *t = new CountingThread(true);
  EXPECT_EQ(t->StartError(), 0);
  // Generous bound: WaitFor and the destructor return at once.
  ASSERT_TRUE(ReturnsWithin([t] { t->WaitFor(); }, 5000)) << "WaitFor on a never-started thread";
  EXPECT_FALSE(t->started.load());
  EXPECT_FALSE(t->Finished());
  ASSERT_TRUE(ReturnsWithin([t] { delete t; }, 5000)) << "destroying a never-started thread";
}

// Sleeps in WaitForWork between rounds, as the request threads do.
class WaitingThread final : public TThread {
 public:
  WaitingThread() : TThread(false, 256 * 1024) { AfterConstruction(); }
  ~WaitingThread() override { StopAndWait(); }
  void Post() {
    posted++;
    Wake();
  }
  std::atomic<int> posted{0}, handled{0}, rounds{0};

 protected:
  void Execute() override {
    while (!Terminated()) {
      rounds++;
      while (handled.load() < posted.load())
        handled++;
      WaitForWork();
    }
  }
};

TEST(Thread, WakeAndTerminateEndTheWaitForWork) {
  WaitingThread t;
  ASSERT_EQ(t.StartError(), 0);
  ASSERT_TRUE(velatest::WaitUntil([&] { return t.rounds.load() >= 1; }, 5000));
  ThreadSleepMs(50);
  // Asleep without work: no rounds go by.
  int rounds = t.rounds.load();
  ThreadSleepMs(100);
  EXPECT_EQ(t.rounds.load(), rounds) << "an idle thread must sleep";
  // Work posted to the sleeping thread is taken at once (generous bound).
  t.Post();
  EXPECT_TRUE(velatest::WaitUntil([&] { return t.handled.load() == 1; }, 5000));
  // Terminate wakes it too: it ends without further Wake.
  ThreadSleepMs(50);
  t.Terminate();
  EXPECT_TRUE(velatest::WaitUntil([&] { return t.Finished(); }, 5000)) << "Terminate must wake";
  if (!t.Finished())
    t.Post();  // let the destructor end after a failure
}

TEST(Thread, StartRefusedBySystemIsReportedNotThrown) {
  TThread::FailStartsForTesting(1, EAGAIN);
  CountingThread refused(false);
  EXPECT_EQ(refused.StartError(), EAGAIN);
  refused.Resume();  // no second try
  EXPECT_EQ(refused.StartError(), EAGAIN);
  ThreadSleepMs(20);
  EXPECT_FALSE(refused.started.load());
  refused.WaitFor();  // returns at once
  CountingThread next(false);  // the refusal was for one start only
  EXPECT_EQ(next.StartError(), 0);
  EXPECT_TRUE(velatest::WaitUntil([&] { return next.started.load(); }, 5000));
}

TEST(CriticalSection, SerialisesWriters) {
  TCriticalSection cs;
  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 100000; i++) {
      cs.Enter();
      counter++;
      cs.Leave();
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 200000);
}

}  // namespace
