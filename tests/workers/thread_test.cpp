// Thread layer: suspended creation, Resume, Terminate/Terminated, WaitFor.
#include <gtest/gtest.h>

#include <atomic>

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

TEST(Thread, NeverStartedThreadIsDestroyedWithoutWaiting) {
  auto *t = new CountingThread(true);
  t->WaitFor();  // returns at once
  delete t;
  SUCCEED();
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
