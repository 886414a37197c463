#pragma once
// The game option record of the card table: game state, clock state, rule
// bits, deck size, title, animation switches and the animation table of
// speeds and pauses. Every program start begins from SetDefaultOptions; the
// record is never written to a file.
#include <array>
#include <cstdint>
#include <string>

namespace pellora {

// Game state word bits.
enum SolGameState : uint16_t {
  gsDealt = 1,         // dealt and in play
  gsBaseCleared = 2,   // "Dating" reached
  gsMarried = 4,
  gsGameOver = 8,
  gsRebuildBoard = 128,  // the board must be rebuilt before the next deal
};

// Clock states (owned by the table's ToggleClock).
enum SolClockState : uint8_t { csNeverStarted = 0, csNeverStarted1 = 1, csPaused = 2, csRunning = 3 };

// Rule bits of the attributes.
enum SolRule : uint32_t {
  rbCheckWeddings = 1,
  rbOpenSequential = 2,
  rbOpenAllAfterBase = 4,
  rbOpenUntilBasePair = 16,
  rbOpenAllOnDeal = 32,
  rbBaseWithOmenOnly = 64,
};

// Animation bits.
enum SolAnim : uint32_t {
  abDragDrop = 1,
  abDealPersons = 2,
  abDealOmens = 4,
  abClickToPair = 8,
  abDragDropFails = 32,
  abPairToRemovals = 64,
  abClearScreen = 128,
};

// Rows of the animation table (the settings grid rows).
enum SolAnimRow : int {
  arDealPersons = 1,
  arDealOmens = 2,
  arClickToPair = 3,
  arDragDropEnds = 4,
  arDragDropFails = 5,
  arPairToRemovals = 6,
  arClearScreen = 7,
};

inline constexpr int kAnimTableSize = 27;
inline constexpr int kAnimSpeedBase = 0;   // Speed of row r at r
inline constexpr int kAnimClickBase = 8;   // Click of row r at 8 + r
inline constexpr int kAnimDealPause = 16;  // pause after a deal before the first evaluation
inline constexpr int kAnimDragBase = 17;   // Drag of row r at 17 + r
inline constexpr int kAnimOmenPause = 25;  // pause after each omen is opened
inline constexpr int kAnimRowCount = 7;
inline constexpr int kGameTitleMax = 31;

// The only game type.
inline constexpr int kGameTypeTarot = 1;

// Parts of SetDefaultOptions.
enum SolDefaultParts : int { dpAll = 0, dpGame = 1, dpAnimation = 2 };

struct recSolOpt {
  uint16_t GameState = 0;
  uint8_t ClockState = 0;
  uint32_t Attrib = 0;  // only the low byte is used
  uint16_t CardCount = 0;
  std::string Title;  // up to kGameTitleMax characters
  uint32_t AnimBits = 0;
  // Speeds (rows 1..7) are signed: a negative speed is a total time in ms.
  // The other entries are unsigned pauses in ms.
  std::array<uint16_t, kAnimTableSize> AnimTable{};

  // Row 1..7; a row outside raises SolTblError.
  int16_t Speed(int row) const;
  uint16_t Click(int row) const;
  uint16_t Drag(int row) const;
  void SetSpeed(int row, int16_t speed);
  void SetClick(int row, uint16_t ms);
  void SetDrag(int row, uint16_t ms);
  // Entry i of the table; i outside 0..26 raises SolTblError.
  uint16_t Entry(int i) const;
  void SetEntry(int i, uint16_t value);
  // Cut to kGameTitleMax characters.
  void SetTitle(const std::string& title);
};

// The per-game slot counts that live in the main window's game record.
struct recSolCounts {
  int16_t Bride = 0;
  int16_t Groom = 0;
  int16_t Parents = 0;  // each of the four parent slots
  int16_t Omens = 0;    // number of omen slots, 1..19
};

// Fills the defaults: parts 0 everything, bit dpGame the rules, deck size,
// title and slot counts, bit dpAnimation the animation bits and table.
// Game types other than 1 fill nothing of the game part.
void SetDefaultOptions(int gameType, recSolOpt& options, recSolCounts& counts, int parts);

// 1..13 for card codes 1..52 (ace to king, any suit), 0 for any other code.
int16_t CardRank(int code);

}  // namespace pellora
