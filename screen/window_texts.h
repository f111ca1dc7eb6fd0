// Texts of the windows that are built from the text table and constants:
// the status bar before the first search and after one, the about box's two
// lines, the model file warning and the names the program shows for itself.
#pragma once

#include <string>

#include "texttable.h"

// Name of the running program (task bar, message box captions).
#define VELA_APP_TITLE "VELA FINDER"
// Caption of the main window.
#define VELA_MAIN_CAPTION "Vela Finder"

// The status text before the first search: "Search Result -  0 Vela(s)"
// (two blanks before the 0).
std::string InitialStatusText();
// After a search that found count devices: "Search Result - N Vela(s)".
std::string StatusText(int count, TTextSource texts = LoadStr);

// "Product Name: Vela Finder".
std::string AboutProductLine(TTextSource texts = LoadStr);
// "Version: " and the version text.
std::string AboutVersionLine(TTextSource texts = LoadStr);

// The warning when the model file cannot be read: "model_name.ini not
// found\n".
std::string ModelFileWarning();
