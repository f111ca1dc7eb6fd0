// Names the program shows for itself.
#pragma once

// Name of the running program (task bar, message box captions).
#define VELA_APP_TITLE "VELA FINDER"
// Caption of the main window.
#define VELA_MAIN_CAPTION "Vela Finder"
// Version text; also the last part of the settings' name.
#define VELA_VERSION_TEXT "2.0"
