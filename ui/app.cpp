#include "app.h"

#include <QMessageBox>
#include <QTimer>

#include "about_box.h"
#include "app_info.h"
#include "main_form.h"

// The icons live in the static vela_ui library: register them explicitly,
// the linker would drop an unreferenced initialiser.
static void InitResources() { Q_INIT_RESOURCE(vela); }

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
  InitResources();
  // The window layouts are laid out in pixels for an 8-point interface font.
  QFont ui_font = font();
  ui_font.setPointSize(8);
  setFont(ui_font);
  // The name the desktop shows for the running program; also the caption
  // of message boxes that have none of their own.
  setApplicationName(VELA_APP_TITLE);
  setApplicationVersion(VELA_VERSION_TEXT);
  setDesktopFileName("vela-finder");
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    if (!m_escaped)
      m_escaped = std::current_exception();
    exit(0);
    return true;
  }
}

std::string ErrorText(std::exception_ptr error)
{
  try {
    std::rethrow_exception(error);
  } catch (const std::exception &e) {
    return e.what();
  } catch (...) {
    return std::string();
  }
}

int RunFinder(TApplication &app)
{
  std::exception_ptr error;
  try {
    FMain = new TFMain;
    AboutBox = new TAboutBox(FMain);
    FMain->show();
    // An error may already have escaped from a modal box's loop during the
    // start-up (the warnings of FormCreate and FormShow).  The exit that
    // ended that loop is forgotten when the message loop starts, which
    // would then run on with nobody to end it: end it again from inside.
    if (app.Escaped())
      QTimer::singleShot(0, &app, [] { QCoreApplication::exit(0); });
    app.exec();
    error = app.Escaped();
  } catch (...) {
    error = std::current_exception();
  }
  if (error)
    QMessageBox::critical(nullptr, VELA_APP_TITLE, QString::fromStdString(ErrorText(error)));
  try {
    delete FMain;  // also destroys AboutBox
  } catch (...) {
  }
  FMain = nullptr;
  AboutBox = nullptr;
  return 0;
}
