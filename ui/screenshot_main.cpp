// vela-finder-shots: runs the desktop program's own windows through one
// search and saves pictures of them for the documentation:
//   search.png  the search dialog while devices are coming in
//   main.png    the main window with the search result
//   about.png   the about dialog
//   context-menu.png  the main window with the list's context menu open
// Usage: vela-finder-shots OUTPUT_DIR.  Run it where the devices can be
// heard (scripts/screenshot starts it in a lab under Xvfb).
#include <cstdio>

#include <QContextMenuEvent>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include "about_box.h"
#include "app.h"
#include "main_form.h"
#include "search_form.h"

namespace {

bool Saved(bool ok, const QString &path)
{
  std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "cannot write", qPrintable(path));
  return ok;
}

bool Save(QWidget *w, const QString &path)
{
  return Saved(w->grab().save(path), path);
}

void Wait(int ms)
{
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The main window with the list's context menu opened over two selected
// rows, taken from the screen (the menu is a window of its own).
bool SaveContextMenu(const QString &path)
{
  QTableWidget *list = FMain->m_ListView;
  list->clearSelection();
  list->selectRow(1);
  list->setSelectionMode(QAbstractItemView::MultiSelection);
  list->selectRow(2);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  QPoint at = list->visualRect(list->model()->index(2, 1)).center();
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
  QApplication::sendEvent(list->viewport(), &event);
  Wait(500);
  QRect area = FMain->frameGeometry().united(FMain->m_list_menu->geometry());
  bool ok = FMain->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(path);
  FMain->m_list_menu->close();
  return Saved(ok, path);
}

}  // namespace

int main(int argc, char **argv)
{
  TApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: vela-finder-shots OUTPUT_DIR\n");
    return 2;
  }
  QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.mkpath(".")) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  int failures = 0;

  FMain = new TFMain;
  AboutBox = new TAboutBox(FMain);
  FMain->show();

  // The search dialog is pictured once a few devices are listed and the
  // countdown is showing; the search then runs to its end.
  bool search_saved = false;
  QTimer watch;
  watch.setInterval(20);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!search_saved && FSearch && FSearch->isVisible() && FSearch->ShownCount >= 3 &&
        !FSearch->m_enum_msg->text().isEmpty()) {
      search_saved = true;
      FSearch->m_enum_list->selectRow(0);
      failures += !Save(FSearch, out.filePath("search.png"));
    }
    if (AboutBox->isVisible()) {
      failures += !Save(AboutBox, out.filePath("about.png"));
      AboutBox->OKButton->click();
    }
  });
  watch.start();

  QTimer::singleShot(300, [&] {
    FMain->m_brdc_action->trigger();  // returns when the search has ended
    FMain->m_ListView->selectRow(1);
    failures += !search_saved;
    failures += !Save(FMain, out.filePath("main.png"));
    failures += !SaveContextMenu(out.filePath("context-menu.png"));
    FMain->m_menu_about->trigger();
    FMain->close();
  });
  app.exec();
  delete FMain;
  return failures == 0 ? 0 : 1;
}
