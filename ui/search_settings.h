// The two search settings as the desktop program reads them: with QSettings
// in its native format, organisation "Vela", application "2.0" (the key
// SoftWare\Vela\2.0 of the current user on Windows, ~/.config/Vela/2.0.conf
// on Linux), values SerCnt and SerTim, and Interfaces.
#pragma once

#include <string>

#include "settings.h"

// Reads SerCnt and SerTim without creating or writing anything.  A value that
// is missing or not a 32-bit integer keeps its default (5, 1000); every other
// value, 0 and negative ones included, is passed on unchanged.  Interfaces
// ("eth0,wlan0", which QSettings reads as a list) comes back as one text with
// the names joined by commas; empty when missing.
TSearchSettings ReadSearchSettings();

// Makes the Interfaces setting take effect for the next ds_init (call it
// before ds_init): only the named interfaces' addresses search.  Empty when
// the setting is missing or every name is usable; else the message for the
// user (ChooseInterfaces of interfaces.h: an unknown interface, one that is
// down or has no IPv4 address), and every interface that is up searches.
std::string ApplyInterfaceSetting();
