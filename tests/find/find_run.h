// Running vela-find (or any program) from a test and reading what it wrote.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace velatest {

// The source tree's data folder: the demo device set and the model file.
extern const std::string kData;

struct Result {
  int status = -1;  // exit status, or 128 + the signal that ended it
  std::string out, err;
};

// A program started by StartProgram, with the files its streams go to.
struct Running {
  pid_t pid = -1;
  int out_fd = -1, err_fd = -1;
  std::string out_path, err_path;
};

// Starts argv in cwd with extra environment entries; both streams go to
// temporary files.
Running StartProgram(std::vector<std::string> argv, const std::string &cwd = kData,
                     std::vector<std::string> env_extra = {});

// Collects a program ended with the given wait status: exit status (128 +
// signal when a signal ended it) and both streams.
Result Collect(const Running &p, int status);

// Runs argv in cwd with extra environment entries; captures both streams.
Result RunProgram(std::vector<std::string> argv, const std::string &cwd = kData,
                  std::vector<std::string> env_extra = {});

// Runs this build's vela-find with args.
Result Find(std::vector<std::string> args, const std::string &cwd = kData,
            std::vector<std::string> env_extra = {});

// The lines of text, without their line ends.
std::vector<std::string> Lines(const std::string &text);

// The fields of one line split at sep; with sep ' ' runs of blanks count as
// one and empty fields are dropped.
std::vector<std::string> Fields(const std::string &line, char sep);

}  // namespace velatest
