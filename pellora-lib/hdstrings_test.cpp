#include "pellora-lib/hdstrings.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "pellora-lib/test_support.h"
#include "platform/msgbox.h"
#include "platform/stream.h"

namespace fs = std::filesystem;
using pellora::THdStrings;

namespace {

using pellora::testkit::ReadFile;
using pellora::testkit::WriteFile;

using TempDir = pellora::testkit::TempDir;  // a scratch folder per test

// The lines a reader of the text finds: CR LF ends a line; text after the
// last CR LF is one more line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find("\r\n", start);
    if (at == std::string::npos) break;
    lines.push_back(text.substr(start, at - start));
    start = at + 2;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> Entries(THdStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
  return out;
}

// The index as an independent reader sees it: header, count and ends.
struct RniFile {
  bool ok = false;
  std::string magic;
  int32_t high = 0;
  std::vector<int32_t> ends;
  std::vector<uint8_t> flags;
  std::vector<uint32_t> objects;
};

RniFile ReadRni(const std::string& name) {
  RniFile r;
  const std::string data = ReadFile(name);
  if (data.size() < 10) return r;
  r.magic.assign(data.data(), 6);
  std::memcpy(&r.high, data.data() + 6, 4);  // little-endian host
  const size_t n = (data.size() - 10) / 14;
  if ((data.size() - 10) % 14 != 0) return r;
  for (size_t i = 0; i < n; ++i) {
    const char* p = data.data() + 10 + 14 * i;
    int32_t end;
    uint32_t obj;
    std::memcpy(&end, p, 4);
    std::memcpy(&obj, p + 10, 4);
    r.ends.push_back(end);
    r.flags.push_back(static_cast<uint8_t>(p[4]));
    r.objects.push_back(obj);
    EXPECT_EQ(p[5], 0);
    EXPECT_EQ(p[6] | p[7] | p[8] | p[9], 0);
  }
  r.ok = true;
  return r;
}

using BoxLog = platform::testkit::MessageBoxRecorder;

}  // namespace

TEST(HdStrings, LastLineWithoutBreakAndAppend) {
  THdStrings list;
  list.LoadFromText("one\r\ntwo\r\nthree");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Get(2), "three");
  EXPECT_EQ(list.Record(2).flags & 1, 1);
  EXPECT_EQ(list.Record(2).end, 15);
  list.Add("four");
  EXPECT_EQ(list.SaveToString(), "one\r\ntwo\r\nthree\r\nfour\r\n");
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"one", "two", "three", "four"}));

  THdStrings other;
  other.LoadFromText("a\r\nlast");
  other.Put(1, "replaced text");
  EXPECT_EQ(other.Get(1), "replaced text");
  EXPECT_EQ(other.Count(), 2);
  other.Put(0, "");
  EXPECT_EQ(other.Get(0), "");
  EXPECT_EQ(other.SaveToString(), "\r\nreplaced text\r\n");
  // Outside the list: nothing happens, nothing is read.
  other.Put(5, "x");
  other.Delete(-1);
  EXPECT_EQ(other.Get(7), "");
  EXPECT_EQ(other.Count(), 2);
}

TEST(HdStrings, DeleteFirstMovesTheRestToTheFront) {
  THdStrings list;
  list.LoadFromText("alpha\r\nbe\r\ngamma\r\n");
  list.Delete(0);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.EntryStart(0), 0);
  EXPECT_EQ(list.Record(0).end, 4);
  EXPECT_EQ(list.Record(1).end, 11);
  EXPECT_EQ(list.Used(), 11);
  EXPECT_EQ(list.SaveToString(), "be\r\ngamma\r\n");
}

TEST(HdStrings, EmptyListWritesNothingAndAppendingNothingIsIgnored) {
  THdStrings list;
  EXPECT_EQ(list.SaveToString(), "");
  EXPECT_EQ(list.AppendBuffer(nullptr, 5), -1);
  EXPECT_EQ(list.AppendBuffer("abc", 0), -1);
  EXPECT_EQ(list.Count(), 0);
  list.LoadFromText("");
  EXPECT_EQ(list.Count(), 0);
  list.LoadFromText("x\r\n");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.SaveToString(), "");
}

TEST(HdStrings, StreamsInAndOut) {
  THdStrings list;
  platform::MemoryStream empty;
  list.SaveToStream(empty);
  EXPECT_EQ(empty.Size(), 0);  // no entries: nothing written
  list.LoadFromStream(empty);
  EXPECT_EQ(list.Count(), 0);
  platform::MemoryStream in(std::vector<uint8_t>{'a', '\r', '\n', 'b'});
  in.SetPosition(1);  // the whole content counts, not just the rest
  list.LoadFromStream(in);
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"a", "b"}));
  in.SetPosition(4);  // at its end: nothing happens
  list.Add("c");
  list.LoadFromStream(in);
  EXPECT_EQ(list.Count(), 3);
  platform::MemoryStream out;
  out.WriteBuffer("x", 1);
  list.SaveToStream(out);
  const auto& bytes = out.Bytes();
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "xa\r\nb\r\nc\r\n");
}

TEST(HdStrings, ReadBufferGrowsAndIsReused) {
  THdStrings list;
  const std::string longLine(10000, 'q');
  list.LoadFromText("ab\r\n" + longLine + "\r\nxyz\r\n");
  EXPECT_EQ(list.Get(0), "ab");
  const int64_t small = list.ReadBufferSize();
  EXPECT_EQ(small, 2);
  EXPECT_EQ(list.Get(1), longLine);
  EXPECT_EQ(list.ReadBufferSize(), 10000);
  EXPECT_EQ(list.Get(2), "xyz");  // the zeroed big buffer leaves no rest behind
  EXPECT_EQ(list.ReadBufferSize(), 10000);
}

TEST(HdStrings, FindTextWithCompareFlags) {
  THdStrings list;
  list.LoadFromText("xyz\r\nABC\r\nabc\r\nCaf\xC9\r\nhello, world\r\n");
  EXPECT_EQ(list.FindText("abc", -1, -1), 2);
  EXPECT_EQ(list.FindText("", -1, -1), -1);
  list.SetOption(10, true);
  EXPECT_TRUE(list.GetOption(10));
  EXPECT_EQ(list.FindText("abc", -1, -1), 1);
  EXPECT_EQ(list.FindText("caf\xE9", -1, -1), 3);
  EXPECT_EQ(list.FindText("abc", -1, 2), 2);
  // The first entry is looked at even past the last one asked for.
  EXPECT_EQ(list.FindText("abc", 0, 1), 1);
  EXPECT_EQ(list.FindText("cafe", -1, -1), -1);
  list.SetOption(11, true);
  EXPECT_EQ(list.FindText("cafe", -1, -1), 3);
  EXPECT_EQ(list.FindText("helloworld", -1, -1), -1);
  list.SetOption(12, true);
  EXPECT_EQ(list.FindText("helloworld", -1, -1), 4);
  list.SetOption(10, false);
  EXPECT_FALSE(list.GetOption(10));
  EXPECT_EQ(list.CompareFlags(), 0x6u);
  EXPECT_FALSE(list.GetOption(99));
}

TEST(HdStrings, CompareLatin1OrdersEmptyFirstAndFoldsLetters) {
  using pellora::CompareLatin1;
  EXPECT_EQ(CompareLatin1("", "", 0), 0);
  EXPECT_EQ(CompareLatin1("", "a", 0), -1);
  EXPECT_EQ(CompareLatin1("a", "", 0), 1);
  EXPECT_EQ(CompareLatin1("ABC", "abc", 0), 0);
  EXPECT_EQ(CompareLatin1("ABC", "abc", 0x20), -1);
  EXPECT_EQ(CompareLatin1("\xC9t\xE9", "\xE9T\xC9", 0), 0);  // É/é
  EXPECT_EQ(CompareLatin1("\xDE", "\xFE", 0), 0);              // Þ/þ
  EXPECT_NE(CompareLatin1("\xDF", "\xBF", 0), 0);              // ß has no capital
  EXPECT_NE(CompareLatin1("\xFF", "\xDF", 0), 0);              // nor is ÿ a ß
  EXPECT_NE(CompareLatin1("\xD7", "\xF7", 0), 0);              // × and ÷ are signs
  // One order for letters and the signs between the letter ranges.
  EXPECT_EQ(CompareLatin1("A", "_", 0), CompareLatin1("a", "_", 0));
  EXPECT_EQ(CompareLatin1("ab", "abc", 0), -1);
  EXPECT_EQ(CompareLatin1("abd", "ABC", 0), 1);
}

TEST(HdStrings, SortIndexOrdersAndSamples) {
  THdStrings list;
  std::mt19937 gen(7);
  std::string text;
  std::vector<std::string> lines;
  for (int i = 0; i < 230; ++i) {
    std::string s;
    const int len = static_cast<int>(gen() % 4);
    for (int k = 0; k < len; ++k) s.push_back(static_cast<char>("aBcAb_\xE9\xC9"[gen() % 8]));
    lines.push_back(s);
    text += s + "\r\n";
  }
  list.LoadFromText(text);
  list.BuildSortIndexAll();
  const auto& order = list.SortOrder();
  ASSERT_EQ(order.size(), lines.size());
  std::vector<bool> seen(lines.size(), false);
  for (size_t r = 0; r < order.size(); ++r) {
    const int e = order[r].entry;
    ASSERT_GE(e, 0);
    ASSERT_LT(e, static_cast<int>(lines.size()));
    EXPECT_FALSE(seen[static_cast<size_t>(e)]);
    seen[static_cast<size_t>(e)] = true;
    if (r > 0) {
      const int p = order[r - 1].entry;
      const int c = pellora::CompareLatin1(lines[static_cast<size_t>(p)], lines[static_cast<size_t>(e)], 0);
      EXPECT_LE(c, 0) << r;
      if (c == 0 && !lines[static_cast<size_t>(e)].empty()) {
        EXPECT_LT(p, e);  // stable
      }
      if (lines[static_cast<size_t>(e)].empty() && lines[static_cast<size_t>(p)].empty()) {
        EXPECT_GT(p, e);
      }
    }
    // The place at insertion: earlier entries that sort before this one.
    int before = 0;
    for (size_t q = 0; q < r; ++q) before += order[q].entry < e;
    EXPECT_EQ(order[r].insertedAt, before);
    EXPECT_EQ(order[r].sample, e % 50 == 0 ? e / 50 : -1);
  }
  ASSERT_EQ(list.Samples().size(), 5u);
  EXPECT_EQ(list.Samples()[3].second, 150);
  EXPECT_EQ(list.Samples()[3].first, lines[150]);
}

// Random edits against a plain vector, the whole list checked after each.
void RunRandomEdits(THdStrings& list, unsigned seed, int steps) {
  std::mt19937 gen(seed);
  std::vector<std::string> model;
  bool lastOpen = false;  // the last line has no line break yet
  auto randomText = [&] {
    std::string s;
    const int len = static_cast<int>(gen() % 12);
    for (int k = 0; k < len; ++k) s.push_back(static_cast<char>('a' + gen() % 26));
    if (gen() % 10 == 0) s += "\r";  // a lone CR is text
    return s;
  };
  for (int step = 0; step < steps; ++step) {
    const int op = static_cast<int>(gen() % 5);
    const int n = static_cast<int>(model.size());
    if (op == 0 || n == 0) {
      const std::string s = randomText();
      EXPECT_EQ(list.Add(s), n);
      model.push_back(s);
      lastOpen = false;
    } else if (op == 1) {
      const int at = static_cast<int>(gen() % static_cast<unsigned>(n + 1));
      const std::string s = randomText();
      list.Insert(at, s);
      model.insert(model.begin() + at, s);
      if (at == n) lastOpen = false;
    } else if (op == 2) {
      const int at = static_cast<int>(gen() % static_cast<unsigned>(n));
      list.Delete(at);
      model.erase(model.begin() + at);
      if (at == n - 1) lastOpen = false;
    } else if (op == 3) {
      const int at = static_cast<int>(gen() % static_cast<unsigned>(n));
      const std::string s = randomText();
      list.Put(at, s);
      model[static_cast<size_t>(at)] = s;
      if (at == n - 1) lastOpen = false;
    } else {
      // Raw text that may end without a line break, then an edit after it.
      std::string raw = randomText() + "\r\n" + randomText();
      list.AppendBuffer(raw.data(), static_cast<int64_t>(raw.size()));
      // An open last line goes on with the appended text.
      std::string joined;
      for (size_t k = 0; k < model.size(); ++k) {
        joined += model[k];
        if (!(lastOpen && k + 1 == model.size())) joined += "\r\n";
      }
      joined += raw;
      model = SplitLines(joined);
      lastOpen = joined.size() >= 2 && joined.compare(joined.size() - 2, 2, "\r\n") != 0;
    }
    ASSERT_FALSE(list.ErrorFlag()) << "step " << step;
    ASSERT_EQ(list.Count(), static_cast<int>(model.size())) << "step " << step;
    ASSERT_EQ(Entries(list), model) << "step " << step;
    // The stored text reads back as the same lines.
    ASSERT_EQ(SplitLines(list.SaveToString()), model) << "step " << step;
    ASSERT_EQ(list.Used(), static_cast<int64_t>(list.SaveToString().size()));
  }
}

TEST(HdStrings, RandomEditsMatchAVectorInMemory) {
  THdStrings list;
  list.SetGrowthStep(64);  // many small growths of the storage
  RunRandomEdits(list, 11, 700);
}

TEST(HdStrings, RandomEditsMatchAVectorInTheOwnFile) {
  TempDir dir;
  const std::string name = dir.File("edit.txt");
  {
    THdStrings list;
    list.SetPath(0, name);
    list.SetStorage(0, pellora::HdOwnFile);
    ASSERT_EQ(list.ActiveStorageKind(), pellora::HdOwnFile);
    RunRandomEdits(list, 23, 400);
    // The file holds exactly the list, never more.
    EXPECT_EQ(ReadFile(name), list.SaveToString());
  }
}

TEST(HdStrings, HundredThousandLinesSaveAndReloadByteForByte) {
  TempDir dir;
  std::string text;
  std::mt19937 gen(3);
  for (int i = 0; i < 100000; ++i) {
    text += "line " + std::to_string(i) + std::string(gen() % 40, static_cast<char>('A' + i % 26));
    if (i % 997 == 0) text += "\xE9\xFF\x01";
    text += "\r\n";
  }
  text += "tail without break";
  const std::string source = dir.File("source.txt");
  const std::string copy = dir.File("copy.txt");
  WriteFile(source, text);
  THdStrings list;
  ASSERT_TRUE(list.OpenFile(source, false));
  EXPECT_EQ(list.Count(), 100001);
  EXPECT_EQ(list.Get(100000), "tail without break");
  ASSERT_TRUE(list.SaveFile(copy));
  EXPECT_EQ(ReadFile(copy), text);
  THdStrings again;
  ASSERT_TRUE(again.LoadFromFile(copy));
  EXPECT_EQ(again.Count(), 100001);
  EXPECT_EQ(again.Get(54321), list.Get(54321));
  EXPECT_EQ(again.SaveToString(), text);
}

TEST(HdStrings, IndexFileLayoutAsAnOutsideReaderSeesIt) {
  TempDir dir;
  const std::string name = dir.File("Names.txt");
  WriteFile(name, "ab\r\n\r\ncdef\r\nlast");
  THdStrings list;
  ASSERT_TRUE(list.OpenFile(name, false));
  int object = 5;
  list.PutObject(1, &object);
  ASSERT_TRUE(list.SaveIndex(false));
  const std::string rni = dir.File("Names.Rni");
  ASSERT_EQ(list.IndexFileName(name), rni);
  RniFile r = ReadRni(rni);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.magic, std::string("VsInd\0", 6));
  EXPECT_EQ(r.high, 3);
  EXPECT_EQ(r.ends, (std::vector<int32_t>{4, 6, 12, 16}));
  EXPECT_EQ(r.flags, (std::vector<uint8_t>{0, 0, 0, 1}));
  EXPECT_EQ(r.objects, (std::vector<uint32_t>{0, 0, 0, 0}));  // no addresses on disk
  struct stat a {}, b {};
  ASSERT_EQ(stat(name.c_str(), &a), 0);
  ASSERT_EQ(stat(rni.c_str(), &b), 0);
  EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec);
  EXPECT_EQ(a.st_mtim.tv_nsec, b.st_mtim.tv_nsec);
  // Saved again unchanged: nothing to do.
  EXPECT_TRUE(list.SaveIndex(false));
  // An index directory of its own.
  THdStrings elsewhere;
  elsewhere.SetIndexDir(dir.File("idx"));
  EXPECT_EQ(elsewhere.IndexFileName(name), dir.File("idx/Names.Rni"));
}

namespace {

int ScansWhileOpening(const std::string& name) {
  THdStrings list;
  int scans = 0;
  list.SetOnProgress([&](THdStrings&) { ++scans; });
  EXPECT_TRUE(list.OpenFile(name, false));
  return scans;
}

// A text file with an index file that fits it.
void WriteIndexedText(const std::string& name, const std::string& text) {
  WriteFile(name, text);
  THdStrings list;
  ASSERT_TRUE(list.OpenFile(name, false));
  ASSERT_TRUE(list.SaveIndex(false));
}

void CopyTimes(const std::string& from, const std::string& to) {
  struct stat st {};
  ASSERT_EQ(stat(from.c_str(), &st), 0);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, to.c_str(), times, 0), 0);
}

}  // namespace

TEST(HdStrings, IndexFileIsUsedOnlyWhileItFitsTheText) {
  TempDir dir;
  const std::string name = dir.File("t.txt");
  const std::string rni = dir.File("t.Rni");
  WriteIndexedText(name, "a\r\nbb\r\nccc\r\n");
  EXPECT_EQ(ScansWhileOpening(name), 0);
  // An index that fits every check but joins two lines shows that the file
  // is taken as it is, without a scan.
  std::string crafted = ReadFile(rni);
  crafted.erase(10, 14);
  crafted[6] = 1;
  WriteFile(rni, crafted);
  CopyTimes(name, rni);
  {
    THdStrings list;
    ASSERT_TRUE(list.OpenFile(name, false));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Get(0), "a\r\nbb");
  }
  // Touching the text forces a scan.
  struct timespec later[2] = {{0, UTIME_OMIT}, {1000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, name.c_str(), later, 0), 0);
  EXPECT_EQ(ScansWhileOpening(name), 1);
  THdStrings list;
  ASSERT_TRUE(list.OpenFile(name, false));
  EXPECT_EQ(list.Count(), 3);
}

TEST(HdStrings, AnIndexOfEqualTimeIsRenewedWhenTheTextChanged) {
  // File times are coarse: a text changed within the tick of its index
  // keeps the index's time. Such a change must not leave the old index.
  TempDir dir;
  const std::string name = dir.File("s.txt");
  const std::string rni = dir.File("s.Rni");
  WriteFile(name, "ab\r\ncd\r\n");
  const std::vector<std::string> edited{"a", "cde"};  // same size, other ends
  {
    THdStrings list;
    ASSERT_TRUE(list.OpenFile(name, false));
    ASSERT_TRUE(list.SaveIndex(false));
    const std::string old = ReadFile(rni);
    list.Put(0, "a");
    list.Put(1, "cde");
    ASSERT_TRUE(list.SaveFile(""));
    // As if the save had fallen within the old index's tick.
    WriteFile(rni, old);
    CopyTimes(name, rni);
    ASSERT_TRUE(list.SaveIndex(true));
  }
  {
    THdStrings list;
    ASSERT_TRUE(list.OpenFile(name, false));
    EXPECT_EQ(Entries(list), edited);
  }
  // The same with the text itself as storage, edited in place.
  WriteFile(name, "ab\r\ncd\r\n");
  {
    THdStrings list;
    list.SetStorage(0, pellora::HdOwnFile);
    ASSERT_TRUE(list.OpenFile(name, false));
    ASSERT_TRUE(list.SaveIndex(false));
    list.Put(0, "a");
    list.Put(1, "cde");
    CopyTimes(rni, name);
  }
  EXPECT_EQ(ReadFile(name), "a\r\ncde\r\n");
  THdStrings list;
  ASSERT_TRUE(list.OpenFile(name, false));
  EXPECT_EQ(Entries(list), edited);
  const RniFile r = ReadRni(rni);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.ends, (std::vector<int32_t>{3, 8}));
}

TEST(HdStrings, DamagedIndexFilesAreRebuilt) {
  TempDir dir;
  const std::string name = dir.File("d.txt");
  const std::string rni = dir.File("d.Rni");
  WriteIndexedText(name, "first\r\nsecond\r\nthird\r\n");
  const std::string good = ReadFile(rni);
  auto set32 = [](std::string& s, size_t at, int32_t v) { std::memcpy(s.data() + at, &v, 4); };
  std::vector<std::string> damaged;
  damaged.push_back(good.substr(0, good.size() - 3));  // cut short
  damaged.push_back(good + "x");                       // tail left from an older index
  { std::string s = good; s[0] = 'X'; damaged.push_back(s); }
  { std::string s = good; set32(s, 6, 7); damaged.push_back(s); }            // count too big
  { std::string s = good; set32(s, 6, -5); damaged.push_back(s); }           // count negative
  { std::string s = good; set32(s, 10 + 14, 3); damaged.push_back(s); }      // ends out of order
  { std::string s = good; set32(s, 10 + 28, 999999); damaged.push_back(s); } // past the text
  { std::string s = good; set32(s, 10 + 28, 20); damaged.push_back(s); }     // short of the text
  { std::string s = good; s[10 + 4] = 1; damaged.push_back(s); }             // open entry not last
  { std::string s = good; set32(s, 10 + 14, 7); damaged.push_back(s); }      // entry shorter than CR LF
  damaged.push_back(std::string());
  for (size_t i = 0; i < damaged.size(); ++i) {
    WriteFile(rni, damaged[i]);
    CopyTimes(name, rni);
    THdStrings list;
    int scans = 0;
    list.SetOnProgress([&](THdStrings&) { ++scans; });
    ASSERT_TRUE(list.OpenFile(name, false)) << i;
    EXPECT_EQ(scans, 1) << i;
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"first", "second", "third"})) << i;
  }
  // An index of another text of the same time is refused by its size.
  WriteFile(rni, good);
  WriteFile(name, "first\r\nsecond\r\nthird\r\nmore\r\n");
  CopyTimes(name, rni);
  THdStrings list;
  ASSERT_TRUE(list.OpenFile(name, false));
  EXPECT_EQ(list.Count(), 4);
}

TEST(HdStrings, ObjectsAreNeverReadFromTheIndex) {
  TempDir dir;
  const std::string name = dir.File("o.txt");
  const std::string rni = dir.File("o.Rni");
  WriteIndexedText(name, "x\r\ny\r\n");
  std::string s = ReadFile(rni);
  const uint32_t junk = 0xDEADBEEF;
  std::memcpy(s.data() + 10 + 10, &junk, 4);
  WriteFile(rni, s);
  CopyTimes(name, rni);
  THdStrings list;
  EXPECT_EQ(ScansWhileOpening(name), 0);
  ASSERT_TRUE(list.OpenFile(name, false));
  EXPECT_EQ(list.GetObject(0), nullptr);
}

TEST(HdStrings, ChunkBoundariesAndAppendsIndexLikeAFreshLoad) {
  std::mt19937 gen(5);
  for (int round = 0; round < 60; ++round) {
    std::string text;
    const int len = static_cast<int>(gen() % 80);
    for (int k = 0; k < len; ++k) text.push_back("ab\r\n\r\n"[gen() % 6]);
    const std::vector<std::string> expected = SplitLines(text);
    for (int64_t chunk : {1, 2, 3, 5, 8, 64}) {
      THdStrings list;
      list.SetScanChunk(chunk);
      list.LoadFromText(text);
      ASSERT_EQ(Entries(list), expected) << "chunk " << chunk << " text " << round;
    }
    // The same text appended in random pieces.
    THdStrings pieces;
    pieces.SetScanChunk(2 + round % 4);
    for (size_t at = 0; at < text.size();) {
      const size_t n = std::min(text.size() - at, static_cast<size_t>(1 + gen() % 7));
      pieces.AppendBuffer(text.data() + at, static_cast<int64_t>(n));
      at += n;
    }
    ASSERT_EQ(Entries(pieces), expected) << round;
  }
}

TEST(HdStrings, RefusedMoveLeavesTheListUnchanged) {
  BoxLog log;
  THdStrings list;
  list.LoadFromText("one\r\ntwo\r\nthree\r\n");
  list.SetMoveLimit(4);
  const std::string before = list.SaveToString();
  list.Insert(1, "far too long");
  list.Put(0, "also far too long");
  list.Delete(2);  // 7 bytes away
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.SaveToString(), before);
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"one", "two", "three"}));
  ASSERT_EQ(log.shown.size(), 3u);
  EXPECT_EQ(log.shown[0].caption, "HdStrings - SetStorage");
  EXPECT_EQ(log.shown[0].text.rfind("Auch. Your request is too big for internal buffers. You can\r\n", 0), 0u);
  // Within the limit edits work.
  list.Put(0, "on");
  EXPECT_EQ(list.Get(0), "on");
}

TEST(HdStrings, OwnFileStorageLoadsAnExistingFileAndNeverPadsIt) {
  TempDir dir;
  const std::string name = dir.File("own.txt");
  WriteFile(name, "keep\r\nme");
  {
    THdStrings list;
    list.SetPath(0, name);
    list.SetStorage(0, pellora::HdOwnFile);
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"keep", "me"}));
    list.Add("more");
    EXPECT_EQ(ReadFile(name), "keep\r\nme\r\nmore\r\n");
    list.Delete(0);
    EXPECT_EQ(ReadFile(name), "me\r\nmore\r\n");
    list.Clear();  // the entries are the file: they stay
    EXPECT_EQ(list.Count(), 2);
  }
  EXPECT_EQ(ReadFile(name), "me\r\nmore\r\n");
  // A list with entries moved onto a file replaces the file with them.
  {
    THdStrings list;
    list.Add("fresh");
    list.SetPath(0, name);
    list.SetStorage(0, pellora::HdOwnFile);
    EXPECT_EQ(ReadFile(name), "fresh\r\n");
    list.SetStorage(0, pellora::HdMemory);
    EXPECT_EQ(list.ActiveStorageKind(), pellora::HdMemory);
    list.Add("in memory");
    EXPECT_EQ(ReadFile(name), "fresh\r\n");
  }
  // Without a file name the list stays usable in memory.
  THdStrings nameless;
  nameless.SetStorage(0, pellora::HdOwnFile);
  EXPECT_EQ(nameless.StorageKind(), pellora::HdOwnFile);
  nameless.Add("still works");
  EXPECT_EQ(nameless.Get(0), "still works");
  EXPECT_TRUE(nameless.LoadFromFile(name));
  EXPECT_EQ(nameless.ActiveStorageKind(), pellora::HdOwnFile);
  EXPECT_EQ(Entries(nameless), (std::vector<std::string>{"fresh"}));
  // Saved, a list that stayed in memory for want of a file takes that file.
  THdStrings unnamed;
  unnamed.SetStorage(0, pellora::HdOwnFile);
  unnamed.Add("a");
  const std::string saved = dir.File("saved.txt");
  ASSERT_TRUE(unnamed.SaveFile(saved));
  EXPECT_EQ(unnamed.ActiveStorageKind(), pellora::HdOwnFile);
  unnamed.Add("b");
  EXPECT_EQ(ReadFile(saved), "a\r\nb\r\n");
}

TEST(HdStrings, AFileThatCannotGrowKeepsItsTextAndTheListItsEntries) {
  TempDir dir;
  const std::string name = dir.File("full.txt");
  const std::string text = "ab\r\ncd\r\nlast";
  WriteFile(name, text);
  {
    THdStrings list;
    list.SetStorage(0, pellora::HdOwnFile);
    ASSERT_TRUE(list.OpenFile(name, false));
    // No more room: the file may not grow beyond its size.
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    struct rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit full = before;
    full.rlim_cur = text.size();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    list.Put(2, "a longer last line");
    const bool putFlagged = list.ErrorFlag();
    list.Put(0, "a longer first line");
    const bool firstFlagged = list.ErrorFlag();
    list.Insert(1, "new");
    list.Add("appended");
    setrlimit(RLIMIT_FSIZE, &before);
    sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_TRUE(putFlagged);
    EXPECT_TRUE(firstFlagged);
    EXPECT_TRUE(list.ErrorFlag());
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"ab", "cd", "last"}));
    EXPECT_EQ(ReadFile(name), text);
  }
  EXPECT_EQ(ReadFile(name), text);  // neither padded nor cut when the list goes
}

TEST(HdStrings, TemporaryStorageIsCreatedExclusively) {
  TempDir dir;
  WriteFile(dir.File("xoStr31.Txt"), "someone else's");
  {
    THdStrings list;
    list.SetPath(1, dir.Path().string());
    list.SetStorage(0, pellora::HdTempFile);
    EXPECT_EQ(list.ActiveStorageKind(), pellora::HdTempFile);
    EXPECT_EQ(list.GetPath(2), dir.File("xoStr31_1.Txt"));
    list.Add("temp");
    EXPECT_EQ(ReadFile(dir.File("xoStr31_1.Txt")), "temp\r\n");
    list.SetStorage(0, pellora::HdMemory);  // leaving the kind removes the file
    EXPECT_FALSE(fs::exists(dir.File("xoStr31_1.Txt")));
    EXPECT_EQ(list.Get(0), "temp");
  }
  EXPECT_EQ(ReadFile(dir.File("xoStr31.Txt")), "someone else's");
}

TEST(HdStrings, SaveMessagesAndRefusals) {
  TempDir dir;
  const std::string own = dir.File("own.txt");
  const std::string other = dir.File("other.txt");
  const std::string locked = dir.File("locked.txt");
  WriteFile(own, "a\r\n");
  WriteFile(other, "old other");
  WriteFile(locked, "locked");
  chmod(locked.c_str(), 0444);
  THdStrings list;
  ASSERT_TRUE(list.OpenFile(own, false));
  list.Add("b");
  {
    BoxLog log;
    EXPECT_FALSE(list.SaveFile(locked));
    ASSERT_EQ(log.shown.size(), 1u);
    EXPECT_EQ(log.shown[0].text, "File [" + locked + "] is write protected, can't save.");
    EXPECT_EQ(log.shown[0].caption, "HdStrings - Save");
    EXPECT_EQ(ReadFile(locked), "locked");
  }
  {
    BoxLog log;
    log.answer = platform::IdCancel;
    EXPECT_FALSE(list.SaveFile(other));
    ASSERT_EQ(log.shown.size(), 1u);
    EXPECT_EQ(log.shown[0].text, "File [" + other + "] exists, overwrite ?");
    EXPECT_EQ(log.shown[0].caption, "HdStrings - Save As");
    EXPECT_EQ(log.shown[0].flags & 0xFF, platform::MbOkCancel | platform::MbIconWarning);
    EXPECT_EQ(ReadFile(other), "old other");
    log.answer = platform::IdOk;
    EXPECT_TRUE(list.SaveFile(other));
    EXPECT_EQ(ReadFile(other), "a\r\nb\r\n");
    EXPECT_EQ(list.GetPath(0), other);
  }
  {
    BoxLog log;
    EXPECT_FALSE(list.SaveFile(dir.File("no/such/folder.txt")));
    ASSERT_EQ(log.shown.size(), 1u);
    EXPECT_EQ(log.shown[0].text, "Failed to open file " + dir.File("no/such/folder.txt"));
  }
  // Saving into its own (now: other.txt) file again needs no question.
  list.Add("c");
  EXPECT_TRUE(list.SaveFile(""));
  EXPECT_EQ(ReadFile(other), "a\r\nb\r\nc\r\n");
  // No temporary files are left behind.
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir.Path())) files += e.is_regular_file();
  EXPECT_EQ(files, 3);
}

TEST(HdStrings, OpenFileOfMissingAndReadOnlyFiles) {
  TempDir dir;
  THdStrings memory;
  EXPECT_FALSE(memory.OpenFile(dir.File("missing.txt"), false));
  EXPECT_EQ(memory.Count(), 0);
  EXPECT_FALSE(fs::exists(dir.File("missing.txt")));
  THdStrings own;
  own.SetStorage(0, pellora::HdOwnFile);
  EXPECT_TRUE(own.OpenFile(dir.File("made.txt"), false));
  EXPECT_TRUE(fs::exists(dir.File("made.txt")));
  // What is there but no file is neither made nor read (a pipe would block).
  ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
  EXPECT_FALSE(own.OpenFile(dir.File("pipe"), false));
  EXPECT_FALSE(own.OpenFile(dir.Path().string(), false));
  EXPECT_TRUE(fs::is_directory(dir.Path()));
  const std::string ro = dir.File("ro.txt");
  WriteFile(ro, "x\r\n");
  chmod(ro.c_str(), 0444);
  THdStrings reader;
  reader.SetStorage(0, pellora::HdOwnFile);
  ASSERT_TRUE(reader.OpenFile(ro, true));
  EXPECT_EQ(reader.Get(0), "x");
  reader.Add("y");  // cannot be written: flagged, the list keeps what it has
  EXPECT_TRUE(reader.ErrorFlag());
  EXPECT_EQ(reader.Count(), 1);
  EXPECT_EQ(ReadFile(ro), "x\r\n");
  // Nor can the file be cut: deleting or shortening the last line fails
  // visibly and the list still matches the file.
  const std::string two = dir.File("two.txt");
  WriteFile(two, "x\r\nyz\r\n");
  chmod(two.c_str(), 0444);
  THdStrings fixed;
  fixed.SetStorage(0, pellora::HdOwnFile);
  ASSERT_TRUE(fixed.OpenFile(two, false));
  fixed.Delete(1);
  EXPECT_TRUE(fixed.ErrorFlag());
  EXPECT_EQ(Entries(fixed), (std::vector<std::string>{"x", "yz"}));
  fixed.Put(1, "y");
  EXPECT_EQ(Entries(fixed), (std::vector<std::string>{"x", "yz"}));
  EXPECT_EQ(fixed.Used(), 7);
  EXPECT_EQ(ReadFile(two), "x\r\nyz\r\n");
}
