// TThread on POSIX threads.
#include "thread.h"

#include <cassert>
#include <chrono>
#include <thread>

namespace {
std::atomic<int> s_failing_starts{0};
std::atomic<int> s_failing_error{0};

// The test hook's refusal, if one is armed: its error, else 0.
int TakeInjectedFailure() {
  int left = s_failing_starts.load();
  while (left > 0) {
    if (s_failing_starts.compare_exchange_weak(left, left - 1))
      return s_failing_error.load();
  }
  return 0;
}
}  // namespace

TThread::~TThread() {
  // Normally a no-op: concrete classes stop and join in their destructor.
  StopAndWait();
}

void TThread::FailStartsForTesting(int count, int error) {
  s_failing_error.store(error);
  s_failing_starts.store(count);
}

void TThread::AfterConstruction() {
  if (!m_suspended)
    Resume();
}

void TThread::Resume() {
  std::lock_guard<std::mutex> hold(m_start_lock);
  if (m_joinable || m_finished.load() || m_start_error.load() != 0)
    return;
  m_suspended = false;
  int rc = TakeInjectedFailure();
  if (rc == 0) {
    pthread_attr_t attr;
    rc = pthread_attr_init(&attr);
    if (rc == 0) {
      if (m_stack_size != 0)
        rc = pthread_attr_setstacksize(&attr, m_stack_size);
      if (rc == 0)
        rc = pthread_create(&m_thread, &attr, &TThread::Entry, this);
      pthread_attr_destroy(&attr);
    }
  }
  if (rc == 0)
    m_joinable = true;
  else
    m_start_error.store(rc);
}

void *TThread::Entry(void *self) {
  auto *t = static_cast<TThread *>(self);
  t->Execute();
  t->m_finished.store(true);
  return nullptr;
}

void TThread::Terminate() {
  {
    // Under the wake lock, so a thread between its look at the flag and its
    // wait cannot miss the notification.
    std::lock_guard<std::mutex> hold(m_wake_lock);
    m_terminated.store(true);
  }
  m_wake_cv.notify_all();
}

void TThread::Wake() {
  {
    std::lock_guard<std::mutex> hold(m_wake_lock);
    m_woken = true;
  }
  m_wake_cv.notify_all();
}

void TThread::WaitForWork() {
  std::unique_lock<std::mutex> hold(m_wake_lock);
  m_wake_cv.wait(hold, [this] { return m_woken || m_terminated.load(); });
  m_woken = false;
}

void TThread::SleepUnlessTerminated(int ms) {
  std::unique_lock<std::mutex> hold(m_wake_lock);
  m_wake_cv.wait_for(hold, std::chrono::milliseconds(ms), [this] { return m_terminated.load(); });
}

void TThread::WaitFor() {
  std::lock_guard<std::mutex> hold(m_start_lock);
  if (m_joinable) {
    pthread_join(m_thread, nullptr);
    m_joinable = false;
  }
}

void TThread::StopAndWait() {
  Terminate();
  WaitFor();
}

void TThread::SetFreeOnTerminate(bool value) {
  assert(!value && "self-deleting threads are not supported");
  (void)value;
}

void ThreadSleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
