#pragma once
// The text-base editor of the card game (TSol048, ini section "Sol048",
// caption "Brides and Grooms"): a tree of the text base's person entries by
// kind, and the fields of the entry shown in edits. "Save" writes the fields
// back into the entry in memory, "Copy" adds a new entry; the text-base file
// itself is never written.
//
// Every entry counts as group 0 (a plain load gives every entry group 0), so
// an id must be unique over the whole text base: Copy and Save refuse an id
// that another entry already has. An entry that keeps its own id may always
// be saved, even when the file gave the same id twice.
//
// At most one window exists (the main window's Sol048()); it frees itself
// when closed.
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/placement.h"
#include "pellora/textbase.h"

class QFrame;
class QLineEdit;

namespace pellora {

class TLabelRx;

// Commands of the window (the buttons' tags; 10, 11 and 18 have no button).
enum SolEditorCommand : int32_t {
  ecFillTree = 10,
  ecShowNone = 11,
  ecLoad = 12,
  ecSave = 13,
  ecCopy = 15,
  ecClearModified = 18,
  ecTabBase = 900,
  ecTabLast = 999,
};
// Tab values (the tab buttons' values); only Slots, Name and xRef have pages.
enum SolEditorTab : int32_t { etGame = 1, etVisual = 2, etSlots = 3, etName = 4, etXRef = 5, etDev = 6 };
// The command that shows a tab.
constexpr int32_t TbTabCommand(int32_t tab) { return ecTabBase + tab; }
// The current entry when the fields show none.
inline constexpr int kTbNoEntry = -2;
// The group number every entry has for the uniqueness test and for Save.
inline constexpr int16_t kTbEditGroup = 0;

// ---- The editor's rules, without a window ----

// Caption of the tree node of a kind ("Brides", "Grooms", ... "Groups").
std::string TbKindCaption(int kind);

// The tree: one group per kind, in the order of the kinds' first entries;
// its entries in entry order. An entry reads as its id when the kind's first
// entry stands below index 8, else as its display text (its id when it has
// none).
struct TbTreeEntry {
  int index;
  std::string text;
};
struct TbTreeGroup {
  int kind;
  std::string caption;
  std::vector<TbTreeEntry> entries;
};
std::vector<TbTreeGroup> TbTree(const std::vector<recEngTDB>& persons);

// The line break of a long text: two characters of code 182.
inline constexpr std::string_view kTbLongTextBreak = "\xB6\xB6";
// A long text split at its line breaks (an empty text gives no line).
std::vector<std::string> TbLongTextLines(std::string_view longText);
// Lines joined by line breaks as they are; leading empty lines are dropped.
std::string TbJoinLongText(const std::vector<std::string>& lines);
// Lines trimmed of blanks, empty ones skipped, joined by single blanks.
std::string TbJoinWords(const std::vector<std::string>& lines);

// The first id of the form base + "_" + n (n = 1, 2, ...) that no entry of the
// text base has; the base is cut so that the id fits its 15 characters.
std::string TbCopyId(const TextBase& textbase, std::string_view base);

// The message that refuses a duplicate id.
std::string TbDuplicateKeyText(std::string_view id);
inline constexpr const char* kTbDuplicateKeyCaption = "Save TB entry [Sol048.Sb030]";

// ---- The window ----

class TSol048 : public foundation::TFormSx {
 public:
  explicit TSol048(TextBase& textbase, QWidget* parent = nullptr);
  ~TSol048() override;

  void RunCommand(int32_t command);
  // Shows the entry of that index in the fields (-1: the current one again;
  // below that, or beyond the last entry: none).
  void ShowEntry(int index);
  // Writes the fields into the current entry; false when nothing was written.
  bool SaveEntry();
  // Adds a copy of the current entry (with the edits, when dirty) and shows
  // it; false when no entry was added.
  bool CopyEntry();
  void ShowTab(int value);
  // The text base was loaded anew: the tree is refilled, no entry is shown.
  void TextbaseLoaded();

  int Current() const { return current_; }
  bool Dirty() const { return dirty_; }
  int TabValue() const;

  // ---- For tests ----
  QTreeWidget* Tree() const { return tvInq_; }
  QLineEdit* Edit(const char* name) const;
  QPlainTextEdit* Memo(const char* name) const;
  QPushButton* Button(const char* name) const;
  TLabelRx* Tab(int value) const;
  QWidget* Page(int value) const;
  QTableWidget* RefGrid() const { return gOmn_; }

 protected:
  void FormDestroy() override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void buildComponents();
  QWidget* buildTabs();
  void buildTree(QWidget* split);
  QWidget* buildEntryPage(QWidget* pages);
  QWidget* buildGroupPage(QWidget* pages);
  QWidget* buildXRefPage(QWidget* pages);
  QWidget* buildButtons();
  QLineEdit* AddEdit(QWidget* parent, const char* name, const char* hint, int length);
  QPlainTextEdit* AddMemo(QWidget* parent, const char* name);
  void FillTree();
  void SelectNode(int index);
  void SetDirty();
  void UpdateButtons();
  void ClearModified();
  // The entry as the fields describe it, over a copy of `from`.
  recEngTDB FieldsInto(recEngTDB from) const;
  // True (after the message that refuses it) when an entry has that id.
  bool IdTaken(const std::string& id) const;

  TextBase& textbase_;
  bool dirty_ = false;
  bool filling_ = false;
  bool treeBusy_ = false;  // the tree is being filled or selected by code
  int current_ = 0;

  QFrame* panTop_ = nullptr;
  std::vector<TLabelRx*> tabs_;
  QTreeWidget* tvInq_ = nullptr;
  std::vector<QTreeWidgetItem*> nodeOf_;  // the tree node of each entry
  QWidget* pnBse_ = nullptr;
  QWidget* pnGrp_ = nullptr;
  QWidget* panRef_ = nullptr;
  QTableWidget* gOmn_ = nullptr;
  QPushButton* bcRun12_ = nullptr;
  QPushButton* bcRun13_ = nullptr;
  QPushButton* bcRun15_ = nullptr;
};

}  // namespace pellora
