#pragma once
// Statistics per game variant in the application ini: the section "AV" + key
// holds the game counters and running averages, the section "WS" + key the
// ranked result lines, best first. The key comes from TGravlo::VariantKey and
// a result line from TGravlo::ResultLine. These functions only edit the lines
// they are given; loading and saving the ini is the caller's business.
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/ini.h"

namespace gravlo {

class TGravlo;

// The values of one finished game that the running averages follow.
struct GameSummary {
  int32_t Lines = 0;
  int32_t TimeUsed = 0;
  int32_t Interval = 0;
  int32_t Drops = 0;
  int32_t Bonuses = 0;
  int32_t BonusesUsed = 0;
  int32_t TimerResets = 0;
  int32_t LinesRemoved = 0;
  int32_t LinesAdded = 0;
};
GameSummary SummaryOf(const TGravlo& engine);

// Ranking order of result lines: bytes compared one by one with ASCII letters
// folded, never by the process locale. <0, 0 or >0.
int CompareResultLines(std::string_view a, std::string_view b);

// "GamesStarted" of the section + 1.
void CountGameStarted(foundation::StringList& ini, const std::string& avSection);

// "GamesFinished" n becomes n + 1 and each average (old * n + value) / (n + 1);
// missing or unreadable values count as 0.
void UpdateAverages(foundation::StringList& ini, const std::string& avSection, const GameSummary& game);

// Adds the line to the result lines of the section, ranks them, and writes the
// section anew at the end of the ini text, best first, keeping the best
// statEntries + 1 lines (at least one).
void AddResultLine(foundation::StringList& ini, const std::string& wsSection, const std::string& line,
                   int32_t statEntries);

// The two sections a game is filed under: "AV" + key and "WS" + key of the
// variant it started with.
struct VariantSections {
  std::string av;
  std::string ws;
};
VariantSections VariantSectionsOf(const TGravlo& engine);

// The whole game-over update: the averages in sections.av, the result line of
// `player` in sections.ws.
void RecordGameOver(foundation::StringList& ini, const TGravlo& engine, const VariantSections& sections,
                    const std::string& player, int32_t statEntries);

}  // namespace gravlo
