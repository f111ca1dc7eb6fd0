// The program's message boxes.
#pragma once

#include <QString>

class QWidget;

// Modal warning box: caption "Warning", the warning symbol, text and one
// button "OK".  Returns when the user has closed it.
void ShowWarning(QWidget *parent, const QString &text);

// Reloads the model table from "model_name.ini" in the current directory;
// when the file cannot be read, warns "model_name.ini not found\n" and keeps
// the table as it was.  form is the window being set up (the box's parent).
void SetupForm(QWidget *form);
