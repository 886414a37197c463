// Whole games played with random moves and random settings, checking the
// engine's invariants after every step. Meant to run under the sanitizers as
// well: any write outside the board or overflow stops the run there.
#include <gtest/gtest.h>

#include <random>
#include <limits>
#include <set>
#include <utility>
#include <vector>

#include "foundation/random.h"
#include "gravlo/gravlo.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"

using namespace gravlo;

namespace {

const std::set<Color> kPreviewColours = {RGBColor(130, 126, 112), RGBColor(116, 96, 128), RGBColor(96, 80, 80)};

struct Player {
  std::mt19937 rng;
  explicit Player(uint32_t seed) : rng(seed) {}
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
  int32_t any(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); }

  // Settings as the settings window may store them: any 32-bit number, 16-bit
  // fields keeping their low 16 bits.
  void randomSettings(TGravlo& g) {
    auto wild = [&]() -> int32_t {
      switch (pick(4)) {
        case 0: return any(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
        case 1: return any(-40, 40);
        default: return any(-3, 3);
      }
    };
    auto low16 = [](int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(v))); };
    g.GameCols = low16(pick(3) == 0 ? wild() : any(8, 30));
    g.GameRows = low16(pick(3) == 0 ? wild() : any(8, 30));
    g.TimerNew = wild();
    g.DropAdd = wild();
    g.LineAdd = wild();
    g.LineAddEx = wild();
    g.BonusMode = low16(pick(2) ? any(-4, 3) : wild());
    g.BonusGain = low16(wild());
    g.BonusZero = low16(wild());
    g.BonusNew = low16(wild());
    g.CostOfTmr = low16(wild());
    g.CostOfRem = low16(wild());
    g.CostOfRow = low16(pick(2) ? any(1, 4) : wild());
    g.SpriteSet = static_cast<uint32_t>(wild());
  }
};

// The engine's promises after any step.
void CheckInvariants(const TGravlo& g, int32_t lastDrops, int32_t lastLines) {
  const int32_t cols = g.PlayCols();
  const int32_t rows = g.RowCount();
  ASSERT_GE(cols, 10);
  ASSERT_LE(cols, 100);
  ASSERT_EQ(g.Columns(), cols + kPreviewColumns);
  ASSERT_GE(rows, 10);
  ASSERT_LE(rows, kMaxBoardRows);
  ASSERT_GE(g.Interval, 5);
  ASSERT_LE(g.Interval, 10000);
  ASSERT_GE(g.Drops, lastDrops);
  ASSERT_GE(g.Lines, lastLines);
  ASSERT_GE(g.TimerResets, 0);
  ASSERT_GE(g.LinesRemoved, 0);
  ASSERT_GE(g.LinesAdded, 0);
  ASSERT_GE(g.TopRow, 0);
  const std::set<uint8_t> states = {StateNewGame, StateLocked, StateFalling, StateGameOver};
  ASSERT_TRUE(states.count(g.State)) << int(g.State);
  const size_t active = g.ActiveShapes().size();
  ASSERT_GE(active, 1u);
  ASSERT_LE(active, 18u);
  for (uint8_t q : g.Queue) ASSERT_LT(q, active);
  // Play never reaches the preview strip, and nothing lies outside the board.
  for (int32_t x = cols; x < cols + kPreviewColumns; ++x)
    for (int32_t y = 0; y < rows; ++y) ASSERT_TRUE(kPreviewColours.count(g.Cell(x, y))) << x << "," << y;
  if (g.State == StateFalling || g.State == StateGameOver) {
    for (int dx = 0; dx < 4; ++dx)
      for (int dy = 0; dy < 4; ++dy) {
        if (!g.Piece[static_cast<size_t>(dx * 4 + dy)]) continue;
        ASSERT_GE(g.PieceX + dx, 0);
        ASSERT_LT(g.PieceX + dx, cols);
        ASSERT_LT(g.PieceY + dy, rows);
      }
  }
  if (g.State == StateLocked) {  // just locked: the top row is exact
    int32_t top = rows;
    for (int32_t y = 0; y < rows && top == rows; ++y)
      for (int32_t x = 0; x < cols; ++x)
        if (g.Cell(x, y) != 0) {
          top = y;
          break;
        }
    ASSERT_EQ(g.TopRow, top);
  }
}

// The playing field before a step, and what the step may do to it.
struct Field {
  int32_t cols = 0, rows = 0;
  std::vector<Color> cells;  // column by column
  uint8_t state = 0;
  Mask piece{};
  int32_t x = 0, y = 0;
  Color colour = 0;
  int32_t lines = 0;
  int16_t removed = 0, added = 0;

  Field() = default;
  explicit Field(const TGravlo& g)
      : cols(g.PlayCols()), rows(g.RowCount()), state(g.State), piece(g.Piece), x(g.PieceX), y(g.PieceY),
        colour(g.PieceColour), lines(g.Lines), removed(g.LinesRemoved), added(g.LinesAdded) {
    cells.reserve(static_cast<size_t>(cols) * static_cast<size_t>(rows));
    for (int32_t cx = 0; cx < cols; ++cx)
      for (int32_t cy = 0; cy < rows; ++cy) cells.push_back(g.Cell(cx, cy));
  }
  Color& at(int32_t cx, int32_t cy) { return cells[static_cast<size_t>(cx) * static_cast<size_t>(rows) + static_cast<size_t>(cy)]; }
  bool fullRow(int32_t cy) {
    for (int32_t cx = 0; cx < cols; ++cx)
      if (!at(cx, cy)) return false;
    return true;
  }
  // Rows 1..bottom move one down, row 0 becomes empty.
  void shiftDown(int32_t bottom) {
    for (int32_t cx = 0; cx < cols; ++cx) {
      for (int32_t cy = bottom; cy >= 1; --cy) at(cx, cy) = at(cx, cy - 1);
      at(cx, 0) = 0;
    }
  }
};

// The playing field after one step must be the one before, changed only as
// the step allows: a lock writes the piece's cells on the board and removes
// full rows, action 6 drops the bottom row, action 7 adds an empty one.
void CheckFieldChange(const TGravlo& g, Field want) {
  if (g.LinesAdded != want.added) {
    ASSERT_EQ(g.RowCount(), want.rows + 1);
    // The same field one row longer, everything one row down.
    Field grown = want;
    grown.rows += 1;
    grown.cells.assign(static_cast<size_t>(grown.cols) * static_cast<size_t>(grown.rows), 0);
    for (int32_t cx = 0; cx < want.cols; ++cx)
      for (int32_t cy = 0; cy < want.rows; ++cy) grown.at(cx, cy + 1) = want.at(cx, cy);
    want = std::move(grown);
  } else if (g.LinesRemoved != want.removed) {
    want.shiftDown(want.rows - 1);
  } else if (want.state == StateFalling && g.State == StateLocked) {
    for (int dx = 0; dx < 4; ++dx)
      for (int dy = 0; dy < 4; ++dy) {
        if (!want.piece[static_cast<size_t>(dx * 4 + dy)] || want.y + dy < 0) continue;
        want.at(want.x + dx, want.y + dy) = want.colour;
      }
    int32_t full = 0;
    for (int32_t cy = 0; cy < want.rows; ++cy)
      if (want.fullRow(cy)) {
        ++full;
        want.shiftDown(cy);
      }
    ASSERT_EQ(g.Lines - want.lines, full);
  }
  ASSERT_EQ(g.PlayCols(), want.cols);
  ASSERT_EQ(g.RowCount(), want.rows);
  for (int32_t cx = 0; cx < want.cols; ++cx)
    for (int32_t cy = 0; cy < want.rows; ++cy) ASSERT_EQ(g.Cell(cx, cy), want.at(cx, cy)) << cx << "," << cy;
}

// Plays games until `pieces` pieces have entered; returns the number of games.
int PlayGames(TGravlo& g, Player& player, int pieces, bool randomSettings, platform::Canvas* canvas) {
  int games = 0;
  int64_t total = 0;
  int boardEvents = 0;
  g.OnBoardChange = [&](TGravlo& s) {
    ++boardEvents;
    EXPECT_GE(s.Interval, 5);
    EXPECT_LE(s.Interval, 10000);
  };
  while (total < pieces) {
    if (randomSettings) player.randomSettings(g);
    g.NewGame();
    ++games;
    int32_t lastDrops = 0, lastLines = 0;
    for (int step = 0; step < 20000 && g.State != StateGameOver; ++step) {
      // Boards grown by many paid rows are followed by the invariants alone:
      // a copy of every cell per step would take minutes there.
      const bool model = static_cast<int64_t>(g.PlayCols()) * g.RowCount() <= 1500;
      const Field before = model ? Field(g) : Field();
      switch (player.pick(12)) {
        case 0: case 1: case 2: g.MoveLeft(); break;
        case 3: case 4: case 5: g.MoveRight(); break;
        case 6: case 7: g.Rotate(); break;
        case 8: g.BonusAction(static_cast<uint8_t>(5 + player.pick(4))); break;
        default: g.Tick(); break;
      }
      if (canvas && step % 7 == 0) g.Paint(*canvas);
      CheckInvariants(g, lastDrops, lastLines);
      if (model && !testing::Test::HasFatalFailure()) CheckFieldChange(g, before);
      if (testing::Test::HasFatalFailure()) return games;
      lastDrops = g.Drops;
      lastLines = g.Lines;
    }
    total += g.Drops;
  }
  EXPECT_GT(boardEvents, 0);
  return games;
}

}  // namespace

TEST(GravloPlay, ThousandsOfPiecesWithDefaultSettings) {
  TGravlo g;
  uint32_t tick = 77;
  g.TickCount = [&] { return tick += 13; };
  g.LocalNow = [] { return 45000.5; };
  foundation::SetRandSeed(0xC0FFEE01u);
  Player player(20240305);
  int64_t lines = 0;
  g.OnGameOver = [&](TGravlo& s) { lines += s.Lines; };
  const int games = PlayGames(g, player, 6000, false, nullptr);
  EXPECT_GT(games, 5);
  EXPECT_GT(lines, 0);  // random play still clears rows now and then
}

TEST(GravloPlay, RandomSettingsTheSettingsWindowAccepts) {
  TGravlo g;
  uint32_t tick = 0xFFFFF000u;  // the tick count wraps during the run
  g.TickCount = [&] { return tick += 7; };
  g.LocalNow = [] { return 45000.5; };
  foundation::SetRandSeed(0x00000000u);
  Player player(7);
  PlayGames(g, player, 4000, true, nullptr);
  EXPECT_GE(g.TimeUsed, 0);
}

TEST(GravloPlay, RenderedWhilePlaying) {
  TGravlo g;
  g.SetClientSize(173, 251);
  g.TickCount = [] { return 5u; };
  g.LocalNow = [] { return 45000.5; };
  platform::Bitmap target(173, 251, platform::PixelFormat::Bit32);
  platform::Canvas canvas(&target);
  foundation::SetRandSeed(12345);
  Player player(99);
  PlayGames(g, player, 300, true, &canvas);
  // Resizing between and during games keeps the picture the panel's size.
  g.SetClientSize(61, 40);
  g.ResizeCells();
  g.Paint(canvas);
  EXPECT_EQ(g.BoardBitmap().Width(), 61);
  EXPECT_EQ(g.BoardBitmap().Height(), 40);
}
