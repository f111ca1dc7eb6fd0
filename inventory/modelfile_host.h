// What the model-file loader needs from the host: reading an INI file's
// sections and values (iniparser on Linux, the platform's own INI functions
// on Windows), telling an unchanged file, and the folders the file is
// looked for in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The keys of one model's section, in the order its row is filled.
constexpr int MODEL_INI_KEYS = 7;
extern const char *const MODEL_INI_KEY_NAMES[MODEL_INI_KEYS];

// One section of the file: its name and the values of the seven keys (a
// missing key reads as the empty text), as the reader returns them.
struct TModelIniSection {
  std::string name;
  std::string values[MODEL_INI_KEYS];
};

// Reads the file at path: its first max sections in file order.  False when
// the file cannot be read or parsed.
bool ReadModelIni(const char *path, int max, std::vector<TModelIniSection> *out);

// What a path names.
enum class TPathKind { Missing, Folder, File, Other };

// What identifies a file's contents without reading it (device, file,
// size, modification time): equal stamps, unchanged file.
struct TFileStamp {
  uint64_t id[4] = {};
  bool operator==(const TFileStamp &o) const {
    return id[0] == o.id[0] && id[1] == o.id[1] && id[2] == o.id[2] && id[3] == o.id[3];
  }
};

// The kind of path, and for a file its stamp.
TPathKind StatPath(const char *path, TFileStamp *stamp);

// Where model_name.ini is looked for after the current folder, in order:
// in the user's configuration folder, then where the program ships it.
std::vector<std::string> ModelFileOtherPlaces();
