// Table of the device models the finder recognises, with its built-in rows
// and the loader of the optional model file (model_name.ini).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int MODEL_ROWS = 100;          // rows of ModelTable
constexpr int MODEL_BUILTIN_ROWS = 44;   // rows 0..43 are built in
constexpr int MODEL_NAME_SIZE = 40;      // at most 39 characters and the NUL
constexpr const char *MODEL_FILE_NAME = "model_name.ini";

struct _MODELINFO {
  uint32_t apid;
  uint16_t hwid;
  uint32_t model_flag;
  uint32_t ports;
  char model_name[MODEL_NAME_SIZE];
  uint32_t k_upgtout;
  uint32_t f_upgtout;
};

// The global table.  A search thread may read it while the UI reloads the
// file, so read it through FindModel / ModelRow / ModelPorts / ModelText
// (which take the table's lock) rather than directly while a search runs.
extern _MODELINFO ModelTable[MODEL_ROWS];

// First row (0..99) with this apid and hwid, or -1.
int FindModel(uint32_t apid, uint16_t hwid);
// ports of the model's row, 0 when FindModel gives -1.
uint32_t ModelPorts(uint32_t apid, uint16_t hwid);
// A consistent copy of row i (0..99) of ModelTable.
_MODELINFO ModelRow(int i);

// Loads the model file at path over table[0..], one section per row in file
// order, at most MODEL_ROWS sections (further ones are ignored; names are
// cut to 39 characters).  0 when loaded; -1 when the file could not be
// parsed ("cannot parse file [path]" on stderr), leaving table unchanged.
// table must hold MODEL_ROWS rows.
int LoadModelFile(const char *path, _MODELINFO *table = ModelTable);
// The same without the message: on failure (-1) *reason says why once, as
// "No such file or directory", "Is a directory", "Permission denied" or
// "not in ini format"; for a file the user named.
int ReadModelFile(const char *path, _MODELINFO *table, std::string *reason);

// Where the programs look for the model file, in this order: model_name.ini
// in the current directory, $XDG_CONFIG_HOME/Vela/model_name.ini (else
// ~/.config/Vela/...), then the installed data folder
// (share/vela-finder/model_name.ini), found next to the executable and at
// the install prefix the build was configured with.
std::vector<std::string> ModelFilePlaces();
// The first of ModelFilePlaces() where anything of that name exists (a
// directory too: it then fails to load); MODEL_FILE_NAME when none does.
std::string FindModelFile();
// "Looked for in:" and the places, one a line, for the missing-file warning.
std::string ModelFilePlacesText();

// Restores the built-in rows and empties rows 44..99 (tests).
void ResetModelTable();
