// The remembered state of Search Address: the target searched last
// (LastTarget), kept apart from the settings, which are only ever read.
// On Windows it is the value LastTarget of the settings key, SoftWare\Vela\2.0
// of HKEY_CURRENT_USER (settings_windows.cpp).
#pragma once

#include <string>

// The target searched last; empty when none is remembered.
std::string LoadLastTarget();
// Remembers text as the target searched last; false when it could not be
// stored.
bool SaveLastTarget(const std::string &text);
