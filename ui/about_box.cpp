#include "about_box.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "app_info.h"
#include "dialog_util.h"
#include "texttable.h"

TAboutBox *AboutBox = nullptr;

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent)
{
  SetUpFixedDialog(this, "About", 298, 153);

  Panel1 = new QFrame(this);
  Panel1->setGeometry(8, 8, 281, 97);
  Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);  // lowered outside, raised inside

  Image1 = new QLabel(Panel1);
  Image1->setGeometry(8, 24, 48, 48);
  Image1->setPixmap(QPixmap(":/vela/vela48.png"));

  ProductName = new QLabel(Panel1);
  ProductName->setObjectName("ProductName");
  ProductName->move(64, 32);
  ProductName->resize(210, 16);
  Version = new QLabel(Panel1);
  Version->setObjectName("Version");
  Version->move(64, 56);
  Version->resize(210, 16);

  OKButton = new QPushButton("OK", this);
  OKButton->setGeometry(215, 116, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::FormShow()
{
  ProductName->setText(QString::fromStdString(AboutProductLine()));
  Version->setText(QString::fromStdString(AboutVersionLine()));
}

void TAboutBox::FormClose()
{
  ProductName->clear();
  Version->clear();
}

void TAboutBox::showEvent(QShowEvent *event)
{
  if (!event->spontaneous())
    CenterOnScreen(this);
  FormShow();
  QDialog::showEvent(event);
}

void TAboutBox::hideEvent(QHideEvent *event)
{
  if (!event->spontaneous())
    FormClose();
  QDialog::hideEvent(event);
}

void TAboutBox::keyPressEvent(QKeyEvent *event)
{
  // There is no cancel button: Escape leaves the dialog open.
  if (!SwallowEscape(event))
    QDialog::keyPressEvent(event);
}
