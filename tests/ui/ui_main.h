// Shared start of the desktop program's test binaries: the offscreen
// platform, a settings folder and a working folder of their own, the
// application and one main window for the whole run (its destruction ends
// the device list's threads, so there is exactly one per process).
#pragma once

#include <string>

#include <gtest/gtest.h>

namespace uitest {

struct UiEnvOptions {
  std::string model_file_text;  // written to model_name.ini when not empty
  std::string settings_text;    // written to Vela/2.0.conf when not empty
};

// Paths the environment made.
struct UiPaths {
  std::string config_home;  // XDG_CONFIG_HOME of the run
  std::string state_home;   // XDG_STATE_HOME of the run
  std::string work_dir;     // current directory of the run
};
const UiPaths &Paths();

// Creates the application and the main window on SetUp, destroys them on
// TearDown.  Register it after any environment that must run first.
class UiEnvironment : public ::testing::Environment {
 public:
  explicit UiEnvironment(UiEnvOptions options) : m_options(std::move(options)) {}
  void SetUp() override;
  void TearDown() override;

 private:
  UiEnvOptions m_options;
};

}  // namespace uitest
