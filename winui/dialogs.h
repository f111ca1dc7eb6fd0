// The small dialogs of the Windows program: the about box and Function >
// Search Address.
#pragma once

#include <windows.h>

#include <string>

#include "search_target.h"

// Shows the about box modally: "Product Name: Vela Finder" and "Version:
// 2.0", filled each time it is shown and emptied when it closes.  OK, Enter
// and the close box close it; Escape does not.
void ShowAboutBox(HWND owner);

// Asks for one device's address or a routed subnet's prefix, starting with
// the target searched last.  True with *target set when the user chose
// Search with a target that can be searched from this host
// (ParseSearchTarget, CheckSearchTarget), and *notice what the search
// should say about it (empty for nothing); a text that cannot be searched
// gets its reason shown under the box, and the dialog stays.
bool AskSearchTarget(HWND owner, TSearchTarget *target, std::string *notice);
