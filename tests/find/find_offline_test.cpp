// vela-find where nothing is searched: started with standard output
// closed, without a usable local address, with a model file it cannot
// read.  Runs in a namespace with only a loopback (run_isolated.sh); each
// case that needs other interfaces makes a namespace of its own below it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "find_run.h"
#include "netns.h"
#include "vela_version.h"

namespace {

using velatest::Result;
using velatest::RunProgram;

// Runs vela-find through sh -c with the shell text before and after it.
Result Shell(const std::string &before, const std::string &after) {
  return RunProgram({"sh", "-c", before + " " VELA_FIND " " + after});
}

// Its result would be lost: it says so and exits 3 before it searches (here
// a search would exit 1, as no address can search).
TEST(FindOffline, StandardOutputClosedExitsWithThreeBeforeItSearches) {
  for (const char *args : {"--passes 1 --pass-time 100 >&-", "--help >&-", "--format json >&- <&-"}) {
    Result r = Shell("exec", args);
    EXPECT_EQ(r.status, 3) << args;
    EXPECT_EQ(r.err, "vela-find: standard output is closed\n") << args;
  }
  // Only standard output counts: closed input and error are no reason.
  Result r = Shell("exec", "--version <&- 2>&-");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "vela-find " VELA_VERSION_TEXT "\n");
}

// The entries of an interface list "a (x), b (y, z)\n", sorted.
std::vector<std::string> Sorted(const std::string &list) {
  std::vector<std::string> entries;
  size_t start = 0;
  for (size_t end; (end = list.find("), ", start)) != std::string::npos; start = end + 3)
    entries.push_back(list.substr(start, end + 1 - start));
  entries.push_back(list.substr(start));
  if (!entries.back().empty() && entries.back().back() == '\n')
    entries.back().pop_back();
  std::sort(entries.begin(), entries.end());
  return entries;
}

// "Initial Socket Error!" and, on the next line, why: what each interface
// of the namespace is.
TEST(FindOffline, NoUsableAddressSaysWhatWasFound) {
  const std::string head = "Initial Socket Error!\nvela-find: no usable local IPv4 address; interfaces: ";
  struct Case {
    std::string setup;  // shell commands in a new namespace
    std::string found;
  };
  const Case cases[] = {
      {"true", "lo (loopback)"},
      {"ip link set lo up", "lo (loopback, 127.0.0.1)"},
      {"ip link add vela-d type veth peer name vela-p && ip addr add 10.9.9.9/24 dev vela-d",
       "lo (loopback), vela-d (down, 10.9.9.9), vela-p (no IPv4 address)"},
  };
  for (const Case &c : cases) {
    Result r = Shell("exec unshare -n sh -c '" + c.setup + " && exec \"$0\" \"$@\"'", "--passes 1 --pass-time 100");
    EXPECT_EQ(r.status, 1) << c.setup << ": " << r.err;
    // The interfaces in any order.
    ASSERT_EQ(r.err.rfind(head, 0), 0u) << r.err;
    EXPECT_EQ(Sorted(r.err.substr(head.size())), Sorted(c.found + "\n")) << c.setup << ": " << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// A model file named with --models that cannot be read: the reason once,
// and the library's own message not at all.
TEST(FindOffline, NamedModelFileThatCannotBeReadGivesTheReason) {
  Result r = Shell("exec", "--models /nonexistent.ini");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "vela-find: cannot read model file /nonexistent.ini: No such file or directory\n");
  EXPECT_EQ(r.out, "");
}

}  // namespace

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!velatest::InLoopbackOnlyNamespace()) {
    std::fprintf(stderr, "refusing to run in the machine's own network namespace\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
