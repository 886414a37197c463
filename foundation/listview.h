#pragma once
// A report list whose column layout the user may change and which keeps that
// layout in an ini section, sorts by the clicked column (numerically when the
// column is right-aligned), and lets the user rename an item with F2.
//
// Columns are identified by their tag; a tag names the text the column
// shows: 1 (or 0 or -1) the item's caption, t >= 2 the item's sub-item t - 2.
// Column layout lines, one per column: key = prefix + index from 0, value =
// tag, caption, width, image index, minimum width, maximum width, auto size
// (0/1) and alignment (0 left, 1 right, 2 centre), each followed by " | ":
//   lvSts#0=1 | Player | 200 | -1 | 0 | 0 | 0 | 0 |
// Events are plain function members; the classes need no Q_OBJECT.
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/controls.h"
#include "foundation/variant.h"

namespace foundation {

class StringList;
class TListViewRx;

// A number read from display text, for sorting and number fields: the last
// "," or "." is the decimal point, other characters are skipped, a "-" at
// either end makes it negative. type: 2/3 integer (clamped to 32 bits),
// 4/5 double, 6 currency (four decimals, ties to even), 9/10/13 integer
// without sign, 11 Boolean (false when the text starts with one of
// "-.0FNfn"); any other type gives an empty variant. Blank text reads as 0
// (false). Very long digit runs saturate instead of overflowing.
Variant TextToVariant(std::string_view text, int type);

class TListColumnRx {
 public:
  int Tag() const { return tag_; }
  void SetTag(int tag);
  const std::string& Caption() const { return caption_; }  // Windows-1252
  void SetCaption(const std::string& caption);
  int Width() const;  // as the header shows it now
  void SetWidth(int width);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index) { imageIndex_ = index; }
  int MinWidth() const { return minWidth_; }
  void SetMinWidth(int width);
  int MaxWidth() const { return maxWidth_; }  // 0: no maximum
  void SetMaxWidth(int width);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on) { autoSize_ = on; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment);
  int Index() const;  // position in the list's column collection

 private:
  friend class TListViewRx;
  explicit TListColumnRx(TListViewRx* owner) : owner_(owner) {}

  TListViewRx* owner_;
  int tag_ = 0;
  std::string caption_;
  int width_ = 50;
  int imageIndex_ = -1;
  int minWidth_ = 0;
  int maxWidth_ = 0;
  bool autoSize_ = false;
  TAlignment alignment_ = TAlignment::LeftJustify;
};

class TListItemRx : public QTreeWidgetItem {
 public:
  TListItemRx() = default;
  const std::string& Caption() const { return caption_; }  // Windows-1252
  void SetCaption(const std::string& caption);
  const std::vector<std::string>& SubItems() const { return subItems_; }
  void SetSubItems(std::vector<std::string> subItems);
  void SetSubItem(int index, const std::string& text);  // grows the sub-items as needed
  // The text a column of this tag shows; "" for a sub-item the item lacks.
  std::string TextForTag(int tag) const;

  QVariant data(int column, int role) const override;
  void setData(int column, int role, const QVariant& value) override;

 private:
  std::string caption_;
  std::vector<std::string> subItems_;
};

class TListViewRx : public QTreeWidget {
 public:
  explicit TListViewRx(QWidget* parent = nullptr);
  ~TListViewRx() override;

  // Columns, in collection order.
  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  TListColumnRx* Column(int index) const;
  TListColumnRx* AddColumn();
  void ClearColumns();
  // The first column whose tag equals tag, or null.
  TListColumnRx* ColumnByTag(int tag) const;

  // Items, in display order.
  int ItemCount() const { return topLevelItemCount(); }
  TListItemRx* Item(int index) const;
  TListItemRx* AddItem(const std::string& caption, std::vector<std::string> subItems = {});
  void ClearItems() { clear(); }

  // Reads the column layout from the section; an empty prefix is the
  // control's object name, and "#" is added unless the prefix ends with it.
  // With columns present, stored tags update the column of that tag. At most
  // 1000 lines are read. True when at least one column line was read.
  bool LoadColumns(const StringList* ini, std::string_view section, std::string_view prefix = {});
  // Replaces the stored column lines of the section by the current layout
  // (a missing section is appended with its header).
  void SaveColumns(StringList* ini, std::string_view section, std::string_view prefix = {});

  // Sorts as a click on the header of column `index` does: by that column's
  // tag, ascending, and descending on the next click of the same column;
  // numerically when the column is right-aligned. Then OnColumnClick fires.
  void ColumnClick(int index);
  // The sort comparison under the current sort: -1, 0 or 1, by the sort
  // tag's text (as numbers with numeric sort, else ignoring Latin-1 case),
  // reversed when descending.
  int CompareItems(const TListItemRx* item1, const TListItemRx* item2) const;
  // The sort column's tag, negative for descending (0 before the first sort).
  int SortKey() const { return descending_ ? -sortTag_ : sortTag_; }
  int SortTag() const { return sortTag_; }
  bool Descending() const { return descending_; }
  bool NumericSort() const { return numericSort_; }

  bool EditAllowed() const { return editAllowed_; }
  // Starts renaming the item's label when editing is allowed (F2 allows it)
  // and OnEditing agrees. True when the editor opened.
  bool EditLabel(TListItemRx* item);

  std::function<void(TListViewRx* sender, TListColumnRx* column)> OnColumnClick;
  std::function<void(TListViewRx* sender, TListItemRx* item, bool& allowEdit)> OnEditing;
  // The caption is not changed by the list; a handler applies the new text.
  std::function<void(TListViewRx* sender, TListItemRx* item, std::string& text)> OnEdited;
  std::function<void(TListViewRx* sender)> OnDblClick;

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;

 private:
  friend class TListColumnRx;
  friend class TListItemRx;

  int tagOfColumn(int column) const;
  TAlignment alignmentOfColumn(int column) const;
  void syncColumnHeader(const TListColumnRx* column);
  void syncHeaderCount();
  void labelEdited(TListItemRx* item, const std::string& text);
  void sortItems();
  void sectionResized(int logical, int oldSize, int newSize);
  std::string prefixFor(std::string_view prefix) const;
  // Column the caption is shown in, for editing.
  int captionColumn() const;

  std::vector<std::unique_ptr<TListColumnRx>> columns_;
  bool editAllowed_ = false;
  bool sorted_ = false;
  int sortTag_ = 0;
  bool descending_ = false;
  bool numericSort_ = false;
  bool adjustingWidth_ = false;
};

}  // namespace foundation
