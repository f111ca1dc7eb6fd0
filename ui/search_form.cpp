#include "search_form.h"

#include <algorithm>

#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>

#include "dialog_util.h"
#include "dslist.h"
#include "list_columns.h"
#include "texttable.h"
#include "warning_box.h"

TFSearch *FSearch = nullptr;

TFSearch::TFSearch(QWidget *parent) : QDialog(parent)
{
  SetUpFixedDialog(this, "Searching", 461, 312);

  GroupBox1 = new QGroupBox(this);
  GroupBox1->setGeometry(16, 16, 425, 273);

  Label1 = new QLabel("Searching for Vela...", GroupBox1);
  Label1->setGeometry(16, 24, 300, 13);
  Label1->setMinimumHeight(Label1->sizeHint().height());

  m_enum_msg = new QLabel(GroupBox1);
  m_enum_msg->setObjectName("m_enum_msg");
  m_enum_msg->setGeometry(16, 48, 300, 13);
  QFont bold = m_enum_msg->font();
  bold.setBold(true);
  m_enum_msg->setFont(bold);
  m_enum_msg->setMinimumHeight(m_enum_msg->sizeHint().height());

  m_stop_enum = new QPushButton(style()->standardIcon(QStyle::SP_DialogYesButton), "&Stop", GroupBox1);
  m_stop_enum->setGeometry(334, 24, 75, 25);
  m_stop_enum->setDefault(true);
  connect(m_stop_enum, &QPushButton::clicked, this, &TFSearch::m_stop_enumClick);

  m_enum_list = new QTableWidget(GroupBox1);
  m_enum_list->setObjectName("m_enum_list");
  m_enum_list->setGeometry(16, 72, 393, 177);
  FitProgressLabel();
  SetupDeviceTable(m_enum_list);
  m_enum_list->setShowGrid(false);
  m_enum_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_enum_list->horizontalHeader()->setSectionsClickable(false);  // not sortable

  m_enum_timer = new QTimer(this);
  m_enum_timer->setInterval(TIMER_MS);
  connect(m_enum_timer, &QTimer::timeout, this, &TFSearch::m_enum_timerTimer);

  // The model table is reloaded while the dialog is built and again when
  // it has been created, so that a search always uses the current file.
  SetupForm(this);
  FormCreate();
}

void TFSearch::FitProgressLabel()
{
  // The widest progress texts the settings can give.
  QFontMetrics metrics(m_enum_msg->font());
  int need = 0;
  for (const std::string &text : WidestProgressTexts())
    need = std::max(need, metrics.horizontalAdvance(QString::fromStdString(text)));
  QRect label = m_enum_msg->geometry();
  if (need <= label.width())
    return;
  label.setWidth(need);
  m_enum_msg->setGeometry(label);
  // The label may reach as far as the list's right edge; beyond it the
  // group box and the dialog grow, the Stop button and the list with them.
  int grow = label.right() - m_enum_list->geometry().right();
  if (grow <= 0)
    return;
  m_stop_enum->move(m_stop_enum->x() + grow, m_stop_enum->y());
  m_enum_list->resize(m_enum_list->width() + grow, m_enum_list->height());
  GroupBox1->resize(GroupBox1->width() + grow, GroupBox1->height());
  setFixedSize(width() + grow, height());
}

void TFSearch::FormCreate()
{
  AddColumns(DEVICE_COLUMN_IDS, DEVICE_COLUMN_COUNT, m_enum_list);
  SetupForm(this);
}

void TFSearch::showEvent(QShowEvent *event)
{
  bool first = !m_started && !event->spontaneous();
  if (first)
    CenterOnScreen(this);
  QDialog::showEvent(event);
  if (first) {
    m_started = true;
    FormShow();
  }
}

void TFSearch::FormShow()
{
  ShownCount = 0;
  m_enum_list->setRowCount(0);
  if (ByAddress)
    DsList.StartTargetSearch(static_cast<uint32_t>(SearchTarget), SearchPrefix, SerCnt, SerTim);
  else
    DsList.StartSearch(SearchTarget, SerCnt, SerTim);
  m_enum_timer->start();
  Begin(TickCount());
}

void TFSearch::m_enum_timerTimer()
{
  TProgressStep step = Tick(TickCount(), DsList.FoundCount());
  m_enum_msg->setText(QString::fromStdString(step.label));
  // Only the devices that are new since the last tick get a row.
  for (int i = step.first_new; i < step.end_new; ++i)
    AppendDeviceRow(m_enum_list, i, DsList.FoundInfoCopy(i));
  repaint();
  if (DsList.IsSearchDone())
    done(ResultCancel);
}

void TFSearch::m_stop_enumClick()
{
  DsList.StopSearch();
  done(ResultYes);
}

void TFSearch::FormClose()
{
  m_enum_timer->stop();
}

void TFSearch::done(int result)
{
  FormClose();
  QDialog::done(result);
}

void TFSearch::keyPressEvent(QKeyEvent *event)
{
  // There is no cancel button: Escape leaves the dialog open.
  if (!SwallowEscape(event))
    QDialog::keyPressEvent(event);
}
