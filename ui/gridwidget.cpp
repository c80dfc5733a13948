#include "ui/gridwidget.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "core/unhandled.h"
#include "data/value.h"
#include "ui/gridcelltext.h"
#include "ui/gridclipboard.h"
#include "ui/griddelegate.h"

namespace enviozvr::ui {

GridWidget::GridWidget(QWidget* parent)
    : QTableView(parent),
      grid_(std::make_unique<grid::DataGrid>("Grid1", &ScreenGridEnvironment::instance())) {
    model_ = new GridModel(*grid_, this);
    header_ = new GridHeader(*grid_, this);
    indicator_ = new GridIndicator(this);
    setHorizontalHeader(header_);
    setVerticalHeader(indicator_);
    setModel(model_);
    auto* delegate = new GridDelegate(*this, *grid_);
    delegate->paintOver = [this](QPainter& painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) {
        paintOverCell(painter, option, index);
    };
    delegate->prepareEditor = [this](QLineEdit& editor, int column) {
        prepareCellEditor(editor, column);
    };
    setItemDelegate(delegate);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setTabKeyNavigation(true);
    setCornerButtonEnabled(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    indicator_->setDefaultSectionSize(rowHeight());
    indicator_->setMinimumSectionSize(1);

    connect(header_, &QHeaderView::sectionMoved, this, &GridWidget::columnMoved);
    connect(header_, &QHeaderView::sectionResized, this, &GridWidget::columnResized);
    connect(header_, &GridHeader::columnSelectClicked, this, &GridWidget::columnSelectClicked);
    connect(header_, &GridHeader::titleClicked, this, &GridWidget::titleClicked);
    connect(model_, &GridModel::recordStateChanged, this, &GridWidget::recordStateChanged);
    connect(this, &GridWidget::recordStateChanged, this, &GridWidget::updateIndicatorMark);

    grid_->onRepaint = [this] {
        viewport()->update();
        header_->viewport()->update();
    };
    grid_->onDataSetChanged = [this] { syncFromDataGrid(); };

    confirmDelete = [this] {
        QMessageBox box(QMessageBox::Question, QApplication::applicationName(),
                        QStringLiteral("Delete record?"), QMessageBox::Ok | QMessageBox::Cancel,
                        this);
        box.setObjectName(QStringLiteral("ConfirmDelete"));
        box.setDefaultButton(QMessageBox::Ok);
        const int answer = box.exec();
        return box.clickedButton() ? box.clickedButton() == box.button(QMessageBox::Ok)
                                   : answer == QMessageBox::Ok || answer == QDialog::Accepted;
    };
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        // A cell editor's own pop-up (a drop-down's list) is a window of its own, but the
        // focus it takes stays with the grid.
        const auto inside = [this](QWidget* w) {
            for (; w; w = w->parentWidget()) {
                if (w == this) return true;
                if (w->isWindow() && w->windowType() != Qt::Popup) return false;
            }
            return false;
        };
        if (inside(old) && now && !inside(now)) focusLeft();
    });
    search_ = std::make_unique<GridSearch>(static_cast<GridSearchHost&>(*this));
}

GridWidget::~GridWidget() {
    grid_->onRepaint = nullptr;
    grid_->onDataSetChanged = nullptr;
}

int GridWidget::rowHeight() const { return fontMetrics().height() + 4; }

void GridWidget::reload() {
    const bool wasSyncing = syncing_;
    syncing_ = true;
    data::refreshLocaleFormats();  // dates and times of this read in the locale as it is now
    grid_->bindFields();
    model_->reset();
    indicator_->setDefaultSectionSize(rowHeight());
    applyColumns();
    const data::CachedResultSet* set = grid_->dataSet();
    const int rows = model_->rowCount();
    if (rows > 0 && grid_->columnCount() > 0) {
        const int row = std::clamp(set->recNo(), 0, rows - 1);
        grid_->SelectedIndex = std::clamp(grid_->SelectedIndex, 0, grid_->columnCount() - 1);
        setCurrentSilently(row, grid_->SelectedIndex);
        scrollTo(model_->index(row, grid_->SelectedIndex));
    } else {
        setCurrentSilently(-1, grid_->SelectedIndex);
    }
    syncing_ = wasSyncing;
    updateWindowRows();
    updateIndicatorMark();
    if (search_) search_->gridMoved();
    emit reloaded();
}

void GridWidget::applyColumns() {
    const bool wasSyncing = syncing_;
    syncing_ = true;
    header_->setVisible(grid_->hasOption(grid::dgTitles));
    indicator_->setVisible(grid_->hasOption(grid::dgIndicator));
    setShowGrid(grid_->hasOption(grid::dgColLines) || grid_->hasOption(grid::dgRowLines));
    header_->setSectionResizeMode(grid_->hasOption(grid::dgColumnResize) ? QHeaderView::Interactive
                                                                         : QHeaderView::Fixed);
    for (int i = 0; i < grid_->columnCount() && i < header_->count(); ++i) {
        const grid::TGridColumn& column = grid_->column(i);
        header_->setSectionHidden(i, !column.Visible);
        if (column.Visible) header_->resizeSection(i, column.Width);
    }
    syncing_ = wasSyncing;
    fillLastColumn();
}

void GridWidget::setLastColumnFills(bool fills) {
    lastColumnFills_ = fills;
    applyColumns();
}

void GridWidget::fillLastColumn() {
    if (!lastColumnFills_ || filling_) return;
    int last = -1;
    int others = 0;
    for (int visual = 0; visual < header_->count(); ++visual) {
        const int logical = header_->logicalIndex(visual);
        if (header_->isSectionHidden(logical)) continue;
        if (last >= 0) others += header_->sectionSize(last);
        last = logical;
    }
    if (last < 0 || last >= grid_->columnCount()) return;
    const int width = std::max(grid_->column(last).Width, viewport()->width() - others);
    if (header_->sectionSize(last) == width) return;
    const bool wasSyncing = syncing_;
    syncing_ = true;
    filling_ = true;
    header_->resizeSection(last, width);
    filling_ = false;
    syncing_ = wasSyncing;
}

void GridWidget::updateGeometries() {
    QTableView::updateGeometries();
    // The view's width changes with the window and with the vertical scroll bar.
    fillLastColumn();
}

void GridWidget::setEditingEnabled(bool on) {
    model_->setEditing(on);
    grid_->setOption(grid::dgEditing, on);
    setEditTriggers(on ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed
                       : QAbstractItemView::NoEditTriggers);
}

bool GridWidget::editingEnabled() const { return model_->editing(); }

bool GridWidget::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (!model_->editing()) return false;
    return QTableView::edit(index, trigger, event);
}

void GridWidget::closeCellEditor(bool commit) {
    if (state() != QAbstractItemView::EditingState) return;
    QWidget* editor = QApplication::focusWidget();
    while (editor && editor->parentWidget() != viewport()) editor = editor->parentWidget();
    if (!editor) return;
    if (commit) commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void GridWidget::prepareCellEditor(QLineEdit& editor, int column) {
    const data::CachedResultSet* set = grid_->dataSet();
    if (set && column >= 0 && column < grid_->columnCount()) {
        const grid::GridField& field = grid_->column(column).Field();
        if (field.kind == grid::GridField::Kind::Data) {
            const data::Field& f = set->field(field.index);
            if (f.type == data::FieldType::String && f.size > 0) editor.setMaxLength(f.size);
        }
    }
    editor.setValidator(new Windows1252Validator(&editor));
    connect(&editor, &QLineEdit::textEdited, this,
            [this] { core::runGuarded([this] { cellTextEdited(); }); });
}

QString GridWidget::refusedCharacterText(const QString& character) {
    return ui::refusedCharacterText(character);
}

void GridWidget::cellTextEdited() {
    if (!model_->editing() || !dataSetOpen(*grid_)) return;
    data::CachedResultSet& set = *grid_->dataSet();
    if (set.state() != data::DataSetState::Browse) return;
    set.edit();
    emit recordStateChanged();
}

void GridWidget::updateIndicatorMark() {
    const data::CachedResultSet* set = grid_->dataSet();
    const data::DataSetState state = set ? set->state() : data::DataSetState::Inactive;
    indicator_->setCurrentMark(state == data::DataSetState::Edit     ? GridIndicator::Mark::Edit
                               : state == data::DataSetState::Insert ? GridIndicator::Mark::Insert
                                                                     : GridIndicator::Mark::Browse);
}

void GridWidget::editOperation(const std::function<void(data::CachedResultSet&)>& operation) {
    if (!model_->editing() || !dataSetOpen(*grid_)) return;
    struct Reload {
        GridWidget& w;
        ~Reload() {
            w.reload();
            emit w.recordStateChanged();
        }
    } reload{*this};
    operation(*grid_->dataSet());
}

void GridWidget::insertRecord() {
    closeCellEditor(true);
    editOperation([](data::CachedResultSet& set) { set.insert(); });
}

void GridWidget::appendRecord() {
    closeCellEditor(true);
    editOperation([](data::CachedResultSet& set) { set.append(); });
}

void GridWidget::deleteRecord() {
    closeCellEditor(false);
    editOperation([this](data::CachedResultSet& set) {
        const bool newRow = set.state() == data::DataSetState::Insert;
        if (!newRow && !set.isEmpty() && grid_->hasOption(grid::dgConfirmDelete) && confirmDelete &&
            !confirmDelete())
            return;
        set.remove();
    });
}

void GridWidget::editRecord() {
    editOperation([](data::CachedResultSet& set) { set.edit(); });
}

void GridWidget::postRecord() {
    closeCellEditor(true);
    editOperation([](data::CachedResultSet& set) { set.post(); });
}

namespace {

bool changing(const data::CachedResultSet& set) {
    return set.state() == data::DataSetState::Insert || set.state() == data::DataSetState::Edit;
}

// The delete made last, -1 when none waits.
int lastDelete(const data::CachedResultSet& set) {
    for (int i = set.changeCount() - 1; i >= 0; --i)
        if (set.changeLog()[i].kind == data::ukDelete) return i;
    return -1;
}

}  // namespace

void GridWidget::cancelRecord() {
    closeCellEditor(false);
    editOperation([](data::CachedResultSet& set) {
        if (changing(set))
            set.cancel();
        else if (const int change = set.currentChange(); change >= 0)
            set.revertChange(change);
    });
}

void GridWidget::restoreDeletedRecord() {
    closeCellEditor(true);
    editOperation([](data::CachedResultSet& set) {
        if (changing(set)) set.post();  // as leaving the row would
        if (const int change = lastDelete(set); change >= 0) set.revertChange(change);
    });
}

bool GridWidget::canCancelRecord() const {
    if (!model_->editing() || !dataSetOpen(*grid_)) return false;
    const data::CachedResultSet& set = *grid_->dataSet();
    return changing(set) || set.currentChange() >= 0;
}

bool GridWidget::canRestoreDeletedRecord() const {
    return model_->editing() && dataSetOpen(*grid_) && lastDelete(*grid_->dataSet()) >= 0;
}

void GridWidget::focusLeft() {
    if (!grid_->hasOption(grid::dgCancelOnExit) || !model_->editing() || !dataSetOpen(*grid_))
        return;
    const data::CachedResultSet& set = *grid_->dataSet();
    if (set.state() == data::DataSetState::Insert && !set.modified()) {
        core::runGuarded([&] { cancelRecord(); });
    }
}

int GridWidget::currentRecord() const {
    return dataSetOpen(*grid_) ? grid_->dataSet()->recNo() : -1;
}

int GridWidget::currentColumn() const { return grid_->SelectedIndex; }

void GridWidget::moveToCell(int row, int column) {
    const int rows = model_->rowCount();
    if (rows == 0 || grid_->columnCount() == 0) return;
    row = std::clamp(row, 0, rows - 1);
    column = std::clamp(column, 0, grid_->columnCount() - 1);
    const QModelIndex index = model_->index(row, column);
    setCurrentIndex(index);
    scrollTo(index);
}

void GridWidget::moveToRecord(int row) { moveToCell(row, std::max(0, currentColumn())); }
void GridWidget::first() { moveToRecord(0); }
void GridWidget::prior() { moveToRecord(currentRecord() - 1); }
void GridWidget::next() { moveToRecord(currentRecord() + 1); }
void GridWidget::last() { moveToRecord(model_->rowCount() - 1); }

void GridWidget::refresh() {
    if (refreshHandler) {
        refreshHandler();
    } else if (dataSetOpen(*grid_)) {
        grid_->dataSet()->refresh();
    }
    reload();
}

bool GridWidget::copyAllowed() const {
    return grid_->canCopy() && (grid_->EditActions & grid::geaCopy);
}

bool GridWidget::selectAllAllowed() const {
    return grid_->canSelectAll() && (grid_->EditActions & grid::geaSelectAll);
}

void GridWidget::copySelection() {
    if (copyAllowed()) CopyGridToClipboard(*grid_, false);
}

void GridWidget::selectAll() {
    if (selectAllAllowed()) grid_->Selection().SelectWholeGrid();
}

void GridWidget::addKeyHook(KeyHook hook) { keyHooks_.push_back(std::move(hook)); }

void GridWidget::addCellPainter(CellPainter painter) {
    cellPainters_.push_back(std::move(painter));
}

void GridWidget::paintOverCell(QPainter& painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    painter.save();
    search_->paintHighlight(painter, option, index);
    painter.restore();
    for (const CellPainter& p : cellPainters_) {
        if (!p) continue;
        painter.save();
        p(painter, option, index);
        painter.restore();
    }
}

void GridWidget::setFilterRowVisible(bool visible) {
    if (visible == filterRowVisible_) return;
    filterRowVisible_ = visible;
    emit filterRowVisibilityChanged(visible);
}

bool GridWidget::isWindowFocus() const {
    const QWidget* focus = window()->focusWidget();
    return focus && (focus == this || isAncestorOf(focus));
}

void GridWidget::keyPressEvent(QKeyEvent* event) {
    event->accept();
    core::runGuarded([&] { handleKey(*event); });
}

void GridWidget::handleKey(QKeyEvent& event) {
    if (!dataSetOpen(*grid_)) {
        event.ignore();
        return;
    }
    if (search_->keyPress(event)) {
        event.accept();
        return;
    }
    for (const KeyHook& hook : keyHooks_) {
        if (hook && hook(event)) {
            event.accept();
            return;
        }
    }
    const Qt::KeyboardModifiers mods =
        event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const int key = event.key();
    if (mods == Qt::ControlModifier && (key == Qt::Key_C || key == Qt::Key_Insert)) {
        copySelection();
        return;
    }
    if (mods == Qt::ControlModifier && key == Qt::Key_A) {
        selectAll();
        return;
    }
    const bool editorOpen = state() == QAbstractItemView::EditingState;
    if (model_->editing() && !editorOpen) {
        const data::CachedResultSet& set = *grid_->dataSet();
        const bool changing =
            set.state() == data::DataSetState::Insert || set.state() == data::DataSetState::Edit;
        if (mods == Qt::NoModifier && key == Qt::Key_Insert) {
            insertRecord();
            return;
        }
        if (mods == Qt::ControlModifier && key == Qt::Key_Delete) {
            deleteRecord();
            return;
        }
        if (mods == Qt::NoModifier && key == Qt::Key_Escape && changing) {
            cancelRecord();
            return;
        }
        // Down on the last row appends, unless that row is a new one never changed.
        if (mods == Qt::NoModifier && key == Qt::Key_Down &&
            currentRecord() >= model_->rowCount() - 1 &&
            !(set.state() == data::DataSetState::Insert && !set.modified())) {
            appendRecord();
            return;
        }
    }
    // Ctrl+Tab leaves the grid, as Tab does past its last cell (Shift: before its first).
    const bool backTab =
        key == Qt::Key_Backtab || (key == Qt::Key_Tab && (mods & Qt::ShiftModifier));
    if (!editorOpen && (key == Qt::Key_Tab || key == Qt::Key_Backtab) &&
        (mods & Qt::ControlModifier)) {
        // The view's own would send Tab again.
        QWidget::focusNextPrevChild(!backTab);  // NOLINT(bugprone-parent-virtual-call)
        return;
    }
    if (!editorOpen && mods == Qt::NoModifier && key == Qt::Key_Tab) {
        // Past the last cell the focus leaves the grid (not the view's own Tab handling).
        if (!moveBy(1)) QWidget::focusNextPrevChild(true);  // NOLINT(bugprone-parent-virtual-call)
        return;
    }
    if (!editorOpen && mods == Qt::NoModifier && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        moveBy(1);
        return;
    }
    if (!editorOpen && backTab) {
        if (!moveBy(-1))
            QWidget::focusNextPrevChild(false);  // NOLINT(bugprone-parent-virtual-call)
        return;
    }
    QTableView::keyPressEvent(&event);
}

bool GridWidget::moveBy(int step) {
    const int rows = model_->rowCount();
    const int columns = grid_->columnCount();
    if (rows == 0 || columns == 0) return false;
    int row = std::max(0, currentRecord());
    int column = std::clamp(currentColumn(), 0, columns - 1);
    for (;;) {
        column += step;
        if (column >= columns) {
            if (row + 1 >= rows) return false;
            ++row;
            column = 0;
        } else if (column < 0) {
            if (row == 0) return false;
            --row;
            column = columns - 1;
        }
        if (grid_->column(column).Visible) break;
    }
    moveToCell(row, column);
    return true;
}

void GridWidget::keyboardSearch(const QString&) {
    // Typing alone does not search.
}

void GridWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // The context menu acts on the selection: a right click moves nothing.
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    core::runGuarded([&] {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (event->button() == Qt::LeftButton && index.isValid() &&
            !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) {
            grid_->Selection().ClearSelection();
        }
    });
    QTableView::mousePressEvent(event);
}

void GridWidget::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (syncing_ || !current.isValid()) return;
    bool rowEnded = false;
    const bool ok = core::runGuardedOk([&] {
        const int row = current.row();
        const int column = current.column();
        data::CachedResultSet* set = grid_->dataSet();
        if (set && set->active() && set->recNo() != row) {
            // Leaving a row being inserted or edited posts it (or drops a new row never
            // changed): the rows are read again once this change is over.
            const data::DataSetState before = set->state();
            set->moveTo(row);
            rowEnded = set->state() != before;
        }
        grid_->SelectedIndex = column;
        if (current != previous) grid_->Selection().ClearSelection();
        indicator_->setCurrentRow(row);
        if (search_) search_->gridMoved();
        emit currentCellChanged(row, column);
        if (row != lastRow_) {
            lastRow_ = row;
            emit currentRecordChanged(row);
        }
    });
    if (rowEnded || !ok) {
        // A refused post keeps the row in edit: the view goes back to it.
        QMetaObject::invokeMethod(
            this,
            [this] {
                reload();
                emit recordStateChanged();
            },
            Qt::QueuedConnection);
    }
}

void GridWidget::setCurrentSilently(int row, int column) {
    const bool wasSyncing = syncing_;
    syncing_ = true;
    if (row >= 0 && column >= 0) {
        selectionModel()->setCurrentIndex(model_->index(row, column),
                                          QItemSelectionModel::NoUpdate);
    } else {
        selectionModel()->clearCurrentIndex();
    }
    indicator_->setCurrentRow(row);
    syncing_ = wasSyncing;
    if (row != lastRow_) {
        lastRow_ = row;
        emit currentRecordChanged(row);
    }
}

void GridWidget::syncFromDataGrid() {
    if (!dataSetOpen(*grid_) || indicator_->count() != grid_->dataSet()->recordCount()) {
        reload();
        return;
    }
    const int top = grid_->topRow;
    setCurrentSilently(grid_->dataSet()->recNo(), grid_->SelectedIndex);
    verticalScrollBar()->setValue(top);
    viewport()->update();
}

void GridWidget::updateWindowRows() {
    grid_->topRow = std::max(0, verticalScrollBar()->value());
    grid_->visibleRowCount = std::max(1, viewport()->height() / std::max(1, rowHeight()));
}

void GridWidget::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    updateWindowRows();
}

void GridWidget::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    updateWindowRows();
}

void GridWidget::columnMoved(int, int oldVisualIndex, int newVisualIndex) {
    if (syncing_) return;
    core::runGuarded([&] {
        // The header shows the grid model's order: undo the header's own move and move
        // the column in the grid model instead.
        syncing_ = true;
        header_->moveSection(newVisualIndex, oldVisualIndex);
        syncing_ = false;
        grid::TGridColumn* focused = grid_->focusedColumn();
        grid_->moveColumn(oldVisualIndex, newVisualIndex);
        if (focused) grid_->SelectedIndex = focused->Index();
        model_->textsChanged();
        applyColumns();
        setCurrentSilently(currentRecord(), grid_->SelectedIndex);
        viewport()->update();
    });
}

void GridWidget::columnResized(int logicalIndex, int, int newSize) {
    if (syncing_ || logicalIndex >= grid_->columnCount() || header_->isSectionHidden(logicalIndex))
        return;
    grid_->column(logicalIndex).Width = newSize;
    fillLastColumn();
}

void GridWidget::columnSelectClicked(int column, Qt::KeyboardModifiers modifiers) {
    core::runGuarded([&] {
        if (column < 0 || column >= grid_->columnCount()) return;
        grid::TGridColumn& c = grid_->column(column);
        grid::TGridSelection& selection = grid_->Selection();
        if (modifiers & Qt::ShiftModifier)
            selection.extendColumnSelection(c);
        else if (modifiers & Qt::ControlModifier)
            selection.toggleColumn(c);
        else
            selection.selectColumn(c);
    });
}

// ---- The search's view of the widget ------------------------------------------------------

QModelIndex GridWidget::currentCell() const { return currentIndex(); }

QString GridWidget::shownCellText(int row, int column) const {
    return model_->cellText(row, column);
}

int GridWidget::cellTextMargin() const {
    return style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
}

void GridWidget::showCell(int row, int column) {
    scrollTo(model_->index(row, column));
    viewport()->update();
}

void GridWidget::repaintRowOf(const QModelIndex& cell) {
    QRect row = visualRect(cell);
    row.setLeft(0);
    row.setRight(viewport()->width());
    viewport()->update(row);
}

}  // namespace enviozvr::ui
