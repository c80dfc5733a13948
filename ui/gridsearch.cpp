#include "ui/gridsearch.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionViewItem>
#include <QTimerEvent>

#include "data/codepage.h"
#include "ui/escapewatch.h"

namespace enviozvr::ui {

namespace {

bool isEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// A typed character: code 32 and above (DEL excluded), as Windows-1252; empty otherwise.
std::string printable(const QKeyEvent& event) {
    const QString text = event.text();
    if (text.isEmpty()) return {};
    for (QChar c : text)
        if (c.unicode() < 32 || c.unicode() == 127) return {};
    return data::windows1252FromQString(text);
}

}  // namespace

GridSearch::GridSearch(GridSearchHost& host) : host_(host) {}

GridSearch::~GridSearch() { forgetFindTarget(this); }

void GridSearch::gridMoved() {
    // A move of the record or the column, or the data set read again, ends the search;
    // the moves of the search itself do not.
    if (!locating_) StopIncrementalSearch();
}

void GridSearch::SearchIncrementally(const std::string& added, int timeLimit, int direction) {
    bool found = false;
    {
        // Input that arrives during the walk is held until it ends; an Esc gives up.
        EscapeWatch watch;
        locating_ = true;
        try {
            found = state_.search(host_.dataGrid(), added, timeLimit, direction,
                                  [&watch] { return watch.escapeWaiting(); });
        } catch (...) {
            locating_ = false;
            throw;
        }
        locating_ = false;
    }
    if (!state_.searching()) return;  // the data set is closed
    if (found) showCurrentCell();
    repaintFocusedRow();
    restartTimer();
}

void GridSearch::StopIncrementalSearch() {
    if (!state_.searching()) return;
    timer_.stop();
    state_.stop();
    repaintFocusedRow();
}

bool GridSearch::keyPress(QKeyEvent& event) {
    const Qt::KeyboardModifiers mods =
        event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const int key = event.key();
    const bool searching = state_.searching();

    if (key == Qt::Key_F && mods == Qt::ControlModifier) {
        if (host_.hasGridOption(gopIncSearch)) {
            if (!searching) {
                SearchIncrementally({}, -1, grid::ldFromTop);
            } else if (host_.hasGridOption(gopDialogFind)) {
                StopIncrementalSearch();
                ShowFindDialog(*this, {}, true);
            }
            return true;
        }
        if (host_.hasGridOption(gopDialogFind)) {
            ShowFindDialog(*this, {}, true);
            return true;
        }
        return false;
    }

    if (searching) {
        if (isEnter(key) && mods == Qt::ControlModifier) {
            SearchIncrementally({}, state_.timeLimit(), grid::ldDown);
            return true;
        }
        if (isEnter(key) && mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
            SearchIncrementally({}, state_.timeLimit(), grid::ldUp);
            return true;
        }
        if (mods == Qt::NoModifier &&
            (isEnter(key) || key == Qt::Key_Escape || key == Qt::Key_F2)) {
            StopIncrementalSearch();
            return false;  // the key then does what it does in the grid
        }
        if (key == Qt::Key_Backspace && mods == Qt::NoModifier) {
            state_.backspace();
            repaintFocusedRow();
            restartTimer();
            return true;
        }
        if (const std::string typed = printable(event); !typed.empty()) {
            SearchIncrementally(typed, state_.timeLimit(), grid::ldFromTop);
            return true;
        }
        return false;
    }

    if (host_.hasGridOption(gopPreferIncSearch) && !host_.editingEnabled()) {
        if (const std::string typed = printable(event); !typed.empty()) {
            SearchIncrementally(typed, grid::IncrementalSearch::kTypingTimeLimit, grid::ldFromTop);
            return true;
        }
    }
    return false;
}

void GridSearch::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timer_.timerId()) StopIncrementalSearch();
}

void GridSearch::restartTimer() {
    timer_.stop();
    if (state_.timeLimit() >= 0) timer_.start(state_.timeLimit(), this);
}

void GridSearch::repaintFocusedRow() {
    const QModelIndex current = host_.currentCell();
    if (current.isValid()) host_.repaintRowOf(current);
}

void GridSearch::showCurrentCell() {
    const grid::DataGrid& g = host_.dataGrid();
    const int row = g.dataSet() ? g.dataSet()->recNo() : -1;
    if (row < 0 || g.SelectedIndex < 0) return;
    host_.showCell(row, g.SelectedIndex);
}

QRect GridSearch::highlightRect(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    if (!state_.searching() || state_.text().empty()) return {};
    if (!index.isValid() || index != host_.currentCell()) return {};
    const grid::DataGrid& g = host_.dataGrid();
    if (index.column() >= g.columnCount()) return {};
    const QString full = host_.shownCellText(index.row(), index.column());
    const QString part = data::qstringFromWindows1252(state_.text());
    const QFontMetrics metrics(option.font);
    const int margin = host_.cellTextMargin();
    const QRect text = option.rect.adjusted(margin, 0, -margin, 0);
    const int fullWidth = metrics.horizontalAdvance(full);
    int left = text.left();
    switch (g.column(index.column()).shownAlignment()) {
        case grid::taRightJustify:
            left = text.right() + 1 - fullWidth;
            break;
        case grid::taCenter:
            left = text.left() + (text.width() - fullWidth) / 2;
            break;
        default:
            break;
    }
    return QRect(left, text.top(), metrics.horizontalAdvance(part), text.height())
        .intersected(text);
}

void GridSearch::paintHighlight(QPainter& painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const QRect r = highlightRect(option, index);
    if (r.isEmpty()) return;
    painter.fillRect(r, QColor::fromRgb(kHighlight));
    painter.setPen(Qt::black);
    painter.setFont(option.font);
    painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     data::qstringFromWindows1252(state_.text()));
}

const grid::DataGrid& GridSearch::findGrid() const { return host_.dataGrid(); }

bool GridSearch::locateText(const std::string& fieldName, int treeRange, int matching,
                            int direction, unsigned options, const std::string& text) {
    bool found = false;
    locating_ = true;
    try {
        found = grid::LocateCellText(host_.dataGrid(), fieldName, treeRange, matching, direction,
                                     options, text);
    } catch (...) {
        locating_ = false;
        throw;
    }
    locating_ = false;
    if (found) showCurrentCell();
    return found;
}

}  // namespace enviozvr::ui
