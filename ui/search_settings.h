// The two search settings as the desktop program reads them: with QSettings
// in its native format, organisation "Vela", application "2.0" (the key
// SoftWare\Vela\2.0 of the current user on Windows, ~/.config/Vela/2.0.conf
// on Linux), values SerCnt and SerTim, and Interfaces.
#pragma once

#include "settings.h"

// Reads SerCnt and SerTim without creating or writing anything.  A value that
// is missing or not a 32-bit integer keeps its default (5, 1000); every other
// value, 0 and negative ones included, is passed on unchanged.  Interfaces
// ("eth0,wlan0", which QSettings reads as a list) comes back as one text with
// the names joined by commas; empty when missing.
TSearchSettings ReadSearchSettings();
