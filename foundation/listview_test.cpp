#include "foundation/listview.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <string>
#include <vector>

#include "foundation/ini.h"

using namespace foundation;

TEST(TextToVariant, NumbersFromDisplayText) {
  EXPECT_EQ(TextToVariant("12-", varInteger).AsInt(), -12);
  EXPECT_EQ(TextToVariant("-12", varInteger).AsInt(), -12);
  EXPECT_EQ(TextToVariant("12-", varInteger).type(), varInteger);
  EXPECT_EQ(TextToVariant(" 1 000 ", varInteger).AsInt(), 1000);
  EXPECT_EQ(TextToVariant("1.234,5", varDouble).AsDouble(), 1234.5);
  EXPECT_DOUBLE_EQ(TextToVariant("1,234", varDouble).AsDouble(), 1.234);
  EXPECT_EQ(TextToVariant("", varDouble).AsDouble(), 0.0);
  EXPECT_EQ(TextToVariant("   ", varInteger).AsInt(), 0);
  EXPECT_EQ(TextToVariant("1,02,03.456", varCurrency).AsCurrencyScaled(), 102034560);
  EXPECT_EQ(TextToVariant("abc", varInteger).AsInt(), 0);
  EXPECT_EQ(TextToVariant("7.9", varInteger).AsInt(), 7);  // the integer part, not rounded
  EXPECT_EQ(TextToVariant("-5", 13).AsInt(), 5);           // unsigned types drop the sign
  EXPECT_TRUE(TextToVariant("12", varString).IsEmpty());   // other types give nothing
}

TEST(TextToVariant, Booleans) {
  EXPECT_TRUE(TextToVariant(" 0", varBoolean).AsBool());  // the first character decides, blanks included
  EXPECT_FALSE(TextToVariant("", varBoolean).AsBool());
  EXPECT_FALSE(TextToVariant("  ", varBoolean).AsBool());
  for (const char* no : {"0", "-1", ".5", "False", "no", "N", "f"}) EXPECT_FALSE(TextToVariant(no, varBoolean).AsBool()) << no;
  for (const char* yes : {"1", "True", "yes", "x"}) EXPECT_TRUE(TextToVariant(yes, varBoolean).AsBool()) << yes;
}

TEST(TextToVariant, CurrencyRoundsToEvenAtFourDecimals) {
  const std::pair<const char*, int64_t> cases[] = {
      {"0.00005", 0},   {"0.00015", 2},  {"0.00025", 2},     {"0.000251", 3}, {"0.00014999", 1},
      {"-0.00015", -2}, {"1.99995", 20000}, {"2.5", 25000}, {"0,1", 1000},
  };
  for (const auto& [text, scaled] : cases) EXPECT_EQ(TextToVariant(text, varCurrency).AsCurrencyScaled(), scaled) << text;
}

TEST(TextToVariant, LongDigitRunsSaturate) {
  const std::string nines(200, '9');
  EXPECT_EQ(TextToVariant(nines, varInteger).AsInt(), 2147483647);
  EXPECT_EQ(TextToVariant("-" + nines, varInteger).AsInt(), -2147483647 - 1);
  EXPECT_EQ(TextToVariant(nines, varCurrency).AsCurrencyScaled(), INT64_MAX);
  EXPECT_EQ(TextToVariant("-" + nines, varCurrency).AsCurrencyScaled(), -INT64_MAX);
  EXPECT_DOUBLE_EQ(TextToVariant("12345678901234567890123", varDouble).AsDouble(), 1.2345678901234568e22);
  EXPECT_EQ(TextToVariant(std::string(400, '9'), varDouble).AsDouble(), std::numeric_limits<double>::max());
  EXPECT_EQ(TextToVariant("4294967297", 13).AsInt(), 2147483647);
  EXPECT_EQ(TextToVariant("0." + nines, varCurrency).AsCurrencyScaled(), 10000);
}

namespace {

// A list with columns tagged 1 (caption), 2 (first sub-item, right-aligned)
// and 3 (second sub-item).
struct Fixture {
  TListViewRx view;
  Fixture() {
    view.setObjectName("lvSts");
    const std::pair<int, const char*> cols[] = {{1, "Player"}, {2, "Score"}, {3, "Time"}};
    for (const auto& [tag, caption] : cols) {
      TListColumnRx* c = view.AddColumn();
      c->SetTag(tag);
      c->SetCaption(caption);
    }
    view.Column(1)->SetAlignment(TAlignment::RightJustify);
  }
  std::vector<std::string> column(int tag) const {
    std::vector<std::string> out;
    for (int i = 0; i < view.ItemCount(); ++i) out.push_back(view.Item(i)->TextForTag(tag));
    return out;
  }
};

using Strings = std::vector<std::string>;

}  // namespace

TEST(ListViewRx, ColumnsShowTheTextOfTheirTag) {
  Fixture f;
  TListItemRx* item = f.view.AddItem("Ann", {"120", "1,00,00.000"});
  EXPECT_EQ(f.view.columnCount(), 3);
  EXPECT_EQ(item->text(0), "Ann");
  EXPECT_EQ(item->text(1), "120");
  EXPECT_EQ(item->text(2), "1,00,00.000");
  f.view.Column(0)->SetTag(3);
  f.view.Column(2)->SetTag(7);  // no such sub-item: empty text
  EXPECT_EQ(item->text(0), "1,00,00.000");
  EXPECT_EQ(item->text(2), "");
  EXPECT_EQ(item->data(1, Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight, Qt::AlignRight);
  EXPECT_EQ(f.view.ColumnByTag(7), f.view.Column(2));
  EXPECT_EQ(f.view.ColumnByTag(9), nullptr);
  EXPECT_EQ(f.view.headerItem()->text(1), "Score");
}

TEST(ListViewRx, ClickSortsTextAscendingThenDescending) {
  Fixture f;
  f.view.AddItem("bob", {"1"});
  f.view.AddItem("Cid", {"2"});
  f.view.AddItem("ann", {"3"});
  f.view.AddItem("Bea", {"4"});
  std::vector<int> clicked;
  f.view.OnColumnClick = [&](TListViewRx*, TListColumnRx* c) { clicked.push_back(c->Tag()); };

  f.view.ColumnClick(0);
  EXPECT_EQ(f.column(1), (Strings{"ann", "Bea", "bob", "Cid"}));
  EXPECT_EQ(f.view.SortKey(), 1);
  EXPECT_FALSE(f.view.NumericSort());
  f.view.ColumnClick(0);
  EXPECT_EQ(f.column(1), (Strings{"Cid", "bob", "Bea", "ann"}));
  EXPECT_EQ(f.view.SortKey(), -1);
  f.view.ColumnClick(1);  // another column: ascending by it
  EXPECT_EQ(f.column(2), (Strings{"1", "2", "3", "4"}));
  EXPECT_EQ(f.view.SortKey(), 2);
  EXPECT_EQ(clicked, (std::vector<int>{1, 1, 2}));
  f.view.ColumnClick(9);  // no such column: nothing happens
  EXPECT_EQ(clicked.size(), 3u);
}

TEST(ListViewRx, RightAlignedColumnsSortAsNumbers) {
  Fixture f;
  for (const char* s : {"1 000", "250", "99.5"}) f.view.AddItem("x", {s});
  f.view.ColumnClick(1);
  EXPECT_TRUE(f.view.NumericSort());
  EXPECT_EQ(f.column(2), (Strings{"99.5", "250", "1 000"}));
  f.view.ColumnClick(1);
  EXPECT_EQ(f.column(2), (Strings{"1 000", "250", "99.5"}));

  // Times as the statistics show them.
  Fixture t;
  t.view.Column(2)->SetAlignment(TAlignment::RightJustify);
  for (const char* s : {"1,02,03.456", "0,59,59.999", "10,00,00.000", "0,00,05.5", "0,00,05.25"})
    t.view.AddItem("x", {"0", s});
  t.view.ColumnClick(2);
  EXPECT_EQ(t.column(3), (Strings{"0,00,05.25", "0,00,05.5", "0,59,59.999", "1,02,03.456", "10,00,00.000"}));
  t.view.ColumnClick(2);
  EXPECT_EQ(t.column(3), (Strings{"10,00,00.000", "1,02,03.456", "0,59,59.999", "0,00,05.5", "0,00,05.25"}));
  // A left-aligned column of the same texts sorts as text.
  t.view.Column(2)->SetAlignment(TAlignment::LeftJustify);
  t.view.ColumnClick(2);
  EXPECT_FALSE(t.view.NumericSort());
  EXPECT_EQ(t.column(3).front(), "0,00,05.25");  // third click on the same tag: ascending again, as text
  EXPECT_EQ(t.column(3).back(), "10,00,00.000");
}

TEST(ListViewRx, ClickSortsByTheClickedColumnsOwnTag) {
  TListViewRx view;
  for (int tag : {1, 2, 3, 5, 4}) view.AddColumn()->SetTag(tag);
  view.Column(4)->SetAlignment(TAlignment::RightJustify);  // tagged 4: sub-item 2
  view.AddItem("a", {"x", "b", "30", "m"});
  view.AddItem("b", {"y", "c", "4", "z"});
  view.AddItem("c", {"z", "a", "200", "k"});
  view.AddItem("d", {"w"});  // lacks the sub-item: reads as empty, i.e. 0
  view.ColumnClick(4);
  EXPECT_EQ(view.SortTag(), 4);
  std::vector<std::string> captions;
  for (int i = 0; i < view.ItemCount(); ++i) captions.push_back(view.Item(i)->Caption());
  EXPECT_EQ(captions, (Strings{"d", "b", "a", "c"}));
  view.ColumnClick(3);  // tagged 5: sub-item 3, text
  captions.clear();
  for (int i = 0; i < view.ItemCount(); ++i) captions.push_back(view.Item(i)->Caption());
  EXPECT_EQ(captions, (Strings{"d", "c", "a", "b"}));
}

TEST(ListViewRx, CaptionColumnTaggedZeroStillReverses) {
  TListViewRx view;
  view.AddColumn()->SetTag(0);
  view.AddItem("b");
  view.AddItem("a");
  view.AddItem("c");
  view.ColumnClick(0);
  EXPECT_EQ(view.Item(0)->Caption(), "a");
  view.ColumnClick(0);
  EXPECT_EQ(view.Item(0)->Caption(), "c");
  EXPECT_TRUE(view.Descending());
}

TEST(ListViewRx, CompareItemsFollowsTheSort) {
  Fixture f;
  TListItemRx* a = f.view.AddItem("Ann", {"10"});
  TListItemRx* b = f.view.AddItem("ann", {"9"});
  f.view.ColumnClick(0);
  EXPECT_EQ(f.view.CompareItems(a, b), 0);  // case does not count
  f.view.ColumnClick(1);
  EXPECT_EQ(f.view.CompareItems(a, b), 1);
  f.view.ColumnClick(1);
  EXPECT_EQ(f.view.CompareItems(a, b), -1);
}

TEST(ListViewRx, SaveColumnsWritesTheExactLines) {
  Fixture f;
  f.view.Column(0)->SetWidth(200);
  f.view.Column(1)->SetWidth(60);
  f.view.Column(1)->SetMinWidth(40);
  f.view.Column(2)->SetWidth(90);
  f.view.Column(2)->SetImageIndex(3);
  f.view.Column(2)->SetMaxWidth(300);
  f.view.Column(2)->SetAutoSize(true);
  f.view.Column(2)->SetAlignment(TAlignment::Center);
  StringList ini;
  ini.SetText(
      "[Grv016]\r\nLeft=5\r\nlvSts#0=old\r\nlvSts#7=older\r\nLVSTS#2=x\r\n\r\n[Next]\r\nlvSts#0=keep\r\n");
  f.view.SaveColumns(&ini, "Grv016");
  EXPECT_EQ(ini.Text(),
            "[Grv016]\r\nLeft=5\r\n\r\n"
            "lvSts#0=1 | Player | 200 | -1 | 0 | 0 | 0 | 0 | \r\n"
            "lvSts#1=2 | Score | 60 | -1 | 40 | 0 | 0 | 1 | \r\n"
            "lvSts#2=3 | Time | 90 | 3 | 0 | 300 | 1 | 2 | \r\n"
            "[Next]\r\nlvSts#0=keep\r\n");

  // A section that does not exist yet is appended with its header.
  StringList fresh;
  fresh.SetText("[Other]\r\na=1\r\n");
  f.view.SaveColumns(&fresh, "Grv016", "cols");
  EXPECT_EQ(fresh.Text(),
            "[Other]\r\na=1\r\n[Grv016]\r\n"
            "cols#0=1 | Player | 200 | -1 | 0 | 0 | 0 | 0 | \r\n"
            "cols#1=2 | Score | 60 | -1 | 40 | 0 | 0 | 1 | \r\n"
            "cols#2=3 | Time | 90 | 3 | 0 | 300 | 1 | 2 | \r\n");
  f.view.SaveColumns(nullptr, "Grv016");  // no list: nothing to do
}

TEST(ListViewRx, LoadColumnsReadsPresentFieldsOnly) {
  StringList ini;
  ini.SetText("[S]\r\nlvSts#0=3 | Time | | 5\r\nlvSts#1=x | Name | abc | 2 | | | 1 | 1 | \r\nlvSts#3=9 | gap\r\n");
  TListViewRx view;
  view.setObjectName("lvSts");
  EXPECT_TRUE(view.LoadColumns(&ini, "S"));
  ASSERT_EQ(view.ColumnCount(), 2);  // the gap at #2 ends the list
  TListColumnRx* c0 = view.Column(0);
  EXPECT_EQ(c0->Tag(), 3);
  EXPECT_EQ(c0->Caption(), "Time");
  EXPECT_EQ(c0->Width(), 50);  // left as it was
  EXPECT_EQ(c0->ImageIndex(), 5);
  TListColumnRx* c1 = view.Column(1);
  EXPECT_EQ(c1->Tag(), 0);  // a tag that is no number counts as absent
  EXPECT_EQ(c1->Caption(), "Name");
  EXPECT_EQ(c1->Width(), 50);
  EXPECT_EQ(c1->ImageIndex(), 2);
  EXPECT_TRUE(c1->AutoSize());
  EXPECT_EQ(c1->Alignment(), TAlignment::RightJustify);

  TListViewRx other;
  other.setObjectName("lvOther");
  EXPECT_FALSE(other.LoadColumns(&ini, "S"));
  EXPECT_FALSE(other.LoadColumns(&ini, "Missing", "lvSts"));
  EXPECT_FALSE(other.LoadColumns(nullptr, "S"));
  EXPECT_EQ(other.ColumnCount(), 0);
}

TEST(ListViewRx, LoadColumnsUpdatesExistingColumnsByTag) {
  Fixture f;
  StringList ini;
  ini.SetText("[S]\r\np#0=3 | Duration | 77 | -1 | 0 | 0 | 0 | 0 | \r\np#1=8 | Extra | 20 | -1 | 0 | 0 | 0 | 1 | \r\n");
  EXPECT_TRUE(f.view.LoadColumns(&ini, "S", "p"));
  ASSERT_EQ(f.view.ColumnCount(), 4);
  EXPECT_EQ(f.view.Column(2)->Caption(), "Duration");
  EXPECT_EQ(f.view.Column(2)->Width(), 77);
  EXPECT_EQ(f.view.Column(3)->Tag(), 8);
  // Alignment 0 leaves the column's alignment as it was.
  ini.SetText("[S]\r\np#0=2 | Score | 10 | -1 | 0 | 0 | 0 | 0 | \r\n");
  f.view.LoadColumns(&ini, "S", "p#");
  EXPECT_EQ(f.view.Column(1)->Alignment(), TAlignment::RightJustify);
}

TEST(ListViewRx, SaveAndLoadRoundTrip) {
  Fixture f;
  f.view.Column(0)->SetWidth(123);
  f.view.Column(2)->SetAlignment(TAlignment::Center);
  f.view.Column(2)->SetWidth(45);
  StringList ini;
  f.view.SaveColumns(&ini, "Grv016");
  const std::string first = ini.Text();

  TListViewRx copy;
  copy.setObjectName("lvSts");
  ASSERT_TRUE(copy.LoadColumns(&ini, "Grv016"));
  ASSERT_EQ(copy.ColumnCount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(copy.Column(i)->Tag(), f.view.Column(i)->Tag());
    EXPECT_EQ(copy.Column(i)->Caption(), f.view.Column(i)->Caption());
    EXPECT_EQ(copy.Column(i)->Width(), f.view.Column(i)->Width());
    EXPECT_EQ(copy.Column(i)->Alignment(), f.view.Column(i)->Alignment());
  }
  copy.SaveColumns(&ini, "Grv016");
  EXPECT_EQ(ini.Text(), first);
}

TEST(ListViewRx, WidthsStayWithinTheirLimits) {
  Fixture f;
  TListColumnRx* c = f.view.Column(0);
  c->SetMinWidth(30);
  c->SetMaxWidth(100);
  c->SetWidth(500);
  EXPECT_EQ(c->Width(), 100);
  f.view.header()->resizeSection(0, 10);  // as a drag of the divider does
  EXPECT_EQ(c->Width(), 30);
}

TEST(ListViewRx, F2AllowsRenamingAndTheEventGetsTheNewText) {
  Fixture f;
  f.view.show();
  TListItemRx* item = f.view.AddItem("Ann", {"1"});
  f.view.AddItem("Bob", {"2"});
  std::vector<std::string> edited;
  f.view.OnEdited = [&](TListViewRx*, TListItemRx* it, std::string& text) {
    EXPECT_EQ(it, item);
    edited.push_back(text);
  };
  EXPECT_FALSE(f.view.EditLabel(item));  // not allowed before F2

  QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
  QApplication::sendEvent(&f.view, &f2);
  EXPECT_FALSE(f.view.EditAllowed());  // nothing selected
  f.view.setCurrentItem(item);
  item->setSelected(true);
  QApplication::sendEvent(&f.view, &f2);
  EXPECT_TRUE(f.view.EditAllowed());
  QLineEdit* editor = f.view.viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), "Ann");

  // The editor commits: the list reports the text and keeps the caption.
  item->setData(0, Qt::EditRole, QString("Anna"));
  item->setData(0, Qt::EditRole, QString("Ann"));  // unchanged text: no event
  EXPECT_EQ(edited, (Strings{"Anna"}));
  EXPECT_EQ(item->Caption(), "Ann");

  // The editing event may refuse.
  f.view.OnEditing = [](TListViewRx*, TListItemRx*, bool& allow) { allow = false; };
  EXPECT_FALSE(f.view.EditLabel(f.view.Item(1)));
}

TEST(ListViewRx, DoubleClickOnlyRaisesTheEvent) {
  Fixture f;
  f.view.resize(300, 200);
  f.view.show();
  TListItemRx* item = f.view.AddItem("C:/does/not/matter.txt", {"1"});
  f.view.setCurrentItem(item);
  item->setSelected(true);
  QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
  QApplication::sendEvent(&f.view, &f2);
  ASSERT_TRUE(f.view.EditAllowed());
  int clicks = 0;
  f.view.OnDblClick = [&](TListViewRx* sender) {
    EXPECT_EQ(sender, &f.view);
    ++clicks;
  };
  const QPoint at = f.view.visualItemRect(item).center();
  QMouseEvent dbl(QEvent::MouseButtonDblClick, at, f.view.viewport()->mapToGlobal(at), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(f.view.viewport(), &dbl);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(f.view.EditAllowed());
}

TEST(ListViewRx, SortingKeepsTheSelection) {
  Fixture f;
  for (const char* s : {"d", "b", "a", "c"}) f.view.AddItem(s, {"0"});
  TListItemRx* b = f.view.Item(1);
  f.view.setCurrentItem(b);
  b->setSelected(true);
  f.view.ColumnClick(0);
  EXPECT_EQ(f.view.Item(1), b);
  EXPECT_TRUE(b->isSelected());
  EXPECT_EQ(f.view.currentItem(), b);
}

TEST(ListViewRx, EndlessColumnLinesAreCut) {
  StringList ini;
  ini.Add("[S]");
  for (int i = 0; i < 1500; ++i) ini.Add("c#" + std::to_string(i) + "=" + std::to_string(i + 1) + " | C | 20 |");
  TListViewRx view;
  EXPECT_TRUE(view.LoadColumns(&ini, "S", "c"));
  EXPECT_EQ(view.ColumnCount(), 1000);
  EXPECT_EQ(view.Column(999)->Tag(), 1000);
  EXPECT_EQ(view.headerItem()->text(999), "C");
}
