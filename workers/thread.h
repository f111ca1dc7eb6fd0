// Thread and lock classes of the worker layer, on POSIX threads and
// std::mutex.
//
// A TThread is created suspended or running, runs its Execute once on a
// thread of its own, and is stopped cooperatively: Terminate raises a flag
// that Execute looks at, and wakes the thread if it sleeps in one of the
// waits below.  The object never deletes itself (FreeOnTerminate stays
// false); the owner releases it, and the destructor of every concrete thread
// class stops and joins its thread first.
//
// Starting a thread can fail (no memory for its stack, the process's thread
// limit): the failure never throws; StartError() tells it, and the object is
// then a thread that never ran (WaitFor returns at once).
#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>

class TCriticalSection {
 public:
  TCriticalSection() = default;
  TCriticalSection(const TCriticalSection &) = delete;
  TCriticalSection &operator=(const TCriticalSection &) = delete;

  void Enter() { m_mutex.lock(); }
  void Leave() { m_mutex.unlock(); }

  // Lets std::lock_guard / std::unique_lock take the section.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::mutex m_mutex;
};

class TThread {
 public:
  TThread(const TThread &) = delete;
  TThread &operator=(const TThread &) = delete;
  // Joins a thread that is still running; concrete classes call
  // StopAndWait() in their own destructor, before their fields go away.
  virtual ~TThread();

  // Starts a thread created suspended; has no effect once it has started
  // or once a start has failed.
  void Resume();
  // 0 while the thread has started or has not been asked to start yet; the
  // error number (errno value) when starting it failed.
  int StartError() const { return m_start_error.load(); }
  // Asks Execute to return at its next look at Terminated() and ends any
  // wait of WaitForWork or SleepUnlessTerminated at once.
  void Terminate();
  bool Terminated() const { return m_terminated.load(); }
  // Waits until Execute has returned; returns at once for a thread that
  // was never started.
  void WaitFor();
  // True once Execute has returned.
  bool Finished() const { return m_finished.load(); }

  // Self-deleting threads are not supported: the flag is kept so that the
  // creation steps of every owner read the same, and only false is accepted.
  bool FreeOnTerminate() const { return false; }
  void SetFreeOnTerminate(bool value);

  // Test hook: the next count starts (process-wide) fail with error as if
  // the system had refused the thread.  0 ends it.
  static void FailStartsForTesting(int count, int error);

 protected:
  // stack_size 0 keeps the system's default stack size.
  explicit TThread(bool create_suspended, size_t stack_size = 0)
      : m_suspended(create_suspended), m_stack_size(stack_size) {}
  // Called as the last step of the most-derived constructor: starts the
  // thread unless it was created suspended (Execute must not run before
  // the object is complete).
  void AfterConstruction();
  // Terminate, then WaitFor.
  void StopAndWait();

  // Signals that there is work: the next (or a running) WaitForWork
  // returns.  Any thread may call it.
  void Wake();
  // On the thread itself: sleeps until Wake or Terminate.  A Wake that came
  // since the last return of WaitForWork makes it return at once, so work
  // announced between the thread's last look and this call is never missed.
  void WaitForWork();
  // On the thread itself: sleeps ms milliseconds; only Terminate ends the
  // sleep early (Wake does not).
  void SleepUnlessTerminated(int ms);

  virtual void Execute() = 0;

 private:
  static void *Entry(void *self);

  bool m_suspended;
  size_t m_stack_size;
  std::mutex m_start_lock;  // guards m_thread/m_joinable against Resume racing WaitFor
  pthread_t m_thread{};
  bool m_joinable = false;
  std::atomic<int> m_start_error{0};
  std::atomic<bool> m_terminated{false};
  std::atomic<bool> m_finished{false};

  std::mutex m_wake_lock;  // guards m_woken; pairs with m_wake_cv
  std::condition_variable m_wake_cv;
  bool m_woken = false;
};

// Sleeps the calling thread for ms milliseconds.
void ThreadSleepMs(int ms);
