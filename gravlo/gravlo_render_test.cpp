// Drawing of the falling-block engine: cell sizes, the preview strip, the
// off-screen board picture, the panel's paint and the logo.
#include <gtest/gtest.h>

#include <memory>

#include "foundation/random.h"
#include "gravlo/gravlo.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"

using namespace gravlo;

namespace {

constexpr Color kStrip = RGBColor(130, 126, 112);
constexpr Color kQueuedSet = RGBColor(116, 96, 128);
constexpr Color kQueuedEmpty = RGBColor(96, 80, 80);
constexpr Color kEmptyCell = RGBColor(24, 28, 32);
constexpr Color kLogoBack = RGBColor(81, 78, 64);

Color Minus(Color c, int by) {
  auto ch = [&](int shift) { return std::max(0, static_cast<int>((c >> shift) & 0xFF) - by); };
  return RGBColor(ch(0), ch(8), ch(16));
}

// A picture that only remembers where it was asked to draw itself.
class RecordingPicture : public platform::Graphic {
 public:
  std::string ClassName() const override { return "TRecording"; }
  void LoadFromStream(platform::Stream&) override {}
  void SaveToStream(platform::Stream&) override {}
  void Draw(platform::Canvas&, const platform::Rect& rect) override {
    drawn = rect;
    ++draws;
  }
  int Width() const override { return 800; }
  int Height() const override { return 1115; }
  bool Empty() const override { return false; }
  platform::Rect drawn;
  int draws = 0;
};

struct Scene {
  std::unique_ptr<TGravlo> g;
  int invalidated = 0;  // repaints the engine asked for
  explicit Scene(int w, int h) {
    g = std::make_unique<TGravlo>();
    g->SetClientSize(w, h);
    g->OnInvalidate = [this](TGravlo&) { ++invalidated; };
    g->TickCount = [] { return 1000u; };
    g->LocalNow = [] { return 45000.0; };
  }
  void start(int16_t cols = 10, int16_t rows = 20) {
    g->GameCols = cols;
    g->GameRows = rows;
    foundation::SetRandSeed(0x5A5A5A5Au);
    g->NewGame();
  }
  // Color of the board picture at the centre of cell (x, y).
  Color centre(int x, int y) const {
    return g->BoardBitmap().Pixel(x * g->CellWidth + g->CellWidth / 2, y * g->CellHeight + g->CellHeight / 2);
  }
  // Paints the panel into a picture of the panel's size.
  platform::Bitmap paint() {
    platform::Bitmap out(g->ClientWidth(), g->ClientHeight(), platform::PixelFormat::Bit32);
    out.Fill(RGBColor(1, 2, 3));
    platform::Canvas canvas(&out);
    g->Paint(canvas);
    return out;
  }
};

}  // namespace

TEST(GravloRender, CellsFitThePanel) {
  Scene s(310, 410);
  s.start();
  EXPECT_EQ(s.g->CellWidth, 310 / 15);
  EXPECT_EQ(s.g->CellHeight, 410 / 20);
  EXPECT_EQ(s.g->BoardBitmap().Width(), 310);
  EXPECT_EQ(s.g->BoardBitmap().Height(), 410);
  // The panel is resized: the window calls ResizeCells.
  s.g->SetClientSize(150, 100);
  s.g->ResizeCells();
  EXPECT_EQ(s.g->CellWidth, 10);
  EXPECT_EQ(s.g->CellHeight, 5);
  EXPECT_EQ(s.g->BoardBitmap().Width(), 150);
  EXPECT_EQ(s.g->BoardBitmap().Height(), 100);
}

TEST(GravloRender, EveryChangeOfThePictureAsksForARepaint) {
  Scene s(150, 200);
  s.start();  // a new game fits the board to the client size
  EXPECT_GE(s.invalidated, 1);
  int before = s.invalidated;
  s.g->Tick();  // a piece enters
  EXPECT_GT(s.invalidated, before);
  before = s.invalidated;
  s.g->SetClientSize(90, 120);  // the size alone draws nothing yet
  EXPECT_EQ(s.invalidated, before);
  s.g->ResizeCells();
  EXPECT_GT(s.invalidated, before);
  EXPECT_EQ(s.g->BoardBitmap().Width(), 90);
  // Bonus actions that change the board.
  s.g->BonusesLeft = 10;
  for (uint8_t code : {BonusRemoveRow, BonusAddRow}) {
    before = s.invalidated;
    s.g->BonusAction(code);
    EXPECT_GT(s.invalidated, before) << int(code);
  }
  // A negative size counts as none.
  s.g->SetClientSize(-5, -1);
  EXPECT_EQ(s.g->ClientWidth(), 0);
  EXPECT_EQ(s.g->ClientHeight(), 0);
}

TEST(GravloRender, BoardPictureColoursAtCellCentres) {
  Scene s(310, 410);  // cells of 20 x 20; 10 pixels right of and below the board
  s.start();
  s.g->Tick();  // the first piece enters: preview and board are drawn
  ASSERT_EQ(s.g->CellWidth, 20);
  ASSERT_EQ(s.g->CellHeight, 20);
  const platform::Bitmap& bmp = s.g->BoardBitmap();
  EXPECT_EQ(s.centre(0, 19), kEmptyCell);
  EXPECT_EQ(s.centre(9, 0), kEmptyCell);
  // The falling piece is not part of the board picture.
  EXPECT_EQ(s.centre(5, 0), kEmptyCell);

  const Color c = RGBColor(200, 100, 40);
  s.g->SetCell(3, 7, c);
  s.g->RenderBoard();
  EXPECT_EQ(s.centre(3, 7), Minus(c, 64));       // darker inner part
  EXPECT_EQ(bmp.Pixel(60, 150), 0u);             // outline on the left edge
  EXPECT_EQ(bmp.Pixel(61, 141), c);              // the cell's own colour peeks out top-left
  EXPECT_EQ(bmp.Pixel(60 + 19, 140 + 10), 0u);   // inner outline on the right
  const Color dark = RGBColor(30, 70, 10);
  s.g->SetCell(4, 7, dark);
  s.g->RenderBoard();
  EXPECT_EQ(s.centre(4, 7), RGBColor(0, 6, 0));  // lowered, not below 0

  // Empty cells leave their last column and row black.
  EXPECT_EQ(bmp.Pixel(0 * 20 + 19, 19 * 20 + 10), 0u);
  EXPECT_EQ(bmp.Pixel(0 * 20 + 10, 19 * 20 + 19), 0u);

  // The preview strip: separator column, then the queue four rows a shape.
  for (int y = 0; y < 20; ++y) EXPECT_EQ(s.centre(10, y), Minus(kStrip, 64)) << y;
  for (int y = 0; y < 20; ++y) {
    const Mask& shape = s.g->ActiveShapes()[s.g->Queue[static_cast<size_t>(y / 4)]];
    for (int col = 0; col < 4; ++col) {
      const bool set = shape[static_cast<size_t>(col * 4 + y % 4)] != 0;
      EXPECT_EQ(s.centre(11 + col, y), set ? Minus(kQueuedSet, 64) : Minus(kQueuedEmpty, 64)) << col << "," << y;
      EXPECT_EQ(s.g->Cell(11 + col, y), set ? kQueuedSet : kQueuedEmpty);
    }
  }

  // Right of and below the board: the black background.
  for (int y = 0; y < 410; y += 37) EXPECT_EQ(bmp.Pixel(305, y), 0u) << y;
  for (int x = 0; x < 310; x += 37) EXPECT_EQ(bmp.Pixel(x, 405), 0u) << x;
}

TEST(GravloRender, PaintShowsThePictureAndTheFallingPiece) {
  Scene s(310, 410);
  s.start();
  s.g->Queue[0] = 6;  // the square: box rows 1 and 2, columns 1 and 2
  s.g->Tick();
  s.g->Tick();
  s.g->Tick();  // now at PieceY 0: cells in rows 1 and 2, columns 5 and 6
  ASSERT_EQ(s.g->PieceY, 0);
  const Color piece = s.g->PieceColour;
  const platform::Bitmap out = s.paint();
  auto at = [&](int x, int y) { return out.Pixel(x * 20 + 10, y * 20 + 10); };
  EXPECT_EQ(at(5, 1), Minus(piece, 48));
  EXPECT_EQ(at(6, 2), Minus(piece, 48));
  EXPECT_EQ(out.Pixel(5 * 20, 1 * 20 + 10), piece);  // outer part on the left edge
  EXPECT_EQ(at(4, 1), kEmptyCell);
  EXPECT_EQ(at(5, 3), kEmptyCell);
  EXPECT_EQ(at(10, 5), Minus(kStrip, 64));
  EXPECT_EQ(out.Pixel(305, 200), 0u);
  EXPECT_EQ(out.Pixel(100, 405), 0u);

  // After game over the piece still shows over the board.
  s.g->GameOver();
  EXPECT_EQ(s.paint().Pixel(5 * 20 + 10, 1 * 20 + 10), Minus(piece, 48));
}

TEST(GravloRender, PaintBeforeTheFirstGameShowsTheLogo) {
  struct Case {
    int w, h;
    platform::Rect want;
  };
  // Height 1.39375 x width; halves go to the even neighbour.
  for (const Case& c : {Case{80, 1000, {0, 444, 80, 556}},     // 111.5 -> 112
                        Case{240, 1000, {0, 333, 240, 667}},   // 334.5 -> 334
                        Case{160, 223, {0, 0, 160, 223}},      // exact fit
                        Case{800, 600, {185, 0, 615, 600}},    // too high: 600 / 1.39375 = 430.49
                        Case{400, 300, {92, 0, 307, 300}}}) {  // 215.2 wide, left (400 - 215) div 2
    Scene s(c.w, c.h);
    RecordingPicture logo;
    s.g->Logo = &logo;
    const platform::Bitmap out = s.paint();
    EXPECT_EQ(logo.draws, 1);
    EXPECT_EQ(logo.drawn, c.want) << c.w << "x" << c.h << " got " << logo.drawn.left << "," << logo.drawn.top << ","
                                  << logo.drawn.right << "," << logo.drawn.bottom;
    EXPECT_EQ(out.Pixel(0, 0), kLogoBack);
    EXPECT_EQ(out.Pixel(c.w - 1, c.h - 1), kLogoBack);
  }
  // No logo picture: the background alone.
  Scene s(50, 50);
  EXPECT_EQ(s.paint().Pixel(25, 25), kLogoBack);
  // A real picture is stretched into the place.
  Scene t(160, 446);
  platform::Bitmap red(8, 11, platform::PixelFormat::Bit24);
  red.Fill(RGBColor(250, 0, 0));
  t.g->Logo = &red;
  const platform::Bitmap out = t.paint();
  EXPECT_EQ(out.Pixel(80, 223), RGBColor(250, 0, 0));
  EXPECT_EQ(out.Pixel(80, 50), kLogoBack);
}

TEST(GravloRender, NarrowPanelShowsNothingOfTheBoardAndNothingFails) {
  Scene s(12, 15);  // fewer pixels than columns and rows
  s.start();
  s.g->Tick();
  EXPECT_EQ(s.g->CellWidth, 0);
  EXPECT_EQ(s.g->CellHeight, 0);
  const platform::Bitmap out = s.paint();
  for (int y = 0; y < 15; ++y)
    for (int x = 0; x < 12; ++x) EXPECT_EQ(out.Pixel(x, y), 0u);
  // No panel at all.
  TGravlo headless;
  foundation::SetRandSeed(7);
  headless.NewGame();
  headless.Tick();
  EXPECT_EQ(headless.BoardBitmap().Width(), 0);
  platform::Bitmap target(10, 10, platform::PixelFormat::Bit32);
  platform::Canvas canvas(&target);
  headless.Paint(canvas);
  headless.State = StateIdle;
  headless.Paint(canvas);
}

TEST(GravloRender, PanelLargerThanAnyPictureLeavesTheBoardUndrawn) {
  Scene s(30000, 20000);  // more pixels than a bitmap may hold
  s.start();
  s.g->Tick();
  EXPECT_EQ(s.g->State, StateFalling);
  EXPECT_TRUE(s.g->BoardBitmap().Empty());
  EXPECT_EQ(s.g->CellWidth, 2000);
  s.g->SetClientSize(300, 200);
  s.g->ResizeCells();
  EXPECT_EQ(s.g->BoardBitmap().Width(), 300);
}

TEST(GravloRender, TallBoardShowsTenQueuedShapesThenTheStrip) {
  Scene s(300, 600);
  s.start(10, 60);
  s.g->Tick();
  for (int y = 0; y < 60; ++y) {
    EXPECT_EQ(s.g->Cell(10, y), kStrip);
    for (int col = 0; col < 4; ++col) {
      const Color c = s.g->Cell(11 + col, y);
      if (y < 40) {
        const Mask& shape = s.g->ActiveShapes()[s.g->Queue[static_cast<size_t>(y / 4)]];
        EXPECT_EQ(c, shape[static_cast<size_t>(col * 4 + y % 4)] ? kQueuedSet : kQueuedEmpty) << y;
      } else {
        EXPECT_EQ(c, kStrip) << y;
      }
    }
  }
  EXPECT_EQ(s.centre(12, 50), Minus(kStrip, 64));
}

TEST(GravloRender, AddedRowShrinksTheCells) {
  Scene s(300, 420);
  s.start();
  s.g->Tick();
  EXPECT_EQ(s.g->CellHeight, 21);
  s.g->BonusesLeft = 2;
  s.g->BonusAction(7);
  EXPECT_EQ(s.g->RowCount(), 21);
  EXPECT_EQ(s.g->CellHeight, 20);
  s.g->BonusAction(7);
  EXPECT_EQ(s.g->BonusesLeft, 0);
  s.g->CostOfRow = 0;
  for (int i = 0; i < 8; ++i) s.g->BonusAction(7);
  EXPECT_EQ(s.g->RowCount(), 29);
  EXPECT_EQ(s.g->CellHeight, 14);
  EXPECT_EQ(s.centre(0, 28), kEmptyCell);
  EXPECT_EQ(s.centre(10, 28), Minus(kStrip, 64));
}

TEST(GravloRender, RemovedBottomRowIsRedrawn) {
  Scene s(300, 400);
  s.start();
  s.g->Tick();
  for (int x = 0; x < 9; ++x) s.g->SetCell(x, 19, RGBColor(0, 200, 0));
  s.g->RenderBoard();
  EXPECT_EQ(s.centre(2, 19), Minus(RGBColor(0, 200, 0), 64));
  s.g->BonusAction(6);
  EXPECT_EQ(s.centre(2, 19), kEmptyCell);
}

// The board picture is written without the canvas for speed; a set cell must
// look exactly as the two outlined rounded rectangles drawn by the canvas,
// whatever the cell size, and must not reach into its neighbours.
TEST(GravloRender, SetCellMatchesTheCanvasRoundedRectangles) {
  const Color c = RGBColor(200, 150, 90);
  for (int cw = 1; cw <= 7; ++cw) {
    for (int ch = 1; ch <= 7; ++ch) {
      Scene s(15 * cw, 20 * ch);
      s.start();
      ASSERT_EQ(s.g->CellWidth, cw);
      ASSERT_EQ(s.g->CellHeight, ch);
      s.g->SetCell(4, 9, c);
      s.g->RenderBoard();

      // The same cell drawn on black by the canvas, with the default pen.
      platform::Bitmap want(15 * cw, 20 * ch, platform::PixelFormat::Bit32);
      want.Fill(0);
      platform::Canvas canvas(&want);
      const int l = 4 * cw, t = 9 * ch;
      canvas.brush().style = platform::BrushStyle::Solid;
      canvas.brush().color = c;
      canvas.RoundRect(l, t, l + cw - 1, t + ch - 1, 2, 2);
      canvas.brush().color = Minus(c, 64);
      canvas.RoundRect(l + 1, t + 1, l + cw, t + ch, 2, 2);

      const platform::Bitmap& got = s.g->BoardBitmap();
      // The cell and one ring of its empty neighbours.
      for (int y = t - ch; y < t + 2 * ch; ++y)
        for (int x = l - cw; x < l + 2 * cw; ++x) {
          const bool inCell = x >= l && x < l + cw && y >= t && y < t + ch;
          if (inCell) {
            EXPECT_EQ(got.Pixel(x, y), want.Pixel(x, y)) << cw << "x" << ch << " at " << x - l << "," << y - t;
          } else {
            // Empty neighbours: their colour but for their last column and row.
            const bool edge = (x + 1) % cw == 0 || (y + 1) % ch == 0;
            EXPECT_EQ(got.Pixel(x, y), edge ? 0u : kEmptyCell) << cw << "x" << ch << " at " << x << "," << y;
          }
        }
    }
  }
}
