// The Windows side of the socket seam, under wine in a namespace with only a
// loopback (scripts/wine-run): what differs from POSIX sockets must not
// change what the engine sees.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <cstring>
#include <vector>

#include "dsapi.h"
#include "netns.h"
#include "sockio.h"
#include "tqsock.h"
#include "wire_text.h"

namespace {

using velatest::Ip;

class Sockets : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!velatest::InLoopbackOnlyNamespace())
      GTEST_SKIP() << "sends only where nothing can leave: run under scripts/wine-run";
    ASSERT_TRUE(sockio_startup());
    started_ = true;
  }
  void TearDown() override {
    for (sockio_t s : open_) sockio_close(s);
    if (started_) sockio_cleanup();
  }
  // A UDP socket on 127.0.0.1 and its port.
  sockio_t Bound(uint16_t *port) {
    const sockio_t s = sockio_open_udp(false);
    EXPECT_NE(s, SOCKIO_INVALID);
    EXPECT_TRUE(sockio_bind(s, Ip("127.0.0.1"), 0));
    *port = sockio_bound_port(s);
    open_.push_back(s);
    return s;
  }
  // A set of one socket, as tqsock_open_set makes it.
  static _TQSOCKSET SetOf(sockio_t s) {
    _TQSOCKSET set{};
    for (auto &e : set.sock) e.fd = SOCKIO_INVALID;
    set.count = 1;
    set.sock[0].fd = s;
    set.sock[0].local_ip = Ip("127.0.0.1");
    return set;
  }
  // Polls until a datagram came (or 200 polls went by).
  static int PollOnce(_TQSOCKSET *set, uint8_t *buf, size_t cap, size_t *len, uint32_t *src) {
    uint32_t local = 0;
    for (int i = 0; i < 200; ++i) {
      bool readable = false;
      sockio_wait(&set->sock[0].fd, 1, false, 10, &readable, nullptr);
      if (readable) return tqsock_poll(set, buf, cap, len, src, nullptr, &local);
    }
    return tqsock_poll(set, buf, cap, len, src, nullptr, &local);
  }

  bool started_ = false;
  std::vector<sockio_t> open_;
};

// A datagram longer than 2048 bytes (WSAEMSGSIZE on Windows) is dropped
// whole, as if nothing had come, and the next one is read as usual.
TEST_F(Sockets, OversizedDatagramIsDiscardedNotAFailure) {
  uint16_t rx_port = 0, tx_port = 0;
  const sockio_t rx = Bound(&rx_port);
  const sockio_t tx = Bound(&tx_port);
  const std::vector<uint8_t> big(3000, 0xAB);
  const uint8_t small[] = {1, 2, 3, 4};
  ASSERT_TRUE(sockio_send_to(tx, Ip("127.0.0.1"), rx_port, big.data(), big.size()));
  ASSERT_TRUE(sockio_send_to(tx, Ip("127.0.0.1"), rx_port, small, sizeof small));
  _TQSOCKSET set = SetOf(rx);
  uint8_t buf[64];
  size_t len = 99;
  uint32_t src = 0;
  ASSERT_EQ(PollOnce(&set, buf, sizeof buf, &len, &src), TQ_OK);
  EXPECT_EQ(len, 0u) << "the 3000-byte datagram";
  ASSERT_EQ(PollOnce(&set, buf, sizeof buf, &len, &src), TQ_OK);
  ASSERT_EQ(len, sizeof small);
  EXPECT_EQ(std::memcmp(buf, small, len), 0);
  EXPECT_EQ(src, Ip("127.0.0.1"));
}

// An ICMP port-unreachable for a request of ours does not read as a failed
// receive (SIO_UDP_CONNRESET is off), so it cannot end a search.
TEST_F(Sockets, PortUnreachableIsNoReceiveFailure) {
  uint16_t port = 0, closed_port = 0;
  const sockio_t s = Bound(&port);
  const sockio_t gone = sockio_open_udp(false);
  ASSERT_TRUE(sockio_bind(gone, Ip("127.0.0.1"), 0));
  closed_port = sockio_bound_port(gone);
  sockio_close(gone);
  const uint8_t req[] = {1, 0, 0, 8, 0, 0, 0, 0};
  ASSERT_TRUE(sockio_send_to(s, Ip("127.0.0.1"), closed_port, req, sizeof req));
  _TQSOCKSET set = SetOf(s);
  uint8_t buf[64];
  size_t len = 0;
  uint32_t src = 0, local = 0;
  for (int i = 0; i < 20; ++i) {
    sockio_wait(&s, 1, false, 10, nullptr, nullptr);
    ASSERT_EQ(tqsock_poll(&set, buf, sizeof buf, &len, &src, nullptr, &local), TQ_OK) << "poll " << i;
    EXPECT_EQ(len, 0u);
  }
}

// The stop wake-up sits in the same wait as the sockets: a raise ends a
// long wait at once, and a drained wake-up no longer does.
TEST_F(Sockets, StopWakeUpEndsAWaitAndIsDrained) {
  uint16_t port = 0;
  const sockio_t s = Bound(&port);
  sockio_wake_prepare();
  sockio_wake_raise();
  bool readable = true, woken = false;
  ASSERT_EQ(sockio_wait(&s, 1, true, 60000, &readable, &woken), 1);
  EXPECT_TRUE(woken);
  EXPECT_FALSE(readable);
  sockio_wake_drain();
  EXPECT_EQ(sockio_wait(&s, 1, true, 0, &readable, &woken), 0);
  EXPECT_FALSE(woken);
  // Through the engine: a raised stop ends a search's wait for replies.
  _TQSOCKSET set = SetOf(s);
  const _TQSETTINGS settings{60000, 1, nullptr, nullptr};
  const uint32_t mark = tqsock_stop_mark();
  tqsock_request_stop(true);
  uint8_t buf[32];
  size_t len = 0;
  uint32_t src = 0, local = 0;
  EXPECT_EQ(tqsock_wait_search_reply(&set, sizeof buf, buf, &len, &src, &local, &settings, mark), TQ_ERR_CANCELLED);
  tqsock_request_stop(false);
}

// Sockets are never inherited by a child process.
TEST_F(Sockets, SocketsAreNotInherited) {
  const bool flags[] = {false, true};
  for (bool broadcast : flags) {
    const sockio_t s = sockio_open_udp(broadcast);
    ASSERT_NE(s, SOCKIO_INVALID);
    open_.push_back(s);
    DWORD info = 0;
    ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(s), &info));
    EXPECT_EQ(info & HANDLE_FLAG_INHERIT, 0u) << "broadcast " << broadcast;
    BOOL on = FALSE;
    int size = sizeof on;
    ASSERT_EQ(getsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<char *>(&on), &size), 0);
    EXPECT_EQ(on != FALSE, broadcast);
  }
}

// ds_init starts Windows Sockets and ds_cleanup undoes only that start-up,
// also after an init that found no address (a loopback is none): the
// fixture's own start-up still holds.
TEST_F(Sockets, NetworkLayerCleansUpOnlyItsOwnStartUp) {
  for (int round = 0; round < 2; ++round) {
    EXPECT_FALSE(ds_init()) << "no IPv4 address but the loopback's";
    ds_cleanup();
  }
  const sockio_t s = sockio_open_udp(false);
  EXPECT_NE(s, SOCKIO_INVALID);
  if (s != SOCKIO_INVALID) sockio_close(s);
}

}  // namespace
