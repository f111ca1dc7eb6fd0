// vela-find in the lab: output for the demo device set in each format and
// order, the settings and options it applies, and each exit status.  Runs
// whole in a lab playing data/devices.ini (tests/support/run_in_lab.sh);
// vela-find inherits the lab's host namespace from this program.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <set>
#include <sstream>

#include "find_run.h"
#include "lab.h"
#include "wait.h"

namespace {

using velatest::kData;

using velatest::Collect;
using velatest::Find;
using velatest::Lines;
using velatest::Result;
using velatest::RunProgram;
using velatest::Running;
using velatest::StartProgram;

// The lab run_in_lab.sh started this program in.
velatest::Lab &TheLab() { return velatest::Lab::Enclosing(); }

// The devices of data/devices.ini that a search lists, by address order.
const std::vector<std::vector<std::string>> kExpected = {
    {"VA-1021", "02:56:00:00:01:31", "10.88.0.31"},   {"VM-1011", "02:56:00:00:01:32", "10.88.0.32"},
    {"VG-1002", "02:56:00:00:01:33", "10.88.0.33"},   {"VR-1016", "02:56:00:00:09:05", "172.31.9.5"},
    {"VL-2108", "02:56:00:00:00:21", "192.168.77.21"}, {"VL-3116", "02:56:00:00:00:22", "192.168.77.22"},
    {"VS-1004", "02:56:00:00:00:23", "192.168.77.23"}, {"VC-1020", "02:56:00:00:00:24", "192.168.77.24"},
    {"VP-1008", "00:00:00:00:00:00", "192.168.77.25"},
};

using velatest::Fields;

class Finder : public ::testing::Test {
 protected:
  void SetUp() override { VELA_LAB_OR_SKIP(TheLab()); }
};

TEST_F(Finder, TableOfTheDemoSetSortedByAddress) {
  Result r = Find({"--passes", "2", "--pass-time", "200", "--sort", "ip"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "") << "no progress off a terminal, no model warning";
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 12u) << r.out;
  EXPECT_EQ(lines[0], "No  Model    MAC Address        IP Address");
  std::set<std::string> numbers;
  for (size_t i = 0; i < 9; i++) {
    const std::string &line = lines[i + 1];
    auto f = Fields(line, ' ');
    ASSERT_EQ(f.size(), 4u) << line;
    numbers.insert(f[0]);
    EXPECT_EQ(f[1], kExpected[i][0]);
    EXPECT_EQ(f[2], kExpected[i][1]);
    EXPECT_EQ(f[3], kExpected[i][2]);
    // Columns line up under their captions.
    EXPECT_EQ(line.find(f[1]), 4u);
    EXPECT_EQ(line.find(f[2], 4), 13u);
    EXPECT_EQ(line.find(f[3], 13), 32u);
  }
  EXPECT_EQ(numbers, (std::set<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
  EXPECT_EQ(lines[10], "");
  EXPECT_EQ(lines[11], "Search Result - 9 Vela(s)");
}

TEST_F(Finder, DefaultOrderIsTheOrderFirstHeard) {
  Result r = Find({"--passes", "2", "--pass-time", "200", "--format", "csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 10u);
  for (size_t i = 1; i < lines.size(); i++)
    EXPECT_EQ(Fields(lines[i], ',')[0], std::to_string(i));
}

TEST_F(Finder, CsvSortedByMacDescending) {
  Result r = Find({"--passes=2", "--pass-time=200", "--format=csv", "--sort=mac", "--reverse"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 10u) << r.out;
  EXPECT_EQ(lines[0], "No,Model,MAC Address,IP Address");
  std::vector<std::vector<std::string>> want = kExpected;
  std::sort(want.begin(), want.end(), [](const auto &a, const auto &b) { return a[1] > b[1]; });
  for (size_t i = 0; i < 9; i++) {
    auto f = Fields(lines[i + 1], ',');
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[1], want[i][0]);
    EXPECT_EQ(f[2], want[i][1]);
    EXPECT_EQ(f[3], want[i][2]);
  }
}

TEST_F(Finder, JsonSortedByModel) {
  Result r = Find({"--passes", "2", "--pass-time", "200", "--format", "json", "--sort", "model"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 11u) << r.out;
  EXPECT_EQ(lines[0], "{\"found\": 9, \"devices\": [");
  EXPECT_EQ(lines[10], "]}");
  std::vector<std::vector<std::string>> want = kExpected;
  std::sort(want.begin(), want.end(), [](const auto &a, const auto &b) { return a[0] < b[0]; });
  for (size_t i = 0; i < 9; i++) {
    const std::string &l = lines[i + 1];
    EXPECT_NE(l.find("\"model\": \"" + want[i][0] + "\", \"mac\": \"" + want[i][1] + "\", \"ip\": \"" +
                     want[i][2] + "\"}"),
              std::string::npos)
        << l;
  }
}

TEST_F(Finder, NoDeviceIsACompletedSearch) {
  ASSERT_TRUE(TheLab().LoadSimText(
      "[prototype]\nip = 192.168.77.40\napid = 0x00990001\nhwid = 0x0001\nmac = 02:99:00:00:00:40\n"));
  Result r = Find({"--passes", "1", "--pass-time", "150"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "No  Model  MAC Address  IP Address\n\nSearch Result - 0 Vela(s)\n");
  Result j = Find({"--passes", "1", "--pass-time", "150", "--format", "json"});
  EXPECT_EQ(j.out, "{\"found\": 0, \"devices\": []}\n");
  ASSERT_TRUE(TheLab().LoadSim(kData + "/devices.ini"));
}

// Counts the search requests that reached the simulator of link a.
size_t SearchRequests() {
  size_t n = 0;
  for (const auto &d : TheLab().SimLog('a'))
    if (!d.bytes.empty() && d.bytes[0] == 1 && d.dst == "255.255.255.255:4800")
      n++;
  return n;
}

TEST_F(Finder, SettingsFileAndOptionsSetThePasses) {
  char dir[] = "/tmp/find-cfg-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string vela = std::string(dir) + "/Vela";
  mkdir(vela.c_str(), 0700);
  std::ofstream(vela + "/2.0.conf") << "[General]\nSerCnt=1\nSerTim=150\n";
  std::string env = std::string("XDG_CONFIG_HOME=") + dir;

  ASSERT_TRUE(TheLab().LoadSim(kData + "/devices.ini"));
  Result r = Find({"--format", "csv"}, kData, {env});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(Lines(r.out).size(), 10u);
  EXPECT_EQ(SearchRequests(), 1u) << "SerCnt=1: one pass";

  ASSERT_TRUE(TheLab().LoadSim(kData + "/devices.ini"));
  r = Find({"--format", "csv", "--passes", "3"}, kData, {env});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(SearchRequests(), 3u) << "--passes overrides the file";
  unlink((vela + "/2.0.conf").c_str());
  rmdir(vela.c_str());
  rmdir(dir);
}

TEST_F(Finder, ModelFileDecidesWhatIsListed) {
  // Without model_name.ini in the current directory: the built-in models
  // and the desktop program's warning.
  Result r = Find({"--passes", "1", "--pass-time", "150", "--format", "csv"}, "/");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "cannot parse file [model_name.ini]\nmodel_name.ini not found\n");
  EXPECT_EQ(Lines(r.out).size(), 10u);

  // A file of one section rewrites row 0 with the ids of the hall gateway
  // under a name of its own; the lower row gives the name.
  char path[] = "/tmp/find-models-XXXXXX.ini";
  int fd = mkstemps(path, 4);
  std::string text = "[hall]\nmodel_name = Hall Gateway\napid = 560001\nhwid = 2108\nports = 4\n";
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
  r = Find({"--passes", "1", "--pass-time", "150", "--format", "csv", "--sort", "ip", "--models", path}, "/");
  unlink(path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  auto lines = Lines(r.out);
  bool renamed = false;
  for (const auto &l : lines)
    renamed = renamed || l.find(",Hall Gateway,02:56:00:00:00:21,192.168.77.21") != std::string::npos;
  EXPECT_TRUE(renamed) << r.out;
}

// A model name with control characters (an escape sequence, BEL, a tab)
// reaches the terminal as replacement characters in the table; CSV keeps
// the name as the file gave it.
TEST_F(Finder, ControlCharactersOfAModelNameNeverReachTheTerminal) {
  char path[] = "/tmp/find-models-XXXXXX.ini";
  int fd = mkstemps(path, 4);
  std::string text = "[hall]\nmodel_name = Hall\x1B[1mBold\x07Gate\tway\napid = 560001\n"
                     "hwid = 2108\nports = 4\n";
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
  const std::vector<std::string> args = {"--passes", "1", "--pass-time", "150", "--sort", "ip", "--models", path};
  Result table = Find(args, "/");
  std::vector<std::string> csv_args = args;
  csv_args.insert(csv_args.end(), {"--format", "csv"});
  Result csv = Find(csv_args, "/");
  unlink(path);
  ASSERT_EQ(table.status, 0) << table.err;
  for (unsigned char c : table.out)
    ASSERT_TRUE(c >= 0x20 || c == '\n') << "control byte " << int{c} << " in " << table.out;
  bool shown = false;
  for (const std::string &line : Lines(table.out))
    shown = shown || (line.find(" Hall\xEF\xBF\xBD[1mBold\xEF\xBF\xBDGate\xEF\xBF\xBDway ") != std::string::npos &&
                      line.find(" 02:56:00:00:00:21 ") != std::string::npos);
  EXPECT_TRUE(shown) << table.out;
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_NE(csv.out.find(",Hall\x1B[1mBold\x07Gate\tway,02:56:00:00:00:21,"), std::string::npos) << csv.out;
}

TEST_F(Finder, BadArgumentsExitWithTwo) {
  const std::vector<std::vector<std::string>> bad = {
      {"--sort", "size"},        {"--format", "xml"},     {"--passes", "many"},
      {"--pass-time"},           {"--frobnicate"},        {"extra"},
      {"--passes", "99999999999"}, {"--models", "/nonexistent/models.ini"}, {"--reverse=yes"},
  };
  for (const auto &args : bad) {
    Result r = Find(args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(r.out, "") << args[0];
    EXPECT_NE(r.err.find("vela-find: "), std::string::npos) << args[0];
  }
}

TEST_F(Finder, HelpDocumentsEveryOption) {
  Result r = Find({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char *word : {"--passes", "--pass-time", "--models", "--sort", "--reverse", "--format", "--help",
                           "model, mac", "table", "csv", "json", "Exit status"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

// A network layer that cannot start (exit status 1): find_offline_test.

TEST_F(Finder, ResultThatCannotBeWrittenIsNoSuccess) {
  // /dev/full refuses every write: the search runs, its result is lost.
  for (const char *args : {" --passes 1 --pass-time 100", " --passes 1 --pass-time 100 --format json",
                           " --help"}) {
    Result r = RunProgram({"sh", "-c", std::string("exec ") + VELA_FIND + args + " >/dev/full"});
    EXPECT_EQ(r.status, 3) << args << ": " << r.err;
    EXPECT_NE(r.err.find("vela-find: cannot write the result"), std::string::npos) << args << ": " << r.err;
  }
}

// Started outside any folder with a model file (as from the desktop menu),
// vela-find takes $XDG_CONFIG_HOME/Vela/model_name.ini without a warning;
// a model_name.ini in the current folder still comes first.
TEST_F(Finder, ModelFileInTheConfigFolderIsFound) {
  char dir[] = "/tmp/find-xdg-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string vela = std::string(dir) + "/Vela", here = std::string(dir) + "/here";
  ASSERT_EQ(mkdir(vela.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(here.c_str(), 0700), 0);
  std::ofstream(vela + "/model_name.ini")
      << "[hall]\nmodel_name = Config Gateway\napid = 560001\nhwid = 2108\nports = 4\n";
  std::string env = std::string("XDG_CONFIG_HOME=") + dir;
  const std::vector<std::string> args = {"--passes", "1", "--pass-time", "150", "--format", "csv"};

  Result r = Find(args, "/", {env});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find(",Config Gateway,02:56:00:00:00:21,192.168.77.21"), std::string::npos) << r.out;

  std::ofstream(here + "/model_name.ini")
      << "[hall]\nmodel_name = Local Gateway\napid = 560001\nhwid = 2108\nports = 4\n";
  r = Find(args, here, {env});
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find(",Local Gateway,02:56:00:00:00:21,"), std::string::npos) << r.out;

  unlink((here + "/model_name.ini").c_str());
  unlink((vela + "/model_name.ini").c_str());
  rmdir(here.c_str());
  rmdir(vela.c_str());
  rmdir(dir);
}

// Starts a search with passes of a minute, lets the demo devices answer,
// sends the signals (100 ms apart) and waits for the end (generous bound: a
// finder that waited for the pass would take a minute).  *ended_ms is the
// time from the last signal to the end.  With stdout_blocked the program's
// standard output is a pipe that is full and never read, so the result
// cannot be written.
Result SignalledSearch(std::vector<int> signals, double *ended_ms, bool stdout_blocked = false) {
  int full[2] = {-1, -1};
  if (stdout_blocked) {
    EXPECT_EQ(pipe2(full, O_NONBLOCK), 0);
    char block[4096] = {};
    while (write(full[1], block, sizeof block) > 0) {
    }
    fcntl(full[1], F_SETFL, 0);  // the program's writes block
  }
  Running p = StartProgram({VELA_FIND, "--passes", "3", "--pass-time", "60000"}, kData, {}, full[1]);
  TheLab().WaitSimLog('a', 1, 3000);  // the search request is out
  usleep(700 * 1000);                 // and the demo devices have answered
  for (size_t i = 0; i < signals.size(); i++) {
    if (i > 0)
      usleep(100 * 1000);
    kill(p.pid, signals[i]);
  }
  auto sent = std::chrono::steady_clock::now();
  int status = 0;
  bool ended = velatest::WaitUntil([&] { return waitpid(p.pid, &status, WNOHANG) == p.pid; }, 10000);
  *ended_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count();
  if (!ended) {
    kill(p.pid, SIGKILL);
    waitpid(p.pid, &status, 0);
    ADD_FAILURE() << "vela-find still ran 10 s after its signals";
  }
  if (stdout_blocked) {
    close(full[0]);
    close(full[1]);
  }
  return Collect(p, status);
}

// The rows of a table result: every demo device, and the summary.
void ExpectEveryDemoDevice(const Result &r) {
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 12u) << r.out << r.err;
  EXPECT_EQ(lines[11], "Search Result - 9 Vela(s)");
}

// Stop ends the search at once, in the middle of its pass.
TEST_F(Finder, FirstInterruptStopsAndListsWithZero) {
  double ms = 0;
  Result r = SignalledSearch({SIGINT}, &ms);
  EXPECT_EQ(r.status, 0) << r.err;
  ExpectEveryDemoDevice(r);
  RecordProperty("ended_ms", std::to_string(ms));
}

TEST_F(Finder, TerminateEndsAtOnceWith143AndTheList) {
  double ms = 0;
  Result r = SignalledSearch({SIGTERM}, &ms);
  EXPECT_EQ(r.status, 143) << r.err;
  ExpectEveryDemoDevice(r);
  RecordProperty("ended_ms", std::to_string(ms));
}

// The first SIGINT's list cannot be written (its output blocks): the
// second one ends the program all the same.
TEST_F(Finder, SecondInterruptEndsAtOnceWith130) {
  double ms = 0;
  Result r = SignalledSearch({SIGINT, SIGINT}, &ms, true);
  EXPECT_EQ(r.status, 130) << r.err;
  RecordProperty("ended_ms", std::to_string(ms));
}

// SIGTERM while the output blocks: the time limit of the hard stop ends it.
TEST_F(Finder, TerminateEndsWith143EvenWhenTheOutputBlocks) {
  double ms = 0;
  Result r = SignalledSearch({SIGTERM}, &ms, true);
  EXPECT_EQ(r.status, 143) << r.err;
  RecordProperty("ended_ms", std::to_string(ms));
}

TEST_F(Finder, HelpTellsTheSignalsExitStatuses) {
  Result r = Find({"--help"});
  for (const char *word : {"SIGTERM", "130", "143"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

}  // namespace
