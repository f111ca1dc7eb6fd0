// Desktop program on a host with more local addresses than a search uses,
// and a settings file naming an interface that does not exist.  Runs in a
// namespace of its own (run_isolated.sh), where it first adds an interface
// with 17 addresses; nothing is sent.
#include <cstdlib>
#include <string>
#include <vector>

#include <QLabel>

#include "interfaces.h"
#include "main_form.h"
#include "netns.h"
#include "ui_main.h"
#include "ui_support.h"

namespace {

// Startup boxes, recorded before any test runs.
std::vector<uitest::SeenBox> g_startup_boxes;

class StartupRecorder : public ::testing::Environment {
 public:
  void SetUp() override { g_startup_boxes = uitest::Boxes().boxes; }
};

}  // namespace

// The status bar's tooltip names the local addresses a search leaves out,
// each with its interface, in the kernel's order.
TEST(LeftOut, StatusBarTooltipNamesTheAddressesLeftOut)
{
  QString tip = FMain->m_stat_panel->toolTip();
  EXPECT_EQ(tip.toStdString(), LeftOutText());
  EXPECT_TRUE(tip.startsWith("local addresses left out (a search uses the first 16): vela-many 172.30.0."))
      << tip.toStdString();
  EXPECT_TRUE(tip.contains("vela-many 172.30.0.17")) << tip.toStdString();
  EXPECT_EQ(tip.count(','), 0) << "17 addresses, 16 used: one left out";
  EXPECT_EQ(FMain->m_stat_panel->text(), "Search Result -  0 Vela(s)");  // the text itself unchanged
}

// An interface in the Interfaces setting that does not exist: a warning at
// start naming it; the program then searches from every interface.
TEST(LeftOut, UnknownInterfaceInTheSettingsIsWarnedOnce)
{
  int warned = 0;
  for (const auto &b : g_startup_boxes) {
    warned += b.text == "interface nosuch0: no such interface";
    EXPECT_EQ(b.title, "Warning");
  }
  EXPECT_EQ(warned, 1);
}

int main(int argc, char **argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  if (!velatest::InLoopbackOnlyNamespace()) {
    fprintf(stderr, "refusing to run in the machine's own network namespace\n");
    return 1;
  }
  std::string add = "ip link add vela-many type veth peer name vela-many-p && ip link set vela-many up";
  for (int i = 1; i <= 17; i++)
    add += " && ip addr add 172.30.0." + std::to_string(i) + "/24 dev vela-many";
  if (std::system(add.c_str()) != 0) {
    fprintf(stderr, "cannot add the addresses (needs root in the namespace)\n");
    return 77;
  }
  ::testing::AddGlobalTestEnvironment(new uitest::UiEnvironment({"", "[General]\nInterfaces=nosuch0\n"}));
  ::testing::AddGlobalTestEnvironment(new StartupRecorder);
  return RUN_ALL_TESTS();
}
