// The device list: one record for every distinct device heard since the
// start, the found list of the current search and the result list shown
// after it.  Starts searches on a search thread, takes every reply of a
// search, registers new devices (record, request thread, first commands)
// and merges a search into the result list.
//
// Concurrency scheme: m_lock guards the three vectors, the search
// generation and every whole-record access made by the list; a record's
// net is copied or rewritten only under its own net_lock (the innermost
// lock), so the configuration and request threads never see it half
// written; flags bits change only by atomic bit operations.  Records never
// move, so a pointer from FoundInfo or ListDevice stays valid for the life
// of the list; while a search thread may still run, read a record's
// identity through the copying accessors (FoundInfoCopy, ListInfoCopy,
// FoundSnapshot).  Every search has a generation number: a search thread
// left behind by a newer StartSearch stops at its next reply and can no
// longer touch the found list; its object is released once it has ended.
// Lock order: search lock (network layer), m_lock, configuration lock,
// request-thread lock, message-queue lock; net_lock innermost.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "command.h"
#include "dsrecord.h"
#include "thread.h"

class TEnumThread;
class Tdscfgthread;

constexpr int DS_MAX_FOUND = 128;  // devices one search records

class TDsList {
 public:
  TDsList();
  ~TDsList();
  TDsList(const TDsList &) = delete;
  TDsList &operator=(const TDsList &) = delete;

  // Empties the found list (a broadcast search, target -1, also keeps only
  // the DSF_FIXED devices of the result list), clears the stop flag and
  // starts a search thread.
  void StartSearch(int32_t target, int32_t pass_count, int32_t pass_time);
  // As StartSearch with a target that is one device's address (prefix_len
  // 32: a directed search) or a routed subnet address/prefix_len (22..30,
  // the network layer's ds_search_subnet).  The result list is kept whole,
  // as for every search that is not a broadcast.
  void StartTargetSearch(uint32_t address, int32_t prefix_len, int32_t pass_count, int32_t pass_time);
  // Search callback (search thread): 1 go on, 0 stop.
  static int OnSearchReply(_DSNETINFO *info);
  // True when no search thread exists or it has ended (then releases it).
  bool IsSearchDone();
  // Raises the stop flag and the network layer's stop request: a running
  // search ends at once, with the devices found so far.
  void StopSearch();
  // Merges the found list into the result list; DSF_FIXED set or cleared
  // on every device of the search.  Returns the result count.
  int FinishSearch(bool fixed);

  int FoundCount();
  int ListCount();
  int DeviceCount();
  // net of the record of found entry i (i below FoundCount()).
  _DSNETINFO *FoundInfo(int i);
  _DSNETINFO FoundInfoCopy(int i);
  // Copies of the nets of the whole found list, in order, taken at once.
  std::vector<_DSNETINFO> FoundSnapshot();
  // Record of result-list entry i (i below ListCount()).
  _DSONEINFO *ListDevice(int i);
  _DSNETINFO ListInfoCopy(int i);
  // Record with device index i (i below DeviceCount()).
  _DSONEINFO *Device(int i);

  _CMDOBJ *PostToDevice(int index, int32_t code, int32_t param, int32_t param2, bool auto_free);
  // Keeps only the DSF_FIXED devices of the result list; returns its size.
  int KeepFixed();

  Tdscfgthread *Cfg() const { return m_cfg; }
  // Removes and returns the texts of the failures the list met since the
  // last call, oldest first: a thread the system would not start ("cannot
  // start a thread for device <MAC> at <IP>: <reason>"), which ended the
  // search as if stopped.  The programs show them.
  std::vector<std::string> TakeNotices();
  // Why the last search that has ended could not be carried out whole, for
  // the user; empty when it was (also when it found nothing, a directed
  // search got no answer, or StopSearch ended it).  Set when no search
  // request could be sent, the network layer failed otherwise, or the
  // search thread or a device's thread could not start (the list may then
  // be incomplete).  Known once IsSearchDone has reported the end.
  std::string SearchFailure();
  // Abandoned search threads not yet released (they are released, by the
  // next call of StartSearch, IsSearchDone or FinishSearch, once ended).
  int AbandonedSearchCount();

  // Ends every thread of the list: raises the stop flag and waits for the
  // search threads, cancels running requests and stops the request threads
  // and the configuration thread, then closes the records' open handles
  // (clearing their progress callbacks) and frees the records.  Called by the
  // destructor at process exit; a program calls it itself before
  // ds_cleanup.  Idempotent; the list must not be used afterwards.
  void Shutdown();

 private:
  void ClearFound();
  int KeepFixedLocked();
  int AddFound(_DSNETINFO *infos, int count);
  // Device index of the record for info, created with its request thread
  // when new; -1 (stop flag raised, notice kept) when its thread cannot start.
  int FindOrAddDevice(_DSNETINFO *info, bool *created);
  _CMDOBJ *PostLocked(int index, int32_t code, int32_t param, int32_t param2, bool auto_free);
  void ReleaseEndedSearches();

  std::vector<int32_t> m_list;
  TEnumThread *m_enum = nullptr;
  TCriticalSection *m_lock = nullptr;
  Tdscfgthread *m_cfg = nullptr;
  std::vector<TEnumThread *> m_retired;  // abandoned searches, released when ended
  std::vector<std::string> m_notices;    // see TakeNotices
  std::string m_failure;                 // see SearchFailure
  bool m_shut_down = false;

  static std::vector<_DSONEINFO *> s_devices;
  static std::vector<int32_t> s_found;
  static std::atomic<int32_t> s_stop;
  static std::atomic<int32_t> s_generation;
};

// The one device list of the program.
extern TDsList DsList;
