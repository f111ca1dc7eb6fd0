// Discovery wire protocol: ports, message layouts and the pure functions that
// build every request and read every reply.  Nothing here touches a socket;
// every function stays inside the buffer it is given.
#pragma once

#include <cstddef>
#include <cstdint>

// UDP port every device listens on.
constexpr uint16_t DS_DEVICE_PORT = 4800;
// First local port of an operation's sockets, the step after a failed bind,
// and the limit: a failed bind on a port above it gives that socket up, so
// the last port tried is 62468 (13316 + 4096 * 12).
constexpr uint16_t DS_LOCAL_PORT = 13316;
constexpr uint16_t DS_LOCAL_PORT_STEP = 4096;
constexpr uint16_t DS_LOCAL_PORT_LIMIT = 61440;

// Request kinds; a reply carries its request's kind with bit 7 set.
constexpr uint8_t DS_KIND_SEARCH = 1;     // search request (broadcast or directed)
constexpr uint8_t DS_KIND_IDENTIFY = 1;   // unicast identify, answered like a search
constexpr uint8_t DS_KIND_SET_VALUE = 2;
constexpr uint8_t DS_KIND_GET_INFO = 22;
constexpr uint8_t DS_REPLY_BIT = 0x80;

// Sizes in bytes.
constexpr size_t DS_HEADER_SIZE = 8;
constexpr size_t DS_ENTRY_SIZE = 12;          // one known-device entry
constexpr size_t DS_MAX_ENTRIES = 256;        // entries the search buffer holds
constexpr size_t DS_SEARCH_REQ_MAX = DS_HEADER_SIZE + DS_ENTRY_SIZE * DS_MAX_ENTRIES;
constexpr size_t DS_IDENTIFY_REQ_SIZE = 8;
constexpr size_t DS_SET_VALUE_REQ_SIZE = 22;
constexpr size_t DS_INFO_REQ_SIZE = 20;
constexpr size_t DS_SEARCH_REPLY_SIZE = 24;   // also the identify reply
constexpr size_t DS_SET_VALUE_REPLY_SIZE = 20;
constexpr size_t DS_INFO_REPLY_SIZE = 36;
constexpr size_t DS_INFO_BLOCK_SIZE = 16;
constexpr size_t DS_RECV_MAX = 2048;          // larger datagrams count as nothing received
constexpr size_t DS_MAC_SIZE = 6;

// _DSNETINFO.flags: the device answered a directed search.
constexpr uint16_t DS_DIRECT = 0x0001;

// Identity and addresses of one device as a search reply gives them.
// Addresses are IPv4 in network byte order.
struct _DSNETINFO {
  uint32_t apid;
  uint16_t hwid;
  uint16_t flags;
  uint32_t reported_ip;
  uint32_t ip;
  uint32_t local_ip;
  uint8_t mac[DS_MAC_SIZE];
};

// Writes the common header (command, status 0, big-endian length, reserved 0).
// Returns 8, or -1 when cap is below 8.
int dsproto_put_header(uint8_t *buf, size_t cap, uint8_t command, uint16_t length);

// Builds a search request listing the devices heard so far (at most 256
// entries, in list order).  Returns the request length, or -1 when cap is short.
int dsproto_build_search(uint8_t *buf, size_t cap, const _DSNETINFO *const *heard, size_t count);

// Builds the 8-byte identify request.  Returns 8, or -1 when cap is short.
int dsproto_build_identify(uint8_t *buf, size_t cap);

// Builds the 22-byte set-value request for dev, carrying the low 16 bits of
// value little-endian at offset 20.  Returns 22, or -1 when cap is short.
int dsproto_build_set_value(uint8_t *buf, size_t cap, const _DSNETINFO *dev, int32_t value);

// Builds the 20-byte info request for dev.  Returns 20, or -1 when cap is short.
int dsproto_build_info(uint8_t *buf, size_t cap, const _DSNETINFO *dev);

// Number of reply bytes read for a request kind (24, 20 or 36), 0 for an
// unknown kind.
size_t dsproto_reply_size(uint8_t kind);

// The reply test: byte 0 is kind | 0x80, byte 1 (status) is 0 and bytes 4..7
// hold the reserved value (big-endian; every caller passes 0).  The length
// field is not tested.
bool dsproto_is_reply(const uint8_t *buf, size_t len, uint8_t kind, uint32_t reserved);

// Fewest reply bytes that carry everything read from a reply of a request
// kind: 24 (search, identify) and 36 (info), whose fields are read, but 8
// for set-value, whose reply is judged by its header alone.  0 for an
// unknown kind.
size_t dsproto_reply_min(uint8_t kind);

// The reply test plus our own rule for short replies: a datagram that passes
// the test but is shorter than dsproto_reply_min for its kind would leave
// fields undefined, so it is not accepted (it is dropped like any other stray
// datagram).  A set-value reply of its bare 8-byte header is accepted.
bool dsproto_accept_reply(const uint8_t *buf, size_t len, uint8_t kind, uint32_t reserved);

// Reads a search (or identify) reply into *out: apid, hwid, mac and
// reported_ip from the datagram, ip = src_ip or reported_ip when src_ip is 0,
// local_ip, and DS_DIRECT when direct.  False (and *out untouched) when the
// datagram is not an acceptable search reply.
bool dsproto_read_search_reply(const uint8_t *buf, size_t len, uint32_t src_ip, uint32_t local_ip,
                               bool direct, _DSNETINFO *out);

// Compares an identify reply with the record: each of apid, hwid and mac that
// is zero in the record takes the reply's value; a non-zero field that differs
// gives -1.  When all agree, reported_ip is filled if it was zero and the
// result is 1.  A datagram that is not an acceptable identify reply gives -1
// and leaves the record untouched.
int dsproto_check_identify(const uint8_t *buf, size_t len, _DSNETINFO *rec);

// Copies bytes 20..35 of an acceptable info reply into out.  False when the
// datagram is not one.
bool dsproto_read_info(const uint8_t *buf, size_t len, uint8_t out[DS_INFO_BLOCK_SIZE]);

// Device side: builds a search/identify reply (24 bytes) for the simulator
// and tests.  Returns 24, or -1 when cap is short.
int dsproto_build_search_reply(uint8_t *buf, size_t cap, uint32_t apid, uint16_t hwid,
                               const uint8_t mac[DS_MAC_SIZE], uint32_t reported_ip);

// Reads the big-endian length field; 0 when len is below 4.
uint16_t dsproto_length_field(const uint8_t *buf, size_t len);

// True when all six bytes are zero (the missing MAC).
bool dsproto_mac_is_zero(const uint8_t mac[DS_MAC_SIZE]);
