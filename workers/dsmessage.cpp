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

namespace {

// The local time's fields as seconds since 1970 read as UTC: the local time
// as a count of seconds, whatever the host's time zone calls (days from the
// civil date, proleptic Gregorian calendar).
double FieldsAsSeconds(const struct tm &t) {
  long long y = t.tm_year + 1900LL - (t.tm_mon < 2 ? 1 : 0);
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long m = t.tm_mon + 1;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + t.tm_mday - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long days = era * 146097 + doe - 719468;
  return static_cast<double>(days * 86400LL + t.tm_hour * 3600LL + t.tm_min * 60LL + t.tm_sec);
}

}  // namespace

double DsLocalDateTime() {
  using namespace std::chrono;
  auto now = system_clock::now();
  time_t secs = system_clock::to_time_t(now);
  // std::localtime shares one buffer in the C library: one caller at a time.
  static std::mutex lock;
  struct tm local;
  {
    std::lock_guard<std::mutex> hold(lock);
    local = *std::localtime(&secs);
  }
  double local_secs = FieldsAsSeconds(local);
  double frac = duration<double>(now.time_since_epoch()).count() - static_cast<double>(secs);
  // 25569 days lie between 30 December 1899 and 1 January 1970.
  return 25569.0 + (local_secs + frac) / 86400.0;
}
