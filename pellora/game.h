#pragma once
// The play of the card game on its table: building the board, dealing,
// finding and removing pairs, evaluating the board and deciding the outcome,
// with the statistics of each game. No window: the main window is a thin view
// that implements SolGameView (flights, pauses, repaints, the info text and
// the outcome labels) and hands the board's mouse events to the game.
//
// Slot conventions (the table's records):
//   slots 0..5 the persons (the base), 6..MaxSlot the omens, MaxSlot + 1 the
//   deck, MaxSlot + 2 the removals.
//   A person or omen slot's card list: element 0 is the empty-slot picture
//   (54), elements 1..Count the dealt cards from bottom to top; an omen has
//   one more element, Count + 1, holding the card back (53).
//   Top is the list position on view: 0 empty, 1..Count open, Count + 1 a
//   closed omen. PairKey is the rank of the open top card, 0 otherwise.
//   The removals list: element 0 is the empty-removals picture (55), the
//   removed cards follow in the order they were removed, Top is the last.
//
// Busy state: every table-changing step (the deal, a card press and a drag up
// to the end of its drop, the Round, Undo and Redo commands, a board build)
// holds the busy state for its whole run. The view's pauses let events in;
// presses and commands that arrive while busy are ignored, and the window
// waits with closing until Busy() is false.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pellora/options.h"
#include "pellora/stats.h"
#include "pellora/table.h"
#include "platform/graphic.h"

namespace pellora {

// Card pictures beside the cards.
inline constexpr int16_t kCodeBack = 53;
inline constexpr int16_t kCodeEmpty = 54;
inline constexpr int16_t kCodeRemovals = 55;
inline constexpr int kPersonSlots = 6;
inline constexpr int kMaxOmens = 19;
inline constexpr int kPictureNumbers = 57;

// The outcome labels of the main window.
enum class SolOutcome { Engaged, Wedding, Over };  // liEng, liWed, liOvr

struct SolOutcomeText {
  std::string text;
  platform::Color back = 0;
  platform::Color font = 0;
};

// The texts the game shows.
inline constexpr const char* kTxtDealing = "Dealing ...";
inline constexpr const char* kTxtOpenAll = "Open all omens.";
inline constexpr const char* kTxtOpening = "Opening omens.";
inline constexpr const char* kTxtOnePair = "There is a pair.";
inline constexpr const char* kTxtGameOver = "Game over !";
inline constexpr const char* kTxtUndo = "Undo";
inline constexpr const char* kTxtDating = "Dating";
inline constexpr const char* kTxtMarried = "Married";
inline constexpr const char* kTxtQuits = "Quits";
inline constexpr const char* kTxtDivorce = "Divorce";

// The game record that rides along in every undo snapshot: 945 bytes,
// little-endian; bytes not named here are reserved and stay 0.
//   884 int16 bride cards   886 int16 groom cards   888 int16 parent cards
//   890 int16 omen slots    892 int8 counter (ldDPS) 893 int8 -1 after a deal
//   908 int16 counter (lmStk)  910 int8 cards left (lcLft)
//   911 int8 removed (lcRmv)   912 int8 turn (lcTrn)  913 int8 round (lcRnd)
//   918 int32 0 after a deal   926 int32 counter (ltStk)
class SolGameRecord {
 public:
  static constexpr size_t kSize = 945;
  static constexpr size_t kBride = 884, kGroom = 886, kParents = 888, kOmens = 890;
  static constexpr size_t kDps = 892, kDealMark = 893, kStack = 908, kLeft = 910, kRemoved = 911,
                          kTurn = 912, kRound = 913, kDealWord = 918, kTotalStack = 926;

  int16_t I16(size_t at) const;
  void SetI16(size_t at, int16_t v);
  int8_t I8(size_t at) const { return static_cast<int8_t>(bytes_.at(at)); }
  void SetI8(size_t at, int8_t v) { bytes_.at(at) = static_cast<uint8_t>(v); }
  int32_t I32(size_t at) const;
  void SetI32(size_t at, int32_t v);

  recSolCounts Counts() const;
  void SetCounts(const recSolCounts& c);

  std::array<uint8_t, kSize>& Bytes() { return bytes_; }
  const std::array<uint8_t, kSize>& Bytes() const { return bytes_; }
  friend bool operator==(const SolGameRecord&, const SolGameRecord&) = default;

 private:
  std::array<uint8_t, kSize> bytes_{};
};

// The pair counters of the last evaluation (lcMT0 .. lcMT3).
struct SolPairCounts {
  int8_t total = 0;
  int8_t baseBase = 0;  // "B-B"
  int8_t baseOmen = 0;  // "B-O"
  int8_t omenOmen = 0;  // "O-O"
};

// What the game asks of its window. Every call comes on the GUI thread.
class SolGameView {
 public:
  virtual ~SolGameView() = default;
  // The moving card box (pMov).
  virtual SolCardBox& MovingBox() = 0;
  // Flies the box to the slot: speed above 0 pixels per second, else a total
  // time of -speed ms. The window animates (TSolTbl::AnimateMove); a test
  // view puts the box on the slot at once.
  virtual void Fly(TSolTbl& table, SolCardBox& box, int slot, int16_t speed) { table.AnimateMove(box, slot, speed); }
  // Repaints the board now (and the moving box).
  virtual void Repaint() = 0;
  // Lets pending events through (pump messages).
  virtual void ProcessEvents() = 0;
  // Lets pending events through, then waits ms milliseconds.
  virtual void Pause(uint32_t ms) = 0;
  // The info text (lInfo).
  virtual void SetInfo(const std::string& text) = 0;
  // Shows an outcome label, with a new text and colours when given.
  virtual void ShowOutcome(SolOutcome which, const std::optional<SolOutcomeText>& text) = 0;
  virtual void HideOutcome(SolOutcome which) = 0;
  // The counters changed (ShowCounts: game record counters, pair counters).
  virtual void ShowCounts() = 0;
};

class SolGame {
 public:
  // Fills the option record and the slot counts with their defaults, binds
  // the table's OnSave, OnLoad and OnUndo (the game record rides along in
  // every snapshot; an undo step shows "Undo" for 200 ms) and prepares the
  // undo stream. pictures: the 57 card pictures the board registers (null:
  // drawn here).
  SolGame(TSolTbl& table, SolGameView& view, std::shared_ptr<const SolImageList> pictures = nullptr);
  // Unbinds the table's events (the table may outlive the game).
  ~SolGame();
  SolGame(const SolGame&) = delete;
  SolGame& operator=(const SolGame&) = delete;

  TSolTbl& Table() { return table_; }
  const TSolTbl& Table() const { return table_; }
  SolGameRecord& Record() { return record_; }
  const SolGameRecord& Record() const { return record_; }
  Statistics& Stats() { return stats_; }
  const Statistics& Stats() const { return stats_; }
  const SolPairCounts& PairCounts() const { return pairs_; }
  const std::vector<int16_t>& Deck() const { return deck_; }
  const std::vector<uint8_t>& Partners() const { return partners_; }
  int CurrentSlot() const { return current_; }
  bool Busy() const { return busy_; }
  bool Dragging() const { return drag_; }

  // ---- Commands (ignored while busy; false when ignored) ----
  // Init (command 1) and the first activation: builds the board.
  bool BuildBoard(int layout = 0);
  // New / Game (commands 2 and 22).
  bool Deal();
  // Round (command 3).
  bool Evaluate();
  // Undo and Redo (commands 11 and 12).
  bool Undo();
  bool Redo();

  // ---- The board's mouse, in board coordinates ----
  void MouseDown(int x, int y);
  void MouseMove(int x, int y);
  void MouseUp(int x, int y);
  // The drag ended without a release (the window lost the mouse): the card
  // flies back as after a failed drop.
  void CancelDrag();

  // ---- The steps themselves (the commands and the mouse call them) ----
  // Partners of slot s' top card; may change the current slot (a selected
  // slot completes a pair). Returns the number of partners.
  int FindPairs(int s);
  // Removes the top cards of a and b to the removals slot; flags bit 128
  // takes no undo snapshot.
  static constexpr uint8_t kNoSnapshot = 128;
  void RemovePair(int a, int b, uint8_t flags);

  // The pairs on the table now, counted as the evaluation counts them,
  // without changing the table.
  SolPairCounts CountPairs() const;

  // Highest person or omen slot, deck and removals indices (as the table).
  int MaxSlot() const { return table_.MaxSlot; }
  // True when slots a and b form a legal pair now.
  bool IsPair(int a, int b) const;

 private:
  class BusyScope;
  void BuildBoardNow();
  void DealNow();
  // The steps of a deal, in order, and what they share: the moving box,
  // the animation switches as the deal began, the deck's slot and the deal
  // position (cards are dealt from the end of the deck).
  struct DealRun {
    SolCardBox& box;
    uint32_t anim;
    int deckSlot;
    int pos;
  };
  // Every slot back to empty (the cards flying back to the deck when
  // animated), the removals slot emptied.
  void ClearTable(DealRun& run);
  // Fills the deck and shuffles it; returns the deal position, the last
  // index.
  int ShuffleDeck();
  // The card at the deal position, which moves down; its place in the deck
  // becomes -1.
  int16_t TakeCard(int& pos);
  void DealPersons(DealRun& run);
  // The cards left, shared out over the omen slots, every omen closed.
  void DealOmens(DealRun& run);
  // The first evaluation, or with the rule "open all omens on deal" every
  // closed omen opened instead.
  void OpenAfterDeal();
  void EvaluateNow();
  // The evaluation's pair count: paired[i] marks slot i as part of a pair,
  // closedList gets the closed omen slots in order.
  SolPairCounts ScanPairs(std::vector<uint8_t>& paired, std::vector<int>& closedList) const;
  void OpenOmen(int slot);
  void ShowSlotTop(int slot);
  void Select(int slot);
  void ClearSelection();
  int SelectedSlot() const;
  void RecordPhase(int phase);
  void FlyBack();
  void OnFile(int8_t fTyp);
  int16_t Speed(int row) const;
  uint16_t Click(int row) const;
  uint16_t Drag(int row) const;
  void SizeBoxToSlot0(SolCardBox& box);
  void PlaceBoxOn(SolCardBox& box, int slot);

  TSolTbl& table_;
  SolGameView& view_;
  std::shared_ptr<const SolImageList> pictures_;
  SolGameRecord record_;
  Statistics stats_;
  SolPairCounts pairs_;
  std::vector<int16_t> deck_;
  std::vector<uint8_t> partners_;
  int current_ = -1;
  bool busy_ = false;
  bool drag_ = false;
  int lastX_ = 0, lastY_ = 0;
};

// Holds the busy state for one step; a step that finds it held is ignored.
class SolGame::BusyScope {
 public:
  explicit BusyScope(SolGame& g) : g_(g), owner_(!g.busy_) { g_.busy_ = true; }
  ~BusyScope() {
    if (owner_ && !keep_) g_.busy_ = false;
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
  bool Owner() const { return owner_; }
  // The state stays held beyond the scope (a drag in progress).
  void Keep() { keep_ = true; }

 private:
  SolGame& g_;
  bool owner_;
  bool keep_ = false;
};

}  // namespace pellora
