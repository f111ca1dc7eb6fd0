#include "target_form.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

#include "state_file.h"

QString ReadLastTarget()
{
  return QString::fromStdString(LoadLastTarget());
}

void WriteLastTarget(const QString &text)
{
  // Remembering is a convenience: a state file that cannot be written is
  // reported where the program's other notices go, and the search runs.
  std::string error;
  if (!SaveLastTarget(text.toStdString(), &error))
    std::fprintf(stderr, "%s\n", error.c_str());
}

TFTarget::TFTarget(QWidget *parent) : QDialog(parent)
{
  setWindowTitle("Search Address");
  setModal(true);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  auto *prompt = new QLabel("Address of a device, or a routed subnet's prefix (/22 to /30),\n"
                            "for example 10.20.30.5 or 10.20.30.0/24:", this);
  m_target_edit = new QLineEdit(this);
  m_target_edit->setObjectName("m_target_edit");
  m_target_edit->setText(ReadLastTarget());
  m_target_edit->selectAll();
  m_target_error = new QLabel(this);
  m_target_error->setObjectName("m_target_error");
  m_target_error->setWordWrap(true);
  QPalette warn = m_target_error->palette();
  warn.setColor(QPalette::WindowText, Qt::darkRed);
  m_target_error->setPalette(warn);
  m_target_error->hide();

  m_search_button = new QPushButton("&Search", this);
  m_search_button->setDefault(true);
  m_cancel_button = new QPushButton("Cancel", this);
  connect(m_search_button, &QPushButton::clicked, this, &TFTarget::m_search_buttonClick);
  connect(m_cancel_button, &QPushButton::clicked, this, &QDialog::reject);
  connect(m_target_edit, &QLineEdit::textEdited, m_target_error, &QWidget::hide);

  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(m_search_button);
  buttons->addWidget(m_cancel_button);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(prompt);
  layout->addWidget(m_target_edit);
  layout->addWidget(m_target_error);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool TFTarget::TakeTarget()
{
  std::string error;
  std::string notice;
  if (ParseSearchTarget(m_target_edit->text().toStdString(), &Target, &error) &&
      CheckSearchTarget(Target, HostConnectedSubnets(), &notice, &error)) {
    Notice = QString::fromStdString(notice);
    m_target_error->hide();
    return true;
  }
  m_target_error->setText(QString::fromStdString(error));
  m_target_error->show();
  m_target_edit->setFocus();
  return false;
}

void TFTarget::m_search_buttonClick()
{
  if (TakeTarget())
    accept();
}
