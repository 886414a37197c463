// The text-base editor over a text base in memory and over the main window:
// the tree, the fields and their way back into the entry, Copy and the
// duplicate-id refusal, the dirty state, the tabs, and the window's life.
#include <gtest/gtest.h>

#include <QPointer>

#include "pellora-lib/labelrx.h"
#include "pellora/main_window.h"
#include "pellora/test_support.h"
#include "pellora/textbase_editor.h"
#include "platform/text.h"

namespace pellora {
namespace {

class TextbaseEditorTest : public testkit::WindowFixture {
 protected:
  void TearDown() override {
    editor_.reset();
    WindowFixture::TearDown();
  }

  // An editor over the text base of the fixture (not the main window's).
  TSol048& OpenEditor() {
    editor_ = std::make_unique<TSol048>(tb_);
    return *editor_;
  }
  void Person(int kind, const char* line) { ASSERT_GE(tb_.ParsePerson(kind, line, -1), 0); }

  static QStringList TopCaptions(const TSol048& e) {
    QStringList captions;
    for (int i = 0; i < e.Tree()->topLevelItemCount(); ++i) captions << e.Tree()->topLevelItem(i)->text(0);
    return captions;
  }
  static QStringList Children(const TSol048& e, int top) {
    QStringList texts;
    const QTreeWidgetItem* group = e.Tree()->topLevelItem(top);
    for (int i = 0; i < group->childCount(); ++i) texts << group->child(i)->text(0);
    return texts;
  }
  static QString Caption(const TSol048& e) { return e.Edit("fpCap")->text(); }

  TextBase tb_;
  std::unique_ptr<TSol048> editor_;
};

TEST_F(TextbaseEditorTest, TheTreeGroupsByKindInTheOrderOfTheFirstEntries) {
  // Brides first, then an omen, a groom, more brides: one node per kind, in
  // the order the kinds first appear, each with its entries in entry order.
  Person(tbkBride, "Ann = Anna Bell ! A tip");
  Person(tbkOmen, "Luck = Fortune");
  Person(tbkGroom, "Bob = Robert");
  Person(tbkBride, "Cat = Catherine");
  Person(tbkDefault, "Bride ! Default bride");
  Person(tbkBride, "Dora");
  Person(tbkGroup, "Brides = Brides {color=FF44DD}");
  Person(tbkGroom, "Eric = Eric the Red");
  // A kind whose first entry stands at index 8 or later reads by display
  // text; a bare name there reads by its id.
  Person(tbkBrideMother, "Mo1 = Mother One");
  Person(tbkBrideMother, "Mo2");
  TSol048& e = OpenEditor();
  EXPECT_EQ(e.objectName(), "Sol048");
  EXPECT_EQ(e.windowTitle(), "Brides and Grooms");
  EXPECT_EQ(TopCaptions(e), QStringList({"Brides", "Omens", "Grooms", "Defs", "Groups", "Brd-Moms"}));
  EXPECT_EQ(Children(e, 0), QStringList({"Ann", "Cat", "Dora"}));
  EXPECT_EQ(Children(e, 1), QStringList({"Luck"}));
  EXPECT_EQ(Children(e, 2), QStringList({"Bob", "Eric"}));
  EXPECT_EQ(Children(e, 5), QStringList({"Mother One", "Mo2"}));

  // The first entry is shown at creation; a group node shows nothing.
  EXPECT_EQ(e.Current(), 0);
  EXPECT_EQ(Caption(e), "Ann");
  EXPECT_EQ(e.Edit("fpNam")->text(), "Anna Bell");
  e.Tree()->setCurrentItem(e.Tree()->topLevelItem(2));
  EXPECT_EQ(e.Current(), 0);
  EXPECT_EQ(Caption(e), "Ann");
  e.Tree()->setCurrentItem(e.Tree()->topLevelItem(2)->child(1));
  EXPECT_EQ(e.Current(), 7);
  EXPECT_EQ(Caption(e), "Eric");
  EXPECT_EQ(e.Edit("fpNam")->text(), "Eric the Red");
  EXPECT_TRUE(messages_.empty());
}

TEST_F(TextbaseEditorTest, ALoadedTextBaseListsGroupsByIdAndPersonsByDisplayText) {
  WriteFile("tb.Ini", "[Brides]\r\nAnn = Anna Bell\r\nZoe\r\n[Grooms]\r\nBob = Robert\r\n");
  tb_.LoadTextbase(dir_.filePath("tb.Ini").toStdString());
  TSol048& e = OpenEditor();
  // The loader puts the group titles first and the omens last.
  EXPECT_EQ(TopCaptions(e), QStringList({"Groups", "Brides", "Grooms", "Defs", "Omens"}));
  EXPECT_EQ(Children(e, 0).front(), "Brides");  // an id: the group starts at 0
  EXPECT_EQ(Children(e, 1), QStringList({"Anna Bell", "Zoe"}));
  EXPECT_EQ(Children(e, 2), QStringList({"Robert"}));
  EXPECT_EQ(Children(e, 4).size(), 19);
  // Every entry has a node that shows it.
  int nodes = 0;
  for (int i = 0; i < e.Tree()->topLevelItemCount(); ++i) nodes += e.Tree()->topLevelItem(i)->childCount();
  EXPECT_EQ(nodes, static_cast<int>(tb_.Persons().size()));
}

TEST_F(TextbaseEditorTest, FieldsGoBackIntoTheEntryAsTheyWereShown) {
  Person(tbkBride, "Ann = Anna ! Tip : Family {hair=red} <tall> \xA1 One\xB6\xB6Two");
  Person(tbkBride, "Cat = Catherine");
  tb_.Persons()[0].slotGroup = "Slot";
  TSol048& e = OpenEditor();
  EXPECT_EQ(e.Edit("eSub")->text(), "Family");
  EXPECT_EQ(e.Edit("fpGrp")->text(), "Slot");
  EXPECT_EQ(e.Memo("fpAtt")->toPlainText(), "hair=red");
  EXPECT_EQ(e.Memo("fpPrp")->toPlainText(), "tall");
  EXPECT_EQ(e.Memo("fpHnt")->toPlainText(), "One\nTwo");
  EXPECT_EQ(e.Edit("fpCap")->maxLength(), 15);
  EXPECT_EQ(e.Edit("fpGrp")->maxLength(), 7);
  EXPECT_EQ(e.Edit("fpMom")->maxLength(), 15);

  // Three lines with an empty middle one: two breaks of two code-182
  // characters each, and the same three lines when shown again.
  e.Memo("fpHnt")->setPlainText("first\n\nthird");
  // Words trimmed and joined by one blank, empty lines skipped; a no-break
  // space inside a word stays what it is.
  e.Memo("fpPrp")->setPlainText("  tall  \n\n slim");
  e.Memo("fpAtt")->setPlainText(QString("eyes") + QChar(0xA0) + "blue\n");
  e.Edit("fpMom")->setText("Mother");
  e.Edit("fpDad")->setText("Father");
  // The group edits are not written back.
  e.Edit("fpGrp")->setText("Other");
  e.Edit("eSub")->setText("Else");
  ASSERT_TRUE(e.SaveEntry());
  const recEngTDB& p = tb_.Persons()[0];
  EXPECT_EQ(p.longText, "first\xB6\xB6\xB6\xB6third");
  EXPECT_EQ(p.angleText, "tall slim");
  EXPECT_EQ(p.braceText, "eyes\xA0" "blue");
  EXPECT_EQ(p.motherId, "Mother");
  EXPECT_EQ(p.fatherId, "Father");
  EXPECT_EQ(p.slotGroup, "Slot");
  EXPECT_EQ(p.personGroup, "Family");
  EXPECT_EQ(p.id, "Ann");
  EXPECT_EQ(p.tip, "Tip");
  e.ShowEntry(1);
  e.ShowEntry(0);
  EXPECT_EQ(e.Memo("fpHnt")->toPlainText(), "first\n\nthird");
  EXPECT_EQ(e.Memo("fpPrp")->toPlainText(), "tall slim");
  EXPECT_EQ(e.Edit("fpGrp")->text(), "Slot");

  // Leading empty lines of the long text go, later ones stay.
  e.Memo("fpHnt")->setPlainText("\n\nA\n\n");
  ASSERT_TRUE(e.SaveEntry());
  EXPECT_EQ(tb_.Persons()[0].longText, "A\xB6\xB6");
  EXPECT_EQ(TbLongTextLines(tb_.Persons()[0].longText), (std::vector<std::string>{"A", ""}));
  EXPECT_TRUE(TbLongTextLines("").empty());
  EXPECT_EQ(TbJoinLongText({"", "", ""}), "");

  // Another entry chosen after an edit, without Save: the edit is gone.
  e.Edit("fpNam")->setText("Changed");
  e.Tree()->setCurrentItem(e.Tree()->topLevelItem(0)->child(1));
  EXPECT_EQ(e.Current(), 1);
  EXPECT_EQ(tb_.Persons()[0].displayText, "Anna");
  EXPECT_FALSE(e.Dirty());
}

TEST_F(TextbaseEditorTest, CopyNamesTheNewEntryAfterTheFirstFreeNumber) {
  Person(tbkBride, "X = Xenia ! Her tip");
  Person(tbkGroom, "ABCDEFGHIJKLMNOPQ");  // cut to 15 by the loader
  TSol048& e = OpenEditor();
  EXPECT_TRUE(e.Button("bcRun15")->isEnabled());
  ASSERT_TRUE(e.CopyEntry());
  ASSERT_EQ(tb_.Persons().size(), 3u);
  const recEngTDB& first = tb_.Persons()[2];
  EXPECT_EQ(first.id, "X_1");
  EXPECT_EQ(first.kind, tbkBride);
  EXPECT_EQ(first.displayText, "Xenia");
  EXPECT_EQ(first.tip, "Her tip");
  EXPECT_EQ(first.groupNumber, kTbEditGroup);
  // The copy is shown, with its node in the tree (no index moved).
  EXPECT_EQ(e.Current(), 2);
  EXPECT_EQ(Caption(e), "X_1");
  EXPECT_EQ(Children(e, 0), QStringList({"X", "X_1"}));
  EXPECT_EQ(tb_.Persons()[0].id, "X");
  // The next copy of X takes the next number.
  e.ShowEntry(0);
  ASSERT_TRUE(e.Button("bcRun15")->isEnabled());
  e.Button("bcRun15")->click();
  ASSERT_EQ(tb_.Persons().size(), 4u);
  EXPECT_EQ(tb_.Persons()[3].id, "X_2");
  // A full-length id gives room for the number.
  e.ShowEntry(1);
  ASSERT_TRUE(e.CopyEntry());
  EXPECT_EQ(tb_.Persons().back().id, "ABCDEFGHIJKLM_1");
  EXPECT_EQ(tb_.FindPerson(kTbEditGroup, "ABCDEFGHIJKLM_1"), 4);
  EXPECT_TRUE(messages_.empty());

  // A dirty copy takes the edits under the id as edited; the entry shown
  // keeps what it had.
  e.ShowEntry(0);
  e.Edit("fpCap")->setText("Y");
  e.Edit("fpNam")->setText("Yvonne");
  ASSERT_TRUE(e.CopyEntry());
  EXPECT_EQ(tb_.Persons().back().id, "Y");
  EXPECT_EQ(tb_.Persons().back().displayText, "Yvonne");
  EXPECT_EQ(tb_.Persons()[0].displayText, "Xenia");
  EXPECT_FALSE(e.Dirty());

  // Nothing shown: nothing to copy.
  e.RunCommand(ecShowNone);
  EXPECT_FALSE(e.Button("bcRun15")->isEnabled());
  const size_t count = tb_.Persons().size();
  EXPECT_FALSE(e.CopyEntry());
  EXPECT_EQ(tb_.Persons().size(), count);
}

TEST_F(TextbaseEditorTest, AFullTextBaseRefusesACopy) {
  recEngTDB omen;
  omen.kind = tbkOmen;
  for (int i = 0; i < kTbMaxPersons; ++i) {
    omen.id = "O" + std::to_string(i);
    tb_.Persons().push_back(omen);
  }
  TSol048& e = OpenEditor();
  EXPECT_FALSE(e.CopyEntry());
  EXPECT_EQ(tb_.Persons().size(), static_cast<size_t>(kTbMaxPersons));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].find("32767"), std::string::npos);
}

TEST_F(TextbaseEditorTest, AnIdAnotherEntryHasIsRefusedBySaveAndCopy) {
  Person(tbkBride, "Ann = Anna");
  Person(tbkBride, "Bea = Beatrice");
  Person(tbkBride, "Dup = First");
  Person(tbkBride, "Dup = Second");  // the file gave this id twice
  TSol048& e = OpenEditor();
  const std::string refusal =
      "You are trying create new entry with duplicate key\r\n- Key   = ann\r\n"
      "You are not allowed to do so. Cancelling update.";
  EXPECT_EQ(TbDuplicateKeyText("ann"), refusal);

  // Save: another entry's id, in other letter case, is refused; the entry
  // keeps everything and the window stays dirty.
  e.ShowEntry(1);
  e.Edit("fpCap")->setText("ann");
  e.Edit("fpNam")->setText("Changed");
  EXPECT_FALSE(e.SaveEntry());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], refusal);
  EXPECT_EQ(captions_[0], "Save TB entry [Sol048.Sb030]");
  EXPECT_EQ(tb_.Persons()[1].id, "Bea");
  EXPECT_EQ(tb_.Persons()[1].displayText, "Beatrice");
  EXPECT_TRUE(e.Dirty());
  // Copy while dirty refuses the same id with the same message.
  messages_.clear();
  EXPECT_FALSE(e.CopyEntry());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], refusal);
  EXPECT_EQ(tb_.Persons().size(), 4u);
  // An id of its own, in any case, or a free one is saved.
  messages_.clear();
  e.Edit("fpCap")->setText("BEA");
  EXPECT_TRUE(e.SaveEntry());
  EXPECT_EQ(tb_.Persons()[1].id, "BEA");
  EXPECT_EQ(tb_.Persons()[1].displayText, "Changed");
  // The tree shows the saved text.
  EXPECT_EQ(Children(e, 0)[1], "BEA");
  // A loaded duplicate keeps its id and may be saved.
  e.ShowEntry(3);
  e.Edit("fpNam")->setText("Second, changed");
  EXPECT_TRUE(e.SaveEntry());
  EXPECT_EQ(tb_.Persons()[3].displayText, "Second, changed");
  EXPECT_TRUE(messages_.empty());
  // An unchanged copy never collides.
  EXPECT_TRUE(e.CopyEntry());
  EXPECT_EQ(tb_.Persons().back().id, "Dup_1");
}

TEST_F(TextbaseEditorTest, LoadAndSaveAreEnabledExactlyWhileDirty) {
  Person(tbkBride, "Ann = Anna");
  TSol048& e = OpenEditor();
  QPushButton* load = e.Button("bcRun12");
  QPushButton* save = e.Button("bcRun13");
  QPushButton* copy = e.Button("bcRun15");
  EXPECT_EQ(load->text(), "Load");
  EXPECT_EQ(save->text(), "Save");
  EXPECT_NE(save->toolTip().indexOf("not written"), -1);
  EXPECT_FALSE(e.Dirty());
  EXPECT_FALSE(load->isEnabled());
  EXPECT_FALSE(save->isEnabled());
  EXPECT_TRUE(copy->isEnabled());
  // An edit, a memo or a cell of the grid makes the window dirty.
  e.Edit("fpTip")->setText("New tip");
  EXPECT_TRUE(e.Dirty());
  EXPECT_TRUE(load->isEnabled());
  EXPECT_TRUE(save->isEnabled());
  // Load shows the entry again and is clean.
  load->click();
  EXPECT_FALSE(e.Dirty());
  EXPECT_FALSE(save->isEnabled());
  EXPECT_EQ(e.Edit("fpTip")->text(), "");
  e.Memo("fpHnt")->setPlainText("x");
  EXPECT_TRUE(e.Dirty());
  save->click();
  EXPECT_FALSE(e.Dirty());
  EXPECT_FALSE(load->isEnabled());
  EXPECT_EQ(tb_.Persons()[0].longText, "x");
  e.RefGrid()->setItem(0, 0, new QTableWidgetItem("1"));
  EXPECT_TRUE(e.Dirty());
  // Cleared fields: nothing current, nothing written, nothing to copy.
  e.RunCommand(ecShowNone);
  EXPECT_EQ(e.Current(), kTbNoEntry);
  EXPECT_EQ(Caption(e), "");
  EXPECT_FALSE(copy->isEnabled());
  e.Edit("fpCap")->setText("Nobody");
  EXPECT_TRUE(save->isEnabled());
  EXPECT_FALSE(e.SaveEntry());
  EXPECT_EQ(tb_.Persons().size(), 1u);
  EXPECT_EQ(tb_.Persons()[0].id, "Ann");
  // An index beyond the last entry shows none.
  e.ShowEntry(5);
  EXPECT_EQ(e.Current(), kTbNoEntry);
}

TEST_F(TextbaseEditorTest, TabsShowTheirPagesAndTheDownTabIsStored) {
  Person(tbkBride, "Ann");
  {
    TSol048& e = OpenEditor();
    // The entry editor is shown and its tab is down.
    EXPECT_EQ(e.TabValue(), etSlots);
    EXPECT_TRUE(e.Tab(etSlots)->Down());
    EXPECT_TRUE(e.Page(etSlots)->isVisibleTo(&e));
    e.Tab(etXRef)->Click();
    EXPECT_EQ(e.TabValue(), etXRef);
    EXPECT_TRUE(e.Page(etXRef)->isVisibleTo(&e));
    EXPECT_FALSE(e.Page(etSlots)->isVisibleTo(&e));
    // A click on the tab that is down keeps it down.
    e.Tab(etXRef)->Click();
    EXPECT_TRUE(e.Tab(etXRef)->Down());
    e.RunCommand(TbTabCommand(etName));
    EXPECT_TRUE(e.Page(etName)->isVisibleTo(&e));
    e.RunCommand(TbTabCommand(etGame));
    for (int page : {etSlots, etName, etXRef}) EXPECT_FALSE(e.Page(page)->isVisibleTo(&e));
    EXPECT_EQ(e.TabValue(), etGame);
    EXPECT_EQ(e.Tab(etGame)->objectName(), "btTab01");
    EXPECT_EQ(e.Tab(etDev)->objectName(), "LabelRx2");
    EXPECT_EQ(e.Tab(etDev)->property("Tag").toInt(), 906);
  }
  editor_.reset();
  EXPECT_EQ(IniValue("Sol048", "btTab"), "1");
  EXPECT_NE(IniValue("Sol048", "Left"), "<none>");
  // The next window does not read it: the entry editor is shown again.
  TSol048& again = OpenEditor();
  EXPECT_EQ(again.TabValue(), etSlots);
}

TEST_F(TextbaseEditorTest, OneEditorThatFreesItselfAndFollowsANewTextBase) {
  WriteFile("Sol040tb.Ini", "[Brides]\r\nAnn = Anna\r\n");
  // Opened before the main window's first activation: the text base is
  // still empty, and the editor follows its load.
  main_ = std::make_unique<TSol040>();
  main_->Table().Options.AnimBits = 0;
  main_->RunCommand(cmTextbase);
  ASSERT_NE(main_->Sol048(), nullptr);
  TSol048* first = main_->Sol048();
  QPointer<TSol048> watch(first);
  EXPECT_EQ(first->Tree()->topLevelItemCount(), 0);
  EXPECT_EQ(first->Current(), kTbNoEntry);
  main_->FormActivate();
  EXPECT_EQ(TopCaptions(*first).front(), "Groups");
  EXPECT_EQ(first->Current(), kTbNoEntry);
  // A second TB raises the same window.
  main_->RunCommand(cmTextbase);
  EXPECT_EQ(main_->Sol048(), first);
  first->Tree()->setCurrentItem(first->Tree()->topLevelItem(1)->child(0));
  EXPECT_EQ(first->Edit("fpCap")->text(), "Ann");
  EXPECT_EQ(&main_->Textbase().Persons()[static_cast<size_t>(first->Current())],
            &main_->Textbase().Persons()[static_cast<size_t>(main_->Textbase().FindPerson(0, "Ann"))]);

  // A text base loaded anew while the editor is open: its tree is refilled
  // and no entry of the old one is shown.
  WriteFile("other.Ini", "[Grooms]\r\nBob = Robert\r\n");
  first->Edit("fpNam")->setText("edited");
  main_->Textbase().LoadTextbase(dir_.filePath("other.Ini").toStdString());
  first->TextbaseLoaded();
  EXPECT_EQ(first->Current(), kTbNoEntry);
  EXPECT_EQ(first->Edit("fpCap")->text(), "");
  EXPECT_FALSE(first->Dirty());
  EXPECT_EQ(TopCaptions(*first)[1], "Grooms");

  // Closed, it frees itself and clears the reference; TB makes a new one.
  first->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(watch.isNull());
  EXPECT_EQ(main_->Sol048(), nullptr);
  EXPECT_NE(IniValue("Sol048", "btTab"), "<none>");
  main_->RunCommand(cmTextbase);
  ASSERT_NE(main_->Sol048(), nullptr);
  EXPECT_NE(main_->Sol048()->Tree()->topLevelItemCount(), 0);
  EXPECT_TRUE(messages_.empty());
}

}  // namespace
}  // namespace pellora
