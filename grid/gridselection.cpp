#include "grid/gridselection.h"

#include "grid/grid.h"

namespace enviozvr::grid {

bool TBookmarkList::contains(Bookmark b) const {
    for (Bookmark x : items_)
        if (x == b) return true;
    return false;
}

void TBookmarkList::add(Bookmark b) {
    if (contains(b)) return;
    auto it = items_.begin();
    while (it != items_.end() && grid_.compareBookmarks(*it, b) < 0) ++it;
    items_.insert(it, b);
}

void TBookmarkList::remove(Bookmark b) { std::erase(items_, b); }

TBookmark TGridSelectionRect::DataTopRow() const {
    if (!Anchor.Row || !Shift.Row) return Anchor.Row ? Anchor.Row : Shift.Row;
    return grid_.compareBookmarks(*Anchor.Row, *Shift.Row) <= 0 ? Anchor.Row : Shift.Row;
}

TBookmark TGridSelectionRect::DataBottomRow() const {
    if (!Anchor.Row || !Shift.Row) return Anchor.Row ? Anchor.Row : Shift.Row;
    return grid_.compareBookmarks(*Anchor.Row, *Shift.Row) < 0 ? Shift.Row : Anchor.Row;
}

bool TGridSelectionCols::contains(const TGridColumn* c) const {
    for (TGridColumn* x : items_)
        if (x == c) return true;
    return false;
}

void TGridSelectionCols::add(TGridColumn* c) {
    if (contains(c)) return;
    auto it = items_.begin();
    while (it != items_.end() && (*it)->Index() < c->Index()) ++it;
    items_.insert(it, c);
}

void TGridSelectionCols::remove(TGridColumn* c) { std::erase(items_, c); }

void TGridSelection::changed() {
    if (!grid_.destroying() && grid_.OnSelectionChanged) grid_.OnSelectionChanged();
}

void TGridSelection::ClearSelection() {
    const TGridSelectionType was = type_;
    type_ = gstNon;
    switch (was) {
        case gstRecordBookmarks:
            if (Rows.Count() > 0) {
                Rows.clear();
                grid_.repaint();
                changed();
            }
            break;
        case gstRectangle:
            Rect.clear();
            grid_.repaint();
            changed();
            break;
        case gstColumns:
            if (Columns.Count() > 0) {
                Columns.items_.clear();
                Columns.anchor_ = nullptr;
                grid_.repaint();
                changed();
            }
            Columns.anchor_ = nullptr;
            break;
        case gstAll:
            changed();
            grid_.repaint();
            break;
        case gstNon:
            break;
    }
}

void TGridSelection::SelectWholeGrid() {
    if (type_ == gstAll) return;
    if (type_ != gstNon) ClearSelection();
    type_ = gstAll;
    grid_.repaint();
    changed();
}

void TGridSelection::selectColumn(TGridColumn& column) {
    if (type_ != gstColumns && type_ != gstNon) ClearSelection();
    Columns.items_.clear();
    Columns.add(&column);
    Columns.anchor_ = &column;
    type_ = gstColumns;
    grid_.repaint();
    changed();
}

void TGridSelection::toggleColumn(TGridColumn& column) {
    if (type_ != gstColumns && type_ != gstNon) ClearSelection();
    if (type_ == gstNon) {
        Columns.items_.clear();
        Columns.anchor_ = nullptr;
    }
    if (Columns.contains(&column))
        Columns.remove(&column);
    else
        Columns.add(&column);
    Columns.anchor_ = &column;
    type_ = Columns.Count() > 0 ? gstColumns : gstNon;
    grid_.repaint();
    changed();
}

void TGridSelection::extendColumnSelection(TGridColumn& column) {
    TGridColumn* anchor = type_ == gstColumns ? Columns.anchor_ : nullptr;
    if (!anchor) {
        selectColumn(column);
        return;
    }
    const int from = std::min(anchor->Index(), column.Index());
    const int to = std::max(anchor->Index(), column.Index());
    Columns.items_.clear();
    for (int i = from; i <= to; ++i) {
        TGridColumn& c = grid_.column(i);
        if (c.Visible) Columns.add(&c);
    }
    Columns.anchor_ = anchor;
    type_ = gstColumns;
    grid_.repaint();
    changed();
}

void TGridSelection::selectRows(const std::vector<Bookmark>& bookmarks) {
    if (type_ != gstNon) ClearSelection();
    Rows.clear();
    for (Bookmark b : bookmarks) Rows.add(b);
    type_ = gstRecordBookmarks;
    grid_.repaint();
    changed();
}

void TGridSelection::selectRectangle(TGridCell anchor, TGridCell shift) {
    if (type_ != gstNon) ClearSelection();
    Rect.Anchor = anchor;
    Rect.Shift = shift;
    type_ = gstRectangle;
    grid_.repaint();
    changed();
}

void TGridSelection::forgetColumn(TGridColumn* column) {
    const bool held = Columns.contains(column);
    Columns.remove(column);
    if (Columns.anchor_ == column) Columns.anchor_ = nullptr;
    if (held && type_ == gstColumns && Columns.Count() == 0) type_ = gstNon;
    if (held) changed();
}

void TGridSelection::columnsReordered() {
    auto& items = Columns.items_;
    std::sort(items.begin(), items.end(),
              [](const TGridColumn* a, const TGridColumn* b) { return a->Index() < b->Index(); });
}

}  // namespace enviozvr::grid
