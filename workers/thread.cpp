// TThread on std::thread.
#include "thread.h"

#include <cassert>
#include <chrono>

TThread::~TThread() {
  // Normally a no-op: concrete classes stop and join in their destructor.
  StopAndWait();
}

void TThread::AfterConstruction() {
  if (!m_suspended)
    Resume();
}

void TThread::Resume() {
  std::lock_guard<std::mutex> hold(m_start_lock);
  if (m_thread.joinable() || m_finished.load())
    return;
  m_suspended = false;
  m_thread = std::thread([this] { Run(); });
}

void TThread::Run() {
  Execute();
  m_finished.store(true);
}

void TThread::WaitFor() {
  std::lock_guard<std::mutex> hold(m_start_lock);
  if (m_thread.joinable())
    m_thread.join();
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
