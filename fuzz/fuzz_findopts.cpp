// Feeds arbitrary command lines to vela-find's option parser.  The input is
// split at NUL bytes into arguments (after the program name).  The parser
// either accepts them or gives a message; an accepted line leaves the
// options within their ranges, and parsing is a pure function of the line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "options.h"

namespace {

bool SameTargets(const std::vector<TSearchTarget> &a, const std::vector<TSearchTarget> &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].address != b[i].address || a[i].prefix_len != b[i].prefix_len) return false;
  return true;
}

bool SameOptions(const TFindOptions &a, const TFindOptions &b) {
  return a.passes == b.passes && a.pass_time == b.pass_time && a.models == b.models && a.sort == b.sort &&
         a.reverse == b.reverse && a.format == b.format && a.help == b.help && a.version == b.version &&
         SameTargets(a.targets, b.targets) && a.interfaces == b.interfaces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<std::string> args{"vela-find"};
  std::string cur;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(static_cast<char>(data[i]));
    }
  }
  if (size > 0) args.push_back(cur);
  if (args.size() > 64) return 0;

  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(args.size());

  TFindOptions first, second;
  std::string err1, err2;
  const bool ok1 = ParseFindOptions(argc, argv.data(), &first, &err1);
  const bool ok2 = ParseFindOptions(argc, argv.data(), &second, &err2);
  if (ok1 != ok2 || err1 != err2 || !SameOptions(first, second)) __builtin_trap();
  if (!ok1 && err1.empty()) __builtin_trap();
  if (ok1) {
    if (first.sort < SORT_NO || first.sort > SORT_IP) __builtin_trap();
    // A target is one device (/32) or a subnet of /22 to /30.
    for (const TSearchTarget &t : first.targets)
      if (t.prefix_len != 32 && (t.prefix_len < 22 || t.prefix_len > 30)) __builtin_trap();
    if (first.format != TOutputFormat::Table && first.format != TOutputFormat::Csv &&
        first.format != TOutputFormat::Json)
      __builtin_trap();
  }
  return 0;
}
