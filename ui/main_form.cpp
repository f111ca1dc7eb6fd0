#include "main_form.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>

#include "about_box.h"
#include "app_info.h"
#include "arrows.h"
#include "devcompare.h"
#include "dsapi.h"
#include "dslist.h"
#include "frame_fit.h"
#include "interfaces.h"
#include "search_form.h"
#include "search_settings.h"
#include "sort_header.h"
#include "target_form.h"
#include "texttable.h"
#include "warning_box.h"

TFMain *FMain = nullptr;

namespace {
// Layout of the window (pixels).
constexpr int kLeft = 242, kTop = 122, kWidth = 696, kHeight = 480;
constexpr int kMenuBarHeight = 21;
constexpr int kToolBarHeight = 38;
constexpr int kToolButtonWidth = 92, kToolButtonHeight = 36;
constexpr int kToolSeparatorWidth = 8;
constexpr int kStatusBarHeight = 19;
}  // namespace

TFMain::TFMain(QWidget *parent) : QMainWindow(parent)
{
  setWindowTitle(VELA_MAIN_CAPTION);
  move(kLeft, kTop);
  resize(kWidth, kHeight);
  m_frame_fit = new TFrameFit(this, QSize(kWidth, kHeight));
  m_ImageList = QIcon(":/vela/search16.png");
  setWindowIcon(QIcon(":/vela/vela48.png"));
  // No window menu of Qt's own (it would offer to hide the tool bar): the
  // commands are those of the menu bar and the tool bar.
  setContextMenuPolicy(Qt::NoContextMenu);

  BuildMenus();
  BuildToolBar();
  BuildListView();

  m_stat_bar = statusBar();
  m_stat_bar->setFixedHeight(kStatusBarHeight);
  m_stat_bar->setSizeGripEnabled(true);
  m_stat_panel = new QLabel(QString::fromStdString(InitialStatusText()));
  m_stat_panel->setObjectName("m_stat_panel");
  m_stat_bar->addWidget(m_stat_panel, 1);

  SortColumn = 0;
  FormCreate();
}

TFMain::~TFMain()
{
  FormDestroy();
}

void TFMain::BuildMenus()
{
  m_brdc_action = new QAction(m_ImageList, "&Broadcast Search", this);
  m_brdc_action->setToolTip("Broadcast Search");
  m_brdc_action->setIconText("Broadcast Search");
  m_brdc_action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
  m_brdc_action->setShortcutContext(Qt::WindowShortcut);
  connect(m_brdc_action, &QAction::triggered, this, &TFMain::m_brdc_actionExecute);

  m_act_exit = new QAction("Exit", this);
  m_act_exit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));
  m_act_exit->setShortcutContext(Qt::WindowShortcut);
  connect(m_act_exit, &QAction::triggered, this, &TFMain::m_act_exitExecute);

  QMenuBar *bar = menuBar();
  bar->setFixedHeight(kMenuBarHeight);
  m_menu_file = bar->addMenu("&File");
  m_menu_file->addAction(m_act_exit);
  m_save_action = new QAction("Save Result As...", this);
  m_save_action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  m_save_action->setShortcutContext(Qt::WindowShortcut);
  connect(m_save_action, &QAction::triggered, this, &TFMain::m_save_actionExecute);
  m_menu_file->addAction(m_save_action);
  m_menu_function = bar->addMenu("F&unction");
  m_menu_function->addAction(m_brdc_action);
  m_target_action = new QAction("Search &Address...", this);
  connect(m_target_action, &QAction::triggered, this, &TFMain::m_target_actionExecute);
  m_menu_function->addAction(m_target_action);
  // About has no drop-down: choosing it acts at once.
  m_menu_about = bar->addAction("&About");
  connect(m_menu_about, &QAction::triggered, this, &TFMain::m_menu_aboutClick);

  // The shortcuts work wherever the focus is in the window, also while the
  // menus are closed.
  addAction(m_brdc_action);
  addAction(m_act_exit);
  addAction(m_save_action);
}

void TFMain::BuildToolBar()
{
  m_tool_bar = addToolBar("Tools");
  m_tool_bar->setObjectName("m_tool_bar");
  m_tool_bar->setMovable(false);
  m_tool_bar->setFloatable(false);
  m_tool_bar->setFixedHeight(kToolBarHeight);
  // The style's margins would push a 36-pixel button past the bottom of the
  // 38-pixel bar: one pixel around it (the bar's layout takes one margin
  // for all four sides).
  int margin = (kToolBarHeight - kToolButtonHeight) / 2;
  m_tool_bar->layout()->setContentsMargins(margin, margin, margin, margin);
  m_tool_bar->setIconSize(QSize(16, 16));
  m_tool_bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  m_tool_bar->addAction(m_brdc_action);
  // 92 x 36, or wider where the platform's font needs more room for the
  // caption than the 92 pixels of the layout.
  if (QWidget *button = m_tool_bar->widgetForAction(m_brdc_action)) {
    button->setFixedHeight(kToolButtonHeight);
    button->setFixedWidth(std::max(kToolButtonWidth, button->sizeHint().width()));
  }
  QAction *separator = m_tool_bar->addSeparator();
  if (QWidget *gap = m_tool_bar->widgetForAction(separator))
    gap->setFixedWidth(kToolSeparatorWidth);
}

void TFMain::BuildListView()
{
  m_ListView = new QTableWidget(this);
  m_ListView->setObjectName("m_ListView");
  m_ListHeader = new TSortHeader(m_ListView);
  m_ListView->setHorizontalHeader(m_ListHeader);
  SetupDeviceTable(m_ListView);  // rows are ordered by m_ListViewCompare
  m_ListView->setShowGrid(true);
  m_ListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_ListView->installEventFilter(this);
  connect(m_ListHeader, &QHeaderView::sectionClicked, this, &TFMain::m_ListViewColumnClick);
  setCentralWidget(m_ListView);
  BuildListMenu();
}

void TFMain::BuildListMenu()
{
  m_list_menu = new QMenu(this);
  m_list_menu->setObjectName("m_list_menu");
  // The keys are handled by the list itself (m_ListViewKeyDown); the menu
  // only shows them.
  m_copy_action = m_list_menu->addAction("Copy", this, [this] { CopyRows(TCopyWhat::Rows); });
  m_copy_action->setShortcut(QKeySequence::Copy);
  m_copy_ip_action = m_list_menu->addAction("Copy IP Address", this, [this] { CopyRows(TCopyWhat::IpAddress); });
  m_copy_mac_action =
      m_list_menu->addAction("Copy MAC Address", this, [this] { CopyRows(TCopyWhat::MacAddress); });
  m_list_menu->addSeparator();
  m_select_all_action = m_list_menu->addAction("Select All", m_ListView, &QAbstractItemView::selectAll);
  m_select_all_action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  for (QAction *a : m_list_menu->actions())
    a->setShortcutContext(Qt::WidgetShortcut);  // never active as keys of their own
  connect(m_list_menu, &QMenu::aboutToShow, this, [this] {
    bool selected = m_ListView->selectionModel()->hasSelection();
    m_copy_action->setEnabled(selected);
    m_copy_ip_action->setEnabled(selected);
    m_copy_mac_action->setEnabled(selected);
    m_select_all_action->setEnabled(m_ListView->rowCount() > 0);
  });
  m_ListView->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(m_ListView, &QWidget::customContextMenuRequested, this,
          [this](const QPoint &at) { m_list_menu->popup(m_ListView->viewport()->mapToGlobal(at)); });
}

void TFMain::FormCreate()
{
  // The Interfaces setting chooses the interfaces a search goes out of; it
  // takes effect at ds_init.  A name that cannot be used is reported after
  // the network layer has started with every interface that is up.
  std::string choice = ApplyInterfaceSetting();
  if (!ds_init())
    ShowWarning(this, QString::fromStdString(LoadStr(TXT_SOCKET_ERROR)));
  if (!choice.empty())
    ShowWarning(this, QString::fromStdString(choice));
  // More local addresses than a search uses: the status bar's tooltip says
  // which were left out.
  m_stat_panel->setToolTip(QString::fromStdString(LeftOutText()));
}

void TFMain::FormDestroy()
{
  // The worker threads of the device list use the network layer: end them
  // before the layer goes away.
  DsList.Shutdown();
  ds_cleanup();
}

void TFMain::showEvent(QShowEvent *event)
{
  QMainWindow::showEvent(event);
  if (!m_shown && !event->spontaneous()) {
    m_shown = true;
    FormShow();
  }
}

void TFMain::FormShow()
{
  // The outer size includes the frame the window manager adds (fitted as
  // soon as the frame is known, which may be only after this showing).
  m_frame_fit->FitReported();

  LoadSearchSettings();
  SetupForm(this);
  m_misc_imglist = {ArrowListImage(true), ArrowListImage(false)};
  // Drawn for the colours the header's sections are painted with.
  m_arrow_up = MakeHeaderArrow(true, m_ListHeader->palette());
  m_arrow_down = MakeHeaderArrow(false, m_ListHeader->palette());
  AddColumns(DEVICE_COLUMN_IDS, DEVICE_COLUMN_COUNT, m_ListView);
  SetSortColumn(SortColumn, SortAscending);
}

void TFMain::LoadSearchSettings()
{
  TSearchSettings s = ReadSearchSettings();
  SerCnt = s.SerCnt;
  SerTim = s.SerTim;
}

void TFMain::m_brdc_actionExecute()
{
  RunSearch(false, 0xFFFFFFFFu, 32);
}

void TFMain::m_target_actionExecute()
{
  TFTarget ask(this);
  if (ask.exec() != QDialog::Accepted)
    return;
  WriteLastTarget(QString::fromStdString(SearchTargetText(ask.Target)));
  RunSearch(true, ask.Target.address, ask.Target.prefix_len, ask.Notice);
}

void TFMain::RunSearch(bool by_address, uint32_t address, int32_t prefix_len, const QString &target_notice)
{
  FSearch = new TFSearch(nullptr);
  FSearch->SearchTarget = static_cast<int32_t>(address);
  FSearch->ByAddress = by_address;
  FSearch->SearchPrefix = prefix_len;
  FSearch->SerCnt = SerCnt;
  FSearch->SerTim = SerTim;
  FSearch->exec();
  delete FSearch;
  FSearch = nullptr;
  DsList.FinishSearch(false);
  // Why a search ended early (a thread the system refused), as the model
  // file's parse failure: on the standard error stream.
  for (const std::string &notice : DsList.TakeNotices())
    std::fprintf(stderr, "%s\n", notice.c_str());
  QStringList tip;
  if (std::string left_out = LeftOutText(); !left_out.empty())
    tip << QString::fromStdString(left_out);
  if (!target_notice.isEmpty())
    tip << target_notice;
  if (std::string failure = DsList.SearchFailure(); !failure.empty()) {
    const std::string target = by_address ? SearchTargetText({address, prefix_len}) : "by broadcast";
    tip << QString::fromStdString("cannot search " + target + ": " + failure);
  }
  m_stat_panel->setToolTip(tip.join('\n'));
  FillDeviceList();
  UpdateStatusText();
}

void TFMain::m_act_exitExecute()
{
  close();
}

void TFMain::m_menu_aboutClick()
{
  if (AboutBox)
    AboutBox->exec();
}

void TFMain::SetSortColumn(int column, TSortState state)
{
  for (int c = 0; c < m_ListView->columnCount(); ++c)
    SetColumnTag(m_ListView, c, SortNone);
  SetColumnTag(m_ListView, column, state);
  UpdateSortHeaders();
}

void TFMain::UpdateSortHeaders()
{
  m_collator = QCollator();  // the user's locale, case-sensitive
  m_collator.setCaseSensitivity(Qt::CaseSensitive);
  for (int c = 0; c < m_ListView->columnCount(); ++c) {
    TSortState state = ColumnTag(m_ListView, c);
    if (state == SortNone) {
      m_ListHeader->SetSectionArrow(c, QPixmap());
      continue;
    }
    m_ListHeader->SetSectionArrow(c, state == SortAscending ? m_arrow_up : m_arrow_down);
    int direction = SortDirection(state);
    SortRows(m_ListView, [this, direction](const QList<QTableWidgetItem *> &a,
                                           const QList<QTableWidgetItem *> &b) {
      return m_ListViewCompare(a, b, direction);
    });
  }
}

void TFMain::FillDeviceList()
{
  m_ListView->setRowCount(0);
  int n = DsList.ListCount();
  for (int i = 0; i < n; ++i) {
    if (!DsList.ListDevice(i))
      break;
    AppendDeviceRow(m_ListView, i, DsList.ListInfoCopy(i));
  }
  SetSortColumn(SortColumn, ColumnTag(m_ListView, SortColumn));
}

void TFMain::UpdateStatusText()
{
  // The rows shown, not the found list: a search thread still finishing
  // after the close box may add to the found list after the merge, and
  // devices kept from an earlier search (DSF_FIXED) are rows but not found.
  m_stat_panel->setText(QString::fromStdString(StatusText(m_ListView->rowCount())));
}

void TFMain::m_ListViewColumnClick(int column)
{
  SortColumn = column;
  TSortState new_state = NextSortState(ColumnTag(m_ListView, column));
  for (int c = 0; c < m_ListView->columnCount(); ++c)
    SetColumnTag(m_ListView, c, SortNone);
  SetColumnTag(m_ListView, column, new_state);
  UpdateSortHeaders();
}

int TFMain::m_ListViewCompare(const QList<QTableWidgetItem *> &item1,
                              const QList<QTableWidgetItem *> &item2, int direction)
{
  TDeviceRow a = RowTexts(item1), b = RowTexts(item2);
  if (SortColumn == SORT_IP) {
    // The row's own device, read at the position the row was filled from.
    a.ip_addr = DsList.ListInfoCopy(a.position).ip;
    b.ip_addr = DsList.ListInfoCopy(b.position).ip;
  }
  return CompareDeviceRows(SortColumn, a, b, direction, [this](const std::string &x, const std::string &y) {
    return m_collator.compare(QString::fromStdString(x), QString::fromStdString(y));
  });
}

bool TFMain::m_ListViewKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
  int letter = key >= Qt::Key_A && key <= Qt::Key_Z ? 'A' + (key - Qt::Key_A) : 0;
  switch (ListKeyAction(letter, modifiers & Qt::ControlModifier, modifiers & Qt::ShiftModifier,
                        modifiers & Qt::AltModifier)) {
  case TListKey::SelectAll:
    m_ListView->selectAll();
    return true;
  case TListKey::Copy:
    CopyRows(TCopyWhat::Rows);
    return true;
  case TListKey::None:
    break;
  }
  return false;
}

void TFMain::CopyRows(TCopyWhat what)
{
  std::vector<TResultRow> rows = ViewRows(m_ListView, true);
  if (!rows.empty())
    PutOnClipboard(QString::fromStdString(CopyText(rows, what)));
}

bool TFMain::SaveResult(const QString &path, TResultFormat format)
{
  std::string text = FormatResult(ViewRows(m_ListView, false), m_ListView->rowCount(), format);
  std::string error;
  if (WriteFileWhole(path.toStdString(), text, &error))
    return true;
  ShowError(this, QString::fromStdString(error));
  return false;
}

void TFMain::m_save_actionExecute()
{
  const QString csv = "CSV (*.csv)", json = "JSON (*.json)", table = "Text (*.txt)";
  QFileDialog dialog(this, "Save Result As");
  dialog.setObjectName("SaveResultDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters({csv, json, table});
  dialog.setDefaultSuffix("csv");
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString &filter) {
    dialog.setDefaultSuffix(filter == json ? "json" : filter == table ? "txt" : "csv");
  });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return;
  QString filter = dialog.selectedNameFilter();
  TResultFormat chosen = filter == json ? TResultFormat::Json : filter == table ? TResultFormat::Table
                                                                                 : TResultFormat::Csv;
  QString path = dialog.selectedFiles().first();
  SaveResult(path, FormatForFileName(path.toStdString(), chosen));
}

bool TFMain::eventFilter(QObject *watched, QEvent *event)
{
  if (watched == m_ListView && event->type() == QEvent::KeyPress) {
    auto *key = static_cast<QKeyEvent *>(event);
    if (m_ListViewKeyDown(key->key(), key->modifiers()))
      return true;
  }
  return QMainWindow::eventFilter(watched, event);
}
