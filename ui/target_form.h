// The small dialog of Function > Search Address...: asks for one device's
// address or a routed subnet's prefix, checks it (also against the host's
// own subnets), and remembers the last one in the state file (LastTarget,
// state_file.h).
#pragma once

#include <QDialog>
#include <QString>

#include "search_target.h"

class QLabel;
class QLineEdit;
class QPushButton;

class TFTarget : public QDialog {
  Q_OBJECT

 public:
  // The text box starts with the target searched last.
  explicit TFTarget(QWidget *parent = nullptr);

  QLineEdit *m_target_edit = nullptr;
  QLabel *m_target_error = nullptr;  // why the text cannot be searched; hidden while none
  QPushButton *m_search_button = nullptr;
  QPushButton *m_cancel_button = nullptr;

  // The target read when the dialog was accepted, and the notice that goes
  // with it (the addresses of the host's own subnets it leaves out).
  TSearchTarget Target;
  QString Notice;

  // Reads the text: true with Target set, or false with the reason shown
  // under the text box.
  bool TakeTarget();

 private:
  void m_search_buttonClick();
};

// The target searched last (LastTarget of the state file, else of the
// settings file); empty when none.
QString ReadLastTarget();
// Remembers text as the target searched last.
void WriteLastTarget(const QString &text);
