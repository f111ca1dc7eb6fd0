// The main window: menu bar, tool bar, the device list view and the status
// bar.  Runs a search through the search dialog and shows its result sorted
// by the column the user chose.
#pragma once

#include <cstdint>

#include <QCollator>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QPixmap>

#include "list_columns.h"

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTableWidget;
class QTableWidgetItem;
class QToolBar;
class TFrameFit;
class TSortHeader;

class TFMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TFMain(QWidget *parent = nullptr);
  ~TFMain() override;

  // Search settings, read at the first showing.
  int32_t SerCnt = 0;
  int32_t SerTim = 0;
  // Column the rows are sorted by.
  int SortColumn = 0;

  QMenu *m_menu_file = nullptr;
  QMenu *m_menu_function = nullptr;
  QAction *m_menu_about = nullptr;
  QAction *m_brdc_action = nullptr;
  QAction *m_act_exit = nullptr;
  QToolBar *m_tool_bar = nullptr;
  QTableWidget *m_ListView = nullptr;
  TSortHeader *m_ListHeader = nullptr;
  TFrameFit *m_frame_fit = nullptr;  // outer size 696 x 480 once the frame is known
  QStatusBar *m_stat_bar = nullptr;
  QLabel *m_stat_panel = nullptr;  // the status bar's only panel
  QIcon m_ImageList;               // the 16 x 16 search icon
  QList<QImage> m_misc_imglist;    // arrow images: 0 up, 1 down
  QPixmap m_arrow_up;
  QPixmap m_arrow_down;

  // Device list view.
  void SetSortColumn(int column, TSortState state);
  void UpdateSortHeaders();
  void FillDeviceList();
  void UpdateStatusText();
  void m_ListViewColumnClick(int column);
  int m_ListViewCompare(const QList<QTableWidgetItem *> &item1,
                        const QList<QTableWidgetItem *> &item2, int direction);
  // Ctrl+A (other modifiers allowed) selects every row; true when handled.
  bool m_ListViewKeyDown(int key, Qt::KeyboardModifiers modifiers);

  // Commands.
  void m_brdc_actionExecute();
  void m_act_exitExecute();
  void m_menu_aboutClick();

 protected:
  void showEvent(QShowEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  void FormCreate();
  void FormShow();
  void FormDestroy();
  void LoadSearchSettings();
  void BuildMenus();
  void BuildToolBar();
  void BuildListView();

  bool m_shown = false;
  QCollator m_collator;
};

// The main window.
extern TFMain *FMain;
