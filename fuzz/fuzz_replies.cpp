// Feeds arbitrary datagrams to every reader of received bytes: the reply
// readers of the wire protocol (the finder's side) and the simulator's
// request parser and answer decision (the device side).  Any read outside the
// given buffer is caught by AddressSanitizer; the data is copied into a
// buffer of exactly its size so that an overrun cannot hide in slack.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "proto.h"
#include "sim_device.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::vector<uint8_t> datagram(data, data + size);
  const uint8_t *buf = datagram.empty() ? nullptr : datagram.data();
  const size_t len = datagram.size();

  for (uint8_t kind : {DS_KIND_SEARCH, DS_KIND_SET_VALUE, DS_KIND_GET_INFO, uint8_t{0}, uint8_t{0x7f}}) {
    dsproto_is_reply(buf, len, kind, 0);
    dsproto_accept_reply(buf, len, kind, 0);
  }
  dsproto_length_field(buf, len);

  _DSNETINFO info{};
  if (dsproto_read_search_reply(buf, len, 0, 0x0a58000a, len % 2 == 0, &info) && info.ip != info.reported_ip)
    __builtin_trap();  // a reply from 0.0.0.0 must take its reported address

  // An identify check against an empty record and against a full one.
  _DSNETINFO empty{};
  dsproto_check_identify(buf, len, &empty);
  _DSNETINFO full{};
  full.apid = 0x00010203;
  full.hwid = 0x0102;
  std::memset(full.mac, 0x02, sizeof full.mac);
  dsproto_check_identify(buf, len, &full);

  uint8_t block[DS_INFO_BLOCK_SIZE];
  dsproto_read_info(buf, len, block);

  // Device side: parse the datagram as a request and let two devices decide.
  SimRequest req;
  if (sim_parse_request(buf, len, &req) == 1) {
    SimDevice dev;
    dev.ip = 0x1504a8c0;  // 192.168.77.21
    dev.silent_when_known = true;
    dev.answer_from = 2;
    sim_device_answers(&dev, req, 0xffffffff, true);
    sim_device_answers(&dev, req, dev.ip, false);
    std::vector<uint8_t> reply(SIM_REPLY_MAX);
    sim_build_reply(dev, req.kind, reply.data(), reply.size());
  }
  return 0;
}
