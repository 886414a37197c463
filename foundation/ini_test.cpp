#include "foundation/ini.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <clocale>
#include <fstream>
#include <random>
#include <string>

#include "foundation/files.h"
#include "platform/msgbox.h"
#include "platform/safesave.h"

namespace {

using foundation::IniEraseSection;
using foundation::IniFindKey;
using foundation::IniReadList;
using foundation::IniReadSection;
using foundation::IniReadSectionNames;
using foundation::IniReadValue;
using foundation::IniWriteList;
using foundation::IniWriteValue;
using foundation::StringList;
using foundation::Variant;

StringList Lines(std::initializer_list<const char*> lines) {
  StringList l;
  for (const char* s : lines) l.Add(s);
  return l;
}

int Find(const StringList& l, const char* section, const char* key, int nth = 0, int flags = 0) {
  int first = -9, end = -9, sep = -9;
  return IniFindKey(&l, section, key, nth, first, end, sep, flags);
}

// ------------------------------------------------------------ key search

TEST(IniFindKey, SectionNameMatchesWithOrWithoutBracketsIgnoringAsciiCase) {
  const StringList l = Lines({"a=0", "[name]", "Key=1", "[Other]", "Key=2"});
  for (const char* name : {"[Name]", "Name", "[Name", "Name]", "  NAME  "}) {
    int first = -9, end = -9, sep = -9;
    EXPECT_EQ(IniFindKey(&l, name, "key", 0, first, end, sep), 2) << name;
    EXPECT_EQ(first, 2) << name;
    EXPECT_EQ(end, 3) << name;
    EXPECT_EQ(sep, 4) << name;
  }
  const StringList spaced = Lines({"[ Name ]", "Key=1"});
  EXPECT_EQ(Find(spaced, "Name", "Key"), -2);
  // Only ASCII letters fold: a Latin-1 letter must match exactly.
  const StringList latin = Lines({"[\xE9t\xE9]", "k=1"});
  EXPECT_EQ(Find(latin, "\xC9T\xC9", "k"), -2);
  EXPECT_EQ(Find(latin, "\xE9T\xE9", "k"), 1);
}

TEST(IniFindKey, ResultCodesAndRanges) {
  EXPECT_EQ(Find(StringList(), "S", "k"), -2);
  int first = -9, end = -9, sep = -9;
  EXPECT_EQ(IniFindKey(nullptr, "S", "k", 0, first, end, sep), -3);

  const StringList l = Lines({"top=1", "", "[S]", "k=1", "", "; comment", "[T]", "x=2"});
  first = end = -9;
  EXPECT_EQ(IniFindKey(&l, "S", "missing", 0, first, end, sep), -1);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(end, 6);
  EXPECT_EQ(IniFindKey(&l, "S", "", 0, first, end, sep), -1);
  EXPECT_EQ(IniFindKey(&l, "Nope", "k", 0, first, end, sep), -2);
  EXPECT_EQ(first, -1);
  // The nameless section runs up to the first header.
  EXPECT_EQ(IniFindKey(&l, "", "top", 0, first, end, sep), 0);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(end, 2);
  EXPECT_EQ(IniFindKey(&l, "", "x", 0, first, end, sep), -1);
  // A list without any header: -2, the whole list is the range, keys are found.
  const StringList flat = Lines({"a=1", "b=2"});
  EXPECT_EQ(IniFindKey(&flat, "", "zz", 0, first, end, sep), -2);
  EXPECT_EQ(end, 2);
  EXPECT_EQ(IniFindKey(&flat, "", "b", 0, first, end, sep), 1);
  // Last section runs to the end of the list.
  EXPECT_EQ(IniFindKey(&l, "T", "", 0, first, end, sep), -1);
  EXPECT_EQ(first, 7);
  EXPECT_EQ(end, 8);
}

TEST(IniFindKey, KeyPlacementSeparatorsAndFlags) {
  const StringList l = Lines({"[S]", "  Key=1", "Key  =2", "Col:3", ";Key=4", "Bare", "=5", "   "});
  EXPECT_EQ(Find(l, "S", "Key"), 2);  // the indented line never matches
  EXPECT_EQ(Find(l, "S", "  key  "), 2);
  EXPECT_EQ(Find(l, "S", "Col"), -1);
  EXPECT_EQ(Find(l, "S", "Col", 0, 1), 3);
  EXPECT_EQ(Find(l, "S", ";Key"), 4);  // comments only match a key that begins with ";"
  EXPECT_EQ(Find(l, "S", "Bare"), -1);
  EXPECT_EQ(Find(l, "S", "Bare", 0, 8), 5);
  EXPECT_EQ(Find(l, "S", "Key", 0, 4), 1);  // indented keys are allowed with flag 4
  // Flag 2: an indented "[" does not end the section.
  const StringList h = Lines({"[S]", "a=1", " [X]", "b=2", "[Y]"});
  EXPECT_EQ(Find(h, "S", "b"), -1);
  EXPECT_EQ(Find(h, "S", "b", 0, 2), 3);
}

TEST(IniFindKey, NthSelectsDuplicateOccurrence) {
  const StringList l = Lines({"[S]", "k=a", "k=b", "k=c"});
  EXPECT_EQ(Find(l, "S", "k", 0), 1);
  EXPECT_EQ(Find(l, "S", "k", 1), 1);
  EXPECT_EQ(Find(l, "S", "k", 2), 2);
  EXPECT_EQ(Find(l, "S", "k", 3), 3);
  EXPECT_EQ(Find(l, "S", "k", 4), -1);
  EXPECT_EQ(Find(l, "S", "k", -7), 1);
}

// ------------------------------------------------------------ reading values

TEST(IniReadValue, ConvertsByRequestedOrDefaultType) {
  const StringList l = Lines({"[S]", "i=42", "neg=-17", "f=2.5", "g=2,5", "e=1.5E-7", "c=12.3456", "s=  some text  ;c",
                              "b0=0", "b1=1", "bx=yes", "d=45000.25", "w=a;b;c"});
  Variant v = IniReadValue(&l, "S", "i", Variant(0));
  EXPECT_EQ(v.type(), foundation::varInteger);
  EXPECT_EQ(v.AsInt(), 42);
  EXPECT_EQ(IniReadValue(&l, "S", "neg", Variant(), foundation::varSmallint).AsInt(), -17);
  EXPECT_EQ(IniReadValue(&l, "S", "neg", Variant(), foundation::varSmallint).type(), foundation::varInteger);
  EXPECT_DOUBLE_EQ(IniReadValue(&l, "S", "f", Variant(0.0)).AsDouble(), 2.5);
  EXPECT_DOUBLE_EQ(IniReadValue(&l, "S", "g", Variant(0.0)).AsDouble(), 2.5);
  EXPECT_DOUBLE_EQ(IniReadValue(&l, "S", "e", Variant(0.0)).AsDouble(), 1.5e-7);
  const Variant c = IniReadValue(&l, "S", "c", Variant(), foundation::varCurrency);
  EXPECT_EQ(c.type(), foundation::varCurrency);
  EXPECT_EQ(c.AsCurrencyScaled(), 123456);
  const Variant d = IniReadValue(&l, "S", "d", Variant::Date(0));
  EXPECT_EQ(d.type(), foundation::varDouble);  // dates come back as plain doubles
  EXPECT_DOUBLE_EQ(d.AsDouble(), 45000.25);
  const Variant s = IniReadValue(&l, "S", "s", Variant(""));
  EXPECT_EQ(s.type(), foundation::varString);
  EXPECT_EQ(s.AsString(), "some text");
  EXPECT_EQ(IniReadValue(&l, "S", "s", Variant::WideString("")).type(), foundation::varString);
  EXPECT_FALSE(IniReadValue(&l, "S", "b0", Variant(true)).AsBool());
  EXPECT_TRUE(IniReadValue(&l, "S", "b1", Variant(false)).AsBool());
  EXPECT_TRUE(IniReadValue(&l, "S", "bx", Variant(false)).AsBool());
  // The whole-line flag keeps ";" in the value.
  EXPECT_EQ(IniReadValue(&l, "S", "w", Variant("")).AsString(), "a");
  EXPECT_EQ(IniReadValue(&l, "S", "w", Variant(""), -1, 1).AsString(), "a;b;c");
}

TEST(IniReadValue, EveryTypeCodeOfTheTableConvertsByItsFamily) {
  const StringList l = Lines({"[S]", "k= 12 "});
  for (int code : {2, 3, 9, 10, 17}) {
    const Variant v = IniReadValue(&l, "S", "k", Variant(), code);
    EXPECT_EQ(v.type(), foundation::varInteger) << code;
    EXPECT_EQ(v.AsInt(), 12) << code;
  }
  for (int code : {4, 5, 7}) {
    const Variant v = IniReadValue(&l, "S", "k", Variant(), code);
    EXPECT_EQ(v.type(), foundation::varDouble) << code;
    EXPECT_DOUBLE_EQ(v.AsDouble(), 12.0) << code;
  }
  EXPECT_EQ(IniReadValue(&l, "S", "k", Variant(), 6), Variant::CurrencyScaled(120000));
  for (int code : {8, 72, 256}) EXPECT_EQ(IniReadValue(&l, "S", "k", Variant(), code), Variant("12")) << code;
  EXPECT_EQ(IniReadValue(&l, "S", "k", Variant(), 11), Variant(true));
  int boxes = 0;
  platform::ScopedMsgBoxAnswerer answer([&](const platform::MsgBoxRequest&) {
    ++boxes;
    return static_cast<int>(platform::IdOk);
  });
  for (int code : {0, 1, 12, 16, 20, 257}) EXPECT_TRUE(IniReadValue(&l, "S", "k", Variant(), code).IsEmpty()) << code;
  EXPECT_EQ(boxes, 6);
  // Written back, each family gives its own text.
  StringList w;
  IniWriteValue(&w, "S", "i", Variant::OfType(foundation::varError));
  IniWriteValue(&w, "S", "s", Variant::Single(0.5f));
  IniWriteValue(&w, "S", "a", Variant::OfType(foundation::varStrArg));
  EXPECT_EQ(w.Text(), "[S]\r\ni=0\r\ns=0.5\r\na=\r\n");
  EXPECT_EQ(boxes, 6);
}

TEST(IniReadValue, MissingKeySectionOrListGiveTheDefaultUnchanged) {
  const StringList l = Lines({"[S]", "k=1"});
  const Variant def = Variant::CurrencyScaled(77);
  EXPECT_EQ(IniReadValue(&l, "S", "nokey", def, foundation::varInteger), def);
  EXPECT_EQ(IniReadValue(&l, "Nope", "k", def, foundation::varInteger), def);
  EXPECT_EQ(IniReadValue(nullptr, "S", "k", def, foundation::varInteger), def);
  EXPECT_EQ(IniReadValue(&l, "S", "", Variant("x")).AsString(), "x");
}

TEST(IniReadValue, PaddedValuesParseButGarbageRaisesTheConversionError) {
  const StringList l = Lines({"[S]", "a=5 ;note", "b= 7 ", "c=x5", "d=", "e=1.2.3", "f=99999999999", "g=2,5 ;c",
                              "h= 0      ;kept", "i=1e99999", "j=1e-99999", "k=-"});
  EXPECT_EQ(IniReadValue(&l, "S", "a", Variant(0)).AsInt(), 5);
  EXPECT_EQ(IniReadValue(&l, "S", "a", Variant("")).AsString(), "5");
  EXPECT_EQ(IniReadValue(&l, "S", "b", Variant(0)).AsInt(), 7);
  EXPECT_DOUBLE_EQ(IniReadValue(&l, "S", "g", Variant(0.0)).AsDouble(), 2.5);
  EXPECT_FALSE(IniReadValue(&l, "S", "h", Variant(true)).AsBool());
  EXPECT_THROW(IniReadValue(&l, "S", "c", Variant(0)), foundation::ConvertError);
  EXPECT_THROW(IniReadValue(&l, "S", "d", Variant(0)), foundation::ConvertError);
  EXPECT_THROW(IniReadValue(&l, "S", "e", Variant(0.0)), foundation::ConvertError);
  EXPECT_THROW(IniReadValue(&l, "S", "f", Variant(0)), foundation::ConvertError);
  EXPECT_THROW(IniReadValue(&l, "S", "i", Variant(0.0)), foundation::ConvertError);
  EXPECT_EQ(IniReadValue(&l, "S", "j", Variant(1.0)).AsDouble(), 0.0);
  EXPECT_THROW(IniReadValue(&l, "S", "k", Variant(0.0)), foundation::ConvertError);
  EXPECT_THROW(IniReadValue(&l, "S", "k", Variant(0)), foundation::ConvertError);
  EXPECT_THROW(IniReadValue(&l, "S", "c", Variant(), foundation::varCurrency), foundation::ConvertError);
}

TEST(IniReadValue, UnsupportedTypeShowsTheMessageAndGivesEmpty) {
  const StringList l = Lines({"[S]", "k=1"});
  std::vector<platform::MsgBoxRequest> seen;
  platform::ScopedMsgBoxAnswerer answer([&](const platform::MsgBoxRequest& r) {
    seen.push_back(r);
    return static_cast<int>(platform::IdOk);
  });
  EXPECT_TRUE(IniReadValue(&l, "S", "k", Variant(0), 12).IsEmpty());
  EXPECT_TRUE(IniReadValue(&l, "S", "k", Variant()).IsEmpty());  // default of type empty
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].text, "Input data type is not correct");
  EXPECT_EQ(seen[0].caption, "");
  EXPECT_EQ(seen[0].flags, platform::MbTaskModal);
}

// ------------------------------------------------------------ writing values

TEST(IniWriteValue, KeepsTheCommentInItsColumnOrDropsItWithFlag1) {
  StringList l = Lines({"[S]", "Key=5      ;note"});
  EXPECT_EQ(IniWriteValue(&l, "S", "Key", Variant(7)), 1);
  EXPECT_EQ(l[1], "Key=7      ;note");
  IniWriteValue(&l, "S", "Key", Variant("a much longer value"));
  EXPECT_EQ(l[1], "Key=a much longer value;note");
  IniWriteValue(&l, "S", "Key", Variant(7), 1);
  EXPECT_EQ(l[1], "Key=7");
  // The padded value reads back as what was written.
  StringList b = Lines({"[S]", "Flag=1      ;note", "Num=123    ;n"});
  IniWriteValue(&b, "S", "Flag", Variant(false));
  IniWriteValue(&b, "S", "Num", Variant(4));
  EXPECT_EQ(b[1], "Flag=0      ;note");
  EXPECT_FALSE(IniReadValue(&b, "S", "Flag", Variant(true)).AsBool());
  EXPECT_EQ(IniReadValue(&b, "S", "Num", Variant(0)).AsInt(), 4);
  // The separator column is kept exactly, blanks before "=" included.
  StringList c = Lines({"[S]", "K  =  old"});
  IniWriteValue(&c, "s", "k", Variant("new"));
  EXPECT_EQ(c[1], "K  =new");
}

TEST(IniWriteValue, NewKeysAndSectionsGoWhereTheyBelong) {
  StringList l = Lines({"[A]", "x=1", "", "; end of A", "[B]", "y=2", "", ""});
  EXPECT_EQ(IniWriteValue(&l, "A", "new", Variant(3)), 4);
  EXPECT_EQ(l[4], "new=3");
  EXPECT_EQ(l[5], "[B]");
  // A file that ends in blank lines: the new key goes after them.
  EXPECT_EQ(IniWriteValue(&l, "B", "z", Variant(4)), 9);
  EXPECT_EQ(l.Count(), 10);
  EXPECT_EQ(l[9], "z=4");
  // A missing section is appended with its header; the key is written as passed.
  EXPECT_EQ(IniWriteValue(&l, " C ", "Key", Variant("v")), 11);
  EXPECT_EQ(l[10], "[C]");
  EXPECT_EQ(l[11], "Key=v");
  EXPECT_EQ(IniWriteValue(&l, "[D]", "k", Variant("w")), 13);
  EXPECT_EQ(l[12], "[D]");
  // The nameless section: before the first header, or at the end without headers.
  EXPECT_EQ(IniWriteValue(&l, "", "top", Variant(1)), 0);
  EXPECT_EQ(l[0], "top=1");
  EXPECT_EQ(l[1], "[A]");
  StringList flat = Lines({"a=1"});
  EXPECT_EQ(IniWriteValue(&flat, "", "b", Variant(2)), 1);
  EXPECT_EQ(IniWriteValue(nullptr, "S", "k", Variant(1)), -1);
  // Keys are written trimmed, so they are found again; a blank key writes nothing.
  StringList keys = Lines({"[S]"});
  EXPECT_EQ(IniWriteValue(&keys, "S", "  Pad  ", Variant(1)), 1);
  EXPECT_EQ(IniWriteValue(&keys, "S", "Pad", Variant(2)), 1);
  EXPECT_EQ(keys[1], "Pad=2");
  EXPECT_EQ(IniWriteValue(&keys, "S", "  ", Variant(3)), -1);
  EXPECT_EQ(IniWriteValue(&keys, "New", "", Variant(3)), -1);
  EXPECT_EQ(keys.Count(), 2);
}

TEST(IniWriteValue, TextOfEachTypeIsLocaleFreeAndReadsBack) {
  // A process locale with "," as decimal separator must not change the file.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  StringList l;
  IniWriteValue(&l, "S", "d", Variant(2.5));
  IniWriteValue(&l, "S", "small", Variant(0.0001));
  IniWriteValue(&l, "S", "tiny", Variant(1.5e-7));
  IniWriteValue(&l, "S", "big", Variant(1e20));
  IniWriteValue(&l, "S", "third", Variant(1.0 / 3.0));
  IniWriteValue(&l, "S", "neg", Variant(-1234.5));
  IniWriteValue(&l, "S", "whole", Variant(300.0));
  IniWriteValue(&l, "S", "cur", Variant::CurrencyScaled(-12345678));
  IniWriteValue(&l, "S", "curint", Variant::CurrencyScaled(50000));
  IniWriteValue(&l, "S", "date", Variant::Date(45000.5));
  IniWriteValue(&l, "S", "si", Variant::Smallint(-3));
  IniWriteValue(&l, "S", "by", Variant::Byte(200));
  IniWriteValue(&l, "S", "t", Variant(true));
  IniWriteValue(&l, "S", "f", Variant(false));
  IniWriteValue(&l, "S", "e", Variant());
  IniWriteValue(&l, "S", "n", Variant::Null());
  IniWriteValue(&l, "S", "str", Variant("  padded  "));
  std::setlocale(LC_NUMERIC, saved.c_str());
  const std::string text = l.Text();
  EXPECT_EQ(text,
            "[S]\r\nd=2.5\r\nsmall=0.0001\r\ntiny=1.5E-7\r\nbig=1E20\r\nthird=0.333333333333333\r\n"
            "neg=-1234.5\r\nwhole=300\r\ncur=-1234.5678\r\ncurint=5\r\ndate=45000.5\r\nsi=-3\r\nby=200\r\n"
            "t=1\r\nf=0\r\ne=\r\nn=\r\nstr=  padded  \r\n");
  EXPECT_DOUBLE_EQ(IniReadValue(&l, "S", "third", Variant(0.0)).AsDouble(), 0.333333333333333);
  EXPECT_DOUBLE_EQ(IniReadValue(&l, "S", "tiny", Variant(0.0)).AsDouble(), 1.5e-7);
  EXPECT_DOUBLE_EQ(IniReadValue(&l, "S", "big", Variant(0.0)).AsDouble(), 1e20);
  EXPECT_EQ(IniReadValue(&l, "S", "cur", Variant::CurrencyScaled(0)).AsCurrencyScaled(), -12345678);
}

TEST(IniWriteValue, LineBreaksInsideAValueCannotInjectLines) {
  StringList l = Lines({"[S]", "k=1"});
  IniWriteValue(&l, "S", "k", Variant("evil\r\n[Other]\nx=1\r"));
  ASSERT_EQ(l.Count(), 2);
  EXPECT_EQ(l[1], "k=evil  [Other] x=1 ");
  IniWriteValue(&l, "S", "new\nkey", Variant("v"));
  StringList reloaded;
  reloaded.SetText(l.Text());
  EXPECT_EQ(reloaded.Count(), l.Count());
  StringList names;
  EXPECT_EQ(IniReadSectionNames(&reloaded, &names), 1);
}

TEST(IniWriteValue, UnsupportedTypeShowsTheMessageAndWritesEmpty) {
  int boxes = 0;
  platform::ScopedMsgBoxAnswerer answer([&](const platform::MsgBoxRequest& r) {
    EXPECT_EQ(r.text, "Input data type is not correct");
    ++boxes;
    return static_cast<int>(platform::IdOk);
  });
  StringList l = Lines({"[S]", "k=old ;c"});
  EXPECT_EQ(IniWriteValue(&l, "S", "k", Variant::OfType(8204)), 1);
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(l[1], "k=    ;c");
}

// ------------------------------------------------------------ lists

TEST(IniLists, WriteAndReadBackWithNumbers) {
  StringList src;
  src.Add("Alice", 12);
  src.Add("Bob", 0);
  src.Add("Carol", -3);
  StringList l;
  IniWriteList(&l, "P", "cPlr", &src, foundation::ilfNumbers);
  EXPECT_EQ(l.Text(), "[P]\r\ncPlr#0=Alice\x1f" "12\r\ncPlr#1=Bob\r\ncPlr#2=Carol\x1f-3\r\n");
  StringList back;
  back.Add("kept");
  EXPECT_EQ(IniReadList(&l, "P", "cPlr", &back, foundation::ilfNumbers), 3);
  ASSERT_EQ(back.Count(), 4);
  EXPECT_EQ(back[0], "kept");
  EXPECT_EQ(back[1], "Alice");
  EXPECT_EQ(back.Object(1), 12);
  EXPECT_EQ(back[2], "Bob");
  EXPECT_EQ(back.Object(2), 0);
  EXPECT_EQ(back.Object(3), -3);
  // Without the numbers flag the text keeps the separator character.
  StringList raw;
  IniReadList(&l, "P", "cPlr", &raw);
  EXPECT_EQ(raw[0], "Alice\x1f" "12");
  // Several separators: the leftmost number wins, the text before it stays.
  StringList multi = Lines({"[P]", "k#0= a \x1f 5 \x1f 9"});
  StringList out;
  IniReadList(&multi, "P", "k", &out, foundation::ilfNumbers);
  ASSERT_EQ(out.Count(), 1);
  EXPECT_EQ(out[0], "a");
  EXPECT_EQ(out.Object(0), 5);
  StringList bad = Lines({"[P]", "k#0=a\x1fzz"});
  EXPECT_THROW(IniReadList(&bad, "P", "k", &out, foundation::ilfNumbers), foundation::ConvertError);
}

TEST(IniLists, EmptyItemEndsTheListOnReading) {
  StringList src = Lines({"one", "two", "", "four"});
  StringList l;
  IniWriteList(&l, "S", "L", &src);
  EXPECT_EQ(l.Count(), 5);
  StringList back;
  EXPECT_EQ(IniReadList(&l, "S", "L", &back), 2);
}

TEST(IniLists, LeftOverHigherEntriesAreDeletedUnlessFlag128) {
  const StringList five = Lines({"[S]", "L#0=a", "L#1=b", "L#2=c", "L#3=d", "L#4=e", "other=1"});
  const StringList three = Lines({"x", "y", "z"});
  StringList l = five;
  IniWriteList(&l, "S", "L", &three);
  EXPECT_EQ(l.Text(), "[S]\r\nL#0=x\r\nL#1=y\r\nL#2=z\r\nother=1\r\n");
  l = five;
  IniWriteList(&l, "S", "L", &three, foundation::ilfKeepHigher);
  EXPECT_EQ(l.Text(), "[S]\r\nL#0=x\r\nL#1=y\r\nL#2=z\r\nL#3=d\r\nL#4=e\r\nother=1\r\n");
}

// ------------------------------------------------------------ sections

TEST(IniSections, ReadSectionCopiesLinesWithObjects) {
  StringList l = Lines({"[A]", "x=1", "", ";c", "[B]", "y=2"});
  l.SetObject(1, 99);
  StringList dest = Lines({"old"});
  EXPECT_EQ(IniReadSection(&l, "a", &dest), 3);
  ASSERT_EQ(dest.Count(), 3);
  EXPECT_EQ(dest[0], "x=1");
  EXPECT_EQ(dest.Object(0), 99);
  EXPECT_EQ(dest[2], ";c");
  EXPECT_EQ(IniReadSection(&l, "B", &dest, foundation::isfKeepDestination), 1);
  EXPECT_EQ(dest.Count(), 4);
  EXPECT_EQ(IniReadSection(&l, "Missing", &dest), -1);
  EXPECT_EQ(dest.Count(), 0);  // cleared even when the section is missing
  const StringList flat = Lines({"a=1", "b=2"});
  EXPECT_EQ(IniReadSection(&flat, "", &dest), -1);
  EXPECT_EQ(IniReadSection(nullptr, "A", &dest), -1);
  // Reading into the list itself keeps the section only.
  StringList self = l;
  EXPECT_EQ(IniReadSection(&self, "B", &self), 1);
  EXPECT_EQ(self.Text(), "y=2\r\n");
}

TEST(IniSections, EraseKeepsOrDropsTheHeader) {
  const StringList base = Lines({"k=0", "[A]", "x=1", "y=2", "[B]", "z=3"});
  StringList l = base;
  EXPECT_TRUE(IniEraseSection(&l, "A"));
  EXPECT_EQ(l.Text(), "k=0\r\n[A]\r\n[B]\r\nz=3\r\n");
  l = base;
  EXPECT_TRUE(IniEraseSection(&l, "A", foundation::isfEraseHeader));
  EXPECT_EQ(l.Text(), "k=0\r\n[B]\r\nz=3\r\n");
  l = base;
  EXPECT_TRUE(IniEraseSection(&l, "B", foundation::isfEraseHeader));
  EXPECT_EQ(l.Text(), "k=0\r\n[A]\r\nx=1\r\ny=2\r\n");
  l = base;
  EXPECT_TRUE(IniEraseSection(&l, ""));
  EXPECT_EQ(l.Count(), base.Count());
  EXPECT_FALSE(IniEraseSection(&l, "Nope"));
  EXPECT_FALSE(IniEraseSection(nullptr, "A"));
  // A blank name (not empty as passed) is the nameless section.
  EXPECT_TRUE(IniEraseSection(&l, " "));
  EXPECT_EQ(l[0], "[A]");
}

TEST(IniSections, SectionNamesWithLineIndices) {
  const StringList l = Lines({"[One]", "a=1", "  [ Two ] ; c", "[Th]ree]", "x[No]", "[[No]]", "[No", "]No[",
                              "[]", "; [No]", "[Last]"});
  StringList names = Lines({"old"});
  EXPECT_EQ(IniReadSectionNames(&l, &names), 5);
  ASSERT_EQ(names.Count(), 5);
  EXPECT_EQ(names[0], "One");
  EXPECT_EQ(names.Object(0), 0);
  EXPECT_EQ(names[1], "Two");
  EXPECT_EQ(names.Object(1), 2);
  EXPECT_EQ(names[2], "Th");
  EXPECT_EQ(names[3], "");
  EXPECT_EQ(names.Object(3), 8);
  EXPECT_EQ(names[4], "Last");
  EXPECT_EQ(IniReadSectionNames(&l, &names, 1, foundation::isfKeepDestination, 3), 2);
  EXPECT_EQ(names.Count(), 7);
  EXPECT_EQ(IniReadSectionNames(&l, &names, -5, 0, 100), 5);
  EXPECT_EQ(IniReadSectionNames(nullptr, &names), -1);
  EXPECT_EQ(IniReadSectionNames(&l, &names, 20), 0);
}

// ------------------------------------------------------------ random lists

// Random lines over the characters that matter to the store (brackets,
// separators, comments, blanks, NUL, high bytes), so headers, keys and
// comments of every odd shape meet.
std::string RandomText(std::mt19937& rng, size_t maxLen, std::string_view alphabet) {
  std::string t(rng() % (maxLen + 1), ' ');
  for (char& c : t) c = alphabet[rng() % alphabet.size()];
  return t;
}

std::string TrimSpaces(const std::string& s) {
  const size_t b = s.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b, s.find_last_not_of(' ') - b + 1);
}

TEST(IniRandomLists, WhatIsWrittenReadsBackAndNothingStrays) {
  static constexpr char kLineRaw[] = "[]=;: \tab\0\xE9\x1f#";
  constexpr std::string_view kLineChars(kLineRaw, sizeof kLineRaw - 1);
  constexpr std::string_view kNameChars("ab A]", 5);
  std::mt19937 rng(20261208);
  for (int round = 0; round < 400; ++round) {
    StringList l;
    const int lines = static_cast<int>(rng() % 12);
    for (int i = 0; i < lines; ++i) l.Add(RandomText(rng, 8, kLineChars));
    for (int step = 0; step < 6; ++step) {
      const std::string section = RandomText(rng, 3, kNameChars);
      // Keys that a caller would use: no separator, no leading "[" or ";".
      std::string key = "k" + RandomText(rng, 2, "ab#1 ");
      const std::string value = RandomText(rng, 6, "xy 1,.");
      const int count = l.Count();
      int first = 0, end = 0, sep = 0;
      const int before = IniFindKey(&l, section, key, 0, first, end, sep);
      const int at = IniWriteValue(&l, section, key, Variant(value));
      ASSERT_GE(at, 0);
      ASSERT_LT(at, l.Count());
      // In place, a new line, or a new section with its line.
      if (before >= 0) {
        EXPECT_EQ(at, before);
        EXPECT_EQ(l.Count(), count);
      } else {
        const bool newSection = before == -2 && !TrimSpaces(section).empty();
        EXPECT_EQ(l.Count(), count + (newSection ? 2 : 1));
      }
      EXPECT_EQ(IniReadValue(&l, section, key, Variant("missing")).AsString(),
                TrimSpaces(value))
          << "round " << round << " section '" << section << "' key '" << key << "'";
      EXPECT_EQ(IniFindKey(&l, section, key, 0, first, end, sep), at);
      ASSERT_GE(first, 0);
      ASSERT_LE(first, end);
      ASSERT_LE(end, l.Count());
    }
    StringList names;
    const int found = IniReadSectionNames(&l, &names);
    ASSERT_EQ(found, names.Count());
    for (int i = 0; i < names.Count(); ++i) {
      const int line = static_cast<int>(names.Object(i));
      ASSERT_GE(line, 0);
      ASSERT_LT(line, l.Count());
    }
    const std::string victim = RandomText(rng, 3, kNameChars);
    if (IniEraseSection(&l, victim) && !victim.empty()) {
      StringList rest;
      EXPECT_LE(IniReadSection(&l, victim, &rest), 0);
    }
  }
}

// The list routines find all entries of a section in one pass; entry by
// entry, with the single-key routines, is the plain definition they must
// agree with.
int ReferenceReadList(const StringList* list, std::string_view section, const std::string& key, StringList* dest,
                      int flags) {
  std::vector<StringList::Line> found;
  for (long long n = 0;; ++n) {
    std::string text = IniReadValue(list, section, key + "#" + std::to_string(n), Variant(std::string())).AsString();
    if (text.empty()) break;
    std::intptr_t number = 0;
    if (flags & foundation::ilfNumbers) {
      size_t p = text.rfind('\x1f');
      while (p != std::string::npos) {
        number = foundation::TextToInt(TrimSpaces(text.substr(p + 1)));
        text = TrimSpaces(text.substr(0, p));
        p = text.rfind('\x1f');
      }
    }
    found.push_back(StringList::Line{text, number});
  }
  for (auto& l : found) dest->Add(l.text, l.object);
  return static_cast<int>(found.size());
}

void ReferenceWriteList(StringList* list, std::string_view section, const std::string& key,
                        const StringList* source, int flags) {
  const std::vector<StringList::Line> items = source->Lines();
  for (size_t i = 0; i < items.size(); ++i) {
    std::string value = items[i].text;
    if ((flags & foundation::ilfNumbers) && items[i].object != 0)
      value += "\x1f" + std::to_string(static_cast<long long>(items[i].object));
    IniWriteValue(list, section, key + "#" + std::to_string(i), Variant(value));
  }
  if (flags & foundation::ilfKeepHigher) return;
  for (size_t n = items.size();; ++n) {
    int first = 0, end = 0, sep = 0;
    const int at = IniFindKey(list, section, key + "#" + std::to_string(n), 1, first, end, sep);
    if (at < 0) break;
    list->Delete(at);
  }
}

std::vector<std::string> Texts(const StringList& l) {
  std::vector<std::string> t;
  for (const auto& line : l.Lines()) t.push_back(line.text + "|" + std::to_string(line.object));
  return t;
}

TEST(IniRandomLists, ListsReadAndWriteAsEntryByEntryWould) {
  // Entry lines in every spelling a file may hold: other case, blanks before
  // the separator, duplicates, zero-padded and signed numbers, gaps,
  // comments, other keys and headers around them.
  const std::vector<std::string> lineForms = {
      "cPlr#0=Anna", "CPLR#1 = Beth ;c", "cplr#2=", "cPlr#3=Cleo\x1f" "7", "cPlr#01=Zero", "cPlr#+2=Sign",
      "  cPlr#4=Indented", "cPlr#4=Dora", "cPlr#4=Dup", "cPlr#5=Eve\x1f 12 \x1f" "3", "cPlr#9=Far", "other=1",
      "; comment", "", "[Sol040]", "[Other]", "cPlr#=none", "cPlr#6=Fay", "cPlr #1=Spaced"};
  const std::vector<std::string> sections = {"Sol040", "", "Other", "Missing"};
  std::mt19937 rng(20261209);
  for (int round = 0; round < 3000; ++round) {
    StringList base;
    const int lines = static_cast<int>(rng() % 14);
    for (int i = 0; i < lines; ++i) base.Add(lineForms[rng() % lineForms.size()]);
    const std::string section = sections[rng() % sections.size()];
    const int flags = (rng() % 2 ? foundation::ilfNumbers : 0) | (rng() % 3 == 0 ? foundation::ilfKeepHigher : 0);

    StringList read, readRef;
    ASSERT_EQ(IniReadList(&base, section, "cPlr", &read, flags),
              ReferenceReadList(&base, section, "cPlr", &readRef, flags));
    ASSERT_EQ(Texts(read), Texts(readRef)) << "round " << round;

    StringList source;
    const int items = static_cast<int>(rng() % 8);
    for (int i = 0; i < items; ++i) source.Add(i % 3 == 2 ? "" : "n" + std::to_string(rng() % 50), rng() % 3);
    StringList written = base, writtenRef = base;
    IniWriteList(&written, section, "cPlr", &source, flags);
    ReferenceWriteList(&writtenRef, section, "cPlr", &source, flags);
    ASSERT_EQ(Texts(written), Texts(writtenRef)) << "round " << round << " section '" << section << "'";
  }
}

TEST(IniLists, SixtyThousandEntriesReadAndWriteInOnePass) {
  // A recent-entries list this long once took minutes to read at start and
  // again to write at exit; one pass over the section keeps it linear.
  StringList source;
  for (int i = 0; i < 60000; ++i) source.Add("Player " + std::to_string(i), i % 7);
  StringList ini = Lines({"[Main]", "Left=1", "[Sol040]", "x=1"});
  IniWriteList(&ini, "Main", "cPlr", &source, foundation::ilfNumbers);
  ASSERT_EQ(ini.Count(), 60000 + 4);
  EXPECT_EQ(ini[2], "cPlr#0=Player 0");
  EXPECT_EQ(ini[60001], "cPlr#59999=Player 59999\x1f" "2");
  EXPECT_EQ(ini[60002], "[Sol040]");
  StringList back;
  ASSERT_EQ(IniReadList(&ini, "Main", "cPlr", &back, foundation::ilfNumbers), 60000);
  EXPECT_EQ(back[12345], "Player 12345");
  EXPECT_EQ(back.Object(12345), 12345 % 7);
  // A shorter list written over it drops the rest in the same pass.
  StringList shorter;
  shorter.Add("Only");
  IniWriteList(&ini, "Main", "cPlr", &shorter);
  EXPECT_EQ(Texts(ini), Texts(Lines({"[Main]", "Left=1", "cPlr#0=Only", "[Sol040]", "x=1"})));
}

// ------------------------------------------------------------ text and files

TEST(StringListText, LineEndsNulBytesAndLongLines) {
  StringList l;
  l.SetText("a\r\nb\nc\rd");
  EXPECT_EQ(l.Count(), 4);
  EXPECT_EQ(l[3], "d");
  EXPECT_EQ(l.Text(), "a\r\nb\r\nc\r\nd\r\n");
  l.SetText("x\r\n\r\n");
  EXPECT_EQ(l.Count(), 2);
  l.SetText("");
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.Text(), "");
  l.SetText(std::string("k=a\0b\r\n[S\0]", 12));
  ASSERT_EQ(l.Count(), 2);
  EXPECT_EQ(l[0].size(), 5u);
  std::string longLine = "[S]\r\nk=" + std::string(100000, 'x');
  l.SetText(longLine);
  EXPECT_EQ(IniReadValue(&l, "S", "k", Variant("")).AsString().size(), 100000u);
  // Bytes that are no text at all load and can be searched safely.
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>((i * 7919) & 0xFF));
  l.SetText(binary);
  StringList names;
  IniReadSectionNames(&l, &names);
  IniReadValue(&l, "S", "k", Variant(""));
  IniWriteValue(&l, "S", "k", Variant(1));
  EXPECT_EQ(IniReadValue(&l, "S", "k", Variant(0)).AsInt(), 1);
}

TEST(StringListFiles, ByteExactRoundTripAfterEdits) {
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  const std::string path = tmp.path().toStdString() + "/edit.ini";
  const std::string original =
      "; file comment\r\n"
      "Version=3\r\n"
      "\r\n"
      "[Grv010]\r\n"
      "Left=10        ; pixels\r\n"
      "Top=20\r\n"
      "cPlr#0=Anna\r\n"
      "cPlr#1=Ben\r\n"
      "cPlr#2=Cleo\r\n"
      "Dup=first\r\n"
      "Dup=second\r\n"
      "\r\n"
      "; trailing comment of Grv010\r\n"
      "[Old]\r\n"
      "gone=1\r\n"
      "[Last]\r\n"
      "x=\xE9t\xE9\r\n";
  ASSERT_TRUE(platform::SaveFileAtomically(foundation::ToFsPath(path), original));
  StringList l;
  l.LoadFromFile(path);
  IniWriteValue(&l, "", "Version", Variant(4));
  IniWriteValue(&l, "Grv010", "Left", Variant(125));
  IniWriteValue(&l, "Grv010", "Dup", Variant("changed"), 0, 2);
  IniWriteValue(&l, "Grv010", "Show", Variant(2));
  StringList players = Lines({"Anna", "Dora"});
  IniWriteList(&l, "Grv010", "cPlr", &players);
  IniEraseSection(&l, "Old", foundation::isfEraseHeader);
  IniWriteValue(&l, "New", "k", Variant(true));
  ASSERT_TRUE(l.SaveToFile(path));
  std::string bytes;
  ASSERT_TRUE(foundation::ReadWholeFile(path, bytes));
  const std::string expected =
      "; file comment\r\n"
      "Version=4\r\n"
      "\r\n"
      "[Grv010]\r\n"
      "Left=125       ; pixels\r\n"
      "Top=20\r\n"
      "cPlr#0=Anna\r\n"
      "cPlr#1=Dora\r\n"
      "Dup=first\r\n"
      "Dup=changed\r\n"
      "\r\n"
      "; trailing comment of Grv010\r\n"
      "Show=2\r\n"
      "[Last]\r\n"
      "x=\xE9t\xE9\r\n"
      "[New]\r\n"
      "k=1\r\n";
  EXPECT_EQ(bytes, expected);
  // Unchanged content saves back byte for byte.
  StringList again;
  again.LoadFromFile(path);
  ASSERT_TRUE(again.SaveToFile(path));
  ASSERT_TRUE(foundation::ReadWholeFile(path, bytes));
  EXPECT_EQ(bytes, expected);
}

TEST(StringListFiles, DamagedFilesLoadWithoutHarm) {
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  const std::string path = tmp.path().toStdString() + "/damaged.ini";
  std::string garbage = "[S]\r\nk=1";  // no line end at all after the last line
  garbage += std::string(3, '\0') + "x";
  garbage += "\r\n" + std::string(100000, '=') + "\n[" + std::string(100000, '[') + "\r";
  for (int i = 0; i < 256; ++i) garbage.push_back(static_cast<char>(i));
  ASSERT_TRUE(platform::SaveFileAtomically(foundation::ToFsPath(path), garbage));
  StringList l;
  l.LoadFromFile(path);
  EXPECT_EQ(l.Count(), 7);  // the bytes 10 and 13 among the garbage end lines too
  EXPECT_EQ(l[1], std::string("k=1\0\0\0x", 7));
  EXPECT_THROW(IniReadValue(&l, "S", "k", Variant(0)), foundation::ConvertError);
  EXPECT_EQ(IniReadValue(&l, "S", "k", Variant("")).AsString(), std::string("1\0\0\0x", 5));
  StringList names;
  EXPECT_EQ(IniReadSectionNames(&l, &names), 1);
  EXPECT_EQ(Find(l, "S", std::string(99999, '=').c_str()), -1);
  EXPECT_TRUE(IniEraseSection(&l, "S", foundation::isfEraseHeader));
  EXPECT_TRUE(l.SaveToFile(path));
}

TEST(StringListFiles, MissingFileRaisesAndFailedSaveReportsFalse) {
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  StringList l = Lines({"keep"});
  EXPECT_THROW(l.LoadFromFile(tmp.path().toStdString() + "/none.ini"), foundation::IniFileError);
  EXPECT_THROW(l.LoadFromFile(tmp.path().toStdString()), foundation::IniFileError);
  EXPECT_FALSE(l.SaveToFile(tmp.path().toStdString() + "/no/such/dir/x.ini"));
}

}  // namespace
