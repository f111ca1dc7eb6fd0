// Gives a top-level window a chosen outer size, frame included.  The frame
// is the window manager's and mostly not known at the first showing: the
// fit is made as soon as the platform reports a frame, looked for at the
// showing, on every move and resize of the window, and for a few seconds
// after the showing.  Only the first report counts, so a size the user
// chooses later stays.
#pragma once

#include <QMargins>
#include <QObject>
#include <QSize>
#include <QTimer>

class QWidget;

// The client size that gives a window the outer size outer inside a frame
// with these margins.
QSize ClientSizeForOuter(const QSize &outer, const QMargins &frame);

class TFrameFit : public QObject {
 public:
  // Watches window (which owns this object) from now on.
  TFrameFit(QWidget *window, const QSize &outer);

  // Fits the window to frame unless a fit was made already or frame is
  // empty (no frame known yet); true when it resized.
  bool Fit(const QMargins &frame);
  // Fits with the frame the platform reports now.
  bool FitReported();
  bool fitted() const { return m_fitted; }

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  QWidget *m_window;
  QSize m_outer;
  bool m_fitted = false;
  QTimer m_poll;
  int m_polls = 0;
};
