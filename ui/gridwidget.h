// The data grid on screen: a table view over a grid::DataGrid and the cached result set
// behind it, for the event list viewers (read-only) and the settings editors (editing on).
//
// Its parts have files of their own: the model (gridmodel.h) reads the cached rows on
// demand; the header (gridheader.h) draws the raised titles, the sort markers and a band
// for a filter row, and turns the lowest pixels of a title into a column selector; the
// row indicator (gridindicator.h); the delegate (griddelegate.h) draws the cells; the
// screen environment (gridenvironment.h); the incremental search (gridsearch.h), which
// the widget owns. GridWidget ties them together: the grid model's display order, widths
// and focused column follow the view; the selection of the grid model is what is painted
// as selected; keys, clicks and menu actions run inside core::runGuarded, so no error
// reaches Qt.
//
// GUI thread only. The widget owns its DataGrid; it does not own the data set, which must
// outlive it (or be detached with dataGrid().setDataSet(nullptr) and reload()).
#pragma once

#include <QTableView>
#include <functional>
#include <memory>
#include <vector>

#include "grid/grid.h"
#include "ui/gridenvironment.h"
#include "ui/gridheader.h"
#include "ui/gridindicator.h"
#include "ui/gridmodel.h"
#include "ui/gridsearch.h"

class QKeyEvent;
class QLineEdit;
class QPainter;
class QStyleOptionViewItem;

namespace enviozvr::ui {

class GridWidget : public QTableView, private GridSearchHost {
    Q_OBJECT
  public:
    explicit GridWidget(QWidget* parent = nullptr);
    ~GridWidget() override;

    grid::DataGrid& dataGrid() override { return *grid_; }
    const grid::DataGrid& dataGrid() const override { return *grid_; }
    GridModel* gridModel() const { return model_; }
    GridHeader* titleHeader() const { return header_; }
    GridIndicator* indicator() const { return indicator_; }

    // The data set was opened, closed or read again, or the grid model's columns changed:
    // rows, titles, widths and the current cell are taken afresh from the grid model.
    void reload();

    // Editing switch: off, no cell can be edited (the viewers); on, data cells take text.
    void setEditingEnabled(bool on);
    bool editingEnabled() const override;

    // Editing operations (editing on; each reloads the grid). Insert puts a new row before
    // the current one, append after the last one; delete asks confirmDelete first when
    // dgConfirmDelete is set (a new row is just dropped); edit enters edit on the current
    // row; post writes an open cell editor's text, then posts; cancel closes the cell
    // editor and abandons the row being inserted or edited, or, on a row in browse, undoes
    // its cached change (its insert or modify); restoreDeletedRecord brings back the row
    // deleted last, until the changes are saved. Throwing what the data set throws; the
    // keys and the navigator reach them guarded.
    void insertRecord();
    void appendRecord();
    void deleteRecord();
    void editRecord();
    void postRecord();
    void cancelRecord();
    void restoreDeletedRecord();
    // Whether cancel has something to do on the current row; whether a deleted row waits.
    bool canCancelRecord() const;
    bool canRestoreDeletedRecord() const;
    // Closes the open cell editor, if any, writing its text first when `commit` is set.
    void closeCellEditor(bool commit);
    // Sets up a text editor of a cell of `column`: no longer than a text column holds, and
    // refusing, with a message at the cell, a character the database cannot hold; the
    // first change typed puts the row into edit.
    void prepareCellEditor(QLineEdit& editor, int column);
    // The message shown at a cell editor that refused `character`.
    static QString refusedCharacterText(const QString& character);
    // Asked before a delete; by default a box "Delete record?" with OK and Cancel.
    std::function<bool()> confirmDelete;

    // Current cell: the data set's current record and the grid model's focused column.
    int currentRecord() const;
    int currentColumn() const;
    // Moves the current cell as the keyboard does (the selection is cleared).
    void moveToCell(int row, int column);
    void moveToRecord(int row);
    void first();
    void prior();
    void next();
    void last();
    // Re-reads the data set (the refresh handler; by default the data set's refresh) and
    // reloads the grid.
    void refresh();
    std::function<void()> refreshHandler;

    // The copy and select-all actions with their checks: the data set open, copy or
    // select-all allowed, the edit action present. Nothing happens when a check fails.
    bool copyAllowed() const;
    bool selectAllAllowed() const;
    void copySelection();
    void selectAll() override;  // the whole grid (the grid model's selection)

    // Hooks run before the grid's own key handling, in the order added, inside the guard;
    // a hook that returns true has consumed the key. Keys reach them only while the data
    // set is open.
    using KeyHook = std::function<bool(QKeyEvent& event)>;
    void addKeyHook(KeyHook hook);

    // Painters run over each cell after the cell itself is drawn, in the order added.
    using CellPainter = std::function<void(QPainter& painter, const QStyleOptionViewItem& option,
                                           const QModelIndex& index)>;
    void addCellPainter(CellPainter painter);
    void paintOverCell(QPainter& painter, const QStyleOptionViewItem& option,
                       const QModelIndex& index) const;

    // TGridWindowOption bits; none by default.
    uint32_t GridOptions = 0;
    bool hasGridOption(TGridWindowOption o) const override { return (GridOptions & o) != 0; }
    // The incremental search and find dialog of this grid, owned by it.
    GridSearch& search() const { return *search_; }

    // The filter row's switch ("Activar filtros"); what shows the row listens to
    // filterRowVisibilityChanged.
    bool filterRowVisible() const { return filterRowVisible_; }
    void setFilterRowVisible(bool visible);

    // True when the grid (or a widget inside it, such as a cell editor) is the window's
    // focused control.
    bool isWindowFocus() const;

    int rowHeight() const;

    // When set, the last visible column takes the width the others leave in the view, and
    // never less than its own width: it grows and shrinks with the window. Its width in
    // the grid model (what the exporters read) stays the one set, or the one dragged.
    void setLastColumnFills(bool fills);
    bool lastColumnFills() const { return lastColumnFills_; }

  signals:
    // The current cell moved (row = record, column = grid column index).
    void currentCellChanged(int row, int column);
    // The current record moved.
    void currentRecordChanged(int row);
    // A title was clicked (not dragged, not in the column-selection zone).
    void titleClicked(int column, Qt::KeyboardModifiers modifiers);
    // reload() ran: the rows were read afresh.
    void reloaded();
    // A row began or ended being inserted or edited (by an operation above, or by leaving
    // the row).
    void recordStateChanged();
    void filterRowVisibilityChanged(bool visible);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyboardSearch(const QString& search) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void updateGeometries() override;

  private:
    void handleKey(QKeyEvent& event);
    // +1 next cell, -1 previous cell (Tab order); false when there is none.
    bool moveBy(int step);
    void applyColumns();
    // Widens the last visible column over the view's free width (setLastColumnFills).
    void fillLastColumn();
    void columnMoved(int logicalIndex, int oldVisualIndex, int newVisualIndex);
    void columnResized(int logicalIndex, int oldSize, int newSize);
    void columnSelectClicked(int column, Qt::KeyboardModifiers modifiers);
    // Puts the view's current cell and top row where the grid model says, without
    // clearing the selection (after an export walked the data set).
    void syncFromDataGrid();
    void updateWindowRows();
    void setCurrentSilently(int row, int column);
    void editOperation(const std::function<void(data::CachedResultSet&)>& operation);
    // Focus left the grid: a new row never changed is dropped (dgCancelOnExit).
    void focusLeft();
    // Text was typed into a cell editor: the row enters edit.
    void cellTextEdited();
    // The indicator's marker from the data set's state.
    void updateIndicatorMark();

    // GridSearchHost.
    QModelIndex currentCell() const override;
    QString shownCellText(int row, int column) const override;
    int cellTextMargin() const override;
    void showCell(int row, int column) override;
    void repaintRowOf(const QModelIndex& cell) override;

    std::unique_ptr<grid::DataGrid> grid_;
    GridModel* model_;
    GridHeader* header_;
    GridIndicator* indicator_;
    std::vector<KeyHook> keyHooks_;
    std::vector<CellPainter> cellPainters_;
    std::unique_ptr<GridSearch> search_;
    bool syncing_ = false;
    bool filterRowVisible_ = false;
    bool lastColumnFills_ = false;
    bool filling_ = false;
    int lastRow_ = -1;
};

}  // namespace enviozvr::ui
