// The table model over a grid::DataGrid and the cached result set behind it. It reads the
// cached rows on demand: only the texts of the cells a view asks for are formed, nothing
// per row is built when a list opens. GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <functional>

#include "grid/grid.h"

namespace enviozvr::ui {

// Whether the grid has a data set and it is open.
bool dataSetOpen(const grid::DataGrid& grid);

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

}  // namespace enviozvr::ui
