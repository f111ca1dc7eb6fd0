// Running vela-find from a test.
#include "find_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "lab.h"

namespace velatest {

const std::string kData = VELA_SOURCE_DIR "/data";

Running StartProgram(std::vector<std::string> argv, const std::string &cwd,
                     std::vector<std::string> env_extra) {
  Running p;
  char out_path[] = "/tmp/find-out-XXXXXX", err_path[] = "/tmp/find-err-XXXXXX";
  int out_fd = mkstemp(out_path), err_fd = mkstemp(err_path);
  p.out_fd = out_fd;
  p.err_fd = err_fd;
  p.out_path = out_path;
  p.err_path = err_path;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    if (chdir(cwd.c_str()) != 0)
      _exit(126);
    for (const auto &e : env_extra)
      putenv(const_cast<char *>(e.c_str()));
    std::vector<char *> args;
    for (auto &a : argv)
      args.push_back(a.data());
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  p.pid = pid;
  return p;
}

Result Collect(const Running &p, int status) {
  Result r;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  close(p.out_fd);
  close(p.err_fd);
  r.out = ReadFile(p.out_path);
  r.err = ReadFile(p.err_path);
  unlink(p.out_path.c_str());
  unlink(p.err_path.c_str());
  return r;
}

Result RunProgram(std::vector<std::string> argv, const std::string &cwd,
                  std::vector<std::string> env_extra) {
  Running p = StartProgram(std::move(argv), cwd, std::move(env_extra));
  int status = 0;
  waitpid(p.pid, &status, 0);
  return Collect(p, status);
}

Result Find(std::vector<std::string> args, const std::string &cwd, std::vector<std::string> env_extra) {
  args.insert(args.begin(), VELA_FIND);
  return RunProgram(args, cwd, env_extra);
}

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::stringstream s(text);
  std::string line;
  while (std::getline(s, line))
    lines.push_back(line);
  return lines;
}

std::vector<std::string> Fields(const std::string &line, char sep) {
  std::vector<std::string> f;
  std::string cur;
  for (char c : line) {
    if (c == sep) {
      if (sep != ' ' || !cur.empty())
        f.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty() || sep != ' ')
    f.push_back(cur);
  return f;
}

}  // namespace velatest
