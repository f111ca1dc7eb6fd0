#include "ui_main.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <QTest>

#include "about_box.h"
#include "app.h"
#include "main_form.h"
#include "ui_support.h"

namespace uitest {

namespace {
UiPaths g_paths;
TApplication *g_app = nullptr;
int g_argc = 1;
char g_arg0[] = "vela-ui-test";
char *g_argv[] = {g_arg0, nullptr};
}  // namespace

const UiPaths &Paths() { return g_paths; }

void UiEnvironment::SetUp()
{
  g_paths.config_home = TempDir();
  g_paths.state_home = TempDir();
  g_paths.work_dir = TempDir();
  setenv("XDG_CONFIG_HOME", g_paths.config_home.c_str(), 1);
  setenv("XDG_STATE_HOME", g_paths.state_home.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (chdir(g_paths.work_dir.c_str()) != 0)
    FAIL() << "cannot enter " << g_paths.work_dir;
  if (!m_options.settings_text.empty()) {
    std::filesystem::create_directories(g_paths.config_home + "/Vela");
    std::ofstream(g_paths.config_home + "/Vela/2.0.conf") << m_options.settings_text;
  }
  if (!m_options.model_file_text.empty())
    std::ofstream(g_paths.work_dir + "/model_name.ini") << m_options.model_file_text;

  g_app = new TApplication(g_argc, g_argv);
  Boxes();
  FMain = new TFMain;
  AboutBox = new TAboutBox(FMain);
  FMain->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(FMain));
}

void UiEnvironment::TearDown()
{
  delete FMain;
  FMain = nullptr;
  AboutBox = nullptr;
  delete g_app;
  g_app = nullptr;
}

}  // namespace uitest
