// The shared result formatter: the three formats byte for byte, valid UTF-8
// whatever the bytes, display-column widths, RFC 4180 quoting, the cut of a
// model name on a character boundary, and the whole-or-nothing file writer.
#include <gtest/gtest.h>

#include <limits.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "file_calls.h"
#include "lab.h"
#include "modeltable.h"
#include "result_format.h"
#include "utf8text.h"

namespace {

using velatest::ReadFile;

const std::vector<TResultRow> kRows = {
    {"1", "VL-2104", "02:56:00:00:00:21", "192.168.77.21"},
    {"2", "VP-1008", "00:00:00:00:00:00", ""},
};

// Whether text is well-formed UTF-8, checked independently of the code
// under test with the C library's own decoder.
bool ValidUtf8(const std::string &text) {
  std::mbstate_t st{};
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (utf8 == static_cast<locale_t>(0))
    return false;
  locale_t old = uselocale(utf8);
  const char *p = text.data();
  size_t left = text.size();
  bool ok = true;
  while (left > 0) {
    wchar_t wc;
    const size_t n = std::mbrtowc(&wc, p, left, &st);
    if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
      ok = false;
      break;
    }
    const size_t step = n == 0 ? 1 : n;
    p += step;
    left -= step;
  }
  uselocale(old);
  freelocale(utf8);
  return ok;
}

TEST(ResultFormat, AsciiRowsInEachFormat) {
  EXPECT_EQ(FormatResult(kRows, 2, TResultFormat::Table),
            "No  Model    MAC Address        IP Address\n"
            "1   VL-2104  02:56:00:00:00:21  192.168.77.21\n"
            "2   VP-1008  00:00:00:00:00:00\n"
            "\nSearch Result - 2 Vela(s)\n");
  EXPECT_EQ(FormatResult(kRows, 2, TResultFormat::Csv),
            "No,Model,MAC Address,IP Address\n"
            "1,VL-2104,02:56:00:00:00:21,192.168.77.21\n"
            "2,VP-1008,00:00:00:00:00:00,\n");
  EXPECT_EQ(FormatResult(kRows, 2, TResultFormat::Json),
            "{\"found\": 2, \"devices\": [\n"
            "  {\"no\": 1, \"model\": \"VL-2104\", \"mac\": \"02:56:00:00:00:21\", \"ip\": \"192.168.77.21\"},\n"
            "  {\"no\": 2, \"model\": \"VP-1008\", \"mac\": \"00:00:00:00:00:00\", \"ip\": \"\"}\n"
            "]}\n");
  EXPECT_EQ(FormatResult({}, 0, TResultFormat::Json), "{\"found\": 0, \"devices\": []}\n");
  EXPECT_EQ(FormatResult({}, 0, TResultFormat::Csv), "No,Model,MAC Address,IP Address\n");
  EXPECT_EQ(FormatResult({{"x7", "M", "", ""}}, 1, TResultFormat::Json),
            "{\"found\": 1, \"devices\": [\n  {\"no\": \"x7\", \"model\": \"M\", \"mac\": \"\", \"ip\": \"\"}\n]}\n")
      << "a running number that is not a number stays a string";
}

TEST(ResultFormat, FormatNames) {
  TResultFormat f = TResultFormat::Table;
  EXPECT_TRUE(ParseResultFormat("json", &f));
  EXPECT_EQ(f, TResultFormat::Json);
  EXPECT_TRUE(ParseResultFormat("csv", &f));
  EXPECT_EQ(f, TResultFormat::Csv);
  EXPECT_TRUE(ParseResultFormat("table", &f));
  EXPECT_EQ(f, TResultFormat::Table);
  EXPECT_FALSE(ParseResultFormat("JSON", &f));
  EXPECT_FALSE(ParseResultFormat("", &f));
}

TEST(ResultFormat, JsonIsValidUtf8WhateverTheBytes) {
  const std::vector<std::string> bad = {
      "A\xFF" "B",           // a byte that is never UTF-8
      "\xC3",                // truncated at the end
      "\xE2\x82",            // truncated three-byte character
      "\xC0\xAF",            // overlong slash
      "\xED\xA0\x80",        // surrogate
      "\xF4\x90\x80\x80",    // above U+10FFFF
      "\x80\x80 x",          // stray continuation bytes
  };
  for (const std::string &model : bad) {
    const std::string out = FormatResult({{"1", model, "", ""}}, 1, TResultFormat::Json);
    EXPECT_TRUE(ValidUtf8(out)) << out;
    EXPECT_NE(out.find("\xEF\xBF\xBD"), std::string::npos) << "U+FFFD replaces what cannot be read";
  }
  EXPECT_EQ(FormatResult({{"1", "A\xFF" "B\xE2\x82", "", ""}}, 1, TResultFormat::Json),
            "{\"found\": 1, \"devices\": [\n  {\"no\": 1, \"model\": \"A\xEF\xBF\xBD" "B\xEF\xBF\xBD\", "
            "\"mac\": \"\", \"ip\": \"\"}\n]}\n");
  EXPECT_EQ(FormatResult({{"1", std::string("N\0U", 3), "", ""}}, 1, TResultFormat::Json),
            "{\"found\": 1, \"devices\": [\n  {\"no\": 1, \"model\": \"N\\u0000U\", \"mac\": \"\", \"ip\": \"\"}\n]}\n");
  EXPECT_EQ(Utf8Repair("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD") << "one U+FFFD per maximal invalid part";
  EXPECT_EQ(Utf8Repair("\xE2\x82x"), "\xEF\xBF\xBDx");
  const std::string good = "Caf\xC3\xA9 \xE6\xB8\xAC\xE8\xA9\xA6 \xF0\x9F\x98\x80";
  EXPECT_EQ(Utf8Repair(good), good) << "valid text passes unchanged";
  EXPECT_EQ(FormatResult({{"1", "q\"b\\\n\x01", "", ""}}, 1, TResultFormat::Json),
            "{\"found\": 1, \"devices\": [\n  {\"no\": 1, \"model\": \"q\\\"b\\\\\\u000a\\u0001\", "
            "\"mac\": \"\", \"ip\": \"\"}\n]}\n");
}

// The JSON string literal that starts at text[at] (its opening quote),
// decoded as a JSON reader would (ASCII escapes only, which is all this
// test needs); false when the literal is not valid JSON: a raw control
// character, an unknown escape, or no closing quote.
bool DecodeJsonString(const std::string &text, size_t at, std::string *out) {
  if (at >= text.size() || text[at] != '"')
    return false;
  out->clear();
  for (size_t i = at + 1; i < text.size(); i++) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"')
      return true;
    if (c < 0x20)
      return false;
    if (c != '\\') {
      *out += static_cast<char>(c);
      continue;
    }
    if (++i >= text.size())
      return false;
    const std::string simple = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
    const size_t k = simple.find(text[i]);
    if (k != std::string::npos) {
      *out += meaning[k];
    } else if (text[i] == 'u' && i + 4 < text.size()) {
      const unsigned long code = std::stoul(text.substr(i + 1, 4), nullptr, 16);
      if (code > 0x7F)
        return false;
      *out += static_cast<char>(code);
      i += 4;
    } else {
      return false;
    }
  }
  return false;
}

// JSON allows no raw character below U+0020 in a string: each of them
// must come out escaped and read back as itself.  DEL, which JSON lets
// stand raw, must read back as itself too.
TEST(ResultFormat, JsonEscapesEveryControlCharacter) {
  std::vector<unsigned char> controls;
  for (unsigned char c = 0; c < 0x20; c++)
    controls.push_back(c);
  controls.push_back(0x7F);
  for (unsigned char c : controls) {
    const std::string model = std::string("a") + static_cast<char>(c) + "b";
    const std::string out = FormatResult({{"1", model, "", ""}}, 1, TResultFormat::Json);
    const std::string key = "\"model\": ";
    const size_t at = out.find(key);
    ASSERT_NE(at, std::string::npos) << out;
    std::string read;
    EXPECT_TRUE(DecodeJsonString(out, at + key.size(), &read)) << "control 0x" << std::hex << int{c} << ": " << out;
    EXPECT_EQ(read, model) << "control 0x" << std::hex << int{c};
  }
}

TEST(ResultFormat, TableWidthsCountDisplayColumns) {
  // "Café" is 4 columns in 5 bytes, the CJK name 4 columns in 6 bytes, the
  // combining accent adds no column.
  const std::vector<TResultRow> rows = {
      {"1", "Caf\xC3\xA9", "M1", "10.0.0.1"},
      {"2", "\xE6\xB8\xAC\xE8\xA9\xA6", "M2", "10.0.0.2"},
      {"3", "Cafe\xCC\x81", "M3", "10.0.0.3"},
      {"4", "ABCDEF", "M4", "10.0.0.4"},
  };
  EXPECT_EQ(FormatResult(rows, 4, TResultFormat::Table),
            "No  Model   MAC Address  IP Address\n"
            "1   Caf\xC3\xA9    M1           10.0.0.1\n"
            "2   \xE6\xB8\xAC\xE8\xA9\xA6    M2           10.0.0.2\n"
            "3   Cafe\xCC\x81    M3           10.0.0.3\n"
            "4   ABCDEF  M4           10.0.0.4\n"
            "\nSearch Result - 4 Vela(s)\n");
  EXPECT_EQ(Utf8Columns("\xEF\xBC\xA1"), 2u) << "fullwidth A";
  EXPECT_EQ(Utf8Columns("a\xFF" "b"), 3u) << "an invalid byte shows as one U+FFFD";
  const std::string table = FormatResult({{"1", "x\xFFy", "", ""}}, 1, TResultFormat::Table);
  EXPECT_TRUE(ValidUtf8(table)) << table;
}

// A model file may hold any bytes: in the table, which goes to a terminal,
// no control character may arrive raw (ESC would start an escape sequence,
// CR or BS overwrite what is shown, a tab or line end break the columns).
// CSV and JSON keep their own quoting and escaping.
TEST(ResultFormat, TableShowsControlCharactersAsReplacements) {
  const std::string fffd = "\xEF\xBF\xBD";
  const std::vector<TResultRow> rows = {
      {"1", "Hall\x1B[31mRed\x07", "M1", "10.0.0.1"},
      {"2", "a\tb\rc\nd\x08" "e\x7F" "f", "M2", "10.0.0.2"},
      {"3", "CSI\xC2\x9B" "2J\xC2\x85" "end", "M3", "10.0.0.3"},  // C1 controls U+009B, U+0085
      {"4", std::string("nul\0x", 5), "M4", "10.0.0.4"},
  };
  const std::string table = FormatResult(rows, 4, TResultFormat::Table);
  EXPECT_EQ(table,
            "No  Model          MAC Address  IP Address\n"
            "1   Hall" + fffd + "[31mRed" + fffd + "  M1           10.0.0.1\n"
            "2   a" + fffd + "b" + fffd + "c" + fffd + "d" + fffd + "e" + fffd + "f    M2           10.0.0.2\n"
            "3   CSI" + fffd + "2J" + fffd + "end     M3           10.0.0.3\n"
            "4   nul" + fffd + "x          M4           10.0.0.4\n"
            "\nSearch Result - 4 Vela(s)\n");
  for (unsigned char c : table)
    EXPECT_TRUE(c >= 0x20 || c == '\n') << "control byte " << int{c};
  EXPECT_EQ(table.find("\xC2\x9B"), std::string::npos);
  EXPECT_EQ(table.find("\xC2\x85"), std::string::npos);
  EXPECT_EQ(Utf8Displayable("Caf\xC3\xA9 \xC2\xA0\xE6\xB8\xAC"), "Caf\xC3\xA9 \xC2\xA0\xE6\xB8\xAC")
      << "printable text, also U+00A0 right after the C1 block, passes unchanged";

  // CSV keeps the bytes (quoted where RFC 4180 asks); JSON escapes C0
  // controls and keeps DEL and C1 controls, which JSON allows raw.
  EXPECT_EQ(FormatResult({rows[0]}, 1, TResultFormat::Csv),
            "No,Model,MAC Address,IP Address\n1,Hall\x1B[31mRed\x07,M1,10.0.0.1\n");
  EXPECT_EQ(FormatResult({{"1", "E\x1B" "D\x7F" "C\xC2\x9B", "", ""}}, 1, TResultFormat::Json),
            "{\"found\": 1, \"devices\": [\n  {\"no\": 1, \"model\": \"E\\u001bD\x7F" "C\xC2\x9B\", "
            "\"mac\": \"\", \"ip\": \"\"}\n]}\n");
}

TEST(ResultFormat, CsvQuotesAsRfc4180Says) {
  const std::vector<TResultRow> rows = {
      {"1", "a,b", "say \"hi\"", "line\nbreak"},
      {"2", "cr\rhere", " spaced ", "plain"},
      {"3", "\xFF", "", ""},
  };
  EXPECT_EQ(FormatResult(rows, 3, TResultFormat::Csv),
            "No,Model,MAC Address,IP Address\n"
            "1,\"a,b\",\"say \"\"hi\"\"\",\"line\nbreak\"\n"
            "2,\"cr\rhere\", spaced ,plain\n"
            "3,\xEF\xBF\xBD,,\n");
}

TEST(ResultFormat, ModelNameIsCutOnACharacterBoundary) {
  // 38 ASCII bytes and then a two-byte character: a cut at 39 bytes would
  // split it, so the name keeps the 38 bytes.
  EXPECT_EQ(Utf8CutLength((std::string(38, 'a') + "\xC3\xA9z").c_str(), 39), 38u);
  EXPECT_EQ(Utf8CutLength((std::string(37, 'a') + "\xC3\xA9z").c_str(), 39), 39u);
  EXPECT_EQ(Utf8CutLength((std::string(37, 'a') + "\xF0\x9F\x98\x80").c_str(), 39), 37u);
  EXPECT_EQ(Utf8CutLength((std::string(38, 'a') + "\xFF\xFF").c_str(), 39), 39u)
      << "invalid bytes are cut as single bytes";
  EXPECT_EQ(Utf8CutLength("short", 39), 5u);

  ResetModelTable();
  char path[] = "/tmp/model-cut-XXXXXX.ini";
  int fd = mkstemps(path, 4);
  ASSERT_GE(fd, 0);
  // 13 three-byte characters are 39 bytes; one ASCII letter in front makes
  // the 13th reach past the cut.
  std::string name = "X";
  for (int i = 0; i < 13; i++)
    name += "\xE6\xB8\xAC";
  const std::string ini = "[m]\nmodel_name = " + name + "\napid = 77\nhwid = 7\n";
  ASSERT_EQ(write(fd, ini.data(), ini.size()), static_cast<ssize_t>(ini.size()));
  close(fd);
  ASSERT_EQ(LoadModelFile(path), 0);
  unlink(path);
  const std::string kept = ModelRow(0).model_name;
  ResetModelTable();
  EXPECT_EQ(kept, name.substr(0, 1 + 12 * 3));
  EXPECT_TRUE(ValidUtf8(kept));
}

class WriteWhole : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/result-write-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    chmod(dir_.c_str(), 0700);
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  // Names in the folder other than . and ..
  std::vector<std::string> Entries() {
    std::vector<std::string> names;
    std::string cmd = "ls -A '" + dir_ + "'";
    FILE *p = popen(cmd.c_str(), "r");
    char line[512];
    while (p && std::fgets(line, sizeof line, p)) {
      std::string s = line;
      if (!s.empty() && s.back() == '\n')
        s.pop_back();
      names.push_back(s);
    }
    if (p)
      pclose(p);
    return names;
  }
  std::string dir_;
};

TEST_F(WriteWhole, NewAndReplacedFilesHoldExactlyTheData) {
  const std::string path = dir_ + "/result.csv";
  std::string error;
  ASSERT_TRUE(WriteFileWhole(path, "first\n", &error)) << error;
  EXPECT_EQ(ReadFile(path), "first\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << "a new file gets the usual permissions";

  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(WriteFileWhole(path, "second, longer\n", &error)) << error;
  EXPECT_EQ(ReadFile(path), "second, longer\n");
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "a replaced file keeps its permissions";
  EXPECT_EQ(Entries(), std::vector<std::string>{"result.csv"}) << "no temporary file is left";

  const std::string big(3 << 20, 'x');
  ASSERT_TRUE(WriteFileWhole(path, big, &error)) << error;
  EXPECT_EQ(ReadFile(path), big);
}

TEST_F(WriteWhole, ErrorNamesTheFileAndTheReasonAndWritesNothing) {
  if (geteuid() == 0) {
    // root passes permission checks; a folder that does not exist fails
    // for everyone.
    const std::string path = dir_ + "/missing/result.json";
    std::string error;
    EXPECT_FALSE(WriteFileWhole(path, "{}", &error));
    EXPECT_EQ(error, "cannot write " + path + ": No such file or directory");
  } else {
    const std::string path = dir_ + "/result.json";
    ASSERT_EQ(chmod(dir_.c_str(), 0500), 0);
    std::string error;
    EXPECT_FALSE(WriteFileWhole(path, "{}", &error));
    EXPECT_EQ(error, "cannot write " + path + ": Permission denied");
    ASSERT_EQ(chmod(dir_.c_str(), 0700), 0);
  }
  const std::string folder = dir_ + "/adir";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  std::string error;
  EXPECT_FALSE(WriteFileWhole(folder, "x", &error));
  EXPECT_EQ(error, "cannot write " + folder + ": Is a directory");
  EXPECT_EQ(Entries(), std::vector<std::string>{"adir"}) << "nothing of ours is left";

}

// After a power cut the file must hold the old contents or the new, never
// an empty file: the new file's data reaches the disk before the rename
// makes it the file, and the rename reaches it with the folder.
TEST_F(WriteWhole, TheDataIsFlushedBeforeTheRenameAndTheFolderAfterIt) {
  char real[PATH_MAX];
  ASSERT_NE(realpath(dir_.c_str(), real), nullptr);
  const std::string folder = real, path = folder + "/result.json";
  std::string error;
  ASSERT_TRUE(WriteFileWhole(path, "old\n", &error)) << error;
  velatest::StartFileCalls();
  const bool written = WriteFileWhole(path, "{}\n", &error);
  const std::vector<std::string> calls = velatest::StopFileCalls();
  ASSERT_TRUE(written) << error;
  EXPECT_EQ(ReadFile(path), "{}\n");

  std::string all;
  for (const std::string &c : calls)
    all += "\n  " + c;
  size_t renames = 0, at = 0;
  std::string temp;
  for (size_t i = 0; i < calls.size(); i++) {
    const std::string &c = calls[i];
    if (c.rfind("rename ", 0) == 0 && c.size() > path.size() &&
        c.compare(c.size() - path.size() - 1, std::string::npos, " " + path) == 0) {
      renames++;
      at = i;
      temp = c.substr(7, c.size() - 7 - path.size() - 1);
    }
  }
  ASSERT_EQ(renames, 1u) << "one rename onto the file:" << all;
  bool data_flushed = false, folder_flushed = false;
  for (size_t i = 0; i < at; i++)
    data_flushed = data_flushed || calls[i] == "fsync " + temp;
  for (size_t i = at + 1; i < calls.size(); i++)
    folder_flushed = folder_flushed || calls[i] == "fsync " + folder;
  EXPECT_TRUE(data_flushed) << "the new file is flushed before the rename:" << all;
  EXPECT_TRUE(folder_flushed) << "the folder is flushed after the rename:" << all;
}

TEST_F(WriteWhole, AWriteThatFailsHalfWayLeavesTheOldFile) {
  // A file size limit makes the write fail after its first 4 KiB, as a
  // full disk would: the old contents stay whole and no temporary is left.
  const std::string path = dir_ + "/keep.txt";
  std::string error;
  ASSERT_TRUE(WriteFileWhole(path, "old\n", &error)) << error;
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &lim);
    std::string why;
    const bool ok = WriteFileWhole(path, std::string(100000, 'n'), &why);
    _exit(!ok && why == "cannot write " + path + ": File too large" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write failed with its reason";
  EXPECT_EQ(ReadFile(path), "old\n");
  EXPECT_EQ(Entries(), std::vector<std::string>{"keep.txt"});
}

}  // namespace
