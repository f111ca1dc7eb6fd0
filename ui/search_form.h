// The modal dialog that runs one search: it starts the search when shown,
// shows the found count and a countdown every 100 ms, lists the devices as
// they answer and closes when the search has ended or Stop is pressed.
#pragma once

#include <cstdint>

#include <QDialog>

#include "search_progress.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

// The countdown, the found count shown and the timer steps are the shared
// TSearchProgress (SerCnt, SerTim, ShownCount, StartTick, TimeoutSeconds).
class TFSearch : public QDialog, public TSearchProgress {
  Q_OBJECT

 public:
  // Modal results: Stop closes with Yes; the end of the search, the close
  // box and the system's close key close with Cancel.
  static constexpr int ResultYes = QDialog::Accepted;
  static constexpr int ResultCancel = QDialog::Rejected;
  // Period of the progress timer.
  static constexpr int TIMER_MS = 100;

  explicit TFSearch(QWidget *parent = nullptr);

  // Inputs, set before the dialog is shown.
  int32_t SearchTarget = -1;  // -1: broadcast on every local network
  // A search by address (Search Address...): SearchTarget is one device's
  // address (SearchPrefix 32) or a routed subnet's network address
  // (SearchPrefix 22..30), searched with StartTargetSearch.
  bool ByAddress = false;
  int32_t SearchPrefix = 32;

  QGroupBox *GroupBox1 = nullptr;
  QLabel *Label1 = nullptr;
  QLabel *m_enum_msg = nullptr;
  QPushButton *m_stop_enum = nullptr;
  QTableWidget *m_enum_list = nullptr;
  QTimer *m_enum_timer = nullptr;

  // One tick of the progress timer (public so that tests and benchmarks
  // can drive it without waiting for the timer).
  void m_enum_timerTimer();

 protected:
  void showEvent(QShowEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void done(int result) override;

 private:
  // Widens the progress label to its widest text, and the dialog with it
  // when the label would pass the list's right edge.
  void FitProgressLabel();
  void FormCreate();
  void FormShow();
  void FormClose();
  void m_stop_enumClick();

  bool m_started = false;
};

// The dialog of the running search; null when no search runs.
extern TFSearch *FSearch;
