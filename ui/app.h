// Start-up of the desktop program, shared by the program's entry point and
// the tests.
#pragma once

#include <exception>
#include <string>

#include <QApplication>

// The application object.  An exception that escapes an event handler is
// not let through Qt's event loop: it is kept, the loop is ended, and the
// entry point reports it after the loop has returned.
class TApplication : public QApplication {
 public:
  TApplication(int &argc, char **argv);

  bool notify(QObject *receiver, QEvent *event) override;

  // The first exception that escaped an event handler, if any.
  std::exception_ptr Escaped() const { return m_escaped; }

 private:
  std::exception_ptr m_escaped;
};

// The text of the error box for an exception: its message, or the empty
// text for an exception without one.
std::string ErrorText(std::exception_ptr error);

// Creates the main window and the hidden about dialog, runs the message loop
// until the main window closes and destroys the windows.  Any error that
// escapes is shown in a critical message box.  Returns 0.
int RunFinder(TApplication &app);
