// Variant key, result line, and the two statistics sections of a variant.
#include "gravlo/variantstats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "foundation/duration.h"
#include "gravlo/gravlo.h"
#include "gravlo/gravlo_internal.h"
#include "platform/text.h"

namespace gravlo {

namespace {

constexpr size_t kPlayerWidth = 30;

std::string PadLeft(std::string text, size_t width) {
  if (text.size() < width) text.insert(0, width - text.size(), ' ');
  return text;
}

// Pattern "## ##0": one blank before the last three digits when there are
// more than three.
std::string Grouped(int64_t value) {
  const bool negative = value < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  if (digits.size() > 3) digits.insert(digits.size() - 3, 1, ' ');
  return negative ? "-" + digits : digits;
}

// The player as stored: "Anonymous" for none, blanks to 30 characters or cut
// to 30. "|" separates the line's fields and line ends would split the line,
// so neither may come from the name.
std::string PlayerField(const std::string& player) {
  std::string name = player.empty() ? std::string("Anonymous") : player;
  for (char& c : name) {
    if (c == '|')
      c = '/';
    else if (static_cast<unsigned char>(c) < 32)
      c = ' ';
  }
  if (name.size() > kPlayerWidth) name.resize(kPlayerWidth);
  name.append(kPlayerWidth - name.size(), ' ');
  return name;
}

std::string TwoDigits(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

std::string DateTimeText(double dateTime) {
  const detail::DateTimeParts p = detail::DecodeDateTime(dateTime);
  char year[16];
  std::snprintf(year, sizeof year, "%04d", p.year);
  return std::string(year) + "-" + TwoDigits(p.month) + "-" + TwoDigits(p.day) + " " + TwoDigits(p.hour) + ":" +
         TwoDigits(p.minute) + ":" + TwoDigits(p.second);
}

// A stored number that is damaged counts as missing.
double ReadFloat(const foundation::StringList& ini, const std::string& section, const char* key) {
  try {
    const double v =
        foundation::IniReadValue(&ini, section, key, foundation::Variant(0.0), foundation::varDouble).AsDouble();
    // Not a number or infinite would spoil every later average as well.
    return std::isfinite(v) ? v : 0.0;
  } catch (const foundation::ConvertError&) {
    return 0.0;
  }
}

int32_t ReadCount(const foundation::StringList& ini, const std::string& section, const char* key) {
  try {
    const int64_t v =
        foundation::IniReadValue(&ini, section, key, foundation::Variant(int32_t{0}), foundation::varAny).AsInt64();
    return static_cast<int32_t>(std::clamp<int64_t>(v, 0, std::numeric_limits<int32_t>::max()));
  } catch (const foundation::ConvertError&) {
    return 0;
  }
}

int32_t Incremented(int32_t n) { return n < std::numeric_limits<int32_t>::max() ? n + 1 : n; }

}  // namespace

std::string TGravlo::VariantKey(const std::string& prefix) const {
  return prefix + "_GW" + std::to_string(GameCols) + "_GH" + std::to_string(GameRows) + "_TN" +
         std::to_string(TimerNew) + "_DA" + std::to_string(DropAdd) + "_LA" + std::to_string(LineAdd) + "_LX" +
         std::to_string(LineAddEx) + "_BM" + std::to_string(BonusMode) + "_BN" + std::to_string(BonusNew) + "_BG" +
         std::to_string(BonusGain) + "_BZ" + std::to_string(BonusZero) + "_CT" + std::to_string(CostOfTmr) + "_CR" +
         std::to_string(CostOfRem) + "_CL" + std::to_string(CostOfRow) + "_SS" + std::to_string(SpriteSet);
}

std::string TGravlo::ResultLine(const std::string& player) const {
  const int64_t used = static_cast<int64_t>(Bonuses) - BonusesLeft;
  std::string line = "L" + PadLeft(Grouped(Lines), 6);
  line += " T" + PadLeft(foundation::DurationToStr(3, 1, ',', TimeUsed, '.'), 11);
  line += "=" + PlayerField(player);
  line += " | " + DateTimeText(StartTime);
  line += " |" + PadLeft(std::to_string(Bonuses), 4);
  line += " |" + PadLeft(Grouped(Interval), 6);
  line += " |" + PadLeft(Grouped(Drops), 6);
  line += " |" + PadLeft(std::to_string(used), 4);
  line += " |" + PadLeft(std::to_string(TimerResets), 4);
  line += " |" + PadLeft(std::to_string(LinesRemoved), 4);
  line += " |" + PadLeft(std::to_string(LinesAdded), 4);
  return line;
}

GameSummary SummaryOf(const TGravlo& e) {
  GameSummary s;
  s.Lines = e.Lines;
  s.TimeUsed = e.TimeUsed;
  s.Interval = e.Interval;
  s.Drops = e.Drops;
  s.Bonuses = e.Bonuses;
  s.BonusesUsed = static_cast<int32_t>(e.Bonuses) - e.BonusesLeft;
  s.TimerResets = e.TimerResets;
  s.LinesRemoved = e.LinesRemoved;
  s.LinesAdded = e.LinesAdded;
  return s;
}

int CompareResultLines(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(platform::AsciiLower(a[i]));
    const auto cb = static_cast<unsigned char>(platform::AsciiLower(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

void CountGameStarted(foundation::StringList& ini, const std::string& avSection) {
  const int32_t n = ReadCount(ini, avSection, "GamesStarted");
  foundation::IniWriteValue(&ini, avSection, "GamesStarted", foundation::Variant(Incremented(n)));
}

void UpdateAverages(foundation::StringList& ini, const std::string& avSection, const GameSummary& game) {
  const int32_t n = ReadCount(ini, avSection, "GamesFinished");
  foundation::IniWriteValue(&ini, avSection, "GamesFinished", foundation::Variant(Incremented(n)));
  const struct {
    const char* key;
    int32_t value;
  } items[] = {
      {"Lines", game.Lines},
      {"TimeUsed", game.TimeUsed},
      {"Interval", game.Interval},
      {"Drops", game.Drops},
      {"Bonuses", game.Bonuses},
      {"BonusesUsed", game.BonusesUsed},
      {"TimerResets", game.TimerResets},
      {"LinesRemoved", game.LinesRemoved},
      {"LinesAdded", game.LinesAdded},
  };
  const double count = static_cast<double>(n);
  for (const auto& item : items) {
    const double old = ReadFloat(ini, avSection, item.key);
    const double updated = (old * count + static_cast<double>(item.value)) / (count + 1.0);
    foundation::IniWriteValue(&ini, avSection, item.key, foundation::Variant(updated), 5);
  }
}

void AddResultLine(foundation::StringList& ini, const std::string& wsSection, const std::string& line,
                   int32_t statEntries) {
  foundation::StringList work;
  foundation::IniReadSection(&ini, wsSection, &work, 0);
  work.Add(line);
  std::vector<foundation::StringList::Line> lines = work.Lines();
  std::stable_sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) {
    return CompareResultLines(a.text, b.text) < 0;
  });

  foundation::IniEraseSection(&ini, wsSection, foundation::isfEraseHeader);
  while (!ini.Empty() && ini[ini.Count() - 1].empty()) ini.Delete(ini.Count() - 1);
  ini.Add("[" + wsSection + "]");
  // Best first; one more line than the limit is kept, as the stored lists
  // always have been.
  int64_t count = 0;
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    ini.Add(it->text, it->object);
    ++count;
    if (count > statEntries) break;
  }
}

VariantSections VariantSectionsOf(const TGravlo& engine) { return {engine.VariantKey("AV"), engine.VariantKey("WS")}; }

void RecordGameOver(foundation::StringList& ini, const TGravlo& engine, const VariantSections& sections,
                    const std::string& player, int32_t statEntries) {
  UpdateAverages(ini, sections.av, SummaryOf(engine));
  AddResultLine(ini, sections.ws, engine.ResultLine(player), statEntries);
}

}  // namespace gravlo
