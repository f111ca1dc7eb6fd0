// tqsock's search of a routed subnet: passes like the broadcast search, each
// sending the search request to every host address of the subnet in turn.
#pragma once

#include <cstdint>

#include "platform.h"
#include "tqsock.h"

// Requests one pass sends per pacing step, and the step: a /24 pass's 254
// requests leave within about 100 ms, a /22's 1022 within about 400 ms.
constexpr uint32_t TQ_SUBNET_BATCH = 26;
constexpr uint32_t TQ_SUBNET_STEP_MS = 10;

// Most host addresses a subnet search asks: those of a /22.
constexpr uint32_t TQ_SUBNET_MAX_HOSTS = 1022;

// True when ip lies in the subnet of one of the host's own addresses
// (table: the address table; a row of prefix /1 to /31).  Such an address
// is on a link of the host: a request to it makes the kernel resolve it
// (one neighbour entry per address, each send waiting for the resolution),
// and a broadcast search reaches its devices already.
bool tqsubnet_on_link(uint32_t ip, const _IPADDRTABLE *table);

// Fills hosts (room for TQ_SUBNET_MAX_HOSTS) with the host addresses of
// network/prefix_len (22..30) that a subnet search asks, in address order:
// every one but the network and broadcast addresses and those on a link of
// the host (tqsubnet_on_link).  Returns their number.
uint32_t tqsubnet_hosts_to_ask(uint32_t network, int prefix_len, const _IPADDRTABLE *table,
                               uint32_t *hosts);

// Searches network/prefix_len (network order, no host bits, prefix_len
// 22..30) from one wildcard socket that never broadcasts, asking the hosts
// tqsubnet_hosts_to_ask gives for the address table connected, with settings->count as the pass limit P
// and settings->timeout as the quiet time T that follows each pass's
// requests.  Only replies from inside the subnet count.  Devices are
// reported to on_device with DS_DIRECT set, and the callback is called with
// null at the end of every pass.  1, -12 (every request of a pass failed to
// leave, or no host is left to ask), -13 or -19.  The search counts as
// begun when stop_mark was taken (tqsock_stop_mark): a stop request ends it
// with -13 as it does a broadcast search, at once while it waits for
// replies and within one pacing step while it sends.
int tqsock_search_subnet(uint32_t network, int prefix_len, const _IPADDRTABLE *connected,
                         TQ_DEVICE_CALLBACK on_device, const _TQSETTINGS *settings,
                         uint32_t stop_mark);
