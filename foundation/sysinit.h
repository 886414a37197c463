#pragma once
// Start-up of both programs: who runs the program and where it lives, the
// path of its own ini file, the shared base file "Veltrano.Ini", and the
// process-wide application ini with its load and save.
#include <array>
#include <cstddef>
#include <functional>
#include <string>

#include "foundation/ini.h"

namespace foundation {

// Process-wide globals (Windows-1252 text; all empty until the bootstrap runs).
// Directories end with "/".
extern std::string UserName;
extern std::string ComputerName;
extern std::string BaseIniFile;
extern std::string BaseDir;
extern std::string VolsPath;  // filled by the card game's volumes configuration
extern std::string VolsBase;  // likewise
// The folder of the program's ini and data files: the executable's folder,
// or the user's data folder when that cannot be written.
extern std::string AppDir;
// The executable's folder: files shipped with the program, and the starting
// content of the ini and base file while AppDir (elsewhere) has none.
extern std::string ProgramDir;
extern std::string AppName;
extern std::string AppIniFile;
// Lines of the application ini; created by the first LoadAppIni and kept to
// the end of the process.
extern StringList* AppIni;

// Character-entity tables, indexed by character code.
extern std::array<std::string, 256> EntityTable1;
extern std::array<std::string, 256> EntityTable2;

// The bootstrap. Returns false only when the user answered Cancel to the
// base-file question (the program must then end before any window exists).
bool InitSysPaths();

// What a program's main calls first: the bootstrap, then the application
// ini. False when the user cancelled; the program should then return at once.
bool InitSystem();

// Reloads AppIni from AppIniFile (running the bootstrap when AppIniFile is
// still empty). Unsaved changes in AppIni are discarded. A read error of an
// existing file propagates as IniFileError and leaves AppIni as it was.
void LoadAppIni();
// Writes AppIni to AppIniFile through a temporary file; silent on failure,
// and a failed save leaves the old file whole. While the existing file could
// not be read at all, nothing is written, so it is never replaced by a
// fragment.
void SaveAppIni();

// The file to read for a data file of AppDir: the file itself when it exists
// and is not empty; else, while AppDir is not the program folder (a folder
// that cannot be written), the file of the same name beside the program when
// that one holds something, as its starting content. Saves go to path.
std::string StartingContentFile(const std::string& path);

// The folder that stands for "the Windows directory":
// $XDG_CONFIG_HOME/Veltrano/ (default ~/.config/Veltrano/), created on demand.
// Empty when it cannot be determined.
std::string GetWindowsDir();

void BuildEntityTables();

// For tests and tools: clears every global (AppIni is emptied, not freed).
void ResetSysGlobals();
// For tests: sets AppDir and ProgramDir (a "/" is added when missing), AppName and AppIniFile
// = AppDir + AppName + ".Ini", without running the bootstrap.
void SetAppLocation(const std::string& appDir, const std::string& appName);
// For tests: the executable path the bootstrap derives its paths from
// (empty = the real one from /proc/self/exe).
void SetExecutablePathOverride(const std::string& path);

// One lookup of the user's name with a buffer of bufferSize bytes, in the
// manner of getpwuid_r: 0 on success (found: there is an entry, whose name is
// in name), ERANGE when the buffer is too small, another error number when
// the lookup failed.
using UserNameLookup = std::function<int(std::size_t bufferSize, std::string& name, bool& found)>;
// The user name: the lookup is retried with a larger buffer while only the
// buffer is too small; any other failure gives an empty name. With no entry
// for the user the name is $USER.
std::string QueryUserName(const UserNameLookup& lookup);

// Splits an executable path into directory (with "/") and name without
// extension; a name without extension is its whole name.
void SplitExecutablePath(const std::string& exePath, std::string& dir, std::string& name);

}  // namespace foundation
