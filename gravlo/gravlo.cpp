// The rules of the falling-block game: shapes, queue, spawn, move, rotate,
// lock with row removal, the drop interval and the bonus economy.
#include "gravlo/gravlo.h"

#include <QDateTime>
#include <algorithm>
#include <ctime>
#include <limits>

#include "foundation/random.h"
#include "gravlo/gravlo_internal.h"
#include "platform/bitmap.h"

namespace gravlo {

namespace {

// Builds a mask from four rows of text ("#" set), top row first.
constexpr Mask MaskFromRows(const char* r0, const char* r1, const char* r2, const char* r3) {
  const char* rows[4] = {r0, r1, r2, r3};
  Mask m{};
  for (int dy = 0; dy < 4; ++dy)
    for (int dx = 0; dx < 4; ++dx) m[dx * 4 + dy] = rows[dy][dx] == '#' ? 1 : 0;
  return m;
}

constexpr std::array<Mask, kMasterShapeCount> kMasterShapes = {
    MaskFromRows("....", "####", "....", "...."),  // 0
    MaskFromRows("..#.", ".##.", ".#..", "...."),  // 1
    MaskFromRows(".#..", ".##.", "..#.", "...."),  // 2
    MaskFromRows("..#.", ".##.", "..#.", "...."),  // 3
    MaskFromRows("..#.", "..#.", ".##.", "...."),  // 4
    MaskFromRows(".#..", ".#..", ".##.", "...."),  // 5
    MaskFromRows("....", ".##.", ".##.", "...."),  // 6
    MaskFromRows("....", ".##.", "....", "...."),  // 7
    MaskFromRows("....", "###.", "....", "...."),  // 8
    MaskFromRows("....", ".##.", "..#.", "...."),  // 9
    MaskFromRows("....", ".###", ".###", "...."),  // 10
    MaskFromRows("..#.", ".##.", ".##.", "...."),  // 11
    MaskFromRows(".#..", ".##.", ".##.", "...."),  // 12
    MaskFromRows(".#..", ".##.", "..#.", "..#."),  // 13
    MaskFromRows("..#.", "..#.", ".##.", ".#.."),  // 14
    MaskFromRows("..#.", ".###", "..#.", "...."),  // 15
    MaskFromRows(".##.", "..#.", ".##.", "...."),  // 16
    MaskFromRows("....", "#.#.", "#.#.", "...."),  // 17
};

constexpr std::array<Color, kMasterShapeCount> kPieceColours = {
    RGBColor(0, 255, 0),     RGBColor(0, 0, 255),     RGBColor(192, 192, 0),   RGBColor(255, 0, 0),     RGBColor(0, 255, 255),
    RGBColor(255, 255, 255), RGBColor(255, 80, 160),  RGBColor(128, 255, 0),   RGBColor(0, 255, 128),   RGBColor(0, 128, 255),
    RGBColor(255, 80, 160),  RGBColor(80, 80, 216),   RGBColor(216, 80, 216),  RGBColor(192, 192, 80),  RGBColor(192, 128, 192),
    RGBColor(216, 80, 128),  RGBColor(208, 160, 216), RGBColor(128, 208, 216),
};

constexpr uint32_t kAllShapesMask = (1u << kMasterShapeCount) - 1;
constexpr uint32_t kDefaultShapeMask = 127;
// Days from 1899-12-30 (day 0 of the stored date-time) to the Julian day count.
constexpr int64_t kJulianDayOfDateZero = 2415019;

}  // namespace

const std::array<Mask, kMasterShapeCount>& MasterShapes() { return kMasterShapes; }
const std::array<Color, kMasterShapeCount>& PieceColours() { return kPieceColours; }

int32_t ClampInt(int32_t value, int32_t lo, int32_t hi) {
  if (value < lo) return lo;
  if (value > hi) return hi;
  return value;
}

namespace detail {

int16_t Sat16(int64_t v) {
  return static_cast<int16_t>(std::clamp<int64_t>(v, std::numeric_limits<int16_t>::min(),
                                                  std::numeric_limits<int16_t>::max()));
}

int32_t Sat32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

int32_t ClampInterval(int64_t v) {
  if (v > kIntervalMax) v = kIntervalMax;
  if (v < kIntervalMin) v = kIntervalMin;
  return static_cast<int32_t>(v);
}

DateTimeParts DecodeDateTime(double dateTime) {
  DateTimeParts p;
  // A value no clock can give (damaged or never set) shows as day 0.
  if (!(dateTime > -693593.0 && dateTime < 2958466.0)) dateTime = 0;
  // Whole milliseconds, as the stored date-time is meant to be read.
  int64_t days = static_cast<int64_t>(dateTime);  // towards zero, like the date part
  double frac = dateTime - static_cast<double>(days);
  if (frac < 0) frac = -frac;
  int64_t ms = static_cast<int64_t>(frac * 86400000.0 + 0.5);
  if (ms >= 86400000) {
    ms -= 86400000;
    days += dateTime < 0 ? -1 : 1;
  }
  const QDate date = QDate::fromJulianDay(days + kJulianDayOfDateZero);
  p.year = date.year();
  p.month = date.month();
  p.day = date.day();
  p.hour = static_cast<int>(ms / 3600000);
  p.minute = static_cast<int>(ms / 60000 % 60);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.msec = static_cast<int>(ms % 1000);
  return p;
}

}  // namespace detail

uint32_t SystemTickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);  // wraps like the platform's tick count
}

double SystemLocalNow() {
  const QDateTime now = QDateTime::currentDateTime();
  const double days = static_cast<double>(now.date().toJulianDay() - kJulianDayOfDateZero);
  return days + static_cast<double>(now.time().msecsSinceStartOfDay()) / 86400000.0;
}

void EnsureRandomSeed(int32_t seed, const std::function<uint32_t()>& tickCount) {
  const uint32_t current = foundation::RandSeed();
  if ((current & 0xFFu) != 0) return;
  const auto tickByte = [&]() -> uint32_t { return tickCount ? tickCount() & 0xFFu : 0u; };
  uint32_t b = seed != 0 ? static_cast<uint32_t>(seed) & 0xFFu : tickByte();
  // The tick count's low byte changes every few milliseconds; a clock that
  // never moves (a replaced one) must not hang the game, so give up at last.
  for (int tries = 0; b == 0 && tries < 1000000; ++tries) b = tickByte();
  if (b == 0) b = 1;
  foundation::SetRandSeed((current & 0xFFFFFF00u) | b);
}

// ---------------------------------------------------------------------------

TGravlo::TGravlo() : boardBitmap_(std::make_unique<platform::Bitmap>(0, 0, platform::PixelFormat::Bit32)) {
  activeShapes_.assign(kMasterShapes.begin(), kMasterShapes.end());
  board_.assign(15, std::vector<Color>(20, 0));
  TopRow = 20;
  State = StateIdle;
}

TGravlo::~TGravlo() = default;

int32_t TGravlo::Columns() const { return static_cast<int32_t>(board_.size()); }

int32_t TGravlo::PlayCols() const { return std::max<int32_t>(0, Columns() - kPreviewColumns); }

int32_t TGravlo::RowCount() const { return board_.empty() ? 0 : static_cast<int32_t>(board_[0].size()); }

Color TGravlo::Cell(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= Columns() || y >= RowCount()) return 0;
  return board_[static_cast<size_t>(x)][static_cast<size_t>(y)];
}

void TGravlo::SetCell(int32_t x, int32_t y, Color colour) {
  if (x < 0 || y < 0 || x >= Columns() || y >= RowCount()) return;
  board_[static_cast<size_t>(x)][static_cast<size_t>(y)] = colour;
}

void TGravlo::raise(const Event& event) {
  if (event) event(*this);
}

void TGravlo::invalidatePanel() { raise(OnInvalidate); }

void TGravlo::SetClientSize(int32_t width, int32_t height) {
  clientWidth_ = std::max<int32_t>(0, width);
  clientHeight_ = std::max<int32_t>(0, height);
}

void TGravlo::setActiveShapes(uint32_t mask) {
  // Only a mask that selects nothing at all among the 18 shapes falls back to
  // the seven four-cell pieces; an empty set could not be played.
  if ((mask & kAllShapesMask) == 0) mask = kDefaultShapeMask;
  activeShapes_.clear();
  for (int k = 0; k < kMasterShapeCount; ++k)
    if (mask & (1u << k)) activeShapes_.push_back(kMasterShapes[static_cast<size_t>(k)]);
}

void TGravlo::NewGame() {
  GameCols = static_cast<int16_t>(ClampInt(GameCols, 10, 100));
  GameRows = static_cast<int16_t>(ClampInt(GameRows, 10, 100));
  const size_t cols = static_cast<size_t>(GameCols) + kPreviewColumns;
  const size_t rows = static_cast<size_t>(GameRows);
  board_.resize(cols);
  for (auto& column : board_) column.resize(rows, 0);
  ResizeCells();
  setActiveShapes(SpriteSet);
  TimerNew = ClampInt(TimerNew, 100, 10000);
  Interval = TimerNew;
  TimeUsed = 0;
  State = StateNewGame;
  Lines = 0;
  Drops = 0;
  Bonuses = BonusNew;
  BonusesLeft = Bonuses;
  LinesAdded = LinesRemoved = TimerResets = 0;
  TopRow = static_cast<int16_t>(RowCount());
  for (int32_t x = 0; x < PlayCols(); ++x) std::fill(board_[static_cast<size_t>(x)].begin(), board_[static_cast<size_t>(x)].end(), 0);
  EnsureRandomSeed(0, TickCount);
  const int32_t n = static_cast<int32_t>(activeShapes_.size());
  for (auto& q : Queue) q = static_cast<uint8_t>(foundation::Random(n));
  StartTick = TickCount ? TickCount() : 0;
  StartTime = LocalNow ? LocalNow() : 0;
  raise(OnGameStarted);
}

void TGravlo::Tick() {
  switch (State) {
    case StateNewGame:
    case StateLocked:
      State = StateFalling;
      SpawnPiece();
      break;
    case StateFalling:
      if (Fits(Piece, PieceX, PieceY + 1))
        ++PieceY;
      else
        LockPiece();
      break;
    default:
      break;
  }
}

void TGravlo::SpawnPiece() {
  const int32_t n = static_cast<int32_t>(activeShapes_.size());
  size_t a = Queue[0];
  std::move(Queue.begin() + 1, Queue.end(), Queue.begin());
  EnsureRandomSeed(0, TickCount);
  Queue[kQueueLength - 1] = static_cast<uint8_t>(foundation::Random(n));
  // The queue is public: an index that does not name an active shape (set
  // from outside) must not read past the set.
  if (a >= activeShapes_.size()) a %= activeShapes_.size();
  Piece = activeShapes_[a];
  PieceColour = kPieceColours[a];
  PieceX = PlayCols() / 2 - 1;
  PieceY = -2;
  DrawPreview();
  RenderBoard();
  invalidatePanel();
  if (!Fits(Piece, PieceX, PieceY)) {
    GameOver();
    return;
  }
  Drops = detail::Sat32(static_cast<int64_t>(Drops) + 1);
  Interval = detail::ClampInterval(static_cast<int64_t>(Interval) + DropAdd);
  raise(OnBoardChange);
}

bool TGravlo::Fits(const Mask& shape, int32_t x, int32_t y) const {
  const int64_t cols = PlayCols();
  const int64_t rows = RowCount();
  return detail::ForEachSetCell(shape, x, y, [&](int64_t cx, int64_t cy) {
    if (cx < 0 || cx >= cols || cy >= rows) return false;
    return cy < 0 || board_[static_cast<size_t>(cx)][static_cast<size_t>(cy)] == 0;
  });
}

void TGravlo::MoveLeft() {
  if (State != StateFalling) return;
  if (PieceX > std::numeric_limits<int32_t>::min() && Fits(Piece, PieceX - 1, PieceY)) --PieceX;
}

void TGravlo::MoveRight() {
  if (State != StateFalling) return;
  if (PieceX < std::numeric_limits<int32_t>::max() && Fits(Piece, PieceX + 1, PieceY)) ++PieceX;
}

void TGravlo::Rotate() {
  if (State != StateFalling) return;
  Mask turned{};
  for (int dx = 0; dx < 4; ++dx)
    for (int dy = 0; dy < 4; ++dy) turned[static_cast<size_t>((3 - dy) * 4 + dx)] = Piece[static_cast<size_t>(dx * 4 + dy)];
  if (Fits(turned, PieceX, PieceY)) Piece = turned;
}

// Rows 1..bottom take the playing cells of the row above; row 0 is cleared.
void TGravlo::shiftRowsDown(int32_t bottom) {
  const int32_t cols = PlayCols();
  for (int32_t x = 0; x < cols; ++x) {
    auto& column = board_[static_cast<size_t>(x)];
    for (int32_t r = bottom; r >= 1; --r) column[static_cast<size_t>(r)] = column[static_cast<size_t>(r - 1)];
    if (!column.empty()) column[0] = 0;
  }
}

void TGravlo::updateTopRow() {
  const int32_t cols = PlayCols();
  const int32_t rows = RowCount();
  int32_t top = rows;
  for (int32_t y = 0; y < rows && top == rows; ++y)
    for (int32_t x = 0; x < cols; ++x)
      if (board_[static_cast<size_t>(x)][static_cast<size_t>(y)] != 0) {
        top = y;
        break;
      }
  TopRow = detail::Sat16(top);
}

void TGravlo::LockPiece() {
  if (State != StateFalling) return;
  const int32_t cols = PlayCols();
  const int32_t rows = RowCount();
  detail::ForEachSetCell(Piece, PieceX, PieceY, [&](int64_t cx, int64_t cy) {
    // Cells above row 0 are lost: the board has no rows there.
    if (cy >= 0 && cy < rows && cx >= 0 && cx < cols)
      board_[static_cast<size_t>(cx)][static_cast<size_t>(cy)] = PieceColour;
    return true;
  });
  State = StateLocked;

  // Rows are counted and summed exactly; the addends are the 16-bit values of
  // the parameters, as the players' stored variants were played with them.
  const int64_t lineAdd16 = static_cast<int16_t>(static_cast<uint32_t>(LineAdd) & 0xFFFFu);
  const int64_t lineAddEx16 = static_cast<int16_t>(static_cast<uint32_t>(LineAddEx) & 0xFFFFu);
  int64_t k = 0;
  int64_t sum = 0;
  for (int32_t j = 0; j < rows; ++j) {
    bool full = cols > 0;
    for (int32_t x = 0; x < cols && full; ++x) full = board_[static_cast<size_t>(x)][static_cast<size_t>(j)] != 0;
    if (!full) continue;
    ++k;
    Lines = detail::Sat32(static_cast<int64_t>(Lines) + 1);
    sum += lineAdd16 + lineAddEx16 * k;
    shiftRowsDown(j);
  }
  updateTopRow();
  if (k == 0) return;

  int64_t interval = static_cast<int64_t>(Interval) + sum;
  if (TopRow >= rows - 1 && BonusMode != 0) {
    if (BonusMode == -2)
      interval = TimerNew;
    else if (BonusMode == -1)
      interval += k * LineAdd + k * LineAddEx;
    else if (BonusMode > 0)
      interval += BonusMode;
    Bonuses = detail::Sat16(static_cast<int64_t>(Bonuses) + BonusGain);
    BonusesLeft = detail::Sat16(static_cast<int64_t>(BonusesLeft) + BonusGain);
  }
  // Clamped before the event, so the window's timer never gets a period
  // outside 5..10000.
  Interval = detail::ClampInterval(interval);
  raise(OnBoardChange);
}

// The board with the bottom row gone: every playing column moves down one
// row and row 0 starts empty; the preview columns stay.
std::vector<std::vector<Color>> TGravlo::boardWithoutBottomRow() const {
  std::vector<std::vector<Color>> next = board_;
  const size_t cols = static_cast<size_t>(PlayCols());
  for (size_t x = 0; x < cols; ++x) {
    auto& column = next[x];
    if (column.empty()) continue;
    std::copy_backward(column.begin(), column.end() - 1, column.end());
    column[0] = 0;
  }
  return next;
}

// The board one row taller: every playing column moves down one row with an
// empty row 0 on top; the preview columns get an empty row at the bottom.
std::vector<std::vector<Color>> TGravlo::boardWithRowAdded() const {
  const size_t cols = static_cast<size_t>(PlayCols());
  std::vector<std::vector<Color>> next;
  next.reserve(board_.size());
  for (size_t x = 0; x < board_.size(); ++x) {
    const auto& column = board_[x];
    std::vector<Color> taller(column.size() + 1, 0);
    if (x < cols)
      std::copy(column.begin(), column.end(), taller.begin() + 1);
    else
      std::copy(column.begin(), column.end(), taller.begin());
    next.push_back(std::move(taller));
  }
  return next;
}

void TGravlo::BonusAction(uint8_t code) {
  if (State != StateFalling) return;
  // A board-changing action builds its new board before anything changes:
  // when that fails the game stands as it was, and a board once in place has
  // columns of one length.
  std::vector<std::vector<Color>> next;
  const bool resetTimer = code == BonusResetTimer && BonusesLeft >= CostOfTmr;
  const bool removeRow = code == BonusRemoveRow && BonusesLeft >= CostOfRem;
  // The row count is shown and counted in 16 bits: no rows past that.
  const bool addRow = code == BonusAddRow && BonusesLeft >= CostOfRow && RowCount() < kMaxBoardRows;
  if (removeRow) next = boardWithoutBottomRow();
  if (addRow) next = boardWithRowAdded();

  State = StateBonus;
  if (resetTimer) {
    Interval = detail::ClampInterval(TimerNew);
    TimerResets = detail::Sat16(static_cast<int64_t>(TimerResets) + 1);
    BonusesLeft = detail::Sat16(static_cast<int64_t>(BonusesLeft) - CostOfTmr);
  } else if (removeRow) {
    board_.swap(next);
    TopRow = detail::Sat16(static_cast<int64_t>(TopRow) + 1);
    LinesRemoved = detail::Sat16(static_cast<int64_t>(LinesRemoved) + 1);
    BonusesLeft = detail::Sat16(static_cast<int64_t>(BonusesLeft) - CostOfRem);
    RenderBoard();
    invalidatePanel();
  } else if (addRow) {
    board_.swap(next);
    LinesAdded = detail::Sat16(static_cast<int64_t>(LinesAdded) + 1);
    ResizeCells();
    invalidatePanel();
    BonusesLeft = detail::Sat16(static_cast<int64_t>(BonusesLeft) - CostOfRow);
  }
  State = StateFalling;
  Interval = detail::ClampInterval(Interval);
  raise(OnBoardChange);
}

void TGravlo::GameOver() {
  State = StateGameOver;
  const uint32_t now = TickCount ? TickCount() : StartTick;
  const uint32_t elapsed = now - StartTick;  // modulo 2^32: survives the tick count's wrap
  TimeUsed = static_cast<int32_t>(std::min<uint32_t>(elapsed, static_cast<uint32_t>(std::numeric_limits<int32_t>::max())));
  raise(OnGameOver);
}

}  // namespace gravlo
