#pragma once
// The maker's shared configuration of disk volumes and file-system places:
// read once at the card game's start from the base file's "Vols" section and
// the volumes file, carried through the run, and written back at its end.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pellora-lib/hdstrings.h"
#include "platform/bitmap.h"

namespace pellora {

struct recVsSys {
  std::string winDif;             // "WinDif"
  std::string systemPath;         // "SystemPath"
  std::string reserved1;          // not set by this program
  std::string extensions;         // "Extensions"
  std::string programs;           // "Programs"
  std::string icons16;            // "Icons16"
  std::string icons32;            // "Icons32"
  std::string dataExt;            // ".Tvd"
  std::string textExt;            // ".Tvt"
  std::string hdBase;             // "HdBase"
  std::string pcBase;             // "PcBase"
  std::string sdBase;             // "SdBase"
  std::string cdBase;             // "CdBase"
  std::string osBase;             // "OsBase"
  std::string floppy;             // "Floppy"
  std::string backUp;             // "BackUp"
  std::string excludeFromTotals;  // "ExcludeFromTotals"
  int32_t daysToGo = 0;           // "DaysToGo.Days"
  int32_t hoursToGo = 0;          // "DaysToGo.Hours" (kept whole, never cut to a byte)
  int32_t minutesToGo = 10;       // "DaysToGo.Minutes"
  std::string reserved2;          // not set by this program
};

// A set of same-sized pictures (nothing in the card game fills it).
struct TIconList {
  int width = 0;
  int height = 0;
  bool masked = false;
  std::vector<platform::Bitmap> images;
};

// The volumes object: two file-backed string lists and picture holders that
// the maker's catalogue programs fill; the card game only keeps it alive.
class TW32Ext {
 public:
  TW32Ext();
  ~TW32Ext();
  TW32Ext(const TW32Ext&) = delete;
  TW32Ext& operator=(const TW32Ext&) = delete;

  std::string name1;
  THdStrings list1;
  std::string name2;
  THdStrings list2;
  uint32_t word1 = 0;
  platform::Bitmap bitmaps[4];
  TIconList icons16;
  TIconList icons32;
  uint32_t word2 = 0;
  std::string text1;
  std::string text2;
  int32_t number1 = -1;
  int32_t number2 = -1;
};

// The process-wide record and object.
extern recVsSys VolsConfig;
extern std::unique_ptr<TW32Ext> VolsExt;

// True when a stored place can be used as a folder here: an absolute path
// without backslashes. Drive-letter places of files written by earlier
// versions are kept as text only.
bool IsUsablePlace(const std::string& path);
// VolsPath + VolsBase, or empty when VolsPath is not a usable place.
std::string VolumesFile();

// Fills VolsPath, VolsBase and the record from the files (defaults for
// whatever is missing or malformed) and creates the volumes object.
void LoadVolsConfig(recVsSys& config);
// Writes the record to the volumes file and VsPath / VsBase to the base
// file. Never throws; false when a file could not be written.
bool SaveVolsConfig(const recVsSys& config);

// At the program's start and end (counted: only the first start loads and
// only the last end saves and frees the volumes object).
void InitVolsConfig();
void FinishVolsConfig();

}  // namespace pellora
