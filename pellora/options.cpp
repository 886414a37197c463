#include "pellora/options.h"

#include "pellora/table.h"

namespace pellora {
namespace {

constexpr std::array<int16_t, kAnimRowCount> kDefaultSpeed{720, 840, 720, 600, 600, 600, 600};
constexpr std::array<uint16_t, kAnimRowCount> kDefaultClick{80, 60, 20, 20, 20, 20, 30};
constexpr std::array<uint16_t, kAnimRowCount> kDefaultDrag{10, 10, 20, 20, 20, 20, 20};

int RowEntry(int base, int row) {
  if (row < 1 || row > kAnimRowCount) throw SolTblError("Animation row " + std::to_string(row) + " out of range");
  return base + row;
}

}  // namespace

int16_t recSolOpt::Speed(int row) const {
  return static_cast<int16_t>(AnimTable[static_cast<size_t>(RowEntry(kAnimSpeedBase, row))]);
}
uint16_t recSolOpt::Click(int row) const { return AnimTable[static_cast<size_t>(RowEntry(kAnimClickBase, row))]; }
uint16_t recSolOpt::Drag(int row) const { return AnimTable[static_cast<size_t>(RowEntry(kAnimDragBase, row))]; }
void recSolOpt::SetSpeed(int row, int16_t speed) {
  AnimTable[static_cast<size_t>(RowEntry(kAnimSpeedBase, row))] = static_cast<uint16_t>(speed);
}
void recSolOpt::SetClick(int row, uint16_t ms) { AnimTable[static_cast<size_t>(RowEntry(kAnimClickBase, row))] = ms; }
void recSolOpt::SetDrag(int row, uint16_t ms) { AnimTable[static_cast<size_t>(RowEntry(kAnimDragBase, row))] = ms; }

uint16_t recSolOpt::Entry(int i) const {
  if (i < 0 || i >= kAnimTableSize) throw SolTblError("Animation entry " + std::to_string(i) + " out of range");
  return AnimTable[static_cast<size_t>(i)];
}
void recSolOpt::SetEntry(int i, uint16_t value) {
  if (i < 0 || i >= kAnimTableSize) throw SolTblError("Animation entry " + std::to_string(i) + " out of range");
  AnimTable[static_cast<size_t>(i)] = value;
}

void recSolOpt::SetTitle(const std::string& title) { Title = title.substr(0, kGameTitleMax); }

void SetDefaultOptions(int gameType, recSolOpt& options, recSolCounts& counts, int parts) {
  if ((parts == dpAll || (parts & dpGame)) && gameType == kGameTypeTarot) {
    options.SetTitle("Tarot 3 decks, 16slots, [163AAA");
    options.Attrib = rbCheckWeddings | rbOpenUntilBasePair;
    options.CardCount = 156;
    counts.Bride = 10;
    counts.Groom = 10;
    counts.Parents = 10;
    counts.Omens = 16;
  }
  if (parts == dpAll || (parts & dpAnimation)) {
    options.AnimBits = abDragDrop | abClickToPair | abDragDropFails | abPairToRemovals;
    for (int row = 1; row <= kAnimRowCount; ++row) {
      options.SetSpeed(row, kDefaultSpeed[static_cast<size_t>(row - 1)]);
      options.SetClick(row, kDefaultClick[static_cast<size_t>(row - 1)]);
      options.SetDrag(row, kDefaultDrag[static_cast<size_t>(row - 1)]);
    }
    options.SetEntry(kAnimDealPause, 500);
    options.SetEntry(kAnimOmenPause, 200);
  }
}

int16_t CardRank(int code) {
  if (code < 1 || code > 52) return 0;
  return static_cast<int16_t>((code - 1) % 13 + 1);
}

}  // namespace pellora
