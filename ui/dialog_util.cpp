#include "dialog_util.h"

#include <QKeyEvent>
#include <QScreen>
#include <QWidget>

bool SwallowEscape(QKeyEvent *event)
{
  if (!event->matches(QKeySequence::Cancel))
    return false;
  event->accept();
  return true;
}

void CenterOnScreen(QWidget *window)
{
  if (QScreen *screen = window->screen()) {
    QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
  }
}
