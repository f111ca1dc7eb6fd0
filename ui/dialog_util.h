// Behaviour shared by the program's dialogs.
#pragma once

class QKeyEvent;
class QWidget;

// True (and the event accepted) for Escape: the dialogs have no cancel
// button, so Escape must not close them.
bool SwallowEscape(QKeyEvent *event);

// Places a top-level window in the middle of its screen.
void CenterOnScreen(QWidget *window);
