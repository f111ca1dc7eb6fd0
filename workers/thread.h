// Thread and lock classes of the worker layer, on std::thread and std::mutex.
//
// A TThread is created suspended or running, runs its Execute once on a
// thread of its own, and is stopped cooperatively: Terminate raises a flag
// that Execute polls.  The object never deletes itself (FreeOnTerminate stays
// false); the owner releases it, and the destructor of every concrete thread
// class stops and joins its thread first, so no joinable std::thread is ever
// destroyed.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

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

  // Starts a thread created suspended; has no effect once it has started.
  void Resume();
  // Asks Execute to return at its next look at Terminated().
  void Terminate() { m_terminated.store(true); }
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

 protected:
  explicit TThread(bool create_suspended) : m_suspended(create_suspended) {}
  // Called as the last step of the most-derived constructor: starts the
  // thread unless it was created suspended (Execute must not run before
  // the object is complete).
  void AfterConstruction();
  // Terminate, then WaitFor.
  void StopAndWait();

  virtual void Execute() = 0;

 private:
  void Run();

  bool m_suspended;
  std::mutex m_start_lock;  // guards m_thread against Resume racing WaitFor
  std::thread m_thread;
  std::atomic<bool> m_terminated{false};
  std::atomic<bool> m_finished{false};
};

// Sleeps the calling thread for ms milliseconds.
void ThreadSleepMs(int ms);
