#include "grid/locate.h"

#include <algorithm>
#include <array>

namespace enviozvr::grid {

namespace {

// Upper case of every Windows-1252 byte.
constexpr std::array<unsigned char, 256> makeUpperTable() {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 256; ++c) t[c] = static_cast<unsigned char>(c);
    for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<unsigned char>(c - 0x20);
    for (int c = 0xE0; c <= 0xFE; ++c)
        if (c != 0xF7) t[c] = static_cast<unsigned char>(c - 0x20);  // not the division sign
    t[0x9A] = 0x8A;                                                  // s caron
    t[0x9C] = 0x8C;                                                  // oe
    t[0x9E] = 0x8E;                                                  // z caron
    t[0xFF] = 0x9F;                                                  // y diaeresis
    return t;
}

constexpr std::array<unsigned char, 256> kUpper = makeUpperTable();

void upperInto(std::string& out, std::string_view text) {
    out.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = static_cast<char>(kUpper[static_cast<unsigned char>(text[i])]);
}

bool matches(std::string_view cell, std::string_view sought, int matching) {
    switch (matching) {
        case lmAnyPart:
            return !sought.empty() && cell.find(sought) != std::string_view::npos;
        case lmWholeField:
            return cell == sought;
        case lmFromBeginning:
            return cell.substr(0, sought.size()) == sought;
        default:
            return false;
    }
}

// The walk over cells: a record of the data set and a position among the visible columns.
class CellWalk {
  public:
    CellWalk(data::CachedResultSet& dataSet, int columnCount, int column, bool allColumns)
        : ds_(dataSet), columns_(columnCount), column_(column), allColumns_(allColumns) {}

    int column() const { return column_; }

    // To the starting column of the first record; false when there is none.
    bool toFirst() {
        ds_.first();
        return !ds_.isEmpty();
    }

    // One cell (or one record) forwards or backwards; false past either end.
    bool step(bool forwards) {
        if (ds_.isEmpty()) return false;
        if (allColumns_) {
            const int next = column_ + (forwards ? 1 : -1);
            if (next >= 0 && next < columns_) {
                column_ = next;
                return true;
            }
        }
        if (forwards) {
            ds_.next();
            if (ds_.eof()) return false;
        } else {
            ds_.prior();
            if (ds_.bof()) return false;
        }
        if (allColumns_) column_ = forwards ? 0 : columns_ - 1;
        return true;
    }

  private:
    data::CachedResultSet& ds_;
    int columns_;
    int column_;
    bool allColumns_;
};

}  // namespace

std::string upperAnsi(std::string_view text) {
    std::string out;
    upperInto(out, text);
    return out;
}

bool LocateCellText(DataGrid& grid, const std::string& fieldName, int /*treeRange*/, int matching,
                    int direction, unsigned options, const std::string& text,
                    const EscapeWaiting& escapeWaiting) {
    data::CachedResultSet* ds = grid.dataSet();
    if (!ds || !ds->active()) return false;
    if (direction < ldUp || direction > ldFromTop) return false;
    const TGridColumnList columns = grid.visibleColumns();
    if (columns.empty()) return false;
    const TGridColumn* start =
        fieldName.empty() ? grid.focusedColumn() : grid.findColumn(fieldName);
    const auto startAt = std::find(columns.begin(), columns.end(), start);
    if (startAt == columns.end()) return false;

    const bool ignoreCase = (options & loIgnoreCase) != 0;
    const bool displayText = (options & loDisplayText) != 0;
    const bool breakOnEscape = (options & loBreakOnEscape) && escapeWaiting;
    const std::string sought = ignoreCase ? upperAnsi(text) : text;
    const bool forwards = direction != ldUp;

    auto cellText = [&](const TGridColumn& column) {
        if (displayText) return grid.cellText(column);
        if (!column.Field().exists()) return std::string();
        return grid.fieldValue(column.Field()).toText();
    };

    grid.disableControls();
    const TGridPosition position = grid.savePosition();
    bool found = false;
    try {
        CellWalk walk(*ds, static_cast<int>(columns.size()),
                      static_cast<int>(startAt - columns.begin()), (options & loAllColumns) != 0);
        std::string upper;
        bool more = direction == ldFromTop ? walk.toFirst() : walk.step(forwards);
        while (more) {
            const TGridColumn& column = *columns[walk.column()];
            const std::string cell = cellText(column);
            if (ignoreCase) upperInto(upper, cell);
            if (matches(ignoreCase ? upper : cell, sought, matching)) {
                found = true;
                grid.SelectedIndex = column.Index();
                break;
            }
            if (breakOnEscape && escapeWaiting()) break;
            more = walk.step(forwards);
        }
        if (!found) grid.restorePosition(position);
    } catch (...) {
        try {
            grid.restorePosition(position);
        } catch (...) {
            // The search's own failure is the one to report; one while putting the cursor
            // back would hide it.
        }
        grid.enableControls();
        throw;
    }
    grid.enableControls();
    return found;
}

bool IncrementalSearch::search(DataGrid& grid, std::string_view added, int timeLimit, int direction,
                               const EscapeWaiting& escapeWaiting) {
    const data::CachedResultSet* ds = grid.dataSet();
    if (!ds || !ds->active()) return false;
    // Locating moves the record, which may end the search through the grid's notifications;
    // the text found so far is kept here and the search made active again below.
    const std::string kept = text_;
    const std::string wanted = kept + std::string(added);
    bool found = false;
    if (!wanted.empty())
        found =
            LocateCellText(grid, {}, 0, lmFromBeginning, direction,
                           loIgnoreCase | loDisplayText | loBreakOnEscape, wanted, escapeWaiting);
    searching_ = true;
    if (found) {
        const TGridColumn* column = grid.focusedColumn();
        text_ = column ? grid.cellText(*column).substr(0, wanted.size()) : wanted;
    } else {
        text_ = kept;
    }
    timeLimit_ = timeLimit;
    return found;
}

void IncrementalSearch::backspace() {
    if (!text_.empty()) text_.pop_back();
}

bool IncrementalSearch::stop() {
    if (!searching_) return false;
    searching_ = false;
    text_.clear();
    timeLimit_ = -1;
    return true;
}

}  // namespace enviozvr::grid
