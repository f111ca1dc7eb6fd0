// Names the program shows for itself.
#pragma once

// Name of the running program (task bar, message box captions).
#define VELA_APP_TITLE "VELA FINDER"
// Caption of the main window.
#define VELA_MAIN_CAPTION "Vela Finder"
// Version text (VELA_VERSION_TEXT, set in CMakeLists.txt); also the last
// part of the settings' name.
#include "vela_version.h"
