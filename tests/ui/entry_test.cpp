// The program's entry point: an error that escapes an event handler ends the
// message loop, is shown in a critical message box with the program's title,
// and the program still ends with status 0.  Runs without a network (the
// main window's start-up warning is answered like any other box).
#include <stdexcept>

#include <QTimer>

#include "app.h"
#include "main_form.h"
#include "netns.h"
#include "ui_main.h"
#include "ui_support.h"

TEST(EntryPoint, EscapedErrorIsShownAndTheProgramEndsWithZero)
{
  ASSERT_TRUE(velatest::InLoopbackOnlyNamespace()) << "run through run_isolated.sh (unshare -n)";
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("XDG_CONFIG_HOME", uitest::TempDir().c_str(), 1);
  int argc = 1;
  char arg0[] = "vela-finder";
  char *argv[] = {arg0, nullptr};
  TApplication app(argc, argv);
  uitest::BoxWatcher &boxes = uitest::Boxes();
  bool window_was_up = false;
  QTimer::singleShot(300, [&] {
    window_was_up = FMain && FMain->isVisible();
    throw std::runtime_error("device table damaged");
  });
  EXPECT_EQ(RunFinder(app), 0);
  EXPECT_TRUE(window_was_up);
  EXPECT_EQ(FMain, nullptr);
  ASSERT_FALSE(boxes.boxes.empty());
  const uitest::SeenBox &last = boxes.boxes.back();
  EXPECT_EQ(last.text, "device table damaged");
  EXPECT_EQ(last.title, "VELA FINDER");
  EXPECT_EQ(last.icon, QMessageBox::Critical);
}
