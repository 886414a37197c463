#pragma once
// Statistics of the card game per rule configuration: one 390-byte record per
// configuration (deck size, rule bits, slot counts), with game counters and
// running means of the cards left and the omens opened, overall and per slot.
//
// Record layout (little-endian, fields back to back; the file "Sol040.Rnd" is
// a plain sequence of records and nothing else):
//     0  int32        married games
//     4  int32        dated games (base cleared)
//     8  int32        games that ended without dating
//    12  int32        unmarried games (rule "Check weddings" and not married)
//    16  int32        games recorded
//    20  3 x float32  mean cards left on open slots: at dating, at the end
//                     without dating, at the unmarried end
//    32  3 x float32  mean omen slots no longer closed, the same moments
//    44  26 x float32 per slot: mean top index at dating
//   148  26 x float32 per slot: the same at the end without dating
//   252  26 x float32 per slot: the same at the unmarried end
//   356  26 x uint8   per slot: card count when the record was created
//   382  8 x uint8    key: card count, rule bits (low byte), bride cards,
//                     groom cards, cards of each parent, omen slots, 0, 0
// Two records belong to the same configuration when their keys are equal.
//
// The running game's figures are taken in three phases (RecordResult): 0 at
// each deal before the deck is built, 1 when the base is cleared, 2 at game
// over, which files the game in the record of the key taken at phase 0.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pellora {

inline constexpr size_t kStatRecordSize = 390;
inline constexpr int kStatSlots = 26;  // slots 0 to 25
inline constexpr const char* kStatsFileName = "Sol040.Rnd";
// A statistics file of more records than this is not read (nor overwritten).
inline constexpr size_t kMaxStatRecords = 65536;

// The moments figures are taken at, in the order of the record's fields.
enum StatMoment : int { smDating = 0, smNoDating = 1, smUnmarried = 2, smCount = 3 };

// The phases of RecordResult.
enum StatPhase : int { spDeal = 0, spBaseCleared = 1, spGameOver = 2 };

// Wedding state of the running game.
enum StatWedding : uint8_t { swPending = 0, swMarried = 1, swNotInRules = 2 };

using StatKey = std::array<uint8_t, 8>;

struct StatRecord {
  int32_t married = 0;
  int32_t dated = 0;
  int32_t notDated = 0;
  int32_t unmarried = 0;
  int32_t games = 0;
  std::array<float, smCount> cardsLeft{};  // offsets 20, 24, 28
  std::array<float, smCount> omensOpen{};  // offsets 32, 36, 40
  std::array<std::array<float, kStatSlots>, smCount> tops{};  // offsets 44, 148, 252
  std::array<uint8_t, kStatSlots> slotCards{};  // offset 356
  StatKey key{};  // offset 382
};

// The record as its 390 file bytes, and back (bytes must hold at least 390;
// only the first 390 are read).
std::string PackStatRecord(const StatRecord& record);
StatRecord UnpackStatRecord(std::string_view bytes);
// Makes the figures of a record read from a damaged file sane: negative
// counters become 0, means that are no number or lie outside 0..255 (every
// figure they average is a byte) become 0 or are clamped.
void SanitizeStatRecord(StatRecord& record);

// The values the key is built from. Each must lie in 0..255 (the rule bits
// give their low byte).
struct StatKeyValues {
  int64_t cardCount = 0;
  uint32_t ruleBits = 0;
  int64_t brideCards = 0;
  int64_t groomCards = 0;
  int64_t parentCards = 0;
  int64_t omenSlots = 0;
};
// False (key untouched) when a value does not fit its byte.
bool BuildStatKey(const StatKeyValues& values, StatKey& key);

// One slot of the table as the statistics see it: its card count and the
// list position of the card on view (0 empty, 1 to count open, above count a
// closed omen).
struct StatSlot {
  int32_t count = 0;
  int32_t top = 0;
};

// What RecordResult reads from the table, the option record and the game
// record.
struct StatTable {
  uint16_t gameState = 0;   // bit 1 dealt, bit 4 married
  StatKeyValues key;        // read at phase 0 only
  int32_t maxSlot = -1;     // highest person or omen slot
  std::span<const StatSlot> perSlot;  // index = slot number; missing slots count as empty
};

// The running game's figures (not part of the undo snapshots).
struct StatFigures {
  uint8_t dated = 0;
  uint8_t wedding = swNotInRules;
  std::array<uint8_t, smCount> cardsLeft{};
  std::array<uint8_t, smCount> omensOpen{};
  std::array<std::array<uint8_t, kStatSlots>, smCount> tops{};
  std::array<uint8_t, kStatSlots> slotCards{};
  StatKey key{};
};

class Statistics {
 public:
  static constexpr uint16_t kStateDealt = 1;
  static constexpr uint16_t kStateMarried = 4;
  static constexpr uint32_t kRuleCheckWeddings = 1;

  // Takes the figures of one phase (StatPhase). Phase 0 starts a game: the
  // key is fixed from table.key, the figures reset, per-slot counts above
  // maxSlot zeroed. Phases 1 and 2 act only for a game dealt (game state bit
  // 1) after a phase 0 whose key was valid, and phase 2 only once per deal.
  // Returns true when the phase was taken.
  bool RecordResult(int phase, const StatTable& table);

  // Command 62: reads the statistics file. A missing or empty file gives no
  // records. A file that cannot be read, or holds more than kMaxStatRecords,
  // is reported, leaves the records as they were and is never overwritten by
  // SaveFile (a save to another file still works). A partial last record is ignored.
  bool LoadFile(const std::string& path);
  // Command 63: with at least one record, writes them all through a
  // temporary file renamed over the old one. A failure is reported (message
  // box naming the file and the system's reason) and returns false; it never throws. With no records nothing is
  // written, and a file that LoadFile could not read is left as it is.
  bool SaveFile(const std::string& path) const;

  // The records of whole 390-byte blocks of bytes (a partial last block is
  // ignored), each made sane; false (records untouched) beyond the limit.
  bool LoadBytes(std::string_view bytes);
  std::string SaveBytes() const;

  const std::vector<StatRecord>& Records() const { return records_; }
  std::vector<StatRecord>& Records() { return records_; }
  const StatFigures& Figures() const { return figures_; }
  // True between a phase 0 with a valid key and the game over that files it.
  bool Recording() const { return recording_; }

 private:
  void TakeSlots(int moment, const StatTable& table);
  void StoreCounts(const StatTable& table);

  std::vector<StatRecord> records_;
  StatFigures figures_;
  uint8_t omenCount_ = 0;
  bool recording_ = false;
  std::string unreadablePath_;  // the file LoadFile last failed to read
};

// The statistics file in the program folder: AppDir + "Sol040.Rnd". Saves
// go there.
std::string StatsFilePath();
// The file the statistics are read from: the program folder's (or, while
// that folder cannot be written, the one shipped beside the program); when
// there is none, one that earlier versions left in the current directory.
std::string StatsFileToRead();

}  // namespace pellora
