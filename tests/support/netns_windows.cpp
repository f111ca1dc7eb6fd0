// Where a test's packets may go, for the tests of the Windows build.  They
// run under wine, whose sockets live in the wineserver: scripts/wine-run
// starts that in a namespace of ours (a loopback-only one, or a lab's host
// namespace) and refuses the machine's own.  The checks here look at what
// the program itself sees, through the same IP Helper listing the network
// layer uses: the adapters of a lab's host namespace are named vela-*, and
// a loopback-only namespace has nothing but a loopback.
#include <winsock2.h>
#include <iphlpapi.h>

#include <string>
#include <vector>

#include "netns.h"

namespace {

struct Adapter {
  std::wstring name;
  bool loopback;
};

bool Adapters(std::vector<Adapter> *out) {
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buf;
  for (int attempt = 0; attempt < 4; ++attempt) {
    buf.assign(size, 0);
    auto *first = reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buf.data());
    const ULONG r = GetAdaptersAddresses(AF_UNSPEC, 0, nullptr, first, &size);
    if (r == ERROR_BUFFER_OVERFLOW)
      continue;
    if (r == ERROR_NO_DATA)
      return true;
    if (r != NO_ERROR)
      return false;
    for (IP_ADAPTER_ADDRESSES *a = first; a != nullptr; a = a->Next)
      out->push_back({a->FriendlyName ? a->FriendlyName : L"", a->IfType == IF_TYPE_SOFTWARE_LOOPBACK});
    return true;
  }
  return false;
}

}  // namespace

namespace velatest {

bool InOwnLabNamespace() {
  std::vector<Adapter> all;
  if (!Adapters(&all))
    return false;
  bool lab = false;
  for (const Adapter &a : all) {
    if (a.loopback)
      continue;
    if (a.name.compare(0, 5, L"vela-") != 0)
      return false;
    lab = true;
  }
  return lab;
}

bool InLabHost(const std::string &) { return InOwnLabNamespace(); }

bool EnterPrivateNamespace() { return false; }

bool InPrivateNamespace() { return InLoopbackOnlyNamespace() || InOwnLabNamespace(); }

bool InLoopbackOnlyNamespace() {
  std::vector<Adapter> all;
  if (!Adapters(&all))
    return false;
  for (const Adapter &a : all)
    if (!a.loopback)
      return false;
  return true;
}

}  // namespace velatest
