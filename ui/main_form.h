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
#include "result_share.h"

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
  QAction *m_save_action = nullptr;       // File > Save Result As... (Ctrl+S)
  QAction *m_target_action = nullptr;     // Function > Search Address...
  // The list's context menu and its commands.
  QMenu *m_list_menu = nullptr;
  QAction *m_copy_action = nullptr;       // Copy (Ctrl+C): whole rows
  QAction *m_copy_ip_action = nullptr;    // Copy IP Address
  QAction *m_copy_mac_action = nullptr;   // Copy MAC Address
  QAction *m_select_all_action = nullptr; // Select All (Ctrl+A)
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
  // Ctrl+A (other modifiers allowed) selects every row; Ctrl+C copies the
  // selected rows; true when handled.
  bool m_ListViewKeyDown(int key, Qt::KeyboardModifiers modifiers);
  // Puts the selected rows, in view order, on the clipboard (and the
  // primary selection): whole rows as tab-separated lines, or one field.
  // Nothing selected: the clipboard stays as it is.
  void CopyRows(TCopyWhat what);
  // Writes the rows in view order to path in format, whole or not at all
  // (the shared result formatter); on failure an error box names the file
  // and the reason.  True when written.
  bool SaveResult(const QString &path, TResultFormat format);

  // Commands.
  void m_brdc_actionExecute();
  void m_act_exitExecute();
  void m_menu_aboutClick();
  // Save Result As...: asks for a file name (its type chooses CSV, JSON or
  // the text table), then SaveResult.
  void m_save_actionExecute();
  // Search Address...: asks for an address or prefix (TFTarget), remembers
  // it as LastTarget, then runs the search dialog for it.
  void m_target_actionExecute();

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
  void BuildListMenu();
  // Runs one search dialog (broadcast, or by address with prefix_len), then
  // takes the result over and shows it.  A search that could not be carried
  // out reads as one that found nothing; the status bar's tooltip says why,
  // after the target's notice (target_notice) and the local addresses left
  // out.
  void RunSearch(bool by_address, uint32_t address, int32_t prefix_len, const QString &target_notice = {});

  bool m_shown = false;
  QCollator m_collator;
};

// The main window.
extern TFMain *FMain;
