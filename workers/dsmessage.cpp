// Failure-notice queue.
#include "dsmessage.h"

#include <chrono>
#include <ctime>
#include <mutex>

TDsMessage::~TDsMessage() {
  // At process exit nothing reads the notices any more.
  for (_DSMSG *msg : m_messages)
    delete msg;
}

void TDsMessage::Post(int32_t msg_id, _DSONEINFO *device, int32_t command, int32_t result) {
  if (!m_enabled.load())
    return;
  auto *msg = new _DSMSG;
  msg->time = DsLocalDateTime();
  msg->msg_id = msg_id;
  msg->device = device;
  msg->command = command;
  msg->result = result;
  std::lock_guard<TCriticalSection> hold(m_lock);
  msg->seq = m_next_seq++;
  m_messages.push_back(msg);
}

_DSMSG *TDsMessage::Take() {
  std::lock_guard<TCriticalSection> hold(m_lock);
  if (m_messages.empty())
    return nullptr;
  _DSMSG *msg = m_messages.front();
  m_messages.pop_front();
  return msg;
}

size_t TDsMessage::Count() {
  std::lock_guard<TCriticalSection> hold(m_lock);
  return m_messages.size();
}

TDsMessage &DsMessage() {
  static TDsMessage queue;
  return queue;
}

double DsLocalDateTime() {
  using namespace std::chrono;
  auto now = system_clock::now();
  time_t secs = system_clock::to_time_t(now);
  struct tm local;
  localtime_r(&secs, &local);
  // Seconds east of UTC at this moment, so the value reads as local time.
  double local_secs = static_cast<double>(secs) + static_cast<double>(local.tm_gmtoff);
  double frac = duration<double>(now.time_since_epoch()).count() - static_cast<double>(secs);
  // 25569 days lie between 30 December 1899 and 1 January 1970.
  return 25569.0 + (local_secs + frac) / 86400.0;
}
