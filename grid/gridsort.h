// Local sorting of a grid by its column titles: the sort markers as plain data, the click
// rules that move them, and applying them as the index "GridSortIndex" of the grid's cached
// result set. Looked-up columns sort by their looked-up text.
//
// Single-threaded. Applying passes the data layer's errors through ("Field '%s' not found"
// for a marked column without a field); the old index is gone by then, so the rows are in
// their natural order and the markers stay.
#pragma once

#include <string>
#include <vector>

#include "grid/grid.h"

namespace enviozvr::grid {

inline constexpr const char* kGridSortIndex = "GridSortIndex";

// Down sorts ascending, Up descending.
enum class SortMarker { None, Down, Up };

// The markers of a grid's columns, keyed by field name (case-insensitive). The marked
// columns, in the order they were marked, are the sort key; a column's sort index is its
// place in that list (1, 2, ...), 0 when it has no marker.
class GridSortState {
  public:
    struct Entry {
        std::string fieldName;
        SortMarker marker = SortMarker::None;
        bool operator==(const Entry&) const = default;
    };

    SortMarker marker(const std::string& fieldName) const;
    int sortIndex(const std::string& fieldName) const;
    const std::vector<Entry>& marked() const { return marked_; }
    bool empty() const { return marked_.empty(); }

    // A title click: without keepOthers every other marker is cleared and the clicked one
    // goes none, down, up, down...; with keepOthers (Ctrl) the others stay and it goes none,
    // down, up, none.
    void click(const std::string& fieldName, bool keepOthers);
    // Sets one marker: a newly marked column goes to the end of the list; a column whose
    // marker becomes none leaves it and the later ones move up.
    void setMarker(const std::string& fieldName, SortMarker marker);
    void clear() { marked_.clear(); }

    // "A;B": the marked fields in list order; the descending ones among them.
    std::string fieldList() const;
    std::string descendingList() const;

    bool operator==(const GridSortState&) const = default;

  private:
    std::vector<Entry> marked_;
};

// Makes every looked-up field of a marked or filtered column reachable by the data set's
// indexes and row filter, as a calculated field giving the looked-up value.
void defineLookupKeys(DataGrid& grid, const std::vector<std::string>& fieldNames);

// Apply sorting: drops "GridSortIndex" (natural order first when it was current); with
// markers, creates it over the field list, descending for the Up ones, texts compared
// case-sensitively, and makes it current; without, the natural order stays. Then moves to
// the first row.
void applyGridSort(DataGrid& grid, const GridSortState& state);

}  // namespace enviozvr::grid
