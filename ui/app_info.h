// Names the program shows for itself.
#pragma once

// VELA_APP_TITLE (task bar, message box captions) and VELA_MAIN_CAPTION,
// shared with the Windows program.
#include "window_texts.h"
// Version text (VELA_VERSION_TEXT, set in CMakeLists.txt); also the last
// part of the settings' name.
#include "vela_version.h"
