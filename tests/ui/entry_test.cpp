// The program's entry point: an error that escapes an event handler ends the
// message loop, is shown in a critical message box with the program's title,
// and the program still ends with status 0.  Runs without a network (the
// main window's start-up warning is answered like any other box).
//
// Each test creates the application, so ctest runs each in a process of its
// own (GTEST_FILTER).
#include <stdexcept>

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>

#include "app.h"
#include "main_form.h"
#include "netns.h"
#include "ui_main.h"
#include "ui_support.h"

namespace {

// Far beyond the second or so a run takes even under load; reached only
// when the message loop was left running with nobody to end it.
constexpr int kHungMs = 30000;

char g_arg0[] = "vela-finder";
char *g_argv[] = {g_arg0, nullptr};
int g_argc = 1;

void UseIsolatedSettings()
{
  ASSERT_TRUE(velatest::InLoopbackOnlyNamespace()) << "run through run_isolated.sh (unshare -n)";
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("XDG_CONFIG_HOME", uitest::TempDir().c_str(), 1);
}

// Ends a message loop that nothing else would end, and records that.
void ArmHangWatch(TApplication &app, bool *hung)
{
  QTimer::singleShot(kHungMs, &app, [hung] {
    *hung = true;
    QCoreApplication::exit(0);
  });
}

void ExpectErrorBoxShown(const std::string &text)
{
  const uitest::BoxWatcher &boxes = uitest::Boxes();
  ASSERT_FALSE(boxes.boxes.empty());
  const uitest::SeenBox &last = boxes.boxes.back();
  EXPECT_EQ(last.text.toStdString(), text);
  EXPECT_EQ(last.title, "VELA FINDER");
  EXPECT_EQ(last.icon, QMessageBox::Critical);
}

bool MessageBoxExists()
{
  for (QWidget *w : QApplication::topLevelWidgets())
    if (qobject_cast<QMessageBox *>(w))
      return true;
  return false;
}

TEST(EntryPoint, EscapedErrorIsShownAndTheProgramEndsWithZero)
{
  UseIsolatedSettings();
  TApplication app(g_argc, g_argv);
  uitest::Boxes();
  bool window_was_up = false, thrown = false, hung = false;
  ArmHangWatch(app, &hung);
  // Thrown once from the message loop itself, when the window is up and no
  // start-up warning exists any more (a box that is closed but not yet
  // destroyed may still run its own loop).
  uitest::Poller thrower([&]() -> bool {
    if (thrown)
      return true;
    if (!FMain || !FMain->isVisible() || MessageBoxExists())
      return false;
    window_was_up = thrown = true;
    throw std::runtime_error("device table damaged");
  });
  EXPECT_EQ(RunFinder(app), 0);
  EXPECT_FALSE(hung);
  EXPECT_TRUE(window_was_up);
  EXPECT_EQ(FMain, nullptr);
  ExpectErrorBoxShown("device table damaged");
}

// Throws from inside the loop of the first start-up warning box (no usable
// address here: "Initial Socket Error!") while it is open.
class ThrowInWarningBox : public QObject {
 public:
  bool eventFilter(QObject *watched, QEvent *event) override
  {
    auto *box = qobject_cast<QMessageBox *>(watched);
    if (box && event->type() == QEvent::Show && !m_done && box->text() == "Initial Socket Error!") {
      m_done = true;
      QTimer::singleShot(0, box, [] {
        uitest::Boxes();  // closes the error box at the end
        throw std::runtime_error("failed during start-up");
      });
    }
    return false;
  }

 private:
  bool m_done = false;
};

// An error that escapes before the message loop has started (from a
// warning box's own loop during start-up) ends the program all the same:
// the loop must not start and run on with nobody to end it.
TEST(EntryPoint, ErrorEscapedDuringStartUpEndsTheProgram)
{
  UseIsolatedSettings();
  TApplication app(g_argc, g_argv);
  ThrowInWarningBox thrower;
  app.installEventFilter(&thrower);
  bool hung = false;
  ArmHangWatch(app, &hung);
  EXPECT_EQ(RunFinder(app), 0);
  EXPECT_FALSE(hung) << "the message loop ran on after the error";
  EXPECT_EQ(FMain, nullptr);
  ExpectErrorBoxShown("failed during start-up");
}

}  // namespace
