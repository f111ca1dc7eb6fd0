#include "dialog_util.h"

#include <QDialog>
#include <QKeyEvent>
#include <QScreen>
#include <QWidget>

void SetUpFixedDialog(QDialog *dialog, const QString &caption, int width, int height)
{
  dialog->setWindowTitle(caption);
  dialog->setModal(true);
  dialog->setFixedSize(width, height);
  dialog->setWindowFlags(dialog->windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

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
