// The state file that remembers the target searched last, apart from the
// administrator's settings file, which stays as it was written.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "settings.h"
#include "state_file.h"

namespace {

std::string Whole(const std::string &path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class StateFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/state-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
    setenv("XDG_STATE_HOME", (dir_ + "/state").c_str(), 1);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir_);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_STATE_HOME");
  }
  void WriteSettings(const std::string &text) {
    std::filesystem::create_directories(dir_ + "/config/Vela");
    std::ofstream(SearchSettingsPath()) << text;
  }
  std::string dir_;
};

TEST_F(StateFile, LivesUnderTheStateHome) {
  EXPECT_EQ(StateFilePath(), dir_ + "/state/Vela/state.conf");
  setenv("XDG_STATE_HOME", "relative/state", 1);  // not absolute: the default
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(StateFilePath(), "/home/someone/.local/state/Vela/state.conf");
}

// Remembering a target writes the state file whole and leaves the settings
// file, comments and all, byte for byte as it was.
TEST_F(StateFile, RememberingLeavesTheSettingsFileAlone) {
  const std::string settings = "; search settings of the lab PCs\n[General]\nSerCnt=3 ; three passes\n"
                               "# Interfaces=eth1\nSerTim=500\n";
  WriteSettings(settings);
  EXPECT_EQ(LoadLastTarget(), "");
  std::string error;
  ASSERT_TRUE(SaveLastTarget("10.20.30.0/24", &error)) << error;
  EXPECT_EQ(Whole(SearchSettingsPath()), settings);
  EXPECT_EQ(Whole(StateFilePath()), "[General]\nLastTarget=10.20.30.0/24\n");
  EXPECT_EQ(LoadLastTarget(), "10.20.30.0/24");
  ASSERT_TRUE(SaveLastTarget("10.20.30.7", &error)) << error;
  EXPECT_EQ(LoadLastTarget(), "10.20.30.7");
  EXPECT_EQ(Whole(SearchSettingsPath()), settings);
  struct stat st;
  ASSERT_EQ(stat((dir_ + "/state/Vela").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u) << "the state folder is private";
}

// A LastTarget that an earlier version wrote into the settings file is read
// while the state file has none.
TEST_F(StateFile, LastTargetOfTheSettingsFileIsReadUntilOneIsRemembered) {
  WriteSettings("[General]\nSerCnt=3\nLastTarget=10.40.0.0/22\n");
  EXPECT_EQ(LoadLastTarget(), "10.40.0.0/22");
  std::filesystem::create_directories(dir_ + "/state/Vela");
  std::ofstream(StateFilePath()) << "[General]\n";
  EXPECT_EQ(LoadLastTarget(), "10.40.0.0/22");
  std::string error;
  ASSERT_TRUE(SaveLastTarget("10.40.4.9", &error)) << error;
  EXPECT_EQ(LoadLastTarget(), "10.40.4.9");
}

TEST_F(StateFile, AStateFileThatCannotBeWrittenIsAnErrorNamingIt) {
  std::ofstream(dir_ + "/state") << "a file where the folder should be";
  std::string error;
  EXPECT_FALSE(SaveLastTarget("10.20.30.7", &error));
  EXPECT_EQ(error, "cannot write " + StateFilePath() + ": Not a directory");
}

}  // namespace
