// Helpers of the desktop program's tests: a watcher that answers message
// boxes and records them, polling while a modal dialog runs, and access to
// the rows of a device table.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "proto.h"

class QTableWidget;

namespace uitest {

// One message box the watcher saw.
struct SeenBox {
  QString title;
  QString text;
  QString informative;  // the smaller text under it
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
};

// Closes every message box that appears (with its first button) and records
// it, checking every 10 ms; runs inside the nested loop of any modal dialog.
class BoxWatcher : public QObject {
 public:
  BoxWatcher();
  std::vector<SeenBox> boxes;
  int Count(const QString &text) const;
  void Clear() { boxes.clear(); }

 private:
  void Poll();
  QTimer m_timer;
};

// The watcher shared by a test program (created with the application).
BoxWatcher &Boxes();

// Calls step every period_ms (also inside nested event loops) until it
// returns true; the object stops itself then.
class Poller : public QObject {
 public:
  Poller(std::function<bool()> step, int period_ms = 20);
  bool finished() const { return m_finished; }

 private:
  std::function<bool()> m_step;
  QTimer m_timer;
  bool m_finished = false;
};

// Runs the event loop until pred holds or timeout_ms passes; returns pred().
bool WaitUntil(const std::function<bool()> &pred, int timeout_ms);

// Texts of one column, top to bottom.
QStringList ColumnTexts(const QTableWidget *view, int column);

// Clicks the middle of a column's header, as a user sorting by it does.
void ClickHeader(QTableWidget *view, int column);

// A search reply record for injection into the device list.
_DSNETINFO MakeInfo(uint32_t apid, uint16_t hwid, const char *ip, uint8_t mac_last);

// A fresh, empty temporary directory (removed at exit).
std::string TempDir();

}  // namespace uitest
