// Rules of the falling-block engine: shapes, new game, spawn, moves, rotation,
// locking and row removal, the interval and the bonus economy.
#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>
#include <vector>

#include "foundation/random.h"
#include "gravlo/gravlo.h"

using namespace gravlo;

namespace {

// The shapes as the rules describe them: four rows, top first, "#" set.
const char* const kShapeRows[18][4] = {
    {"....", "####", "....", "...."}, {"..#.", ".##.", ".#..", "...."}, {".#..", ".##.", "..#.", "...."},
    {"..#.", ".##.", "..#.", "...."}, {"..#.", "..#.", ".##.", "...."}, {".#..", ".#..", ".##.", "...."},
    {"....", ".##.", ".##.", "...."}, {"....", ".##.", "....", "...."}, {"....", "###.", "....", "...."},
    {"....", ".##.", "..#.", "...."}, {"....", ".###", ".###", "...."}, {"..#.", ".##.", ".##.", "...."},
    {".#..", ".##.", ".##.", "...."}, {".#..", ".##.", "..#.", "..#."}, {"..#.", "..#.", ".##.", ".#.."},
    {"..#.", ".###", "..#.", "...."}, {".##.", "..#.", ".##.", "...."}, {"....", "#.#.", "#.#.", "...."},
};

std::vector<std::string> Rows(const Mask& m) {
  std::vector<std::string> rows(4, std::string(4, '.'));
  for (int dx = 0; dx < 4; ++dx)
    for (int dy = 0; dy < 4; ++dy)
      if (m[static_cast<size_t>(dx * 4 + dy)]) rows[static_cast<size_t>(dy)][static_cast<size_t>(dx)] = '#';
  return rows;
}

int CellCount(const Mask& m) {
  int n = 0;
  for (int v : m) n += v != 0;
  return n;
}

// An engine with a clock the test moves and a record of its events.
struct Rig {
  uint32_t tick = 50000;
  TGravlo g;
  std::vector<std::string> events;
  std::vector<int32_t> intervalAtEvent;

  Rig() {
    g.TickCount = [this] { return tick; };
    g.LocalNow = [] { return 45356.5; };
    g.OnGameStarted = [this](TGravlo& s) { record("started", s); };
    g.OnBoardChange = [this](TGravlo& s) { record("change", s); };
    g.OnGameOver = [this](TGravlo& s) { record("over", s); };
  }
  void record(const char* what, TGravlo& sender) {
    EXPECT_EQ(&sender, &g);
    events.push_back(what);
    intervalAtEvent.push_back(sender.Interval);
  }
  void start(uint32_t seed = 0x2A2A2A2Au) {
    foundation::SetRandSeed(seed);
    g.NewGame();
    events.clear();
    intervalAtEvent.clear();
  }
  // Puts master shape k as the falling piece at (x, y).
  void place(int k, int x, int y) {
    g.Piece = MasterShapes()[static_cast<size_t>(k)];
    g.PieceColour = RGBColor(10, 20, 30);
    g.PieceX = x;
    g.PieceY = y;
    g.State = StateFalling;
  }
  // The upright bar in board column `column`, rows y..y+3.
  void placeUpright(int column, int y);
  // Fills the playing cells of row y except the listed columns.
  void fillRow(int y, std::set<int> except = {}) {
    for (int x = 0; x < g.PlayCols(); ++x)
      if (!except.count(x)) g.SetCell(x, y, RGBColor(1, 2, 3));
  }
  int rowCells(int y) const {
    int n = 0;
    for (int x = 0; x < g.PlayCols(); ++x) n += g.Cell(x, y) != 0;
    return n;
  }
};

Mask Vertical() {  // the bar turned upright: column 2, rows 0..3
  Mask m{};
  for (int dy = 0; dy < 4; ++dy) m[static_cast<size_t>(2 * 4 + dy)] = 1;
  return m;
}

void Rig::placeUpright(int column, int y) {
  place(0, column - 2, y);
  g.Piece = Vertical();
}

}  // namespace

TEST(GravloShapes, MasterShapesMatchTheRowsAndColoursTheTable) {
  for (int k = 0; k < 18; ++k) {
    const auto rows = Rows(MasterShapes()[static_cast<size_t>(k)]);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(rows[static_cast<size_t>(r)], kShapeRows[k][r]) << "shape " << k << " row " << r;
  }
  const auto& c = PieceColours();
  EXPECT_EQ(c[0], 0x0000FF00u);   // (0,255,0)
  EXPECT_EQ(c[1], 0x00FF0000u);   // (0,0,255): blue lies in the high byte
  EXPECT_EQ(c[3], 0x000000FFu);   // (255,0,0)
  // Every entry as (red, green, blue).
  const int rgb[18][3] = {{0, 255, 0},    {0, 0, 255},    {192, 192, 0},   {255, 0, 0},     {0, 255, 255},
                          {255, 255, 255}, {255, 80, 160}, {128, 255, 0},   {0, 255, 128},   {0, 128, 255},
                          {255, 80, 160}, {80, 80, 216},  {216, 80, 216},  {192, 192, 80},  {192, 128, 192},
                          {216, 80, 128}, {208, 160, 216}, {128, 208, 216}};
  for (size_t k = 0; k < 18; ++k) {
    EXPECT_EQ(c[k] & 0xFFu, static_cast<Color>(rgb[k][0])) << "red of " << k;
    EXPECT_EQ((c[k] >> 8) & 0xFFu, static_cast<Color>(rgb[k][1])) << "green of " << k;
    EXPECT_EQ(c[k] >> 16, static_cast<Color>(rgb[k][2])) << "blue of " << k;
  }
  std::set<Color> distinct(c.begin(), c.end());
  EXPECT_EQ(distinct.size(), 17u);  // only 6 and 10 coincide
}

TEST(GravloShapes, FourQuarterTurnsGiveBackEveryShape) {
  for (int k = 0; k < 18; ++k) {
    Rig rig;
    rig.start();
    rig.place(k, 4, 5);  // middle of an empty board: every turn fits
    const Mask original = rig.g.Piece;
    std::vector<Mask> seen;
    for (int i = 0; i < 4; ++i) {
      rig.g.Rotate();
      EXPECT_EQ(CellCount(rig.g.Piece), CellCount(original));
      seen.push_back(rig.g.Piece);
    }
    EXPECT_EQ(rig.g.Piece, original) << "shape " << k;
    EXPECT_EQ(rig.g.PieceX, 4);
    EXPECT_EQ(rig.g.PieceY, 5);
  }
}

TEST(GravloShapes, QuarterTurnIsClockwiseInsideTheBox) {
  Rig rig;
  rig.start();
  rig.place(0, 3, 5);
  rig.g.Rotate();
  EXPECT_EQ(Rows(rig.g.Piece), (std::vector<std::string>{"..#.", "..#.", "..#.", "..#."}));
  rig.place(4, 3, 5);  // "..#." "..#." ".##."
  rig.g.Rotate();
  EXPECT_EQ(Rows(rig.g.Piece), (std::vector<std::string>{"....", ".#..", ".###", "...."}));
}

TEST(GravloEngine, NewGameClampsTheParametersAndResetsTheCounters) {
  struct Case {
    int16_t cols, rows;
    int32_t timer;
    int16_t wantCols, wantRows;
    int32_t wantTimer;
  };
  for (const Case& c : {Case{5, 9, 50, 10, 10, 100}, Case{150, 101, 20000, 100, 100, 10000},
                        Case{-3, -30000, std::numeric_limits<int32_t>::min(), 10, 10, 100},
                        Case{37, 44, 777, 37, 44, 777}}) {
    Rig rig;
    rig.g.GameCols = c.cols;
    rig.g.GameRows = c.rows;
    rig.g.TimerNew = c.timer;
    rig.g.BonusNew = 4;
    rig.g.Lines = 9;
    rig.g.Drops = 9;
    rig.g.TimerResets = rig.g.LinesAdded = rig.g.LinesRemoved = 3;
    rig.g.TimeUsed = 77;
    rig.tick = 123456;
    foundation::SetRandSeed(99);
    rig.g.NewGame();
    EXPECT_EQ(rig.g.GameCols, c.wantCols);
    EXPECT_EQ(rig.g.GameRows, c.wantRows);
    EXPECT_EQ(rig.g.Columns(), c.wantCols + 5);
    EXPECT_EQ(rig.g.RowCount(), c.wantRows);
    EXPECT_EQ(rig.g.TimerNew, c.wantTimer);
    EXPECT_EQ(rig.g.Interval, c.wantTimer);
    EXPECT_EQ(rig.g.TopRow, c.wantRows);
    EXPECT_EQ(rig.g.State, StateNewGame);
    EXPECT_EQ(rig.g.Bonuses, 4);
    EXPECT_EQ(rig.g.BonusesLeft, 4);
    EXPECT_EQ(rig.g.Lines, 0);
    EXPECT_EQ(rig.g.Drops, 0);
    EXPECT_EQ(rig.g.TimerResets + rig.g.LinesAdded + rig.g.LinesRemoved, 0);
    EXPECT_EQ(rig.g.TimeUsed, 0);
    EXPECT_EQ(rig.g.StartTick, 123456u);
    EXPECT_DOUBLE_EQ(rig.g.StartTime, 45356.5);
    EXPECT_EQ(rig.events, std::vector<std::string>{"started"});
  }
}

TEST(GravloEngine, NewGameClearsThePlayingFieldAndDrawsTheQueue) {
  Rig rig;
  rig.start();
  rig.fillRow(19);
  rig.g.SetCell(12, 3, 77);  // preview column: redrawn from the queue
  foundation::SetRandSeed(0xAB00u);  // low byte 0: seeded from the clock
  rig.tick = 0x0000AB5Cu;
  rig.g.NewGame();
  EXPECT_EQ(rig.rowCells(19), 0);
  EXPECT_NE(rig.g.Cell(12, 3), 77u);
  // The queue is ten draws of the shared generator after the clock's low byte
  // went into the seed.
  foundation::SetRandSeed(0xAB5Cu);
  for (uint8_t q : rig.g.Queue) EXPECT_EQ(q, foundation::Random(7));
  // A seed with a non-zero low byte is used as it stands.
  foundation::SetRandSeed(0x2A2A2A2Au);
  rig.g.NewGame();
  const auto a = rig.g.Queue;
  foundation::SetRandSeed(0x2A2A2A2Au);
  for (uint8_t q : a) EXPECT_EQ(q, foundation::Random(7));
}

TEST(GravloEngine, ShapeMaskSelectsTheActiveShapes) {
  Rig rig;
  rig.g.SpriteSet = 0;
  rig.start();
  ASSERT_EQ(rig.g.ActiveShapes().size(), 7u);
  for (int k = 0; k < 7; ++k) EXPECT_EQ(rig.g.ActiveShapes()[static_cast<size_t>(k)], MasterShapes()[static_cast<size_t>(k)]);
  EXPECT_EQ(rig.g.SpriteSet, 0u);

  // Only bits above the 18 shapes: played like mask 0, the stored value kept.
  rig.g.SpriteSet = 1u << 20;
  rig.start();
  EXPECT_EQ(rig.g.ActiveShapes().size(), 7u);
  EXPECT_EQ(rig.g.SpriteSet, 1u << 20);
  rig.g.Tick();
  EXPECT_EQ(rig.g.State, StateFalling);

  // Bits above 17 are ignored next to real ones.
  rig.g.SpriteSet = (1u << 17) | (1u << 25);
  rig.start();
  ASSERT_EQ(rig.g.ActiveShapes().size(), 1u);
  EXPECT_EQ(rig.g.ActiveShapes()[0], MasterShapes()[17]);
  for (uint8_t q : rig.g.Queue) EXPECT_EQ(q, 0);
}

TEST(GravloEngine, ColourFollowsTheActiveIndex) {
  Rig rig;
  rig.g.SpriteSet = 262143;
  rig.start();
  for (int a = 0; a < 18; ++a) {
    rig.g.Queue[0] = static_cast<uint8_t>(a);
    rig.g.State = StateLocked;
    rig.g.Tick();
    EXPECT_EQ(rig.g.Piece, MasterShapes()[static_cast<size_t>(a)]);
    EXPECT_EQ(rig.g.PieceColour, PieceColours()[static_cast<size_t>(a)]);
  }
  rig.g.SpriteSet = 128 + 256;
  rig.start();
  rig.g.Queue[0] = 0;
  rig.g.Tick();
  EXPECT_EQ(rig.g.Piece, MasterShapes()[7]);
  EXPECT_EQ(rig.g.PieceColour, RGBColor(0, 255, 0));
  rig.g.Queue[0] = 1;
  rig.g.State = StateLocked;
  rig.g.Tick();
  EXPECT_EQ(rig.g.Piece, MasterShapes()[8]);
  EXPECT_EQ(rig.g.PieceColour, RGBColor(0, 0, 255));
}

TEST(GravloEngine, SpawnPositionAndEntry) {
  for (auto [cols, x] : {std::pair{10, 4}, std::pair{11, 4}, std::pair{100, 49}, std::pair{13, 5}}) {
    Rig rig;
    rig.g.GameCols = static_cast<int16_t>(cols);
    rig.start();
    const auto queued = rig.g.Queue;
    rig.g.Tick();
    EXPECT_EQ(rig.g.State, StateFalling);
    EXPECT_EQ(rig.g.PieceX, x) << cols;
    EXPECT_EQ(rig.g.PieceY, -2);
    EXPECT_EQ(rig.g.Piece, rig.g.ActiveShapes()[queued[0]]);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(rig.g.Queue[static_cast<size_t>(i)], queued[static_cast<size_t>(i + 1)]);
    EXPECT_EQ(rig.g.Drops, 1);
    EXPECT_EQ(rig.g.Interval, 993);
    EXPECT_EQ(rig.events, std::vector<std::string>{"change"});
  }
}

TEST(GravloEngine, SpawnCollisionEndsTheGameWithoutCountingThePiece) {
  Rig rig;
  rig.start();
  rig.g.Queue[0] = 6;  // the square: mask rows 1 and 2 land on board rows -1 and 0
  rig.g.SetCell(5, 0, 9);
  rig.tick += 4321;
  rig.g.Tick();
  EXPECT_EQ(rig.g.State, StateGameOver);
  EXPECT_EQ(rig.g.Drops, 0);
  EXPECT_EQ(rig.g.Interval, 1000);
  EXPECT_EQ(rig.g.TimeUsed, 4321);
  EXPECT_EQ(rig.events, std::vector<std::string>{"over"});
  // Nothing moves after game over.
  rig.g.Tick();
  rig.g.MoveLeft();
  rig.g.BonusAction(BonusResetTimer);
  EXPECT_EQ(rig.events.size(), 1u);
  EXPECT_EQ(rig.g.State, StateGameOver);
}

TEST(GravloEngine, PieceThatCannotFallLosesItsCellsAboveTheBoard) {
  Rig rig;
  rig.start();
  rig.g.Queue[0] = 6;
  rig.g.Queue[1] = 6;
  rig.g.SetCell(5, 1, 9);  // under the square's left column
  rig.g.Tick();            // enters at rows -1..0
  ASSERT_EQ(rig.g.State, StateFalling);
  rig.g.Tick();  // cannot fall: locks
  EXPECT_EQ(rig.g.State, StateLocked);
  EXPECT_NE(rig.g.Cell(5, 0), 0u);
  EXPECT_NE(rig.g.Cell(6, 0), 0u);
  EXPECT_EQ(rig.rowCells(0), 2);  // the row -1 half is gone
  EXPECT_EQ(rig.g.TopRow, 0);
  rig.g.Tick();  // the next square collides at once
  EXPECT_EQ(rig.g.State, StateGameOver);
  EXPECT_EQ(rig.g.Drops, 1);
}

TEST(GravloEngine, MovesAndRotationOnlyWhileFallingAndNeverShifted) {
  Rig rig;
  rig.start();
  rig.place(0, 3, 5);  // bar in row 6, columns 3..6
  rig.g.State = StateLocked;
  rig.g.MoveLeft();
  rig.g.MoveRight();
  rig.g.Rotate();
  EXPECT_EQ(rig.g.PieceX, 3);
  EXPECT_EQ(rig.g.Piece, MasterShapes()[0]);
  rig.g.State = StateFalling;
  for (int i = 0; i < 10; ++i) rig.g.MoveLeft();
  EXPECT_EQ(rig.g.PieceX, 0);
  for (int i = 0; i < 10; ++i) rig.g.MoveRight();
  EXPECT_EQ(rig.g.PieceX, 6);

  // Upright bar against the left wall: turning back would leave the board.
  rig.place(0, 0, 5);
  rig.g.Rotate();
  for (int i = 0; i < 5; ++i) rig.g.MoveLeft();
  EXPECT_EQ(rig.g.PieceX, -2);
  rig.g.Rotate();
  EXPECT_EQ(rig.g.Piece, Vertical());
  EXPECT_EQ(rig.g.PieceX, -2);

  // Next to a cell: refused as well.
  rig.place(0, 3, 5);
  rig.g.Rotate();  // upright in column 5, rows 5..8
  rig.g.SetCell(4, 7, 9);  // where the turned bar's row 2 would lie
  rig.g.Rotate();
  EXPECT_EQ(rig.g.Piece, Vertical());
  rig.g.MoveLeft();
  EXPECT_EQ(rig.g.PieceX, 3);
  rig.g.SetCell(4, 7, 0);
  rig.g.Rotate();
  EXPECT_EQ(Rows(rig.g.Piece), (std::vector<std::string>{"....", "....", "####", "...."}));
}

TEST(GravloEngine, FitsChecksWallsFloorAndCellsButNotAboveTheBoard) {
  Rig rig;
  rig.start();
  const Mask bar = MasterShapes()[0];  // cells in box row 1
  EXPECT_TRUE(rig.g.Fits(bar, 0, -5));
  EXPECT_TRUE(rig.g.Fits(bar, 6, 18));
  EXPECT_FALSE(rig.g.Fits(bar, 7, 0));
  EXPECT_FALSE(rig.g.Fits(bar, -1, 0));
  EXPECT_FALSE(rig.g.Fits(bar, 0, 19));
  rig.g.SetCell(2, 10, 1);
  EXPECT_FALSE(rig.g.Fits(bar, 0, 9));
  EXPECT_TRUE(rig.g.Fits(bar, 3, 9));
  // Positions far off the board are answered, not read.
  EXPECT_FALSE(rig.g.Fits(bar, std::numeric_limits<int32_t>::max(), 0));
  EXPECT_FALSE(rig.g.Fits(bar, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
  EXPECT_TRUE(rig.g.Fits(bar, 0, std::numeric_limits<int32_t>::min()));
}

TEST(GravloLock, RowsScoreSixteenThirtySevenSixtyThreeNinetyFour) {
  const int want[] = {16, 37, 63, 94};
  for (int k = 1; k <= 4; ++k) {
    Rig rig;
    rig.start();
    // k full rows at the bottom but for column 0, and a cell higher up so
    // the board is not emptied (no bottom bonus).
    for (int y = 20 - k; y < 20; ++y) rig.fillRow(y, {0});
    rig.g.SetCell(9, 10, 5);
    rig.placeUpright(0, 16);
    rig.g.Interval = 500;
    rig.g.Tick();
    EXPECT_EQ(rig.g.Lines, k);
    EXPECT_EQ(rig.g.Interval, 500 + want[k - 1]) << k;
    EXPECT_EQ(rig.g.State, StateLocked);
    EXPECT_EQ(rig.events, std::vector<std::string>{"change"});
    EXPECT_EQ(rig.g.Bonuses, 1);
    // The bar's cells above the removed rows fell with the rest.
    EXPECT_EQ(rig.rowCells(19), k < 4 ? 1 : 0);
    EXPECT_EQ(rig.rowCells(19 - (4 - k)), 0);
    EXPECT_EQ(rig.g.Cell(9, 10 + k), 5u);
    EXPECT_EQ(rig.g.TopRow, 10 + k);
  }
}

TEST(GravloLock, NoRowRemovedMeansNoEventAndNoClamp) {
  Rig rig;
  rig.start();
  rig.place(0, 0, 18);  // bar on the bottom row, columns 0..3
  rig.g.Interval = 3;   // only a lock with rows clamps
  rig.g.Tick();
  EXPECT_EQ(rig.g.State, StateLocked);
  EXPECT_TRUE(rig.events.empty());
  EXPECT_EQ(rig.g.Interval, 3);
  EXPECT_EQ(rig.g.TopRow, 19);
}

TEST(GravloLock, TwoFullRowsAroundAPartialOneAreBothRemoved) {
  Rig rig;
  rig.start();
  rig.g.BonusMode = 0;
  rig.fillRow(19, {0});
  rig.fillRow(18, {0, 4, 5});
  rig.fillRow(17, {0});
  rig.g.SetCell(7, 15, 3);
  rig.placeUpright(0, 16);  // bar in column 0, rows 16..19
  rig.g.Interval = 1000;
  rig.g.Tick();
  EXPECT_EQ(rig.g.Lines, 2);
  EXPECT_EQ(rig.g.Interval, 1000 + 16 + 21);  // k = 1 and k = 2
  // Left: old row 18 (now 19), old row 16 (now 18), old row 15 (now 17).
  EXPECT_EQ(rig.rowCells(19), 10 - 2);
  EXPECT_EQ(rig.g.Cell(4, 19), 0u);
  EXPECT_EQ(rig.g.Cell(5, 19), 0u);
  EXPECT_NE(rig.g.Cell(0, 19), 0u);
  EXPECT_EQ(rig.rowCells(18), 1);
  EXPECT_NE(rig.g.Cell(0, 18), 0u);
  EXPECT_EQ(rig.g.Cell(7, 17), 3u);
  EXPECT_EQ(rig.g.TopRow, 17);
}

TEST(GravloLock, BottomBonusModes) {
  struct Case {
    int16_t mode;
    int32_t wantInterval;
    bool bonus;
  };
  // One row removed on an otherwise empty board, Interval 500, TimerNew 1000.
  for (const Case& c : {Case{-1, 500 + 16 + 16, true}, Case{-2, 1000, true}, Case{50, 500 + 16 + 50, true},
                        Case{-3, 500 + 16, true}, Case{-300, 500 + 16, true}, Case{0, 500 + 16, false}}) {
    Rig rig;
    rig.start();
    rig.g.BonusMode = c.mode;
    rig.g.BonusGain = 3;
    rig.fillRow(19, {0, 1, 2, 3});
    rig.place(0, 0, 18);
    rig.g.Interval = 500;
    rig.g.Tick();
    EXPECT_EQ(rig.g.Interval, c.wantInterval) << c.mode;
    EXPECT_EQ(rig.g.Bonuses, c.bonus ? 4 : 1) << c.mode;
    EXPECT_EQ(rig.g.BonusesLeft, c.bonus ? 4 : 1) << c.mode;
    EXPECT_EQ(rig.g.TopRow, 20);
  }
  // Only the bottom row still holds cells: the bonus is given too.
  Rig rig;
  rig.start();
  rig.fillRow(19, {0, 1, 2, 3});
  rig.fillRow(18, {0, 1, 2, 3});
  rig.g.SetCell(0, 19, 1);
  rig.place(0, 0, 17);  // completes row 18 only
  rig.g.Interval = 500;
  rig.g.Tick();
  EXPECT_EQ(rig.g.TopRow, 19);
  EXPECT_EQ(rig.g.Interval, 532);
  EXPECT_EQ(rig.g.Bonuses, 2);
}

TEST(GravloLock, IntervalIsClampedBeforeTheEvent) {
  {
    Rig rig;
    rig.start();
    rig.g.LineAdd = 5000;
    rig.g.BonusMode = 0;
    rig.fillRow(19, {0, 1, 2, 3});
    rig.g.SetCell(9, 5, 1);
    rig.place(0, 0, 18);
    rig.g.Interval = 9990;
    rig.g.Tick();
    EXPECT_EQ(rig.intervalAtEvent, std::vector<int32_t>{10000});
    EXPECT_EQ(rig.g.Interval, 10000);
  }
  {
    Rig rig;
    rig.start();
    rig.g.LineAdd = -30000;
    rig.g.LineAddEx = std::numeric_limits<int32_t>::min();  // low 16 bits: 0
    rig.g.BonusMode = -1;  // empties the board: k x LineAdd + k x LineAddEx on top
    rig.fillRow(19, {0, 1, 2, 3});
    rig.place(0, 0, 18);
    rig.g.Interval = 100;
    rig.g.Tick();
    EXPECT_EQ(rig.intervalAtEvent, std::vector<int32_t>{5});
    EXPECT_EQ(rig.g.Interval, 5);
  }
  {
    // The largest sums the settings accept: no overflow, clamped result.
    Rig rig;
    rig.start();
    rig.g.LineAdd = std::numeric_limits<int32_t>::max();
    rig.g.LineAddEx = std::numeric_limits<int32_t>::max();
    rig.g.BonusMode = std::numeric_limits<int16_t>::max();
    for (int y = 16; y < 20; ++y) rig.fillRow(y, {0});
    rig.placeUpright(0, 16);
    rig.g.Tick();
    EXPECT_EQ(rig.g.Lines, 4);
    EXPECT_EQ(rig.g.Interval, 10000);
  }
}

TEST(GravloInterval, StaysInRangeAfterEveryEntry) {
  for (int32_t drop : {-20000, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 9000}) {
    Rig rig;
    rig.start();
    rig.g.DropAdd = drop;
    for (int i = 0; i < 3; ++i) {
      rig.g.State = StateLocked;
      rig.g.Tick();
      ASSERT_EQ(rig.g.State, StateFalling);
      EXPECT_GE(rig.g.Interval, 5);
      EXPECT_LE(rig.g.Interval, 10000);
    }
    EXPECT_EQ(rig.g.Interval, drop < 0 ? 5 : 10000);
    for (int32_t seen : rig.intervalAtEvent) {
      EXPECT_GE(seen, 5);
      EXPECT_LE(seen, 10000);
    }
  }
}

TEST(GravloBonus, NothingHappensOutsideTheFallingState) {
  for (GravloState state : {StateIdle, StateNewGame, StateLocked, StateBonus, StateGameOver}) {
    for (uint8_t code : {BonusResetTimer, BonusRemoveRow, BonusAddRow, BonusUnassigned}) {
      Rig rig;
      rig.start();
      rig.g.BonusesLeft = 10;
      rig.fillRow(19, {0});
      rig.g.State = state;
      rig.g.Interval = 700;
      rig.g.BonusAction(code);
      EXPECT_EQ(rig.g.State, state);
      EXPECT_EQ(rig.g.BonusesLeft, 10);
      EXPECT_EQ(rig.g.Interval, 700);
      EXPECT_EQ(rig.g.RowCount(), 20);
      EXPECT_EQ(rig.rowCells(19), 9);
      EXPECT_TRUE(rig.events.empty());
    }
  }
}

TEST(GravloBonus, ResetTheInterval) {
  Rig rig;
  rig.start();
  rig.place(0, 3, 0);
  rig.g.Interval = 400;
  rig.g.BonusAction(BonusResetTimer);
  EXPECT_EQ(rig.g.Interval, 1000);
  EXPECT_EQ(rig.g.TimerResets, 1);
  EXPECT_EQ(rig.g.BonusesLeft, 0);
  EXPECT_EQ(rig.g.State, StateFalling);
  EXPECT_EQ(rig.events, std::vector<std::string>{"change"});
  // Not enough bonuses: nothing, but the event still comes.
  rig.g.Interval = 400;
  rig.g.BonusAction(BonusResetTimer);
  EXPECT_EQ(rig.g.Interval, 400);
  EXPECT_EQ(rig.g.TimerResets, 1);
  EXPECT_EQ(rig.events.size(), 2u);
  // A start interval changed during the game is read as it stands, but the
  // window's timer never sees a value outside 5..10000.
  rig.g.BonusesLeft = 5;
  rig.g.TimerNew = 0;
  rig.g.BonusAction(BonusResetTimer);
  EXPECT_EQ(rig.intervalAtEvent.back(), 5);
  rig.g.TimerNew = 50000;
  rig.g.BonusAction(BonusResetTimer);
  EXPECT_EQ(rig.intervalAtEvent.back(), 10000);
  // A negative price adds bonuses.
  rig.g.CostOfTmr = -2;
  rig.g.BonusesLeft = 0;
  rig.g.BonusAction(BonusResetTimer);
  EXPECT_EQ(rig.g.BonusesLeft, 2);
}

TEST(GravloBonus, RemoveTheBottomRow) {
  Rig rig;
  rig.start();
  rig.fillRow(19, {0});
  rig.fillRow(18, {1, 2});
  rig.g.SetCell(3, 17, 4);
  rig.g.TopRow = 17;
  rig.place(0, 3, 2);
  rig.g.BonusAction(BonusRemoveRow);
  EXPECT_EQ(rig.rowCells(19), 8);
  EXPECT_EQ(rig.g.Cell(1, 19), 0u);
  EXPECT_EQ(rig.g.Cell(3, 18), 4u);
  EXPECT_EQ(rig.rowCells(17), 0);
  EXPECT_EQ(rig.g.TopRow, 18);
  EXPECT_EQ(rig.g.LinesRemoved, 1);
  EXPECT_EQ(rig.g.BonusesLeft, 0);
  EXPECT_EQ(rig.g.PieceY, 2);
  EXPECT_EQ(rig.g.State, StateFalling);
  EXPECT_EQ(rig.events, std::vector<std::string>{"change"});
  // Empty board: still paid for, and the top row counter passes the row count.
  rig.start();
  rig.place(0, 3, 2);
  rig.g.BonusAction(BonusRemoveRow);
  EXPECT_EQ(rig.g.TopRow, 21);
  EXPECT_EQ(rig.g.BonusesLeft, 0);
  EXPECT_EQ(rig.g.LinesRemoved, 1);
}

TEST(GravloBonus, AddARowAsOftenAsPaidFor) {
  Rig rig;
  rig.g.CostOfRow = 0;
  rig.start();
  rig.fillRow(19, {0});
  rig.g.SetCell(2, 0, 6);
  rig.place(0, 3, 2);
  for (int i = 1; i <= 25; ++i) {
    rig.g.BonusAction(BonusAddRow);
    EXPECT_EQ(rig.g.RowCount(), 20 + i);
    EXPECT_EQ(rig.g.LinesAdded, i);
  }
  EXPECT_EQ(rig.g.GameRows, 20);
  EXPECT_EQ(rig.g.TopRow, 20);  // not recomputed by the action
  EXPECT_EQ(rig.rowCells(44), 9);
  EXPECT_EQ(rig.g.Cell(2, 25), 6u);
  EXPECT_EQ(rig.rowCells(0), 0);
  EXPECT_EQ(rig.g.PieceY, 2);
  EXPECT_EQ(rig.g.VariantKey("WS").find("_GH20_") != std::string::npos, true);
  // Price and refusal.
  rig.g.CostOfRow = 2;
  rig.g.BonusesLeft = 1;
  rig.g.BonusAction(BonusAddRow);
  EXPECT_EQ(rig.g.RowCount(), 45);
  rig.g.BonusesLeft = 2;
  rig.g.BonusAction(BonusAddRow);
  EXPECT_EQ(rig.g.RowCount(), 46);
  EXPECT_EQ(rig.g.BonusesLeft, 0);
  // The rules run on the grown board: a bar dropped to the floor lands on row 45.
  rig.place(0, 3, 0);
  for (int i = 0; i < 60 && rig.g.State == StateFalling; ++i) rig.g.Tick();
  EXPECT_EQ(rig.g.Cell(3, 44), RGBColor(10, 20, 30));
}

TEST(GravloBonus, OtherCodesOnlyRaiseTheEvent) {
  Rig rig;
  rig.start();
  rig.place(0, 3, 2);
  for (uint8_t code : {uint8_t{0}, uint8_t{4}, uint8_t{8}, uint8_t{255}}) rig.g.BonusAction(code);
  EXPECT_EQ(rig.events.size(), 4u);
  EXPECT_EQ(rig.g.BonusesLeft, 1);
  EXPECT_EQ(rig.g.State, StateFalling);
}

TEST(GravloCounters, SaturateInsteadOfWrapping) {
  Rig rig;
  rig.start();
  rig.place(0, 3, 2);
  rig.g.BonusesLeft = 32767;
  rig.g.CostOfTmr = -32768;
  rig.g.BonusAction(BonusResetTimer);
  EXPECT_EQ(rig.g.BonusesLeft, 32767);
  rig.g.BonusesLeft = -32768;
  rig.g.CostOfRem = -5;
  rig.g.CostOfTmr = 32767;
  rig.g.BonusAction(BonusResetTimer);  // -32768 < 32767: refused
  EXPECT_EQ(rig.g.BonusesLeft, -32768);
  rig.g.TimerResets = 32767;
  rig.g.BonusesLeft = 0;
  rig.g.CostOfTmr = 0;
  rig.g.BonusAction(BonusResetTimer);
  EXPECT_EQ(rig.g.TimerResets, 32767);

  // Bottom bonus on a full counter.
  rig.start();
  rig.g.Bonuses = 32000;
  rig.g.BonusesLeft = 32000;
  rig.g.BonusGain = 32767;
  rig.fillRow(19, {0, 1, 2, 3});
  rig.place(0, 0, 18);
  rig.g.Tick();
  EXPECT_EQ(rig.g.Bonuses, 32767);
  EXPECT_EQ(rig.g.BonusesLeft, 32767);
  rig.start();
  rig.g.Bonuses = -32000;
  rig.g.BonusGain = -32768;
  rig.fillRow(19, {0, 1, 2, 3});
  rig.place(0, 0, 18);
  rig.g.Tick();
  EXPECT_EQ(rig.g.Bonuses, -32768);

  // Drops and lines.
  rig.start();
  rig.g.Drops = std::numeric_limits<int32_t>::max();
  rig.g.Tick();
  EXPECT_EQ(rig.g.Drops, std::numeric_limits<int32_t>::max());
}

TEST(GravloClock, TimeUsedSurvivesTheTickCountersWrap) {
  Rig rig;
  rig.tick = 0xFFFFFF00u;
  rig.start();
  EXPECT_EQ(rig.g.StartTick, 0xFFFFFF00u);
  rig.tick = 0x00000100u;
  rig.g.GameOver();
  EXPECT_EQ(rig.g.TimeUsed, 0x200);
  EXPECT_EQ(rig.g.State, StateGameOver);
  EXPECT_EQ(rig.events, std::vector<std::string>{"over"});
  // A game longer than the counter holds shows the largest value, not a negative one.
  rig.tick = 0xFFFFFF00u - 1;
  rig.g.GameOver();
  EXPECT_EQ(rig.g.TimeUsed, std::numeric_limits<int32_t>::max());
}

TEST(GravloClock, EnsureRandomSeedOnlyFillsAZeroLowByte) {
  foundation::SetRandSeed(0x12345678u);
  EnsureRandomSeed(0x99, [] { return 7u; });
  EXPECT_EQ(foundation::RandSeed(), 0x12345678u);

  foundation::SetRandSeed(0x12345600u);
  EnsureRandomSeed(0x1234, [] { return 7u; });
  EXPECT_EQ(foundation::RandSeed(), 0x12345634u);

  // Seed argument 0 or with a zero low byte: the tick count, read until its
  // low byte is not 0.
  for (int32_t arg : {0, 0x300}) {
    std::vector<uint32_t> ticks = {0x4400u, 0x4500u, 0x4591u};
    size_t i = 0;
    foundation::SetRandSeed(0xABCDEF00u);
    EnsureRandomSeed(arg, [&] { return ticks[std::min(i++, ticks.size() - 1)]; });
    EXPECT_EQ(foundation::RandSeed(), 0xABCDEF91u);
  }

  // A clock that never moves cannot hang the game.
  foundation::SetRandSeed(0x100u);
  EnsureRandomSeed(0, [] { return 0x1200u; });
  EXPECT_NE(foundation::RandSeed() & 0xFFu, 0u);
  EXPECT_EQ(foundation::RandSeed() & 0xFFFFFF00u, 0x100u);
}

TEST(GravloClock, ClampInt) {
  EXPECT_EQ(ClampInt(5, 10, 100), 10);
  EXPECT_EQ(ClampInt(101, 10, 100), 100);
  EXPECT_EQ(ClampInt(50, 10, 100), 50);
  EXPECT_EQ(ClampInt(std::numeric_limits<int32_t>::min(), -1, 1), -1);
  // lo is tested first.
  EXPECT_EQ(ClampInt(0, 10, 5), 10);
}

TEST(GravloState, TickFollowsTheStateMachine) {
  Rig rig;
  EXPECT_EQ(rig.g.State, StateIdle);  // a new engine: empty 15 x 20 board, all shapes
  EXPECT_EQ(rig.g.Columns(), 15);
  EXPECT_EQ(rig.g.RowCount(), 20);
  EXPECT_EQ(rig.g.TopRow, 20);
  EXPECT_EQ(rig.g.ActiveShapes().size(), 18u);
  rig.g.Tick();  // idle: nothing
  EXPECT_EQ(rig.g.State, StateIdle);
  EXPECT_TRUE(rig.events.empty());
  rig.start();
  rig.g.Tick();
  EXPECT_EQ(rig.g.State, StateFalling);
  const int y = rig.g.PieceY;
  rig.g.Tick();
  EXPECT_EQ(rig.g.PieceY, y + 1);
  rig.g.State = StateBonus;
  rig.g.Tick();
  EXPECT_EQ(rig.g.PieceY, y + 1);
  // NewGame from any state starts afresh.
  rig.g.State = StateGameOver;
  rig.g.NewGame();
  EXPECT_EQ(rig.g.State, StateNewGame);
}

TEST(GravloState, PlayingWidthChangedDuringAGameWaitsForTheNextGame) {
  Rig rig;
  rig.start();
  rig.g.Tick();
  rig.g.GameCols = 100;  // the settings window writes at any time
  rig.g.GameRows = 100;
  for (int i = 0; i < 12; ++i) rig.g.MoveRight();
  EXPECT_LE(rig.g.PieceX, 9);
  for (int i = 0; i < 200 && rig.g.State != StateGameOver; ++i) {
    rig.g.Tick();
    rig.g.MoveRight();
  }
  EXPECT_EQ(rig.g.Columns(), 15);
  EXPECT_EQ(rig.g.RowCount(), 20);
  const std::set<Color> previewColours = {RGBColor(130, 126, 112), RGBColor(116, 96, 128), RGBColor(96, 80, 80)};
  for (int x = 10; x < 15; ++x)  // the preview strip was never played on
    for (int y = 0; y < 20; ++y) EXPECT_TRUE(previewColours.count(rig.g.Cell(x, y))) << x << "," << y;
  rig.g.NewGame();
  EXPECT_EQ(rig.g.Columns(), 105);
  EXPECT_EQ(rig.g.RowCount(), 100);
}
