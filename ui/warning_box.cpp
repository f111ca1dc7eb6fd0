#include "warning_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include "modeltable.h"
#include "window_texts.h"

void ShowWarning(QWidget *parent, const QString &text, const QString &more)
{
  QMessageBox box(QMessageBox::Warning, "Warning", text, QMessageBox::Ok, parent);
  box.setInformativeText(more);
  box.exec();
}

void ShowError(QWidget *parent, const QString &text)
{
  QMessageBox box(QMessageBox::Critical, "Error", text, QMessageBox::Ok, parent);
  box.exec();
}

void SetupForm(QWidget *form)
{
  if (LoadModelFile(FindModelFile().c_str()) == 0)
    return;
  // A form that is still being built is not on screen yet: centre the box
  // on whatever window the user sees.
  QWidget *parent = form && form->isVisible() ? form : QApplication::activeWindow();
  ShowWarning(parent, QString::fromStdString(ModelFileWarning()),
              QString::fromStdString(ModelFilePlacesText()));
}
