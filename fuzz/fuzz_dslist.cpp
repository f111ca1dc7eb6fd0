// Drives the device list's merge with a sequence of search events, as the
// search thread and the main window produce them: replies through
// OnSearchReply (new devices, the same device again, moves to another
// address, zero MACs, models missing from the model table), ends of passes,
// a stop, and FinishSearch.  Every input starts a fresh broadcast search and
// ends with FinishSearch(false), so it starts from an empty result list.
//
// Every distinct device gets a request thread that lives as long as the
// process, so identities come from a small space (three accepted models -
// two built-in rows and the empty pair 0,0 - one unknown model, three MACs
// and the zero MAC, four addresses): at most 21 devices over the whole run,
// and every case of the identity rule is reachable.  No socket is opened:
// the network layer is never started, so a search thread ends at once and
// the request threads' handles are table slots only.
//
// Input: one byte per event (low 2 bits the kind), a reply followed by one
// byte that selects model (bits 0-1), MAC (bits 2-3), address (bits 4-5) and
// a zero source address (bit 6).
//
// Checked after every event: the found list and the result list hold
// distinct records of accepted models only, at most 128; a reply of an
// unknown model changes nothing; records are never dropped, their model ids
// never change, and a MAC once known is never replaced; after FinishSearch
// every found device is in the result list, in an entry with DSF_FIXED as
// asked; a new broadcast search without DSF_FIXED devices starts from an
// empty result list.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "dslist.h"
#include "modeltable.h"

namespace {

constexpr uint32_t kUnknownApid = 0xDEADBEEF;
constexpr uint16_t kUnknownHwid = 0xBEEF;

struct Known {
  uint32_t apid;
  uint16_t hwid;
  uint8_t mac[DS_MAC_SIZE];
};
std::vector<Known> g_known;  // per device index, as first seen and completed

bool Accepted(uint32_t apid, uint16_t hwid) { return FindModel(apid, hwid) >= 0; }

_DSNETINFO MakeReply(uint8_t sel) {
  static const uint8_t kMacs[4][DS_MAC_SIZE] = {
      {0, 0, 0, 0, 0, 0}, {2, 0, 0, 0, 0, 1}, {2, 0, 0, 0, 0, 2}, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff}};
  static const uint32_t kIps[4] = {0x1504a8c0, 0x1604a8c0, 0x1500580a, 0x05091fac};
  _DSNETINFO info{};
  switch (sel & 3) {
    case 0: {
      const _MODELINFO row = ModelRow(0);
      info.apid = row.apid;
      info.hwid = row.hwid;
      break;
    }
    case 1: {
      const _MODELINFO row = ModelRow(1);
      info.apid = row.apid;
      info.hwid = row.hwid;
      break;
    }
    case 2:
      break;  // 0,0: the first empty row accepts it
    default:
      info.apid = kUnknownApid;
      info.hwid = kUnknownHwid;
  }
  std::memcpy(info.mac, kMacs[(sel >> 2) & 3], DS_MAC_SIZE);
  info.reported_ip = kIps[(sel >> 4) & 3];
  info.ip = (sel & 0x40) ? info.reported_ip : kIps[(sel >> 4) & 3];
  info.local_ip = (sel & 0x80) ? 0x0a4da8c0 : 0x0a00580a;
  return info;
}

bool MacZero(const uint8_t *mac) {
  for (size_t i = 0; i < DS_MAC_SIZE; ++i)
    if (mac[i] != 0) return false;
  return true;
}

void CheckRecords() {
  const int n = DsList.DeviceCount();
  if (n < static_cast<int>(g_known.size())) __builtin_trap();  // records are never dropped
  for (int i = 0; i < n; ++i) {
    const _DSNETINFO net = DsNetCopy(DsList.Device(i));
    if (!Accepted(net.apid, net.hwid)) __builtin_trap();
    if (i >= static_cast<int>(g_known.size())) {
      Known k{net.apid, net.hwid, {}};
      std::memcpy(k.mac, net.mac, DS_MAC_SIZE);
      g_known.push_back(k);
      continue;
    }
    Known &k = g_known[static_cast<size_t>(i)];
    if (k.apid != net.apid || k.hwid != net.hwid) __builtin_trap();
    if (!MacZero(k.mac) && std::memcmp(k.mac, net.mac, DS_MAC_SIZE) != 0) __builtin_trap();
    std::memcpy(k.mac, net.mac, DS_MAC_SIZE);
  }
}

void CheckLists() {
  const int found = DsList.FoundCount();
  if (found > DS_MAX_FOUND) __builtin_trap();
  std::set<const void *> seen;
  for (int i = 0; i < found; ++i)
    if (!seen.insert(DsList.FoundInfo(i)).second) __builtin_trap();
  seen.clear();
  for (int i = 0, n = DsList.ListCount(); i < n; ++i)
    if (!seen.insert(DsList.ListDevice(i)).second) __builtin_trap();
  CheckRecords();
}

void RunSearch() {
  DsList.StartSearch(-1, 0, 0);
  while (!DsList.IsSearchDone()) std::this_thread::sleep_for(std::chrono::microseconds(50));
}

void StartFreshSearch() {
  // A broadcast search keeps the DSF_FIXED devices of the result list, each
  // as the first record it matches (possibly an earlier one without the
  // flag).  FinishSearch(false) clears the flag only on the first list entry
  // that each found device matches, so a device can stay fixed; the harness
  // clears the flag on every record and searches again, so that every input
  // starts from an empty result list.
  RunSearch();
  if (DsList.FoundCount() != 0) __builtin_trap();
  for (int i = 0, n = DsList.DeviceCount(); i < n; ++i) DsFlagClear(DsList.Device(i), DSF_FIXED);
  RunSearch();
  if (DsList.FoundCount() != 0 || DsList.ListCount() != 0) __builtin_trap();
}

void Finish(bool fixed) {
  const std::vector<_DSNETINFO> found = DsList.FoundSnapshot();
  const int count = DsList.FinishSearch(fixed);
  if (count != DsList.ListCount()) __builtin_trap();
  // Each found device merged into the first list entry it matched, which
  // then took the fixed flag asked for; the MACs of matching entries are
  // equal or one is zero.
  for (const _DSNETINFO &f : found) {
    bool listed = false;
    for (int j = 0; j < count && !listed; ++j) {
      _DSONEINFO *rec = DsList.ListDevice(j);
      const _DSNETINFO net = DsNetCopy(rec);
      listed = net.apid == f.apid && net.hwid == f.hwid && DsFlagTest(rec, DSF_FIXED) == fixed &&
               (std::memcmp(net.mac, f.mac, DS_MAC_SIZE) == 0 || MacZero(f.mac) || MacZero(net.mac));
    }
    if (!listed) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  StartFreshSearch();
  bool stopped = false;
  for (size_t pos = 0; pos < size; ++pos) {
    const uint8_t op = data[pos];
    switch (op & 3) {
      case 0: {  // a reply
        if (pos + 1 >= size) break;
        _DSNETINFO info = MakeReply(data[++pos]);
        const int found_before = DsList.FoundCount();
        const int devices_before = DsList.DeviceCount();
        const int r = TDsList::OnSearchReply(&info);
        if (r != (stopped ? 0 : 1)) __builtin_trap();
        if (!Accepted(info.apid, info.hwid) || stopped) {
          if (DsList.FoundCount() != found_before || DsList.DeviceCount() != devices_before) __builtin_trap();
        } else if (DsList.FoundCount() < 1) {
          __builtin_trap();
        }
        break;
      }
      case 1:  // end of a pass
        if (TDsList::OnSearchReply(nullptr) != (stopped ? 0 : 1)) __builtin_trap();
        break;
      case 2:  // the dialog closed: merge; bit 2 chooses fixed
        Finish((op & 4) != 0);
        break;
      default:  // Stop
        if (op & 4) {
          DsList.StopSearch();
          stopped = true;
        }
    }
    CheckLists();
  }
  Finish(false);
  CheckLists();
  return 0;
}
