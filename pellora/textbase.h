#pragma once
// The text base: the people and omens of the card game with their
// descriptions, kept in an ini-style text file (default "Sol040tb.Ini").
//
// File format (Windows-1252 lines, read with the foundation's ini routines,
// section names without regard to ASCII case):
//   lines before the first header  optional keys "bride", "groom", "brdMo",
//                                  "grmMo", "brdPa", "grmPa": slot 0 to 5
//   [Groups]   group titles, one person line each (kind 13)
//   [Brides] [Grooms] [brdMos] [grmMos] [brdPas] [grmPas]
//              free person lines (kinds 0 to 5)
//   [Defs]     "Bride", "Groom", "brdMo", "grmMo", "brdPa", "grmPa": the
//              default entries of the six person slots (kind 12)
//   [Omens]    "Omen6" to "Omen24": the omen themes (kind 6)
// Missing sections and keys are completed in memory from the built-in lines
// (DefaultTbLine); the file itself is never written here.
//
// Person line: an id, then pieces each introduced by a separator:
//   "=" display text   "!" tip   ":" person group   "\xA1" long text
//   "{" brace text up to "}"     "<" angle text up to ">"
// Pieces are trimmed of blanks (codes up to 32); ids and groups are cut to
// their field lengths. Only the first ":" of a line separates: a later one is
// part of the piece it stands in. An unclosed "{" or "<" runs to the end of
// the line, and the text after a closing "}" or ">" up to the next separator
// is dropped. Slot definitions use "=" (id), "!", ":" (slot group), "\xA1" and
// "{" (dropped up to "}").
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {
class StringList;
}

namespace pellora {

// What an entry describes. Slot definitions use their slot number 0 to 5.
enum TbKind : int16_t {
  tbkBride = 0,
  tbkGroom = 1,
  tbkBrideMother = 2,
  tbkGroomMother = 3,
  tbkBrideFather = 4,
  tbkGroomFather = 5,
  tbkOmen = 6,
  tbkDefault = 12,
  tbkGroup = 13,
};

// Field lengths of the short strings of an entry.
inline constexpr size_t kTbIdLength = 15;
inline constexpr size_t kTbSlotGroupLength = 7;
inline constexpr size_t kTbPersonGroupLength = 15;
inline constexpr size_t kTbParentIdLength = 15;

// The text cut to a field's length (ids, groups and parent ids are short
// strings of a fixed length); the loader and the editor cut alike.
std::string TbCut(std::string s, size_t length);

// The character that introduces a long text (an inverted exclamation sign).
inline constexpr char kTbLongTextMark = '\xA1';

// One parsed line of the text base.
struct recEngTDB {
  uint8_t flag = 0;           // cleared for every slot definition at each load
  int16_t kind = 0;           // TbKind, or the slot number
  int16_t groupNumber = 0;    // set by the text-base editor; 0 after loading
  std::string slotGroup;      // slot definitions: after ":" (up to 7)
  std::string personGroup;    // persons: after ":" (up to 15)
  std::string motherId;       // edited in the text-base editor (up to 15)
  std::string fatherId;       // likewise
  std::string id;             // before the first separator (up to 15)
  std::string displayText;    // after "=" (persons)
  std::string tip;            // after "!"
  std::string longText;       // after "\xA1"
  std::string angleText;      // between "<" and ">" (persons)
  std::string braceText;      // between "{" and "}" (persons)
};

// The built-in line of that number (Windows-1252 bytes): 0 to 5 the person
// slots in slot order (bride, groom, bride's mother, groom's mother, bride's
// father, groom's father), 6 to 24 the omens, 50 to 58 and 60 to 64 the group
// titles; every other number gives an empty line.
std::string DefaultTbLine(int number);

// Slot numbers of the six persons, in slot order; the keys that name their
// default entries before the first header and in [Defs].
inline constexpr int kTbPersonSlots = 6;
inline constexpr int kTbSlotDefs = 25;  // slot definitions 0 to 24

// Capacity of the bride and groom popup menus. Their items carry the
// commands kTbBrideCommand + k and kTbGroomCommand + k, k below the capacity,
// so the two ranges never meet.
inline constexpr int kTbMenuCapacity = 100;
inline constexpr int kTbBrideCommand = 200;
inline constexpr int kTbGroomCommand = 300;
// Person entries are numbered with 16-bit indices; lines beyond are left out.
inline constexpr int kTbMaxPersons = 32767;

// Which combo box a popup-menu command fills.
enum class TbMenuTarget { None, Bride, Groom };

class TextBase {
 public:
  // Parses line into slot definition `index` (negative: appended) of kind
  // `kind`. An empty line stands for DefaultTbLine(index), or one blank when
  // that is empty too. Returns the index used, -1 when the index lies beyond
  // the 16-bit range (reported as a faulty line).
  int ParseSlotDef(int kind, std::string_view line, int index);
  // Parses line into person entry `index` (negative: appended). An empty line
  // gives nothing (result 0). Returns the index used, -1 when the index lies
  // beyond the 16-bit range (reported as a faulty line).
  int ParsePerson(int kind, std::string_view line, int index);
  // Index of the first person entry with that group number and that id
  // (Latin-1 letters without regard to case), -1 when none.
  int FindPerson(int groupNumber, std::string_view id) const;

  // Loads the text base of that file, completes it from the built-in lines,
  // parses its slot definitions and persons and fills the menu lists. A
  // missing file gives the built-in slot definitions 0 to 24 and no persons.
  // A file that cannot be read is reported ("TxLoad error") and gives no
  // persons. When brides or grooms do not fit their menus, or persons do not
  // fit the 16-bit numbering, a message says so once.
  void LoadTextbase(const std::string& fileName);
  // The same from lines already in memory (they are completed in place).
  void LoadTextbaseLines(foundation::StringList& lines, const std::string& fileName);

  const std::vector<recEngTDB>& SlotDefs() const { return slotDefs_; }
  std::vector<recEngTDB>& SlotDefs() { return slotDefs_; }
  // Persons in load order; the text-base editor edits them in place.
  const std::vector<recEngTDB>& Persons() const { return persons_; }
  std::vector<recEngTDB>& Persons() { return persons_; }

  // The captions of the bride and groom popup menus, item k carrying command
  // kTbBrideCommand + k (kTbGroomCommand + k): the last bride of the file
  // first. At most kTbMenuCapacity each.
  const std::vector<std::string>& BrideNames() const { return brideNames_; }
  const std::vector<std::string>& GroomNames() const { return groomNames_; }
  // The combo box and name a menu command sets; None for any other command
  // or an item that does not exist.
  TbMenuTarget MenuCommand(int command, std::string& name) const;

  // The file name of the last load (also when the file was missing).
  const std::string& FileName() const { return fileName_; }

 private:
  enum class Parser { SlotDef, Person };
  int Parse(Parser parser, int kind, std::string_view line, int index);
  void FillMenus(int personsLeftOut);

  std::vector<recEngTDB> slotDefs_;
  std::vector<recEngTDB> persons_;
  std::vector<std::string> brideNames_;
  std::vector<std::string> groomNames_;
  std::string fileName_;
};

}  // namespace pellora
