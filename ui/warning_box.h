// The program's message boxes.
#pragma once

#include <QString>

class QWidget;

// Modal warning box: caption "Warning", the warning symbol, text and one
// button "OK", and under the text the smaller lines of more, if any.
// Returns when the user has closed it.
void ShowWarning(QWidget *parent, const QString &text, const QString &more = QString());

// Modal error box: caption "Error", the error symbol, text and one button
// "OK".  Returns when the user has closed it.
void ShowError(QWidget *parent, const QString &text);

// Reloads the model table from the first model_name.ini of FindModelFile()
// (the current directory first); when none can be read, warns
// "model_name.ini not found\n", with the places looked in below, and keeps
// the table as it was.  form is the window being set up (the box's parent).
void SetupForm(QWidget *form);
