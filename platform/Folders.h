#pragma once
// The program folder and the per-user application-data folder.

#include <string>

namespace platform {

// The folder of the executable; TONRIG_PROGRAM_DIR overrides it.
std::string ProgramFolder();

} // namespace platform

// True when the path names an existing file or folder; with wild cards (* ?) in its last
// component, true when anything matches.
bool FileExists(const std::string& path);

// "$APPDATA/Ostrand/Zelvo USB Programmer" when APPDATA is set, else the same below
// $XDG_DATA_HOME (default ~/.local/share); created with its parents when missing, no trailing
// separator. A failure to create is not reported: later file operations in it fail on their own.
std::string GetAppDataFolder();

// The path of the file `name` in `dir`: an exact match first, then one whose name differs only in
// case (the first in name order); empty when there is neither.
std::string ResolveFileCaseInsensitive(const std::string& dir, const std::string& name);
