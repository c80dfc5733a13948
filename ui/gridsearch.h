// The incremental search and the find dialog of one grid window: Ctrl+F, typed characters,
// Backspace, Ctrl+Enter and Ctrl+Shift+Enter, Enter/Esc/F2 ending the search, the time
// limit, and the search text drawn black on yellow over the focused cell. What it does
// depends on the window's GridOptions (gopIncSearch, gopDialogFind, gopPreferIncSearch).
//
// Every GridWidget has one, created with it and owned by it. The widget hands it its keys,
// its cells to paint over and its moves; the search reaches back only through
// GridSearchHost. GUI thread only; keys run inside the widget's guard.
#pragma once

#include <QBasicTimer>
#include <QModelIndex>
#include <QObject>
#include <QString>
#include <cstdint>
#include <string>

#include "grid/locate.h"
#include "ui/gridfinddlg.h"

class QKeyEvent;
class QPainter;
class QStyleOptionViewItem;

namespace enviozvr::ui {

// Options of the grid window (its GridOptions), bits of one value.
enum TGridWindowOption : uint32_t {
    gopIncSearch = 1u << 0,        // Ctrl+F starts an incremental search in the focused column
    gopDialogFind = 1u << 1,       // Ctrl+F (again) opens the "Find text" dialog
    gopPreferIncSearch = 1u << 2,  // typing alone starts an incremental search
};

// What the search needs of the grid window it searches.
class GridSearchHost {
  public:
    virtual grid::DataGrid& dataGrid() = 0;
    virtual const grid::DataGrid& dataGrid() const = 0;
    virtual bool hasGridOption(TGridWindowOption option) const = 0;
    virtual bool editingEnabled() const = 0;
    // The current cell of the view (invalid when none).
    virtual QModelIndex currentCell() const = 0;
    // The text a cell shows.
    virtual QString shownCellText(int row, int column) const = 0;
    // Pixels between a cell's edge and its text.
    virtual int cellTextMargin() const = 0;
    // Scrolls the cell into view and repaints.
    virtual void showCell(int row, int column) = 0;
    // Repaints the whole row of the cell.
    virtual void repaintRowOf(const QModelIndex& cell) = 0;

  protected:
    ~GridSearchHost() = default;
};

class GridSearch : public QObject, public GridFindTarget {
  public:
    static constexpr QRgb kHighlight = 0xFFFF00;  // red 255, green 255, blue 0

    explicit GridSearch(GridSearchHost& host);
    ~GridSearch() override;

    // A key of the grid, before the grid's own handling: true when the search took it.
    bool keyPress(QKeyEvent& event);
    // Draws the search text over the focused cell.
    void paintHighlight(QPainter& painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const;
    // The current cell moved or the rows were read again: the search ends, unless the move
    // is the search's own.
    void gridMoved();

    // SearchIncrementally: adds the text and searches from the focused column; a time limit
    // of -1 means none.
    void SearchIncrementally(const std::string& added, int timeLimit, int direction);
    // StopIncrementalSearch.
    void StopIncrementalSearch();

    bool searching() const { return state_.searching(); }
    const std::string& searchText() const { return state_.text(); }
    int timeLimit() const { return state_.timeLimit(); }
    bool timerActive() const { return timer_.isActive(); }

    // The part of a cell the highlight covers, in view coordinates (empty when none).
    QRect highlightRect(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    // GridFindTarget: the dialog's search.
    const grid::DataGrid& findGrid() const override;
    bool locateText(const std::string& fieldName, int treeRange, int matching, int direction,
                    unsigned options, const std::string& text) override;

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    void showCurrentCell();
    void restartTimer();
    void repaintFocusedRow();

    GridSearchHost& host_;
    grid::IncrementalSearch state_;
    QBasicTimer timer_;
    bool locating_ = false;
};

}  // namespace enviozvr::ui
