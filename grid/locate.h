// Finding a record by the text of its cells: the locate routine over a grid's data set, and
// the state and steps of the incremental search that the grid widget drives with keys and
// a timer.
//
// Nothing here owns the grid or its data set. Single-threaded (the user-interface thread).
// Data-layer errors pass through unchanged after the grid's position has been restored and
// its notifications resumed.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "grid/grid.h"

namespace enviozvr::grid {

// How a cell's text is compared with the sought text.
enum TLocateMatching : int {
    lmAnyPart = 0,        // the text occurs anywhere in the cell (an empty text never does)
    lmWholeField = 1,     // the whole cell equals the text
    lmFromBeginning = 2,  // the cell starts with the text (an empty text always does)
};

// Where the walk starts and which way it goes.
enum TLocateDirection : int {
    ldUp = 0,       // backwards, one step before the current cell
    ldDown = 1,     // forwards, one step after the current cell
    ldFromTop = 2,  // forwards from the first record
};

// Option bits.
enum TLocateOption : unsigned {
    loIgnoreCase = 1,      // both sides upper-cased by the code page's rules
    loAllColumns = 2,      // step cell by cell through every visible column
    loDisplayText = 4,     // compare the cell's display text, not the field's plain value
    loBreakOnEscape = 16,  // give up when an Esc key press is waiting
};

// Asked once per examined cell when loBreakOnEscape is set: is an Esc key press waiting in
// the grid's keyboard queue? The grid widget answers it; without one nothing breaks a walk.
using EscapeWaiting = std::function<bool()>;

// Windows-1252 text upper-cased the way the workstation's locale does it: a-z and the
// accented small letters, plus the three letters of 0x9A, 0x9C, 0x9E and 0xFF.
std::string upperAnsi(std::string_view text);

// Looks for `text` in the column named `fieldName` (the focused column when empty) or, with
// loAllColumns, in every visible column. On a match the found record stays current, the
// found column becomes the focused column and the result is true; otherwise the grid's
// record and window are restored. Not found when the data set is closed, there is no
// visible column or the starting column is not visible. The data set's notifications to
// the grid are suspended during the walk. `treeRange` is accepted for tree-shaped data
// sets and ignored.
bool LocateCellText(DataGrid& grid, const std::string& fieldName, int treeRange, int matching,
                    int direction, unsigned options, const std::string& text,
                    const EscapeWaiting& escapeWaiting = {});

// The incremental search of one grid: whether it is active, the text found so far (shown
// highlighted in the focused cell) and the time limit after the last keystroke (-1: none).
// The widget keeps the timer and repaints; this class keeps the state and searches.
class IncrementalSearch {
  public:
    // Time limit of a search started by typing alone (with gopPreferIncSearch).
    static constexpr int kTypingTimeLimit = 1500;

    bool searching() const { return searching_; }
    const std::string& text() const { return text_; }
    int timeLimit() const { return timeLimit_; }

    // Adds `added` to the search text and looks, from the focused column, for a record whose
    // display text starts with the whole text (case ignored, Esc breaks). Found: the search
    // text takes the found cell's own first characters. Not found: the added text is
    // dropped and the record stays. Either way the search is active afterwards and keeps
    // `timeLimit`. Nothing happens (false) when the data set is closed.
    bool search(DataGrid& grid, std::string_view added, int timeLimit, int direction,
                const EscapeWaiting& escapeWaiting = {});
    // Drops the last character of the search text (no new search).
    void backspace();
    // Ends the search; false when none was active.
    bool stop();

  private:
    bool searching_ = false;
    std::string text_;
    int timeLimit_ = -1;
};

}  // namespace enviozvr::grid
