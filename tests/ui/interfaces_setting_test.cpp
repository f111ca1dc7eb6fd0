// The desktop program's Interfaces setting: read with QSettings from the
// same file vela-find reads, and applied before the network layer starts.
// Runs in a namespace of its own with loopback only (run_isolated.sh), where
// the only interface is lo.
#include <gtest/gtest.h>

#include <QSettings>
#include <QString>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dsapi.h"
#include "search_settings.h"

namespace {

// The settings folders made here, removed when the program ends.
struct TempDirs {
  std::vector<std::string> paths;
  ~TempDirs()
  {
    for (const std::string &p : paths)
      std::filesystem::remove_all(p);
  }
} s_dirs;

// A settings folder of its own holding Vela/2.0.conf with text.
void UseSettings(const std::string &text)
{
  char dir[] = "/tmp/ui-if-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  s_dirs.paths.push_back(dir);
  std::filesystem::create_directories(std::string(dir) + "/Vela");
  std::ofstream(std::string(dir) + "/Vela/2.0.conf") << text;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(dir));
}

TEST(InterfacesSetting, ReadAsOneCommaSeparatedText)
{
  UseSettings("[General]\nSerCnt=3\nInterfaces=eth0,wlan0\n");
  TSearchSettings s = ReadSearchSettings();
  EXPECT_EQ(s.Interfaces, "eth0,wlan0");
  EXPECT_EQ(s.SerCnt, 3);
  UseSettings("[General]\nInterfaces=eth0\n");
  EXPECT_EQ(ReadSearchSettings().Interfaces, "eth0");
  UseSettings("[General]\nSerTim=200\n");
  EXPECT_EQ(ReadSearchSettings().Interfaces, "");
}

TEST(InterfacesSetting, AppliedBeforeTheNetworkLayerStarts)
{
  UseSettings("[General]\nInterfaces=nosuch0\n");
  EXPECT_EQ(ApplyInterfaceSetting(), "interface nosuch0: no such interface");
  UseSettings("[General]\nInterfaces=lo\n");
  EXPECT_EQ(ApplyInterfaceSetting(), "interface lo: a loopback interface cannot search");
  UseSettings("[General]\n");
  EXPECT_EQ(ApplyInterfaceSetting(), "");
  // Loopback only: nothing to search from, whatever the choice.
  EXPECT_FALSE(ds_init());
  ds_cleanup();
}

}  // namespace
