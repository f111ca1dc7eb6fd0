// The about dialog: the product name and the version, filled in each time the
// dialog is shown and emptied when it closes.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget *parent = nullptr);

  QFrame *Panel1 = nullptr;
  QLabel *Image1 = nullptr;
  QLabel *ProductName = nullptr;
  QLabel *Version = nullptr;
  QPushButton *OKButton = nullptr;

 protected:
  void showEvent(QShowEvent *event) override;
  void hideEvent(QHideEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;

 private:
  void FormShow();
  void FormClose();
};

// The about dialog, created hidden at start-up and reused for every showing.
extern TAboutBox *AboutBox;
