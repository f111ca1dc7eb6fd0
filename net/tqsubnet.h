// tqsock's search of a routed subnet: passes like the broadcast search, each
// sending the search request to every host address of the subnet in turn.
#pragma once

#include <cstdint>

#include "tqsock.h"

// Requests one pass sends per pacing step, and the step: a /24 pass's 254
// requests leave within about 100 ms, a /22's 1022 within about 400 ms.
constexpr uint32_t TQ_SUBNET_BATCH = 26;
constexpr uint32_t TQ_SUBNET_STEP_MS = 10;

// Searches network/prefix_len (network order, no host bits, prefix_len
// 1..30) from one wildcard socket, with settings->count as the pass limit P
// and settings->timeout as the quiet time T that follows each pass's
// requests.  Devices are reported to on_device with DS_DIRECT set, and the
// callback is called with null at the end of every pass.  1, -12 (every
// request of a pass failed to leave), -13 or -19.
int tqsock_search_subnet(uint32_t network, int prefix_len, TQ_DEVICE_CALLBACK on_device,
                         const _TQSETTINGS *settings);
