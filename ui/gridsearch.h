// The incremental search and the find dialog of one grid window: Ctrl+F, typed characters,
// Backspace, Ctrl+Enter and Ctrl+Shift+Enter, Enter/Esc/F2 ending the search, the time
// limit, and the search text drawn black on yellow over the focused cell. What it does
// depends on the window's GridOptions (gopIncSearch, gopDialogFind, gopPreferIncSearch).
//
// Every GridWidget has one, created with it and owned by it; it reaches the widget only
// through the widget's public hooks. GUI thread only; keys run inside the widget's guard.
#pragma once

#include <QBasicTimer>
#include <QObject>
#include <string>

#include "grid/locate.h"
#include "ui/gridfinddlg.h"

class QKeyEvent;
class QModelIndex;
class QPainter;
class QStyleOptionViewItem;

namespace enviozvr::ui {

class GridWidget;

class GridSearch : public QObject, public GridFindTarget {
public:
    static constexpr QRgb kHighlight = 0xFFFF00;  // red 255, green 255, blue 0

    explicit GridSearch(GridWidget& widget);
    ~GridSearch() override;

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
    bool keyPress(QKeyEvent& event);
    void paintHighlight(QPainter& painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const;
    void showCurrentCell();
    void restartTimer();
    void repaintFocusedRow();

    GridWidget& widget_;
    grid::IncrementalSearch state_;
    QBasicTimer timer_;
    bool locating_ = false;
};

}  // namespace enviozvr::ui
