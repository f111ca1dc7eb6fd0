#include "ui_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHeaderView>
#include <QTableWidget>
#include <QTest>
#include <QThread>

#include "wire_text.h"

namespace uitest {

BoxWatcher::BoxWatcher()
{
  m_timer.setInterval(10);
  connect(&m_timer, &QTimer::timeout, this, &BoxWatcher::Poll);
  m_timer.start();
}

void BoxWatcher::Poll()
{
  for (QWidget *w : QApplication::topLevelWidgets()) {
    auto *box = qobject_cast<QMessageBox *>(w);
    if (!box || !box->isVisible() || box->property("uitest_seen").toBool())
      continue;
    box->setProperty("uitest_seen", true);
    SeenBox seen;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.informative = box->informativeText();
    seen.icon = box->icon();
    for (QAbstractButton *b : box->buttons())
      seen.buttons << b->text();
    boxes.push_back(seen);
    if (!box->buttons().isEmpty())
      box->buttons().first()->click();
  }
}

int BoxWatcher::Count(const QString &text) const
{
  int n = 0;
  for (const SeenBox &b : boxes)
    n += b.text == text;
  return n;
}

BoxWatcher &Boxes()
{
  static BoxWatcher *watcher = new BoxWatcher;
  return *watcher;
}

Poller::Poller(std::function<bool()> step, int period_ms) : m_step(std::move(step))
{
  m_timer.setInterval(period_ms);
  connect(&m_timer, &QTimer::timeout, this, [this] {
    if (!m_finished && m_step()) {
      m_finished = true;
      m_timer.stop();
    }
  });
  m_timer.start();
}

bool WaitUntil(const std::function<bool()> &pred, int timeout_ms)
{
  QDeadlineTimer deadline(timeout_ms);
  while (!pred()) {
    if (deadline.hasExpired())
      return pred();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}

QStringList ColumnTexts(const QTableWidget *view, int column)
{
  QStringList out;
  for (int r = 0; r < view->rowCount(); ++r)
    out << (view->item(r, column) ? view->item(r, column)->text() : QString());
  return out;
}

void ClickHeader(QTableWidget *view, int column)
{
  QHeaderView *h = view->horizontalHeader();
  const QPoint at(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2);
  QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

_DSNETINFO MakeInfo(uint32_t apid, uint16_t hwid, const char *ip, uint8_t mac_last)
{
  _DSNETINFO info{};
  info.apid = apid;
  info.hwid = hwid;
  info.ip = velatest::Ip(ip);
  info.reported_ip = info.ip;
  info.mac[0] = 0x02;
  info.mac[5] = mac_last;
  return info;
}

std::string TempDir()
{
  static int counter = 0;
  std::filesystem::path p = std::filesystem::temp_directory_path() /
                            ("vela-ui-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
  std::filesystem::remove_all(p);
  std::filesystem::create_directories(p);
  static std::vector<std::filesystem::path> *made = new std::vector<std::filesystem::path>;
  if (made->empty())
    std::atexit([] {
      for (auto &d : *made) {
        std::error_code ec;
        std::filesystem::remove_all(d, ec);
      }
    });
  made->push_back(p);
  return p.string();
}

}  // namespace uitest
