// The data grid on screen: a table view over a grid::DataGrid and the cached result set
// behind it, for the event list viewers (read-only) and the settings editors (editing on).
//
// GridModel reads the cached rows on demand: only the texts of the cells a view asks for
// are formed, nothing per row is built when a list opens. GridHeader draws the raised
// titles (the place for sort markers and, below the titles, a band for a filter row) and
// turns the lowest pixels of a title into a column selector. GridIndicator is the row
// indicator column. GridWidget ties them together: the grid model's display order, widths
// and focused column follow the view; the selection of the grid model is what is painted
// as selected; keys, clicks and menu actions run inside core::runGuarded, so no error
// reaches Qt.
//
// GUI thread only. The widget owns its DataGrid; it does not own the data set, which must
// outlive it (or be detached with dataGrid().setDataSet(nullptr) and reload()).
#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QTableView>
#include <functional>
#include <memory>
#include <vector>

#include "grid/grid.h"

class QKeyEvent;
class QLineEdit;
class QPainter;
class QStyleOptionViewItem;

namespace enviozvr::ui {

class GridSearch;

// System colours and the screen resolution as the exporters need them, from the
// application palette and the primary screen.
class ScreenGridEnvironment : public grid::GridEnvironment {
  public:
    grid::TColor systemColorRgb(int index) const override;
    int pixelsPerInch() const override;
    // One instance for the whole program.
    static const ScreenGridEnvironment& instance();
};

// Windows-1252 colour value <-> QColor.
QColor toQColor(grid::TColor color, const grid::GridEnvironment& environment);

// The table model over a DataGrid: one model column per grid column (hidden ones
// included, the view hides them), one model row per record of the data set.
class GridModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit GridModel(grid::DataGrid& grid, QObject* parent = nullptr);

    grid::DataGrid& dataGrid() const { return grid_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The text shown in a cell: the grid model's display text, control characters shown
    // as blanks so that every cell keeps to one line.
    QString cellText(int row, int column) const;

    // Editing (off by default): cells of data fields take text; writeCell turns the text
    // into the field's value on the cached result set (throwing on a bad value).
    bool editing() const { return editing_; }
    void setEditing(bool on) { editing_ = on; }
    using CellWriter = std::function<void(grid::DataGrid& grid, int row, grid::TGridColumn& column,
                                          const QString& text)>;
    CellWriter writeCell;
    // Data fields that are not read-only, and looked-up fields whose key fields are such.
    bool fieldEditable(const grid::GridField& field) const;
    // The default writer: strings as typed (empty text: NULL), integers parsed.
    static void writeCellText(grid::DataGrid& grid, int row, grid::TGridColumn& column,
                              const QString& text);

    // The rows or columns (count, titles) changed: every view reads them again.
    void reset();
    // Cell texts changed, rows and columns did not.
    void textsChanged();

  signals:
    // Writing a cell put the row into edit (or a refused write left it there).
    void recordStateChanged();

  private:
    grid::DataGrid& grid_;
    bool editing_ = false;
};

// The title row. Titles are drawn raised; a click on a title (not a drag) is reported by
// titleClicked; a click in the lowest kColumnSelectZone pixels of a title reports
// columnSelectClicked instead, and the pointer turns into the column-selection cursor
// there. Below the titles the header may reserve a band (bandHeight) for widgets placed
// by others, e.g. a filter row: bandRect gives each column's part of it.
class GridHeader : public QHeaderView {
    Q_OBJECT
  public:
    explicit GridHeader(grid::DataGrid& grid, QWidget* parent = nullptr);

    static constexpr int kColumnSelectZone = 7;

    // Height of the title cells alone.
    int titleHeight() const;
    int bandHeight() const { return bandHeight_; }
    void setBandHeight(int height);
    // The part of the band under a column, in header coordinates.
    QRect bandRect(int logicalIndex) const;
    // The column-selection zone of a title cell, in header coordinates (empty when column
    // selection is not possible).
    QRect columnSelectRect(int logicalIndex) const;
    bool columnSelectionPossible() const;

    // Sort markers drawn at the right of titles: a column, its direction and its rank in a
    // multi-column sort (rank 0: a single-column marker, no number drawn).
    struct SortMarker {
        int column = -1;
        bool ascending = true;
        int rank = 0;
    };
    void setSortMarkers(std::vector<SortMarker> markers);
    const std::vector<SortMarker>& sortMarkers() const { return markers_; }

    QSize sizeHint() const override;

    // The cursor shown over the column-selection zone.
    static QCursor columnSelectCursor();

  signals:
    void titleClicked(int column, Qt::KeyboardModifiers modifiers);
    void columnSelectClicked(int column, Qt::KeyboardModifiers modifiers);
    void bandGeometryChanged();

  protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    grid::DataGrid& grid_;
    int bandHeight_ = 0;
    std::vector<SortMarker> markers_;
    int pressedSection_ = -1;
    QPoint pressPos_;
    bool overZone_ = false;
};

// The row indicator column: raised cells, a marker on the current row: a triangle while
// browsing, an I-beam while the row is edited, an asterisk while it is inserted.
class GridIndicator : public QHeaderView {
    Q_OBJECT
  public:
    explicit GridIndicator(QWidget* parent = nullptr);
    static constexpr int kWidth = 12;
    enum class Mark { Browse, Edit, Insert };
    void setCurrentRow(int row);
    void setCurrentMark(Mark mark);
    int currentRow() const { return currentRow_; }
    Mark currentMark() const { return mark_; }
    QSize sizeHint() const override;

  protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

  private:
    int currentRow_ = -1;
    Mark mark_ = Mark::Browse;
};

// Options of the grid window (its GridOptions), bits of one value.
enum TGridWindowOption : uint32_t {
    gopIncSearch = 1u << 0,        // Ctrl+F starts an incremental search in the focused column
    gopDialogFind = 1u << 1,       // Ctrl+F (again) opens the "Find text" dialog
    gopPreferIncSearch = 1u << 2,  // typing alone starts an incremental search
};

class GridWidget : public QTableView {
    Q_OBJECT
  public:
    explicit GridWidget(QWidget* parent = nullptr);
    ~GridWidget() override;

    grid::DataGrid& dataGrid() { return *grid_; }
    const grid::DataGrid& dataGrid() const { return *grid_; }
    GridModel* gridModel() const { return model_; }
    GridHeader* titleHeader() const { return header_; }
    GridIndicator* indicator() const { return indicator_; }

    // The data set was opened, closed or read again, or the grid model's columns changed:
    // rows, titles, widths and the current cell are taken afresh from the grid model.
    void reload();

    // Editing switch: off, no cell can be edited (the viewers); on, data cells take text.
    void setEditingEnabled(bool on);
    bool editingEnabled() const;

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
    bool hasGridOption(TGridWindowOption o) const { return (GridOptions & o) != 0; }
    // The incremental search and find dialog of this grid.
    GridSearch& search() const { return *search_; }

    // The filter row's switch ("Activar filtros"); what shows the row listens to
    // filterRowVisibilityChanged.
    bool filterRowVisible() const { return filterRowVisible_; }
    void setFilterRowVisible(bool visible);

    // True when the grid (or a widget inside it, such as a cell editor) is the window's
    // focused control.
    bool isWindowFocus() const;

    int rowHeight() const;

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

  private:
    void handleKey(QKeyEvent& event);
    // +1 next cell, -1 previous cell (Tab order); false when there is none.
    bool moveBy(int step);
    void applyColumns();
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

    std::unique_ptr<grid::DataGrid> grid_;
    GridModel* model_;
    GridHeader* header_;
    GridIndicator* indicator_;
    std::vector<KeyHook> keyHooks_;
    std::vector<CellPainter> cellPainters_;
    GridSearch* search_;
    bool syncing_ = false;
    bool filterRowVisible_ = false;
    int lastRow_ = -1;
};

}  // namespace enviozvr::ui
