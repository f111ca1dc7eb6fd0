// Model file tests of what only Linux has: files told apart by inode and
// nanosecond times, the XDG configuration folder among the places, and
// what iniparser makes of the lines the Windows reader takes otherwise.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "modelfile_fixture.h"
#include "modeltable.h"

namespace {

// iniparser and the Windows build's INI reader agree on everything the
// shipped file uses; they differ on comments after a value, '#' comment
// lines and continuation lines.  Here is what iniparser makes of them (the
// Windows side is in modelfile_windows_test.cpp).
TEST_F(ModelFile, IniparserDropsInlineCommentsAndJoinsContinuations) {
  const std::string path = Write(kReaderDifferences);
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "VL-2108") << "the comment is cut off";
  EXPECT_EQ(ModelRow(0).apid, 0x21u);
  EXPECT_EQ(ModelRow(1).apid, 0x22u) << "'#' starts a comment line";
  EXPECT_STREQ(ModelRow(2).model_name, "VL-3116") << "a line ending in a backslash goes on";
  EXPECT_EQ(ModelRow(2).apid, 0x23u);
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
