// Network layer without the lab: result codes, the handle table, the reply
// handling of the search, the interface lookup, and socket behaviour checked
// inside a private network namespace of this test program (entered in main
// when the program may; those tests skip otherwise).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "dsapi.h"
#include "dscode.h"
#include "iphelp.h"
#include "lab.h"
#include "netns.h"
#include "sock_util.h"
#include "tqsock.h"
#include "wait.h"

namespace {

bool g_private_ns = false;  // main entered a private network namespace

// Socket tests run only in the private namespace; without one they skip, or
// fail when the lab is required (VELA_REQUIRE_LAB=1).
#define NEED_PRIVATE_NS()                                                         \
  do {                                                                            \
    if (!g_private_ns || !velatest::InPrivateNamespace()) {                       \
      if (velatest::LabRequired()) FAIL() << "no private network namespace";      \
      GTEST_SKIP() << "needs a private network namespace (run as root)";          \
    }                                                                             \
  } while (0)

using nettest::Ip4;

_DSNETINFO device(uint8_t last, uint32_t ip = 0) {
  _DSNETINFO d{};
  d.apid = 0x00010203;
  d.hwid = 0x0102;
  d.ip = ip;
  const uint8_t mac[6] = {0x02, 0, 0, 0, 0, last};
  std::memcpy(d.mac, mac, 6);
  return d;
}

// A search reply for apid/hwid/mac[5]=last reporting reported_ip.
std::vector<uint8_t> reply(uint8_t last, uint32_t reported_ip, uint16_t hwid = 0x0102) {
  std::vector<uint8_t> b(DS_SEARCH_REPLY_SIZE);
  const uint8_t mac[6] = {0x02, 0, 0, 0, 0, last};
  dsproto_build_search_reply(b.data(), b.size(), 0x00010203, hwid, mac, reported_ip);
  return b;
}

// ---- result codes -------------------------------------------------------

TEST(CodeTranslation, MapsEveryInternalCode) {
  EXPECT_EQ(ds_public_code(TQ_OK), DS_OK);
  EXPECT_EQ(ds_public_code(TQ_ERR_TIMEOUT), DS_ERR_TIMEOUT);
  EXPECT_EQ(ds_public_code(TQ_ERR_SOCKET), DS_ERR_SOCKET);
  EXPECT_EQ(ds_public_code(TQ_ERR_CANCELLED), DS_ERR_CANCELLED);
  EXPECT_EQ(ds_public_code(TQ_ERR_MISMATCH), DS_ERR_FAIL);
  EXPECT_EQ(ds_public_code(TQ_ERR_NO_MEMORY), DS_ERR_FAIL);
  EXPECT_EQ(ds_public_code(0), DS_ERR_FAIL);
  EXPECT_EQ(ds_public_code(-2), DS_ERR_FAIL);
  EXPECT_EQ(ds_public_code(2), DS_ERR_FAIL);
}

// ---- handle table -------------------------------------------------------

class HandleTable : public ::testing::Test {
 protected:
  void SetUp() override {
    ds_init();
    CloseAll();
  }
  void TearDown() override { CloseAll(); }
  static void CloseAll() {
    for (int32_t h = 0; h < DS_MAX_HANDLES; ++h) ds_close(h);
  }
};

TEST_F(HandleTable, Opens128ThenRefusesThe129th) {
  const _DSNETINFO d = device(1);
  for (int32_t i = 0; i < DS_MAX_HANDLES; ++i) {
    int32_t h = -7;
    ASSERT_EQ(ds_open(&d, &h), DS_OK);
    EXPECT_EQ(h, i);  // first free slot from 0 upwards
  }
  int32_t h = 42;
  EXPECT_EQ(ds_open(&d, &h), DS_ERR_NO_HANDLE);
  EXPECT_LT(h, 0);
}

TEST_F(HandleTable, BadHandlesAreRejected) {
  const _DSNETINFO d = device(1);
  int32_t open_h = -1;
  ASSERT_EQ(ds_open(&d, &open_h), DS_OK);
  int32_t closed_h = -1;
  ASSERT_EQ(ds_open(&d, &closed_h), DS_OK);
  ASSERT_EQ(ds_close(closed_h), DS_OK);

  uint8_t block[DS_INFO_BLOCK_SIZE];
  for (int32_t bad : {DS_MAX_HANDLES, -1, closed_h, 1000, INT32_MIN}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(ds_close(bad), DS_ERR_INVALID);
    EXPECT_EQ(ds_set_callback(bad, nullptr, nullptr), DS_ERR_INVALID);
    EXPECT_EQ(ds_set_value(bad, 1), DS_ERR_INVALID);
    EXPECT_EQ(ds_get_info(bad, block), DS_ERR_INVALID);
  }
  // The open handle was not disturbed by the failed calls.
  EXPECT_EQ(ds_set_callback(open_h, nullptr, nullptr), DS_OK);
  EXPECT_EQ(ds_close(open_h), DS_OK);
  EXPECT_EQ(ds_close(open_h), DS_ERR_INVALID);
}

TEST_F(HandleTable, NullArgumentsAreRejected) {
  const _DSNETINFO d = device(1);
  int32_t h = -1;
  EXPECT_EQ(ds_open(nullptr, &h), DS_ERR_INVALID);
  EXPECT_EQ(ds_open(&d, nullptr), DS_ERR_INVALID);
  ASSERT_EQ(ds_open(&d, &h), DS_OK);
  EXPECT_EQ(h, 0);  // the failed calls took no slot
  EXPECT_EQ(ds_get_info(h, nullptr), DS_ERR_INVALID);
  EXPECT_EQ(ds_search(DS_BROADCAST, nullptr), DS_ERR_INVALID);
  EXPECT_EQ(ds_search(0, nullptr), DS_ERR_INVALID);
}

struct ProgressLog {
  std::atomic<int> calls{0};
  int32_t kind = 0;
};

int CancelAtOnce(int32_t kind, int32_t a1, int32_t a2, void *ctx) {
  auto *log = static_cast<ProgressLog *>(ctx);
  log->kind = kind;
  EXPECT_EQ(a1, 0);
  EXPECT_EQ(a2, 0);
  log->calls++;
  return 0;
}

TEST_F(HandleTable, ReopenedSlotKeepsItsProgressCallback) {
  NEED_PRIVATE_NS();
  // A device on this namespace's loopback, heard directly: no table changes.
  _DSNETINFO d = device(1, Ip4("127.0.0.1"));
  d.flags = DS_DIRECT;
  int32_t h = -1;
  for (int i = 0; i < 8; ++i) ASSERT_EQ(ds_open(&d, &h), DS_OK);
  ProgressLog log;
  ASSERT_EQ(ds_set_callback(5, CancelAtOnce, &log), DS_OK);
  ASSERT_EQ(ds_close(5), DS_OK);
  ASSERT_EQ(ds_open(&d, &h), DS_OK);
  EXPECT_EQ(h, 5);
  // The callback cancels the wait before its first poll.
  EXPECT_EQ(ds_set_value(5, 7), DS_ERR_CANCELLED);
  EXPECT_EQ(log.calls.load(), 1);
  EXPECT_EQ(log.kind, DS_KIND_SET_VALUE);
  uint8_t block[DS_INFO_BLOCK_SIZE];
  EXPECT_EQ(ds_get_info(5, block), DS_ERR_CANCELLED);
  EXPECT_EQ(log.kind, DS_KIND_GET_INFO);
  EXPECT_EQ(log.calls.load(), 2);
}

TEST_F(HandleTable, ConcurrentOpenAndCloseNeverShareASlot) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 2000;
  std::atomic<int> owner[DS_MAX_HANDLES];
  for (auto &o : owner) o = -1;
  std::atomic<int> clashes{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const _DSNETINFO d = device(static_cast<uint8_t>(t));
      for (int r = 0; r < kRounds; ++r) {
        int32_t held[3];
        int n = 0;
        for (; n < 3; ++n) {
          if (ds_open(&d, &held[n]) != DS_OK) {
            failures++;
            break;
          }
          if (owner[held[n]].exchange(t) != -1) clashes++;
        }
        for (int i = 0; i < n; ++i) {
          owner[held[i]] = -1;
          if (ds_close(held[i]) != DS_OK) failures++;
        }
      }
    });
  }
  for (auto &th : threads) th.join();
  EXPECT_EQ(clashes.load(), 0);
  EXPECT_EQ(failures.load(), 0);  // 8 threads x 3 handles never exhaust 128
}

// ---- reply handling of the search ---------------------------------------

class SearchDatagram : public ::testing::Test {
 protected:
  static int Keep(_DSNETINFO *) { return 1; }
  static int Refuse(_DSNETINFO *) { return 0; }
  void Begin(bool direct, TQ_DEVICE_CALLBACK cb = Keep) { tqsock_search_begin(&st_, direct, cb); }
  int Feed(const std::vector<uint8_t> &b, uint32_t src, uint32_t local = 0x0A0A0A0A) {
    return tqsock_search_datagram(&st_, b.data(), b.size(), src, local);
  }
  void TearDown() override { tqsock_search_end(&st_); }
  _TQSEARCH st_{};
};

TEST_F(SearchDatagram, IgnoresWhatIsNoAcceptableReply) {
  Begin(false);
  std::vector<uint8_t> bad_status = reply(1, 0);
  bad_status[1] = 1;
  std::vector<uint8_t> bad_reserved = reply(1, 0);
  bad_reserved[7] = 1;
  std::vector<uint8_t> bad_command = reply(1, 0);
  bad_command[0] = 0x83;
  std::vector<uint8_t> request = reply(1, 0);
  request[0] = 0x01;
  std::vector<uint8_t> short_reply = reply(1, 0);
  short_reply.resize(16);
  for (const auto *b : {&bad_status, &bad_reserved, &bad_command, &request, &short_reply})
    EXPECT_EQ(Feed(*b, Ip4("192.168.77.21")), TQ_SEARCH_GO_ON);
  EXPECT_EQ(tqsock_search_datagram(&st_, nullptr, 0, 0, 0), TQ_SEARCH_GO_ON);
  EXPECT_EQ(st_.count, 0);
  EXPECT_FALSE(st_.new_device);
  // The length field is not looked at.
  std::vector<uint8_t> odd_length = reply(1, 0);
  odd_length[2] = 0xFF;
  EXPECT_EQ(Feed(odd_length, Ip4("192.168.77.21")), TQ_SEARCH_GO_ON);
  EXPECT_EQ(st_.count, 1);
}

TEST_F(SearchDatagram, RepeatedDeviceTakesTheLaterAddresses) {
  static int calls;
  calls = 0;
  Begin(false, [](_DSNETINFO *) { return ++calls, 1; });
  EXPECT_EQ(Feed(reply(1, Ip4("172.16.0.1")), Ip4("192.168.77.21"), Ip4("192.168.77.10")), TQ_SEARCH_GO_ON);
  EXPECT_EQ(Feed(reply(1, Ip4("172.16.0.2")), Ip4("10.88.0.22"), Ip4("10.88.0.10")), TQ_SEARCH_GO_ON);
  EXPECT_EQ(calls, 1);
  ASSERT_EQ(st_.count, 1);
  EXPECT_EQ(st_.dev[0]->ip, Ip4("10.88.0.22"));
  EXPECT_EQ(st_.dev[0]->local_ip, Ip4("10.88.0.10"));
  EXPECT_EQ(st_.dev[0]->reported_ip, Ip4("172.16.0.2"));
  EXPECT_EQ(st_.dev[0]->flags & DS_DIRECT, 0);
}

TEST_F(SearchDatagram, SameMacWithOtherHwidIsAnotherDevice) {
  Begin(false);
  Feed(reply(1, 0, 0x0102), Ip4("192.168.77.21"));
  Feed(reply(1, 0, 0x0103), Ip4("192.168.77.21"));
  EXPECT_EQ(st_.count, 2);
}

TEST_F(SearchDatagram, ZeroSourceAddressTakesTheReportedOne) {
  Begin(true);
  EXPECT_EQ(Feed(reply(1, Ip4("172.31.9.5")), 0), TQ_OK);  // directed: done at first device
  ASSERT_EQ(st_.count, 1);
  EXPECT_EQ(st_.dev[0]->ip, Ip4("172.31.9.5"));
  EXPECT_EQ(st_.dev[0]->flags & DS_DIRECT, DS_DIRECT);
}

TEST_F(SearchDatagram, The128thDeviceCompletesTheSearch) {
  Begin(false);
  for (int i = 0; i < TQ_MAX_DEVICES - 1; ++i) {
    std::vector<uint8_t> r = reply(static_cast<uint8_t>(i), 0);
    r[18] = static_cast<uint8_t>(i >> 8);
    ASSERT_EQ(Feed(r, Ip4("192.168.77.21")), TQ_SEARCH_GO_ON);
  }
  EXPECT_EQ(Feed(reply(200, 0, 0x7777), Ip4("192.168.77.21")), TQ_OK);
  EXPECT_EQ(st_.count, TQ_MAX_DEVICES);
  // Whatever arrives afterwards is not kept.
  EXPECT_EQ(Feed(reply(201, 0, 0x7777), Ip4("192.168.77.21")), TQ_OK);
  EXPECT_EQ(st_.count, TQ_MAX_DEVICES);
}

TEST_F(SearchDatagram, RefusedDeviceIsDiscardedAndCancels) {
  Begin(false, Refuse);
  EXPECT_EQ(Feed(reply(1, 0), Ip4("192.168.77.21")), TQ_ERR_CANCELLED);
  EXPECT_EQ(st_.count, 0);
}

// ---- interface lookup and kernel rows ------------------------------------

TEST(FindInterface, FirstRowWithTheAddressWins) {
  _IPADDRROW rows[3] = {{Ip4("10.0.0.1"), Ip4("255.0.0.0"), 7},
                        {Ip4("192.168.1.10"), Ip4("255.255.255.0"), 3},
                        {Ip4("192.168.1.10"), Ip4("255.255.0.0"), 9}};
  _IPADDRTABLE table{3, rows};
  uint32_t ifindex = 0;
  uint32_t mask = 0;
  ASSERT_TRUE(iphelp_find_interface(&table, Ip4("192.168.1.10"), &ifindex, &mask));
  EXPECT_EQ(ifindex, 3u);
  EXPECT_EQ(mask, Ip4("255.255.255.0"));
  EXPECT_FALSE(iphelp_find_interface(&table, Ip4("192.168.1.11"), &ifindex, &mask));
  EXPECT_FALSE(iphelp_find_interface(&table, DS_BROADCAST, &ifindex, &mask));
  EXPECT_FALSE(iphelp_find_interface(nullptr, Ip4("10.0.0.1"), &ifindex, &mask));
}

// A request thread may still be inside a host-table change when the layer
// shuts down: the locks it holds must outlive iphelp_cleanup.  A lock freed
// under a running change is a use after free and a data race, which the
// sanitizer builds report.
TEST(NetShutdown, CleanupWhileHostTableChangesRun) {
  NEED_PRIVATE_NS();
  std::atomic<bool> stop{false};
  std::atomic<int> changes{0};
  const uint8_t mac[6] = {0x02, 0, 0, 0, 0, 0x01};
  std::thread worker([&] {
    while (!stop) {
      // No interface owns the local address: each call only reads tables.
      iphelp_add_arp(Ip4("10.0.0.5"), mac, Ip4("10.99.99.99"));
      iphelp_add_host_route(Ip4("10.0.0.5"), DS_BROADCAST, Ip4("10.99.99.99"), Ip4("10.99.99.99"));
      iphelp_delete_routes(Ip4("10.0.0.5"));
      iphelp_delete_arp(Ip4("10.0.0.5"), Ip4("10.99.99.99"), mac);
      changes++;
    }
  });
  for (int i = 0; i < 300 || changes.load() < 20; ++i) {
    iphelp_cleanup();
    iphelp_init();
  }
  stop = true;
  worker.join();
  EXPECT_GE(changes.load(), 20);
}

// ---- sockets, inside the private namespace -------------------------------

void send_to(uint16_t port, const std::vector<uint8_t> &data) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = Ip4("127.0.0.1");
  ASSERT_EQ(sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr *>(&sa), sizeof sa),
            static_cast<ssize_t>(data.size()));
  close(fd);
}

class SocketSet : public ::testing::Test {
 protected:
  void SetUp() override {
    NEED_PRIVATE_NS();
    set_.count = 2;
    set_.sock[0] = {nettest::BoundUdp(Ip4("127.0.0.1"), 40001), 0x01010101};
    set_.sock[1] = {nettest::BoundUdp(Ip4("127.0.0.1"), 40002), 0x02020202};
    ASSERT_GE(set_.sock[0].fd, 0);
    ASSERT_GE(set_.sock[1].fd, 0);
  }
  void TearDown() override { tqsock_close_set(&set_); }
  _TQSOCKSET set_{};
};

TEST_F(SocketSet, PollTakesTheFirstReadableSocketAndCapsTheCopy) {
  uint8_t buf[64];
  size_t len = 99;
  uint32_t src = 1, local = 1;
  uint16_t port = 1;
  ASSERT_EQ(tqsock_poll(&set_, buf, sizeof buf, &len, &src, &port, &local), TQ_OK);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(local, 0u);

  send_to(40002, std::vector<uint8_t>(30, 0xAB));
  send_to(40001, std::vector<uint8_t>(40, 0xCD));
  ASSERT_EQ(tqsock_poll(&set_, buf, 24, &len, &src, &port, &local), TQ_OK);
  EXPECT_EQ(len, 24u);  // cut to the capacity
  EXPECT_EQ(buf[0], 0xCD);
  EXPECT_EQ(local, 0x01010101u);
  EXPECT_EQ(src, Ip4("127.0.0.1"));
  ASSERT_EQ(tqsock_poll(&set_, buf, sizeof buf, &len, &src, &port, &local), TQ_OK);
  EXPECT_EQ(len, 30u);
  EXPECT_EQ(local, 0x02020202u);
}

TEST_F(SocketSet, PollReadsTheReadableSocketsInTurn) {
  for (int i = 0; i < 3; ++i) send_to(40001, std::vector<uint8_t>(10, static_cast<uint8_t>(i)));
  send_to(40002, std::vector<uint8_t>(10, 0xEE));
  std::vector<uint32_t> order;
  uint8_t buf[64];
  size_t len = 0;
  uint32_t src = 0, local = 0;
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(tqsock_poll(&set_, buf, sizeof buf, &len, &src, nullptr, &local), TQ_OK);
    if (len > 0) order.push_back(local);
  }
  // One datagram from each readable socket in set order, then poll again.
  EXPECT_EQ(order, (std::vector<uint32_t>{0x01010101, 0x02020202, 0x01010101, 0x01010101}));
}

// A flood on the first socket: before every poll of the wait, two more
// datagrams that are no reply arrive there (sent by the wait's progress
// callback), so that socket is never empty.  The one reply waiting on the
// second socket is still read, at the second poll.
struct Flood {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  std::vector<uint8_t> junk;
  int rounds = 0;
  ~Flood() { close(fd); }
};

int FloodFirstSocket(int32_t, int32_t, int32_t, void *ctx) {
  auto *f = static_cast<Flood *>(ctx);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(40001);
  to.sin_addr.s_addr = Ip4("127.0.0.1");
  for (int i = 0; i < 2; ++i)
    sendto(f->fd, f->junk.data(), f->junk.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
  f->rounds++;
  return 1;
}

TEST_F(SocketSet, FloodOnOneSocketDoesNotStarveTheOther) {
  Flood flood;
  ASSERT_GE(flood.fd, 0);
  flood.junk = reply(9, 0);
  flood.junk[0] = 0x83;  // fails the reply test: the wait goes on
  send_to(40002, reply(2, 0));
  uint8_t buf[DS_SEARCH_REPLY_SIZE];
  size_t len = 0;
  uint32_t src = 0, local = 0;
  const _TQSETTINGS s{1000, 1, FloodFirstSocket, &flood};
  ASSERT_EQ(tqsock_wait_reply(&set_, DS_KIND_SEARCH, 0, sizeof buf, buf, &len, &src, &local, &s), TQ_OK);
  EXPECT_EQ(local, 0x02020202u);
  EXPECT_EQ(buf[19], 2);
  EXPECT_EQ(flood.rounds, 2);
}

TEST_F(SocketSet, DatagramOver2048BytesCountsAsNothing) {
  send_to(40001, std::vector<uint8_t>(3000, 0x81));
  send_to(40001, std::vector<uint8_t>(2048, 0x81));
  uint8_t buf[DS_RECV_MAX];
  size_t len = 99;
  uint32_t src = 0, local = 0;
  ASSERT_EQ(tqsock_poll(&set_, buf, sizeof buf, &len, &src, nullptr, &local), TQ_OK);
  EXPECT_EQ(len, 0u);
  ASSERT_EQ(tqsock_poll(&set_, buf, sizeof buf, &len, &src, nullptr, &local), TQ_OK);
  EXPECT_EQ(len, 2048u);
}

TEST_F(SocketSet, WaitSkipsStrayDatagramsAndReturnsTheReply) {
  std::vector<uint8_t> bad = reply(1, 0);
  bad[1] = 1;
  send_to(40001, std::vector<uint8_t>(3000, 0x81));
  send_to(40001, bad);
  send_to(40002, reply(2, 0));
  uint8_t buf[DS_SEARCH_REPLY_SIZE];
  size_t len = 0;
  uint32_t src = 0, local = 0;
  const _TQSETTINGS s{200, 1, nullptr, nullptr};
  ASSERT_EQ(tqsock_wait_reply(&set_, DS_KIND_SEARCH, 0, sizeof buf, buf, &len, &src, &local, &s), TQ_OK);
  EXPECT_EQ(buf[19], 2);
  EXPECT_EQ(local, 0x02020202u);
}

TEST_F(SocketSet, WaitTimesOutAfterT) {
  uint8_t buf[DS_SEARCH_REPLY_SIZE];
  uint32_t src = 0, local = 0;
  const _TQSETTINGS s{120, 1, nullptr, nullptr};
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(tqsock_wait_reply(&set_, DS_KIND_SEARCH, 0, sizeof buf, buf, nullptr, &src, &local, &s),
            TQ_ERR_TIMEOUT);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
  EXPECT_GE(ms.count(), 120);
  EXPECT_LT(ms.count(), 1000);
}

TEST_F(SocketSet, CancelledProgressEndsTheWaitBeforeThePoll) {
  send_to(40001, reply(1, 0));
  ProgressLog log;
  uint8_t buf[DS_SEARCH_REPLY_SIZE];
  uint32_t src = 0, local = 0;
  const _TQSETTINGS s{500, 1, CancelAtOnce, &log};
  EXPECT_EQ(tqsock_wait_reply(&set_, DS_KIND_SEARCH, 0, sizeof buf, buf, nullptr, &src, &local, &s),
            TQ_ERR_CANCELLED);
  EXPECT_EQ(log.calls.load(), 1);
  size_t len = 0;
  // The reply is still queued: the cancelled wait never polled.
  ASSERT_EQ(tqsock_poll(&set_, buf, sizeof buf, &len, &src, nullptr, &local), TQ_OK);
  EXPECT_EQ(len, DS_SEARCH_REPLY_SIZE);
}

TEST_F(SocketSet, SendOnAnEmptySetFails) {
  _TQSOCKSET empty{};
  const uint8_t data[8] = {};
  EXPECT_EQ(tqsock_send(&empty, Ip4("127.0.0.1"), 4800, data, sizeof data), TQ_ERR_SOCKET);
  EXPECT_EQ(tqsock_send(&set_, Ip4("127.0.0.1"), 4800, data, sizeof data), TQ_OK);
}

// A device played by this test on the loopback: it answers every request
// on port 4800 with a reply of answer_len bytes (the request's kind with bit
// 7 set, status 0, reserved 0, the rest zero) and counts the requests.
class LoopbackDevice {
 public:
  explicit LoopbackDevice(size_t answer_len)
      : answer_len_(answer_len), fd_(nettest::BoundUdp(Ip4("127.0.0.1"), DS_DEVICE_PORT)) {
    if (fd_ >= 0) thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackDevice() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  int requests() const { return requests_.load(); }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      uint8_t req[DS_RECV_MAX];
      sockaddr_in from{};
      socklen_t from_len = sizeof from;
      const ssize_t n = recvfrom(fd_, req, sizeof req, 0, reinterpret_cast<sockaddr *>(&from), &from_len);
      if (n < 1) continue;
      requests_++;
      std::vector<uint8_t> answer(answer_len_, 0);
      dsproto_put_header(answer.data(), answer.size(), static_cast<uint8_t>(req[0] | DS_REPLY_BIT),
                         static_cast<uint16_t>(answer_len_));
      sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr *>(&from), from_len);
    }
  }
  const size_t answer_len_;
  const int fd_;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

// Only the header of a set-value reply matters: a reply of its bare 8-byte
// header answers the request at the first attempt.  Info and identify
// replies of 8 bytes lack the fields that are read and are not answers.
TEST(ShortReplies, SetValueAnsweredByItsHeaderAloneSucceedsAtOnce) {
  NEED_PRIVATE_NS();
  LoopbackDevice device8(DS_HEADER_SIZE);
  ASSERT_TRUE(device8.ok());
  _DSNETINFO d = device(1, Ip4("127.0.0.1"));
  d.flags = DS_DIRECT;  // no host-table changes
  const int32_t value = 7;
  const _TQSETTINGS s{300, 5, nullptr, nullptr};
  EXPECT_EQ(tqsock_execute(DS_KIND_SET_VALUE, &d, &value, nullptr, &s), TQ_OK);
  EXPECT_EQ(device8.requests(), 1);

  // Through a handle: public result 1, again with one request.
  int32_t h = -1;
  ASSERT_EQ(ds_open(&d, &h), DS_OK);
  ASSERT_EQ(ds_set_callback(h, nullptr, nullptr), DS_OK);
  EXPECT_EQ(ds_set_value(h, 9), DS_OK);
  EXPECT_EQ(device8.requests(), 2);
  EXPECT_EQ(ds_close(h), DS_OK);

  const _TQSETTINGS quick{60, 2, nullptr, nullptr};
  uint8_t block[DS_INFO_BLOCK_SIZE];
  EXPECT_EQ(tqsock_execute(DS_KIND_GET_INFO, &d, nullptr, block, &quick), TQ_ERR_TIMEOUT);
  EXPECT_EQ(tqsock_execute(DS_KIND_IDENTIFY, &d, nullptr, nullptr, &quick), TQ_ERR_TIMEOUT);
  EXPECT_TRUE(velatest::WaitUntil([&] { return device8.requests() == 6; }, 2000)) << device8.requests();
}

// With no local address, ds_init fails and every search ends with a socket
// failure.  Run in a child in a namespace of its own, since the address list
// is loaded once per process.
TEST(NoLocalAddress, SearchFailsWithSocketError) {
  NEED_PRIVATE_NS();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int code = 0;
    if (!velatest::EnterPrivateNamespace()) _exit(10);
    if (ds_init()) code |= 1;
    if (tqsock_local_count() != 0) code |= 2;
    if (ds_search(DS_BROADCAST, [](_DSNETINFO *) { return 1; }) != DS_ERR_SOCKET) code |= 4;
    const _TQSETTINGS s{50, 1, nullptr, nullptr};
    if (tqsock_search(DS_BROADCAST, [](_DSNETINFO *) { return 1; }, &s) != TQ_ERR_SOCKET) code |= 8;
    ds_cleanup();
    ds_cleanup();  // a second clean-up finds nothing left to undo
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "bits: 1 init true, 2 addresses, 4 ds_search, 8 tqsock_search";
}

// A veth pair gives the private namespace one local address: searches then
// run (their broadcasts reach no device) and the settings can be watched.
class PrivateSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    NEED_PRIVATE_NS();
    static const bool ready =
        velatest::RunCommand({"sh", "-c",
                              "ip link add vela-t0 type veth peer name vela-t1 && "
                              "ip addr add 10.77.1.1/24 dev vela-t0 && ip link set vela-t1 up && "
                              "ip link set vela-t0 up"},
                             nullptr) == 0 &&
        ds_init();
    if (!ready) GTEST_SKIP() << "could not add a veth pair";
  }
  static int passes;
  static int CountPasses(_DSNETINFO *d) {
    if (d == nullptr) passes++;
    return 1;
  }
};
int PrivateSearch::passes = 0;

TEST_F(PrivateSearch, SettingsKeepTheirValueWhenNegative) {
  EXPECT_EQ(tqsock_local_count(), 1);
  EXPECT_EQ(tqsock_local_address(0), Ip4("10.77.1.1"));
  EXPECT_EQ(tqsock_local_address(1), DS_BROADCAST);
  EXPECT_EQ(tqsock_local_address(-1), DS_BROADCAST);

  ds_set_search_params(40, 3);
  passes = 0;
  EXPECT_EQ(ds_search(0, CountPasses), DS_OK);
  EXPECT_EQ(passes, 3);

  ds_set_search_params(-1, 2);  // time-out kept at 40 ms
  passes = 0;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(ds_search(DS_BROADCAST, CountPasses), DS_OK);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
  EXPECT_EQ(passes, 2);
  EXPECT_GE(ms.count(), 80);
  EXPECT_LT(ms.count(), 800);

  ds_set_search_params(-5, 0);  // P = 0: exactly one pass
  passes = 0;
  EXPECT_EQ(ds_search(DS_BROADCAST, CountPasses), DS_OK);
  EXPECT_EQ(passes, 1);

  // A directed search nobody answers times out after its passes.
  ds_set_search_params(30, 2);
  passes = 0;
  EXPECT_EQ(ds_search(Ip4("10.77.1.99"), CountPasses), DS_ERR_TIMEOUT);
  EXPECT_EQ(passes, 2);
}

// ds_search from the search's own callback must come back at once, while a
// search asked for on another thread meanwhile waits and then runs.  Run in
// a child, so that a search that hangs is ended and reported, not waited for.
struct NestedRun {
  int nested = 0;
  int nested_subnet = 0;
  int calls = 0;
  std::atomic<int> other{0};
  std::thread other_thread;
};
NestedRun *g_nested = nullptr;

TEST_F(PrivateSearch, SearchFromItsOwnCallbackIsRefusedAtOnce) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    NestedRun run;
    g_nested = &run;
    ds_set_search_params(30, 2);
    const int outer = ds_search(DS_BROADCAST, [](_DSNETINFO *) {
      if (g_nested->calls++ == 0) {
        g_nested->nested = ds_search(DS_BROADCAST, [](_DSNETINFO *) { return 1; });
        g_nested->nested_subnet = ds_search_subnet(Ip4("10.77.1.0"), 24, [](_DSNETINFO *) { return 1; });
        g_nested->other_thread = std::thread(
            [] { g_nested->other = ds_search(DS_BROADCAST, [](_DSNETINFO *) { return 1; }); });
      }
      return 1;
    });
    run.other_thread.join();
    // The outer search went on as usual after the refusal (both passes),
    // and the other thread's search ran after it.
    _exit((outer == DS_OK ? 0 : 1) | (run.nested == DS_ERR_NESTED ? 0 : 2) | (run.calls == 2 ? 0 : 4) |
          (run.other.load() == DS_OK ? 0 : 8) | (run.nested_subnet == DS_ERR_NESTED ? 0 : 16));
  }
  int status = 0;
  const bool ended = velatest::WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10000);
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  ASSERT_TRUE(ended) << "ds_search from its own callback hung";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "bits: 1 outer, 2 nested not refused, 4 passes, 8 other thread, 16 nested subnet search not refused";
}

// ---- stopping a search ------------------------------------------------------

// True while a UDP socket of this namespace is bound to ip on one of the
// search ports (13316 + 4096 k), that is once a search has begun and opened
// its sockets.  Read from /proc/net/udp: trying to bind the port instead
// could take it from under a search that binds it at that moment.
bool SearchHoldsPort(uint32_t ip) {
  std::ifstream udp("/proc/self/net/udp");
  std::string line;
  std::getline(udp, line);  // the heading
  while (std::getline(udp, line)) {
    unsigned slot = 0, addr = 0, port = 0;
    if (std::sscanf(line.c_str(), " %u: %8X:%4X", &slot, &addr, &port) != 3) continue;
    // The address is printed as the 32-bit word that holds it in network
    // order, read on this host.
    if (addr == ip && port >= DS_LOCAL_PORT && (port - DS_LOCAL_PORT) % DS_LOCAL_PORT_STEP == 0) return true;
  }
  return false;
}

class StopSearch : public PrivateSearch {
 protected:
  void TearDown() override {
    if (thread_.joinable()) {  // a test that failed half-way
      ds_stop_search(1);
      thread_.join();
    }
    ds_stop_search(0);
  }
  // Runs ds_search (or, with subnet, ds_search_subnet on the veth's /24)
  // on a thread of its own and waits until it has opened its sockets; Join
  // returns its result.
  void Start(bool subnet = false) {
    passes_seen = 0;
    rc_ = 0;
    thread_ = std::thread([this, subnet] {
      rc_ = subnet ? ds_search_subnet(Ip4("10.77.1.0"), 24, CountPassesAtomically)
                   : ds_search(DS_BROADCAST, CountPassesAtomically);
      ended_ = std::chrono::steady_clock::now();
    });
    // The subnet search's one socket is bound to the wildcard address.
    const uint32_t bound = subnet ? 0 : Ip4("10.77.1.1");
    ASSERT_TRUE(velatest::WaitUntil([bound] { return SearchHoldsPort(bound); }, 5000));
  }
  int Join() {
    thread_.join();
    return rc_.load();
  }
  static std::atomic<int> passes_seen;
  static int CountPassesAtomically(_DSNETINFO *d) {
    if (d == nullptr) passes_seen++;
    return 1;
  }
  std::thread thread_;
  std::atomic<int> rc_{0};
  std::chrono::steady_clock::time_point ended_;
};
std::atomic<int> StopSearch::passes_seen{0};

TEST_F(StopSearch, RaisedBeforeTheStartEndsEverySearchUntilWithdrawn) {
  ds_set_search_params(60000, 5);
  ds_stop_search(1);
  for (int i = 0; i < 2; ++i) {
    passes = 0;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ds_search(DS_BROADCAST, CountPasses), DS_ERR_CANCELLED);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_EQ(passes, 0);  // not even a pass end is reported
  }
  // The engine's own search honours the same request.
  const _TQSETTINGS s{60000, 5, nullptr, nullptr};
  EXPECT_EQ(tqsock_search(DS_BROADCAST, CountPasses, &s), TQ_ERR_CANCELLED);

  // Withdrawn: the next search runs its passes as usual, and so does one
  // after a raise that was withdrawn before it began.
  ds_stop_search(0);
  ds_set_search_params(40, 2);
  passes = 0;
  EXPECT_EQ(ds_search(DS_BROADCAST, CountPasses), DS_OK);
  EXPECT_EQ(passes, 2);
  ds_stop_search(1);
  ds_stop_search(0);
  passes = 0;
  EXPECT_EQ(ds_search(DS_BROADCAST, CountPasses), DS_OK);
  EXPECT_EQ(passes, 2);
}

TEST_F(StopSearch, RaiseDuringALongPassEndsItAtOnce) {
  ds_set_search_params(60000, 5);
  ASSERT_NO_FATAL_FAILURE(Start());
  const auto t0 = std::chrono::steady_clock::now();
  ds_stop_search(1);
  const int rc = Join();
  EXPECT_EQ(rc, DS_ERR_CANCELLED);
  EXPECT_LT(ended_ - t0, std::chrono::seconds(5));
  EXPECT_EQ(passes_seen.load(), 0);
  EXPECT_FALSE(SearchHoldsPort(Ip4("10.77.1.1")));  // its sockets are closed
}

TEST_F(StopSearch, SubnetSearchStopsLikeABroadcastSearch) {
  ds_set_search_params(60000, 5);
  ASSERT_NO_FATAL_FAILURE(Start(true));
  const auto t0 = std::chrono::steady_clock::now();
  ds_stop_search(1);
  EXPECT_EQ(Join(), DS_ERR_CANCELLED);
  EXPECT_LT(ended_ - t0, std::chrono::seconds(5));
  EXPECT_EQ(passes_seen.load(), 0);
  // Still raised: the next one ends at its start.
  passes = 0;
  EXPECT_EQ(ds_search_subnet(Ip4("10.77.1.0"), 30, CountPasses), DS_ERR_CANCELLED);
  EXPECT_EQ(passes, 0);
  ds_stop_search(0);
  ds_set_search_params(30, 1);
  EXPECT_EQ(ds_search_subnet(Ip4("10.77.1.0"), 30, CountPasses), DS_OK);
  EXPECT_EQ(passes, 1);
}

// A program may raise the request from a signal handler (after ds_init).
TEST_F(StopSearch, RaiseFromASignalHandlerEndsTheSearch) {
  struct sigaction sa = {};
  struct sigaction old = {};
  sa.sa_handler = [](int) { ds_stop_search(1); };
  sigemptyset(&sa.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &sa, &old), 0);
  ds_set_search_params(60000, 5);
  std::thread signaller([] {
    if (velatest::WaitUntil([] { return SearchHoldsPort(Ip4("10.77.1.1")); }, 5000)) kill(getpid(), SIGUSR1);
    else ds_stop_search(1);  // the search never began: end it all the same
  });
  const auto t0 = std::chrono::steady_clock::now();
  passes = 0;
  EXPECT_EQ(ds_search(DS_BROADCAST, CountPasses), DS_ERR_CANCELLED);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
  EXPECT_EQ(passes, 0);
  signaller.join();
  sigaction(SIGUSR1, &old, nullptr);
}

// The engine's own answer for a search's mark, with no search thread to
// race: a raise since the mark ends that search even when it was withdrawn
// before the search looked, while a mark taken after the withdrawal is not
// touched by it.
TEST(StopMark, RaiseWithdrawnBeforeTheSearchLooksStillStopsIt) {
  tqsock_request_stop(false);
  const uint32_t begun = tqsock_stop_mark();
  EXPECT_FALSE(tqsock_stop_requested(begun)) << "nothing raised yet";
  tqsock_request_stop(true);
  EXPECT_TRUE(tqsock_stop_requested(begun));
  tqsock_request_stop(false);
  EXPECT_TRUE(tqsock_stop_requested(begun)) << "the withdrawal does not undo the raise the search missed";
  const uint32_t later = tqsock_stop_mark();
  EXPECT_FALSE(tqsock_stop_requested(later)) << "a search begun after the withdrawal runs";
  tqsock_request_stop(true);
  tqsock_request_stop(false);
  EXPECT_TRUE(tqsock_stop_requested(later));
  EXPECT_TRUE(tqsock_stop_requested(begun));
}

// A withdrawal that comes before the running search noticed the raise does
// not revive it: the raise was meant for that search.
TEST_F(StopSearch, WithdrawalNeverRevivesASearchTheRaiseWasMeantFor) {
  ds_set_search_params(60000, 1);
  ASSERT_NO_FATAL_FAILURE(Start());
  const auto t0 = std::chrono::steady_clock::now();
  ds_stop_search(1);
  ds_stop_search(0);
  EXPECT_EQ(Join(), DS_ERR_CANCELLED);
  EXPECT_LT(ended_ - t0, std::chrono::seconds(5));

  // The next search is not touched by that raise.
  ds_set_search_params(40, 1);
  passes = 0;
  EXPECT_EQ(ds_search(DS_BROADCAST, CountPasses), DS_OK);
  EXPECT_EQ(passes, 1);
}

TEST_F(PrivateSearch, PortTakenOnTheAddressMovesTheSetUp) {
  const int fd = nettest::BoundUdp(Ip4("10.77.1.1"), DS_LOCAL_PORT);
  ASSERT_GE(fd, 0);
  _TQSOCKSET set;
  ASSERT_EQ(tqsock_open_set(&set, true), TQ_OK);
  ASSERT_EQ(set.count, 1);
  EXPECT_EQ(nettest::BoundPort(set.sock[0].fd), DS_LOCAL_PORT + DS_LOCAL_PORT_STEP);
  EXPECT_EQ(set.sock[0].local_ip, Ip4("10.77.1.1"));
  tqsock_close_set(&set);
  close(fd);
}

}  // namespace

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Before any thread exists, so that every later thread lives there too.
  g_private_ns = velatest::EnterPrivateNamespace();
  return RUN_ALL_TESTS();
}
