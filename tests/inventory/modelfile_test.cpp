// Model table and model file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "modeltable.h"

#ifndef VELA_SOURCE_DIR
#error VELA_SOURCE_DIR must name the source tree
#endif

namespace {

class ModelFile : public ::testing::Test {
 protected:
  void SetUp() override { ResetModelTable(); }
  void TearDown() override {
    ResetModelTable();
    for (const auto &p : files_)
      unlink(p.c_str());
  }
  std::string Write(const std::string &text) {
    char path[] = "/tmp/model-test-XXXXXX.ini";
    int fd = mkstemps(path, 4);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    files_.push_back(path);
    return path;
  }
  static std::string Section(const std::string &name, const std::string &model, const std::string &apid,
                             const std::string &hwid) {
    return "[" + name + "]\nmodel_name = " + model + "\napid = " + apid + "\nhwid = " + hwid +
           "\nmodel_flag = 2\nk_upgtout = 9c40\nf_upgtout = 4e20\nports = 4\n";
  }
  // Loads a file whose row 0 is "Kept" and records the table, for a test
  // that a failed load then changes nothing; returns the file's path.
  std::string LoadKeptFile() {
    std::string path = Write(Section("first", "Kept", "a1", "1"));
    EXPECT_EQ(LoadModelFile(path.c_str()), 0);
    std::memcpy(before_, ModelTable, sizeof before_);
    return path;
  }
  bool TableUnchanged() const { return std::memcmp(before_, ModelTable, sizeof before_) == 0; }
  std::vector<std::string> files_;
  _MODELINFO before_[MODEL_ROWS];
};

TEST_F(ModelFile, BuiltInRows) {
  for (int i = 0; i < MODEL_BUILTIN_ROWS; i++) {
    _MODELINFO r = ModelRow(i);
    EXPECT_NE(r.apid, 0u) << i;
    EXPECT_EQ(r.ports, 4u);
    EXPECT_EQ(r.k_upgtout, 40000u);
    EXPECT_EQ(r.f_upgtout, 20000u);
    EXPECT_LE(r.model_flag, 2u);
    EXPECT_GT(std::strlen(r.model_name), 0u);
    EXPECT_EQ(FindModel(r.apid, r.hwid), i) << "built-in rows are distinct";
  }
  for (int i = MODEL_BUILTIN_ROWS; i < MODEL_ROWS; i++) {
    _MODELINFO r = ModelRow(i);
    EXPECT_EQ(r.apid | r.hwid | r.ports | r.model_flag | r.k_upgtout | r.f_upgtout, 0u);
    EXPECT_EQ(r.model_name[0], '\0');
  }
  EXPECT_EQ(FindModel(0, 0), MODEL_BUILTIN_ROWS);  // the first empty row
  EXPECT_EQ(FindModel(0x12345678, 1), -1);
  EXPECT_EQ(ModelPorts(0x12345678, 1), 0u);
  EXPECT_EQ(ModelPorts(0x00560001, 0x2104), 4u);
}

TEST_F(ModelFile, ShippedFileListsTheBuiltInRows) {
  _MODELINFO before[MODEL_ROWS];
  for (int i = 0; i < MODEL_ROWS; i++)
    before[i] = ModelRow(i);
  ASSERT_EQ(LoadModelFile(VELA_SOURCE_DIR "/data/model_name.ini"), 0);
  for (int i = 0; i < MODEL_ROWS; i++)
    EXPECT_EQ(std::memcmp(&before[i], &ModelTable[i], sizeof(_MODELINFO)), 0) << "row " << i;
}

TEST_F(ModelFile, ValuesAreHexadecimal) {
  std::string path = Write(
      "[m]\nmodel_name = Probe\napid = 10\nhwid = 12345\nmodel_flag = 0x2\n"
      "k_upgtout = 9c40\nf_upgtout =  4e20zz\nports = xyz\n");
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  _MODELINFO r = ModelRow(0);
  EXPECT_STREQ(r.model_name, "Probe");
  EXPECT_EQ(r.apid, 16u);
  EXPECT_EQ(r.hwid, 0x2345);
  EXPECT_EQ(r.model_flag, 2u);
  EXPECT_EQ(r.k_upgtout, 40000u);
  EXPECT_EQ(r.f_upgtout, 20000u);  // stops at the first non-digit
  EXPECT_EQ(r.ports, 0u);          // no digits
}

TEST_F(ModelFile, ValueBeyond32BitsSaturates) {
  std::string path = Write(Section("m", "Big", "123456789abc", "1"));
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_EQ(ModelRow(0).apid, 0xFFFFFFFFu);
}

TEST_F(ModelFile, ThreeSectionsReplaceRowsZeroToTwoOnly) {
  _MODELINFO row3 = ModelRow(3), row43 = ModelRow(43);
  uint32_t old_apid = ModelRow(0).apid;
  uint16_t old_hwid = ModelRow(0).hwid;
  std::string path = Write(Section("first", "One", "a1", "1") + Section("second", "Two", "a2", "2") +
                           Section("third", "Three", "a3", "3"));
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "One");
  EXPECT_STREQ(ModelRow(1).model_name, "Two");
  EXPECT_STREQ(ModelRow(2).model_name, "Three");
  EXPECT_EQ(ModelRow(2).apid, 0xa3u);
  EXPECT_EQ(std::memcmp(&row3, &ModelTable[3], sizeof row3), 0);
  EXPECT_EQ(std::memcmp(&row43, &ModelTable[43], sizeof row43), 0);
  EXPECT_EQ(FindModel(old_apid, old_hwid), -1) << "the replaced built-in model is gone";
}

TEST_F(ModelFile, KeysInMixedCaseAreFound) {
  std::string path = Write("[Mixed]\nMODEL_NAME = Loud\nApId = 55\nHWID = 66\nPorts = 8\n");
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "Loud");
  EXPECT_EQ(ModelRow(0).apid, 0x55u);
  EXPECT_EQ(ModelRow(0).hwid, 0x66);
  EXPECT_EQ(ModelRow(0).ports, 8u);
}

TEST_F(ModelFile, MissingKeysReadAsZero) {
  std::string path = Write("[bare]\napid = 7\n");
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  _MODELINFO r = ModelRow(0);
  EXPECT_EQ(r.apid, 7u);
  EXPECT_EQ(r.model_name[0], '\0');
  EXPECT_EQ(r.hwid | r.ports | r.k_upgtout, 0u);
}

TEST_F(ModelFile, FailedLoadChangesNothingAndSaysSo) {
  LoadKeptFile();
  const char *missing = "/nonexistent/dir/model_name.ini";
  testing::internal::CaptureStderr();
  EXPECT_EQ(LoadModelFile(missing), -1);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "cannot parse file [/nonexistent/dir/model_name.ini]\n");
  EXPECT_TRUE(TableUnchanged());
  EXPECT_STREQ(ModelRow(0).model_name, "Kept");
}

// A file the user names: the reason it cannot be read is given once, and
// nothing is written to standard error.
TEST_F(ModelFile, NamedFileThatCannotBeReadGivesTheReason) {
  const std::string good = LoadKeptFile();
  char dir[] = "/tmp/model-why-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string bad_syntax = Write("[open section\nmodel_name = x\n");
  const std::pair<std::string, std::string> cases[] = {
      {"/nonexistent.ini", "No such file or directory"},
      {std::string(dir), "Is a directory"},
      {good + "/below", "Not a directory"},
      {bad_syntax, "not in ini format"},
  };
  for (const auto &[path, why] : cases) {
    std::string reason;
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadModelFile(path.c_str(), ModelTable, &reason), -1) << path;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << path;
    EXPECT_EQ(reason, why) << path;
  }
  rmdir(dir);
  EXPECT_TRUE(TableUnchanged());
  std::string reason = "untouched";
  EXPECT_EQ(ReadModelFile(good.c_str(), ModelTable, &reason), 0);
  EXPECT_EQ(reason, "untouched");
}

TEST_F(ModelFile, MoreSectionsThanRowsAreIgnored) {
  std::string text;
  for (int i = 0; i < 150; i++)
    text += Section("s" + std::to_string(i), "M" + std::to_string(i), std::to_string(1000 + i), "1");
  std::string path = Write(text);
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "M0");
  EXPECT_STREQ(ModelRow(99).model_name, "M99");
  // The apid texts 1000, 1099, 1100 are read as hexadecimal.
  EXPECT_EQ(FindModel(0x1000, 1), 0);
  EXPECT_EQ(FindModel(0x1099, 1), 99);
  EXPECT_EQ(FindModel(0x1100, 1), -1) << "section 100 must not be loaded";
}

TEST_F(ModelFile, LongNamesAreCut) {
  std::string longname(200, 'N');
  std::string longsec(300, 's');
  std::string path = Write(Section(longsec, longname, "77", "7"));
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  _MODELINFO r = ModelRow(0);
  EXPECT_EQ(std::string(r.model_name), std::string(39, 'N'));
  EXPECT_EQ(r.apid, 0x77u) << "a long section name still builds its keys";
  EXPECT_EQ(ModelRow(1).apid, 0x00560001u) << "the next row is untouched";
}

TEST_F(ModelFile, DuplicatePairGivesTheLowerRow) {
  std::string path = Write(Section("a", "First", "99", "1") + Section("b", "Second", "99", "1"));
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_EQ(FindModel(0x99, 1), 0);
}

TEST_F(ModelFile, DirectoryOfThatNameIsUnreadable) {
  LoadKeptFile();
  char dir[] = "/tmp/model-dir-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string path = std::string(dir) + "/model_name.ini";
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(LoadModelFile(path.c_str()), -1);
  std::string err = testing::internal::GetCapturedStderr();
  rmdir(path.c_str());
  rmdir(dir);
  EXPECT_EQ(err, "cannot parse file [" + path + "]\n");
  EXPECT_TRUE(TableUnchanged());
}

// Values follow strtoul in base 16 with a 32-bit unsigned long: a minus
// sign negates the magnitude modulo 2^32, and only a magnitude beyond 32
// bits saturates.
TEST_F(ModelFile, SignedValuesWrapLikeA32BitStrtoul) {
  struct Case {
    const char *text;
    uint32_t value;
  };
  const Case cases[] = {
      {"-5", 0xFFFFFFFBu},          {" -1", 0xFFFFFFFFu},       {"-0x10", 0xFFFFFFF0u},
      {"-FFFFFFFF", 1u},            {"-0", 0u},                 {"-100000000", 0xFFFFFFFFu},
      {"-123456789abc", 0xFFFFFFFFu}, {"+10", 0x10u},           {"--5", 0u},
      {"- 5", 0u},                  {"-", 0u},                  {"-0x", 0u},
      {"0x", 0u},                   {"0xg", 0u},                {"FFFFFFFF", 0xFFFFFFFFu},
      {"00000000000000000001", 1u},
  };
  std::string text;
  int k = 0;
  for (const Case &c : cases)
    text += "[s" + std::to_string(k++) + "]\napid = " + c.text + "\nhwid = " + c.text + "\n";
  std::string path = Write(text);
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  k = 0;
  for (const Case &c : cases) {
    _MODELINFO r = ModelRow(k++);
    EXPECT_EQ(r.apid, c.value) << "apid = " << c.text;
    EXPECT_EQ(r.hwid, c.value & 0xFFFFu) << "hwid = " << c.text;
  }
}

// An unchanged file (same device, inode, size and modification time) is
// not parsed again: its rows are written again from what was parsed.  The
// proof is a file edited behind the loader's back with size and time kept:
// the old rows come back.  Any change of those four parses again.
TEST_F(ModelFile, UnchangedFileIsNotParsedAgain) {
  std::string path = Write(Section("a", "Before", "a1", "1"));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  ResetModelTable();
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "Before") << "a reload writes the rows again";

  auto rewrite = [&](const std::string &text) {
    std::ofstream(path, std::ios::trunc) << text;
  };
  auto set_mtime = [&](const struct timespec &t) {
    struct timespec times[2] = {t, t};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  };
  rewrite(Section("a", "Edited", "a1", "1"));  // "Before" and "Edited" have the same size
  set_mtime(st.st_mtim);
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "Before") << "same device, inode, size and time: not parsed";

  struct timespec later = st.st_mtim;
  later.tv_nsec = (later.tv_nsec + 1) % 1000000000;
  set_mtime(later);
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "Edited") << "a new modification time parses again";

  rewrite(Section("a", "Longer name", "a1", "1"));
  set_mtime(later);
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "Longer name") << "a new size parses again";

  // A new file renamed over the old one: another inode.
  std::string other = Write(Section("a", "Renamed!!!!", "a1", "1"));
  ASSERT_EQ(rename(other.c_str(), path.c_str()), 0);
  set_mtime(later);
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "Renamed!!!!") << "a new inode parses again";

  // Another file with the same contents and time: loaded from itself.
  std::string second = Write(Section("a", "Second!!!!!", "a1", "1"));
  ASSERT_EQ(LoadModelFile(second.c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "Second!!!!!");

  // Once the file is gone, every load fails and says so again.
  ASSERT_EQ(unlink(second.c_str()), 0);
  for (int i = 0; i < 2; i++) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadModelFile(second.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "cannot parse file [" + second + "]\n");
  }
}

// The places the programs look in: the current directory first, then the
// user's configuration folder, then the installed data folder; the first
// that exists is loaded.
TEST_F(ModelFile, FileIsLookedForHereThenInTheConfigThenTheDataFolder) {
  char root[] = "/tmp/model-places-XXXXXX";
  ASSERT_NE(mkdtemp(root), nullptr);
  std::string cwd = std::string(root) + "/cwd", config = std::string(root) + "/config";
  ASSERT_EQ(mkdir(cwd.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(config.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((config + "/Vela").c_str(), 0700), 0);
  char old_cwd[4096];
  ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
  const char *old_xdg = getenv("XDG_CONFIG_HOME");
  std::string saved_xdg = old_xdg ? old_xdg : "";
  ASSERT_EQ(chdir(cwd.c_str()), 0);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);

  std::vector<std::string> places = ModelFilePlaces();
  ASSERT_GE(places.size(), 3u);
  EXPECT_EQ(places[0], "model_name.ini");
  EXPECT_EQ(places[1], config + "/Vela/model_name.ini");
  for (size_t i = 2; i < places.size(); i++)
    EXPECT_NE(places[i].find("share/vela-finder/model_name.ini"), std::string::npos) << places[i];
  std::string text = ModelFilePlacesText();
  for (const std::string &p : places)
    EXPECT_NE(text.find("\n  " + p), std::string::npos) << text;

  // None exists (unless a package is installed on this machine): the
  // current directory's name, whose load fails as before.
  if (access(places.back().c_str(), F_OK) != 0) {
    EXPECT_EQ(FindModelFile(), "model_name.ini");
  }
  std::ofstream(config + "/Vela/model_name.ini") << Section("a", "Config", "a1", "1");
  EXPECT_EQ(FindModelFile(), config + "/Vela/model_name.ini");
  ASSERT_EQ(mkdir("model_name.ini", 0700), 0);
  EXPECT_EQ(FindModelFile(), "model_name.ini") << "a directory here still comes first (and fails)";

  rmdir("model_name.ini");
  unlink((config + "/Vela/model_name.ini").c_str());
  rmdir((config + "/Vela").c_str());
  rmdir(config.c_str());
  ASSERT_EQ(chdir(old_cwd), 0);
  rmdir(cwd.c_str());
  rmdir(root);
  if (old_xdg)
    setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
