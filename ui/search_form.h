// The modal dialog that runs one search: it starts the search when shown,
// shows the found count and a countdown every 100 ms, lists the devices as
// they answer and closes when the search has ended or Stop is pressed.
#pragma once

#include <cstdint>

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

class TFSearch : public QDialog {
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
  int32_t SerCnt = 0;         // pass count
  int32_t SerTim = 0;         // pass time, ms

  // Own state.
  int32_t ShownCount = 0;     // found devices already listed
  uint32_t StartTick = 0;     // tick count when the countdown last started
  int32_t TimeoutSeconds = 0; // length of the countdown

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
