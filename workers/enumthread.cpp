// Search thread.
#include "enumthread.h"

namespace {
thread_local TEnumThread *tls_current = nullptr;
}

TEnumThread::TEnumThread(bool create_suspended) : TThread(create_suspended) { AfterConstruction(); }

// Execute never looks at Terminated: a search ends only when ds_search
// returns, and destruction waits for that.
TEnumThread::~TEnumThread() { WaitFor(); }

TEnumThread *TEnumThread::Current() { return tls_current; }

void TEnumThread::Execute() {
  tls_current = this;
  ds_set_search_params(m_pass_time, m_pass_count);
  // The devices are in the device list; the result tells it whether the
  // search could be carried out at all.
  if (m_prefix_len < 32)
    m_result.store(ds_search_subnet(m_target, m_prefix_len, m_callback));
  else
    m_result.store(ds_search(m_target, m_callback));
  tls_current = nullptr;
  m_done.store(1);
}
