#pragma once
// TGravlo: the whole game model of Gravlo. It owns no timer and no window: the
// main window calls Tick from its timer (copying Interval into the timer after
// every event) and the move, rotate and bonus operations from its key, mouse
// and wheel handlers. The engine keeps an off-screen picture of the board in
// the client size the window gives it, asks to be repainted through
// OnInvalidate, and paints onto the canvas it is given.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphic.h"

namespace platform {
class Bitmap;
class Canvas;
}  // namespace platform

namespace gravlo {

// A 4x4 mask stored column by column: the cell at column offset dx and row
// offset dy (both 0..3, dy downwards) is element dx * 4 + dy; non-zero = set.
using Mask = std::array<int32_t, 16>;

// Cell and piece colours are the platform's (0x00BBGGRR); 0 = empty cell.
using platform::Color;
using platform::RGBColor;

inline constexpr int kMasterShapeCount = 18;
inline constexpr int kQueueLength = 10;
inline constexpr int kPreviewColumns = 5;
// The bottom-row counter and the row count shown with it are 16-bit values, so
// rows added by bonus action 7 stop at this many.
inline constexpr int kMaxBoardRows = 32767;

// The constant master shapes (index k = bit k of the shape mask) and the
// piece colour table indexed by the active index.
const std::array<Mask, kMasterShapeCount>& MasterShapes();
const std::array<Color, kMasterShapeCount>& PieceColours();

// lo when value < lo, else hi when value > hi, else value.
int32_t ClampInt(int32_t value, int32_t lo, int32_t hi);

// The clock the engine reads. Both are replaceable so that games can be
// replayed exactly.
uint32_t SystemTickCount();  // milliseconds since boot, wrapping at 2^32
double SystemLocalNow();     // local date and time: days since 1899-12-30, time as fraction

// Makes sure the low byte of the shared generator's seed is non-zero: keeps the
// seed when it is, otherwise puts the low byte of `seed` (or, when that is 0,
// of the tick count, read until non-zero) into it.
void EnsureRandomSeed(int32_t seed, const std::function<uint32_t()>& tickCount = SystemTickCount);

// Engine states.
enum GravloState : uint8_t {
  StateIdle = 0,      // no game yet: the panel shows the logo
  StateNewGame = 1,   // new game, no piece yet
  StateLocked = 2,    // piece locked, next piece due
  StateFalling = 3,   // piece falling
  StateBonus = 6,     // bonus action running
  StateGameOver = 8,
};

// The bonus actions of BonusAction, one a key (F5 to F8) and a button.
enum BonusCode : uint8_t {
  BonusResetTimer = 5,  // the interval back to TimerNew, for CostOfTmr
  BonusRemoveRow = 6,   // the bottom row goes, for CostOfRem
  BonusAddRow = 7,      // one more row at the top of the board, for CostOfRow
  BonusUnassigned = 8,  // no action (the key F8)
};

class TGravlo {
 public:
  using Event = std::function<void(TGravlo& sender)>;

  TGravlo();
  ~TGravlo();
  TGravlo(const TGravlo&) = delete;
  TGravlo& operator=(const TGravlo&) = delete;

  // ---- rule parameters (the settings; read by the rules as they stand) ----
  int32_t TimerNew = 1000;   // interval at the start of a game; 100..10000 at NewGame
  int16_t GameCols = 10;     // playing columns; 10..100 at NewGame
  int16_t GameRows = 20;     // rows of a new board; 10..100 at NewGame
  int32_t DropAdd = -7;      // ms added to Interval for every piece that enters
  int32_t LineAdd = 11;      // ms added per removed row
  int32_t LineAddEx = 5;     // ms added per row times its rank within one lock
  int16_t BonusNew = 1;      // bonuses a new game starts with
  int16_t BonusMode = -1;    // bottom-bonus mode
  int16_t BonusGain = 1;     // bonuses earned by one bottom bonus
  int16_t BonusZero = 5;     // carried in the settings and the variant key only
  int16_t CostOfRow = 2;     // price of action 7 (add a row)
  int16_t CostOfRem = 1;     // price of action 6 (remove the bottom row)
  int16_t CostOfTmr = 1;     // price of action 5 (reset the interval)
  uint32_t SpriteSet = 127;  // shape mask: bit k selects master shape k

  // ---- game state and counters ----
  int32_t Interval = 1000;   // current drop interval in ms
  uint32_t StartTick = 0;    // tick count when the game started
  int32_t TimeUsed = 0;      // game duration in ms, set at game over
  double StartTime = 0;      // local date-time when the game started
  int32_t Drops = 0;         // pieces that entered the board
  int32_t Lines = 0;         // rows removed by play
  int16_t Bonuses = 0;       // bonuses gained in this game
  int16_t BonusesLeft = 0;   // bonuses still available
  int16_t LinesAdded = 0;    // uses of action 7
  int16_t LinesRemoved = 0;  // uses of action 6
  int16_t TimerResets = 0;   // uses of action 5
  GravloState State = StateIdle;
  int32_t CellWidth = 0;     // pixel size of one board cell
  int32_t CellHeight = 0;
  int16_t TopRow = 20;       // highest row holding a playing cell; the row count when none

  // ---- the falling piece and the queue ----
  Color PieceColour = 0;
  std::array<uint8_t, kQueueLength> Queue{};  // indices into ActiveShapes, Queue[0] next
  int32_t PieceX = 0;        // board column of the piece box's left cell
  int32_t PieceY = 0;        // board row of the piece box's top cell (may be negative)
  Mask Piece{};

  // ---- events (sender = the engine), each raised only when assigned ----
  Event OnGameOver;
  Event OnGameStarted;
  Event OnBoardChange;
  // The panel's picture has changed and wants a repaint.
  Event OnInvalidate;

  // Picture shown while State is StateIdle; not owned (set by the main window).
  platform::Graphic* Logo = nullptr;

  // Clock used for StartTick, TimeUsed, StartTime and seeding.
  std::function<uint32_t()> TickCount = SystemTickCount;
  std::function<double()> LocalNow = SystemLocalNow;

  // ---- operations of the main window ----
  void NewGame();
  void Tick();
  void MoveLeft();
  void MoveRight();
  void Rotate();
  void BonusAction(uint8_t code);  // a BonusCode; other codes act as BonusUnassigned
  // A piece is locked or falling: the game takes moves and the clock runs.
  bool InPlay() const { return State == StateLocked || State == StateFalling; }

  // ---- operations the engine runs itself (public for the window and tests) ----
  void SpawnPiece();
  void LockPiece();
  void GameOver();
  // Collision test of a mask placed with its box's top-left cell at (x, y).
  bool Fits(const Mask& shape, int32_t x, int32_t y) const;

  // ---- board ----
  int32_t Columns() const;   // board columns: playing columns + 5 preview columns
  int32_t PlayCols() const;  // playing columns of the current board
  int32_t RowCount() const;  // rows of the current board
  // Cell colour; 0 for a position outside the board.
  Color Cell(int32_t x, int32_t y) const;
  // Sets a cell; positions outside the board are ignored.
  void SetCell(int32_t x, int32_t y, Color colour);
  const std::vector<Mask>& ActiveShapes() const { return activeShapes_; }

  // ---- rendering ----
  // The panel's client size in pixels (negative counts as 0); ResizeCells
  // fits the board to it.
  void SetClientSize(int32_t width, int32_t height);
  int32_t ClientWidth() const { return clientWidth_; }
  int32_t ClientHeight() const { return clientHeight_; }
  void ResizeCells();   // fit cells and the off-screen bitmap to the client size
  void DrawPreview();   // write the queue into the preview columns
  void RenderBoard();   // draw all cells into the off-screen bitmap
  void Paint(platform::Canvas& canvas);      // the panel's picture
  void PaintLogo(platform::Canvas& canvas);  // the logo, before the first game
  const platform::Bitmap& BoardBitmap() const;

  // ---- statistics ----
  // "_GW..._SS..." key of the current parameters with `prefix` in front.
  std::string VariantKey(const std::string& prefix) const;
  // The ranked result line of the finished game for `player` (Windows-1252).
  std::string ResultLine(const std::string& player) const;

 private:
  void setActiveShapes(uint32_t mask);
  void shiftRowsDown(int32_t bottom);
  std::vector<std::vector<Color>> boardWithoutBottomRow() const;
  std::vector<std::vector<Color>> boardWithRowAdded() const;
  void updateTopRow();
  void invalidatePanel();
  void raise(const Event& event);

  int32_t clientWidth_ = 0;
  int32_t clientHeight_ = 0;
  std::vector<Mask> activeShapes_;
  std::vector<std::vector<Color>> board_;  // board_[x][y]
  std::unique_ptr<platform::Bitmap> boardBitmap_;
};

}  // namespace gravlo
