// The filter row of a grid as plain data: each column's typed text and parsed condition,
// the rows those conditions keep, the items of a filter cell's drop-down list and the
// texts the custom filter dialog builds.
//
// Applying the filters re-reads the list with the viewer's own query and keeps the rows
// that meet every column's condition: a row filter on the cached result set, applied as
// the rows are read. Conditions compare texts without regard to letter case, numbers as
// numbers and dates as dates; NULL meets only the null tests (as in SQL), and an empty
// text counts as empty for "=Null" and "<>Null". Single-threaded; parse and conversion
// failures are FilterErrors.
#pragma once

#include <string>
#include <vector>

#include "data/dataset.h"
#include "grid/filtertext.h"
#include "grid/grid.h"

namespace enviozvr::grid {

// The operand type of a column, from its field's type (none without a field).
FilterOperandType columnOperandType(const TGridColumn& column);

// The filter texts and conditions of a grid's columns, keyed by field name
// (case-insensitive).
class GridFilterState {
  public:
    struct Entry {
        std::string fieldName;
        std::string text;  // as typed; the filter cell shows it
        FilterCondition condition;
    };

    // The stored text ("" when none) and condition of a column.
    std::string text(const std::string& fieldName) const;
    FilterCondition condition(const std::string& fieldName) const;
    const std::vector<Entry>& entries() const { return entries_; }
    bool hasConditions() const;

    // Stores a typed text: parses it for the operand type; on success keeps the text and
    // its condition. On a parse or conversion error the FilterError is thrown and the
    // column keeps its previous text and condition.
    void store(const std::string& fieldName, FilterOperandType type, const std::string& text,
               const FilterLocale& locale = FilterLocale::workstation());
    // Clears one column's text and condition ("(All)"), or every column's.
    void clearColumn(const std::string& fieldName);
    void clearAll() { entries_.clear(); }

  private:
    Entry* find(const std::string& fieldName);
    const Entry* find(const std::string& fieldName) const;
    std::vector<Entry> entries_;
};

// Whether a value meets a condition; `now` stands for NOW. A number column's value is
// compared as a number, a date-time column's by its kind (a date by its date, a time by
// its time of day, a time stamp whole).
bool conditionMet(const FilterCondition& condition, const data::Value& value,
                  const data::Timestamp& now);

// Like with '%' (any series of characters) and '_' (any one character), without regard to
// letter case.
bool likeMatch(std::string_view text, std::string_view pattern);

// The row filter of the stored conditions over the grid's data set (fields and looked-up
// fields), or an empty filter when no column has a condition.
data::RowFilter gridRowFilter(DataGrid& grid, const GridFilterState& state);
// Sets that row filter on the grid's data set; it holds from the next read on.
void installGridFilter(DataGrid& grid, const GridFilterState& state);

// ---- Filter cell drop-down -------------------------------------------------------------

enum class FilterDropDownItem {
    OrderAscending,
    OrderDescending,
    Separator,
    ClearFilter,
    ApplyFilter,
    Custom,
    All,
    NotEmpty,
    Empty,
};

struct FilterDropDownEntry {
    FilterDropDownItem item;
    const char* caption;
};

// The items of the list in their order, with their captions.
const std::vector<FilterDropDownEntry>& filterDropDownItems();

// ---- Custom filter dialog --------------------------------------------------------------

enum class CustomFilterEntry {
    Empty,
    Equals,
    DoesNotEqual,
    GreaterThan,
    GreaterOrEqual,
    LessThan,
    LessOrEqual,
    BeginsWith,
    DoesNotBeginWith,
    EndsWith,
    DoesNotEndWith,
    Contains,
    DoesNotContain,
    Like,
    NotLike,
    InList,
    NotInList,
    IsBlank,
    IsNotBlank,
};

// The entries of an operator list, in order, for a column of the operand type.
std::vector<CustomFilterEntry> customFilterEntries(FilterOperandType type);
const char* customFilterCaption(CustomFilterEntry entry);

struct CustomFilterRow {
    CustomFilterEntry entry = CustomFilterEntry::Empty;
    std::string value;
    bool operator==(const CustomFilterRow&) const = default;
};

// One row's piece of filter text ("" for the empty entry).
std::string customFilterPiece(const CustomFilterRow& row, FilterOperandType type);
// The filter text of the dialog: first piece, " AND " or " OR ", second piece; one piece
// alone when the other is empty.
std::string customFilterText(FilterOperandType type, const CustomFilterRow& first, bool orRelation,
                             const CustomFilterRow& second);

// The rows and relation the dialog opens with for a stored condition: a like pattern
// "x%" shows as begins with, "%x" as ends with, "%x%" as contains.
struct CustomFilterRows {
    CustomFilterRow first;
    CustomFilterRow second;
    bool orRelation = false;
};
CustomFilterRows customFilterRowsOf(const FilterCondition& condition);

}  // namespace enviozvr::grid
