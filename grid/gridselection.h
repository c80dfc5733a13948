// The selection of a data grid: selected row bookmarks, a rectangle of cells, selected
// columns, or the whole grid, with the transitions between them. Each kind keeps its own
// storage; changing the kind empties the storage of the previous one. A selection belongs
// to its DataGrid (see grid.h), which it asks for row order and tells about changes.
#pragma once

#include <algorithm>
#include <optional>
#include <vector>

#include "data/dataset.h"

namespace enviozvr::grid {

class DataGrid;
class TGridColumn;

using Bookmark = data::CachedResultSet::Bookmark;
using TBookmark = std::optional<Bookmark>;  // empty: no row

// An ordered list of columns that does not own them.
using TGridColumnList = std::vector<TGridColumn*>;

enum TGridSelectionType { gstRecordBookmarks, gstRectangle, gstColumns, gstAll, gstNon };

// Selected row bookmarks, kept sorted in data-set order.
class TBookmarkList {
  public:
    explicit TBookmarkList(DataGrid& grid) : grid_(grid) {}
    int Count() const { return static_cast<int>(items_.size()); }
    Bookmark operator[](int i) const { return items_.at(i); }
    const std::vector<Bookmark>& items() const { return items_; }
    bool contains(Bookmark b) const;
    // Adds a bookmark at its place in data-set order (nothing when present).
    void add(Bookmark b);
    void remove(Bookmark b);
    void clear() { items_.clear(); }

  private:
    DataGrid& grid_;
    std::vector<Bookmark> items_;
};

struct TGridCell {
    int Col = -1;
    TBookmark Row;
};

// A rectangle between an anchor cell and a shift cell.
class TGridSelectionRect {
  public:
    explicit TGridSelectionRect(DataGrid& grid) : grid_(grid) {}
    TGridCell Anchor;
    TGridCell Shift;

    bool empty() const { return Anchor.Col < 0 && Shift.Col < 0 && !Anchor.Row && !Shift.Row; }
    int DataLeftCol() const { return std::min(Anchor.Col, Shift.Col); }
    int DataRightCol() const { return std::max(Anchor.Col, Shift.Col); }
    // Compare the two bookmarks in data-set order (moves the cursor and puts it back).
    TBookmark DataTopRow() const;
    TBookmark DataBottomRow() const;
    void clear() {
        Anchor = {};
        Shift = {};
    }

  private:
    DataGrid& grid_;
};

// Selected columns, kept in column-index order, with the anchor of extensions.
class TGridSelectionCols {
  public:
    int Count() const { return static_cast<int>(items_.size()); }
    TGridColumn* operator[](int i) const { return items_.at(i); }
    const TGridColumnList& items() const { return items_; }
    bool contains(const TGridColumn* c) const;
    TGridColumn* Anchor() const { return anchor_; }

  private:
    friend class TGridSelection;
    void add(TGridColumn* c);
    void remove(TGridColumn* c);
    TGridColumnList items_;
    TGridColumn* anchor_ = nullptr;
};

class TGridSelection {
  public:
    explicit TGridSelection(DataGrid& grid) : grid_(grid), Rows(grid), Rect(grid) {}

    TGridSelectionType SelectionType() const { return type_; }

    // Sets the kind to gstNon and empties the storage of the previous kind.
    void ClearSelection();
    // The whole grid: nothing when already so; otherwise clears and sets gstAll.
    void SelectWholeGrid();

    // Column selection: one column alone; toggling keeps the others; extending selects
    // every visible column from the anchor to `column`.
    void selectColumn(TGridColumn& column);
    void toggleColumn(TGridColumn& column);
    void extendColumnSelection(TGridColumn& column);

    // Row and rectangle selections (reached only with multi-selection).
    void selectRows(const std::vector<Bookmark>& bookmarks);
    void selectRectangle(TGridCell anchor, TGridCell shift);

    // Drops a column that leaves the grid.
    void forgetColumn(TGridColumn* column);
    // Puts the selected columns back in column-index order after a column moved.
    void columnsReordered();

  private:
    DataGrid& grid_;
    TGridSelectionType type_ = gstNon;

  public:
    TBookmarkList Rows;
    TGridSelectionRect Rect;
    TGridSelectionCols Columns;

  private:
    void changed();
};

}  // namespace enviozvr::grid
