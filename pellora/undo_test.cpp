// Undo and redo snapshots: exact block layout, round trips through the
// owner's record, the chain cut, redo, and damaged snapshot data.
#include <gtest/gtest.h>

#include <cstring>

#include "pellora/table.h"

namespace pellora {
namespace {

constexpr size_t kOwnerSize = 945;

// An owner that keeps a game record and carries it in every snapshot, as the
// main window does.
struct Owner {
  std::vector<uint8_t> record = std::vector<uint8_t>(kOwnerSize);
  int saves = 0, loads = 0, undos = 0;

  void Bind(TSolTbl& t) {
    t.OnSave = [this](TSolTbl& s, int8_t& typ) {
      EXPECT_EQ(typ, etSave);
      ++saves;
      s.UndoStream()->WriteBuffer(record.data(), record.size());
    };
    t.OnLoad = [this](TSolTbl& s, int8_t& typ) {
      EXPECT_EQ(typ, etLoad);
      ++loads;
      std::vector<uint8_t> r(kOwnerSize);
      s.UndoStream()->ReadBuffer(r.data(), r.size());
      record = r;
    };
    t.InitUndo([this](TSolTbl&, int8_t& typ) {
      EXPECT_EQ(typ, etUndo);
      ++undos;
    });
  }
};

std::vector<uint8_t> Image(TSolTbl& t) {
  platform::MemoryStream s;
  t.WriteSnapshot(s);
  return s.Bytes();
}

void Fill(TSolTbl& t) {
  t.AddSlot(-1, 10, 20, skPerson, 3, 0, "Bride", "tip of the bride");
  t.AddSlot(-1, 30, 40, skOmen, 0, kSlotFlagOneCard, "Omen1", "");
  t.AddSlot(-1, 50, 60, skRemovals, 0, 0, "Rem", "t");
  t.Slot(0).Cards = {54, 7, 20, 33};
  t.Slot(0).Top = 3;
  t.Slot(0).PairKey = 7;
  t.Slot(1).Cards = {54, 12, 53};
  t.Slot(1).Caption = "c";
  t.Slot(1).Text20 = "twenty";
  t.Slot(2).Cards = {};
  t.Slot(0).Res32[5] = 0xAB;
  t.Slot(2).Res129[2] = 0x5C;
  t.ScaleX = 1.0f;
  t.ScaleY = 1.352f;
  t.FPS = 25;
  t.MaxWidth = 900;
  t.MaxHeight = 383;
}

TEST(SolUndo, RoundTripGivesBackEveryByteOfTableAndOwner) {
  TSolTbl t;
  Owner o;
  o.Bind(t);
  Fill(t);
  for (size_t i = 0; i < kOwnerSize; ++i) o.record[i] = static_cast<uint8_t>(i * 7 + 3);
  const auto ownerBefore = o.record;
  const auto slotsBefore = t.Slots();
  const auto imageBefore = Image(t);
  t.SaveUndo();
  EXPECT_EQ(t.UndoStatus, usCanUndo);
  // Mutate everything a snapshot holds.
  t.Slot(0).Cards.pop_back();
  t.Slot(0).Top = 2;
  t.Slot(1).Tip = "changed";
  t.AddSlot(-1, 0, 0, skPerson, 0, 0, "extra", "");
  t.ScaleY = 3.0f;
  t.FPS = 0;
  t.MaxWidth = 5;
  o.record.assign(kOwnerSize, 0xFF);
  t.StepUndo(true);
  EXPECT_EQ(t.Slots(), slotsBefore);
  EXPECT_EQ(o.record, ownerBefore);
  EXPECT_EQ(Image(t), imageBefore);
  EXPECT_FLOAT_EQ(t.ScaleY, 1.352f);
  EXPECT_EQ(t.FPS, 25);
  EXPECT_EQ(t.UndoPos(), 0);
  EXPECT_FALSE(t.CanUndo());
  EXPECT_TRUE(t.CanRedo());
  EXPECT_EQ(o.undos, 1);
}

TEST(SolUndo, OneSlotBlockHasTheExactSizeAndOffsets) {
  TSolTbl t;
  Owner o;
  o.Bind(t);
  t.AddSlot(-1, 124, 246, skPerson, 10, kSlotFlagOneCard, "brdPa", "");
  t.Slot(0).Cards[0] = 54;
  t.Slot(0).Rect = platform::MakeRect(-1, 2, 300, 400);
  t.Slot(0).Picture = 53;
  t.Slot(0).Selected = 1;
  t.SaveUndo();
  const int32_t owner = static_cast<int32_t>(kOwnerSize);
  const int32_t length = 4 + 42 + 137 + owner;
  EXPECT_EQ(t.UndoPos(), length + 4);
  EXPECT_EQ(t.UndoTop(), length + 4);
  const auto& b = t.UndoStream()->Bytes();
  EXPECT_EQ(b.size(), 32768u);
  auto u16 = [&](size_t at) { return static_cast<int>(b[at] | (b[at + 1] << 8)); };
  auto i32 = [&](size_t at) {
    return static_cast<int32_t>(static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
                                (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24));
  };
  EXPECT_EQ(i32(static_cast<size_t>(length)), length);      // length field
  EXPECT_EQ(i32(static_cast<size_t>(length) + 4), length);  // lead word of the next block
  // Geometry block at 4.
  EXPECT_EQ(u16(4 + 2), 100);   // DefWidth
  EXPECT_EQ(u16(4 + 6), 96);    // PicHeight
  EXPECT_EQ(u16(4 + 8), 71);    // PicWidth
  EXPECT_EQ(i32(4 + 10), 1);    // MaxWidth
  float aspect;
  std::memcpy(&aspect, &b[4 + 26], 4);
  EXPECT_FLOAT_EQ(aspect, 96.0f / 71.0f);
  EXPECT_EQ(u16(4 + 38), 15);   // FPS
  EXPECT_EQ(u16(4 + 40), 0);    // highest slot index
  // Slot entry at 46: six empty strings, high index 0, one card, the record.
  for (int s = 0; s < 6; ++s) EXPECT_EQ(i32(46 + 4 * static_cast<size_t>(s)), 0);
  EXPECT_EQ(i32(70), 0);
  EXPECT_EQ(u16(74), 54);
  const size_t rec = 76 - 28;  // record offset 28 lies at 76
  EXPECT_EQ(static_cast<int16_t>(u16(rec + 30)), -1);
  EXPECT_EQ(b[rec + 48], 5);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[rec + 49]), 5), "brdPa");
  EXPECT_EQ(i32(rec + 80), 124);
  EXPECT_EQ(i32(rec + 84), 246);
  EXPECT_EQ(b[rec + 96], skPerson);
  EXPECT_EQ(u16(rec + 98), kSlotFlagOneCard);
  EXPECT_EQ(i32(rec + 100), -1);
  EXPECT_EQ(i32(rec + 112), 400);
  EXPECT_EQ(static_cast<int16_t>(u16(rec + 117)), -1);
  EXPECT_EQ(u16(rec + 119), 10);
  EXPECT_EQ(u16(rec + 127), 53);
  EXPECT_EQ(b[rec + 132], 1);
  EXPECT_EQ(rec + 135, static_cast<size_t>(46 + 137));
}

TEST(SolUndo, NothingHappensWithoutHandlersOrSnapshots) {
  TSolTbl t;
  t.AddSlot(-1, 0, 0, 1, 0, 0, "s", "");
  t.SaveUndo();  // no OnSave: nothing written
  EXPECT_EQ(t.UndoStatus, 0);
  EXPECT_EQ(t.UndoPos(), 0);
  Owner o;
  o.Bind(t);
  t.StepUndo(true);  // no snapshot yet
  t.StepUndo(false);
  EXPECT_EQ(o.loads + o.undos, 0);
}

TEST(SolUndo, SnapshotAfterAStepBackCutsTheChain) {
  TSolTbl t;
  Owner o;
  o.Bind(t);
  t.AddSlot(-1, 0, 0, 1, 0, 0, "s", "");
  t.Slot(0).Top = 1;
  t.SaveUndo();
  t.Slot(0).Top = 2;
  t.SaveUndo();
  t.Slot(0).Top = 3;
  t.StepUndo(true);
  EXPECT_EQ(t.Slot(0).Top, 2);
  t.Slot(0).Top = 9;
  t.SaveUndo();
  EXPECT_EQ(t.UndoTop(), t.UndoPos());
  EXPECT_FALSE(t.CanRedo());
  t.StepUndo(false);  // nothing forward any more
  EXPECT_EQ(t.Slot(0).Top, 9);
  t.StepUndo(true);
  EXPECT_EQ(t.Slot(0).Top, 9);  // the snapshot just taken
  t.StepUndo(true);
  EXPECT_EQ(t.Slot(0).Top, 1);
  EXPECT_FALSE(t.CanUndo());
}

TEST(SolUndo, RedoWalksForwardBackToTheStateBeforeTheUndo) {
  TSolTbl t;
  Owner o;
  o.Bind(t);
  Fill(t);
  std::vector<std::vector<uint8_t>> images, owners;
  for (int move = 0; move < 3; ++move) {
    o.record[0] = static_cast<uint8_t>(move);
    images.push_back(Image(t));
    owners.push_back(o.record);
    t.SaveUndo();
    t.Slot(0).Top = static_cast<int16_t>(10 + move);
    t.Slot(1).Cards.push_back(static_cast<int16_t>(move));
  }
  o.record[0] = 99;
  const auto latest = Image(t);
  const auto latestOwner = o.record;
  t.StepUndo(true);
  EXPECT_EQ(Image(t), images[2]);
  t.StepUndo(true);
  EXPECT_EQ(Image(t), images[1]);
  EXPECT_EQ(o.record, owners[1]);
  t.StepUndo(false);
  EXPECT_EQ(Image(t), images[2]);
  EXPECT_TRUE(t.CanRedo());
  t.StepUndo(false);
  EXPECT_EQ(Image(t), latest);
  EXPECT_EQ(o.record, latestOwner);
  EXPECT_FALSE(t.CanRedo());
  EXPECT_TRUE(t.CanUndo());
  t.StepUndo(false);  // at the end: nothing
  EXPECT_EQ(Image(t), latest);
  t.StepUndo(true);
  t.StepUndo(true);
  t.StepUndo(true);
  EXPECT_EQ(Image(t), images[0]);
  EXPECT_FALSE(t.CanUndo());
  t.StepUndo(true);
  EXPECT_EQ(Image(t), images[0]);
}

TEST(SolUndo, RestoreBringsBackLostSlotsDropsNewOnesAndClearsTheSelection) {
  TSolTbl t;
  Owner o;
  o.Bind(t);
  Fill(t);
  t.Selection = {1};
  t.Slot(1).Selected = 1;
  const auto before = t.Slots();
  t.SaveUndo();
  t.ClearSlots();
  t.StepUndo(true);
  ASSERT_EQ(t.SlotCount(), 3);
  EXPECT_EQ(t.Slot(0).Tip, "tip of the bride");
  EXPECT_EQ(t.Slot(1).Cards, before[1].Cards);
  EXPECT_EQ(t.Slot(1).Selected, 0);
  EXPECT_EQ(t.Selection[0], -1);
}

TEST(SolUndo, RestoreOnABoardLaysTheTableOutAgain) {
  TSolTbl t;
  Owner o;
  o.Bind(t);
  t.MaxWidth = 900;
  t.MaxHeight = 383;
  t.AddSlot(-1, 100, 100, 1, 0, 0, "s", "");
  t.SetBoardSize(900, 600);
  t.SaveUndo();
  t.SetBoardSize(450, 600);
  const platform::Rect now = t.Slot(0).Rect;
  t.StepUndo(true);
  EXPECT_EQ(t.Slot(0).Rect, now);  // not the 900-pixel rectangle of the snapshot
  EXPECT_EQ(now.left, 50);
}

// A board with labels and three pictures: a different colour in each of
// the four quarters, so any scaling fault shows in the pixels.
void BuildBoard(TSolTbl& t, bool withSlots) {
  t.MaxWidth = 900;
  t.MaxHeight = 383;
  auto list = std::make_shared<SolImageList>();
  for (int n = 0; n < 3; ++n) {
    platform::Bitmap b(71, 96, platform::PixelFormat::Bit24);
    b.Fill(platform::RGBColor(40 * n, 200, 10));
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 35; ++x) std::memset(b.ScanLine(y) + x * 3, 60 + 50 * n, 3);
    list->push_back(std::move(b));
  }
  for (int n = 0; n < 3; ++n) t.AddPicture(list, n, n);
  t.AddLabel(-1, 348, 246, 100, 13, 0, 1, "", "Bride", "");
  t.AddLabel(-1, 10, 300, 200, 40, 0, 0, "", "Omens", "");
  if (!withSlots) return;
  t.AddSlot(-1, 100, 100, skPerson, 1, 0, "a", "");
  t.AddSlot(-1, 333, 17, skOmen, 2, 0, "b", "");
  t.Slot(0).Cards = {54, 2};
  t.Slot(1).Cards = {54, 1, 0};
}

// A restore on a board of the same size lays the slots out again but keeps
// the pictures, which are already at the slot size; the result is the one a
// fresh layout gives. A snapshot with another slot size rescales them.
TEST(SolUndo, RestoreKeepsPicturesThatFitAndMatchesAFreshLayout) {
  TSolTbl t;
  Owner o;
  o.Bind(t);
  BuildBoard(t, true);
  t.SetBoardSize(900, 600);
  const uint64_t built = t.PictureScalings();
  ASSERT_GE(built, 1u);
  t.SaveUndo();
  t.Slot(0).Cards = {54};
  t.AddSlot(-1, 700, 300, skPerson, 0, 0, "extra", "");
  t.StepUndo(true);  // undo
  t.StepUndo(false);  // redo
  t.StepUndo(true);  // undo again
  EXPECT_EQ(t.PictureScalings(), built);
  ASSERT_EQ(t.SlotCount(), 2);

  TSolTbl fresh;
  BuildBoard(fresh, false);
  platform::MemoryStream image;
  t.WriteSnapshot(image);
  image.SetPosition(0);
  fresh.LoadSnapshot(image);
  fresh.SetBoardSize(900, 600);
  EXPECT_EQ(fresh.ScaleX, t.ScaleX);
  EXPECT_EQ(fresh.ScaleY, t.ScaleY);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(t.Slot(i).Rect, fresh.Slot(i).Rect) << i;
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(t.Label(i).Rect, fresh.Label(i).Rect) << i;
    EXPECT_EQ(t.Label(i).Top, fresh.Label(i).Top) << i;
  }
  ASSERT_EQ(t.PictureCount(), 3);
  for (int n = 0; n < 3; ++n) EXPECT_TRUE(SamePixels(t.Picture(n), fresh.Picture(n))) << n;
  t.RenderBack();
  fresh.RenderBack();
  EXPECT_TRUE(SamePixels(t.BackBitmap(), fresh.BackBitmap()));

  // Slots twice as wide in the snapshot: the pictures follow.
  const int wideBefore = t.Picture(0).Width();
  t.DefWidth = 200;
  t.SaveUndo();
  t.DefWidth = 100;
  t.SetBoardSize(900, 601);  // another board size, the same slot size
  EXPECT_EQ(t.Picture(0).Width(), wideBefore);
  const uint64_t beforeWide = t.PictureScalings();
  t.StepUndo(true);
  EXPECT_EQ(t.DefWidth, 200);
  EXPECT_GT(t.PictureScalings(), beforeWide);
  EXPECT_EQ(t.Picture(0).Width(), t.Slot(0).Rect.right - t.Slot(0).Rect.left);
  EXPECT_EQ(t.Picture(0).Width(), 2 * wideBefore);

  // A picture registered since the last layout is made by the next restore.
  auto more = std::make_shared<SolImageList>(1, platform::Bitmap(71, 96, platform::PixelFormat::Bit24));
  t.AddPicture(more, 0, 3);
  t.SaveUndo();
  t.StepUndo(true);
  EXPECT_EQ(t.PictureCount(), 4);
}

TEST(SolUndo, ClearUndoDropsTheChainAndItsMemory) {
  TSolTbl t;
  Owner o;
  o.Bind(t);
  Fill(t);
  for (int i = 0; i < 60; ++i) t.SaveUndo();
  EXPECT_GT(t.UndoStream()->Size(), 32768);
  t.ClearUndo();
  EXPECT_EQ(t.UndoStream()->Size(), 32768);
  EXPECT_EQ(t.UndoPos(), 0);
  EXPECT_EQ(t.UndoStatus, 0);
  t.StepUndo(true);
  EXPECT_EQ(o.loads, 0);
}

// Damaged snapshot data: every truncation, and lengths and counts that do
// not fit, raise the table's error and leave table and owner as they were.
TEST(SolUndo, DamagedSnapshotsRaiseAndChangeNothing) {
  TSolTbl src;
  Fill(src);
  platform::MemoryStream good;
  src.WriteSnapshot(good);
  const auto bytes = good.Bytes();

  TSolTbl t;
  t.AddSlot(-1, 1, 1, 1, 0, 0, "keep", "me");
  t.FPS = 7;
  int loads = 0;
  t.OnLoad = [&](TSolTbl&, int8_t&) { ++loads; };
  const auto before = Image(t);
  for (size_t n = 0; n < bytes.size(); ++n) {
    platform::MemoryStream cut(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(n)));
    EXPECT_THROW(t.LoadSnapshot(cut), SolTblError) << n;
  }
  auto patched = [&](size_t at, std::initializer_list<uint8_t> with) {
    std::vector<uint8_t> b = bytes;
    size_t i = at;
    for (uint8_t v : with) b[i++] = v;
    return b;
  };
  const size_t firstString = 42;
  const std::vector<std::vector<uint8_t>> damaged = {
      patched(40, {0x40, 0x9C}),                          // 40000 slots
      patched(40, {0xFE, 0xFF}),                          // -2 as the highest index
      patched(firstString, {0xFF, 0xFF, 0xFF, 0x7F}),     // a caption of 2 GB
      patched(firstString, {0xFF, 0xFF, 0xFF, 0xFF}),     // a negative length
      patched(firstString + 4 + 16 + 20, {0x00, 0x00, 0x01, 0x00}),  // a card count that does not fit
      patched(firstString + 4 + 16 + 20, {0xE8, 0x03, 0x00, 0x00}),  // 1001 cards run past the end
      patched(firstString + 4 + 16 + 20 + 4 + 8 + 20, {16}),  // a 16-character name
  };
  for (const auto& d : damaged) {
    platform::MemoryStream s(d);
    EXPECT_THROW(t.LoadSnapshot(s), SolTblError);
  }
  EXPECT_EQ(loads, 0);
  EXPECT_EQ(Image(t), before);
  platform::MemoryStream whole(bytes);
  t.LoadSnapshot(whole);
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(Image(t), Image(src));
}

TEST(SolUndo, AnOwnerThatFailsToReadLeavesTheTableAsItWas) {
  TSolTbl t;
  Owner o;
  o.Bind(t);
  Fill(t);
  t.SaveUndo();
  t.Slot(0).Top = 42;
  const auto before = Image(t);
  t.OnLoad = [](TSolTbl&, int8_t&) { throw std::runtime_error("owner record damaged"); };
  EXPECT_THROW(t.StepUndo(true), std::runtime_error);
  EXPECT_EQ(Image(t), before);
}

TEST(SolUndo, AnOwnerWritingPastItsDataIsCaughtByTheLengthCheck) {
  TSolTbl t;
  Owner o;
  o.Bind(t);
  Fill(t);
  t.SaveUndo();
  // Someone overwrites the block's length field in the stream.
  auto& b = t.UndoStream()->Bytes();
  b[static_cast<size_t>(t.UndoPos()) - 4] ^= 0x10;
  const auto before = Image(t);
  EXPECT_THROW(t.StepUndo(true), SolTblError);
  EXPECT_EQ(Image(t), before);
}

}  // namespace
}  // namespace pellora

namespace pellora {
namespace {

// Snapshots written by an independent script (fuzz/undo_seeds.py) from the
// stored layout alone load into the fields they describe.
TEST(SolUndo, SnapshotsWrittenFromTheLayoutAloneLoad) {
  platform::MemoryStream s;
  s.LoadFromFile(std::string(VELTRANO_SOURCE_DIR) + "/fuzz/corpus/undo/three_slots.snap");
  TSolTbl t;
  std::vector<uint8_t> owner;
  t.OnLoad = [&](TSolTbl&, int8_t&) {
    owner.resize(16);
    s.ReadBuffer(owner.data(), owner.size());
  };
  t.LoadSnapshot(s);
  ASSERT_EQ(t.SlotCount(), 3);
  EXPECT_EQ(t.FPS, 25);
  EXPECT_EQ(t.MaxWidth, 900);
  EXPECT_EQ(t.MaxHeight, 383);
  EXPECT_FLOAT_EQ(t.ScaleY, 1.352f);
  EXPECT_EQ(t.Slot(0).Name, "Bride");
  EXPECT_EQ(t.Slot(0).Tip, "Wife to be");
  EXPECT_EQ(t.Slot(0).Cards, (std::vector<int16_t>{54, 7, 20, 33}));
  EXPECT_EQ(t.Slot(0).Top, 3);
  EXPECT_EQ(t.Slot(0).Picture, 33);
  EXPECT_EQ(t.Slot(0).Ind, -1);
  EXPECT_EQ(t.Slot(1).Kind, skOmen);
  EXPECT_EQ(t.Slot(2).Kind, skRemovals);
  EXPECT_TRUE(t.Slot(2).Cards.empty());
  EXPECT_EQ(t.Slot(2).Rect, platform::MakeRect(796, 354, 896, 489));
  EXPECT_EQ(owner.back(), 15);
  EXPECT_EQ(s.Position(), s.Size());
  // And what the table writes is those bytes again.
  platform::MemoryStream back;
  t.WriteSnapshot(back);
  back.WriteBuffer(owner.data(), owner.size());
  EXPECT_EQ(back.Bytes(), s.Bytes());
}

}  // namespace
}  // namespace pellora

#include <random>

namespace pellora {
namespace {

// Moves, undos and redos in random order against the plain model of an
// undo history: a stack of earlier states and a stack of later ones.
TEST(SolUndo, RandomMovesUndosAndRedosFollowTheModelHistory) {
  TSolTbl t;
  Owner o;
  o.Bind(t);
  Fill(t);
  struct State {
    std::vector<uint8_t> image, owner;
    bool operator==(const State&) const = default;
  };
  auto now = [&] { return State{Image(t), o.record}; };
  std::vector<State> past, future;
  std::mt19937 rng(20261209);
  for (int step = 0; step < 3000; ++step) {
    const unsigned op = rng() % 5;
    if (op < 2) {  // a move: snapshot first, then change the table
      past.push_back(now());
      future.clear();
      t.SaveUndo();
      const int slot = static_cast<int>(rng() % static_cast<unsigned>(t.SlotCount()));
      t.Slot(slot).Cards.push_back(static_cast<int16_t>(rng() % 52 + 1));
      t.Slot(slot).Top = static_cast<int16_t>(t.Slot(slot).Cards.size());
      o.record[rng() % kOwnerSize] = static_cast<uint8_t>(rng());
      if (rng() % 7 == 0) t.AddSlot(-1, 1, 2, skOmen, 0, 0, "more", "tip");
      if (rng() % 9 == 0 && t.SlotCount() > 1) {
        const auto kept = t.Slots();
        t.ClearSlots();
        for (size_t i = 0; i + 1 < kept.size(); ++i) {
          t.AddSlot(-1, 0, 0, 1, 0, 0, "", "");
          t.Slot(static_cast<int>(i)) = kept[i];
        }
      }
    } else {
      const bool back = op < 4;
      auto& from = back ? past : future;
      auto& to = back ? future : past;
      const bool could = !from.empty();
      ASSERT_EQ(back ? t.CanUndo() : t.CanRedo(), could) << step;
      State before = now();
      t.StepUndo(back);
      if (!could) {
        ASSERT_EQ(now(), before) << step;
        continue;
      }
      ASSERT_EQ(now(), from.back()) << step;
      from.pop_back();
      to.push_back(std::move(before));
    }
  }
}

}  // namespace
}  // namespace pellora
