// What the programs remember between runs (the target searched last), kept
// apart from the settings: the settings file is the administrator's and is
// only read, while this state file is the program's own.  It lives at
// $XDG_STATE_HOME/Vela/state.conf (else ~/.local/state/Vela/state.conf),
// section [General], and is written whole or not at all.
#pragma once

#include <string>

// The key of the target searched last, in section [General].
constexpr const char *STATE_KEY_LAST_TARGET = "LastTarget";

// The user's state folder: $XDG_STATE_HOME when it is an absolute path,
// else ~/.local/state.
std::string StateHome();

// Path of the state file (the file need not exist).
std::string StateFilePath();

// The target searched last: LastTarget of the state file or, while that
// holds none, of the settings file (where earlier versions wrote it);
// empty when neither has one.
std::string LoadLastTarget();

// Remembers text as the target searched last: writes the state file whole
// (creating its folders).  False with the reason in *error.
bool SaveLastTarget(const std::string &text, std::string *error);
