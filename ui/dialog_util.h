// Behaviour shared by the program's dialogs.
#pragma once

class QDialog;
class QKeyEvent;
class QString;
class QWidget;

// The frame of the program's dialogs: caption, modal, a fixed client area
// of width x height pixels, no context-help button.
void SetUpFixedDialog(QDialog *dialog, const QString &caption, int width, int height);

// True (and the event accepted) for Escape: the dialogs have no cancel
// button, so Escape must not close them.
bool SwallowEscape(QKeyEvent *event);

// Places a top-level window in the middle of its screen.
void CenterOnScreen(QWidget *window);
