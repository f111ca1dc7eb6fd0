// Records the calls that decide whether a file written whole survives a
// power cut: fsync (and fdatasync) with the path of the file flushed, and
// rename with both paths, in the order made.  This test program's fsync,
// fdatasync and rename stand in for the C library's and pass every call on;
// they record only between StartFileCalls and StopFileCalls.
#pragma once

#include <string>
#include <vector>

namespace velatest {

void StartFileCalls();
// The calls since StartFileCalls: "fsync <path>" or "rename <from> <to>",
// each path with its folder's symbolic links resolved.
std::vector<std::string> StopFileCalls();

}  // namespace velatest
