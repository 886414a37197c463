#pragma once
// The card table of the card game: slots (places that hold a pile of cards)
// and labels (texts painted beside them), the card pictures, the game option
// record, undo and redo snapshots, the layout, painting, hit test and move
// animation, and the board file.
//
// The table has no window. It gets the board's client size (SetBoardSize or
// Resize), paints into a back bitmap and copies it onto a canvas the caller
// holds (PaintTable), and asks for repaints through OnInvalidate. A Qt board
// binds to it in gamebox.h. The moving card box is reached through the
// SolCardBox interface, so animations and drops run without widgets.
//
// Every index into slots, labels, pictures and card lists is checked: a bad
// index raises SolTblError, never touches memory outside a table.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "pellora/options.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/stream.h"

namespace pellora {

class SolTblError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Slot kinds.
enum SolSlotKind : uint8_t { skPerson = 1, skOmen = 2, skDeck = 200, skRemovals = 230 };

// Slot flag: AddSlot gives the slot a card list of one element.
inline constexpr uint16_t kSlotFlagOneCard = 1;
// Label flag: the counter (top position) of the slot of the same index is
// painted after the caption.
inline constexpr uint16_t kLabelFlagCounter = 1;

inline constexpr int kSlotNameMax = 15;
inline constexpr int kMaxTableEntries = 32767;

// Events: fTyp 10 a snapshot is being saved (append the owner's data at the
// undo stream's position), 11 one is being loaded (read it back), 12 the undo
// step is complete.
enum SolEventType : int8_t { etSave = 10, etLoad = 11, etUndo = 12 };

class TSolTbl;
using eSolEvent = std::function<void(TSolTbl& sender, int8_t& fTyp)>;

// UndoStatus bits.
enum SolUndoStatus : uint8_t { usCanUndo = 1, usCanRedo = 2 };

// One slot or one label. The same record serves both; the comments say what
// each table keeps in a field. The fields from Res28 on are stored in
// snapshots as 107 bytes in this order and these widths.
struct recSolSlt {
  std::string Caption;  // label: caption painted on the board
  std::string Tip;      // slot: tip text
  std::string Extra;    // label: extra text
  std::string Text12, Text16, Text20;  // not used
  // Slot: element 0 is the empty-slot picture, the cards follow, the last
  // is on top.
  std::vector<int16_t> Cards;

  uint16_t Res28 = 0;
  int16_t Ind = 0;  // the index argument of AddSlot / AddLabel
  std::array<uint8_t, 16> Res32{};
  std::string Name;  // up to kSlotNameMax characters
  std::array<uint8_t, 16> Res64{};
  int32_t X = 0, Y = 0;  // design units
  int32_t W = 0, H = 0;  // label: size in design units
  uint8_t Kind = 0;      // slot: SolSlotKind
  uint8_t Visible = 0;
  uint16_t Flags = 0;
  platform::Rect Rect;  // screen rectangle in pixels (layout)
  uint8_t Paired = 0;   // slot: paired flag; label: AddLabel's byte value
  int16_t Top = 0;      // slot: position of the top card; label: font height in pixels
  int16_t Count = 0;    // slot: number of cards to deal
  uint16_t Res121 = 0;
  uint16_t Mark123 = 0;  // slot: kept by the main window
  int16_t PairKey = 0;   // slot: rank of the top card
  int16_t Picture = 0;   // slot: picture number painted
  std::array<uint8_t, 3> Res129{};
  uint8_t Selected = 0;  // slot: painted with a frame
  uint16_t Res133 = 0;

  // Checked card list access: a position outside the list raises SolTblError.
  int16_t Card(int pos) const;
  void SetCard(int pos, int16_t code);
  // Resizes the card list (new elements 0); n outside 0..32767 raises.
  void SetCardCount(int n);
  int CardCount() const { return static_cast<int>(Cards.size()); }

  friend bool operator==(const recSolSlt&, const recSolSlt&) = default;
};

// A picture list: pictures of one size, shared with the table that scales
// them.
using SolImageList = std::vector<platform::Bitmap>;

struct recSolPicSrc {
  int16_t Number = 0;
  std::shared_ptr<const SolImageList> List;  // null: never registered
  int16_t Index = -1;
};

struct recSolDrop {
  int16_t Slot = 0;
  double Unused = 0;
  int32_t Area = 0;
};

// The box that carries a moving card (the main window's moving card box):
// its bounds are in board coordinates, Tag is the slot the card came from,
// Value the picture it shows.
class SolCardBox {
 public:
  virtual ~SolCardBox() = default;
  virtual platform::Rect Bounds() const = 0;
  virtual void SetBounds(const platform::Rect& bounds) = 0;
  virtual int Tag() const = 0;
  virtual void SetTag(int tag) = 0;
  virtual int32_t Value() const = 0;
  virtual void SetValue(int32_t value) = 0;
  virtual bool Selected() const = 0;
  virtual bool Visible() const = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual platform::Color BoxColor() const = 0;

  void MoveTo(int left, int top);
};

// A card box without a window, for the rules and the tests.
class SolCardBoxModel : public SolCardBox {
 public:
  platform::Rect Bounds() const override { return bounds; }
  void SetBounds(const platform::Rect& b) override { bounds = b; ++moves; }
  int Tag() const override { return tag; }
  void SetTag(int t) override { tag = t; }
  int32_t Value() const override { return value; }
  void SetValue(int32_t v) override { value = v; }
  bool Selected() const override { return selected; }
  bool Visible() const override { return visible; }
  void SetVisible(bool v) override { visible = v; }
  platform::Color BoxColor() const override { return color; }

  platform::Rect bounds;
  int tag = 0;
  int32_t value = 0;
  bool selected = false;
  bool visible = false;
  platform::Color color = platform::clBlack;
  int moves = 0;  // SetBounds calls
};

// Time for the animations and the game clock. Tests put a fake clock here so
// nothing waits.
struct SolTiming {
  std::function<uint64_t()> NowMs;             // tick count in milliseconds
  std::function<void(uint32_t ms)> SleepMs;    // plain sleep
  static SolTiming System();
};

// Kind classes of SlotAt.
enum SolKindClass : int16_t { kcNone = 0, kcSlot = 1, kc190 = 190, kcDeck = 200, kc210 = 210, kc230 = 230, kc240 = 240 };

// The layout's result for a board size (a pure function of the geometry).
struct SolLayoutScale {
  bool accepted = false;  // false: no layout (MaxWidth below 1, a slot above 10,000 px)
  float scaleX = 0, scaleY = 0, aspect = 1;
  int slotWidth = 0, slotHeight = 0;
  int offset = 0;  // horizontal centring
};
SolLayoutScale ComputeLayout(int clientWidth, int clientHeight, int maxWidth, int maxHeight, int defWidth,
                             int defHeight, int picWidth, int picHeight);

// Key colour of the card pictures before they are scaled (see-through).
inline constexpr platform::Color kPictureKeyColour = platform::RGBColor(248, 248, 0);
// Label text and selection frames.
inline constexpr platform::Color kTableHighlight = platform::RGBColor(0, 255, 0);

class TSolTbl {
 public:
  TSolTbl();
  ~TSolTbl();
  TSolTbl(const TSolTbl&) = delete;
  TSolTbl& operator=(const TSolTbl&) = delete;

  // ---- Geometry (the block stored in snapshots) ----
  int16_t Reserved = 0;
  int16_t DefWidth = 100, DefHeight = 100;
  int16_t PicHeight = 96, PicWidth = 71;
  int32_t MaxWidth = 1, MaxHeight = 1;
  float ScaleX = 0, ScaleY = 0;
  float PicAspect = 96.0f / 71.0f;
  int16_t MaxSlot = 0, DeckInd = 0, RemInd = 0, TurnInd = 0;
  int16_t FPS = 15;
  int16_t SavedHigh = 0;  // highest slot index at the last snapshot

  // ---- Header ----
  std::string BoardName, BoardFile, UndoFile;
  int32_t UndoPos() const { return undoPos_; }
  int32_t UndoTop() const { return undoTop_; }
  uint8_t UndoStatus = 0;

  uint32_t Animate = 0;  // kept for the owner
  recSolOpt Options;
  // Element 0 is the selected slot or -1 (kept for the main window).
  std::vector<int16_t> Selection;

  eSolEvent OnLoad, OnSave, OnUndo;

  // ---- Option word ----
  bool UseLbl() const { return UseLblBit(4); }
  void SetUseLbl(bool value) { SetUseLblBit(4, value); }
  bool UseLblBit(int index) const;
  void SetUseLblBit(int index, bool value);

  // ---- Slots and labels ----
  // index -1 appends; an index beyond the end grows the table (new records
  // zero). Returns the index used. Kind 200 sets DeckInd, 230 RemInd.
  int16_t AddSlot(int index, int x, int y, int kind, int count, int flags, const std::string& name,
                  const std::string& tip);
  int16_t AddLabel(int index, int x, int y, int width, int height, int byteValue, int flags,
                   const std::string& name, const std::string& caption, const std::string& extra);
  void ClearSlots();
  int SlotCount() const { return static_cast<int>(slots_.size()); }
  int LabelCount() const { return static_cast<int>(labels_.size()); }
  // Checked: an index outside the table raises SolTblError.
  recSolSlt& Slot(int i);
  const recSolSlt& Slot(int i) const;
  recSolSlt& Label(int i);
  const recSolSlt& Label(int i) const;
  const std::vector<recSolSlt>& Slots() const { return slots_; }
  const std::vector<recSolSlt>& Labels() const { return labels_; }

  // ---- Pictures ----
  // A negative number appends. Returns the number.
  int16_t AddPicture(std::shared_ptr<const SolImageList> list, int index, int number);
  const std::vector<recSolPicSrc>& PictureSources() const { return sources_; }
  // The scaled pictures (ScalePictures); checked access.
  int PictureCount() const { return static_cast<int>(pictures_.size()); }
  const platform::Bitmap& Picture(int number) const;

  // ---- Generator and shuffle ----
  // seed := seed * 134775813 + 1, then the upper 32 bits of seed * n. The
  // seed starts at 0 and is never taken from the clock.
  int32_t Random(int32_t n);
  uint32_t Seed() const { return seed_; }
  void SetSeed(uint32_t seed) { seed_ = seed; }
  // Shuffles cards[low..high] in place with (n * 1000 + 1) exchanges; a high
  // index past the end raises SolTblError and changes nothing.
  void ShuffleCards(std::vector<int16_t>& cards, int32_t high, uint8_t low);

  // ---- Undo and redo ----
  void InitUndo(eSolEvent handler);
  // Drops every snapshot; the callers call it at every deal, board build and
  // game over.
  void ClearUndo();
  void SaveUndo();
  // back true: Undo; false: Redo. Damaged snapshot data raises SolTblError
  // and leaves the table as it was.
  void StepUndo(bool back);
  bool CanUndo() const { return UndoStatus & usCanUndo; }
  bool CanRedo() const { return UndoStatus & usCanRedo; }
  // The undo stream the owner's handlers read and write (null before InitUndo).
  platform::MemoryStream* UndoStream() { return undo_.get(); }
  // Reads one snapshot's geometry and slot entries at the stream's position,
  // raises OnLoad, then takes them over. Raises SolTblError (table unchanged)
  // on damaged data.
  void LoadSnapshot(platform::Stream& stream);
  // Writes one snapshot's geometry and slot entries at the stream's position.
  void WriteSnapshot(platform::Stream& stream);

  // ---- Layout and painting ----
  // The board's client size; a change lays the table out (as Resize).
  void SetBoardSize(int width, int height);
  int BoardWidth() const { return boardWidth_; }
  int BoardHeight() const { return boardHeight_; }
  platform::Color BoardColor;
  // Asks the board for a repaint (set by the view).
  std::function<void()> OnInvalidate;
  // Carries out pending paints at once (set by the view; used per frame).
  std::function<void()> OnUpdateNow;
  // Raised by the destructor (the view lets go of the table).
  std::function<void()> OnDestroy;
  // The size handler: DoLayout with its errors swallowed, not re-entered.
  void Resize();
  // Lays the table out for the board size; raises on a picture size beyond
  // 16 bits.
  void DoLayout();
  void ScalePictures(int width, int height);
  // How many times the picture list has been rebuilt (ScalePictures runs):
  // rescaling all pictures is the costly part of a layout.
  uint64_t PictureScalings() const { return pictureScalings_; }
  // Paints the table (into the back bitmap when needed) and copies the back
  // bitmap onto the canvas at (0, 0).
  void PaintTable(platform::Canvas& target);
  // Brings the back bitmap up to date without a target.
  void RenderBack();
  // The whole text of the board label drawn shortened (with "...") under
  // board point (x, y); empty when there is none.
  std::string LabelTipAt(int x, int y) const;
  const platform::Bitmap& BackBitmap() const { return back_; }
  bool FullRepaint() const { return fullRepaint_; }
  // Paints the moving card box: its colour, its picture, a frame when selected.
  void PaintMoving(const SolCardBox& box, platform::Canvas& target);

  // ---- Hit test, drop and animation ----
  // Highest visible slot whose rectangle contains the point, edges included:
  // sets index and returns its kind class; kcNone (index unchanged) for none.
  int16_t SlotAt(int x, int y, int16_t& index) const;
  static int16_t KindClass(int kind);
  // Slots under the box, largest overlap first, in DropCandidates(); returns
  // their count - 1 (-1 for none).
  int16_t FindDropSlot(const SolCardBox& box);
  const std::vector<recSolDrop>& DropCandidates() const { return drops_; }
  // Moves the box to the slot's screen position: speed above 0 pixels per
  // second, else a total time of -speed ms; FPS 0 jumps.
  void AnimateMove(SolCardBox& box, int slot, int16_t speed);
  SolTiming Timing;

  // ---- Game clock ----
  void ToggleClock();
  uint64_t ClockStart() const { return clockStart_; }
  uint32_t ClockTotal() const { return clockTotal_; }

  // ---- Board file ----
  // Writes the board file: empty names mean BoardFile and BoardName. A save
  // that fails is reported once (message box) and returns false; it never
  // raises.
  bool SaveBoard(uint8_t flag, const std::string& section, const std::string& file);
  // Key and text of one record's board-file entry (both empty).
  static void SlotText(const recSolSlt& record, uint8_t flag, std::string& key, std::string& text);

  // A name in the system's temporary folder that no file has yet (nothing
  // is created: whoever writes there must create it exclusively).
  static std::string TempFileName(const std::string& prefix);

 private:
  void RefreshRedoStatus();
  int BlockIndexAt(int32_t pos) const;
  void RestoreBlock(int32_t start);

  std::vector<recSolSlt> slots_;
  std::vector<recSolSlt> labels_;
  std::vector<recSolPicSrc> sources_;
  std::vector<platform::Bitmap> pictures_;
  // What painting needs of a picture, made on its first paint: the opaque
  // runs of each row (for the back bitmap) and a see-through image (for
  // other canvases).
  struct PictureCache {
    bool spansReady = false;
    std::vector<int32_t> rowStart;  // first span of row y; rowStart[height] = end
    std::vector<std::pair<int32_t, int32_t>> spans;  // [x0, x1)
    QImage image;
  };
  std::vector<PictureCache> caches_;
  PictureCache& Spans(int number);
  const QImage& SeeThrough(int number);
  void BlitPicture(int number, int left, int top);
  // Whether a layout rebuilds pictures that are already at the slot size.
  enum class PictureRescale { kAlways, kOnSizeChange };
  void LayOut(PictureRescale rescale);
  // The layout after a restore: a snapshot moves cards, not the slot size,
  // so the pictures are kept when they fit (guarded, errors swallowed).
  void RelayoutAfterRestore();
  int pictureWidth_ = 0, pictureHeight_ = 0;
  bool picturesCurrent_ = false;  // built from the present sources
  uint64_t pictureScalings_ = 0;
  std::vector<recSolDrop> drops_;
  std::unique_ptr<platform::MemoryStream> undo_;
  int32_t undoPos_ = 0;
  int32_t undoTop_ = 0;
  // Start offsets of the blocks of the chain up to the undo top: the chain
  // is walked forward through them.
  std::vector<int32_t> blocks_;
  uint16_t optionWord_ = 0;
  uint8_t layoutGuard_ = 0;
  platform::Bitmap back_;
  // Labels drawn shortened at the last full repaint: their rectangle as
  // drawn and their whole text.
  std::vector<std::pair<platform::Rect, std::string>> labelTips_;
  bool fullRepaint_ = true;
  int boardWidth_ = 0, boardHeight_ = 0;
  uint64_t clockStart_ = 0;
  uint32_t clockTotal_ = 0;
  uint32_t seed_ = 0;
  bool boardSaveReported_ = false;
};

}  // namespace pellora
