#include "foundation/sysinit.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QString>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "foundation/colorramp.h"
#include "foundation/files.h"
#include "foundation/msgbox.h"
#include "platform/msgbox.h"
#include "platform/safesave.h"
#include "platform/text.h"

namespace foundation {

std::string UserName;
std::string ComputerName;
std::string BaseIniFile;
std::string BaseDir;
std::string VolsPath;
std::string VolsBase;
std::string AppDir;
std::string ProgramDir;
std::string AppName;
std::string AppIniFile;
StringList* AppIni = nullptr;

std::array<std::string, 256> EntityTable1;
std::array<std::string, 256> EntityTable2;

namespace {

// Set when the application ini exists but could not be read and nothing of it
// was read before: AppIni then does not hold the file's lines, and saving it
// would replace the user's settings and results with a fragment.
bool gAppIniUnread = false;
// Set once AppIni has held what the file held (or there was no file).
bool gAppIniEverRead = false;
// Set once the user was told that no private folder could be had.
bool gToldNoPrivateFolder = false;

constexpr const char* kBaseFileName = "Veltrano.Ini";
constexpr const char* kCaption = "Veltrano SysInit";

std::string& ExecutableOverride() {
  static std::string path;
  return path;
}

std::string FromLocal(const char* s) { return platform::fromQString(QString::fromLocal8Bit(s)); }

std::string WithSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir.push_back('/');
  return dir;
}

// $VAR/Veltrano/ or $HOME/<fallback>/Veltrano/, created on demand; empty when
// neither variable is set or the folder cannot be made. The folder must be
// the user's own and closed to others: a folder of that fixed name in a
// place others may write to may have been made by someone else, and files
// saved there could be read, replaced or redirected by them.
std::string XdgFolder(const char* var, const char* homeFallback) {
  std::filesystem::path base;
  const char* v = std::getenv(var);
  if (v != nullptr && *v == '/') {
    base = v;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') return std::string();
    base = std::filesystem::path(home) / homeFallback;
  }
  const std::filesystem::path dir = base / "Veltrano";
  std::error_code ec;
  std::filesystem::create_directories(base, ec);
  ::mkdir(dir.c_str(), 0700);
  struct stat link {};
  struct stat st {};
  if (::lstat(dir.c_str(), &link) != 0 || ::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::string();
  if (link.st_uid != ::geteuid() || st.st_uid != ::geteuid()) return std::string();
  // Ours, but opened to others by a loose umask: closed again.
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && ::chmod(dir.c_str(), st.st_mode & 0755) != 0) return std::string();
  return WithSlash(FromFsPath(dir));
}

// One lookup in the password database for the effective user.
int PasswdLookup(std::size_t bufferSize, std::string& name, bool& found) {
  std::vector<char> buffer(bufferSize);
  struct passwd pwd {};
  struct passwd* result = nullptr;
  const int rc = ::getpwuid_r(::geteuid(), &pwd, buffer.data(), buffer.size(), &result);
  found = rc == 0 && result != nullptr && result->pw_name != nullptr;
  if (found) name = FromLocal(result->pw_name);
  return rc;
}

std::string QueryComputerName() {
  char buf[256] = {};
  if (::gethostname(buf, sizeof buf - 1) != 0 || buf[0] == '\0') return ".";
  return FromLocal(buf);
}

std::string ExecutablePath() {
  if (!ExecutableOverride().empty()) return ExecutableOverride();
  std::error_code ec;
  const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::string();
  return FromFsPath(p);
}

std::string QuestionText(const std::string& windowsDir) {
  const std::string lines[] = {
      "Base file Veltrano.Ini was not found. Cannot go on without it.",
      "The file has paths for playlist, slideshow custom root, volume, etc. sub systems.",
      "It is intended to be in Windows direcory, the data is common to all Veltrano powered programs and games.",
      "- In application directory file is unique to the programs in the application's directory.",
      "- Also then,when you have another file in Windows Directory.",
      "",
      "Yes - Creates the file into Windows directory :",
      " " + windowsDir,
      "",
      "No  - Creates the file into application direcory :",
      "  " + AppDir,
      "",
      "Cancel terminates program.",
      "",
      "? You can add, synchronize and maintain multiple locations /  operating systems from the maintenance screen.",
      "? If you or Windows setup deletes the file, you'll get to answer this for recreational purposes.",
  };
  std::string t;
  for (const std::string& line : lines) {
    t += line;
    t += "\r\n";
  }
  return t;
}

// Finds the base file or has the user choose where an empty one is made.
// False when the user cancels.
bool EnsureBaseFile() {
  const std::string inAppDir = AppDir + kBaseFileName;
  if (!AppDir.empty() && FileExistsVar(Variant(inAppDir), 0)) {
    BaseDir = AppDir;
    BaseIniFile = inAppDir;
    return true;
  }
  // A base file shipped beside a program whose folder cannot be written is
  // the application folder's first copy; when no copy can be made, it is
  // used where it is (read, but never saved).
  const std::string beside = ProgramDir + kBaseFileName;
  if (!ProgramDir.empty() && ProgramDir != AppDir && FileExistsVar(Variant(beside), 0)) {
    std::string bytes;
    if (!AppDir.empty() && ReadWholeFile(beside, bytes) && platform::SaveFileAtomically(ToFsPath(inAppDir), bytes)) {
      BaseDir = AppDir;
      BaseIniFile = inAppDir;
    } else {
      BaseDir = ProgramDir;
      BaseIniFile = beside;
    }
    return true;
  }
  const std::string windowsDir = GetWindowsDir();
  if (!windowsDir.empty() && FileExistsVar(Variant(windowsDir + kBaseFileName), 0)) {
    BaseDir = windowsDir;
    BaseIniFile = windowsDir + kBaseFileName;
    return true;
  }
  for (;;) {
    const int answer = MsgBoxEx(Variant(QuestionText(windowsDir)), Variant(kCaption),
                                platform::MbYesNoCancel | platform::MbIconQuestion);
    if (answer == platform::IdCancel) return false;
    // Anything but Yes counts as No.
    const std::string dir = answer == platform::IdYes ? windowsDir : AppDir;
    const std::string file = dir + kBaseFileName;
    if (!dir.empty() && platform::SaveFileAtomically(ToFsPath(file), std::string_view())) {
      BaseDir = dir;
      BaseIniFile = file;
      return true;
    }
    MsgBoxEx(Variant("Cannot create the base file " + file + "."), Variant(kCaption), platform::MbIconError);
  }
}

}  // namespace

std::string QueryUserName(const UserNameLookup& lookup) {
  // Doubling from 1 KiB, a name that needs more than 1 MiB is no name.
  constexpr std::size_t kMaxBuffer = std::size_t{1} << 20;
  for (std::size_t size = 1024;; size *= 2) {
    std::string name;
    bool found = false;
    const int rc = lookup(size, name, found);
    if (rc == 0) {
      if (found && !name.empty()) return name;
      // No entry for this user (a container's bare uid): the login's name.
      const char* user = std::getenv("USER");
      return user != nullptr ? FromLocal(user) : std::string();
    }
    // Only a buffer that is too small is worth another try.
    if (rc != ERANGE || size >= kMaxBuffer) return std::string();
  }
}

void SplitExecutablePath(const std::string& exePath, std::string& dir, std::string& name) {
  const size_t slash = exePath.find_last_of('/');
  dir = slash == std::string::npos ? std::string() : exePath.substr(0, slash + 1);
  const std::string file = slash == std::string::npos ? exePath : exePath.substr(slash + 1);
  // A dot at the very start of a name (a hidden file) starts no extension.
  const size_t dot = file.find_last_of('.');
  name = (dot == std::string::npos || dot == 0) ? file : file.substr(0, dot);
}

std::string StartingContentFile(const std::string& path) {
  if (path.empty() || FileExistsVar(Variant(path), 1)) return path;
  if (ProgramDir.empty() || AppDir.empty() || ProgramDir == AppDir) return path;
  if (path.compare(0, AppDir.size(), AppDir) != 0) return path;
  const std::string name = path.substr(AppDir.size());
  if (name.empty() || name.find('/') != std::string::npos) return path;
  const std::string beside = ProgramDir + name;
  return FileExistsVar(Variant(beside), 1) ? beside : path;
}

std::string GetWindowsDir() { return XdgFolder("XDG_CONFIG_HOME", ".config"); }

bool InitSysPaths() {
  UserName = QueryUserName(PasswdLookup);
  ComputerName = QueryComputerName();

  SplitExecutablePath(ExecutablePath(), ProgramDir, AppName);
  AppDir = ProgramDir;
  // A program folder we cannot write to (installed read-only) keeps its ini
  // and base file in the user's data folder instead. Without a private data
  // folder nothing can be saved safely: the program folder's files are read
  // and the user is told, once, that settings are not kept.
  if (AppDir.empty() || !platform::MayWritePath(ToFsPath(AppDir))) {
    const std::string data = XdgFolder("XDG_DATA_HOME", ".local/share");
    if (!data.empty()) {
      AppDir = data;
    } else if (!gToldNoPrivateFolder) {
      gToldNoPrivateFolder = true;
      MsgBoxEx(Variant("The program's folder cannot be written, and no folder of your own could be made for "
                       "the settings (set HOME, or XDG_DATA_HOME, to a folder of your own).\r\n"
                       "Settings and results of this session will not be saved."),
               Variant(kCaption), platform::MbIconWarning);
    }
  }
  AppIniFile = AppDir + AppName + ".Ini";
  if (QCoreApplication::instance() != nullptr && !QCoreApplication::applicationName().isEmpty() &&
      !AppName.empty())
    QCoreApplication::setApplicationName(platform::toQString(AppName));

  const bool ok = EnsureBaseFile();
  // Saves killed in the middle (a crash, a power cut) leave their temporary
  // files beside the ini and base file; nothing else cleans them.
  if (!AppDir.empty()) platform::RemoveStaleSaveFiles(ToFsPath(AppDir));
  if (!BaseDir.empty() && BaseDir != AppDir) platform::RemoveStaleSaveFiles(ToFsPath(BaseDir));
  BuildEntityTables();
  return ok;
}

bool InitSystem() {
  if (!InitSysPaths()) return false;
  BuildColourRamp();
  try {
    LoadAppIni();
  } catch (const IniFileError& e) {
    MsgBox(Variant(std::string(e.what())));
  }
  return true;
}

void LoadAppIni() {
  if (AppIni == nullptr) AppIni = new StringList();
  if (AppIniFile.empty() && !InitSysPaths()) {
    AppIni->Clear();
    return;
  }
  // Read into a fresh list first: a read error leaves the lines held so far
  // in place instead of an empty list that a later save would write out.
  StringList fresh;
  // Until the application folder has its own copy, an ini shipped beside
  // the program (a folder that cannot be written) is the starting content;
  // the first save writes the application folder's copy.
  std::string source = AppIniFile;
  const std::string beside = ProgramDir + AppName + ".Ini";
  if (!FileExistsVar(Variant(AppIniFile), 1) && !ProgramDir.empty() && ProgramDir != AppDir) source = beside;
  if (FileExistsVar(Variant(source), 1)) {
    try {
      fresh.LoadFromFile(source);
    } catch (const IniFileError&) {
      gAppIniUnread = !gAppIniEverRead;
      throw;
    }
  }
  *AppIni = std::move(fresh);
  gAppIniEverRead = true;
  gAppIniUnread = false;
}

void SaveAppIni() {
  try {
    if (AppIni != nullptr && !AppIniFile.empty() && !gAppIniUnread) AppIni->SaveToFile(AppIniFile);
  } catch (...) {
    // Saving the settings must never disturb the program.
  }
}

void BuildEntityTables() {
  static const char* const kLatin1[96] = {
      "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",
      "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",
      "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12",
      "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
      "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde",
      "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",
      "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",
      "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
      "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
      "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};
  for (int c = 0; c < 256; ++c) EntityTable1[static_cast<size_t>(c)] = std::string(1, static_cast<char>(c));
  EntityTable1[34] = "&quot;";
  EntityTable1[38] = "&amp;";
  EntityTable1[60] = "&lt;";
  EntityTable1[62] = "&gt;";
  EntityTable1[128] = "&euro;";
  for (int c = 160; c < 256; ++c)
    EntityTable1[static_cast<size_t>(c)] = std::string("&") + kLatin1[c - 160] + ";";

  EntityTable2 = EntityTable1;
  static const struct {
    int code;
    const char* text;
  } kTable2[] = {{0, "&NIL"},      {9, "&TAB;"},    {10, "&LF;"},     {13, "&CR;"},     {32, "&sp;"},
                 {33, "&excl;"},   {35, "&nbr;"},   {36, "&usd;"},    {37, "&prc;"},    {39, "&apos;"},
                 {40, "&lpar;"},   {41, "&rpar;"},  {42, "&ast;"},    {43, "&plus;"},   {44, "&com;"},
                 {45, "&hyp;"},    {46, "&dot;"},   {47, "&sla;"},    {58, "&col;"},    {59, "&scol;"},
                 {61, "&eq;"},     {63, "&quest;"}, {64, "&at;"},     {91, "&lsqbra;"}, {92, "&bslash;"},
                 {93, "&rsqbra;"}, {94, "&caret;"}, {95, "&hobar;"},  {96, "&acute;"},  {123, "&lcubra;"},
                 {124, "&vebar;"}, {125, "&rcubra;"}, {126, "&tilde;"}};
  for (const auto& e : kTable2) EntityTable2[static_cast<size_t>(e.code)] = e.text;
}

void ResetSysGlobals() {
  UserName.clear();
  ComputerName.clear();
  BaseIniFile.clear();
  BaseDir.clear();
  VolsPath.clear();
  VolsBase.clear();
  AppDir.clear();
  ProgramDir.clear();
  AppName.clear();
  AppIniFile.clear();
  if (AppIni != nullptr) AppIni->Clear();
  gAppIniUnread = false;
  gAppIniEverRead = false;
  gToldNoPrivateFolder = false;
}

void SetAppLocation(const std::string& appDir, const std::string& appName) {
  AppDir = WithSlash(appDir);
  ProgramDir = AppDir;
  AppName = appName;
  AppIniFile = AppDir + AppName + ".Ini";
  gAppIniUnread = false;
  gAppIniEverRead = false;
}

void SetExecutablePathOverride(const std::string& path) { ExecutableOverride() = path; }

}  // namespace foundation
