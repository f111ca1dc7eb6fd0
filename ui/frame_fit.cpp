#include "frame_fit.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace {
// After the showing, how often and how many times to look for the frame.
constexpr int kPollMs = 100, kPolls = 30;
}  // namespace

QSize ClientSizeForOuter(const QSize &outer, const QMargins &frame)
{
  return QSize(outer.width() - frame.left() - frame.right(), outer.height() - frame.top() - frame.bottom());
}

TFrameFit::TFrameFit(QWidget *window, const QSize &outer) : QObject(window), m_window(window), m_outer(outer)
{
  m_poll.setInterval(kPollMs);
  connect(&m_poll, &QTimer::timeout, this, [this] {
    if (FitReported() || ++m_polls >= kPolls)
      m_poll.stop();
  });
  window->installEventFilter(this);
}

bool TFrameFit::Fit(const QMargins &frame)
{
  if (m_fitted || frame.isNull())
    return false;
  m_fitted = true;
  m_poll.stop();
  m_window->resize(ClientSizeForOuter(m_outer, frame));
  return true;
}

bool TFrameFit::FitReported()
{
  QWindow *handle = m_window->windowHandle();
  return handle && Fit(handle->frameMargins());
}

bool TFrameFit::eventFilter(QObject *watched, QEvent *event)
{
  if (watched == m_window && !m_fitted) {
    switch (event->type()) {
    case QEvent::Show:
      if (!FitReported() && !m_poll.isActive()) {
        m_polls = 0;
        m_poll.start();
      }
      break;
    case QEvent::Move:
    case QEvent::Resize:
      if (m_window->isVisible())
        FitReported();
      break;
    default:
      break;
    }
  }
  return QObject::eventFilter(watched, event);
}
