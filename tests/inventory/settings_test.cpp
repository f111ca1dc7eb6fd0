// Search settings read from the desktop program's settings file.
#include <gtest/gtest.h>

#include <climits>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "settings.h"

namespace {

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/settings-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    path_ = dir_ + "/2.0.conf";
  }
  void TearDown() override {
    unlink(path_.c_str());
    rmdir((dir_ + "/Vela").c_str());
    rmdir(dir_.c_str());
  }
  TSearchSettings Read(const std::string &text) {
    std::ofstream(path_) << text;
    return LoadSearchSettings(path_);
  }
  std::string dir_, path_;
};

TEST_F(Settings, MissingFileGivesDefaults) {
  TSearchSettings s = LoadSearchSettings(dir_ + "/none.conf");
  EXPECT_EQ(s.SerCnt, 5);
  EXPECT_EQ(s.SerTim, 1000);
}

TEST_F(Settings, ValuesAreReadFromGeneral) {
  TSearchSettings s = Read("[General]\nSerCnt=3\nSerTim=250\n");
  EXPECT_EQ(s.SerCnt, 3);
  EXPECT_EQ(s.SerTim, 250);
}

TEST_F(Settings, ZeroAndNegativeArePassedOn) {
  TSearchSettings s = Read("[General]\nSerCnt=0\nSerTim=-1\n");
  EXPECT_EQ(s.SerCnt, 0);
  EXPECT_EQ(s.SerTim, -1);
}

TEST_F(Settings, ValuesAboveInt32AreReadAsSignedLikeTheDesktopProgram) {
  TSearchSettings s = Read("[General]\nSerCnt=4294967295\nSerTim=2147483648\n");
  EXPECT_EQ(s.SerCnt, -1);
  EXPECT_EQ(s.SerTim, INT32_MIN);
  s = Read("[General]\nSerCnt=4294967296\nSerTim=-2147483649\n");
  EXPECT_EQ(s.SerCnt, 5);
  EXPECT_EQ(s.SerTim, 1000);
}

TEST_F(Settings, EachBadValueTakesItsOwnDefault) {
  TSearchSettings s = Read("[General]\nSerCnt=abc\nSerTim=700\n");
  EXPECT_EQ(s.SerCnt, 5);
  EXPECT_EQ(s.SerTim, 700);
  s = Read("[General]\nSerCnt=2\nSerTim=99999999999\n");
  EXPECT_EQ(s.SerCnt, 2);
  EXPECT_EQ(s.SerTim, 1000);
  s = Read("[General]\nSerCnt=4x\n");
  EXPECT_EQ(s.SerCnt, 5);
  EXPECT_EQ(s.SerTim, 1000);
}

TEST_F(Settings, OtherSectionIsNotRead) {
  TSearchSettings s = Read("[Other]\nSerCnt=3\n");
  EXPECT_EQ(s.SerCnt, 5);
}

TEST_F(Settings, PathHonoursXdgConfigHome) {
  const char *old = std::getenv("XDG_CONFIG_HOME");
  std::string saved = old ? old : "";
  const char *old_home = std::getenv("HOME");
  std::string saved_home = old_home ? old_home : "";
  setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  EXPECT_EQ(SearchSettingsPath(), dir_ + "/Vela/2.0.conf");
  mkdir((dir_ + "/Vela").c_str(), 0700);
  std::ofstream(dir_ + "/Vela/2.0.conf") << "[General]\nSerCnt=9\n";
  EXPECT_EQ(LoadSearchSettings().SerCnt, 9);
  unlink((dir_ + "/Vela/2.0.conf").c_str());
  setenv("HOME", "/home/someone", 1);
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(SearchSettingsPath(), "/home/someone/.config/Vela/2.0.conf");
  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  if (old_home)
    setenv("HOME", saved_home.c_str(), 1);
}

// Only an absolute XDG_CONFIG_HOME counts; a relative or empty one is
// ignored as if unset, so that the file read never depends on the folder
// the program was started in.
TEST_F(Settings, RelativeOrEmptyXdgConfigHomeFallsBackToHome) {
  const char *old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  const char *old_home = std::getenv("HOME");
  const std::string saved_home = old_home ? old_home : "";
  setenv("HOME", dir_.c_str(), 1);
  const struct {
    const char *xdg;
    std::string home;
  } cases[] = {
      {"", dir_ + "/.config"},
      {"config", dir_ + "/.config"},
      {"./config", dir_ + "/.config"},
      {"../config", dir_ + "/.config"},
      {"~/config", dir_ + "/.config"},
      {"/etc/xdg-user", "/etc/xdg-user"},
  };
  for (const auto &c : cases) {
    setenv("XDG_CONFIG_HOME", c.xdg, 1);
    EXPECT_EQ(ConfigHome(), c.home) << "XDG_CONFIG_HOME=" << c.xdg;
  }
  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  if (old_home)
    setenv("HOME", saved_home.c_str(), 1);
  else
    unsetenv("HOME");
}

}  // namespace

namespace {

TEST_F(Settings, InterfacesAreReadAsWritten) {
  EXPECT_EQ(Read("[General]\nSerCnt=3\nInterfaces=eth0,wlan0\n").Interfaces, "eth0,wlan0");
  EXPECT_EQ(Read("[General]\nInterfaces = \"eth0, wlan0\"\n").Interfaces, "eth0, wlan0");
  TSearchSettings none = Read("[General]\nSerCnt=3\n");
  EXPECT_EQ(none.Interfaces, "") << "no key: every interface that is up";
  EXPECT_EQ(none.SerCnt, 3);
  EXPECT_EQ(Read("[Other]\nInterfaces=eth0\n").Interfaces, "") << "only section [General] counts";
}

}  // namespace
