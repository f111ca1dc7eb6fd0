// One formatter for the result list, shared by vela-find and the desktop
// program, and a file writer that never leaves a file half written.
#include "result_format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "texttable.h"
#include "utf8text.h"

namespace {

// RFC 4180: a field with a comma, a double quote or a line break is quoted,
// and each double quote inside it doubled.
std::string CsvField(const std::string &raw) {
  std::string s = Utf8Repair(raw);
  if (s.find_first_of(",\"\r\n") == std::string::npos)
    return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"')
      q += '"';
    q += c;
  }
  return q + "\"";
}

std::string JsonString(const std::string &raw) {
  std::string q = "\"";
  for (unsigned char c : Utf8Repair(raw)) {
    if (c == '"' || c == '\\') {
      q += '\\';
      q += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      q += esc;
    } else {
      q += static_cast<char>(c);
    }
  }
  return q + "\"";
}

// The running number as a JSON number when it is a plain decimal number,
// else as a string.
std::string JsonNumber(const std::string &text) {
  bool digits = !text.empty() && text.size() <= 15 &&
                std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
                (text.size() == 1 || text[0] != '0');
  return digits ? text : JsonString(text);
}

std::vector<std::string> Captions() {
  return {LoadStr(TXT_COL_NO), LoadStr(TXT_COL_MODEL), LoadStr(TXT_COL_MAC), LoadStr(TXT_COL_IP)};
}

std::string Table(const std::vector<TResultRow> &rows, int found) {
  std::vector<std::vector<std::string>> lines;
  lines.push_back(Captions());
  // A control character (a model file may hold ESC, BEL, tabs, line ends)
  // would reach the terminal raw and move or recolour what it shows.
  for (const TResultRow &r : rows)
    lines.push_back({Utf8Displayable(r.no), Utf8Displayable(r.model), Utf8Displayable(r.mac),
                     Utf8Displayable(r.ip)});
  size_t width[4] = {0, 0, 0, 0};
  for (const auto &line : lines)
    for (size_t c = 0; c < 4; c++)
      width[c] = std::max(width[c], Utf8Columns(line[c]));
  std::string out;
  for (const auto &line : lines) {
    std::string text;
    for (size_t c = 0; c < 4; c++) {
      text += line[c];
      if (c < 3)
        text += std::string(width[c] - Utf8Columns(line[c]) + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ')
      text.pop_back();
    out += text + "\n";
  }
  return out + "\n" + SearchResultText(found) + "\n";
}

std::string Csv(const std::vector<TResultRow> &rows) {
  std::string out;
  auto line = [&](const std::vector<std::string> &f) {
    out += CsvField(f[0]) + "," + CsvField(f[1]) + "," + CsvField(f[2]) + "," + CsvField(f[3]) + "\n";
  };
  line(Captions());
  for (const TResultRow &r : rows)
    line({r.no, r.model, r.mac, r.ip});
  return out;
}

std::string Json(const std::vector<TResultRow> &rows, int found) {
  std::string out = "{\"found\": " + std::to_string(found) + ", \"devices\": [";
  for (size_t i = 0; i < rows.size(); i++) {
    const TResultRow &r = rows[i];
    out += std::string(i ? "," : "") + "\n  {\"no\": " + JsonNumber(r.no) + ", \"model\": " +
           JsonString(r.model) + ", \"mac\": " + JsonString(r.mac) + ", \"ip\": " + JsonString(r.ip) +
           "}";
  }
  return out + (rows.empty() ? "" : "\n") + "]}\n";
}

std::string Reason(const std::string &path, int err) {
  return "cannot write " + path + ": " + std::strerror(err);
}

bool WriteAll(int fd, const std::string &data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The file a write to path replaces: path itself or, when path is a
// symbolic link (or a chain of them), the file it leads to, so that the link
// stays a link and its target gets the data.  False with ELOOP in *err
// after 40 links, as the system gives up.
bool FinalPath(const std::string &path, std::string *out, int *err) {
  constexpr int kMaxLinks = 40;
  std::string p = path;
  for (int links = 0; links <= kMaxLinks; links++) {
    struct stat st;
    if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *out = p;  // not there yet, or no link: written as it is
      return true;
    }
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 0) + 256, '\0');
    const ssize_t n = readlink(p.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) {
      *err = n < 0 ? errno : ENAMETOOLONG;
      return false;
    }
    target.resize(static_cast<size_t>(n));
    const size_t slash = p.rfind('/');
    p = target[0] == '/' || slash == std::string::npos ? target : p.substr(0, slash + 1) + target;
  }
  *err = ELOOP;
  return false;
}

}  // namespace

std::string FormatResult(const std::vector<TResultRow> &rows, int found, TResultFormat format) {
  switch (format) {
    case TResultFormat::Table:
      return Table(rows, found);
    case TResultFormat::Csv:
      return Csv(rows);
    case TResultFormat::Json:
      return Json(rows, found);
  }
  return {};
}

bool ParseResultFormat(const std::string &name, TResultFormat *format) {
  if (name == "table")
    *format = TResultFormat::Table;
  else if (name == "csv")
    *format = TResultFormat::Csv;
  else if (name == "json")
    *format = TResultFormat::Json;
  else
    return false;
  return true;
}

bool WriteFileWhole(const std::string &path, const std::string &data, std::string *error) {
  if (path.empty() || path.back() == '/') {
    *error = Reason(path, EISDIR);
    return false;
  }
  // Messages name the path as the user gave it; the work happens at the
  // file it leads to.
  std::string file;
  int link_err = 0;
  if (!FinalPath(path, &file, &link_err)) {
    *error = Reason(path, link_err);
    return false;
  }
  const size_t slash = file.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : file.substr(0, slash));

  struct stat old_st;
  const bool replacing = stat(file.c_str(), &old_st) == 0;
  if (replacing && S_ISDIR(old_st.st_mode)) {
    *error = Reason(path, EISDIR);
    return false;
  }

  // A hidden name next to the target, short whatever the target's name
  // (any name within the system's limit can be written); O_EXCL keeps it
  // ours alone.
  std::string temp;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0 && attempt < 100; attempt++) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    char name[64];
    std::snprintf(name, sizeof name, ".vela-result.%ld.%lx.%u.tmp", static_cast<long>(getpid()),
                  static_cast<unsigned long>(ts.tv_nsec), attempt);
    temp = (slash == std::string::npos ? "" : file.substr(0, slash + 1)) + name;
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) {
      *error = Reason(path, errno);
      return false;
    }
  }
  if (fd < 0) {
    *error = Reason(path, EEXIST);
    return false;
  }
  int err = 0;
  if (!WriteAll(fd, data))
    err = errno;
  else if (replacing && fchmod(fd, old_st.st_mode & 07777) != 0)
    err = errno;
  else if (fsync(fd) != 0)
    err = errno;
  if (close(fd) != 0 && err == 0)
    err = errno;
  if (err == 0 && rename(temp.c_str(), file.c_str()) != 0)
    err = errno;
  if (err != 0) {
    unlink(temp.c_str());
    *error = Reason(path, err);
    return false;
  }
  // The rename itself reaches the disk with the folder.
  const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return true;
}
